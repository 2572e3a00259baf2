#include "fullscreen/presentation_window.h"

#include "platform/winkit/event.h"

FSPresentationWindow::FSPresentationWindow()
    : HXWindow(HXZeroRect, HXBorderlessWindowMask)
{
    setUnconstrained(true);
    setExcludedFromWindowsMenu(false);
    setHasShadow(false);
}

HXRect FSPresentationWindow::constrainFrameRect(HXRect frame, const std::optional<HXScreen>&) const
{
    return frame;
}

void FSPresentationWindow::sendEvent(const HXEvent& event)
{
    if (!_eventDelegate)
        return;
    if (_eventDelegate->handleEvent(event))
        return;
    HXWindow::sendEvent(event);
}

bool FSPresentationWindow::performKeyEquivalent(const HXEvent& event)
{
    if (!_eventDelegate)
        return false;
    if (_eventDelegate->handleEvent(event))
        return true;
    return HXWindow::performKeyEquivalent(event);
}
