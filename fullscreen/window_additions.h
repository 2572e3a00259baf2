#pragma once
// Additions to HXWindow and HXAffineTransform that presenting relies on.
#include "platform/drawing/geometry.h"

class HXWindow;

namespace HXWindow_FSPresentationWorkspaceAdditions {

// Moves `window` to the virtual desktop of `other`. A desktop that cannot be told leaves the window where
// it is; a desktop number outside 1 ... 65535 stands for "every desktop" (0x10007).
void moveToSameWorkspaceAsWindow(HXWindow& window, const HXWindow& other);

} // namespace HXWindow_FSPresentationWorkspaceAdditions

namespace HXAffineTransform_Additions {

// The origin mapped as a point and the size as a size (so a flip gives a negative size, where the
// transform's own transformRect answers the bounding box).
HXRect transformRect(const HXAffineTransform& transform, const HXRect& rect);

} // namespace HXAffineTransform_Additions
