#include "platform/winkit/sdl_window_server.h"

#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/process_info.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/sdl_window_renderer.h"
#include "platform/winkit/sdl_window_shape.h"
#include "platform/winkit/window.h"
#include "platform/winkit/x11_gestures.h"

#include <SDL.h>
#include <SDL_shape.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// From SDL's client coordinates (top left) to the window's base coordinates (bottom left).
HXPoint basePoint(const std::shared_ptr<HXWindow>& w, int x, int y)
{
    double clientHeight = w->frame().size.height - ((w->styleMask() & HXTitledWindowMask) ? HXWindowTitleBarHeight : 0);
    return { double(x), clientHeight - y };
}

// Tells the window manager to keep an X window above others or not (_NET_WM_STATE_ABOVE): a message to the
// root window once the window is mapped, its state property before. SDL does not do it for full-screen
// windows. False where the window is not on X.
bool setKeptAbove(SDL_Window* sdl, bool above)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    Display* display = info.info.x11.display;
    Window window = info.info.x11.window;
    Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom aboveAtom = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    if (!(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN)) {
        XEvent e {};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = state;
        e.xclient.format = 32;
        e.xclient.data.l[0] = above ? 1 : 0; // add, remove
        e.xclient.data.l[1] = long(aboveAtom);
        e.xclient.data.l[3] = 1; // from an application
        XSendEvent(display, DefaultRootWindow(display), False, SubstructureNotifyMask | SubstructureRedirectMask, &e);
    } else {
        std::vector<Atom> atoms;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data)
                == Success
            && data && format == 32) {
            for (unsigned long i = 0; i < count; ++i)
                if (reinterpret_cast<Atom*>(data)[i] != aboveAtom)
                    atoms.push_back(reinterpret_cast<Atom*>(data)[i]);
        }
        if (data)
            XFree(data);
        if (above)
            atoms.push_back(aboveAtom);
        XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(atoms.data()), int(atoms.size()));
    }
    XFlush(display);
    return true;
}

uint32_t flagsFromSDL(SDL_Keymod mod)
{
    uint32_t flags = 0;
    if (mod & KMOD_SHIFT)
        flags |= HXShiftKeyMask;
    if (mod & KMOD_CTRL)
        flags |= HXCommandKeyMask;
    if (mod & KMOD_ALT)
        flags |= HXAlternateKeyMask;
    if (mod & KMOD_GUI)
        flags |= HXControlKeyMask;
    if (mod & KMOD_CAPS)
        flags |= HXAlphaShiftKeyMask;
    return flags;
}

uint16_t keyCodeFromScancode(SDL_Scancode s)
{
    switch (s) {
    case SDL_SCANCODE_A: return HXKeyCodeA;
    case SDL_SCANCODE_RETURN: return HXKeyCodeReturn;
    case SDL_SCANCODE_TAB: return HXKeyCodeTab;
    case SDL_SCANCODE_SPACE: return HXKeyCodeSpace;
    case SDL_SCANCODE_BACKSPACE: return HXKeyCodeDelete;
    case SDL_SCANCODE_ESCAPE: return HXKeyCodeEscape;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return HXKeyCodeCommand;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return HXKeyCodeShift;
    case SDL_SCANCODE_CAPSLOCK: return HXKeyCodeCapsLock;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return HXKeyCodeOption;
    case SDL_SCANCODE_LGUI:
    case SDL_SCANCODE_RGUI: return HXKeyCodeControl;
    case SDL_SCANCODE_KP_ENTER: return HXKeyCodeKeypadEnter;
    case SDL_SCANCODE_HOME: return HXKeyCodeHome;
    case SDL_SCANCODE_PAGEUP: return HXKeyCodePageUp;
    case SDL_SCANCODE_DELETE: return HXKeyCodeForwardDelete;
    case SDL_SCANCODE_END: return HXKeyCodeEnd;
    case SDL_SCANCODE_PAGEDOWN: return HXKeyCodePageDown;
    case SDL_SCANCODE_LEFT: return HXKeyCodeLeftArrow;
    case SDL_SCANCODE_RIGHT: return HXKeyCodeRightArrow;
    case SDL_SCANCODE_DOWN: return HXKeyCodeDownArrow;
    case SDL_SCANCODE_UP: return HXKeyCodeUpArrow;
    default: return HXKeyCodeUnknown;
    }
}

