#include "player/controls/movie_volume_view.h"

#include "platform/drawing/image.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/event.h"
#include "player/controls/accessibility_additions.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/controls/image_slider.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kKeyLoopChanged = "MVAKeyLoopChanged";
constexpr float kWheelStep = 0.05f;

} // namespace

HXSize MVPMovieVolumeView::naturalSize(unsigned style)
{
    if (style == 0)
        return { 68, 18 };
    if (style == 1)
        return { 54, 13 };
    return {};
}

std::string MVPMovieVolumeView::meterImageName(float level)
{
    if (level <= 0)
        return "VolumeMeterMute";
    if (level >= 0.66f)
        return "VolumeMeter3";
    if (level >= 0.33f)
        return "VolumeMeter2";
    return "VolumeMeter1";
}

std::shared_ptr<MVPMovieVolumeView> MVPMovieVolumeView::create(
    HXRect frame, std::shared_ptr<MVMovie> movie, unsigned style)
{
    auto view = std::make_shared<MVPMovieVolumeView>(frame);
    view->setStyle(style);
    view->setMovie(std::move(movie));
    view->update();
    return view;
}

MVPMovieVolumeView::MVPMovieVolumeView(HXRect frame)
    : HXView(frame)
{
    setActionHandler("mute:", [this](HXObject* sender) { mute(sender); });
    setActionHandler("adjustVolume:", [this](HXObject* sender) { adjustVolume(sender); });
}

MVPMovieVolumeView::~MVPMovieVolumeView()
{
    stopObservingMovie();
}

void MVPMovieVolumeView::stopObservingMovie()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _observers)
        center.removeObserver(token);
    _observers.clear();
}

void MVPMovieVolumeView::setMovie(std::shared_ptr<MVMovie> movie)
{
    stopObservingMovie();
    _movie = std::move(movie);
    if (!_movie)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    for (const char* name : { MVMovieVolumeDidChangeNotification, MVMovieMutedDidChangeNotification })
        _observers.push_back(center.addObserver(
            this, name, _movie.get(), [this](const HXNotification& n) { volumeChanged(n); }));
}

void MVPMovieVolumeView::setCaptureTarget(std::shared_ptr<MVPVolumeCaptureTarget> target)
{
    _captureTarget = std::move(target);
    updateVolumeButtonAndSlider();
}

void MVPMovieVolumeView::update()
{
    if (!_volumeSlider) {
        if (_style == 1) {
            _volumeSlider = std::make_shared<ImageSlider>(bounds());
            _volumeSlider->setBarImage(HXImage::imageNamed("FSVolumeBackground.tif"));
            _volumeSlider->setKnobImage(HXImage::imageNamed("FSVolumeThumbOff.tif"));
            _volumeSlider->setKnobAlternateImage(HXImage::imageNamed("FSVolumeThumbOn.tif"));
            _volumeSlider->setOffset(13, 2, 0, 0);
        } else {
            _volumeButton = std::make_shared<ImageButton>(HXMakeRect(0, 0, 18, 18));
            _volumeButton->setButtonType(HXMomentaryChangeButton);
            _volumeButton->setBordered(false);
            _volumeButton->setTarget(shared_from_this());
            _volumeButton->setAction("mute:");
            addSubview(_volumeButton);
            _volumeSlider = std::make_shared<ImageSlider>(HXMakeRect(18, -2, 50, 18));
            _volumeSlider->setBarImage(HXImage::imageNamed("VolumeBackground.tif"));
            _volumeSlider->setBarDisabledImage(HXImage::imageNamed("VolumeBackgroundMute.tif"));
            _volumeSlider->setKnobImage(HXImage::imageNamed("VolumeThumbOff.tif"));
            _volumeSlider->setKnobAlternateImage(HXImage::imageNamed("VolumeThumbOn.tif"));
            _volumeSlider->setKnobDisabledImage(HXImage::imageNamed("VolumeThumbMute.tif"));
        }
        _volumeSlider->setTarget(shared_from_this());
        _volumeSlider->setAction("adjustVolume:");
        _volumeSlider->setMinValue(0.0);
        _volumeSlider->setMaxValue(1.0);
        _volumeSlider->setContinuous(true);
        addSubview(_volumeSlider);

        if (_volumeButton) {
            MVPAccessibility::invokeAccessibilitySetOverrideValue(*_volumeButton->cell(),
                MVPAccessibility::localizedString("mvpMute"), HXAccessibilityTitleAttribute);
            MVPAccessibility::invokeAccessibilitySetOverrideValue(*_volumeButton->cell(),
                MVPAccessibility::localizedString("mvpAXButtonRoleDescription"),
                HXAccessibilityRoleDescriptionAttribute);
        }
        MVPAccessibility::invokeAccessibilitySetOverrideValue(*_volumeSlider->cell(),
            MVPAccessibility::localizedString("mvpVolume"), HXAccessibilityTitleAttribute);
        HXNotificationCenter::defaultCenter().postNotificationName(kKeyLoopChanged, window().get());
    }
    updateVolumeButtonAndSlider();
}

