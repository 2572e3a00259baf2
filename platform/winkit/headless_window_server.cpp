#include "platform/winkit/headless_window_server.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/window.h"

namespace {

class HeadlessWindow : public HXPlatformWindow {
public:
    explicit HeadlessWindow(HXHeadlessWindowServer& server)
        : _server(server)
    {
    }
    void update() override {}
    void setVisible(bool) override {}
    void orderFront() override {}
    void present(cairo_surface_t*) override { _server.notePresent(); }
    // Nothing is shown: pictures are composed only when the window's image is asked for.
    std::optional<HXVideoLayerSupport> videoLayerSupport() const override { return HXVideoLayerSupport {}; }
    void presentLayers(cairo_surface_t*, const std::vector<HXPixelRect>&, const std::vector<HXPlacedVideoLayer>&) override
    {
        _server.notePresent();
    }
    void miniaturize() override {}
    void deminiaturize() override {}
    void setFullScreen(bool, const std::optional<HXScreen>&) override {}

private:
    HXHeadlessWindowServer& _server;
};

std::vector<HXScreen> defaultScreens()
{
    return { HXScreen(1, HXMakeRect(0, 0, 1440, 900), HXMakeRect(0, 0, 1440, 876)) };
}

}  // namespace

HXHeadlessWindowServer::HXHeadlessWindowServer()
    : _screens(defaultScreens())
{
}

HXHeadlessWindowServer::HXHeadlessWindowServer(std::vector<HXScreen> screens)
    : _screens(screens.empty() ? defaultScreens() : std::move(screens))
{
}

std::shared_ptr<HXHeadlessWindowServer> HXHeadlessWindowServer::install(std::vector<HXScreen> screens)
{
    HXApplication::setSharedApplication(nullptr);
    auto server = std::make_shared<HXHeadlessWindowServer>(std::move(screens));
    auto app = std::make_shared<HXApplication>();
    app->setWindowServer(server);
    HXApplication::setSharedApplication(app);
    return server;
}

void HXHeadlessWindowServer::setScreens(std::vector<HXScreen> screens)
{
    _screens = screens.empty() ? defaultScreens() : std::move(screens);
    HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationDidChangeScreenParametersNotification,
        HXApplication::hasSharedApplication() ? HXApplication::sharedApplication().get() : nullptr);
}

std::unique_ptr<HXPlatformWindow> HXHeadlessWindowServer::createWindow(HXWindow&)
{
    return std::make_unique<HeadlessWindow>(*this);
}

void HXHeadlessWindowServer::postMouse(HXEventType type, const std::shared_ptr<HXWindow>& window, HXPoint location,
    uint32_t modifiers, int clickCount)
{
    auto& app = *HXApplication::sharedApplication();
    if (window) {
        if (auto server = std::dynamic_pointer_cast<HXHeadlessWindowServer>(app.windowServerPointer()))
            server->setMouseLocation(window->convertBaseToScreen(location));
    }
    app.postEvent(HXEvent::mouseEvent(type, location, modifiers, HXRunLoop::main().now(),
                      window ? window->windowNumber() : 0, app.nextEventNumber(), clickCount),
        false);
}

void HXHeadlessWindowServer::postClick(const std::shared_ptr<HXWindow>& window, HXPoint location, uint32_t modifiers)
{
    postMouse(HXLeftMouseDown, window, location, modifiers);
    postMouse(HXLeftMouseUp, window, location, modifiers);
}

void HXHeadlessWindowServer::postKey(const std::shared_ptr<HXWindow>& window, const std::string& characters,
    uint32_t modifiers, uint16_t keyCode, HXEventType type)
{
    auto& app = *HXApplication::sharedApplication();
    std::string ignoring = characters;
    app.postEvent(HXEvent::keyEvent(type, {}, modifiers, HXRunLoop::main().now(), window ? window->windowNumber() : 0,
                      characters, ignoring, false, keyCode),
        false);
}
