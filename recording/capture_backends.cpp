// The capture back ends: the machine's devices and the generated stand-ins.
#include "recording/capture_device.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

void registerDevices()
{
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

int retryingIoctl(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

// One /dev/videoN that captures pictures, with its inputs when it has more than one.
std::optional<MVCaptureDeviceInfo> videoDeviceAt(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    v4l2_capability capability {};
    std::optional<MVCaptureDeviceInfo> result;
    if (retryingIoctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
        uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps
                                                                          : capability.capabilities;
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
            MVCaptureDeviceInfo info;
            std::string card(reinterpret_cast<const char*>(capability.card));
            std::string bus(reinterpret_cast<const char*>(capability.bus_info));
            // The bus address names the same camera after a restart even when its node number changes.
            info.uniqueID = "v4l2:" + (bus.empty() ? path : bus + ":" + card);
            info.localizedDisplayName = card.empty() ? path : card;
            info.mediaType = MVMediaTypeVideo;
            info.inputFormat = "video4linux2";
            info.url = path;
            std::vector<MVCaptureInputSource> sources;
            for (uint32_t index = 0; index < 32; ++index) {
                v4l2_input input {};
                input.index = index;
                if (retryingIoctl(fd, VIDIOC_ENUMINPUT, &input) != 0)
                    break;
                sources.push_back({ std::to_string(index), reinterpret_cast<const char*>(input.name) });
            }
            if (sources.size() > 1)
                info.inputSources = sources;
            result = info;
        }
    }
    ::close(fd);
    return result;
}

void appendSoundDevices(const char* formatName, std::vector<MVCaptureDeviceInfo>& out)
{
    const AVInputFormat* format = av_find_input_format(formatName);
    if (!format)
        return;
    AVDeviceInfoList* list = nullptr;
    if (avdevice_list_input_sources(format, nullptr, nullptr, &list) < 0 || !list) {
        avdevice_free_list_devices(&list);
        return;
    }
    std::vector<MVCaptureDeviceInfo> found;
    for (int i = 0; i < list->nb_devices; ++i) {
        const AVDeviceInfo* device = list->devices[i];
        if (!device || !device->device_name)
            continue;
        MVCaptureDeviceInfo info;
        info.uniqueID = std::string(formatName) + ":" + device->device_name;
        info.localizedDisplayName
            = device->device_description && *device->device_description ? device->device_description : device->device_name;
        info.mediaType = MVMediaTypeSound;
        info.inputFormat = formatName;
        info.url = device->device_name;
        if (i == list->default_device)
            found.insert(found.begin(), info);
        else
            found.push_back(info);
    }
    avdevice_free_list_devices(&list);
    out.insert(out.end(), found.begin(), found.end());
}

} // namespace

std::vector<MVCaptureDeviceInfo> MVCaptureSystemBackend::devices()
{
    registerDevices();
    std::vector<MVCaptureDeviceInfo> result;
    std::vector<std::string> nodes;
    std::error_code error;
    for (auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0)
            nodes.push_back(entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    for (auto& node : nodes) {
        if (auto info = videoDeviceAt(node))
            result.push_back(*info);
    }
    // Only a sound server that already runs is asked: asking must never start one.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (std::getenv("PULSE_SERVER")
        || (runtime && std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native")))
        appendSoundDevices("pulse", result);
    if (std::none_of(result.begin(), result.end(), [](auto& d) { return d.mediaType == MVMediaTypeSound; }))
        appendSoundDevices("alsa", result);
    return result;
}

MVCaptureDeviceInfo MVCaptureStandInBackend::testPatternDevice()
{
    MVCaptureDeviceInfo info;
    info.uniqueID = "standin:testsrc";
    info.localizedDisplayName = "Test Pattern";
    info.mediaType = MVMediaTypeVideo;
    info.inputFormat = "lavfi";
    info.url = "testsrc=size=320x240:rate=15";
    info.linkedDeviceUIDs = { "standin:sine" };
    return info;
}

MVCaptureDeviceInfo MVCaptureStandInBackend::toneDevice()
{
    MVCaptureDeviceInfo info;
    info.uniqueID = "standin:sine";
    info.localizedDisplayName = "Test Tone";
    info.mediaType = MVMediaTypeSound;
    info.inputFormat = "lavfi";
    info.url = "sine=frequency=440:sample_rate=44100,volume=4"; // half of full scale
    return info;
}

std::vector<MVCaptureDeviceInfo> MVCaptureStandInBackend::devices()
{
    return { testPatternDevice(), toneDevice() };
}
