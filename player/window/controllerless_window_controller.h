#pragma once
// MVPNoneWindowController: the window of a movie whose controller type is 'none': a plain titled window
// that holds the movie picture and nothing else — no controls strip, no bevel, no resizing by the user.
// The size commands still size it, around its horizontal centre with its top edge kept.
#include "player/window/window_controller.h"

#include <optional>

class HXScreen;

// The rectangle of `size` that takes the place of `current`, keeping its top edge and horizontal centre,
// then kept inside an area: the visible frame inset by 4 when `current` lies inside it, else the screen's
// full frame inset by 4 when `current` lies inside that, else nowhere (the rectangle stays where it falls).
// The bottom edge is pushed up first and the top edge then wins; the right edge first and the left wins.
HXRect MVPRectForScaledWindow(
    const HXRect& current, const HXSize& size, const std::optional<HXScreen>& screen);

class MVPNoneWindowController : public MVPWindowController {
public:
    MVPNoneWindowController();

    MVPPlayerWindowKind playerWindowKind() const override { return MVPPlayerWindowKind::ControllerLess; }

    void setDocument(const std::shared_ptr<HXDocument>& document) override;
    void syncToNewMovie() override;
    void syncToChangeInMovieContent() override;
    // The window's content becomes the natural size times the factors; the document's user size follows.
    void setScale(const HXSize& factors, bool animate) override;
    void showWindow(HXObject* sender = nullptr) override;

private:
    explicit MVPNoneWindowController(const std::shared_ptr<HXWindow>& window);
};