// The characters a key gives before any text input is known.
std::string charactersForKey(const SDL_Keysym& key, bool shift)
{
    switch (key.sym) {
    case SDLK_UP: return HXStringFromCharacter(HXUpArrowFunctionKey);
    case SDLK_DOWN: return HXStringFromCharacter(HXDownArrowFunctionKey);
    case SDLK_LEFT: return HXStringFromCharacter(HXLeftArrowFunctionKey);
    case SDLK_RIGHT: return HXStringFromCharacter(HXRightArrowFunctionKey);
    case SDLK_HOME: return HXStringFromCharacter(HXHomeFunctionKey);
    case SDLK_END: return HXStringFromCharacter(HXEndFunctionKey);
    case SDLK_PAGEUP: return HXStringFromCharacter(HXPageUpFunctionKey);
    case SDLK_PAGEDOWN: return HXStringFromCharacter(HXPageDownFunctionKey);
    case SDLK_DELETE: return HXStringFromCharacter(HXDeleteFunctionKey);
    case SDLK_BACKSPACE: return std::string(1, HXBackspaceCharacter);
    case SDLK_TAB: return std::string(1, shift ? HXBackTabCharacter : HXTabCharacter);
    case SDLK_RETURN: return std::string(1, HXCarriageReturnCharacter);
    case SDLK_KP_ENTER: return std::string(1, HXEnterCharacter);
    case SDLK_ESCAPE: return std::string(1, HXEscapeCharacter);
    default: break;
    }
    if (key.sym >= SDLK_F1 && key.sym <= SDLK_F12)
        return HXStringFromCharacter(char32_t(HXF1FunctionKey + (key.sym - SDLK_F1)));
    if (key.sym >= 32 && key.sym < 127) {
        char c = char(key.sym);
        if (shift && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        return std::string(1, c);
    }
    return {};
}

class SDLPlatformWindow : public HXPlatformWindow {
public:
    SDLPlatformWindow(HXSDLWindowServer& server, HXWindow& window)
        : _server(server)
        , _window(window)
    {
        HXRect client = clientRect();
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (!(window.styleMask() & HXTitledWindowMask))
            flags |= SDL_WINDOW_BORDERLESS;
        if (window.styleMask() & HXResizableWindowMask)
            flags |= SDL_WINDOW_RESIZABLE;
        if (window.level() >= HXPopUpMenuWindowLevel)
            flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_SKIP_TASKBAR;
        else if (window.level() >= HXFloatingWindowLevel)
            flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        // Full screen from the start: the window manager reads it with the window's first hints.
        if (window.isFullScreen())
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        // A window with a shape is made shapeable; where the display cannot shape windows it is an
        // ordinary one whose pixels outside the shape are transparent.
        if (window.windowShape())
            _sdl = HXSDLCreateShapedWindow(window.title(), int(std::lround(client.origin.x)),
                int(std::lround(_server.primaryHeight() - HXMaxY(client))),
                std::max(1, int(std::lround(client.size.width))), std::max(1, int(std::lround(client.size.height))),
                flags);
        // Other windows are shown through SDL's renderer, on the GPU where there is one.
        const bool renders = !window.windowShape();
        if (renders && !HXSDLWindowRenderer::rendersInSoftware())
            flags |= SDL_WINDOW_OPENGL;
        if (!_sdl)
            _sdl = SDL_CreateWindow(window.title().c_str(), int(std::lround(client.origin.x)),
                int(std::lround(_server.primaryHeight() - HXMaxY(client))),
                std::max(1, int(std::lround(client.size.width))), std::max(1, int(std::lround(client.size.height))),
                flags);
        if (!_sdl) {
            HXLog(std::string("SDL: cannot create a window: ") + SDL_GetError());
            return;
        }
        _server.registerWindow(SDL_GetWindowID(_sdl), std::static_pointer_cast<HXWindow>(window.shared_from_this()));
        if (renders)
            _renderer = HXSDLWindowRenderer::create(_sdl);
        update();
        applyShape();
    }

    ~SDLPlatformWindow() override
    {
        _renderer.reset();
        if (_sdl) {
            _server.unregisterWindow(SDL_GetWindowID(_sdl));
            SDL_DestroyWindow(_sdl);
        }
    }

    // The client area (menu bar and content) in screen coordinates: the frame less the title bar, which
    // the desktop draws.
    HXRect clientRect() const
    {
        HXRect frame = _window.frame();
        double title = (_window.styleMask() & HXTitledWindowMask) ? HXWindowTitleBarHeight : 0;
        return { frame.origin, { frame.size.width, std::max(1.0, frame.size.height - title) } };
    }

    void update() override
    {
        if (!_sdl)
            return;
        SDL_SetWindowTitle(_sdl, shownTitle().c_str());
        holdAbove(_window.sheetParent());
        HXRect client = clientRect();
        int x = int(std::lround(client.origin.x));
        int y = int(std::lround(_server.primaryHeight() - HXMaxY(client)));
        int w = std::max(1, int(std::lround(client.size.width)));
        int h = std::max(1, int(std::lround(client.size.height)));
        int cx, cy, cw, ch;
        SDL_GetWindowPosition(_sdl, &cx, &cy);
        SDL_GetWindowSize(_sdl, &cw, &ch);
        _applying = true;
        if (cw != w || ch != h)
            SDL_SetWindowSize(_sdl, w, h);
        bool resized = cw != w || ch != h;
        if (cx != x || cy != y)
            SDL_SetWindowPosition(_sdl, x, y);
        _applying = false;
        SDL_SetWindowOpacity(_sdl, float(_window.alphaValue()));
        SDL_SetWindowAlwaysOnTop(_sdl, _window.level() >= HXFloatingWindowLevel ? SDL_TRUE : SDL_FALSE);
        syncKeptAbove();
        SDL_SetWindowResizable(_sdl, (_window.styleMask() & HXResizableWindowMask) ? SDL_TRUE : SDL_FALSE);
        if (resized && _window.windowShape())
            applyShape();
    }

    // The title the desktop shows: a window without one (a sheet, an alert) goes by its window's title,
    // else by the application's name, rather than by the desktop's word for an unnamed window.
    std::string shownTitle() const
    {
        if (!_window.title().empty())
            return _window.title();
        if (auto parent = _window.sheetParent(); parent && !parent->title().empty())
            return parent->title();
        if (HXApplication::hasSharedApplication()) {
            auto menu = HXApplication::sharedApplication()->mainMenu();
            if (menu && menu->numberOfItems() > 0 && menu->itemAtIndex(0)->hasSubmenu())
                return menu->itemAtIndex(0)->title();
        }
        return HXProcessInfo::processInfo().processName();
    }

    // A sheet is a dialog of its window: the desktop keeps it over that window and moves it with it.
    void holdAbove(const std::shared_ptr<HXWindow>& parent)
    {
        auto* platform = parent ? dynamic_cast<SDLPlatformWindow*>(parent->platformWindow()) : nullptr;
        SDL_Window* above = platform ? platform->_sdl : nullptr;
        if (!above || above == _heldAbove)
            return;
        SDL_SetWindowModalFor(_sdl, above);
        _heldAbove = above;
    }

    void setShape(const std::optional<HXRegion>& shape) override
    {
        (void)shape;
        applyShape();
    }

    // Cuts the window to the HXWindow's shape (a window without one keeps the last shape it had: only
    // skinned windows are shaped, and they always have one).
    void applyShape()
    {
        const auto& shape = _window.windowShape();
        if (!_sdl || !shape)
            return;
        int w, h;
        SDL_GetWindowSize(_sdl, &w, &h);
        bool first = !_shaped;
        _shaped = HXSDLSetWindowShape(_sdl, *shape, w, h) || _shaped;
        // The first shape puts the window where it was created; put it where it belongs.
        if (first && _shaped)
            update();
    }

    void setVisible(bool visible) override
    {
        if (!_sdl)
            return;
        if (visible) {
            SDL_ShowWindow(_sdl);
            if (_window.canBecomeKeyWindow())
                SDL_RaiseWindow(_sdl);
        } else {
            SDL_HideWindow(_sdl);
        }
    }

    void orderFront() override
    {
        if (_sdl)
            SDL_RaiseWindow(_sdl);
    }

    std::optional<HXVideoLayerSupport> videoLayerSupport() const override
    {
        if (!_renderer || _window.windowShape())
            return std::nullopt;
        return _renderer->support();
    }

    void presentLayers(cairo_surface_t* surface, const std::vector<HXPixelRect>& damage,
        const std::vector<HXPlacedVideoLayer>& layers) override
    {
        if (_renderer)
            _renderer->present(surface, damage, layers);
        else
            present(surface);
    }

    void present(cairo_surface_t* surface) override
    {
        if (!_sdl || !surface)
            return;
        cairo_surface_flush(surface);
        if (_renderer) {
            // A window that took a shape after it was made keeps its renderer.
            _renderer->present(surface,
                { { 0, 0, cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface) } }, {});
            return;
        }
        SDL_Surface* target = SDL_GetWindowSurface(_sdl);
        if (!target)
            return;
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(surface),
            cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface), 32,
            cairo_image_surface_get_stride(surface), SDL_PIXELFORMAT_ARGB8888);
        if (!source)
            return;
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        SDL_BlitSurface(source, nullptr, target, nullptr);
        if (_window.windowShape() && !SDL_IsShapedWindow(_sdl))
            HXSDLClearOutsideShape(target, *_window.windowShape());
        SDL_FreeSurface(source);
        SDL_UpdateWindowSurface(_sdl);
    }

    void miniaturize() override
    {
        if (_sdl)
            SDL_MinimizeWindow(_sdl);
    }

    void deminiaturize() override
    {
        if (_sdl)
            SDL_RestoreWindow(_sdl);
    }

    void setFullScreen(bool fullScreen, const std::optional<HXScreen>& screen) override
    {
        if (!_sdl)
            return;
        if (fullScreen && screen) {
            int index = int(screen->screenNumber()) - 1;
            SDL_Rect bounds;
            if (SDL_GetDisplayBounds(index, &bounds) == 0)
                SDL_SetWindowPosition(_sdl, bounds.x, bounds.y);
        }
        SDL_SetWindowFullscreen(_sdl, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
        syncKeptAbove();
    }

    // SDL leaves a full-screen window's keep-above state alone: we tell the window manager ourselves while
    // the window is full screen, and hand back to SDL's state when it is not.
    void syncKeptAbove()
    {
        Uint32 flags = SDL_GetWindowFlags(_sdl);
        bool want = _window.level() >= HXFloatingWindowLevel && _window.level() < HXPopUpMenuWindowLevel;
        if (flags & SDL_WINDOW_FULLSCREEN) {
            bool told = _toldAbove.value_or((flags & SDL_WINDOW_ALWAYS_ON_TOP) != 0);
            if (told != want && setKeptAbove(_sdl, want))
                _toldAbove = want;
        } else if (_toldAbove) {
            bool sdlAbove = (flags & SDL_WINDOW_ALWAYS_ON_TOP) != 0;
            if (*_toldAbove != sdlAbove)
                setKeptAbove(_sdl, sdlAbove);
            _toldAbove.reset();
        }
    }

    bool isApplying() const { return _applying; }

private:
    HXSDLWindowServer& _server;
    HXWindow& _window;
    SDL_Window* _sdl = nullptr;
    SDL_Window* _heldAbove = nullptr; // the window this one is a dialog of
    std::unique_ptr<HXSDLWindowRenderer> _renderer;
    bool _applying = false;
    bool _shaped = false;
    // The keep-above state we told the window manager for a full-screen window (none: SDL's holds).
    std::optional<bool> _toldAbove;
};

}  // namespace

