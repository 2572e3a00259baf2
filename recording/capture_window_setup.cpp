// The recording window's set-up: its interface, the capture session from the preferred devices, the
// compression of the chosen preset, the window's geometry, and its closing.
#include "recording/capture_window_controller.h"

#include "core/preferences.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/workspace.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/screen.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/time_text_field.h"
#include "player/window/movie_window_bevel_view.h"
#include "recording/capture_document.h"
#include "recording/capture_view.h"
#include "recording/data_size_text_field.h"
#include "recording/meter_view.h"

#include <algorithm>

namespace {

// The monitor volume control sets the sound preview's volume.
class PreviewVolumeTarget : public MVPVolumeCaptureTarget {
public:
    explicit PreviewVolumeTarget(std::shared_ptr<MVCaptureAudioPreviewOutput> output)
        : _output(std::move(output))
    {
    }
    float volume() const override { return _output->volume(); }
    void setVolume(float volume) override { _output->setVolume(volume); }

private:
    std::shared_ptr<MVCaptureAudioPreviewOutput> _output;
};

constexpr double stripHeight = 56, stripMinimumWidth = 350;

// The window: the picture in its bevel above a strip with the meter and volume on the left, the button
// in the middle, and the time and size on the right. The strip keeps to the bottom as the window grows.
std::vector<std::shared_ptr<HXObject>> buildCaptureWindowInterface(const std::shared_ptr<HXObject>& owner)
{
    const double width = 350, pictureHeight = 246;
    auto window = std::make_shared<MVPMovieUIWindow>(HXMakeRect(0, 0, width, pictureHeight + stripHeight),
        HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask | HXResizableWindowMask);
    window->setReleasedWhenClosed(false);
    auto content = window->contentView();

    auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, stripHeight, width, pictureHeight));
    bevel->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    auto picture = std::make_shared<MVPCaptureView>(HXMakeRect(0, 0, 320, 240));
    auto controls = std::make_shared<HXView>(HXMakeRect(0, 0, width, stripHeight));
    controls->setAutoresizingMask(HXViewWidthSizable | HXViewMaxYMargin);

    auto button = std::make_shared<ImageButton>(HXMakeRect((width - 41) / 2, 8, 41, 41));
    button->setAutoresizingMask(HXViewMinXMargin | HXViewMaxXMargin);
    auto meter = MVPMeterView::meterViewWithFrame(HXMakeRect(12, 30, 111, 12));
    meter->setAutoresizingMask(HXViewMaxXMargin);
    auto volume = MVPMovieVolumeView::create(HXMakeRect(12, 8, 68, 18), nullptr, 2);
    volume->setAutoresizingMask(HXViewMaxXMargin);
    auto time = MVPTimeTextField::timeTextFieldWithFrame(HXMakeRect(width - 112, 28, 100, 16), 2);
    time->setAutoresizingMask(HXViewMinXMargin);
    auto size = MVPDataSizeTextField::dataSizeTextFieldWithFrame(HXMakeRect(width - 112, 10, 100, 14));
    size->setAutoresizingMask(HXViewMinXMargin);
    auto progress = std::make_shared<HXProgressIndicator>(HXMakeRect((width + 41) / 2 + 8, 20, 16, 16));
    progress->setAutoresizingMask(HXViewMinXMargin | HXViewMaxXMargin);
    progress->setDisplayedWhenStopped(false);
    for (const std::shared_ptr<HXView>& view : std::vector<std::shared_ptr<HXView>> { button, meter, volume, time, size, progress })
        controls->addSubview(view);
    content->addSubview(bevel);
    content->addSubview(controls);

    if (auto controller = std::dynamic_pointer_cast<MVPKitCaptureWindowController>(owner)) {
        controller->setOutlets(picture, bevel, controls, button, meter, volume, size, time, progress);
        button->setTarget(controller);
        button->setAction(HXSelector("changeRecordingState:"));
        controller->setWindow(window);
        window->setDelegate(controller);
    }
    return { window };
}

