#include "document/movie_progress_window_controller.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/text_field.h"

#include <cmath>
#include <cstdio>

namespace {

// The sheet: status line on top, the bar with the percentage to its right, Cancel below.
std::vector<std::shared_ptr<HXObject>> buildMovieProgressInterface(const std::shared_ptr<HXObject>& owner)
{
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 380, 112), HXTitledWindowMask);
    panel->setReleasedWhenClosed(false);
    auto status = HXTextField::labelWithString({}, HXMakeRect(20, 76, 340, 17));
    auto progress = std::make_shared<HXProgressIndicator>(HXMakeRect(20, 50, 280, 20));
    progress->setIndeterminate(false);
    progress->setMinValue(0);
    progress->setMaxValue(1);
    auto detail = HXTextField::labelWithString({}, HXMakeRect(308, 52, 52, 17));
    auto cancel = std::make_shared<HXButton>(HXMakeRect(264, 12, 96, 28), HXLocalizedString("Cancel"));
    for (const std::shared_ptr<HXView>& view :
        { std::shared_ptr<HXView>(status), std::shared_ptr<HXView>(progress), std::shared_ptr<HXView>(detail),
            std::shared_ptr<HXView>(cancel) })
        panel->contentView()->addSubview(view);
    if (auto controller = std::dynamic_pointer_cast<MVPMovieProgressWindowController>(owner)) {
        controller->setOutlets(status, detail, progress, cancel);
        controller->setWindow(panel);
    }
    return { panel };
}

HXInterfaceRegistration registration("MVPMovieProgress", buildMovieProgressInterface);

} // namespace

std::shared_ptr<MVPMovieProgressWindowController>
MVPMovieProgressWindowController::movieProgressWindowControllerWithMovie(
    const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<HXWindow>& movieWindow)
{
    auto controller = std::make_shared<MVPMovieProgressWindowController>();
    controller->setMovie(movie);
    controller->setMovieWindow(movieWindow);
    return controller;
}

MVPMovieProgressWindowController::MVPMovieProgressWindowController()
    : HXWindowController(std::string("MVPMovieProgress"))
{
}

MVPMovieProgressWindowController::~MVPMovieProgressWindowController()
{
    // The movie may live on (held by a pane, a script, the pasteboard): it keeps no procedure of ours.
    if (_movie)
        _movie->setProgressProc({});
}

void MVPMovieProgressWindowController::setOutlets(std::shared_ptr<HXTextField> status,
    std::shared_ptr<HXTextField> detail, std::shared_ptr<HXProgressIndicator> progress,
    std::shared_ptr<HXButton> cancel)
{
    _statusTextField = std::move(status);
    _detailTextField = std::move(detail);
    _progressIndicator = std::move(progress);
    _cancelButton = std::move(cancel);
}

std::shared_ptr<HXTextField> MVPMovieProgressWindowController::statusTextField()
{
    window();
    return _statusTextField;
}

std::shared_ptr<HXTextField> MVPMovieProgressWindowController::detailTextField()
{
    window();
    return _detailTextField;
}

std::shared_ptr<HXProgressIndicator> MVPMovieProgressWindowController::progressIndicator()
{
    window();
    return _progressIndicator;
}

std::shared_ptr<HXButton> MVPMovieProgressWindowController::cancelButton()
{
    window();
    return _cancelButton;
}

void MVPMovieProgressWindowController::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    if (movie == _movie) {
        installProgressProc();
        return;
    }
    if (_movie)
        _movie->setProgressProc({});
    _movie = movie;
    installProgressProc();
}

