#include "player/window/movie_window_controller.h"

#include "core/preferences.h"
#include "document/movie_document.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/lcd_view.h"
#include "player/window/image_for_current_os.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_background_view.h"
#include "player/window/movie_window_bevel_view.h"
#include "player/window/resize_thumb_view.h"
#include "player/window/smile_view.h"

#include "platform/mvkit/notifications.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/image_view.h"
#include "platform/winkit/interface_loading.h"

#include <cmath>

// The player window, built in code: the bevel with the movie above the controls strip.
struct MVPMovieWindowInterface {
    static std::vector<std::shared_ptr<HXObject>> build(const std::shared_ptr<HXObject>& owner)
    {
        const double width = 350, movieHeight = 200, strip = MVPMovieWindowController::controlsStripHeight;
        auto window = std::make_shared<MVPMovieUIWindow>(HXMakeRect(0, 0, width, movieHeight + strip),
            HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask | HXResizableWindowMask);
        window->setReleasedWhenClosed(false);
        window->setBackgroundColor(HXColor::colorWithCalibratedWhite(0.84, 1));
        auto content = window->contentView();

        auto controls = std::make_shared<HXView>(HXMakeRect(0, 0, width, strip));
        controls->setAutoresizingMask(HXViewWidthSizable | HXViewMaxYMargin);
        auto smile = std::make_shared<MVPSmileView>(HXMakeRect(0, 0, width, strip));
        smile->setAutoresizingMask(HXViewWidthSizable);
        controls->addSubview(smile);
        // The time display across the top of the strip, the volume at the left, the transport bar in the
        // middle, the grow box in the corner; all in the window style.
        auto lcd = MVPLCDView::LCDViewWithFrame(HXMakeRect(10, 42, width - 20, 24));
        lcd->setAutoresizingMask(HXViewWidthSizable);
        lcd->setStyle(0);
        HXSize volumeSize = MVPMovieVolumeView::naturalSize(0);
        auto volume = MVPMovieVolumeView::create(HXMakeRect(10, 13, volumeSize.width, volumeSize.height), std::shared_ptr<MVMovie>(), 0);
        volume->setAutoresizingMask(HXViewMaxXMargin);
        HXSize barSize = MVPMovieControlsView::naturalSize(0);
        auto transport = MVPMovieControlsView::create(
            HXMakeRect(std::floor((width - barSize.width) / 2), 1, barSize.width, barSize.height), std::shared_ptr<MVMovie>(), 0);
        transport->setAutoresizingMask(HXViewMinXMargin | HXViewMaxXMargin);
        auto thumb = std::make_shared<MVPResizeThumbView>(HXMakeRect(width - 15, 0, 15, 15));
        thumb->setAutoresizingMask(HXViewMinXMargin);
        for (auto& v : std::vector<std::shared_ptr<HXView>> { lcd, volume, transport, thumb })
            controls->addSubview(v);
        content->addSubview(controls);

        auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, strip, width, movieHeight));
        bevel->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
        content->addSubview(bevel);

        if (auto controller = std::dynamic_pointer_cast<MVPMovieWindowController>(owner)) {
            controller->_controls = controls;
            controller->_LCDView = lcd;
            controller->_movieVolumeView = volume;
            controller->_movieControlsView = transport;
            controller->_resizeThumb = thumb;
            controller->_bevelView = bevel;
            controller->setWindow(window);
            window->setDelegate(controller);
        }
        return { window };
    }
};

MVPMovieWindowController::MVPMovieWindowController()
    : MVPWindowController(MVPMovieWindowInterfaceName)
{
    if (!HXInterfaceLoader::hasInterface(MVPMovieWindowInterfaceName))
        HXInterfaceLoader::registerInterface(MVPMovieWindowInterfaceName, &MVPMovieWindowInterface::build);
}

MVPMovieWindowController::~MVPMovieWindowController()
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_naturalSizeObserver)
        center.removeObserver(_naturalSizeObserver);
    if (_keyLoopObserver)
        center.removeObserver(_keyLoopObserver);
    stopObservingMovie();
    unbindControlsStrip();
    if (auto view = movieView())
        view->setMovie(nullptr);
}

void MVPMovieWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_naturalSizeObserver)
        center.removeObserver(_naturalSizeObserver);
    _naturalSizeObserver = 0;
    MVPWindowController::setDocument(document);
    if (auto doc = movieDocument()) {
        _naturalSizeObserver = center.addObserver(this, MVPMovieDocumentDidChangeNaturalSizeNotification, doc.get(),
            [this](const HXNotification&) { updateBackgroundViewAspectRatio(); });
        updateBackgroundViewAspectRatio();
    }
    syncToNewMovie();
}