HXInterfaceRegistration registration("CaptureWindow", buildCaptureWindowInterface);

} // namespace

// ---- Window set-up ---------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::windowDidLoad()
{
    auto& center = HXNotificationCenter::defaultCenter();
    auto weak = weakSelf();
    setActionHandler("changeRecordingState:", [this](HXObject* sender) { changeRecordingState(sender); });
    _observerTokens.push_back(center.addObserver(
        MVCaptureConnectionFormatDescriptionDidChangeNotification, nullptr, [weak](const HXNotification&) {
            if (auto self = weak.lock())
                self->connectionFormatDidChange();
        }));
    _observerTokens.push_back(center.addObserver(HXWorkspaceWillSleepNotification, nullptr, [weak](const HXNotification&) {
        if (auto self = weak.lock())
            self->systemWillSleep();
    }));
    _observerTokens.push_back(center.addObserver(HXWorkspaceDidWakeNotification, nullptr, [weak](const HXNotification&) {
        if (auto self = weak.lock())
            self->systemDidWake();
    }));

    if (_bevelView && _captureView)
        _bevelView->setContentView(_captureView);
    if (_timeText)
        _timeText->setStyle(2);
    if (_volumeView)
        _volumeView->setStyle(2);

    HXError error;
    if (!setupCaptureSession(&error)) {
        std::optional<HXError> reported;
        if (error.code() != 0)
            reported = error;
        HXRunLoop::main().perform([weak, reported] {
            if (auto self = weak.lock())
                self->initRecordingErrored(reported);
        }, 0, { HXRunLoopCommonModes });
        return;
    }
    _observerTokens.push_back(center.addObserver(
        MVCaptureSessionRuntimeErrorNotification, _captureSession.get(), [weak](const HXNotification& n) {
            if (auto self = weak.lock())
                self->captureSessionRuntimeError(n);
        }));
    setupCompression();
    if (_volumeView)
        _volumeView->setCaptureTarget(std::make_shared<PreviewVolumeTarget>(_captureAudioPreviewOutput));

    bool haveSize = true;
    HXSize size = _videoSize;
    if (isAudioOnly()) {
        if (_captureView)
            _captureView->setHidden(true);
        if (_bevelView)
            _bevelView->setHidden(true);
        size = { 0, 0 };
    } else {
        if (_captureView) {
            _captureView->setCaptureSession(_captureSession);
            _captureView->setWillDisplayImage([weak](std::shared_ptr<HXImage> image) {
                auto self = weak.lock();
                if (!self || self->_state != MVPCaptureStateStopping) {
                    if (self)
                        self->_lastFrame = nullptr;
                    return image;
                }
                // While the file is finished the picture stays on the last frame.
                if (!self->_lastFrame)
                    self->_lastFrame = image;
                return self->_lastFrame;
            });
        }
        HXPropertyList preset = MVPPreferences::preferences().captureFormatWithIdentifier(
            MVPPreferences::preferences().preference(kCapturePreferenceFormatIdentifier).stringValue());
        const HXPropertyList& settings = preset["VideoSettings"];
        if (settings["NativeFormat"].boolValue()) {
            auto connection = _captureMovieFileOutput->defaultConnectionForMediaType(MVMediaTypeVideo);
            auto format = connection ? connection->formatDescription() : MVCaptureFormatDescription {};
            HXSize native = format.cleanApertureDisplaySize();
            haveSize = native.width > 0 && native.height > 0;
            if (haveSize)
                size = native;
        } else if (settings.isDictionary() && settings["Width"].integerValue() > 0) {
            size = { double(settings["Width"].integerValue()), double(settings["Height"].integerValue()) };
        }
    }
    if (haveSize)
        setVideoSize(size, false);

    updateButton();
    if (_actionButton)
        window()->setInitialFirstResponder(_actionButton);
    updateAttributes();
    runMeterTimer(true);
    _captureSession->startRunning();
}

