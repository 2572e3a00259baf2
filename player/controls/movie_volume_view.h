#pragma once
// MVPMovieVolumeView: the volume control beside the transport bar — a speaker button that mutes and
// unmutes and shows the level, and a slider from 0 to 1. Style 0 is the player window; style 1 the
// full-screen panel (the slider alone, "FS" pictures, never disabled); style 2 the recording window,
// where the control works on a recording monitor (its capture target) instead of a movie.
//
// Making one: MVPMovieVolumeView::create(frame, movie, style) — it builds its controls and follows the
// movie's volume and mute notifications. naturalSize(style) gives the size to lay it out at.
#include "platform/basekit/notification_center.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>
#include <vector>

class ImageButton;
class ImageSlider;
class MVMovie;

// A recording monitor whose volume the control sets in style 2.
class MVPVolumeCaptureTarget {
public:
    virtual ~MVPVolumeCaptureTarget() = default;
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
};

class MVPMovieVolumeView : public HXView {
public:
    // 68 × 18 (style 0), 54 × 13 (style 1), nothing for other styles.
    static HXSize naturalSize(unsigned style);
    // The speaker picture for a level: "VolumeMeterMute" at 0 or below, "VolumeMeter3" from 0.66,
    // "VolumeMeter2" from 0.33, else "VolumeMeter1".
    static std::string meterImageName(float level);

    static std::shared_ptr<MVPMovieVolumeView> create(
        HXRect frame, std::shared_ptr<MVMovie> movie = nullptr, unsigned style = 0);
    explicit MVPMovieVolumeView(HXRect frame = HXZeroRect);
    ~MVPMovieVolumeView() override;

    void setMovie(std::shared_ptr<MVMovie> movie);
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    void setCaptureTarget(std::shared_ptr<MVPVolumeCaptureTarget> target);
    const std::shared_ptr<MVPVolumeCaptureTarget>& captureTarget() const { return _captureTarget; }
    unsigned style() const { return _style; }
    void setStyle(unsigned style) { _style = style; }

    const std::shared_ptr<ImageButton>& volumeButton() const { return _volumeButton; }
    void setVolumeButton(std::shared_ptr<ImageButton> button) { _volumeButton = std::move(button); }
    const std::shared_ptr<ImageSlider>& volumeSlider() const { return _volumeSlider; }
    void setVolumeSlider(std::shared_ptr<ImageSlider> slider) { _volumeSlider = std::move(slider); }

    // Builds the controls the first time, then shows the level.
    void update();
    void updateVolumeButtonAndSlider();
    void setAlwaysActive(bool flag);
    // Links the button, then the slider, after `view` in the key-view chain; answers the last one linked.
    std::shared_ptr<HXView> appendKeyViewsTo(const std::shared_ptr<HXView>& view);

    // Actions: the slider's and the button's.
    void adjustVolume(HXObject* sender);
    void mute(HXObject* sender);
    void volumeChanged(const HXNotification& notification);

    // The wheel changes the movie's volume by 0.05 a notch, along the axis that moved most; gestures over
    // the control go no further.
    void scrollWheel(const HXEvent& event) override;
    void beginGestureWithEvent(const HXEvent& event) override;

private:
    void stopObservingMovie();
    float level() const;
    bool isMuted() const;

    std::shared_ptr<ImageButton> _volumeButton;
    std::shared_ptr<ImageSlider> _volumeSlider;
    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<MVPVolumeCaptureTarget> _captureTarget;
    bool _captureMuted = false;
    float _savedCaptureVolume = 0;
    unsigned _style = 0;
    std::vector<uint64_t> _observers;
};
