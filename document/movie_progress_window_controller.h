#pragma once
// MVPMovieProgressWindowController: the progress sheet of a long movie operation (a save above all). The
// movie reports through its progress procedure; this controller shows the reports in a sheet on the
// player window (what is being done, a percentage, a bar and a Cancel button) and answers -128 when the
// user has clicked Cancel, after posting MVPMovieProgressUserCanceledNotification with itself as object.
//
// The procedure reaches the controller through a weak reference, and the controller takes it off its
// movie when it is given another movie or goes away: a movie that outlives it never calls into a
// destroyed controller.
#include "platform/winkit/window_controller.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class HXButton;
class HXProgressIndicator;
class HXTextField;
class MVMovie;

inline constexpr const char* MVPMovieProgressUserCanceledNotification
    = "MVPMovieProgressUserCanceledNotification";

// Progress messages and answers, in the media layer's numbering.
inline constexpr short MVPMovieProgressOpen = 0;
inline constexpr short MVPMovieProgressUpdatePercent = 1;
inline constexpr short MVPMovieProgressClose = 2;
inline constexpr short MVPMovieProgressContinue = 0;
inline constexpr short MVPMovieProgressUserCanceled = -128;

// Operations that report progress (1 flatten ... 12 export).
inline constexpr short MVPMovieProgressOpFlatten = 1;

class MVPMovieProgressWindowController : public HXWindowController {
public:
    static std::shared_ptr<MVPMovieProgressWindowController> movieProgressWindowControllerWithMovie(
        const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<HXWindow>& movieWindow);
    // Use the factory (the controller installs a procedure that refers back to it).
    MVPMovieProgressWindowController();
    ~MVPMovieProgressWindowController() override;

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // Takes the procedure off the old movie and installs it on the new one (none for null).
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    std::shared_ptr<HXWindow> movieWindow() const { return _movieWindow; }
    void setMovieWindow(const std::shared_ptr<HXWindow>& window) { _movieWindow = window; }

    // The localized status text of an operation; nothing for codes without one (0, above 12).
    static std::optional<std::string> statusStringForOperation(short operation);
    // "%ld%%" of the truncated percentage of a 16.16 fixed-point fraction.
    static std::string percentString(int32_t percentDone);

    // One report: 0 opens the sheet, 1 moves the bar, 2 closes the sheet. Every report then looks once
    // (without waiting) for a click on Cancel. Answers 0 to go on, -128 when the user cancelled.
    short progressUpdate(short message, short operation, int32_t percentDone);

    // The sheet's parts (the window is built on first use).
    std::shared_ptr<HXTextField> statusTextField();
    std::shared_ptr<HXTextField> detailTextField();
    std::shared_ptr<HXProgressIndicator> progressIndicator();
    std::shared_ptr<HXButton> cancelButton();

    // Outlets, connected by the interface "MVPMovieProgress".
    void setOutlets(std::shared_ptr<HXTextField> status, std::shared_ptr<HXTextField> detail,
        std::shared_ptr<HXProgressIndicator> progress, std::shared_ptr<HXButton> cancel);

private:
    bool userClickedCancel();
    void installProgressProc();

    std::shared_ptr<HXTextField> _statusTextField;
    std::shared_ptr<HXTextField> _detailTextField;
    std::shared_ptr<HXProgressIndicator> _progressIndicator;
    std::shared_ptr<HXButton> _cancelButton;
    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<HXWindow> _movieWindow;
    // A press that began on Cancel; only its release there cancels.
    bool _cancelPressed = false;
};
