#include "fullscreen/presentation_hud_window_controller.h"

#include "player/controls/hud_text.h"
#include "fullscreen/presentation_manager.h"
#include "document/presentation_settings.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/event.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/lcd_view.h"

#include <algorithm>
#include <cmath>

namespace {

// The full-screen style of the transport bar, the volume control and the time display.
constexpr unsigned kFullScreenStyle = 1;

std::string localized(const std::string& key)
{
    auto bundle = HXBundle::mainBundle();
    return bundle ? bundle->localizedStringForKey(key, "") : std::string();
}


} // namespace

// ---- Geometry ----

FSPresentationHUDLayout FSPresentationHUDLayoutForSize(HXSize natural, HXSize transport, HXSize volume)
{
    const double W = natural.width, H = natural.height;
    const double T = H - 20;
    const double C = T - (transport.height + 8);
    FSPresentationHUDLayout layout;
    layout.title = { { 25, T }, { W - 50, 12 } };
    layout.transport = { { (W - transport.width) * 0.5, C }, transport };
    layout.volume = { { 25, C + 12 }, volume };
    layout.toggle = { { W - 79, C + 9 }, { 22, 22 } };
    layout.exit = { { W - 47, C + 9 }, { 22, 22 } };
    layout.timeDisplay = { { 25, C - 23 }, { 379, 15 } };
    return layout;
}

HXRect FSPresentationHUDFrameForParent(
    HXRect parent, HXSize size, const std::optional<HXPoint>& savedOrigin, double scaleFactor)
{
    HXPoint origin;
    if (savedOrigin && HXIntersectsRect({ *savedOrigin, size }, parent)) {
        origin = *savedOrigin;
    } else {
        origin.x = parent.origin.x + (parent.size.width - size.width) * 0.5;
        origin.y = parent.origin.y + (parent.size.height - size.height) * 0.25;
    }
    origin = { std::round(origin.x), std::round(origin.y) };
    return { origin, { size.width * scaleFactor, size.height * scaleFactor } };
}

std::string FSPresentationHUDToggleImageName(
    HXSize content, HXSize display, bool panoramicAvailable, uint16_t mysteryMode)
{
    double wide = content.width * display.height;
    double tall = content.height * display.width;
    if (wide == tall || !panoramicAvailable)
        return {};
    std::string base = wide > tall ? "FSLetterbox" : "FSPillarbox";
    return base + (mysteryMode == FSPresentationModeLetterbox ? "In" : "Out");
}

std::string FSPresentationHUDModeTitleKey(uint16_t mode)
{
    switch (mode) {
    case FSPresentationModeActualSize:
        return "mvpActualSize";
    case FSPresentationModeDoubleSize:
        return "mvpDoubleSize";
    case FSPresentationModeHalfSize:
        return "mvpHalfSize";
    case FSPresentationModeLetterbox:
        return "mvpLetterbox";
    case FSPresentationModeCrop:
        return "mvpZoom";
    case FSPresentationModeStretch:
        return "mvpStretch";
    case FSPresentationModePanoramic:
        return "mvpPanoramicStretch";
    default:
        return {};
    }
}

// ---- The panel and its background ----

FSPresentationHUDPanel::FSPresentationHUDPanel(HXRect frame)
    : HXPanel(frame, HXBorderlessWindowMask)
{
    setLevel(HXFloatingWindowLevel + 1000);
    setBecomesKeyOnlyIfNeeded(true);
    setAlphaValue(0);
    setBackgroundColor(HXColor::clearColor());
    setOpaque(false);
    setHasShadow(false);
    setHidesOnDeactivate(false);
    setUnconstrained(true);
}

void FSPresentationHUDPanel::sendEvent(const HXEvent& event)
{
    if (_eventDelegate && _eventDelegate->handleEvent(event))
        return;
    HXPanel::sendEvent(event);
}

bool FSPresentationHUDPanel::performKeyEquivalent(const HXEvent& event)
{
    if (_eventDelegate && _eventDelegate->handleEvent(event))
        return true;
    return HXPanel::performKeyEquivalent(event);
}

