#include "player/controls/movie_controls_view.h"

#include "document/movie_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"
#include "player/controls/accessibility_additions.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kKeyLoopChanged = "MVAKeyLoopChanged";

// Actions of the bar's buttons.
const HXSelector kGotoBeginning("gotoBeginning:");
const HXSelector kGotoBeginningOfChapter("gotoBeginningOfChapter:");
const HXSelector kRewind("rewind:");
const HXSelector kFastForward("fastForward:");
const HXSelector kPlay("play:");
const HXSelector kPause("pause:");
const HXSelector kGotoEnd("gotoEnd:");
const HXSelector kGotoNextChapter("gotoNextChapter:");
const HXSelector kGoBack("goBack:");
const HXSelector kZoomOut("zoomOut:");
const HXSelector kZoomIn("zoomIn:");
const HXSelector kToggleHotSpots("toggleHotSpots:");

// While a rewind or fast-forward button is held.
constexpr float kHeldRate = 2.0f;

} // namespace

HXSize MVPMovieControlsView::naturalSize(unsigned style)
{
    if (style == 0 || style == 1)
        return { 218, 41 };
    return {};
}

std::shared_ptr<MVPMovieControlsView> MVPMovieControlsView::create(
    HXRect frame, std::shared_ptr<MVMovie> movie, unsigned style)
{
    return create(frame, movie ? std::make_shared<MVPControlledMovie>(std::move(movie)) : nullptr, style);
}

std::shared_ptr<MVPMovieControlsView> MVPMovieControlsView::create(
    HXRect frame, std::shared_ptr<MVPControlledMovie> movie, unsigned style)
{
    auto bar = std::make_shared<MVPMovieControlsView>(frame);
    bar->setStyle(style);
    bar->setMovie(std::move(movie));
    bar->update();
    return bar;
}

MVPMovieControlsView::MVPMovieControlsView(HXRect frame)
    : HXView(frame)
{
    registerActions();
}

MVPMovieControlsView::~MVPMovieControlsView()
{
    stopObservingMovie();
}

void MVPMovieControlsView::registerActions()
{
    const std::pair<HXSelector, void (MVPMovieControlsView::*)(HXObject*)> actions[] = {
        { kGotoBeginning, &MVPMovieControlsView::gotoBeginning },
        { kGotoBeginningOfChapter, &MVPMovieControlsView::gotoBeginningOfChapter },
        { kRewind, &MVPMovieControlsView::rewind },
        { kFastForward, &MVPMovieControlsView::fastForward },
        { kPlay, &MVPMovieControlsView::play },
        { kPause, &MVPMovieControlsView::pause },
        { kGotoEnd, &MVPMovieControlsView::gotoEnd },
        { kGotoNextChapter, &MVPMovieControlsView::gotoNextChapter },
        { kGoBack, &MVPMovieControlsView::goBack },
        { kZoomOut, &MVPMovieControlsView::zoomOut },
        { kZoomIn, &MVPMovieControlsView::zoomIn },
        { kToggleHotSpots, &MVPMovieControlsView::toggleHotSpots },
    };
    for (const auto& [selector, method] : actions)
        setActionHandler(selector, [this, method](HXObject* sender) { (this->*method)(sender); });
}

// ---- The movie
// -----------------------------------------------------------------------------------------------

void MVPMovieControlsView::stopObservingMovie()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _observers)
        center.removeObserver(token);
    _observers.clear();
    HXRunLoop::main().cancelPerformRequests(this);
}

void MVPMovieControlsView::setMovie(std::shared_ptr<MVMovie> movie)
{
    setMovie(movie ? std::make_shared<MVPControlledMovie>(std::move(movie)) : nullptr);
}

