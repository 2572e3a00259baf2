#include "recording/capture_window_controller.h"

#include "core/preferences.h"
#include "core/alert.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/user_defaults.h"
#include "platform/basekit/workspace.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/progress_indicator.h"
#include "player/controls/accessibility_additions.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/time_text_field.h"
#include "recording/capture_document.h"
#include "recording/capture_view.h"
#include "recording/data_size_text_field.h"
#include "recording/meter_view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>

namespace {

std::string localized(const std::string& key)
{
    return HXLocalizedString(key);
}

std::string localizedIn(const std::string& key, const std::string& table)
{
    return HXLocalizedStringFromTable(key, table);
}

} // namespace

std::shared_ptr<MVPCaptureWindowController> MVPCaptureWindowController::init()
{
    return std::make_shared<MVPKitCaptureWindowController>();
}

MVPKitCaptureWindowController::MVPKitCaptureWindowController()
    : MVPCaptureWindowController(std::string("CaptureWindow"))
{
}

MVPKitCaptureWindowController::~MVPKitCaptureWindowController()
{
    removeObservers();
    if (_statisticsTimer)
        _statisticsTimer->invalidate();
    if (_meterTimer)
        _meterTimer->invalidate();
    if (_captureSession)
        _captureSession->stopRunning();
    if (_captureMovieFileOutput)
        _captureMovieFileOutput->waitUntilFinished();
}

void MVPKitCaptureWindowController::setOutlets(std::shared_ptr<MVPCaptureView> captureView,
    std::shared_ptr<MVPMovieWindowBevelView> bevel, std::shared_ptr<HXView> controls,
    std::shared_ptr<ImageButton> actionButton, std::shared_ptr<MVPMeterView> meter,
    std::shared_ptr<MVPMovieVolumeView> volume, std::shared_ptr<MVPDataSizeTextField> dataSize,
    std::shared_ptr<MVPTimeTextField> time, std::shared_ptr<HXProgressIndicator> progress)
{
    _captureView = std::move(captureView);
    _bevelView = std::move(bevel);
    _controls = std::move(controls);
    _actionButton = std::move(actionButton);
    _meterView = std::move(meter);
    _volumeView = std::move(volume);
    _dataSizeText = std::move(dataSize);
    _timeText = std::move(time);
    _finishingRecordingProgressIndicator = std::move(progress);
}

std::shared_ptr<MVPCaptureDocument> MVPKitCaptureWindowController::captureDocument() const
{
    return std::dynamic_pointer_cast<MVPCaptureDocument>(document());
}

bool MVPKitCaptureWindowController::isAudioOnly() const
{
    auto doc = captureDocument();
    return doc && doc->templateType() == 0;
}

// ---- State and the button ------------------------------------------------------------------------------

void MVPKitCaptureWindowController::setState(MVPCaptureState state)
{
    _state = state;
    updateButton();
    synchronizeWindowTitleWithDocumentName();
}

MVPKitCaptureWindowController::ButtonLook MVPKitCaptureWindowController::buttonLookForState(
    MVPCaptureState state, bool optionKey)
{
    switch (state) {
    case MVPCaptureStatePreviewing: return { "Record", "mvpAXRecordButtonTitle" };
    case MVPCaptureStateRecording:
        return optionKey ? ButtonLook { "Pause", "mvpAXPauseButtonTitle" } : ButtonLook { "Stop", "mvpAXStopButtonTitle" };
    case MVPCaptureStatePaused:
        return optionKey ? ButtonLook { "Stop", "mvpAXStopButtonTitle" } : ButtonLook { "Record", "mvpAXRecordButtonTitle" };
    default: return { "Stop", "mvpAXStopButtonTitle" };
    }
}