void FSPresentationHUDPanel::mouseDown(const HXEvent& event)
{
    HXPoint mouse = convertBaseToScreen(event.locationInWindow());
    _initialMouseLocation = { mouse.x - frame().origin.x, mouse.y - frame().origin.y };
}

void FSPresentationHUDPanel::mouseDragged(const HXEvent& event)
{
    HXPoint mouse = convertBaseToScreen(event.locationInWindow());
    setFrameOrigin({ mouse.x - _initialMouseLocation.x, mouse.y - _initialMouseLocation.y });
}

FSPresentationHUDContentView::FSPresentationHUDContentView(HXRect frame)
    : HXView(frame)
{
}

HXSize FSPresentationHUDContentView::naturalSize()
{
    auto base = HXImage::imageNamed("FSBase");
    // Wide enough for the 379-point time display with its margins when the picture is missing.
    return base ? base->size() : HXSize { 429, 104 };
}

void FSPresentationHUDContentView::drawRect(HXRect dirtyRect)
{
    HXRectFillUsingOperation(dirtyRect, HXCompositeClear);
    if (auto base = HXImage::imageNamed("FSBase"))
        base->compositeToPoint({ 0, 0 }, HXCompositeSourceOver);
}

// ---- The controller ----

std::shared_ptr<FSPresentationHUDWindowController>
FSPresentationHUDWindowController::fsPresentationHUDWindowControllerWithMovie(
    const std::shared_ptr<MVMovie>& movie, FSPresentationHUDDelegate* delegate)
{
    return std::make_shared<FSPresentationHUDWindowController>(movie, delegate);
}

FSPresentationHUDWindowController::FSPresentationHUDWindowController(
    const std::shared_ptr<MVMovie>& movie, FSPresentationHUDDelegate* delegate)
    : _delegate(delegate)
{
    setShouldCascadeWindows(false);
    setMovie(movie);
}

FSPresentationHUDWindowController::~FSPresentationHUDWindowController()
{
    _delegate = nullptr;
    setHUDTimer(nullptr);
    setHUDFaderTimer(nullptr);
    if (_panel) {
        _panel->setEventDelegate(nullptr);
        _panel->orderOut();
    }
}

void FSPresentationHUDWindowController::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    _movie = movie;
    if (auto volume = std::dynamic_pointer_cast<MVPMovieVolumeView>(_movieVolumeView)) {
        volume->setMovie(movie);
        volume->update();
    }
    if (auto transport = std::dynamic_pointer_cast<MVPMovieControlsView>(_movieControlsView)) {
        transport->setMovie(movie);
        transport->update();
    }
    if (auto lcd = std::dynamic_pointer_cast<MVPLCDView>(_LCDView))
        lcd->setMovie(movie);
    update();
}

void FSPresentationHUDWindowController::setHUDTimer(std::shared_ptr<HXTimer> timer)
{
    if (_HUDTimer && _HUDTimer != timer)
        _HUDTimer->invalidate();
    _HUDTimer = std::move(timer);
}

void FSPresentationHUDWindowController::setHUDFaderTimer(std::shared_ptr<HXTimer> timer)
{
    if (_HUDFaderTimer && _HUDFaderTimer != timer)
        _HUDFaderTimer->invalidate();
    _HUDFaderTimer = std::move(timer);
}

HXRect FSPresentationHUDWindowController::HUDFrame()
{
    HXSize size = FSPresentationHUDContentView::naturalSize();
    if (_parentWindowRect.size.width == 0 && _parentWindowRect.size.height == 0
        && _parentWindowRect.origin.x == 0 && _parentWindowRect.origin.y == 0) {
        auto screens = HXScreen::screens();
        if (!screens.empty())
            _parentWindowRect = screens.front().frame();
    }
    std::optional<HXPoint> saved;
    std::string stored = HXUserDefaults::standardUserDefaults().stringForKey(FSPresentationHUDPosition);
    if (!stored.empty())
        saved = HXPointFromString(stored);
    HXRect frame = FSPresentationHUDFrameForParent(_parentWindowRect, size, saved);
    // The screen holding most of the panel gives the scale.
    double factor = 0, best = 0;
    for (const auto& screen : HXScreen::screens()) {
        HXRect common = HXIntersectionRect(screen.frame(), frame);
        double area = common.size.width * common.size.height;
        if (area > best) {
            best = area;
            factor = screen.userSpaceScaleFactor();
        }
    }
    if (factor == 0) {
        auto main = HXScreen::mainScreen();
        factor = main ? main->userSpaceScaleFactor() : 1;
    }
    frame.size = { size.width * factor, size.height * factor };
    return frame;
}