void MVPMovieControlsView::setMovie(std::shared_ptr<MVPControlledMovie> movie)
{
    stopObservingMovie();
    _movie = std::move(movie);
    auto m = this->movie();
    if (m) {
        auto& center = HXNotificationCenter::defaultCenter();
        _observers.push_back(center.addObserver(this, MVMovieRateDidChangeNotification, m.get(),
            [this](const HXNotification& n) { rateChanged(n); }));
        _observers.push_back(center.addObserver(
            this, MVMovieEditedNotification, m.get(), [this](const HXNotification& n) { movieEdited(n); }));
        _observers.push_back(center.addObserver(this, MVMovieTimeDidChangeNotification, m.get(),
            [this](const HXNotification& n) { timeChanged(n); }));
        // A panorama's node (with its own hot spots) or the hot spots' visibility may change by a click in
        // the picture or a script: the hot-spot button follows.
        _observers.push_back(center.addObserver(
            this, MVMoviePanoramaViewDidChangeNotification, m.get(), [this](const HXNotification&) {
                if (_isVRMovie)
                    updateButtonState();
            }));
    }
    _isPlaying = _movie && (_movie->isPlaying() || MVPMovieAdditions::isForcedToAppearToBePlaying(m));
    _isVRMovie = _movie && _movie->hasVRController();
    _isChapterModeClip = _movie && _movie->chapterMode() == 1 && _movie->hasChapters();
    _autoOffPlaysAllFrames = false;
    setAccessibilityTitles();
}

// ---- Building and laying out
// ---------------------------------------------------------------------------------

std::shared_ptr<ImageButton> MVPMovieControlsView::imageButton()
{
    auto button = std::make_shared<ImageButton>(HXZeroRect);
    button->setBordered(false);
    MVPAccessibility::invokeAccessibilitySetOverrideValue(*button->cell(),
        MVPAccessibility::localizedString("mvpAXButtonRoleDescription"),
        HXAccessibilityRoleDescriptionAttribute);
    return button;
}

std::string MVPMovieControlsView::imageNameForButton(const ImageButton* button) const
{
    if (_style > 1 || !button)
        return {};
    auto it
        = std::find_if(_buttons.begin(), _buttons.end(), [&](const auto& b) { return b.get() == button; });
    if (it == _buttons.end())
        return {};
    std::string name;
    switch (Position(it - _buttons.begin())) {
    case LeftButton:
        name = _isVRMovie ? "VRPrevious" : "Beginning";
        break;
    case LeftCenterButton:
        name = _isVRMovie ? "VRZoomOut" : "Backward";
        break;
    case CenterButton:
        name = !_isVRMovie && _isPlaying ? "Pause" : "Play";
        break;
    case RightCenterButton:
        name = _isVRMovie ? "VRZoomIn" : "Forward";
        break;
    case RightButton:
        name = _isVRMovie ? "VRHotspots" : "End";
        break;
    }
    return _style == 1 ? "FS" + name : name;
}

void MVPMovieControlsView::setUpImageButton(const std::shared_ptr<ImageButton>& button,
    bool sendActionOnHighlightChange, bool toggles, HXSelector action)
{
    if (!button)
        return;
    std::string name = imageNameForButton(button.get());
    button->setButtonImageSet(name.empty() ? nullptr : MVPButtonImageSet::imageSetWithBaseImageName(name));
    button->setSendActionOnHighlightChange(sendActionOnHighlightChange);
    button->setToggles(toggles);
    button->setTarget(shared_from_this());
    button->setAction(action);
}

void MVPMovieControlsView::update()
{
    if (!_buttons[0]) {
        for (auto& button : _buttons) {
            button = imageButton();
            addSubview(button);
        }
        setAccessibilityTitles();
        HXNotificationCenter::defaultCenter().postNotificationName(kKeyLoopChanged, window().get());
    }
    if (_style == 0 || _style == 1) {
        setUpImageButton(_buttons[LeftButton], false, false,
            _isVRMovie ? kGoBack : (_isChapterModeClip ? kGotoBeginningOfChapter : kGotoBeginning));
        setUpImageButton(_buttons[LeftCenterButton], true, false, _isVRMovie ? kZoomOut : kRewind);
        setUpImageButton(
            _buttons[CenterButton], false, false, _isVRMovie ? HXSelector() : (_isPlaying ? kPause : kPlay));
        setUpImageButton(_buttons[RightCenterButton], true, false, _isVRMovie ? kZoomIn : kFastForward);
        setUpImageButton(_buttons[RightButton], false, _isVRMovie,
            _isVRMovie ? kToggleHotSpots : (_isChapterModeClip ? kGotoNextChapter : kGotoEnd));
    }

    // Side by side, touching, top-aligned, then the row centred in the bar.
    HXRect b = bounds();
    double x = 0;
    for (auto& button : _buttons) {
        HXSize size = button->cell()->cellSize();
        button->setFrame({ { x, b.size.height - size.height }, size });
        x += size.width;
    }
    for (auto position : { LeftButton, RightButton, LeftCenterButton, RightCenterButton })
        _buttons[position]->setHidden(false);
    double minLeft = b.size.width, maxRight = 0;
    for (const auto& view : subviews()) {
        minLeft = std::min(minLeft, HXMinX(view->frame()));
        maxRight = std::max(maxRight, HXMaxX(view->frame()));
    }
    double offset = std::round((b.size.width - (maxRight - minLeft)) * 0.5);
    for (const auto& view : subviews()) {
        HXPoint origin = view->frame().origin;
        view->setFrameOrigin({ origin.x + offset, origin.y });
    }
    setNeedsDisplay(true);
    updateButtonState();
}