std::shared_ptr<MVCaptureDevice> MVPKitCaptureWindowController::preferredDevice(const std::string& key, uint32_t)
{
    HXPropertyList description = MVPPreferences::preferences().fixedDevicePreferenceForKey(key);
    if (!description.isDictionary() || !description[MVPPreferencesCaptureDeviceUIDKey].isString())
        return nullptr;
    auto device = MVCaptureDevice::deviceWithUniqueID(description[MVPPreferencesCaptureDeviceUIDKey].stringValue());
    if (!device || device->isSuspended() || !device->open(nullptr))
        return nullptr;
    const HXPropertyList& index = description[MVPPreferencesCaptureDeviceInputIndexKey];
    auto sources = device->availableInputSources();
    if (index.isInteger() && sources && index.integerValue() >= 0 && size_t(index.integerValue()) < sources->size())
        device->setInputSourceIdentifier((*sources)[size_t(index.integerValue())].identifier);
    return device;
}

bool MVPKitCaptureWindowController::setupCaptureSession(HXError* outError)
{
    if (outError)
        *outError = HXError();
    std::shared_ptr<MVCaptureDevice> video;
    if (!isAudioOnly()) {
        video = preferredDevice(kCapturePreferenceDefaultMovieVideoDevice, MVMediaTypeVideo);
        if (!video)
            video = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeVideo, outError);
        if (!video)
            video = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeMuxed, outError);
        if (video)
            _captureVideoDeviceInput = MVCaptureDeviceInput::deviceInputWithDevice(video, outError);
        if (!_captureVideoDeviceInput)
            return false;
    }

    std::shared_ptr<MVCaptureDevice> audio;
    HXPropertyList stored = MVPPreferences::preferences().fixedDevicePreferenceForKey(kCapturePreferenceDefaultMovieAudioDevice);
    bool namesVideoDevice = video && stored.isDictionary()
        && stored[MVPPreferencesCaptureDeviceUIDKey].stringValue() == video->uniqueID();
    if (!namesVideoDevice)
        audio = preferredDevice(kCapturePreferenceDefaultMovieAudioDevice, MVMediaTypeSound);
    if (!audio && video) {
        // A muxed device brings its own sound; a camera may have a microphone linked to it.
        if (!video->hasMediaType(MVMediaTypeMuxed)) {
            auto linked = video->linkedDevices();
            if (!linked.empty()) {
                auto& last = linked.back();
                if (last->hasMediaType(MVMediaTypeSound) && !last->isSuspended() && last->open(nullptr))
                    audio = last;
            }
        }
    }
    if (!audio && !(video && video->hasMediaType(MVMediaTypeMuxed))) {
        audio = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeSound, nullptr);
        if (!audio)
            audio = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeMuxed, nullptr);
    }
    if (audio && audio != video)
        _captureAudioDeviceInput = MVCaptureDeviceInput::deviceInputWithDevice(audio, outError);
    if (isAudioOnly() && !_captureAudioDeviceInput) {
        if (outError && outError->code() == 0)
            *outError = HXError();
        return false;
    }

    _captureSession = std::make_shared<MVCaptureSession>();
    auto& center = HXNotificationCenter::defaultCenter();
    auto weak = weakSelf();
    auto observeDevice = [&](const std::shared_ptr<MVCaptureDevice>& device) {
        _observerTokens.push_back(center.addObserver(
            MVCaptureDeviceAttributeDidChangeNotification, device.get(), [weak](const HXNotification& n) {
                if (auto self = weak.lock())
                    self->deviceAttributeDidChange(n);
            }));
    };
    if (_captureVideoDeviceInput) {
        auto main = _captureVideoDeviceInput->defaultConnectionForMediaType(MVMediaTypeVideo);
        for (auto& connection : _captureVideoDeviceInput->connections()) {
            bool keep = connection == main
                || (connection->mediaType() == MVMediaTypeSound && !_captureAudioDeviceInput);
            connection->setEnabled(keep);
        }
        if (!_captureSession->addInput(_captureVideoDeviceInput, outError))
            return false;
        observeDevice(_captureVideoDeviceInput->device());
    }
    if (_captureAudioDeviceInput) {
        for (auto& connection : _captureAudioDeviceInput->connections())
            connection->setEnabled(connection->mediaType() == MVMediaTypeSound);
        if (!_captureSession->addInput(_captureAudioDeviceInput, outError))
            return false;
        observeDevice(_captureAudioDeviceInput->device());
    }
    _captureAudioPreviewOutput = std::make_shared<MVCaptureAudioPreviewOutput>();
    _captureAudioPreviewOutput->setVolume(0);
    if (!_captureSession->addOutput(_captureAudioPreviewOutput, outError))
        return false;
    _captureMovieFileOutput = std::make_shared<MVCaptureMovieFileOutput>();
    _captureMovieFileOutput->setDelegate(weak);
    return _captureSession->addOutput(_captureMovieFileOutput, outError);
}

