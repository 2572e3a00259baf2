#include "platform/basekit/workspace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WorkspaceTest, SessionNotificationsTravelOnTheWorkspaceCentreOnly)
{
    HXWorkspace& workspace = HXWorkspace::sharedWorkspace();
    std::vector<std::string> onWorkspace;
    int onDefault = 0;
    int observer = 0;
    HXWorkspace::notificationCenter().addObserver(
        &observer, "", &workspace, [&](const HXNotification& n) { onWorkspace.push_back(n.name()); });
    HXNotificationCenter::defaultCenter().addObserver(
        &observer, "", nullptr, [&](const HXNotification&) { ++onDefault; });

    for (const char* name : { HXWorkspaceWillSleepNotification, HXWorkspaceDidWakeNotification,
             HXWorkspaceSessionDidResignActiveNotification, HXWorkspaceSessionDidBecomeActiveNotification })
        workspace.postNotificationName(name);

    HXWorkspace::notificationCenter().removeObserver(&observer);
    HXNotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(onWorkspace,
        (std::vector<std::string> { "HXWorkspaceWillSleepNotification", "HXWorkspaceDidWakeNotification",
            "HXWorkspaceSessionDidResignActiveNotification",
            "HXWorkspaceSessionDidBecomeActiveNotification" }));
    EXPECT_EQ(onDefault, 0);
    EXPECT_NE(&HXWorkspace::notificationCenter(), &HXNotificationCenter::defaultCenter());
    EXPECT_EQ(&workspace.notificationCenter(), &HXWorkspace::notificationCenter());
}

} // namespace
