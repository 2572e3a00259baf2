#pragma once
// MVPWindowController: the base of every window controller that shows a movie document — the standard
// player window, and the other kinds that show the movie differently. The document speaks to its current
// controller only through the hooks of MVPDocumentPlayerWindow (document/document_windows.h: sync to a new
// movie or changed content, scale, updates on and off around full screen) and makes it through the makers
// installDocumentWindowMakers() installs.
//
// The base holds the movie view, answers the editing, looping, selection and size menu commands and
// validates them, places new windows in a cascade, keeps sound to the front player when the preferences
// ask for it, turns a pinch into full screen and brackets movie edits for undo.
#include "document/document_windows.h"
#include "document/movie_additions.h"
#include "platform/basekit/notification_center.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXDocument;
class HXMatrix;
class HXPasteboard;
class HXTextField;
class MVMovie;
class MVPMovieDocument;
class MVPMovieView;

class MVPWindowController : public HXWindowController, public MVPDocumentPlayerWindow {
public:
    // Installs the makers of the player's windows for the movie and composition documents: the standard
    // window, the skinned and the controller-less ones, and the composition window.
    static void installDocumentWindowMakers();

    MVPWindowController();
    explicit MVPWindowController(const std::shared_ptr<HXWindow>& window);
    explicit MVPWindowController(std::string interfaceName);
    ~MVPWindowController() override;

    // ---- The movie view (null until a subclass makes one) ----
    const std::shared_ptr<MVPMovieView>& movieView() const { return _movieView; }
    // A different view also gets the colour-compatibility mode.
    void setMovieView(const std::shared_ptr<MVPMovieView>& view);

    std::shared_ptr<MVPMovieDocument> movieDocument() const;
    std::shared_ptr<MVMovie> movie() const;

    // ---- Hooks the document calls; empty here ----
    void syncToNewMovie() override { }
    void syncToChangeInMovieContent() override { }
    void startWindowUpdates() override { }
    void stopWindowUpdates() override { }
    // Sizes the window to the movie's natural size times the two factors.
    void setScale(const HXSize& factors, bool animate) override { (void)factors, (void)animate; }
    // The movie view's displayed size; zero without a movie view in a window.
    HXSize displayedMovieSize() const override;
    virtual void fitToScreen(HXObject* sender = nullptr) { (void)sender; }
    virtual void fillScreen(HXObject* sender = nullptr) { (void)sender; }
    virtual void showSoundControls(HXObject* sender = nullptr) { (void)sender; }

    // ---- The movie view for full screen ----
    // The window gets an empty content view of the same frame.
    virtual void removeMovieViewFromWindow();
    // The movie view is the window's content view again.
    virtual void restoreMovieViewToWindow();
    // The window frame whose content rectangle is `movieScreenFrame`.
    virtual HXRect windowFrameForMovieViewScreenFrame(const HXRect& movieScreenFrame) const;

    // ---- Size commands ----
    void halfSize(HXObject* sender = nullptr);
    void normalSize(HXObject* sender = nullptr);
    void doubleSize(HXObject* sender = nullptr);

    // ---- Placement and sound ----
    // Puts the window where the movie was last shown, else one cascade step from the previous window.
    void cascadeWindow(HXObject* sender = nullptr);
    // The front-player rule, for the window having become main (`becameMain`) or anything else.
    void mainWindowChanged(bool becameMain);
    // Sets the muted state of every other movie document's movie that is not full screen.
    static void muteRestOfTheMovies(bool muted, const HXDocument* except = nullptr);
    // Forgets where the next cascaded window goes (tests start over).
    static void resetCascade();

    // ---- Gestures ----
    void swipeWithEvent(const HXEvent& event) override;
    void beginGestureWithEvent(const HXEvent& event) override;
    // A pinch outwards past the standard threshold goes full screen. Waits for the rest of the pinch at
    // most `gestureTimeout` seconds between events.
    void magnifyWithEvent(const HXEvent& event) override;
    static constexpr double gestureTimeout = 1.0;

