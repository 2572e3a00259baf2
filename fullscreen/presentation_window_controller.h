#pragma once
// FSPresentationWindowController: presents one movie document full screen. Its state moves 0 (inactive)
// → 1 (entering) → 2 (full screen) → 3 (exiting) → 0, and each step is posted with the controller as
// object. The document makes it on first use and keeps it as one of its window controllers.
#include "fullscreen/presentation_settings.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <optional>

class MVMovie;

inline constexpr const char* FSPresentationEnteringFullScreenStateNotification
    = "FSPresentationEnteringFullScreenStateNotification";
inline constexpr const char* FSPresentationFullScreenStateNotification = "FSPresentationFullScreenStateNotification";
inline constexpr const char* FSPresentationExitingFullScreenStateNotification
    = "FSPresentationExitingFullScreenStateNotification";
inline constexpr const char* FSPresentationInactiveStateNotification = "FSPresentationInactiveStateNotification";

enum class FSPresentationState { Inactive = 0, Entering = 1, FullScreen = 2, Exiting = 3 };

class FSPresentationWindowController : public HXWindowController {
public:
    FSPresentationWindowController();
    ~FSPresentationWindowController() override;

    // Merges `settings` into the controller's own; settings it does not have come from the preferences.
    void setPresentationSettings(const FSPresentationSettings& settings) { _settings.merge(settings); }
    void setPresentationSettingsToDefaults() { _settings = {}; }
    const FSPresentationSettings& presentationSettings() const { return _settings; }

    // Rebinds to the document's movie.
    void syncToNewMovie();
    // Leaves full screen when the movie has no picture to present.
    void syncToChangeInMovieContent();
    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }

    // Presents on the chosen screen (the settings' screen when it is available, else the first available
    // one). Without an available screen the controller stays inactive.
    void enterFullScreen();
    // True from the start of entry until the exit has completed.
    bool isFullscreen() const { return _state != FSPresentationState::Inactive; }
    void exitFullScreen();
    FSPresentationState state() const { return _state; }
    // The screen presented on (none while inactive).
    const std::optional<HXScreen>& presentationScreen() const { return _screen; }

    // 0.5, 1 and 2 choose the half, normal and double sizes; other scales size the picture by them.
    void setScale(double widthScale, double heightScale, bool animate);
    HXSize scale() const { return _scale; }

    void loadWindow() override;

private:
    void setState(FSPresentationState state);

    FSPresentationSettings _settings;
    FSPresentationState _state = FSPresentationState::Inactive;
    std::optional<HXScreen> _screen;
    std::weak_ptr<MVMovie> _movie;
    HXSize _scale { 1, 1 };
};
