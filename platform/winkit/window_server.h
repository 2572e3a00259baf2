#pragma once
// HXWindowServer: what the toolkit needs from a display system. Two implementations: the headless one
// (tests; screens configured by the caller, events injected) and the SDL2 one (real windows).
// Events a backend receives are posted to the application's queue (HXApplication::postEvent).
#include "platform/drawing/geometry.h"
#include "platform/drawing/region.h"
#include "platform/winkit/cursor.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/video_layer.h"

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

class HXWindow;

// The backend's side of one window on screen.
class HXPlatformWindow {
public:
    virtual ~HXPlatformWindow() = default;
    // The window's frame, title, level, alpha or style changed.
    virtual void update() = 0;
    // Shows (or hides) the window, above `relativeTo` when given.
    virtual void setVisible(bool visible) = 0;
    virtual void orderFront() = 0;
    // The client area (menu bar and content, top row first) was drawn into `surface`: show it.
    virtual void present(cairo_surface_t* surface) = 0;
    // Backends that compose video layers (video_layer.h) say what they can do with pictures, and are
    // then given presentLayers instead of present: `surface` as there, of which only `damage` changed
    // since the last call (everything after a change of size), over `layers`, back to front.
    virtual std::optional<HXVideoLayerSupport> videoLayerSupport() const { return std::nullopt; }
    virtual void presentLayers(cairo_surface_t* surface, const std::vector<HXPixelRect>& damage,
        const std::vector<HXPlacedVideoLayer>& layers)
    {
        (void)damage;
        (void)layers;
        present(surface);
    }
    virtual void miniaturize() = 0;
    virtual void deminiaturize() = 0;
    virtual void setFullScreen(bool fullScreen, const std::optional<HXScreen>& screen) = 0;
    // The window's shape changed (HXWindow::windowShape). Backends without shaped windows ignore it.
    virtual void setShape(const std::optional<HXRegion>& shape) { (void)shape; }
};

class HXWindowServer {
public:
    virtual ~HXWindowServer() = default;
    virtual std::string name() const = 0;
    virtual bool isHeadless() const = 0;

    // Screens, primary first, in the global bottom-left space.
    virtual std::vector<HXScreen> screens() = 0;
    virtual std::unique_ptr<HXPlatformWindow> createWindow(HXWindow& window) = 0;

    // The mouse position in screen coordinates and the modifier keys held.
    virtual HXPoint mouseLocation() = 0;
    virtual uint32_t modifierFlags() = 0;
    virtual void beep() = 0;
    virtual void setCursorHidden(bool hidden) = 0;
    // Shows the system's image for `type` as the mouse pointer.
    virtual void setCursor(HXCursorType type) { (void)type; }
    virtual void setScreenSaverInhibited(bool inhibited) = 0;
    // Text on the desktop's clipboard (the general pasteboard's string mirrors it); nullopt when none.
    virtual std::optional<std::string> clipboardText() { return std::nullopt; }
    virtual void setClipboardText(const std::string& text) { (void)text; }
};
