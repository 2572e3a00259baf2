#include "platform/basekit/notification_queue.h"
#include "platform/basekit/timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int movieA, movieB;

class NotificationQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loop.setClock(clock);
        center.addObserver(this, "", nullptr, [this](const HXNotification& n) {
            posted.push_back(n.name() + (n.object() == &movieA ? "@A" : n.object() == &movieB ? "@B" : ""));
        });
    }
    void TearDown() override
    {
        loop.cancelPerformRequests(this);
        loop.setClock(nullptr);
    }

    HXRunLoop& loop = HXRunLoop::main();
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    HXNotificationCenter center;
    HXNotificationQueue queue { center, loop };
    std::vector<std::string> posted;
};

using Names = std::vector<std::string>;

TEST_F(NotificationQueueTest, Coalescing)
{
    struct Case {
        const char* name;
        unsigned mask;
        Names expected;
    };
    // Queued in this order: N@A, N@B, N@A, M@A.
    const Case cases[] = {
        { "none", HXNotificationNoCoalescing, { "N@A", "N@B", "N@A", "M@A" } },
        { "on name", HXNotificationCoalescingOnName, { "N@A", "M@A" } },
        { "on sender", HXNotificationCoalescingOnSender, { "N@A", "N@B" } },
        { "on name and sender", HXNotificationCoalescingOnName | HXNotificationCoalescingOnSender,
            { "N@A", "N@B", "M@A" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        posted.clear();
        for (auto [name, object] :
            { std::pair { "N", &movieA }, { "N", &movieB }, { "N", &movieA }, { "M", &movieA } })
            queue.enqueueNotification(
                HXNotification(name, object), HXPostASAP, c.mask, { HXDefaultRunLoopMode });
        EXPECT_TRUE(posted.empty());
        clock->advance(0);
        EXPECT_EQ(posted, c.expected);
        EXPECT_EQ(queue.queuedCount(), 0u);
    }
}

TEST_F(NotificationQueueTest, AsSoonAsPossibleMeansTheEndOfTheCurrentPass)
{
    // Queued by a timer: posted in the same pass, after the timer's work, before the next timer fires.
    std::vector<std::string> events;
    center.addObserver(this, "MVMovieSizeDidChangeNotification", nullptr,
        [&](const HXNotification&) { events.push_back("posted"); });
    HXTimer::scheduledTimer(1.0, false, [&](HXTimer&) {
        queue.enqueueNotification(HXNotification("MVMovieSizeDidChangeNotification", &movieA), HXPostASAP,
            HXNotificationCoalescingOnName, { HXDefaultRunLoopMode });
        queue.enqueueNotification(HXNotification("MVMovieSizeDidChangeNotification", &movieA), HXPostASAP,
            HXNotificationCoalescingOnName, { HXDefaultRunLoopMode });
        events.push_back("timer");
    });
    HXTimer::scheduledTimer(1.5, false, [&](HXTimer&) { events.push_back("second timer"); });
    clock->advance(1.0);
    EXPECT_EQ(events, (std::vector<std::string> { "timer", "posted" }));
    clock->advance(1.0);
    EXPECT_EQ(events, (std::vector<std::string> { "timer", "posted", "second timer" }));
}

TEST_F(NotificationQueueTest, WhenIdleWaitsForAQuietPass)
{
    queue.enqueueNotification(HXNotification("Idle", &movieA), HXPostWhenIdle, HXNotificationNoCoalescing,
        { HXDefaultRunLoopMode });
    queue.enqueueNotification(
        HXNotification("Soon", &movieA), HXPostASAP, HXNotificationNoCoalescing, { HXDefaultRunLoopMode });
    loop.perform([] {}, 0, { HXDefaultRunLoopMode }); // keeps the first pass busy
    clock->advance(0);
    EXPECT_EQ(posted, (Names { "Soon@A" }));
    clock->advance(0.1);
    EXPECT_EQ(posted, (Names { "Soon@A", "Idle@A" }));
}

TEST_F(NotificationQueueTest, IdleAndSoonCoalesceWithEachOther)
{
    queue.enqueueNotification(HXNotification("N", &movieA), HXPostWhenIdle, HXNotificationCoalescingOnName,
        { HXDefaultRunLoopMode });
    queue.enqueueNotification(
        HXNotification("N", &movieA), HXPostASAP, HXNotificationCoalescingOnName, { HXDefaultRunLoopMode });
    clock->advance(1);
    EXPECT_EQ(posted, (Names { "N@A" }));
}

TEST_F(NotificationQueueTest, PostNowDropsTheQueuedOnesItCoalescesWith)
{
    queue.enqueueNotification(
        HXNotification("N", &movieA), HXPostASAP, HXNotificationNoCoalescing, { HXDefaultRunLoopMode });
    queue.enqueueNotification(
        HXNotification("M", &movieA), HXPostASAP, HXNotificationNoCoalescing, { HXDefaultRunLoopMode });
    queue.enqueueNotification(
        HXNotification("N", &movieB), HXPostNow, HXNotificationCoalescingOnName, { HXDefaultRunLoopMode });
    EXPECT_EQ(posted, (Names { "N@B" }));
    clock->advance(0);
    EXPECT_EQ(posted, (Names { "N@B", "M@A" }));
}

TEST_F(NotificationQueueTest, ModesHoldNotificationsBack)
{
    queue.enqueueNotification(
        HXNotification("Default", &movieA), HXPostASAP, HXNotificationNoCoalescing, { HXDefaultRunLoopMode });
    queue.enqueueNotification(
        HXNotification("Common", &movieA), HXPostASAP, HXNotificationNoCoalescing, { HXRunLoopCommonModes });
    loop.runInMode(HXEventTrackingRunLoopMode, 0);
    EXPECT_EQ(posted, (Names { "Common@A" }));
    loop.runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(posted, (Names { "Common@A", "Default@A" }));
}

TEST_F(NotificationQueueTest, ObserverQueueingAgainIsPostedOnTheNextPass)
{
    int posts = 0;
    int passes = 0;
    auto observer = loop.addObserver(HXRunLoopPassEnd, [&](HXRunLoopActivity) { ++passes; });
    center.addObserver(this, "Again", nullptr, [&](const HXNotification& n) {
        if (++posts < 3)
            queue.enqueueNotification(n, HXPostASAP);
    });
    queue.enqueueNotification(HXNotification("Again", &movieA), HXPostASAP);
    clock->advance(0);
    EXPECT_EQ(posts, 1);
    clock->advance(0);
    clock->advance(0);
    EXPECT_EQ(posts, 3);
    EXPECT_EQ(queue.queuedCount(), 0u);
    loop.removeSource(observer);
}

TEST_F(NotificationQueueTest, DequeueMatching)
{
    queue.enqueueNotification(HXNotification("N", &movieA), HXPostASAP, HXNotificationNoCoalescing, {});
    queue.enqueueNotification(HXNotification("N", &movieB), HXPostWhenIdle, HXNotificationNoCoalescing, {});
    queue.enqueueNotification(HXNotification("M", &movieB), HXPostASAP, HXNotificationNoCoalescing, {});
    queue.dequeueNotificationsMatching(HXNotification("N", &movieA), HXNotificationNoCoalescing);
    EXPECT_EQ(queue.queuedCount(), 3u);
    queue.dequeueNotificationsMatching(HXNotification("N", &movieA), HXNotificationCoalescingOnName);
    EXPECT_EQ(queue.queuedCount(), 1u);
    clock->advance(1);
    EXPECT_EQ(posted, (Names { "M@B" }));
}

} // namespace
