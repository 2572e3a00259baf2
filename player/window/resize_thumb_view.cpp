#include "player/window/resize_thumb_view.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/window.h"

HXRect MVPResizeThumbView::draggedFrame(const HXRect& startFrame, double dx, double dy)
{
    double width = std::max(1.0, startFrame.size.width + dx);
    double height = std::max(1.0, startFrame.size.height - dy);
    return HXMakeRect(HXMinX(startFrame), HXMaxY(startFrame) - height, width, height);
}

void MVPResizeThumbView::mouseDown(const HXEvent& event)
{
    auto window = this->window();
    if (!window || !(window->styleMask() & HXResizableWindowMask))
        return;
    const HXRect start = window->frame();
    const HXPoint startMouse = window->convertBaseToScreen(event.locationInWindow());
    const HXEventMask mask = HXLeftMouseDraggedMask | HXLeftMouseUpMask;
    // A drag whose mouse-up never arrives ends after a while without events.
    for (;;) {
        auto next = window->nextEventMatchingMask(mask, HXRunLoop::main().now() + 5.0, HXEventTrackingRunLoopMode, true);
        // The mouse goes up where the last drag left it.
        if (!next || next->type() == HXLeftMouseUp)
            break;
        HXPoint mouse = window->convertBaseToScreen(next->locationInWindow());
        HXRect proposed = draggedFrame(start, mouse.x - startMouse.x, mouse.y - startMouse.y);
        if (auto delegate = window->delegate())
            proposed.size = delegate->windowWillResize(*window, proposed.size);
        proposed.origin.y = HXMaxY(start) - proposed.size.height;
        if (!(proposed == window->frame()))
            window->setFrame(proposed, true);
    }
}
