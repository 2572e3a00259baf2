#pragma once
// HUDWindow: the dark, translucent floating panel of the heads-up controls. Whatever style it is asked
// for, it comes up borderless and transparent with a shadow, moves when its background is dragged, can
// become key and main, and enables every item it validates. A delegate that handles events
// (HUDWindowEventHandler) sees each event first and may keep it.
#include "platform/winkit/window.h"

#include <functional>
#include <memory>

class HUDWindowEventHandler {
public:
    virtual ~HUDWindowEventHandler() = default;
    // True when the event was used and goes no further.
    virtual bool handleEvent(const HXEvent& event) = 0;
};

class HUDWindow : public HXPanel {
public:
    explicit HUDWindow(HXRect contentRect, unsigned styleMask = HXBorderlessWindowMask);

    bool canBecomeKeyWindow() const override { return true; }
    bool canBecomeMainWindow() const override { return true; }
    // The title bar is drawn differently while the panel is main.
    void becomeMainWindow() override;
    void resignMainWindow() override;

    // Sets the delegate and notes whether it handles events.
    void setDelegate(const std::shared_ptr<HXWindowDelegate>& delegate);
    void sendEvent(const HXEvent& event) override;
    // Asks the delegate, else the panel's own windowShouldClose when it has one; a NO keeps it open.
    void performClose(HXObject* sender = nullptr);
    std::function<bool(HUDWindow&)> windowShouldClose;
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;

private:
    bool _delegateImplementsHandleEvent = false;
};
