#include "platform/winkit/dragging.h"

#include "platform/winkit/application.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <limits>

namespace {

int dragSequence = 0;

class DraggingInfo : public HXDraggingInfo {
public:
    std::shared_ptr<HXPasteboard> pasteboard;
    HXPoint location;
    std::shared_ptr<HXWindow> window;
    HXDraggingSource* source = nullptr;
    unsigned mask = HXDragOperationEvery;
    int sequence = 0;
    std::shared_ptr<HXImage> image;

    std::shared_ptr<HXPasteboard> draggingPasteboard() const override { return pasteboard; }
    HXPoint draggingLocation() const override { return location; }
    std::shared_ptr<HXWindow> draggingDestinationWindow() const override { return window; }
    HXDraggingSource* draggingSource() const override { return source; }
    unsigned draggingSourceOperationMask() const override { return mask; }
    int draggingSequenceNumber() const override { return sequence; }
    std::shared_ptr<HXImage> draggedImage() const override { return image; }
};

// The deepest view under the point that takes one of the pasteboard's types and is a destination.
std::shared_ptr<HXView> destinationAt(const std::shared_ptr<HXWindow>& window, HXPoint location, HXPasteboard& board)
{
    if (!window || !window->frameView())
        return nullptr;
    for (auto v = window->frameView()->hitTest(location); v; v = v->superview()) {
        if (!dynamic_cast<HXDraggingDestination*>(v.get()))
            continue;
        if (!board.availableTypeFromArray(v->registeredDraggedTypes()).empty())
            return v;
    }
    return nullptr;
}

// The modifier keys narrow what the source allows: Option copies, Control links, Command moves.
unsigned narrowedMask(unsigned mask, uint32_t modifiers, HXDraggingSource* source)
{
    if (source && source->ignoreModifierKeysWhileDragging())
        return mask;
    if (modifiers & HXAlternateKeyMask)
        return mask & HXDragOperationCopy;
    if (modifiers & HXControlKeyMask)
        return mask & HXDragOperationLink;
    if (modifiers & HXCommandKeyMask)
        return mask & HXDragOperationMove;
    return mask;
}

// One drag in progress over the program's windows.
struct DragSession {
    DraggingInfo info;
    std::shared_ptr<HXView> current;
    unsigned operation = HXDragOperationNone;

    void moveTo(const std::shared_ptr<HXWindow>& window, HXPoint locationInWindow, unsigned mask)
    {
        info.window = window;
        info.location = locationInWindow;
        info.mask = mask;
        auto target = destinationAt(window, locationInWindow, *info.pasteboard);
        if (target != current) {
            if (current)
                dynamic_cast<HXDraggingDestination*>(current.get())->draggingExited(info);
            current = target;
            operation = current ? dynamic_cast<HXDraggingDestination*>(current.get())->draggingEntered(info) : 0;
        } else if (current) {
            operation = dynamic_cast<HXDraggingDestination*>(current.get())->draggingUpdated(info);
        }
        operation &= mask;
    }

    // The drop: true when the destination took it.
    bool drop()
    {
        if (!current || operation == HXDragOperationNone) {
            if (current)
                dynamic_cast<HXDraggingDestination*>(current.get())->draggingExited(info);
            return false;
        }
        auto* destination = dynamic_cast<HXDraggingDestination*>(current.get());
        if (!destination->prepareForDragOperation(info) || !destination->performDragOperation(info))
            return false;
        destination->concludeDragOperation(info);
        return true;
    }
};

}  // namespace

unsigned HXView::dragImage(const std::shared_ptr<HXImage>& image, HXPoint, HXSize, const HXEvent& event,
    const std::shared_ptr<HXPasteboard>& pasteboard, HXDraggingSource* source, bool)
{
    auto& app = *HXApplication::sharedApplication();
    auto keep = shared_from_this();
    DragSession session;
    session.info.pasteboard = pasteboard ? pasteboard : HXPasteboard::pasteboardWithName(HXDragPboard);
    session.info.source = source;
    session.info.sequence = ++dragSequence;
    session.info.image = image;
    unsigned allowed = source ? source->draggingSourceOperationMaskForLocal(true) : HXDragOperationEvery;
    auto startWindow = window();
    HXPoint startScreen = startWindow ? startWindow->convertBaseToScreen(event.locationInWindow()) : event.locationInWindow();
    if (source)
        source->draggedImageBeganAt(startScreen);

    HXPoint lastScreen = startScreen;
    for (;;) {
        auto next = app.nextEventMatchingMask(HXLeftMouseDraggedMask | HXLeftMouseUpMask | HXFlagsChangedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next)
            break;
        auto w = next->window();
        HXPoint screen = w ? w->convertBaseToScreen(next->locationInWindow()) : lastScreen;
        lastScreen = screen;
        // The window under the mouse: the frontmost visible window containing the point.
        std::shared_ptr<HXWindow> over;
        for (auto& candidate : app.orderedWindows()) {
            if (HXPointInRect(screen, candidate->frame())) {
                over = candidate;
                break;
            }
        }
        unsigned mask = narrowedMask(allowed, next->modifierFlags(), source);
        session.moveTo(over, over ? over->convertScreenToBase(screen) : HXZeroPoint, mask);
        if (source && next->type() == HXLeftMouseDragged)
            source->draggedImageMovedTo(screen);
        if (next->type() == HXLeftMouseUp)
            break;
    }
    unsigned result = session.drop() ? session.operation : HXDragOperationNone;
    if (source)
        source->draggedImageEndedAt(lastScreen, result);
    return result;
}

void HXApplication::handleFileDrop(const std::shared_ptr<HXWindow>& window, HXPoint location,
    const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    auto board = HXPasteboard::pasteboardWithName(HXDragPboard);
    board->declareTypes({ HXFilenamesPboardType }, nullptr);
    board->setFileNames(paths);
    DragSession session;
    session.info.pasteboard = board;
    session.info.sequence = ++dragSequence;
    // Files from the desktop may be copied, linked or moved.
    session.moveTo(window, location, HXDragOperationCopy | HXDragOperationLink | HXDragOperationGeneric | HXDragOperationMove);
    if (!session.drop())
        openFiles(paths);  // nobody under the mouse wanted them: open them
}