void FSPresentationHUDWindowController::loadWindow()
{
    HXSize natural = FSPresentationHUDContentView::naturalSize();
    auto panel = std::make_shared<FSPresentationHUDPanel>(HUDFrame());
    panel->setEventDelegate(this);
    _panel = panel;
    auto content = std::make_shared<FSPresentationHUDContentView>(HXRect { { 0, 0 }, natural });
    panel->setContentView(content);
    setWindow(panel);
    auto self = std::static_pointer_cast<HXResponder>(shared_from_this());
    auto layout = FSPresentationHUDLayoutForSize(natural, MVPMovieControlsView::naturalSize(kFullScreenStyle),
        MVPMovieVolumeView::naturalSize(kFullScreenStyle));

    _titleTextField = std::make_shared<HUDTextField>(layout.title);
    _titleTextField->setAlignment(HXCenterTextAlignment);
    _titleTextField->setFont(HXFont::boldSystemFontOfSize(10));
    content->addSubview(_titleTextField);

    auto volume = MVPMovieVolumeView::create(layout.volume, _movie, kFullScreenStyle);
    volume->setAlwaysActive(true);
    _movieVolumeView = volume;
    content->addSubview(volume);
    auto transport = MVPMovieControlsView::create(layout.transport, _movie, kFullScreenStyle);
    transport->setAlwaysActive(true);
    _movieControlsView = transport;
    content->addSubview(transport);

    if (MVMediaKeys::mediaKeys().boolForType("MVPlayerFSHUDZoomButton", true)) {
        _toggleButton = std::make_shared<ImageButton>(layout.toggle);
        _toggleButton->setBordered(false);
        _toggleButton->setButtonType(HXMomentaryChangeButton);
        _toggleButton->setTarget(shared_from_this());
        _toggleButton->setAction(HXSelector("togglePresentationMode:"));
        content->addSubview(_toggleButton);
        _mysteryButtonTrackingRectTagNumber
            = _toggleButton->addTrackingRect(_toggleButton->bounds(), self, nullptr, false);
        auto menu = std::make_shared<HXMenu>("");
        menu->setAutoenablesItems(true);
        std::shared_ptr<HXObject> target;
        if (auto* object = dynamic_cast<HXObject*>(_delegate))
            target = object->weak_from_this().lock();
        const std::tuple<const char*, const char*, const char*> items[] = {
            { "mvpLetterbox", "letterboxToScreen:", "3" },
            { "mvpZoom", "cropToScreen:", "4" },
            { "mvpPanoramicStretch", "panoramicStretchToScreen:", "5" },
        };
        for (auto [key, action, equivalent] : items) {
            auto item = menu->addItemWithTitle(localized(key), HXSelector(action), equivalent);
            item->setTarget(target);
        }
        _toggleButton->setMenu(menu);
    }

    auto exit = std::make_shared<ImageButton>(layout.exit);
    exit->setButtonImageSet(MVPButtonImageSet::imageSetWithBaseImageName("FSExit"));
    _closeButton = exit;
    _closeButton->setBordered(false);
    _closeButton->setButtonType(HXMomentaryChangeButton);
    _closeButton->setTarget(shared_from_this());
    _closeButton->setAction(HXSelector("endFullScreen:"));
    content->addSubview(_closeButton);
    _exitButtonTrackingRectTagNumber = _closeButton->addTrackingRect(_closeButton->bounds(), self, nullptr, false);

    auto lcd = MVPLCDView::LCDViewWithFrame(layout.timeDisplay, _movie, nullptr);
    lcd->setStyle(kFullScreenStyle);
    lcd->setEqualizerEnabled(false);
    lcd->setEditingEnabled(false);
    _LCDView = lcd;
    content->addSubview(lcd);

    _panelTrackingRectTagNumber = content->addTrackingRect(content->bounds(), self, nullptr, false);

    setActionHandler(HXSelector("togglePresentationMode:"), [this](HXObject* s) { togglePresentationMode(s); });
    setActionHandler(HXSelector("endFullScreen:"), [this](HXObject* s) { endFullScreen(s); });
    update();
}