void MVPMovieControlsView::updateButtonState()
{
    if (!_buttons[0])
        return;
    bool enabled[5] = { false, false, false, false, false };
    if (_style >= 2) {
        // Nothing here works.
    } else if (_isVRMovie) {
        enabled[LeftButton] = enabled[LeftCenterButton] = enabled[RightCenterButton] = true;
        enabled[RightButton] = _movie && _movie->hotspotCount() > 0;
        _buttons[RightButton]->setState(_movie && _movie->hotspotsVisible() ? HXOnState : HXOffState);
    } else {
        unsigned t = _movie ? _movie->movieType() : 0;
        enabled[LeftButton] = enabled[RightButton] = t != 0 && t != 3;
        enabled[LeftCenterButton] = enabled[RightCenterButton] = t != 0 && t != 3 && t != 4;
        enabled[CenterButton] = true;
    }
    for (int i = 0; i < 5; ++i)
        _buttons[size_t(i)]->setEnabled(enabled[i]);
}

void MVPMovieControlsView::setAlwaysActive(bool flag)
{
    for (auto& button : _buttons)
        if (button)
            button->setAlwaysActive(flag);
}

std::shared_ptr<HXView> MVPMovieControlsView::appendKeyViewsTo(const std::shared_ptr<HXView>& view)
{
    std::shared_ptr<HXView> last = view;
    for (auto& button : _buttons) {
        if (!button)
            continue;
        if (last)
            last->setNextKeyView(button);
        last = button;
    }
    return last;
}

// ---- Accessibility
// -------------------------------------------------------------------------------------------

void MVPMovieControlsView::setAccessibilityTitles()
{
    static const char* linear[5]
        = { "mvpGotoBeginning", "mvpFastRewind", nullptr, "mvpFastForward", "mvpGotoEnd" };
    static const char* vr[5] = { "mvpBack", "mvpZoomOut", nullptr, "mvpZoomIn", "mvpShowHotspots" };
    for (int i = 0; i < 5; ++i) {
        auto& button = _buttons[size_t(i)];
        if (!button)
            continue;
        if (i == CenterButton) {
            setCenterAccessibilityTitle();
            continue;
        }
        MVPAccessibility::invokeAccessibilitySetOverrideValue(*button->cell(),
            MVPAccessibility::localizedString(_isVRMovie ? vr[i] : linear[i]), HXAccessibilityTitleAttribute);
    }
}

void MVPMovieControlsView::setCenterAccessibilityTitle()
{
    auto& button = _buttons[CenterButton];
    if (!button)
        return;
    MVPAccessibility::invokeAccessibilitySetOverrideValue(*button->cell(),
        MVPAccessibility::localizedString(_isPlaying ? "mvpAXPauseButtonTitle" : "mvpAXPlayButtonTitle"),
        HXAccessibilityTitleAttribute);
}

// ---- Following the movie
// -------------------------------------------------------------------------------------

void MVPMovieControlsView::showPlayingState(bool playing)
{
    _isPlaying = playing;
    if (!playing && _autoOffPlaysAllFrames) {
        _autoOffPlaysAllFrames = false;
        if (_movie)
            _movie->setPlaysAllFrames(false);
    }
    if (_style == 0 || _style == 1)
        setUpImageButton(
            _buttons[CenterButton], false, false, _isVRMovie ? HXSelector() : (_isPlaying ? kPause : kPlay));
    setCenterAccessibilityTitle();
}

void MVPMovieControlsView::rateChanged(const HXNotification& notification)
{
    bool playing;
    auto it = notification.userInfo().find(MVMovieRateDidChangeNotificationParameter);
    if (it != notification.userInfo().end())
        playing = it->second.realValue() != 0;
    else
        playing = _movie && _movie->isPlaying();
    // Fast key-frame play leaves the movie's own rate at 0 but shows as playing.
    if (!playing && MVPMovieAdditions::isForcedToAppearToBePlaying(movie()))
        playing = true;
    showPlayingState(playing);
}

