#pragma once
// AVControls: the one audio and video adjustments panel of the application. Its sliders act directly on
// the movie of the main player window: sound (gain, balance, bass, treble, pitch), picture (brightness,
// colour, contrast, tint) and playback (a speed slider that snaps at normal speed, and a jog/shuttle
// slider that plays forwards or backwards while it is held). Each group is enabled only when the movie
// can take it; the reset buttons bring back the values stored in the movie file, or the neutral ones.
// The panel hides while a full-screen presentation covers it and remembers at quit whether it showed.
#include "platform/basekit/notification_center.h"
#include "platform/winkit/responder.h"

#include <memory>
#include <optional>
#include <vector>

class HXButton;
class HXNotification;
class HXPanel;
class HXSlider;
class HXTextField;
class MVMovie;
class MVPDetentSlider;

// The user default: the panel was showing at the last quit.
inline constexpr const char* MVPAVControlsShowPanelDefault = "MVPAVControlsShowPanel";
// The two layouts: every group, or no picture group where pictures cannot be filtered.
inline constexpr const char* AVControlsInterfaceName = "AVControls_HUD";
inline constexpr const char* AVControlsMinimalInterfaceName = "AVControlsMinimal_HUD";
// The tags of the reset buttons.
inline constexpr long AVControlsVideoResetTag = 1001;
inline constexpr long AVControlsAudioResetTag = 1002;
// The speed slider's value at normal speed (its detent).
inline constexpr double AVControlsNormalSpeedValue = 4.0;

class AVControls : public HXResponder {
public:
    static std::shared_ptr<AVControls> avControls();
    // Whether the singleton exists (it is made on first use).
    static bool hasAVControls();
    // Releases the singleton: it stops observing, closes its panel and drops its movie.
    static void releaseAVControls();
    ~AVControls() override;

    // The speed slider's value to the rate it plays at, and a rate to where the slider shows it.
    static float rateForSpeedValue(double value);
    static double speedValueForRate(float rate);
    // The jog/shuttle slider's value to the rate it plays at (0 for the middle).
    static float shuttleRateForValue(double value);
    // Whether pictures can be adjusted (the picture group exists), and whether a movie's sound passes
    // through the pitch shifter (its pitch slider is enabled).
    static bool imageFiltersAvailable();
    static bool movieUsesAudioContext(const MVMovie& movie);

    // Loads the panel on first use; closes it when visible, else floats it in front (without making it
    // key). Refreshes every control.
    void toggleAVControlsVisibility();
    // Closes the panel and notes that it was hidden (full screen or a script), not closed by the user.
    void hideAVControls();
    bool isVisible() const;
    bool isKey() const;
    const std::shared_ptr<HXPanel>& avControlsPanel() const { return _avControlsPanel; }
    bool hidAVControls() const { return _hidAVControls; }

    // The movie acted on (none leaves every group disabled).
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    std::shared_ptr<MVMovie> movie() const { return _movie; }
    // Enables the groups for the movie and shows its values.
    void updateControls(HXObject* sender = nullptr);
    void writeStateToDefaults();

    // Slider and button actions (the sender is the control).
    void changeGain(HXObject* sender);
    void changeBalance(HXObject* sender);
    void changeBass(HXObject* sender);
    void changeTreble(HXObject* sender);
    void changePitch(HXObject* sender);
    void changeBrightness(HXObject* sender);
    void changeColor(HXObject* sender);
    void changeContrast(HXObject* sender);
    void changeTint(HXObject* sender);
    void changeSpeed(HXObject* sender);
    void shuttleMovie(HXObject* sender);
    void resetJog(HXObject* sender = nullptr);
    void reset(HXObject* sender);

