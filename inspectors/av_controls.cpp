#include "inspectors/av_controls.h"

#include "document/media_attributes.h"
#include "document/movie_document.h"
#include "document/persistence.h"
#include "player/controls/hud_content_view.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_modes.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/notifications.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"
#include "player/controls/detent_slider.h"
#include "player/window/movie_ui_window.h"

#include <algorithm>
#include <cmath>

// The panel's layouts (av_controls_interface.cpp), registered on first use.
void AVControlsRegisterInterfaces();

namespace {

std::shared_ptr<AVControls>& singletonSlot()
{
    // Kept for the whole process unless released (never torn down after the window server is gone).
    static auto* controls = new std::shared_ptr<AVControls>();
    return *controls;
}

float valueOf(HXObject* sender)
{
    auto* control = dynamic_cast<HXControl*>(sender);
    return control ? control->floatValue() : 0.0f;
}

void setValue(const std::shared_ptr<HXSlider>& slider, double value)
{
    if (slider)
        slider->setDoubleValue(value);
}

void enable(const std::shared_ptr<HXControl>& control, bool enabled)
{
    if (control)
        control->setEnabled(enabled);
}

void colorLabels(std::initializer_list<std::shared_ptr<HXTextField>> labels, bool enabled)
{
    for (const auto& label : labels) {
        if (label)
            label->setTextColor(enabled ? HXColor::whiteColor() : HXColor::grayColor());
    }
}

// The registered presentation that sent a state notification, or none.
FSPresentationWindowController* presentationOf(const HXNotification& notification)
{
    for (auto* presentation : FSPresentationManager::fsPresentationManager().fsPresentations()) {
        if (presentation == notification.object())
            return presentation;
    }
    return nullptr;
}

// The movie a player window shows: its document's, unless that is the featured movie.
std::shared_ptr<MVMovie> movieOfPlayerWindow(const HXWindow& window)
{
    if (!HXDocumentController::hasSharedDocumentController())
        return nullptr;
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(
        HXDocumentController::sharedDocumentController()->documentForWindow(window));
    return doc && !doc->isReelspot() ? doc->movie() : nullptr;
}

// A stored picture or sound setting of the movie, or the neutral value when the file has none.
float storedOr(const MVMovie& movie, const char* key, float (*reader)(const MVMovie&), float neutral)
{
    return MVPPersistence::hasMovieMetaDataItem(key, movie) ? reader(movie) : neutral;
}

} // namespace

// ---- Making

std::shared_ptr<AVControls> AVControls::avControls()
{
    auto& slot = singletonSlot();
    if (!slot) {
        slot = std::shared_ptr<AVControls>(new AVControls());
        slot->observeApplication();
    }
    return slot;
}

bool AVControls::hasAVControls()
{
    return singletonSlot() != nullptr;
}

void AVControls::releaseAVControls()
{
    auto controls = std::move(singletonSlot());
    controls.reset();
}

AVControls::AVControls()
{
    setActionHandler("changeGain:", [this](HXObject* s) { changeGain(s); });
    setActionHandler("changeBalance:", [this](HXObject* s) { changeBalance(s); });
    setActionHandler("changeBass:", [this](HXObject* s) { changeBass(s); });
    setActionHandler("changeTreble:", [this](HXObject* s) { changeTreble(s); });
    setActionHandler("changePitch:", [this](HXObject* s) { changePitch(s); });
    setActionHandler("changeBrightness:", [this](HXObject* s) { changeBrightness(s); });
    setActionHandler("changeColor:", [this](HXObject* s) { changeColor(s); });
    setActionHandler("changeContrast:", [this](HXObject* s) { changeContrast(s); });
    setActionHandler("changeTint:", [this](HXObject* s) { changeTint(s); });
    setActionHandler("changeSpeed:", [this](HXObject* s) { changeSpeed(s); });
    setActionHandler("shuttleMovie:", [this](HXObject* s) { shuttleMovie(s); });
    setActionHandler("resetJog:", [this](HXObject* s) { resetJog(s); });
    setActionHandler("reset:", [this](HXObject* s) { reset(s); });
}