void MVPKitCaptureWindowController::updateButton()
{
    if (!_actionButton)
        return;
    bool option = (HXEvent::modifierFlagsNow() & HXAlternateKeyMask) || _optionKeyDown;
    ButtonLook look = buttonLookForState(_state, option);
    _actionButton->setButtonImageSet(MVPButtonImageSet::imageSetWithBaseImageName(look.imageSet));
    std::string title = localized(look.title);
    MVPAccessibility::invokeAccessibilitySetOverrideValue(
        *_actionButton->cell(), HXAccessibilityValue(title), HXAccessibilityTitleAttribute);
    MVPAccessibility::invokeAccessibilitySetOverrideValue(
        *_actionButton->cell(), HXAccessibilityValue(title), HXAccessibilityDescriptionAttribute);
    HXAccessibility::postNotification(*_actionButton, HXAccessibilityValueChangedNotification);
    _actionButton->setNeedsDisplay(true);
}

void MVPKitCaptureWindowController::changeRecordingState(HXObject*)
{
    auto* app = HXApplication::sharedApplication().get();
    const HXEvent* event = app ? app->currentEvent() : nullptr;
    bool option = event ? (event->modifierFlags() & HXAlternateKeyMask) != 0 : _optionKeyDown;
    changeRecordingState(option);
}

void MVPKitCaptureWindowController::changeRecordingState(bool optionKey)
{
    switch (_state) {
    case MVPCaptureStatePreviewing: startRecording(); break;
    case MVPCaptureStateRecording: optionKey ? pauseRecording() : stopRecording(); break;
    case MVPCaptureStatePaused: optionKey ? stopRecording() : resumeRecording(); break;
    default: break;
    }
}

void MVPKitCaptureWindowController::keyDown(const HXEvent& event)
{
    if (event.charactersIgnoringModifiers() == " " && _actionButton) {
        _actionButton->performClick(nullptr);
        return;
    }
    MVPCaptureWindowController::keyDown(event);
}

bool MVPKitCaptureWindowController::interceptEvent(const HXEvent& event, HXWindow& window)
{
    if (event.type() == HXFlagsChanged && &window == this->window().get()) {
        _optionKeyDown = (event.modifierFlags() & HXAlternateKeyMask) != 0;
        updateButton();
    }
    return false;
}

std::string MVPKitCaptureWindowController::windowTitleForDocumentDisplayName(const std::string& displayName)
{
    if (_state == MVPCaptureStateRecording)
        return displayName;
    return localized(isAudioOnly() ? "mvpAudioRecording" : "mvpMovieRecording");
}

// ---- The file --------------------------------------------------------------------------------------------

std::string MVPKitCaptureWindowController::createUniqueMovieFile(
    const std::string& folder, const std::string& base, HXError* outError)
{
    if (folder.empty())
        return {};
    std::filesystem::path directory(folder);
    for (int number = 1;; ++number) {
        std::string name = number == 1 ? base + ".mov" : base + " " + std::to_string(number) + ".mov";
        std::string path = (directory / name).string();
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        // Only a taken name moves on to the next number; anything else ends the search.
        if (errno != EEXIST || number == INT32_MAX) {
            if (outError)
                *outError = HXError::posix(errno, path);
            return {};
        }
    }
}

std::string MVPKitCaptureWindowController::recordingFolder()
{
    HXPropertyList stored = HXUserDefaults::standardUserDefaults().objectForKey(kCapturePreferenceDefaultSaveToLocation);
    if (stored.isString() && !stored.stringValue().empty()) {
        std::string path = HXString::stringByStandardizingPath(stored.stringValue());
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            return path;
    }
    // A desktop folder the account never had (no desktop environment made it) is made now, in a home
    // that exists; failing that, recordings go to the home folder itself.
    std::string desktop = HXDesktopDirectory();
    std::error_code error;
    if (!std::filesystem::is_directory(desktop, error))
        std::filesystem::create_directory(desktop, error);
    if (std::filesystem::is_directory(desktop, error))
        return desktop;
    std::string home = HXHomeDirectory();
    return std::filesystem::is_directory(home, error) ? home : desktop;
}

std::string MVPKitCaptureWindowController::createUniqueMovieFile()
{
    std::string base = localized(isAudioOnly() ? "mvpCaptureBaseAudioFileName" : "mvpCaptureBaseMovieFileName");
    return createUniqueMovieFile(recordingFolder(), base, nullptr);
}