float MVPMovieVolumeView::level() const
{
    if (_style == 2) {
        if (_captureMuted)
            return _savedCaptureVolume;
        return _captureTarget ? _captureTarget->volume() : 0;
    }
    return _movie ? _movie->volume() : 0;
}

bool MVPMovieVolumeView::isMuted() const
{
    if (_style == 2)
        return _captureMuted;
    return _movie && _movie->isMuted();
}

void MVPMovieVolumeView::updateVolumeButtonAndSlider()
{
    float volume = level();
    bool muted = isMuted();
    if (_style != 1 && _volumeButton) {
        // A set of our own, not the shared one of a name: it changes with every level.
        auto images = std::make_shared<MVPButtonImageSet>();
        std::string meter = meterImageName(volume);
        auto meterImage = HXImage::imageNamed(meter);
        auto muteImage = HXImage::imageNamed("VolumeMeterMute");
        images->setImage(muted ? muteImage : meterImage, 0, 0, true, false);
        images->setImage(muted ? meterImage : muteImage, 0, 1, true, false);
        _volumeButton->setButtonImageSet(images);
    }
    if (_volumeSlider) {
        _volumeSlider->setDoubleValue(volume);
        if (_style != 1)
            _volumeSlider->setEnabled(!muted);
        _volumeSlider->setNeedsDisplay(true);
    }
}

void MVPMovieVolumeView::setAlwaysActive(bool flag)
{
    if (_volumeSlider)
        _volumeSlider->setAlwaysActive(flag);
}

std::shared_ptr<HXView> MVPMovieVolumeView::appendKeyViewsTo(const std::shared_ptr<HXView>& view)
{
    std::shared_ptr<HXView> last = view;
    for (std::shared_ptr<HXView> next :
        { std::shared_ptr<HXView>(_volumeButton), std::shared_ptr<HXView>(_volumeSlider) }) {
        if (!next)
            continue;
        if (last)
            last->setNextKeyView(next);
        last = next;
    }
    return last;
}

void MVPMovieVolumeView::adjustVolume(HXObject* sender)
{
    auto* slider = dynamic_cast<HXControl*>(sender);
    if (!slider)
        slider = _volumeSlider.get();
    if (!slider)
        return;
    float value = slider->floatValue();
    if (_style == 2) {
        if (_captureTarget)
            _captureTarget->setVolume(value);
        updateVolumeButtonAndSlider();
        return;
    }
    if (_movie)
        _movie->setVolume(value);
}

void MVPMovieVolumeView::mute(HXObject*)
{
    if (_style == 2) {
        if (!_captureTarget)
            return;
        if (_captureMuted) {
            _captureTarget->setVolume(_savedCaptureVolume);
            _captureMuted = false;
        } else {
            _savedCaptureVolume = _captureTarget->volume();
            _captureTarget->setVolume(0);
            _captureMuted = true;
        }
        updateVolumeButtonAndSlider();
        return;
    }
    if (_movie)
        _movie->setMuted(!_movie->isMuted());
}

void MVPMovieVolumeView::volumeChanged(const HXNotification&)
{
    updateVolumeButtonAndSlider();
}

void MVPMovieVolumeView::scrollWheel(const HXEvent& event)
{
    double amount = -kWheelStep * event.deltaX();
    double vertical = kWheelStep * event.deltaY();
    double depth = -kWheelStep * event.deltaZ();
    if (std::fabs(vertical) > std::fabs(amount))
        amount = vertical;
    if (std::fabs(depth) > std::fabs(amount))
        amount = depth;
    if (!_movie)
        return;
    _movie->setVolume(float(std::clamp(double(_movie->volume()) + amount, 0.0, 1.0)));
}

void MVPMovieVolumeView::beginGestureWithEvent(const HXEvent&)
{
}
