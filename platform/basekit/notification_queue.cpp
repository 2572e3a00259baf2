#include "platform/basekit/notification_queue.h"

#include <algorithm>

namespace {

bool coalesces(const HXNotification& a, const HXNotification& b, unsigned mask)
{
    if (mask == HXNotificationNoCoalescing)
        return false;
    if ((mask & HXNotificationCoalescingOnName) && a.name() != b.name())
        return false;
    if ((mask & HXNotificationCoalescingOnSender) && a.object() != b.object())
        return false;
    return true;
}

} // namespace

HXNotificationQueue& HXNotificationQueue::defaultQueue()
{
    static HXNotificationQueue* queue
        = new HXNotificationQueue(HXNotificationCenter::defaultCenter(), HXRunLoop::main());
    return *queue;
}

HXNotificationQueue::HXNotificationQueue(HXNotificationCenter& center, HXRunLoop& runLoop)
    : _center(center)
    , _runLoop(runLoop)
{
    // Observed in the common modes; each entry carries the modes it may be posted in.
    _observer = _runLoop.addObserver(HXRunLoopPassEnd | HXRunLoopBeforeWaiting,
        [this](HXRunLoopActivity activity) {
            const std::string& mode = _runLoop.currentMode();
            postQueued(_asap, mode);
            if (activity == HXRunLoopBeforeWaiting)
                postQueued(_idle, mode);
        },
        { HXRunLoopCommonModes });
}

HXNotificationQueue::~HXNotificationQueue()
{
    _runLoop.removeSource(_observer);
}

void HXNotificationQueue::enqueueNotification(const HXNotification& notification, HXPostingStyle postingStyle)
{
    enqueueNotification(notification, postingStyle,
        HXNotificationCoalescingOnName | HXNotificationCoalescingOnSender, { HXDefaultRunLoopMode });
}

void HXNotificationQueue::enqueueNotification(const HXNotification& notification, HXPostingStyle postingStyle,
    unsigned coalesceMask, const HXRunLoopModes& modes)
{
    if (postingStyle == HXPostNow) {
        dequeueNotificationsMatching(notification, coalesceMask);
        _center.postNotification(notification);
        return;
    }
    auto matching = [&](const Entry& e) { return coalesces(e.notification, notification, coalesceMask); };
    if (std::any_of(_asap.begin(), _asap.end(), matching)
        || std::any_of(_idle.begin(), _idle.end(), matching))
        return;
    Entry entry { notification, modes.empty() ? HXRunLoopModes { HXDefaultRunLoopMode } : modes };
    (postingStyle == HXPostASAP ? _asap : _idle).push_back(std::move(entry));
}

void HXNotificationQueue::dequeueNotificationsMatching(
    const HXNotification& notification, unsigned coalesceMask)
{
    auto matching = [&](const Entry& e) { return coalesces(e.notification, notification, coalesceMask); };
    _asap.erase(std::remove_if(_asap.begin(), _asap.end(), matching), _asap.end());
    _idle.erase(std::remove_if(_idle.begin(), _idle.end(), matching), _idle.end());
}

bool HXNotificationQueue::servesMode(const Entry& entry, const std::string& mode) const
{
    for (const auto& m : entry.modes) {
        if (m == mode || (m == HXRunLoopCommonModes && _runLoop.isCommonMode(mode)))
            return true;
    }
    return false;
}

void HXNotificationQueue::postQueued(std::deque<Entry>& queue, const std::string& mode)
{
    // Only what was queued before this point: notifications queued by observers wait for the next pass.
    std::vector<Entry> batch;
    for (auto it = queue.begin(); it != queue.end();) {
        if (servesMode(*it, mode)) {
            batch.push_back(std::move(*it));
            it = queue.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& entry : batch)
        _center.postNotification(entry.notification);
}