void FSPresentationHUDWindowController::setTitle(const std::string& title)
{
    if (_titleTextField)
        _titleTextField->setStringValue(title);
}

std::string FSPresentationHUDWindowController::title() const
{
    return _titleTextField ? _titleTextField->stringValue() : std::string();
}

std::string FSPresentationHUDWindowController::windowTitle(bool forToggle)
{
    if (forToggle && _delegate && _delegate->answersPresentationQueries()) {
        std::string key = FSPresentationHUDModeTitleKey(_delegate->mysteryPresentationMode() & 0xFFFF);
        if (!key.empty())
            return localized(key);
    }
    std::string name = _movie ? _movie->displayName() : std::string();
    return name.empty() ? localized("mvpMovie") : name;
}

bool FSPresentationHUDWindowController::mouseIsInsideToggle()
{
    if (!_toggleButton || !_panel)
        return false;
    auto app = HXApplication::sharedApplication();
    auto server = app ? app->windowServerPointer() : nullptr;
    if (!server)
        return false;
    HXPoint inWindow = _panel->convertScreenToBase(server->mouseLocation());
    HXPoint inButton = _toggleButton->convertPointFromView(inWindow, nullptr);
    return HXPointInRect(inButton, _toggleButton->bounds());
}

void FSPresentationHUDWindowController::update()
{
    if (!_delegate || !_delegate->answersPresentationQueries()) {
        setTitle(windowTitle(false));
        return;
    }
    _toggleImageName = FSPresentationHUDToggleImageName(_delegate->contentSize(), _delegate->displaySize(),
        _delegate->isPanoramicStretchAvailable(), _delegate->mysteryPresentationMode() & 0xFFFF);
    if (_toggleImageName.empty()) {
        if (_toggleButton)
            _toggleButton->setHidden(true);
        setTitle(windowTitle(false));
        return;
    }
    if (_toggleButton) {
        std::static_pointer_cast<ImageButton>(_toggleButton)
            ->setButtonImageSet(MVPButtonImageSet::imageSetWithBaseImageName(_toggleImageName));
        _toggleButton->setHidden(false);
    }
    setTitle(windowTitle(mouseIsInsideToggle()));
}

// ---- Showing, hiding, fading ----

std::shared_ptr<HXWindow> FSPresentationHUDWindowController::panel()
{
    if (!_panel)
        loadWindow();
    return _panel;
}

void FSPresentationHUDWindowController::setEnabled(bool enabled)
{
    _enabled = enabled;
    auto panel = this->panel();
    if (!enabled) {
        if (_isVisible || panel->isVisible())
            hideHUD(false);
        // The next presentation puts the panel where the user left it, faded out or not.
        HXUserDefaults::standardUserDefaults().setObject(
            HXPropertyList(HXStringFromPoint(panel->frame().origin)), FSPresentationHUDPosition);
    } else {
        panel->setFrame(HUDFrame(), false);
    }
}

void FSPresentationHUDWindowController::showHUD(bool autoHide)
{
    if (!_enabled || _isVisible)
        return;
    _autoFadeOut = autoHide;
    HXCursor::setHiddenUntilMouseMoves(false);
    update();
    panel()->display();
    fadeHUD(true);
    if (_fadeOutTime > 0)
        enableAutoFadeOut(autoHide);
}

void FSPresentationHUDWindowController::hideHUD(bool fade)
{
    setHUDTimer(nullptr);
    if (fade) {
        fadeHUD(false);
        return;
    }
    setHUDFaderTimer(nullptr);
    if (_panel) {
        _panel->orderOut();
        _panel->setAlphaValue(0);
    }
    _isVisible = false;
}

