#include "platform/winkit/video_layer.h"

#include <algorithm>

HXPixelRect HXIntersectionPixelRect(const HXPixelRect& a, const HXPixelRect& b)
{
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0)
        return {};
    return { x0, y0, x1 - x0, y1 - y0 };
}

HXPixelRect HXUnionPixelRect(const HXPixelRect& a, const HXPixelRect& b)
{
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
    return { x0, y0, x1 - x0, y1 - y0 };
}