void MVPMovieWindowController::windowDidLoad()
{
    auto w = window();
    auto view = std::make_shared<MVPMovieView>();
    _backgroundView = std::make_shared<MVPMovieWindowBackgroundView>();
    _bevelView->setContentView(_backgroundView);
    _backgroundView->setContentView(view);
    updateBackgroundViewAspectRatio();
    setMovieView(view);
    if (auto doc = document())
        view->setUndoManager(doc->undoManager());

    _keyLoopObserver = HXNotificationCenter::defaultCenter().addObserver(
        this, MVAKeyLoopChanged, w.get(), [this](const HXNotification&) { keyViewLoopChanged(); });
    // Placement is the controller's (remembered position or its own cascade), and the window is the
    // document's.
    setShouldCascadeWindows(false);
    setShouldCloseDocument(true);

    if (auto image = MVPImageByNameForCurrentOS("ResizeWindowThumb"))
        _resizeThumb->setImage(image);
    HXAccessibility::setOverrideValue(*_resizeThumb, HXAccessibilityGrowAreaRole, HXAccessibilityRoleAttribute);
    HXAccessibility::setOverrideValue(*_resizeThumb, "grow area", HXAccessibilityRoleDescriptionAttribute);
    HXAccessibility::setOverrideValue(*_resizeThumb, "", HXAccessibilityTitleAttribute);

    cascadeWindow();
    syncToNewMovie();
    _keyViewLoopDirty = true;
}

void MVPMovieWindowController::showWindow(HXObject* sender)
{
    MVPWindowController::showWindow(sender);
    if (isWindowLoaded())
        window()->update();
}

// ---- Binding to the movie ----

void MVPMovieWindowController::syncToNewMovie()
{
    MVPWindowController::syncToNewMovie();
    if (!isWindowLoaded())
        return;
    bindControlsStrip();
    if (auto view = movieView()) {
        view->setMovie(movie());
        if (auto doc = document())
            view->setUndoManager(doc->undoManager());
    }
    stopObservingMovie();
    observeMovie();
    syncToChangeInMovieContent();
}

void MVPMovieWindowController::observeMovie()
{
    auto m = movie();
    if (!m)
        return;
    _movieObservers.push_back(HXNotificationCenter::defaultCenter().addObserver(
        this, MVMovieRateDidChangeNotification, m.get(), [this](const HXNotification& note) {
            auto it = note.userInfo().find(MVMovieRateDidChangeNotificationParameter);
            movieRateDidChange(it == note.userInfo().end() ? 0.0f : float(it->second.realValue()));
        }));
}