void AVControls::observeApplication()
{
    auto& center = HXNotificationCenter::defaultCenter();
    auto add = [&](const char* name, void (AVControls::*handler)(const HXNotification&)) {
        _applicationObservers.push_back(center.addObserver(
            name, nullptr, [this, handler](const HXNotification& n) { (this->*handler)(n); }));
    };
    add(FSPresentationEnteringFullScreenStateNotification, &AVControls::enteringFullScreen);
    add(FSPresentationInactiveStateNotification, &AVControls::inactiveFullScreen);
    add(HXWindowDidBecomeMainNotification, &AVControls::documentWindowBecameMain);
    add(HXWindowWillCloseNotification, &AVControls::documentWindowClosing);
    add(MVPMovieDocumentSetMovieNotification, &AVControls::documentMovieChanged);
    add(HXApplicationWillTerminateNotification, &AVControls::appWillTerminate);
}

AVControls::~AVControls()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _applicationObservers)
        center.removeObserver(token);
    for (auto token : _movieObservers)
        center.removeObserver(token);
    if (_avControlsPanel && _avControlsPanel->isVisible())
        _avControlsPanel->close();
    _movie.reset();
}

bool AVControls::imageFiltersAvailable()
{
    // The picture adjustments are our own colour matrix over the decoded pictures: always there.
    return true;
}

bool AVControls::movieUsesAudioContext(const MVMovie& movie)
{
    // Every sound the playback mixes passes through its tempo and pitch filter.
    return movie.hasAudio();
}

// ---- Loading

void AVControls::loadPanel()
{
    if (_avControlsPanel)
        return;
    AVControlsRegisterInterfaces();
    auto self = std::static_pointer_cast<HXObject>(shared_from_this());
    bool full = imageFiltersAvailable();
    HXInterfaceLoader::loadInterfaceNamed(
        full ? AVControlsInterfaceName : AVControlsMinimalInterfaceName, self);
    awakeFromInterface();
}

void AVControls::awakeFromInterface()
{
    if (!_avControlsPanel)
        return;
    auto& panel = *_avControlsPanel;
    if (auto content = std::dynamic_pointer_cast<HUDContentView>(panel.contentView())) {
        panel.setHidesOnDeactivate(true);
        content->setDividedSubViews(false);
    }
    panel.setExcludedFromWindowsMenu(true);
    panel.setTitle(HXLocalizedString("avControls"));
    if (auto content = panel.contentView())
        content->setAutoresizesSubviews(true);
    panel.setBecomesKeyOnlyIfNeeded(true);
    setVideoControlsEnabledState(false);
    setAudioControlsEnabledState(false);
    setRateControlsEnabledState(false);
    if (_speedControlSlider)
        _speedControlSlider->setDetentAtValue(float(AVControlsNormalSpeedValue));
}

// ---- Showing

void AVControls::toggleAVControlsVisibility()
{
    loadPanel();
    if (!_avControlsPanel)
        return;
    if (_avControlsPanel->isVisible()) {
        _avControlsPanel->close();
        _isVisible = false;
    } else {
        // Opened while a player window is in front: that window's movie, at once.
        if (!_movie && HXApplication::hasSharedApplication()) {
            auto main = HXApplication::sharedApplication()->mainWindow();
            if (dynamic_cast<MVPMovieUIWindow*>(main.get()))
                setMovie(movieOfPlayerWindow(*main));
        }
        _avControlsPanel->setLevel(HXFloatingWindowLevel);
        _avControlsPanel->orderFront();
        _isVisible = true;
    }
    updateControls();
    _hidAVControls = false;
}

void AVControls::hideAVControls()
{
    if (_avControlsPanel)
        _avControlsPanel->close();
    _hidAVControls = true;
    _isVisible = false;
}

bool AVControls::isVisible() const
{
    return _avControlsPanel && _avControlsPanel->isVisible();
}

bool AVControls::isKey() const
{
    return _avControlsPanel && _avControlsPanel->isKeyWindow();
}

// ---- The movie