std::shared_ptr<HXSDLWindowServer> HXSDLWindowServer::create()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland))
        return nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        HXLog(std::string("SDL: no video: ") + SDL_GetError());
        return nullptr;
    }
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    auto server = std::shared_ptr<HXSDLWindowServer>(new HXSDLWindowServer);
    std::weak_ptr<HXSDLWindowServer> weak = server;
    // SDL has no descriptor to wait on: poll every few milliseconds while the loop sleeps.
    server->_hook = HXRunLoop::main().addEventHook(
        [weak] {
            auto self = weak.lock();
            return self && self->pumpEvents();
        },
        0.005);
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) {
        server->_gestures = HXX11GestureSource::start(
            [weak]() -> std::optional<HXX11GestureTranslator::Target> {
                auto self = weak.lock();
                auto target = self ? self->pointerTarget() : std::nullopt;
                if (!target)
                    return std::nullopt;
                return HXX11GestureTranslator::Target { target->first->windowNumber(), target->second };
            },
            [](const HXEvent& event) {
                if (HXApplication::hasSharedApplication())
                    HXApplication::sharedApplication()->postEvent(event, false);
            });
    }
    return server;
}

HXSDLWindowServer::~HXSDLWindowServer()
{
    _gestures.reset();
    if (_hook)
        HXRunLoop::main().removeSource(_hook);
    for (auto& [type, cursor] : _cursors)
        if (cursor)
            SDL_FreeCursor(cursor);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

double HXSDLWindowServer::primaryHeight()
{
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0)
        return 0;
    return bounds.y + bounds.h;
}

