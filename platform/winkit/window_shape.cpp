// Shaped windows: the shape is kept by the window and handed to its platform window.
#include "platform/winkit/window.h"
#include "platform/winkit/window_server.h"

void HXWindow::setWindowShape(const std::optional<HXRegion>& shape)
{
    if (shape == _windowShape)
        return;
    _windowShape = shape;
    if (_platform)
        _platform->setShape(_windowShape);
}
