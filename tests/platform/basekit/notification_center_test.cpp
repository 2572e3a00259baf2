#include "platform/basekit/notification_center.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int movieA, movieB; // two senders, by identity
int observerX, observerY;

TEST(NotificationCenterTest, NameAndObjectFiltering)
{
    struct Case {
        const char* name;
        std::string observedName;
        const void* observedObject;
        std::string postedName;
        const void* postedObject;
        bool delivered;
    };
    const Case cases[] = {
        { "name and object match", "MVMovieRateDidChangeNotification", &movieA,
            "MVMovieRateDidChangeNotification", &movieA, true },
        { "other object", "MVMovieRateDidChangeNotification", &movieA, "MVMovieRateDidChangeNotification",
            &movieB, false },
        { "other name", "MVMovieRateDidChangeNotification", &movieA, "MVMovieEditedNotification", &movieA,
            false },
        { "any object", "MVPTimeCodeModeDidChange", nullptr, "MVPTimeCodeModeDidChange", &movieB, true },
        { "any object, no sender", "MVPTimeCodeModeDidChange", nullptr, "MVPTimeCodeModeDidChange", nullptr,
            true },
        { "object given, no sender", "MVPTimeCodeModeDidChange", &movieA, "MVPTimeCodeModeDidChange", nullptr,
            false },
        { "any name from one object", "", &movieA, "MVMovieEditedNotification", &movieA, true },
        { "any name, other object", "", &movieA, "MVMovieEditedNotification", &movieB, false },
        { "anything", "", nullptr, "PreferenceChangedNotification", nullptr, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXNotificationCenter center;
        int calls = 0;
        center.addObserver(&observerX, c.observedName, c.observedObject, [&](const HXNotification& n) {
            ++calls;
            EXPECT_EQ(n.name(), c.postedName);
            EXPECT_EQ(n.object(), c.postedObject);
        });
        center.postNotificationName(c.postedName, c.postedObject);
        EXPECT_EQ(calls, c.delivered ? 1 : 0);
    }
}

TEST(NotificationCenterTest, UserInfoTravelsWithTheNotification)
{
    HXNotificationCenter center;
    std::string key;
    center.addObserver(&observerX, "PreferenceChangedNotification", nullptr,
        [&](const HXNotification& n) { key = n.userInfo().at("PreferenceChangedUserInfo").stringValue(); });
    center.postNotificationName("PreferenceChangedNotification", nullptr,
        { { "PreferenceChangedUserInfo", HXPropertyList("GeneralPreferenceShowTimeCode") } });
    EXPECT_EQ(key, "GeneralPreferenceShowTimeCode");
}

TEST(NotificationCenterTest, DeliveryFollowsRegistrationOrder)
{
    HXNotificationCenter center;
    std::string order;
    center.addObserver(&observerX, "N", nullptr, [&](const HXNotification&) { order += "1"; });
    center.addObserver(&observerY, "", nullptr, [&](const HXNotification&) { order += "2"; });
    center.addObserver(&observerX, "N", &movieA, [&](const HXNotification&) { order += "3"; });
    center.postNotificationName("N", &movieA);
    EXPECT_EQ(order, "123");
}

TEST(NotificationCenterTest, ObserverRemovingItselfAndOthersDuringAPost)
{
    HXNotificationCenter center;
    std::string order;
    HXObserverToken second = 0;
    HXObserverToken first = center.addObserver(&observerX, "N", nullptr, [&](const HXNotification&) {
        order += "a";
        center.removeObserver(first); // itself
        center.removeObserver(second); // one still waiting in this post
    });
    second = center.addObserver(&observerY, "N", nullptr, [&](const HXNotification&) { order += "b"; });
    center.addObserver(&observerY, "N", nullptr, [&](const HXNotification&) { order += "c"; });
    center.postNotificationName("N");
    EXPECT_EQ(order, "ac");
    center.postNotificationName("N");
    EXPECT_EQ(order, "acc");
    EXPECT_EQ(center.observationCount(), 1u);
}

TEST(NotificationCenterTest, ObserverDestroyedDuringAPostIsNotCalledAgain)
{
    // An observer object that unregisters in its destructor, destroyed by an earlier observer.
    struct Listener {
        HXNotificationCenter& center;
        int& calls;
        Listener(HXNotificationCenter& c, int& n)
            : center(c)
            , calls(n)
        {
            center.addObserver(this, "N", nullptr, [this](const HXNotification&) { ++calls; });
        }
        ~Listener() { center.removeObserver(this); }
    };
    HXNotificationCenter center;
    int calls = 0;
    std::unique_ptr<Listener> listener;
    center.addObserver(&observerX, "N", nullptr, [&](const HXNotification&) { listener.reset(); });
    listener = std::make_unique<Listener>(center, calls);
    center.postNotificationName("N");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(listener, nullptr);
}

TEST(NotificationCenterTest, ObserverAddedDuringAPostHearsOnlyLaterPosts)
{
    HXNotificationCenter center;
    int late = 0;
    bool added = false;
    center.addObserver(&observerX, "N", nullptr, [&](const HXNotification&) {
        if (!added) {
            added = true;
            center.addObserver(&observerY, "N", nullptr, [&](const HXNotification&) { ++late; });
        }
    });
    center.postNotificationName("N");
    EXPECT_EQ(late, 0);
    center.postNotificationName("N");
    EXPECT_EQ(late, 1);
}

TEST(NotificationCenterTest, PostFromInsideAPost)
{
    HXNotificationCenter center;
    std::string order;
    center.addObserver(&observerX, "Outer", nullptr, [&](const HXNotification&) {
        order += "(";
        center.postNotificationName("Inner");
        order += ")";
    });
    center.addObserver(&observerY, "Inner", nullptr, [&](const HXNotification&) {
        order += "i";
        center.removeObserver(&observerX); // removed while its own post is still running
    });
    center.postNotificationName("Outer");
    center.postNotificationName("Outer");
    EXPECT_EQ(order, "(i)");
}

TEST(NotificationCenterTest, RemovalOfAllObservationsOfAnObserver)
{
    HXNotificationCenter center;
    int x = 0, y = 0;
    center.addObserver(&observerX, "A", nullptr, [&](const HXNotification&) { ++x; });
    center.addObserver(&observerX, "B", &movieA, [&](const HXNotification&) { ++x; });
    center.addObserver(&observerX, "", nullptr, [&](const HXNotification&) { ++x; });
    center.addObserver(&observerY, "A", nullptr, [&](const HXNotification&) { ++y; });
    center.removeObserver(&observerX);
    center.postNotificationName("A");
    center.postNotificationName("B", &movieA);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(center.observationCount(), 1u);
}

TEST(NotificationCenterTest, RemovalByNameAndObject)
{
    struct Case {
        const char* name;
        std::string removeName;
        const void* removeObject;
        std::string expectedCalls; // observations still heard, of "A from movieA", "A from movieB", "B"
    };
    const Case cases[] = {
        { "one name", "A", nullptr, "B" },
        { "one name from one object", "A", &movieA, "aB" },
        { "any name from one object", "", &movieA, "aB" },
        { "a name never observed", "C", nullptr, "AaB" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXNotificationCenter center;
        std::string heard;
        center.addObserver(&observerX, "A", &movieA, [&](const HXNotification&) { heard += "A"; });
        center.addObserver(&observerX, "A", &movieB, [&](const HXNotification&) { heard += "a"; });
        center.addObserver(&observerX, "B", nullptr, [&](const HXNotification&) { heard += "B"; });
        center.removeObserver(&observerX, c.removeName, c.removeObject);
        center.postNotificationName("A", &movieA);
        center.postNotificationName("A", &movieB);
        center.postNotificationName("B", &movieA);
        EXPECT_EQ(heard, c.expectedCalls);
    }
}

TEST(NotificationCenterTest, ObserverWithoutIdentityIsRemovedByToken)
{
    HXNotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("N", nullptr, [&](const HXNotification&) { ++calls; });
    center.removeObserver(static_cast<const void*>(nullptr)); // removes nothing
    center.postNotificationName("N");
    center.removeObserver(token);
    center.postNotificationName("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, SharedSenderTravelsAndCanBeRecovered)
{
    struct Movie {
        int rate = 2;
    };
    HXNotificationCenter center;
    auto movie = std::make_shared<Movie>();
    int rate = 0;
    center.addObserver(&observerX, "MVMovieRateDidChangeNotification", movie.get(),
        [&](const HXNotification& n) { rate = n.objectAs<Movie>()->rate; });
    center.postNotification(HXNotification("MVMovieRateDidChangeNotification", movie));
    EXPECT_EQ(rate, 2);
}

TEST(NotificationCenterTest, DefaultCenterIsOneInstance)
{
    EXPECT_EQ(&HXNotificationCenter::defaultCenter(), &HXNotificationCenter::defaultCenter());
}

} // namespace