// ---- Recording -------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::startRecording()
{
    if (_state != MVPCaptureStatePreviewing || !_captureMovieFileOutput)
        return;
    std::string path = createUniqueMovieFile();
    if (path.empty()) {
        auto alert = HXAlert::alertWithMessageText(
            localized("mvpCaptureFailedTitle"), {}, {}, {}, localized("mvpCaptureFailedMessage"));
        auto weak = weakSelf();
        alert->beginSheetModalForWindow(window(), [weak](long) {
            if (auto self = weak.lock())
                self->recordingFailed(true);
        });
        return;
    }
    _outputFile = path;
    updateAttributes();
    setState(MVPCaptureStateRecording);
    if (auto doc = document())
        doc->updateChangeCount(HXChangeDone);
    _captureMovieFileOutput->recordToOutputFileURL(path);
}

void MVPKitCaptureWindowController::pauseRecording()
{
    if (_state != MVPCaptureStateRecording)
        return;
    setState(MVPCaptureStatePaused);
    if (_captureMovieFileOutput && _captureMovieFileOutput->isRecording()) {
        _captureMovieFileOutput->pauseRecording();
        runStatisticsTimer(false);
    }
}

void MVPKitCaptureWindowController::resumeRecording()
{
    if (_state != MVPCaptureStatePaused)
        return;
    setState(MVPCaptureStateRecording);
    if (_captureMovieFileOutput && _captureMovieFileOutput->isRecording()) {
        _captureMovieFileOutput->resumeRecording();
        runStatisticsTimer(true);
    }
}

void MVPKitCaptureWindowController::stopRecording()
{
    setState(MVPCaptureStateStopping);
    if (_captureMovieFileOutput && _captureMovieFileOutput->isRecording()) {
        if (_finishingRecordingProgressIndicator)
            _finishingRecordingProgressIndicator->startAnimation();
        if (_actionButton)
            _actionButton->setEnabled(false);
        setCloseButtonEnabled(false);
        runMeterTimer(false);
        if (_volumeView)
            _volumeView->setCaptureTarget(nullptr);
        if (_captureAudioPreviewOutput)
            _captureAudioPreviewOutput->setVolume(0);
        _captureMovieFileOutput->recordToOutputFileURL({});
    }
}

void MVPKitCaptureWindowController::stopRecordingAndCloseWithInvocation(
    MVPCloseInvocation invocation, bool keepRecordedFile)
{
    _closeInvocation = std::move(invocation);
    if (!_deleteFileOnClose)
        _deleteFileOnClose = !keepRecordedFile;
    stopRecording();
    // Nothing was being written (a start that failed): the file is done with at once.
    if (!_captureMovieFileOutput || !_captureMovieFileOutput->isRecording())
        if (_state == MVPCaptureStateStopping && _outputFile.empty())
            finishRecording();
}

void MVPKitCaptureWindowController::setSuspendedStopCommand(MVPSuspendedStopCommand command)
{
    _suspendedStopCommand = std::move(command);
}

void MVPKitCaptureWindowController::removeObservers()
{
    for (auto token : _observerTokens)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _observerTokens.clear();
    for (auto token : _workspaceTokens)
        HXWorkspace::notificationCenter().removeObserver(token);
    _workspaceTokens.clear();
}

void MVPKitCaptureWindowController::setCloseButtonEnabled(bool enabled)
{
    // A window that is not closable refuses its close box (and Close) with a beep.
    if (auto w = window()) {
        const unsigned mask = w->styleMask();
        w->setStyleMask(enabled ? mask | HXClosableWindowMask : mask & ~HXClosableWindowMask);
    }
}

// ---- Capture output callbacks: capture thread -> main thread ---------------------------------------------

void MVPKitCaptureWindowController::captureOutputDidStartRecording(MVCaptureMovieFileOutput&, const std::string&)
{
    auto weak = weakSelf();
    HXRunLoop::performOnMainThread([weak] {
        if (auto self = weak.lock())
            if (self->_state == MVPCaptureStateRecording)
                self->runStatisticsTimer(true);
    });
}