std::vector<HXScreen> HXSDLWindowServer::screens()
{
    std::vector<HXScreen> result;
    double top = primaryHeight();
    int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_Rect bounds, usable;
        if (SDL_GetDisplayBounds(i, &bounds) != 0)
            continue;
        if (SDL_GetDisplayUsableBounds(i, &usable) != 0)
            usable = bounds;
        auto flip = [top](const SDL_Rect& r) {
            return HXMakeRect(r.x, top - (r.y + r.h), r.w, r.h);
        };
        SDL_DisplayMode mode;
        int bits = 24;
        if (SDL_GetCurrentDisplayMode(i, &mode) == 0)
            bits = SDL_BITSPERPIXEL(mode.format);
        result.emplace_back(uint32_t(i + 1), flip(bounds), flip(usable), bits);
    }
    return result;
}

std::unique_ptr<HXPlatformWindow> HXSDLWindowServer::createWindow(HXWindow& window)
{
    return std::make_unique<SDLPlatformWindow>(*this, window);
}

HXPoint HXSDLWindowServer::mouseLocation()
{
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    return { double(x), primaryHeight() - y };
}

uint32_t HXSDLWindowServer::modifierFlags() { return flagsFromSDL(SDL_GetModState()); }

void HXSDLWindowServer::beep()
{
    ++_beeps;
    // SDL has no bell: ring the X server's through any of our windows.
    for (auto& [id, weak] : _windows) {
        SDL_Window* sdl = SDL_GetWindowFromID(id);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (sdl && SDL_GetWindowWMInfo(sdl, &info) && info.subsystem == SDL_SYSWM_X11) {
            XBell(info.info.x11.display, 0);
            XFlush(info.info.x11.display);
            return;
        }
    }
}