void MVPKitCaptureWindowController::setupCompression()
{
    HXPropertyList preset = MVPPreferences::preferences().captureFormatWithIdentifier(
        MVPPreferences::preferences().preference(kCapturePreferenceFormatIdentifier).stringValue());
    const HXPropertyList& video = preset["VideoSettings"];
    auto videoConnection = _captureMovieFileOutput->defaultConnectionForMediaType(MVMediaTypeVideo);
    if (video.isDictionary() && videoConnection) {
        HXPropertyList settings = video;
        bool compress = !settings["NativeFormat"].boolValue();
        if (!compress) {
            auto& keys = MVMediaKeys::mediaKeys();
            bool highResolution = _captureVideoDeviceInput && _captureVideoDeviceInput->device()->isHighResolution();
            if (keys.boolForType("MVPlayerCaptureAlwaysCompressDeviceNative", false)
                || (!keys.boolForType("MVPlayerCaptureNeverCompressDeviceNative", false) && highResolution)) {
                settings = {};
                auto bundle = HXBundle::mainBundle();
                auto list = bundle ? HXPropertyList::readFromFile(bundle->pathForResource("captureSettingsHighRes", "plist"))
                                   : std::nullopt;
                if (list && list->isArray() && !list->arrayValue().empty())
                    settings = list->arrayValue().back()["VideoSettings"];
                compress = settings.isDictionary();
            }
        }
        if (compress) {
            // The device's pictures are encoded at the preset's size (its own size when the preset names
            // none); the codec is the best this machine has.
            MVCaptureCompressionOptions options;
            options.width = int(std::max<int64_t>(0, settings["Width"].integerValue()));
            options.height = int(std::max<int64_t>(0, settings["Height"].integerValue()));
            if (options.width == 0 || options.height == 0)
                options.width = options.height = 0;
            videoConnection->setCompressionOptions(options);
        }
    }
    const HXPropertyList& audio = preset["AudioSettings"];
    auto soundConnection = _captureMovieFileOutput->defaultConnectionForMediaType(MVMediaTypeSound);
    if (audio.isDictionary() && soundConnection && !audio["NativeFormat"].boolValue()) {
        MVCaptureCompressionOptions options;
        options.aac = true;
        options.channels = 2;
        soundConnection->setCompressionOptions(options);
    }
}

// ---- Geometry --------------------------------------------------------------------------------------------

MVPKitCaptureWindowController::Margins MVPKitCaptureWindowController::margins() const
{
    if (isAudioOnly() || !_bevelView)
        return {};
    Margins m;
    m.left = _bevelView->contentBorderThicknessForEdge(HXMinXEdge);
    m.bottom = _bevelView->contentBorderThicknessForEdge(HXMinYEdge);
    m.right = _bevelView->contentBorderThicknessForEdge(HXMaxXEdge);
    m.top = _bevelView->contentBorderThicknessForEdge(HXMaxYEdge);
    m.bottom += _controls ? _controls->frame().size.height : stripHeight;
    return m;
}

