#include "player/controls/hud_window.h"

HUDWindow::HUDWindow(HXRect contentRect, unsigned)
    : HXPanel(contentRect, HXBorderlessWindowMask)
{
    setBackgroundColor(HXColor::clearColor());
    setAlphaValue(1.0);
    setOpaque(false);
    setHasShadow(true);
    setMovableByWindowBackground(true);
    // The panel closes by its own rule, borderless or not.
    setActionHandler(HXSelector("performClose:"), [this](HXObject* sender) { performClose(sender); });
}

void HUDWindow::becomeMainWindow()
{
    HXPanel::becomeMainWindow();
    display();
}

void HUDWindow::resignMainWindow()
{
    HXPanel::resignMainWindow();
    display();
}

void HUDWindow::setDelegate(const std::shared_ptr<HXWindowDelegate>& delegate)
{
    HXPanel::setDelegate(delegate);
    _delegateImplementsHandleEvent = dynamic_cast<HUDWindowEventHandler*>(delegate.get()) != nullptr;
}

void HUDWindow::sendEvent(const HXEvent& event)
{
    if (_delegateImplementsHandleEvent) {
        if (auto* handler = dynamic_cast<HUDWindowEventHandler*>(delegate().get());
            handler && handler->handleEvent(event))
            return;
    }
    HXPanel::sendEvent(event);
}

void HUDWindow::performClose(HXObject*)
{
    if (auto d = delegate()) {
        if (!d->windowShouldClose(*this))
            return;
    } else if (windowShouldClose && !windowShouldClose(*this)) {
        return;
    }
    close();
}

bool HUDWindow::validateUserInterfaceItem(const HXValidatedUserInterfaceItem&)
{
    return true;
}
