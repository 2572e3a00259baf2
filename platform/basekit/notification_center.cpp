#include "platform/basekit/notification_center.h"

#include <algorithm>

struct HXNotificationCenter::Observation {
    HXObserverToken token = 0;
    const void* observer = nullptr;
    std::string name;
    const void* object = nullptr;
    Callback callback;
    bool removed = false;

    bool matches(const HXNotification& n) const
    {
        return !removed && (name.empty() || name == n.name()) && (!object || object == n.object());
    }
};

HXNotificationCenter& HXNotificationCenter::defaultCenter()
{
    // Never destroyed: observers with static lifetime may still remove themselves at exit.
    static HXNotificationCenter* center = new HXNotificationCenter();
    return *center;
}

HXNotificationCenter::HXNotificationCenter() = default;
HXNotificationCenter::~HXNotificationCenter() = default;

HXObserverToken HXNotificationCenter::addObserver(
    const void* observer, const std::string& name, const void* object, Callback callback)
{
    auto o = std::make_shared<Observation>();
    o->token = _nextToken++;
    o->observer = observer;
    o->name = name;
    o->object = object;
    o->callback = std::move(callback);
    _observations.push_back(o);
    return o->token;
}

namespace {

template<class Pred>
void markRemoved(std::vector<std::shared_ptr<HXNotificationCenter::Observation>>& observations, Pred pred,
    int postDepth, bool& needsCompaction)
{
    for (auto& o : observations) {
        if (!o->removed && pred(*o))
            o->removed = true;
    }
    // While a post walks its snapshot the list is only marked; it is compacted once no post is running.
    if (postDepth > 0) {
        needsCompaction = true;
        return;
    }
    observations.erase(
        std::remove_if(observations.begin(), observations.end(), [](const auto& o) { return o->removed; }),
        observations.end());
}

} // namespace

void HXNotificationCenter::removeObserver(HXObserverToken token)
{
    if (token == 0)
        return;
    markRemoved(
        _observations, [&](const Observation& o) { return o.token == token; }, _postDepth, _needsCompaction);
}

void HXNotificationCenter::removeObserver(const void* observer)
{
    if (!observer)
        return;
    markRemoved(
        _observations, [&](const Observation& o) { return o.observer == observer; }, _postDepth,
        _needsCompaction);
}

void HXNotificationCenter::removeObserver(const void* observer, const std::string& name, const void* object)
{
    if (!observer)
        return;
    markRemoved(
        _observations,
        [&](const Observation& o) {
            return o.observer == observer && (name.empty() || o.name == name)
                && (!object || o.object == object);
        },
        _postDepth, _needsCompaction);
}

void HXNotificationCenter::postNotification(const HXNotification& notification)
{
    std::vector<std::shared_ptr<Observation>> snapshot;
    for (const auto& o : _observations) {
        if (o->matches(notification))
            snapshot.push_back(o);
    }
    ++_postDepth;
    struct DepthGuard {
        HXNotificationCenter& center;
        ~DepthGuard()
        {
            if (--center._postDepth == 0 && center._needsCompaction) {
                center._needsCompaction = false;
                auto& list = center._observations;
                list.erase(std::remove_if(list.begin(), list.end(), [](const auto& o) { return o->removed; }),
                    list.end());
            }
        }
    } guard { *this };
    for (const auto& o : snapshot) {
        if (o->removed)
            continue;
        // A copy, so that an observer removing itself does not destroy the callback it is running in.
        Callback callback = o->callback;
        callback(notification);
    }
}

void HXNotificationCenter::postNotificationName(
    const std::string& name, const void* object, HXPropertyList::Dictionary userInfo)
{
    postNotification(HXNotification(name, object, std::move(userInfo)));
}

size_t HXNotificationCenter::observationCount() const
{
    return size_t(
        std::count_if(_observations.begin(), _observations.end(), [](const auto& o) { return !o->removed; }));
}
