#include "platform/winkit/cursor.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window_server.h"

namespace {

HXCursorType currentType = HXCursorType::Arrow;

} // namespace

std::shared_ptr<HXCursor> HXCursor::arrowCursor()
{
    static const auto cursor = std::make_shared<HXCursor>(HXCursorType::Arrow);
    return cursor;
}

std::shared_ptr<HXCursor> HXCursor::IBeamCursor()
{
    static const auto cursor = std::make_shared<HXCursor>(HXCursorType::IBeam);
    return cursor;
}

std::shared_ptr<HXCursor> HXCursor::currentCursor()
{
    return currentType == HXCursorType::IBeam ? IBeamCursor() : arrowCursor();
}

void HXCursor::set() const
{
    currentType = _type;
    HXApp().windowServer().setCursor(_type);
}