void MVPKitCaptureWindowController::captureOutputWillFinishRecording(MVCaptureMovieFileOutput&, const std::string&)
{
    auto weak = weakSelf();
    HXRunLoop::performOnMainThread([weak] {
        if (auto self = weak.lock())
            if (self->_captureSession)
                self->_captureSession->stopRunning();
    });
}

void MVPKitCaptureWindowController::captureOutputDidFinishRecording(
    MVCaptureMovieFileOutput&, const std::string&, const std::optional<HXError>& error)
{
    // Sheets, documents and windows belong to the main thread.
    auto weak = weakSelf();
    HXRunLoop::performOnMainThread([weak, error] {
        if (auto self = weak.lock())
            self->didFinishRecording(error);
    });
}

void MVPKitCaptureWindowController::captureOutputDidOutputSampleBuffer(
    MVCaptureMovieFileOutput&, const std::shared_ptr<MVCaptureConnection>& connection)
{
    auto format = connection->formatDescription();
    bool video = connection->mediaType() == MVMediaTypeVideo;
    {
        std::lock_guard lock(_formatMutex);
        auto& current = video ? _currentVideoFormat : _currentAudioFormat;
        if (current == format)
            return;
        current = format;
    }
    auto weak = weakSelf();
    HXRunLoop::performOnMainThread(
        [weak, format, video] {
            auto self = weak.lock();
            if (!self)
                return;
            if (video)
                self->setVideoFormatSummary(format.localizedFormatSummary());
            else
                self->setAudioFormatSummary(format.localizedFormatSummary());
        },
        false, { HXDefaultRunLoopMode });
}

void MVPKitCaptureWindowController::didFinishRecording(const std::optional<HXError>& error)
{
    runStatisticsTimer(false);
    runMeterTimer(false);
    if (_state != MVPCaptureStateStopping)
        setState(MVPCaptureStateStopping);
    if (_finishingRecordingProgressIndicator)
        _finishingRecordingProgressIndicator->stopAnimation();
    if (!error) {
        finishRecording();
        return;
    }
    auto finished = error->userInfo().find(MVErrorRecordingSuccesfullyFinishedKey);
    bool usable = finished == error->userInfo().end() || finished->second.boolValue();
    auto weak = weakSelf();
    auto alert = MVPAlert::alertWithError(*error);
    alert->beginSheetModalForWindow(window(), [weak, usable](long) {
        auto self = weak.lock();
        if (!self)
            return;
        if (usable)
            self->finishRecording();
        else
            self->recordingFailed(true);
    });
}

void MVPKitCaptureWindowController::finishRecording()
{
    // Keeps this controller alive to the end, whatever the invocation or the close does to the document.
    auto self = weakSelf().lock();
    if (_closeInvocation) {
        auto invocation = std::move(_closeInvocation);
        _closeInvocation = nullptr;
        cleanUpRecordingWithMovieDocument(nullptr);
        invocation(true);
        return;
    }
    auto recording = captureDocument();
    if (!window() || !window()->isVisible() || !recording) {
        // Nothing to show the movie in: the file stays where it is and the window is ready again.
        cleanUpRecordingWithMovieDocument(nullptr);
        return;
    }
    HXError error;
    auto movie = MVPMovieDocument::documentWithContentsOfFile(
        _outputFile, MVPAnythingDocumentType, recording->uniqueID(), &error);
    if (!movie) {
        // The recording stays on disk: the user may open it with another program.
        showFailedSheet(error, false);
        return;
    }
    HXDocumentController::sharedDocumentController()->addDocument(movie);
    movie->setUserSize(_videoSize);
    movie->makeWindowControllers();
    movie->updateChangeCount(HXChangeCleared);
    HXRect recordingFrame = window()->frame();
    movie->showWindows();
    if (!movie->windowControllers().empty()) {
        if (auto movieWindow = movie->windowControllers().front()->window())
            movieWindow->setFrameOrigin(recordingFrame.origin);
    }
    cleanUpRecordingWithMovieDocument(movie);
    closeDocument();
}