void AVControls::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    if (movie == _movie)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _movieObservers)
        center.removeObserver(token);
    _movieObservers.clear();
    _movie = movie;
    if (movie) {
        const void* object = movie.get();
        _movieObservers.push_back(center.addObserver(MVMovieLoadStateDidChangeNotification, object,
            [this](const HXNotification& n) { monitorMovieLoadState(n); }));
        _movieObservers.push_back(center.addObserver(
            MVMovieEditedNotification, object, [this](const HXNotification&) { updateControls(); }));
        for (const char* name : { MVMovieVolumeDidChangeNotification, MVMovieBalanceDidChangeNotification,
                 MVMovieTrebleDidChangeNotification, MVMovieBassDidChangeNotification,
                 MVMovieMutedDidChangeNotification })
            _movieObservers.push_back(
                center.addObserver(name, object, [this](const HXNotification& n) { updateAudioValues(&n); }));
    }
    updateControls();
}

void AVControls::updateControls(HXObject*)
{
    updateAudioTabItem();
    updateVideoTabItem();
    updateRateTabItem();
    updateAudioValues();
    updateVideoValues();
    updateRateValues();
}

void AVControls::updateAudioTabItem()
{
    bool enabled = _movie && _movie->hasAudio() && _movie->hasDuration();
    setAudioControlsEnabledState(enabled);
    enable(_pitchControlSlider, enabled && movieUsesAudioContext(*_movie));
}

void AVControls::updateVideoTabItem()
{
    setVideoControlsEnabledState(imageFiltersAvailable() && _movie && _movie->hasVideo()
        && FSPresentationMovieUsesVisualContext(_movie.get()));
}

void AVControls::updateRateTabItem()
{
    setRateControlsEnabledState(_movie && _movie->hasDuration() && !MVPMediaAttributes::isStreaming(*_movie)
        && !_movie->hasVRController() && _movie->loadState() >= MVMovieLoadStatePlayable);
}

void AVControls::setAudioControlsEnabledState(bool enabled)
{
    for (const auto& slider :
        { _gainControlSlider, _bassControlSlider, _balanceControlSlider, _trebleControlSlider })
        enable(slider, enabled);
    enable(_audioResetButton, enabled);
    if (!enabled)
        enable(_pitchControlSlider, false);
    colorLabels({ _audioLabel, _gainTextLabel, _balanceTextLabel, _bassTextLabel, _trebleTextLabel,
                    _pitchTextLabel, _leftTextLabel, _rightTextLabel },
        enabled);
}

void AVControls::setVideoControlsEnabledState(bool enabled)
{
    for (const auto& slider :
        { _brightnessControlSlider, _colorControlSlider, _contrastControlSlider, _tintControlSlider })
        enable(slider, enabled);
    enable(_videoResetButton, enabled);
    colorLabels(
        { _videoLabel, _brightnessTextLabel, _colorTextLabel, _contrastTextLabel, _tintTextLabel }, enabled);
}

void AVControls::setRateControlsEnabledState(bool enabled)
{
    enable(_speedControlSlider, enabled);
    enable(_jogControlSlider, enabled);
    colorLabels({ _playbackLabel, _jogTextLabel, _speedTextLabel, _reverseTextLabel, _forwardTextLabel,
                    _oneHalfTextLabel, _onexTextLabel, _twoxTextLabel, _threexTextLabel },
        enabled);
}

void AVControls::updateAudioValues(const HXNotification*)
{
    if (!_movie)
        return;
    setValue(_gainControlSlider, _movie->volume());
    setValue(_balanceControlSlider, _movie->balance());
    setValue(_bassControlSlider, _movie->bass());
    setValue(_trebleControlSlider, _movie->treble());
    setValue(_pitchControlSlider, _movie->pitch());
}

void AVControls::updateVideoValues()
{
    if (!_movie || !imageFiltersAvailable())
        return;
    setValue(_brightnessControlSlider, _movie->visualBrightness());
    setValue(_colorControlSlider, _movie->visualSaturation());
    setValue(_contrastControlSlider, _movie->visualContrast());
    setValue(_tintControlSlider, _movie->visualHue());
}