void FSPresentationHUDWindowController::enableAutoFadeOut(bool enable)
{
    if (!enable) {
        setHUDTimer(nullptr);
        return;
    }
    auto& loop = HXRunLoop::main();
    if (_HUDTimer && _HUDTimer->isValid()) {
        _HUDTimer->setFireDate(loop.now() + _fadeOutTime);
        return;
    }
    std::weak_ptr<FSPresentationHUDWindowController> weak
        = std::static_pointer_cast<FSPresentationHUDWindowController>(shared_from_this());
    auto timer = HXTimer::timer(_fadeOutTime, false, [weak](HXTimer&) {
        if (auto self = weak.lock()) {
            self->fadeHUD(false);
            self->setHUDTimer(nullptr);
        }
    });
    loop.addTimer(timer, HXRunLoopModes { HXRunLoopCommonModes });
    setHUDTimer(timer);
}

void FSPresentationHUDWindowController::fadeHUD(bool fadeIn)
{
    _fadingIn = fadeIn;
    _isVisible = fadeIn;
    double alpha = panel()->alphaValue();
    if ((fadeIn && alpha >= 1) || (!fadeIn && alpha <= 0) || _HUDFaderTimer)
        return;
    auto& loop = HXRunLoop::main();
    _fadeStartTime = loop.now();
    std::weak_ptr<FSPresentationHUDWindowController> weak
        = std::static_pointer_cast<FSPresentationHUDWindowController>(shared_from_this());
    auto timer = HXTimer::timer(0.0125, true, [weak](HXTimer&) {
        if (auto self = weak.lock())
            self->fadeHUDTimer();
    });
    loop.addTimer(timer, HXRunLoopModes { HXRunLoopCommonModes });
    setHUDFaderTimer(timer);
}

void FSPresentationHUDWindowController::fadeHUDTimer()
{
    auto panel = this->panel();
    if (_fadingIn && !panel->isVisible())
        panel->orderFront();
    double p = std::min(std::max((HXRunLoop::main().now() - _fadeStartTime) * 4.0, 0.0), 1.0);
    double alpha = _fadingIn ? p : 1 - p;
    panel->setAlphaValue(alpha);
    if (_fadingIn && alpha >= 1) {
        setHUDFaderTimer(nullptr);
    } else if (!_fadingIn && alpha <= 0) {
        setHUDFaderTimer(nullptr);
        panel->orderOut();
        if (_delegate && _delegate->shouldHideCursor())
            HXCursor::setHiddenUntilMouseMoves(true);
    }
}

// ---- Mouse and events ----

void FSPresentationHUDWindowController::mouseEntered(const HXEvent& event)
{
    long tag = event.trackingNumber();
    if (_toggleButton && tag == _mysteryButtonTrackingRectTagNumber) {
        setTitle(windowTitle(true));
    } else if (tag == _exitButtonTrackingRectTagNumber) {
        setTitle(localized("mvpExitFullScreen"));
    } else if (tag == _panelTrackingRectTagNumber) {
        // The panel stays while the pointer is over it.
        showHUD(false);
        enableAutoFadeOut(false);
    }
}

void FSPresentationHUDWindowController::mouseExited(const HXEvent& event)
{
    long tag = event.trackingNumber();
    if ((_toggleButton && tag == _mysteryButtonTrackingRectTagNumber) || tag == _exitButtonTrackingRectTagNumber) {
        setTitle(windowTitle(false));
    } else if (tag == _panelTrackingRectTagNumber) {
        showHUD(true);
        enableAutoFadeOut(true);
    }
}

bool FSPresentationHUDWindowController::handleEvent(const HXEvent& event)
{
    switch (event.type()) {
    case HXLeftMouseDown:
    case HXLeftMouseUp:
    case HXMouseMoved:
    case HXLeftMouseDragged:
        if (_enabled)
            FSPresentationManager::fsPresentationManager().showHUDs(true);
        return false;
    case HXScrollWheel:
        return _delegate && _delegate->handleEvent(event);
    default:
        return false;
    }
}

void FSPresentationHUDWindowController::togglePresentationMode(HXObject*)
{
    if (_delegate && _delegate->answersPresentationQueries())
        _delegate->setPresentationMode(_delegate->mysteryPresentationMode() & 0xFFFF, true);
    update();
}

void FSPresentationHUDWindowController::endFullScreen(HXObject*)
{
    if (_delegate)
        _delegate->endFullScreen();
}