void MVPMovieWindowController::stopObservingMovie()
{
    for (auto token : _movieObservers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _movieObservers.clear();
}

bool MVPMovieWindowController::editingAllowed() const
{
    auto m = movie();
    return !m || !MVPMovieIsMPEG(*m) || MVPMPEGEditingEnabled();
}

void MVPMovieWindowController::syncToChangeInMovieContent()
{
    MVPWindowController::syncToChangeInMovieContent();
    if (!isWindowLoaded())
        return;
    if (!isMovieViewDetached()) {
        movieEditabilityDidChange();
        if (auto m = movie())
            movieRateDidChange(m->rate());
        auto view = movieView();
        if (auto doc = movieDocument(); doc && !(view && view->inLiveResize()))
            setMovieSize(doc->userSize(), 0, false);
    }
    synchronizeWindowTitleWithDocumentName();
}

void MVPMovieWindowController::updateBackgroundViewAspectRatio()
{
    auto doc = movieDocument();
    if (!doc || !_backgroundView)
        return;
    HXSize natural = doc->naturalSize();
    if (natural.width > 0 && natural.height > 0)
        _backgroundView->setAspectRatio(natural);
}

void MVPMovieWindowController::movieEditabilityDidChange()
{
    // The movie's own editability and the MPEG rule together: an MPEG movie stays read-only in the
    // time display unless the media keys allow its editing, whatever the movie says.
    auto m = movie();
    setEditable(m && m->isEditable() && editingAllowed());
}

void MVPMovieWindowController::setEditable(bool editable)
{
    if (editable == _editable)
        return;
    _editable = editable;
    bindControlsStrip();
}

void MVPMovieWindowController::movieRateDidChange(float rate)
{
    auto m = movie();
    if (m && m->trackCount() == 0 && !m->hasDuration() && rate != 0)
        m->stop();
}

// ---- Keyboard loop ----

void MVPMovieWindowController::windowDidUpdate(HXWindow& window)
{
    MVPWindowController::windowDidUpdate(window);
    if (_keyViewLoopDirty) {
        rebuildKeyViewLoop();
        _keyViewLoopDirty = false;
    }
}

void MVPMovieWindowController::flagsChanged(const HXEvent& event)
{
    updateMovieAndVolumeControls();
    MVPWindowController::flagsChanged(event);
}

void MVPMovieWindowController::stopWindowUpdates()
{
    _windowUpdatesStopped = true;
    if (_LCDView) {
        _LCDView->setMovie(nullptr);
        _LCDView->rebuild();
    }
}

void MVPMovieWindowController::startWindowUpdates()
{
    _windowUpdatesStopped = false;
    if (_LCDView) {
        _LCDView->setMovie(movie());
        _LCDView->rebuild();
    }
}

void MVPMovieWindowController::removeMovieViewFromWindow()
{
    auto w = window();
    auto view = movieView();
    _removedMovieViewWasFirstResponder = w && view && w->firstResponder() == view;
    if (_backgroundView)
        _backgroundView->setContentView(nullptr);
}

void MVPMovieWindowController::restoreMovieViewToWindow()
{
    auto w = window();
    auto view = movieView();
    if (!w || !view || !_backgroundView)
        return;
    _backgroundView->setContentView(view);
    rebuildKeyViewLoop();
    if (_removedMovieViewWasFirstResponder)
        w->makeFirstResponder(view);
    _removedMovieViewWasFirstResponder = false;
    w->display();
}

// ---- Sizing ----

void MVPMovieWindowController::fitToScreen(HXObject*)
{
    zoomWindow(true);
}

void MVPMovieWindowController::zoom(HXObject*)
{
    MVPMovieWindowControllerResizing::zoom();
}

HXSize MVPMovieWindowController::windowWillResize(HXWindow&, HXSize proposedFrameSize)
{
    return MVPMovieWindowControllerResizing::windowWillResize(proposedFrameSize);
}

void MVPMovieWindowController::windowDidResize(HXWindow& window)
{
    MVPWindowController::windowDidResize(window);
    MVPMovieWindowControllerResizing::windowDidResize();
}

std::optional<HXRect> MVPMovieWindowController::windowWillUseStandardFrame(HXWindow& window, HXRect)
{
    HXRect frame = window.frame();
    auto doc = movieDocument();
    HXSize natural = doc ? doc->naturalSize() : HXSize {};
    HXRect standard = windowFrameForMovieViewScreenFrame(HXMakeRect(0, 0, natural.width, natural.height));
    return HXMakeRect(HXMinX(frame), HXMaxY(frame) - standard.size.height, standard.size.width, standard.size.height);
}

bool MVPMovieWindowController::isMovieViewDetached() const
{
    auto view = movieView();
    auto w = resizedWindow();
    return !view || !w || view->window() != w;
}

MVPMovieWindowMargins MVPMovieWindowController::margins() const
{
    if (!_bevelView || !_controls)
        return {};
    return MVPMovieWindowMarginsForViews(*_bevelView, *_controls);
}

HXSize MVPMovieWindowController::minimumWindowContentSize() const
{
    if (!_controls)
        return HXMakeSize(350, controlsStripHeight);
    return MVPMinimumWindowContentSizeForControlsStrip(*_controls);
}

HXSize MVPMovieWindowController::movieSize() const
{
    if (!_backgroundView)
        return {};
    return _backgroundView->convertSizeToView(_backgroundView->contentRect().size, nullptr);
}

std::shared_ptr<HXWindow> MVPMovieWindowController::resizedWindow() const
{
    return isWindowLoaded() ? const_cast<MVPMovieWindowController*>(this)->window() : nullptr;
}

HXSize MVPMovieWindowController::naturalSize() const
{
    auto doc = movieDocument();
    return doc ? doc->naturalSize() : HXSize {};
}

HXSize MVPMovieWindowController::userSize() const
{
    auto doc = movieDocument();
    return doc ? doc->userSize() : HXSize {};
}

void MVPMovieWindowController::setUserSize(const HXSize& size)
{
    if (auto doc = movieDocument())
        doc->setUserSize(size);
}

void MVPMovieWindowController::setPreservesAspectRatio(bool preserves)
{
    if (_backgroundView)
        _backgroundView->setPreservesAspectRatio(preserves);
}

bool MVPMovieWindowController::usesVisualContext() const
{
    auto doc = movieDocument();
    return doc && doc->usesVisualContext();
}

void MVPMovieWindowController::layoutBevelAboveControlsStrip()
{
    auto w = resizedWindow();
    if (!w || !_bevelView || !_controls)
        return;
    HXRect frame = MVPBevelFrameAboveControlsStrip(_controls->frame(), w->contentView()->bounds());
    if (!(frame == _bevelView->frame()))
        _bevelView->setFrame(frame);
}
