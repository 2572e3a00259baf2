#pragma once
// MVPMovieWindowController: the ordinary player window — the movie on top, inside the bevel and the
// black background view that keeps it at the movie's proportions, and below it the controls strip with
// the time display, the volume control and the transport bar.
//
// It binds those views to the document's movie, follows the movie's editability and rate, keeps the
// keyboard loop (movie view → time display → volume → transport bar → movie view), sizes the window by
// the rules of MVPMovieWindowControllerResizing, and lends the movie view to full screen and takes it
// back (the time display stops following the movie meanwhile).
#include "player/window/movie_ui_window.h"
#include "player/window/movie_window_controller_resizing.h"
#include "player/window/window_controller.h"

#include <memory>
#include <vector>

class HXImageView;
class MVPLCDView;
class MVPMovieControlsView;
class MVPMovieVolumeView;
class MVPMovieWindowBackgroundView;
class MVPMovieWindowBevelView;

// The interface that builds the player window; MVPMovieWindowController loads it.
inline constexpr const char* MVPMovieWindowInterfaceName = "MVPMovieWindow";
// Posted by the views of the controls strip (object: the window) when their keyboard loop changed.
inline constexpr const char* MVAKeyLoopChanged = "MVAKeyLoopChanged";

class MVPMovieWindowController : public MVPWindowController,
                                 public MVPMovieWindowControllerResizing,
                                 public MVPZoomingController {
public:
    MVPMovieWindowController();
    ~MVPMovieWindowController() override;

    // Height of the controls strip, and the narrowest content area (in window points).
    static constexpr double controlsStripHeight = 68;

    void setDocument(const std::shared_ptr<HXDocument>& document) override;
    void windowDidLoad() override;
    // Shows the window and lets the views that build themselves at the window's next update do it now.
    void showWindow(HXObject* sender = nullptr) override;

    // ---- The document's hooks ----
    void syncToNewMovie() override;
    void syncToChangeInMovieContent() override;
    void stopWindowUpdates() override;
    void startWindowUpdates() override;
    void removeMovieViewFromWindow() override;
    void restoreMovieViewToWindow() override;
    HXRect windowFrameForMovieViewScreenFrame(const HXRect& movieScreenFrame) const override
    {
        return MVPMovieWindowControllerResizing::windowFrameForMovieViewScreenFrame(movieScreenFrame);
    }
    void setScale(const HXSize& factors, bool animate) override
    {
        MVPMovieWindowControllerResizing::setScale(factors, animate);
    }
    // Fit to screen toggles back to the frame it left.
    void fitToScreen(HXObject* sender = nullptr) override;
    // The natural-size toggle (the window's zoom).
    void zoom(HXObject* sender = nullptr) override;

    // ---- Following the movie ----
    void updateBackgroundViewAspectRatio();
    // The time display may edit when the movie is editable and, for an MPEG movie, the media keys allow it.
    void movieEditabilityDidChange();
    bool isEditable() const { return _editable; }
    void setEditable(bool editable);
    // A movie without tracks and duration that starts playing is stopped.
    void movieRateDidChange(float rate);
    // Whether the movie may be edited at all (MPEG movies only with the media key).
    bool editingAllowed() const;

    // ---- Keyboard loop ----
    void keyViewLoopChanged() { _keyViewLoopDirty = true; }
    bool keyViewLoopDirty() const { return _keyViewLoopDirty; }
    bool windowUpdatesStopped() const { return _windowUpdatesStopped; }
    void rebuildKeyViewLoop();
    void flagsChanged(const HXEvent& event) override;
    void updateMovieAndVolumeControls() override;

    // ---- Views (set when the window loads) ----
    const std::shared_ptr<HXView>& controlsStrip() const { return _controls; }
    const std::shared_ptr<MVPMovieWindowBevelView>& bevelView() const { return _bevelView; }
    const std::shared_ptr<MVPMovieWindowBackgroundView>& backgroundView() const { return _backgroundView; }
    const std::shared_ptr<MVPMovieControlsView>& movieControlsView() const { return _movieControlsView; }
    const std::shared_ptr<MVPMovieVolumeView>& movieVolumeView() const { return _movieVolumeView; }
    const std::shared_ptr<MVPLCDView>& LCDView() const { return _LCDView; }
    const std::shared_ptr<HXImageView>& resizeThumb() const { return _resizeThumb; }
    // The transport bar's play button (null while the strip has no transport bar).
    std::shared_ptr<HXView> playButton() const;

    // ---- Window delegate ----
    HXSize windowWillResize(HXWindow& window, HXSize proposedFrameSize) override;
    void windowDidResize(HXWindow& window) override;
    void windowDidUpdate(HXWindow& window) override;
    // The window's own zoom (the title bar's button) goes between the natural size and the user's.
    std::optional<HXRect> windowWillUseStandardFrame(HXWindow& window, HXRect defaultFrame) override;

    // ---- Sizing hooks ----
    bool isMovieViewDetached() const override;
    MVPMovieWindowMargins margins() const override;
    HXSize minimumWindowContentSize() const override;
    HXSize movieSize() const override;

protected:
    std::shared_ptr<HXWindow> resizedWindow() const override;
    HXSize naturalSize() const override;
    HXSize userSize() const override;
    void setUserSize(const HXSize& size) override;
    void setPreservesAspectRatio(bool preserves) override;
    bool usesVisualContext() const override;
    void layoutBevelAboveControlsStrip() override;

private:
    friend struct MVPMovieWindowInterface;
    void observeMovie();
    void stopObservingMovie();
    void bindControlsStrip();
    // The strip's views let go of the movie (the window may outlive its controller).
    void unbindControlsStrip();

    std::shared_ptr<MVPMovieControlsView> _movieControlsView;
    std::shared_ptr<MVPMovieVolumeView> _movieVolumeView;
    std::shared_ptr<MVPLCDView> _LCDView;
    std::shared_ptr<HXView> _controls;
    std::shared_ptr<HXImageView> _resizeThumb;
    std::shared_ptr<MVPMovieWindowBevelView> _bevelView;
    std::shared_ptr<MVPMovieWindowBackgroundView> _backgroundView;
    bool _editable = false;
    bool _removedMovieViewWasFirstResponder = false;
    bool _keyViewLoopDirty = false;
    bool _windowUpdatesStopped = false; // the time display follows no movie meanwhile

    HXObserverToken _naturalSizeObserver = 0;
    HXObserverToken _keyLoopObserver = 0;
    std::vector<HXObserverToken> _movieObservers;
};
