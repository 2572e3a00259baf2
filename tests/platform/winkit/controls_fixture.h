#pragma once
// A window with controls in it, and a target that counts the actions it receives.
#include "winkit_fixture.h"

#include "platform/winkit/control.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Counts actions by name and keeps the last sender.
class ActionTarget : public HXObject {
public:
    explicit ActionTarget(std::vector<std::string> actions = { "hit:" })
    {
        for (const auto& a : actions)
            setActionHandler(HXSelector(a), [this, a](HXObject* sender) {
                log.push_back(a);
                lastSender = sender;
            });
    }
    size_t count(const std::string& action = "hit:") const { return size_t(std::count(log.begin(), log.end(), action)); }
    std::vector<std::string> log;
    HXObject* lastSender = nullptr;
};

class ControlsTest : public WinkitTest {
protected:
    void SetUp() override
    {
        WinkitTest::SetUp();
        window = makeWindow(HXMakeRect(100, 100, 400, 300));
        window->makeKeyAndOrderFront();
        target = std::make_shared<ActionTarget>();
    }

    template<class T>
    std::shared_ptr<T> add(std::shared_ptr<T> control, const char* action = "hit:")
    {
        window->contentView()->addSubview(control);
        if (action) {
            control->setTarget(target);
            control->setAction(action);
        }
        return control;
    }

    // The centre of `view` (or a point in its own coordinates) in the window's base coordinates.
    static HXPoint basePoint(const HXView& view) { return view.convertPointToView({ HXMidX(view.bounds()), HXMidY(view.bounds()) }, nullptr); }
    static HXPoint basePoint(const HXView& view, HXPoint p) { return view.convertPointToView(p, nullptr); }

    void click(const HXView& view, uint32_t modifiers = 0)
    {
        HXHeadlessWindowServer::postClick(window, basePoint(view), modifiers);
        app->processPendingEvents();
    }
    void click(HXPoint base)
    {
        HXHeadlessWindowServer::postClick(window, base);
        app->processPendingEvents();
    }
    // Press at `from`, drag through `path`, release at the last point.
    void drag(HXPoint from, const std::vector<HXPoint>& path)
    {
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, from);
        for (const auto& p : path)
            HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, p);
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, path.empty() ? from : path.back());
        app->processPendingEvents();
    }
    void key(const std::string& characters, uint32_t modifiers = 0)
    {
        HXHeadlessWindowServer::postKey(window, characters, modifiers);
        app->processPendingEvents();
    }
    static std::string functionKey(char32_t c) { return HXStringFromCharacter(c); }

    std::shared_ptr<HXWindow> window;
    std::shared_ptr<ActionTarget> target;
};