void MVPKitCaptureWindowController::cleanUpRecordingWithMovieDocument(const std::shared_ptr<MVPMovieDocument>& document)
{
    if (_suspendedStopCommand) {
        auto command = std::move(_suspendedStopCommand);
        _suspendedStopCommand = nullptr;
        command(document);
    }
    if (_actionButton)
        _actionButton->setEnabled(true);
    setCloseButtonEnabled(true);
    setState(MVPCaptureStatePreviewing);
    if (_deleteFileOnClose && !_outputFile.empty()) {
        std::error_code error;
        if (std::filesystem::exists(_outputFile, error) && !std::filesystem::is_directory(_outputFile, error))
            std::filesystem::remove(_outputFile, error);
    }
    _deleteFileOnClose = false;
}

void MVPKitCaptureWindowController::showFailedSheet(const std::optional<HXError>& error, bool deleteFile)
{
    std::shared_ptr<HXAlert> alert;
    if (error && error->code() != 0)
        alert = MVPAlert::alertWithError(*error);
    else
        alert = HXAlert::alertWithMessageText(
            localized("mvpCaptureFailedTitle"), {}, {}, {}, localized("mvpCaptureFailedMessage"));
    auto weak = weakSelf();
    alert->beginSheetModalForWindow(window(), [weak, deleteFile](long) {
        if (auto self = weak.lock())
            self->recordingFailed(deleteFile);
    });
}

void MVPKitCaptureWindowController::recordingFailed(bool deleteFile)
{
    auto self = weakSelf().lock();
    if (deleteFile)
        _deleteFileOnClose = true;
    cleanUpRecordingWithMovieDocument(nullptr);
    closeDocument();
}

void MVPKitCaptureWindowController::closeDocument()
{
    if (auto doc = document())
        doc->close();
}

// ---- Timers ----------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::updateStatistics()
{
    if (!_captureMovieFileOutput)
        return;
    if (_dataSizeText)
        _dataSizeText->setDataSize(_captureMovieFileOutput->recordedFileSize());
    if (_timeText)
        _timeText->setTime(MVMakeTime(int64_t(std::llround(_captureMovieFileOutput->recordedDuration() * 600)), 600));
}

void MVPKitCaptureWindowController::updateMeter()
{
    if (_captureView)
        _captureView->setNeedsDisplay(true);
    auto connection = _captureMovieFileOutput ? _captureMovieFileOutput->defaultConnectionForMediaType(MVMediaTypeSound)
                                              : nullptr;
    if (!connection)
        return;
    auto levels = connection->averagePowerLevels();
    if (levels.empty())
        return;
    float loudest = *std::max_element(levels.begin(), levels.end());
    if (_meterView)
        _meterView->setValue(float(std::pow(10.0, loudest * 0.05)));
}