void AVControls::updateRateValues()
{
    if (_movie && _speedControlSlider)
        _speedControlSlider->setDoubleValue(speedValueForRate(_movie->preferredRate()));
}

// ---- Speed and jog

float AVControls::rateForSpeedValue(double value)
{
    double rate = value >= 2.0 && value <= 7.0 ? value * 0.25 : value - 5.0;
    return float(std::max(rate, 0.5));
}

double AVControls::speedValueForRate(float rate)
{
    // The inverse of the mapping wherever it has one: ×4 from half speed to 1.75, +5 above (twice the
    // speed sits just past 7, where the ×4 part ends). The rates in between, which the slider cannot
    // give, show at its 1.75 end.
    if (rate >= 2.0f)
        return std::max(double(rate) + 5.0, std::nextafter(7.0, 8.0));
    if (rate > 1.75f)
        return 7.0;
    return std::max(2.0, double(rate) * 4.0);
}

float AVControls::shuttleRateForValue(double value)
{
    double x = value / 10.0;
    double speed = 0.3 * x * x;
    if (speed > 0)
        speed = std::max(speed, 0.25);
    return float(std::copysign(speed, x));
}

void AVControls::changeSpeed(HXObject* sender)
{
    if (!_movie)
        return;
    float rate = rateForSpeedValue(valueOf(sender));
    _movie->setRate(rate);
    _movie->setPreferredRate(rate);
}

void AVControls::shuttleMovie(HXObject* sender)
{
    if (!_movie)
        return;
    double value = valueOf(sender);
    if (value == 0) {
        resetJog(sender);
        return;
    }
    if (!_didSetOldPlayRate) {
        // What the movie was doing when the jog began (playing or still) is what it goes back to.
        _oldRate = _movie->rate();
        _didSetOldPlayRate = true;
    }
    if (!_movie->playsAllFrames()) {
        _movie->setPlaysAllFrames(true);
        _didPlayAllFrames = true;
    }
    float speed = shuttleRateForValue(value);
    MVTime now = _movie->currentTime();
    bool canGo = speed < 0 ? MVTimeCompare(now, MVMakeTime(0, _movie->timeScale())) > 0
                           : MVTimeCompare(now, _movie->duration()) < 0;
    if (canGo)
        _movie->setRate(speed);
}

void AVControls::resetJog(HXObject*)
{
    if (!_movie)
        return;
    if (_didSetOldPlayRate) {
        _movie->setRate(_oldRate);
        _didSetOldPlayRate = false;
    } else {
        _movie->setRate(0);
    }
    if (_didPlayAllFrames) {
        _movie->setPlaysAllFrames(false);
        _didPlayAllFrames = false;
    }
}

// ---- Sound and picture

void AVControls::changeGain(HXObject* sender)
{
    if (_movie)
        _movie->setVolume(valueOf(sender));
}

void AVControls::changeBalance(HXObject* sender)
{
    if (_movie)
        _movie->setBalance(valueOf(sender));
}

void AVControls::changeBass(HXObject* sender)
{
    if (_movie)
        _movie->setBass(valueOf(sender));
}

void AVControls::changeTreble(HXObject* sender)
{
    if (_movie)
        _movie->setTreble(valueOf(sender));
}

void AVControls::changePitch(HXObject* sender)
{
    if (_movie)
        _movie->setPitch(valueOf(sender));
}

void AVControls::changeBrightness(HXObject* sender)
{
    if (_movie)
        _movie->setVisualBrightness(valueOf(sender));
}

void AVControls::changeColor(HXObject* sender)
{
    if (_movie)
        _movie->setVisualSaturation(valueOf(sender));
}

void AVControls::changeContrast(HXObject* sender)
{
    if (_movie)
        _movie->setVisualContrast(valueOf(sender));
}

void AVControls::changeTint(HXObject* sender)
{
    if (_movie)
        _movie->setVisualHue(valueOf(sender));
}