void MVPMovieControlsView::movieEdited(const HXNotification&)
{
    updateButtonState();
}

void MVPMovieControlsView::timeChanged(const HXNotification&)
{
    // Fast key-frame play ends without a change of rate (the movie stood at rate 0 all along): once the
    // step that moved the time is over, look again whether the movie still appears to play.
    if (!_isPlaying || !_movie || _movie->rate() != 0)
        return;
    HXRunLoop::main().cancelPerformRequests(this);
    std::weak_ptr<HXObject> weak = weak_from_this();
    HXRunLoop::main().performAfterDelay(this, 0,
        [weak, this] {
            if (weak.expired() || !_isPlaying || !_movie)
                return;
            if (!_movie->isPlaying() && !MVPMovieAdditions::isForcedToAppearToBePlaying(movie()))
                showPlayingState(false);
        },
        { HXRunLoopCommonModes });
}

// ---- Actions
// -------------------------------------------------------------------------------------------------

uint32_t MVPMovieControlsView::currentModifierFlags()
{
    auto app = HXApplication::sharedApplication();
    const HXEvent* event = app ? app->currentEvent() : nullptr;
    return event ? event->modifierFlags() : 0;
}

bool MVPMovieControlsView::isButtonHighlighted(HXObject* sender) const
{
    auto* control = dynamic_cast<HXControl*>(sender);
    return control && control->isHighlighted();
}

void MVPMovieControlsView::gotoBeginning(HXObject*)
{
    if (_movie)
        _movie->gotoBeginning();
}

void MVPMovieControlsView::gotoBeginningOfChapter(HXObject*)
{
    if (!_movie)
        return;
    int index = _movie->currentChapterIndex();
    if (index <= 1) {
        _movie->gotoBeginning();
        return;
    }
    bool option = currentModifierFlags() & HXAlternateKeyMask;
    _movie->setCurrentChapterIndex(option ? index - 1 : index);
}

void MVPMovieControlsView::rewind(HXObject* sender)
{
    if (!_movie)
        return;
    if (isButtonHighlighted(sender)) {
        _originalRate = _movie->rate();
        _movie->setRate(-kHeldRate);
    } else {
        _movie->setRate(_originalRate);
    }
}

void MVPMovieControlsView::fastForward(HXObject* sender)
{
    if (!_movie)
        return;
    if (isButtonHighlighted(sender)) {
        _originalRate = _movie->rate();
        _movie->setRate(kHeldRate);
    } else {
        _movie->setRate(_originalRate);
    }
}

void MVPMovieControlsView::play(HXObject*)
{
    if (!_movie)
        return;
    if ((currentModifierFlags() & HXControlKeyMask) && !_movie->playsAllFrames()) {
        _movie->setPlaysAllFrames(true);
        _autoOffPlaysAllFrames = true;
    }
    _movie->play();
}

void MVPMovieControlsView::pause(HXObject*)
{
    if (_movie)
        _movie->stop();
}

void MVPMovieControlsView::gotoEnd(HXObject*)
{
    if (!_movie)
        return;
    const float rate = _movie->rate();
    _movie->gotoEnd();
    // A looping movie goes on playing from the end, at the rate it had: it loops on from there (or turns
    // back), rather than starting again at once as a play from a stopped end would.
    if (rate != 0 && (_movie->loops() || _movie->loopsBackAndForth()))
        _movie->setRate(rate);
}

void MVPMovieControlsView::gotoNextChapter(HXObject*)
{
    if (!_movie)
        return;
    int index = _movie->currentChapterIndex();
    if (index >= _movie->chapterCount())
        _movie->gotoEnd();
    else
        _movie->setCurrentChapterIndex(index + 1);
}

void MVPMovieControlsView::goBack(HXObject*)
{
    if (_movie)
        _movie->gotoPreviousNode();
}

void MVPMovieControlsView::zoomOut(HXObject* sender)
{
    if (_movie)
        _movie->zoom(isButtonHighlighted(sender) ? 1.0f : 0.0f);
}

void MVPMovieControlsView::zoomIn(HXObject* sender)
{
    if (_movie)
        _movie->zoom(isButtonHighlighted(sender) ? -1.0f : 0.0f);
}

void MVPMovieControlsView::toggleHotSpots(HXObject*)
{
    if (_movie)
        _movie->setHotspotsVisible(!_movie->hotspotsVisible());
}
