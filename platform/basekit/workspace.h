#pragma once
// HXWorkspace: the user's session as seen by the program. Its notification centre, separate from the default
// one, carries the session's sleep, wake and switch notifications, with the shared workspace as object.
#include "platform/basekit/notification_center.h"

inline constexpr const char* HXWorkspaceWillSleepNotification = "HXWorkspaceWillSleepNotification";
inline constexpr const char* HXWorkspaceDidWakeNotification = "HXWorkspaceDidWakeNotification";
inline constexpr const char* HXWorkspaceSessionDidResignActiveNotification
    = "HXWorkspaceSessionDidResignActiveNotification";
inline constexpr const char* HXWorkspaceSessionDidBecomeActiveNotification
    = "HXWorkspaceSessionDidBecomeActiveNotification";

class HXWorkspace {
public:
    static HXWorkspace& sharedWorkspace();
    // The workspace's own centre (also reachable as HXWorkspace::sharedWorkspace().notificationCenter()).
    static HXNotificationCenter& notificationCenter();

    // Posts one of the notifications above on the workspace centre, with the shared workspace as object.
    void postNotificationName(const std::string& name);

private:
    HXWorkspace() = default;
};
