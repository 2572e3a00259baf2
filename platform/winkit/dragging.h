#pragma once
// Drag and drop: a source starts a drag from a view (HXView::dragImage); views registered for the
// pasteboard's types act as destinations while the mouse moves over them. Files dropped from the desktop
// arrive the same way, with HXFilenamesPboardType.
#include "platform/drawing/geometry.h"

#include <climits>
#include <memory>
#include <string>

class HXPasteboard;
class HXWindow;
class HXImage;

enum : unsigned {
    HXDragOperationNone = 0,
    HXDragOperationCopy = 1,
    HXDragOperationLink = 2,
    HXDragOperationGeneric = 4,
    HXDragOperationPrivate = 8,
    HXDragOperationMove = 16,
    HXDragOperationDelete = 32,
    HXDragOperationEvery = UINT_MAX,
};

class HXDraggingSource;

// What a destination learns about the drag.
class HXDraggingInfo {
public:
    virtual ~HXDraggingInfo() = default;
    virtual std::shared_ptr<HXPasteboard> draggingPasteboard() const = 0;
    // The mouse in the destination window's base coordinates.
    virtual HXPoint draggingLocation() const = 0;
    virtual std::shared_ptr<HXWindow> draggingDestinationWindow() const = 0;
    // The source when the drag started in this program, else null (files from the desktop).
    virtual HXDraggingSource* draggingSource() const = 0;
    // The operations the source allows, narrowed by the modifier keys held.
    virtual unsigned draggingSourceOperationMask() const = 0;
    virtual int draggingSequenceNumber() const = 0;
    virtual std::shared_ptr<HXImage> draggedImage() const = 0;
};

class HXDraggingSource {
public:
    virtual ~HXDraggingSource() = default;
    virtual unsigned draggingSourceOperationMaskForLocal(bool isLocal) = 0;
    virtual bool ignoreModifierKeysWhileDragging() { return false; }
    virtual void draggedImageBeganAt(HXPoint screenPoint) { (void)screenPoint; }
    virtual void draggedImageMovedTo(HXPoint screenPoint) { (void)screenPoint; }
    virtual void draggedImageEndedAt(HXPoint screenPoint, unsigned operation)
    {
        (void)screenPoint;
        (void)operation;
    }
};

// Views that take drops implement this (and register for dragged types).
class HXDraggingDestination {
public:
    virtual ~HXDraggingDestination() = default;
    virtual unsigned draggingEntered(HXDraggingInfo& info) { (void)info; return HXDragOperationNone; }
    virtual unsigned draggingUpdated(HXDraggingInfo& info) { return draggingEntered(info); }
    virtual void draggingExited(HXDraggingInfo& info) { (void)info; }
    virtual bool prepareForDragOperation(HXDraggingInfo& info) { (void)info; return true; }
    virtual bool performDragOperation(HXDraggingInfo& info) = 0;
    virtual void concludeDragOperation(HXDraggingInfo& info) { (void)info; }
};