void HXSDLWindowServer::setCursorHidden(bool hidden) { SDL_ShowCursor(hidden ? SDL_DISABLE : SDL_ENABLE); }

void HXSDLWindowServer::setCursor(HXCursorType type)
{
    SDL_Cursor*& cursor = _cursors[int(type)];
    if (!cursor)
        cursor = SDL_CreateSystemCursor(
            type == HXCursorType::IBeam ? SDL_SYSTEM_CURSOR_IBEAM : SDL_SYSTEM_CURSOR_ARROW);
    if (cursor)
        SDL_SetCursor(cursor);
}

void HXSDLWindowServer::setScreenSaverInhibited(bool inhibited)
{
    if (inhibited)
        SDL_DisableScreenSaver();
    else
        SDL_EnableScreenSaver();
}

std::optional<std::string> HXSDLWindowServer::clipboardText()
{
    if (!SDL_HasClipboardText())
        return std::nullopt;
    char* text = SDL_GetClipboardText();
    if (!text)
        return std::nullopt;
    std::string result = text;
    SDL_free(text);
    return result;
}

void HXSDLWindowServer::setClipboardText(const std::string& text) { SDL_SetClipboardText(text.c_str()); }

void HXSDLWindowServer::registerWindow(uint32_t id, const std::shared_ptr<HXWindow>& window)
{
    _windows[id] = window;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (_gestures && SDL_GetWindowWMInfo(SDL_GetWindowFromID(id), &info) && info.subsystem == SDL_SYSWM_X11)
        _gestures->watchWindow(info.info.x11.window);
}