    // Outlets (filled by the interface).
    std::shared_ptr<HXSlider> pitchControlSlider() const { return _pitchControlSlider; }
    std::shared_ptr<HXSlider> gainControlSlider() const { return _gainControlSlider; }
    std::shared_ptr<HXSlider> bassControlSlider() const { return _bassControlSlider; }
    std::shared_ptr<HXSlider> trebleControlSlider() const { return _trebleControlSlider; }
    std::shared_ptr<HXSlider> balanceControlSlider() const { return _balanceControlSlider; }
    std::shared_ptr<HXSlider> brightnessControlSlider() const { return _brightnessControlSlider; }
    std::shared_ptr<HXSlider> colorControlSlider() const { return _colorControlSlider; }
    std::shared_ptr<HXSlider> contrastControlSlider() const { return _contrastControlSlider; }
    std::shared_ptr<HXSlider> tintControlSlider() const { return _tintControlSlider; }
    std::shared_ptr<MVPDetentSlider> speedControlSlider() const { return _speedControlSlider; }
    std::shared_ptr<HXSlider> jogControlSlider() const { return _jogControlSlider; }
    std::shared_ptr<HXButton> videoResetButton() const { return _videoResetButton; }
    std::shared_ptr<HXButton> audioResetButton() const { return _audioResetButton; }
    std::shared_ptr<HXTextField> audioLabel() const { return _audioLabel; }
    std::shared_ptr<HXTextField> videoLabel() const { return _videoLabel; }
    std::shared_ptr<HXTextField> playbackLabel() const { return _playbackLabel; }

private:
    friend struct AVControlsInterface;
    AVControls();
    void observeApplication();
    void loadPanel();
    void awakeFromInterface();
    void setAudioControlsEnabledState(bool enabled);
    void setVideoControlsEnabledState(bool enabled);
    void setRateControlsEnabledState(bool enabled);
    void updateAudioTabItem();
    void updateVideoTabItem();
    void updateRateTabItem();
    void updateAudioValues(const HXNotification* notification = nullptr);
    void updateVideoValues();
    void updateRateValues();

    // Notification handlers.
    void documentWindowBecameMain(const HXNotification& notification);
    void documentWindowClosing(const HXNotification& notification);
    void documentMovieChanged(const HXNotification& notification);
    void monitorMovieLoadState(const HXNotification& notification);
    void enteringFullScreen(const HXNotification& notification);
    void inactiveFullScreen(const HXNotification& notification);
    void appWillTerminate(const HXNotification& notification);
    void windowWillClose(const HXNotification& notification);

    std::shared_ptr<HXPanel> _avControlsPanel;
    std::shared_ptr<HXSlider> _pitchControlSlider;
    std::shared_ptr<HXSlider> _gainControlSlider;
    std::shared_ptr<HXSlider> _bassControlSlider;
    std::shared_ptr<HXSlider> _trebleControlSlider;
    std::shared_ptr<HXSlider> _balanceControlSlider;
    std::shared_ptr<HXSlider> _brightnessControlSlider;
    std::shared_ptr<HXSlider> _colorControlSlider;
    std::shared_ptr<HXSlider> _contrastControlSlider;
    std::shared_ptr<HXSlider> _tintControlSlider;
    std::shared_ptr<HXButton> _videoResetButton;
    std::shared_ptr<HXButton> _audioResetButton;
    std::shared_ptr<HXTextField> _gainTextLabel, _balanceTextLabel, _bassTextLabel, _trebleTextLabel,
        _pitchTextLabel, _leftTextLabel, _rightTextLabel;
    std::shared_ptr<HXTextField> _brightnessTextLabel, _colorTextLabel, _contrastTextLabel, _tintTextLabel;
    std::shared_ptr<HXTextField> _jogTextLabel, _speedTextLabel, _reverseTextLabel, _forwardTextLabel,
        _oneHalfTextLabel, _onexTextLabel, _twoxTextLabel, _threexTextLabel;
    std::shared_ptr<HXTextField> _videoLabel, _audioLabel, _playbackLabel;
    std::shared_ptr<MVPDetentSlider> _speedControlSlider;
    std::shared_ptr<HXSlider> _jogControlSlider;
    std::shared_ptr<MVMovie> _movie;
    float _oldRate = 0;
    bool _hidAVControls = false;
    bool _didSetOldPlayRate = false;
    bool _didPlayAllFrames = false;
    bool _isVisible = false;

    std::vector<HXObserverToken> _applicationObservers;
    std::vector<HXObserverToken> _movieObservers;
    std::optional<HXObserverToken> _panelCloseObserver;
};