void MVPKitCaptureWindowController::runStatisticsTimer(bool run)
{
    if (run) {
        if (_statisticsTimer)
            return;
        auto weak = weakSelf();
        _statisticsTimer = HXTimer::scheduledTimer(0.5, true, [weak](HXTimer&) {
            if (auto self = weak.lock())
                self->updateStatistics();
        }, { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
    } else if (_statisticsTimer) {
        _statisticsTimer->invalidate();
        _statisticsTimer = nullptr;
        updateStatistics(); // the last reading
    }
}

void MVPKitCaptureWindowController::runMeterTimer(bool run)
{
    if (run) {
        if (_meterTimer)
            return;
        auto weak = weakSelf();
        _meterTimer = HXTimer::scheduledTimer(1.0 / 15, true, [weak](HXTimer&) {
            if (auto self = weak.lock())
                self->updateMeter();
        }, { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
    } else if (_meterTimer) {
        updateMeter(); // the last reading
        _meterTimer->invalidate();
        _meterTimer = nullptr;
    }
}

// ---- Attributes ------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::setAudioFormatSummary(const std::string& summary)
{
    if (summary == _audioFormatSummary)
        return;
    _audioFormatSummary = summary;
    updateAttributes();
}

void MVPKitCaptureWindowController::setVideoFormatSummary(const std::string& summary)
{
    if (summary == _videoFormatSummary)
        return;
    _videoFormatSummary = summary;
    updateAttributes();
}

void MVPKitCaptureWindowController::updateAttributes()
{
    if (_attributes.empty()) {
        if (_captureVideoDeviceInput)
            _attributes.push_back(MVPAttributePair::attributePairWithLabel(localizedIn("videoSourceLabel", "MovieInfo"),
                _captureVideoDeviceInput->device()->localizedDeviceAndInputSourceName()));
        if (_captureAudioDeviceInput)
            _attributes.push_back(MVPAttributePair::attributePairWithLabel(localizedIn("audioSourceLabel", "MovieInfo"),
                _captureAudioDeviceInput->device()->localizedDeviceAndInputSourceName()));
        _attributes.push_back(MVPAttributePair::attributePairWithLabel(localizedIn("destinationLabel", "MovieInfo"), {}));
        _attributes.push_back(MVPAttributePair::attributePairWithLabel(localizedIn("formatLabel", "MovieInfo"), {}));
    }
    auto& destination = _attributes[_attributes.size() - 2];
    auto& format = _attributes.back();
    destination.value = _outputFile.empty() ? localizedIn("availableWhenRecording", "MovieInfo") : _outputFile;
    if (!_videoFormatSummary.empty() && !_audioFormatSummary.empty())
        format.value = _videoFormatSummary + "\n" + _audioFormatSummary;
    else if (!_videoFormatSummary.empty())
        format.value = _videoFormatSummary;
    else if (!_audioFormatSummary.empty())
        format.value = _audioFormatSummary;
    else
        format.value = localizedIn("unknown", "MovieInfo");
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(kMVPMediaAttributesHaveChangedNotification, document()));
}

void MVPKitCaptureWindowController::deviceAttributeDidChange(const HXNotification& notification)
{
    auto key = notification.userInfo().find(MVCaptureDeviceChangedAttributeKey);
    if (key != notification.userInfo().end()
        && key->second.stringValue() == MVCaptureDeviceInputSourceIdentifierAttribute) {
        _attributes.clear();
        updateAttributes();
    }
}

// ---- Failures --------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::captureSessionRuntimeError(const HXNotification& notification)
{
    // While a file is written or finished, the file output's finishing reports what went wrong.
    if (_state == MVPCaptureStateRecording || _state == MVPCaptureStatePaused || _state == MVPCaptureStateStopping)
        return;
    std::optional<HXError> error;
    auto found = notification.userInfo().find(MVCaptureSessionErrorKey);
    if (found != notification.userInfo().end())
        error = HXError::fromArchive(found->second);
    showFailedSheet(error, true);
}

void MVPKitCaptureWindowController::initRecordingErrored(const std::optional<HXError>& error)
{
    stopRecording();
    std::shared_ptr<HXAlert> alert;
    if (error && error->code() != 0)
        alert = MVPAlert::alertWithError(*error);
    else
        alert = HXAlert::alertWithMessageText(
            localized("mvpCaptureNoDeviceTitle"), {}, {}, {}, localized("mvpCaptureNoDeviceMessage"));
    auto weak = weakSelf();
    alert->beginSheetModalForWindow(window(), [weak](long) {
        if (auto self = weak.lock()) {
            self->setState(MVPCaptureStatePreviewing);
            self->closeDocument();
        }
    });
}

// ---- Sleep -----------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::systemWillSleep()
{
    if (!MVMediaKeys::mediaKeys().boolForType("MVPlayerStopRecordingOnSleep", true))
        return;
    if (_state == MVPCaptureStatePreviewing) {
        if (_captureSession)
            _captureSession->stopRunning();
        return;
    }
    if (_state != MVPCaptureStateStopping)
        stopRecording();
    // The file is finished before the machine sleeps, within 30 seconds.
    auto& loop = HXRunLoop::main();
    HXTimeInterval limit = loop.now() + 30;
    auto self = weakSelf().lock();
    while (_state != MVPCaptureStatePreviewing && loop.now() < limit)
        loop.runMode(HXDefaultRunLoopMode, std::min(limit, loop.now() + 0.1));
}

void MVPKitCaptureWindowController::systemDidWake()
{
    if (_captureSession && window() && window()->isVisible())
        _captureSession->startRunning();
}