void MVPMovieProgressWindowController::installProgressProc()
{
    if (!_movie)
        return;
    std::weak_ptr<MVPMovieProgressWindowController> weak
        = std::static_pointer_cast<MVPMovieProgressWindowController>(shared_from_this());
    // The movie reports fractions; this sheet speaks the media layer's 16.16 fixed point.
    _movie->setProgressProc(
        [weak](MVMovieProgressMessage message, MVMovieProgressOperation operation, double fraction) -> int {
            auto controller = weak.lock();
            if (!controller)
                return 0;
            short code = message == MVMovieProgressMessage::Open ? MVPMovieProgressOpen
                : message == MVMovieProgressMessage::Percent     ? MVPMovieProgressUpdatePercent
                                                                 : MVPMovieProgressClose;
            double clamped = std::clamp(fraction, 0.0, 1.0);
            return controller->progressUpdate(code, short(operation), int32_t(std::floor(clamped * 65536.0)));
        });
}

std::optional<std::string> MVPMovieProgressWindowController::statusStringForOperation(short operation)
{
    static const char* const keys[] = { "mvpProgressFlatteningMovie", "mvpProgressInsertingTrackSegment",
        "mvpProgressInsertingMovieSegment", "mvpProgressPasting", "mvpProgressAddingMovieSelection",
        "mvpProgressCopying", "mvpProgressCutting", "mvpProgressLoadingMovieIntoRAM",
        "mvpProgressLoadingTrackIntoRAM", "mvpProgressLoadingMediaIntoRAM", "mvpProgressImportingMovie",
        "mvpProgressExportingMovie" };
    if (operation < 1 || operation > 12)
        return std::nullopt;
    return HXLocalizedString(keys[operation - 1], {});
}

std::string MVPMovieProgressWindowController::percentString(int32_t percentDone)
{
    double fraction = double(percentDone) / 65536.0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld%%", long(fraction * 100.0));
    return text;
}

short MVPMovieProgressWindowController::progressUpdate(short message, short operation, int32_t percentDone)
{
    auto sheet = window();
    if (message == MVPMovieProgressOpen) {
        _statusTextField->setStringValue(statusStringForOperation(operation).value_or(std::string()));
        _detailTextField->setStringValue("0%");
        _progressIndicator->setDoubleValue(0);
        _cancelPressed = false;
        // Without a window to attach to, the reports only move the bar: a modal panel would stop the
        // operation that is reporting.
        if (_movieWindow && !sheet->isVisible())
            HXApplication::sharedApplication()->beginSheet(sheet, _movieWindow, nullptr);
    } else if (message == MVPMovieProgressUpdatePercent) {
        _progressIndicator->setDoubleValue(double(percentDone) / 65536.0);
        std::string text = percentString(percentDone);
        if (_detailTextField->stringValue() != text)
            _detailTextField->setStringValue(text);
    } else if (message == MVPMovieProgressClose) {
        if (sheet->isSheet())
            HXApplication::sharedApplication()->endSheet(sheet);
        sheet->orderOut();
    }
    // The operation holds the main thread: the sheet is drawn now, and a click is looked for here.
    if (!sheet->isVisible())
        return MVPMovieProgressContinue;
    sheet->displayIfNeeded();
    if (userClickedCancel()) {
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVPMovieProgressUserCanceledNotification, shared_from_this()));
        return MVPMovieProgressUserCanceled;
    }
    return MVPMovieProgressContinue;
}

bool MVPMovieProgressWindowController::userClickedCancel()
{
    if (!HXApplication::hasSharedApplication())
        return false;
    auto app = HXApplication::sharedApplication();
    auto sheet = window();
    bool canceled = false;
    // Clicks are taken off the queue while the operation runs (nothing else would see them in time).
    // Only a press and a release both on Cancel cancel: a press elsewhere released over Cancel does not.
    while (auto event = app->nextEventMatchingMask(HXLeftMouseDownMask | HXLeftMouseUpMask,
               HXRunLoop::main().now(), HXDefaultRunLoopMode, true)) {
        bool onCancel
            = event->window() == sheet && HXPointInRect(event->locationInWindow(), _cancelButton->frame());
        if (event->type() == HXLeftMouseDown) {
            _cancelPressed = onCancel;
        } else {
            canceled = canceled || (onCancel && _cancelPressed);
            _cancelPressed = false;
        }
    }
    return canceled;
}
