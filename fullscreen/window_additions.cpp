#include "fullscreen/window_additions.h"

#include "fullscreen/display_services.h"
#include "platform/winkit/window.h"

namespace HXWindow_FSPresentationWorkspaceAdditions {

void moveToSameWorkspaceAsWindow(HXWindow& window, const HXWindow& other)
{
    auto& services = FSDisplayServices::shared();
    auto workspace = services.workspaceOfWindow(other.windowNumber());
    if (!workspace)
        return;
    uint32_t target = *workspace;
    if (target < 1 || target > 65535)
        target = 0x10007;
    services.moveWindowsToWorkspace({ window.windowNumber() }, target);
}

} // namespace HXWindow_FSPresentationWorkspaceAdditions

namespace HXAffineTransform_Additions {

HXRect transformRect(const HXAffineTransform& transform, const HXRect& rect)
{
    return { transform.transformPoint(rect.origin), transform.transformSize(rect.size) };
}

} // namespace HXAffineTransform_Additions
