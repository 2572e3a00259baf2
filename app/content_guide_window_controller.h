#pragma once
// MVPContentGuideWindowController: the featured movie's own window — a plain titled window without the
// player's controls, sized to the movie's natural size, whose place on screen is remembered across launches
// (user default "MVPContentGuideWindowLocation"). Closing the window closes the featured document.
#include "player/window/window_controller.h"

#include "platform/basekit/notification_center.h"

#include <memory>

// The user default holding the featured window's frame (as written by HXStringFromRect).
inline constexpr const char* MVPContentGuideWindowLocation = "MVPContentGuideWindowLocation";

class MVPContentGuideWindowController : public MVPWindowController {
public:
    MVPContentGuideWindowController();
    ~MVPContentGuideWindowController() override;

    // Makes the movie document's featured windows from now on.
    static void installDocumentWindowMaker();
    MVPPlayerWindowKind playerWindowKind() const override { return MVPPlayerWindowKind::Featured; }

    void setDocument(const std::shared_ptr<HXDocument>& document) override;
    // The movie view shows the document's movie, and the window fits it.
    void syncToNewMovie() override;
    // The window takes the movie's natural size, keeping its left and top edges. A movie narrower or lower
    // than 20 points leaves the window as it is, only brought up to its minimum content size.
    void syncToChangeInMovieContent() override;
    // A window not yet on screen goes to the saved top-left corner (kept within reach of a screen), else to
    // the first cascade place below the top left of the main screen's visible area.
    void showWindow(HXObject* sender = nullptr) override;
    // Writes the window's frame to the user defaults.
    void windowWillGoAway(const HXNotification& notification);

    // The window of the open featured document, or null.
    static std::shared_ptr<HXWindow> contentGuideWindow();
    // Writes the featured window's frame when one is open (at quit).
    static void saveWindowState();

    // The smallest movie side the window follows.
    static constexpr double minimumMovieSide = 20;

private:
    explicit MVPContentGuideWindowController(const std::shared_ptr<HXWindow>& window);
    static void saveFrameOfWindow(const HXWindow& window);

    HXObserverToken _willCloseObserver = 0;
};
