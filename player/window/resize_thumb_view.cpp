#include "player/window/resize_thumb_view.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
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
    // On a real display the pointer is read from the window server: the locations of drag events queued
    // while the window was being resized were taken against its earlier height, and converting them
    // with the new frame would make the window shrink back towards the pointer.
    auto app = HXApplication::sharedApplication();
    const bool readPointer = app && !app->windowServer().isHeadless();
    auto screenLocation = [&](const HXEvent& e) {
        return readPointer ? HXEvent::mouseLocation() : window->convertBaseToScreen(e.locationInWindow());
    };
    const HXPoint startMouse = screenLocation(event);
    const HXEventMask mask = HXLeftMouseDraggedMask | HXLeftMouseUpMask;
    // A drag whose mouse-up never arrives ends after a while without events.
    for (;;) {
        auto next = window->nextEventMatchingMask(mask, HXRunLoop::main().now() + 5.0, HXEventTrackingRunLoopMode, true);
        // The mouse goes up where the last drag left it.
        if (!next || next->type() == HXLeftMouseUp)
            break;
        HXPoint mouse = screenLocation(*next);
        HXRect proposed = draggedFrame(start, mouse.x - startMouse.x, mouse.y - startMouse.y);
        if (auto delegate = window->delegate())
            proposed.size = delegate->windowWillResize(*window, proposed.size);
        proposed.origin.y = HXMaxY(start) - proposed.size.height;
        if (!(proposed == window->frame()))
            window->setFrame(proposed, true);
    }
}
