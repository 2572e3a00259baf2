// Moving a window to another's virtual desktop, and rectangles mapped origin and size apart.
#include "fullscreen/display_services.h"
#include "fullscreen/window_additions.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

namespace {

struct Workspaces : FSDisplayServices {
    std::optional<uint32_t> answer;
    std::vector<std::pair<std::vector<int>, uint32_t>> moves;
    std::optional<uint32_t> workspaceOfWindow(int) override { return answer; }
    void moveWindowsToWorkspace(const std::vector<int>& windows, uint32_t workspace) override
    {
        moves.push_back({ windows, workspace });
    }
};

TEST(WindowAdditions, MoveToTheOtherWindowsDesktop)
{
    HXHeadlessWindowServer::install();
    auto services = std::make_shared<Workspaces>();
    FSDisplayServices::setShared(services);
    auto window = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 10, 10 } }, HXBorderlessWindowMask);
    auto other = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 10, 10 } }, HXBorderlessWindowMask);
    window->setWindowNumber(41);
    struct Case {
        std::optional<uint32_t> answer;
        std::optional<uint32_t> movedTo;
    };
    const Case cases[] = { { 3, 3 }, { 1, 1 }, { 65535, 65535 }, { 0, 0x10007 }, { 0x10006, 0x10007 },
        { std::nullopt, std::nullopt } };
    for (const auto& c : cases) {
        services->answer = c.answer;
        services->moves.clear();
        HXWindow_FSPresentationWorkspaceAdditions::moveToSameWorkspaceAsWindow(*window, *other);
        if (!c.movedTo) {
            EXPECT_TRUE(services->moves.empty()) << "a desktop that cannot be told moves nothing";
            continue;
        }
        ASSERT_EQ(services->moves.size(), 1u);
        EXPECT_EQ(services->moves[0].first, std::vector<int> { 41 });
        EXPECT_EQ(services->moves[0].second, *c.movedTo);
    }
    FSDisplayServices::setShared(nullptr);
    HXApplication::setSharedApplication(nullptr);
}

TEST(WindowAdditions, TransformRectMapsOriginAndSizeApart)
{
    HXAffineTransform flip;
    flip.translateXBy(0, 100);
    flip.scaleXBy(2, -1);
    EXPECT_EQ(HXAffineTransform_Additions::transformRect(flip, { { 10, 10 }, { 20, 30 } }),
        (HXRect { { 20, 90 }, { 40, -30 } }));
}

} // namespace