HXSize MVPKitCaptureWindowController::minimumWindowContentSize() const
{
    if (isAudioOnly())
        return { stripMinimumWidth, _controls ? _controls->frame().size.height : stripHeight };
    Margins m = margins();
    return { m.left + 16 + m.right, m.bottom + 16 + m.top };
}

HXRect MVPKitCaptureWindowController::videoFrameForUserSize(HXSize size) const
{
    Margins m = margins();
    HXSize minimum = minimumWindowContentSize();
    size.width = std::max(size.width, 16.0);
    size.height = std::max(size.height, 16.0);
    double extraX = std::max(0.0, minimum.width - (m.left + size.width + m.right));
    double extraY = std::max(0.0, minimum.height - (m.bottom + size.height + m.top));
    return HXMakeRect(m.left + extraX / 2, m.bottom + extraY / 2, size.width, size.height);
}

void MVPKitCaptureWindowController::setVideoSize(HXSize size, bool animate)
{
    auto w = window();
    if (!w)
        return;
    for (int attempt = 0; attempt < 32; ++attempt) {
        HXRect content = w->contentRectForFrameRect(w->frame());
        HXRect screenFrame = w->screen() ? w->screen()->visibleFrame() : HXMakeRect(0, 0, 1280, 800);
        HXRect area = HXInsetRect(screenFrame, 4, 4);
        Margins m = margins();
        HXSize minimum = minimumWindowContentSize();
        double width = std::max(minimum.width, size.width + m.left + m.right);
        double height = size.height > 0 ? std::max(minimum.height, size.height + m.top + m.bottom) : minimum.height;
        // The window keeps its horizontal centre and its top edge.
        HXRect next = HXMakeRect(HXMidX(content) - width / 2, HXMaxY(content) - height, width, height);
        HXRect frame = w->frameRectForContentRect(next);
        if (frame.origin.y < area.origin.y)
            frame.origin.y = area.origin.y;
        if (HXMaxY(frame) > HXMaxY(area))
            frame.origin.y = HXMaxY(area) - frame.size.height;
        if (HXMaxX(frame) > HXMaxX(area))
            frame.origin.x = HXMaxX(area) - frame.size.width;
        if (frame.origin.x < area.origin.x)
            frame.origin.x = area.origin.x;
        if (HXEqualRects(frame, w->frame())) {
            _videoSize = size;
            return;
        }
        bool tooLarge = frame.size.width > screenFrame.size.width || frame.size.height > screenFrame.size.height;
        if (tooLarge && size.width / 2 >= 16 && size.height / 2 >= 16) {
            size = { size.width / 2, size.height / 2 };
            continue;
        }
        _videoSize = size;
        w->setContentMinSize(minimum);
        w->setFrame(frame, true, animate);
        return;
    }
}

void MVPKitCaptureWindowController::connectionFormatDidChange()
{
    auto connection = _captureMovieFileOutput ? _captureMovieFileOutput->defaultConnectionForMediaType(MVMediaTypeVideo)
                                              : nullptr;
    if (!connection || isAudioOnly())
        return;
    HXSize size = connection->formatDescription().cleanApertureDisplaySize();
    if (size.width > 0 && size.height > 0)
        setVideoSize(connection->compressedSizeForDisplaySize(size), false);
}

// ---- Closing ---------------------------------------------------------------------------------------------

void MVPKitCaptureWindowController::windowWillClose(HXWindow& window)
{
    if (_captureMovieFileOutput)
        _captureMovieFileOutput->setDelegate({});
    if (_captureSession)
        _captureSession->stopRunning();
    if (_captureVideoDeviceInput)
        _captureVideoDeviceInput->device()->close();
    if (_captureAudioDeviceInput)
        _captureAudioDeviceInput->device()->close();
    runStatisticsTimer(false);
    runMeterTimer(false);
    for (auto token : _observerTokens)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _observerTokens.clear();
    MVPCaptureWindowController::windowWillClose(window);
    window.setDelegate(nullptr);
}
