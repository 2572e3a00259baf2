#include "platform/basekit/workspace.h"

HXWorkspace& HXWorkspace::sharedWorkspace()
{
    static HXWorkspace* workspace = new HXWorkspace();
    return *workspace;
}

HXNotificationCenter& HXWorkspace::notificationCenter()
{
    static HXNotificationCenter* center = new HXNotificationCenter();
    return *center;
}

void HXWorkspace::postNotificationName(const std::string& name)
{
    notificationCenter().postNotificationName(name, this);
}
