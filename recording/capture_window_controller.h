#pragma once
// The recording window: the live picture of a movie recording (none for a sound recording), a level
// meter, a monitor volume, the recorded time and size, and one button that starts, pauses, resumes and
// stops. The controller builds the capture session from the preferred devices, records into a new,
// uniquely named movie file, and opens the finished file as a movie document that keeps the recording's
// unique identifier.
#include "document/media_attributes.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/window_controller.h"
#include "player/window/movie_ui_window.h"
#include "recording/capture_session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXDocument;
class HXImage;
class HXProgressIndicator;
class HXTimer;
class HXView;
class ImageButton;
class MVPCaptureDocument;
class MVPCaptureView;
class MVPDataSizeTextField;
class MVPMeterView;
class MVPMovieDocument;
class MVPMovieVolumeView;
class MVPMovieWindowBevelView;
class MVPTimeTextField;

// Recording states: four-character codes read big-endian.
using MVPCaptureState = int32_t;
inline constexpr MVPCaptureState MVPCaptureStatePreviewing = 0x70727677; // 'prvw'
inline constexpr MVPCaptureState MVPCaptureStateRecording = 0x72656364; // 'recd'
inline constexpr MVPCaptureState MVPCaptureStatePaused = 0x70617364; // 'pasd'
inline constexpr MVPCaptureState MVPCaptureStateStopping = 0x73747064; // 'stpd'

// A script's stop command, suspended until the file is finished: resumed with the finished movie's
// document (null when there is none).
using MVPSuspendedStopCommand = std::function<void(std::shared_ptr<MVPMovieDocument>)>;
// The document's close guard, waiting for the recording to end: told whether the document may close.
using MVPCloseInvocation = std::function<void(bool canClose)>;

class MVPCaptureWindowController : public HXWindowController {
public:
    // The recording window controller of this program (the capture-session one).
    static std::shared_ptr<MVPCaptureWindowController> init();
    using HXWindowController::HXWindowController;

    virtual std::vector<MVPAttributePair> attributes() { return {}; }
    virtual std::vector<MVPAttributePair> information() { return {}; }
    virtual void setSuspendedStopCommand(MVPSuspendedStopCommand command) { (void)command; }
    virtual MVPCaptureState state() const { return MVPCaptureStatePreviewing; }
    virtual void stopRecordingAndCloseWithInvocation(MVPCloseInvocation invocation, bool keepRecordedFile)
    {
        (void)invocation;
        (void)keepRecordedFile;
    }
    virtual bool canCloseDocument() const { return true; }
    virtual void stopRecording() { }
    virtual void resumeRecording() { }
    virtual void pauseRecording() { }
    virtual void startRecording() { }
};