    // ---- Undo bracket around a movie edit ----
    void beginUndoOperation();
    // Registers the undo back to the state at beginUndoOperation, named by the localized `actionKey`.
    void commitUndoOperation(const std::string& actionKey);
    bool hasUndoOperation() const { return _undoOperation.has_value(); }

    // ---- The save panel's options (Save As) ----
    // The accessory of the save panel: a choice between a reference movie (tag 0) and a self-contained
    // one (tag 1), with the estimated size of each. Made on first use, the sizes written each time.
    std::shared_ptr<HXView> saveAsAccessoryView(int64_t normalFileSize, int64_t selfContainedFileSize) override;
    // The choice made in the accessory: the document saves self-contained for tag 1.
    void flattenOption(HXObject* sender = nullptr);
    // Folds the accessory to 58 points high or unfolds it to 160, and shows it again in the panel.
    void tiltSaveOptions(HXObject* sender = nullptr);
    const std::shared_ptr<HXMatrix>& saveAsFileFlattenMatrix() const { return _saveAsFileFlattenMatrix; }
    const std::shared_ptr<HXTextField>& saveAsNormalFileSizeTextField() const { return _saveAsNormalFileSizeTextField; }
    const std::shared_ptr<HXTextField>& saveAsSelfContainedFileSizeTextField() const
    {
        return _saveAsSelfContainedFileSizeTextField;
    }

    // ---- Handing the movie to other programs (text or file) ----
    // This controller serves a request for text, or for file names while the movie has a file.
    bool isValidRequestorForSendType(const std::string& sendType) const;
    // Writes the movie's file name as file names, or its file name or URL as text, when one of those
    // types is asked for. False when nothing was written.
    bool writeSelectionToPasteboard(HXPasteboard& pasteboard, const std::vector<std::string>& types) const;

    // ---- Colour mode ----
    void applyProAppsColorCompatibilityModeToMovieView();

    // ---- Validation ----
    // What decides the enabling of the controller's commands.
    struct MenuState {
        bool hasMovie = false;
        bool reelspot = false;
        bool isMPEG = false;
        bool mpegEditingEnabled = false; // media key "MVPlayerMPEGEditing" is "enable"
        bool canCut = false;
        bool canCopy = false;
        bool canPaste = false;
        bool hasVRController = false;
        bool isLoopable = false;
        bool isStreaming = false;
        bool isLinear = false;
        bool saveable = false;
        bool hasVideo = false;
        bool hasAudio = false;
        bool hasPosterTime = false;
        bool windowResizable = false;
        int movieType = 1; // 1 local, 2 fast start, 3 live stream, 4 stored stream
    };
    static bool validateAction(HXSelector action, const MenuState& state);
    MenuState menuState() const;
    bool validateMenuItem(HXMenuItem& item) override;
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;

    // HXWindowDelegate.
    void windowDidBecomeMain(HXWindow& window) override;

protected:
    // The window settled; cascading and main-window changes start from it.
    void registerActions();

private:
    void forwardToMovieView(const char* action, HXObject* sender);
    void preferenceDidChange(const HXNotification& notification);

    std::shared_ptr<MVPMovieView> _movieView;
    std::optional<MVPMovieEditState> _undoOperation;
    std::shared_ptr<HXView> _saveAsAccessoryView;
    std::shared_ptr<HXMatrix> _saveAsFileFlattenMatrix;
    std::shared_ptr<HXTextField> _saveAsNormalFileSizeTextField;
    std::shared_ptr<HXTextField> _saveAsSelfContainedFileSizeTextField;
    HXObserverToken _preferenceObserver = 0;
};

// Whether a movie is MPEG: an MPEG program or elementary stream file, or a movie holding muxed MPEG media
// or MPEG-1/2 video (edited only when the media keys allow it).
bool MVPMovieIsMPEG(const MVMovie& movie);
// Editing of MPEG movies is on (media key "MVPlayerMPEGEditing" is "enable").
bool MVPMPEGEditingEnabled();