void AVControls::reset(HXObject* sender)
{
    if (!_movie || !HXDocumentController::hasSharedDocumentController())
        return;
    if (!std::dynamic_pointer_cast<MVPMovieDocument>(
            HXDocumentController::sharedDocumentController()->currentDocument()))
        return;
    auto* control = dynamic_cast<HXControl*>(sender);
    long tag = control ? control->tag() : 0;
    MVMovie& movie = *_movie;
    if (tag == AVControlsVideoResetTag) {
        movie.setVisualBrightness(
            storedOr(movie, MVPPersistenceVisualBrightnessKey, &MVPPersistence::movieBrightness, 0));
        movie.setVisualSaturation(
            storedOr(movie, MVPPersistenceVisualColorKey, &MVPPersistence::movieColor, 1));
        movie.setVisualHue(storedOr(movie, MVPPersistenceVisualTintKey, &MVPPersistence::movieTint, 0));
        movie.setVisualContrast(
            storedOr(movie, MVPPersistenceVisualContrastKey, &MVPPersistence::movieContrast, 1));
        updateVideoValues();
    } else if (tag == AVControlsAudioResetTag) {
        movie.setVolume(movie.preferredVolume());
        movie.setBalance(
            storedOr(movie, MVPPersistenceAudioBalanceKey, &MVPPersistence::movieAudioBalance, 0));
        movie.setBass(storedOr(movie, MVPPersistenceAudioBassKey, &MVPPersistence::movieAudioBass, 0));
        movie.setTreble(storedOr(movie, MVPPersistenceAudioTrebleKey, &MVPPersistence::movieAudioTreble, 0));
        movie.setPitch(
            storedOr(movie, MVPPersistenceAudioPitchShiftKey, &MVPPersistence::movieAudioPitchShift, 0));
        updateAudioValues();
    }
}

// ---- Following the main window

void AVControls::documentWindowBecameMain(const HXNotification& notification)
{
    auto window = notification.objectAs<HXWindow>();
    if (dynamic_cast<MVPMovieUIWindow*>(window.get()))
        setMovie(movieOfPlayerWindow(*window));
    if (isVisible())
        updateControls();
}

void AVControls::documentWindowClosing(const HXNotification& notification)
{
    auto window = notification.objectAs<HXWindow>();
    if (window && window == _avControlsPanel) {
        windowWillClose(notification);
        return;
    }
    if (dynamic_cast<MVPMovieUIWindow*>(window.get())
        && HXDocumentController::hasSharedDocumentController()) {
        auto controller = HXDocumentController::sharedDocumentController();
        // The closing window's movie goes with it, however many documents stay open.
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(controller->documentForWindow(*window));
        if (controller->documents().empty() || (doc && doc->movie() == _movie))
            setMovie(nullptr);
    }
    if (isVisible())
        updateControls();
}

void AVControls::documentMovieChanged(const HXNotification& notification)
{
    if (auto doc = notification.objectAs<HXObject>()) {
        if (auto movieDocument = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
            setMovie(movieDocument->movie());
    }
}

void AVControls::monitorMovieLoadState(const HXNotification&)
{
    updateRateTabItem();
}

void AVControls::windowWillClose(const HXNotification&)
{
    setMovie(nullptr);
    _isVisible = false;
}

// ---- Full screen

void AVControls::enteringFullScreen(const HXNotification& notification)
{
    auto* presentation = presentationOf(notification);
    auto screen = presentation ? presentation->presentingScreen() : std::nullopt;
    if (screen && _avControlsPanel && isVisible()
        && HXIntersectsRect(_avControlsPanel->frame(), screen->frame()))
        hideAVControls();
}

void AVControls::inactiveFullScreen(const HXNotification& notification)
{
    auto* presentation = presentationOf(notification);
    auto screen = presentation ? presentation->presentingScreen() : std::nullopt;
    if (screen && _avControlsPanel && _hidAVControls
        && HXIntersectsRect(_avControlsPanel->frame(), screen->frame()))
        toggleAVControlsVisibility();
}

// ---- Quitting

void AVControls::writeStateToDefaults()
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setBool(_isVisible, MVPAVControlsShowPanelDefault);
    defaults.synchronize();
}

void AVControls::appWillTerminate(const HXNotification&)
{
    writeStateToDefaults();
}