class MVPKitCaptureWindowController : public MVPCaptureWindowController,
                                      public MVPEventInterceptor,
                                      public MVCaptureFileOutputDelegate {
public:
    MVPKitCaptureWindowController();
    ~MVPKitCaptureWindowController() override;

    // ---- State and commands ----
    MVPCaptureState state() const override { return _state; }
    void setState(MVPCaptureState state);
    void startRecording() override;
    void pauseRecording() override;
    void resumeRecording() override;
    void stopRecording() override;
    // The button's action: by state and the Option key.
    void changeRecordingState(HXObject* sender);
    void changeRecordingState(bool optionKey);
    bool canCloseDocument() const override { return _state != MVPCaptureStateStopping; }
    void stopRecordingAndCloseWithInvocation(MVPCloseInvocation invocation, bool keepRecordedFile) override;
    void deleteFileOnClose() { _deleteFileOnClose = true; }
    void setSuspendedStopCommand(MVPSuspendedStopCommand command) override;
    bool isAudioOnly() const;

    // ---- What the window shows ----
    std::vector<MVPAttributePair> attributes() override { return _attributes; }
    std::vector<MVPAttributePair> information() override { return {}; }
    std::string windowTitleForDocumentDisplayName(const std::string& displayName) override;
    void setAudioFormatSummary(const std::string& summary);
    void setVideoFormatSummary(const std::string& summary);
    const std::string& audioFormatSummary() const { return _audioFormatSummary; }
    const std::string& videoFormatSummary() const { return _videoFormatSummary; }
    void updateAttributes();
    void updateButton();
    // The image set and accessibility title of the action button for a state and the Option key.
    struct ButtonLook {
        std::string imageSet, title;
        bool operator==(const ButtonLook&) const = default;
    };
    static ButtonLook buttonLookForState(MVPCaptureState state, bool optionKey);

    // ---- The file ----
    // A new empty file "<base>.mov", "<base> 2.mov", "<base> 3.mov" ... in `folder`, made exclusively;
    // empty (with the error) when the folder does not take it.
    static std::string createUniqueMovieFile(const std::string& folder, const std::string& base, HXError* outError);
    // In the preferred recording folder (else the desktop), named for the kind of recording.
    std::string createUniqueMovieFile();
    static std::string recordingFolder();
    const std::string& outputFile() const { return _outputFile; }

    // ---- Geometry ----
    HXSize videoSize() const { return _videoSize; }
    void setVideoSize(HXSize size, bool animate);
    struct Margins {
        double left = 0, top = 0, right = 0, bottom = 0;
    };
    Margins margins() const;
    HXSize minimumWindowContentSize() const;
    HXRect videoFrameForUserSize(HXSize size) const;

    // ---- Parts (tests) ----
    const std::shared_ptr<MVCaptureSession>& captureSession() const { return _captureSession; }
    const std::shared_ptr<MVCaptureMovieFileOutput>& movieFileOutput() const { return _captureMovieFileOutput; }
    const std::shared_ptr<ImageButton>& actionButton() const { return _actionButton; }
    const std::shared_ptr<MVPMeterView>& meterView() const { return _meterView; }
    const std::shared_ptr<MVPDataSizeTextField>& dataSizeText() const { return _dataSizeText; }
    const std::shared_ptr<MVPTimeTextField>& timeText() const { return _timeText; }
    const std::shared_ptr<MVPCaptureView>& captureView() const { return _captureView; }
    void updateStatistics();
    void updateMeter();

    // ---- Window ----
    void windowDidLoad() override;
    void windowWillClose(HXWindow& window) override;
    void keyDown(const HXEvent& event) override;
    bool interceptEvent(const HXEvent& event, HXWindow& window) override;
    void systemWillSleep();
    void systemDidWake();

    // ---- Capture output delegate (capture thread) ----
    void captureOutputDidStartRecording(MVCaptureMovieFileOutput&, const std::string& path) override;
    void captureOutputWillFinishRecording(MVCaptureMovieFileOutput&, const std::string& path) override;
    void captureOutputDidFinishRecording(
        MVCaptureMovieFileOutput&, const std::string& path, const std::optional<HXError>& error) override;
    void captureOutputDidOutputSampleBuffer(
        MVCaptureMovieFileOutput&, const std::shared_ptr<MVCaptureConnection>& connection) override;

    void setOutlets(std::shared_ptr<MVPCaptureView> captureView, std::shared_ptr<MVPMovieWindowBevelView> bevel,
        std::shared_ptr<HXView> controls, std::shared_ptr<ImageButton> actionButton,
        std::shared_ptr<MVPMeterView> meter, std::shared_ptr<MVPMovieVolumeView> volume,
        std::shared_ptr<MVPDataSizeTextField> dataSize, std::shared_ptr<MVPTimeTextField> time,
        std::shared_ptr<HXProgressIndicator> progress);

private:
    std::weak_ptr<MVPKitCaptureWindowController> weakSelf()
    {
        return std::static_pointer_cast<MVPKitCaptureWindowController>(shared_from_this());
    }
    std::shared_ptr<MVPCaptureDocument> captureDocument() const;
    bool setupCaptureSession(HXError* outError);
    std::shared_ptr<MVCaptureDevice> preferredDevice(const std::string& key, uint32_t mediaType);
    void setupCompression();
    void initRecordingErrored(const std::optional<HXError>& error);
    void didFinishRecording(const std::optional<HXError>& error);
    void finishRecording();
    void cleanUpRecordingWithMovieDocument(const std::shared_ptr<MVPMovieDocument>& document);
    void recordingFailed(bool deleteFile);
    void showFailedSheet(const std::optional<HXError>& error, bool deleteFile);
    void captureSessionRuntimeError(const HXNotification& notification);
    void deviceAttributeDidChange(const HXNotification& notification);
    void connectionFormatDidChange();
    void runStatisticsTimer(bool run);
    void runMeterTimer(bool run);
    void closeDocument();
    void setCloseButtonEnabled(bool enabled);
    void removeObservers();

    std::shared_ptr<MVPCaptureView> _captureView;
    std::shared_ptr<MVPMovieWindowBevelView> _bevelView;
    std::shared_ptr<HXView> _controls;
    std::shared_ptr<ImageButton> _actionButton;
    std::shared_ptr<MVPMeterView> _meterView;
    std::shared_ptr<MVPMovieVolumeView> _volumeView;
    std::shared_ptr<MVPDataSizeTextField> _dataSizeText;
    std::shared_ptr<MVPTimeTextField> _timeText;
    std::shared_ptr<HXProgressIndicator> _finishingRecordingProgressIndicator;

    MVPCaptureState _state = MVPCaptureStatePreviewing;
    std::shared_ptr<MVCaptureSession> _captureSession;
    std::shared_ptr<MVCaptureDeviceInput> _captureAudioDeviceInput, _captureVideoDeviceInput;
    std::shared_ptr<MVCaptureAudioPreviewOutput> _captureAudioPreviewOutput;
    std::shared_ptr<MVCaptureMovieFileOutput> _captureMovieFileOutput;
    std::string _outputFile;
    MVPCloseInvocation _closeInvocation;
    bool _deleteFileOnClose = false;
    std::shared_ptr<HXTimer> _meterTimer, _statisticsTimer;
    HXSize _videoSize { 320, 240 };
    std::vector<MVPAttributePair> _attributes;
    // Compared and replaced on the capture thread; the summaries are made on the main thread.
    std::mutex _formatMutex;
    MVCaptureFormatDescription _currentVideoFormat, _currentAudioFormat;
    std::string _videoFormatSummary, _audioFormatSummary;
    MVPSuspendedStopCommand _suspendedStopCommand;
    std::vector<uint64_t> _observerTokens; // on the default centre
    std::vector<uint64_t> _workspaceTokens; // on the workspace's
    bool _optionKeyDown = false;
    std::shared_ptr<HXImage> _lastFrame; // the picture held while the file is finished
};