std::optional<std::pair<std::shared_ptr<HXWindow>, HXPoint>> HXSDLWindowServer::pointerTarget() const
{
    SDL_Window* focus = SDL_GetMouseFocus();
    auto w = focus ? windowForID(SDL_GetWindowID(focus)) : nullptr;
    if (!w)
        return std::nullopt;
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    return std::make_pair(w, basePoint(w, x, y));
}

void HXSDLWindowServer::unregisterWindow(uint32_t id) { _windows.erase(id); }

std::shared_ptr<HXWindow> HXSDLWindowServer::windowForID(uint32_t id) const
{
    auto it = _windows.find(id);
    return it == _windows.end() ? nullptr : it->second.lock();
}

SDL_Window* HXSDLWindowServer::sdlWindowFor(const HXWindow& window) const
{
    for (auto& [id, weak] : _windows) {
        if (weak.lock().get() == &window)
            return SDL_GetWindowFromID(id);
    }
    return nullptr;
}

bool HXSDLWindowServer::pumpEvents()
{
    bool any = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        any = true;
        handle(event);
    }
    flushPendingKey();
    return any;
}

void HXSDLWindowServer::flushPendingKey()
{
    if (_pendingKey && HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->postEvent(*_pendingKey, false);
    _pendingKey.reset();
}

void HXSDLWindowServer::handle(const SDL_Event& e)
{
    if (!HXApplication::hasSharedApplication())
        return;
    auto& app = *HXApplication::sharedApplication();
    HXTimeInterval now = HXRunLoop::main().now();
    if (e.type != SDL_TEXTINPUT)
        flushPendingKey();
    // Base coordinates: from SDL's top-left client position to the window's bottom-left.
    auto base = basePoint;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        auto w = windowForID(e.button.windowID);
        if (!w)
            break;
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        HXEventType type = e.button.button == SDL_BUTTON_LEFT ? (down ? HXLeftMouseDown : HXLeftMouseUp)
            : e.button.button == SDL_BUTTON_RIGHT           ? (down ? HXRightMouseDown : HXRightMouseUp)
                                                            : (down ? HXOtherMouseDown : HXOtherMouseUp);
        HXEvent event = HXEvent::mouseEvent(type, base(w, e.button.x, e.button.y), modifierFlags(), now,
            w->windowNumber(), app.nextEventNumber(), e.button.clicks);
        if (type == HXOtherMouseDown || type == HXOtherMouseUp)
            event.setButtonNumber(e.button.button - 1);
        app.postEvent(event, false);
        break;
    }
    case SDL_MOUSEMOTION: {
        auto w = windowForID(e.motion.windowID);
        if (!w)
            break;
        HXEventType type = (e.motion.state & SDL_BUTTON_LMASK) ? HXLeftMouseDragged
            : (e.motion.state & SDL_BUTTON_RMASK)              ? HXRightMouseDragged
            : (e.motion.state & SDL_BUTTON_MMASK)              ? HXOtherMouseDragged
                                                               : HXMouseMoved;
        app.postEvent(HXEvent::mouseEvent(type, base(w, e.motion.x, e.motion.y), modifierFlags(), now, w->windowNumber(),
                          app.nextEventNumber(), 0),
            false);
        break;
    }
    case SDL_MOUSEWHEEL: {
        auto w = windowForID(e.wheel.windowID);
        // The input extension gives the same wheel finer, and tells a touchpad's scroll from a wheel's.
        if (!w || (_gestures && _gestures->deliversWheel()))
            break;
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        double sign = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        // SDL counts to the right, the toolkit to the left (deltaX), as a scroll away from the user (deltaY).
        app.postEvent(HXEvent::scrollEvent(base(w, x, y), modifierFlags(), now, w->windowNumber(),
                          -sign * e.wheel.preciseX, sign * e.wheel.preciseY),
            false);
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        auto w = windowForID(e.key.windowID);
        uint32_t flags = flagsFromSDL(SDL_Keymod(e.key.keysym.mod));
        uint16_t code = keyCodeFromScancode(e.key.keysym.scancode);
        if (code == HXKeyCodeShift || code == HXKeyCodeCommand || code == HXKeyCodeOption || code == HXKeyCodeControl
            || code == HXKeyCodeCapsLock) {
            app.postEvent(HXEvent::keyEvent(HXFlagsChanged, {}, flags, now, w ? w->windowNumber() : 0, "", "", false, code),
                false);
            break;
        }
        bool shift = flags & HXShiftKeyMask;
        std::string chars = charactersForKey(e.key.keysym, shift);
        std::string ignoring = chars;
        HXEvent event = HXEvent::keyEvent(e.type == SDL_KEYDOWN ? HXKeyDown : HXKeyUp, {}, flags, now,
            w ? w->windowNumber() : 0, chars, ignoring, e.key.repeat != 0, code);
        if (e.type == SDL_KEYDOWN && !(flags & (HXCommandKeyMask | HXAlternateKeyMask | HXControlKeyMask))
            && e.key.keysym.sym >= 32 && e.key.keysym.sym < 127)
            _pendingKey = event;  // the text input that follows tells the real characters
        else
            app.postEvent(event, false);
        break;
    }
    case SDL_TEXTINPUT:
        if (_pendingKey) {
            HXEvent key = *_pendingKey;
            _pendingKey = HXEvent::keyEvent(key.type(), key.locationInWindow(), key.modifierFlags(), key.timestamp(),
                key.windowNumber(), e.text.text, e.text.text, key.isARepeat(), key.keyCode());
            flushPendingKey();
        }
        break;
    case SDL_WINDOWEVENT: {
        auto w = windowForID(e.window.windowID);
        if (!w)
            break;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_MOVED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            auto* platform = dynamic_cast<SDLPlatformWindow*>(w->platformWindow());
            if (platform && platform->isApplying())
                break;
            SDL_Window* sdl = SDL_GetWindowFromID(e.window.windowID);
            int x, y, width, height;
            SDL_GetWindowPosition(sdl, &x, &y);
            SDL_GetWindowSize(sdl, &width, &height);
            double title = (w->styleMask() & HXTitledWindowMask) ? HXWindowTitleBarHeight : 0;
            HXRect frame = HXMakeRect(x, primaryHeight() - (y + height), width, height + title);
            if (!(frame == w->frame()))
                w->setFrameFromBackend(frame);
            break;
        }
        case SDL_WINDOWEVENT_EXPOSED:
            w->display();
            break;
        case SDL_WINDOWEVENT_CLOSE:
            w->performClose();
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            app.activateIgnoringOtherApps(true);
            if (w->canBecomeKeyWindow())
                w->makeKeyWindow();
            if (w->canBecomeMainWindow())
                w->makeMainWindow();
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            w->setMiniaturizedByBackend(true);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            w->setMiniaturizedByBackend(false);
            break;
        default:
            break;
        }
        break;
    }
    case SDL_DROPBEGIN:
        _droppedFiles.clear();
        break;
    case SDL_DROPFILE:
        if (e.drop.file) {
            _droppedFiles.emplace_back(e.drop.file);
            SDL_free(e.drop.file);
        }
        break;
    case SDL_DROPCOMPLETE: {
        auto files = std::move(_droppedFiles);
        _droppedFiles.clear();
        auto w = windowForID(e.drop.windowID);
        if (w)
            app.handleFileDrop(w, w->mouseLocationOutsideOfEventStream(), files);
        else
            app.openFiles(files);
        break;
    }
    case SDL_DISPLAYEVENT:
        HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationDidChangeScreenParametersNotification, &app);
        break;
    case SDL_MULTIGESTURE:
        if (std::fabs(e.mgesture.dDist) > 0.002) {
            auto w = app.keyWindow();
            if (w)
                app.postEvent(HXEvent::magnifyEvent(w->mouseLocationOutsideOfEventStream(), now, w->windowNumber(),
                                  e.mgesture.dDist * 4),
                    false);
        }
        break;
    case SDL_QUIT:
        app.terminate();
        break;
    default:
        break;
    }
}
