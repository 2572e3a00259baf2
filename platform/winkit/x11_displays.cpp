#include "platform/winkit/x11_displays.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

struct HXX11Displays::State {
    Display* display = nullptr;
    ~State()
    {
        if (display)
            XCloseDisplay(display);
    }
};

std::unique_ptr<HXX11Displays> HXX11Displays::open()
{
    auto state = std::make_unique<State>();
    state->display = XOpenDisplay(nullptr);
    if (!state->display)
        return nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(state->display, &event, &error) || !XRRQueryVersion(state->display, &major, &minor)
        || major < 1 || (major == 1 && minor < 2))
        return nullptr;
    auto displays = std::unique_ptr<HXX11Displays>(new HXX11Displays);
    displays->_state = std::move(state);
    return displays;
}

HXX11Displays::~HXX11Displays() = default;

std::vector<HXX11Output> HXX11Displays::outputs()
{
    std::vector<HXX11Output> result;
    Display* display = _state->display;
    Window root = DefaultRootWindow(display);
    // What the server knows now, without probing the monitors again.
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (!resources)
        return result;
    RROutput primary = XRRGetOutputPrimary(display, root);
    // Two passes, as SDL numbers its displays: the primary output, then every other one.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < resources->noutput; ++i) {
            RROutput id = resources->outputs[i];
            if ((pass == 0) != (id == primary))
                continue;
            XRROutputInfo* output = XRRGetOutputInfo(display, resources, id);
            if (!output)
                continue;
            if (output->connection != RR_Disconnected && output->crtc) {
                if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, output->crtc)) {
                    if (crtc->mode != None && crtc->width > 0 && crtc->height > 0)
                        result.push_back({ std::string(output->name, size_t(output->nameLen)),
                            HXMakeRect(crtc->x, crtc->y, crtc->width, crtc->height), id == primary });
                    XRRFreeCrtcInfo(crtc);
                }
            }
            XRRFreeOutputInfo(output);
        }
    }
    XRRFreeScreenResources(resources);
    return result;
}
