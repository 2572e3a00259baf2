#pragma once
// HXCursor: the mouse pointer's image. The program asks for the arrow or the I-beam (over text that can
// be selected); windows choose one from the cursor rectangles their views add (HXView::addCursorRect) as
// the mouse moves, and the backend shows the system's own image for it.
#include <memory>

enum class HXCursorType : int { Arrow = 0, IBeam = 1 };

class HXCursor {
public:
    explicit HXCursor(HXCursorType type)
        : _type(type)
    {
    }

    static std::shared_ptr<HXCursor> arrowCursor();
    static std::shared_ptr<HXCursor> IBeamCursor();
    // The cursor last made current (the arrow until another is set).
    static std::shared_ptr<HXCursor> currentCursor();

    HXCursorType type() const { return _type; }
    // Makes this the cursor shown.
    void set() const;

    // Hiding, for all cursors.
    static void hide();
    static void unhide();
    static void setHiddenUntilMouseMoves(bool flag);
    static bool isHidden();

private:
    HXCursorType _type;
};
