#pragma once
// HXNotificationQueue: notifications posted later, through a run loop, optionally coalesced.
//
// "As soon as possible" notifications are posted at the end of the run-loop pass they were queued in (or of
// the next pass when the loop does not run); "when idle" ones when the loop is about to wait with nothing
// else to do; "now" posts at once (after dropping the queued notifications it coalesces with). Coalescing
// keeps the notification queued first and drops later ones that match it on name and/or sender.
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"

#include <deque>
#include <string>

enum HXPostingStyle : int {
    HXPostWhenIdle = 1,
    HXPostASAP = 2,
    HXPostNow = 3,
};

enum HXNotificationCoalescing : unsigned {
    HXNotificationNoCoalescing = 0,
    HXNotificationCoalescingOnName = 1,
    HXNotificationCoalescingOnSender = 2,
};

class HXNotificationQueue {
public:
    // The queue of the main run loop, posting to the default centre.
    static HXNotificationQueue& defaultQueue();

    HXNotificationQueue(HXNotificationCenter& center, HXRunLoop& runLoop);
    ~HXNotificationQueue();
    HXNotificationQueue(const HXNotificationQueue&) = delete;
    HXNotificationQueue& operator=(const HXNotificationQueue&) = delete;

    // Coalesces on name and sender, posted in the default mode.
    void enqueueNotification(const HXNotification& notification, HXPostingStyle postingStyle);
    // `coalesceMask` is a combination of HXNotificationCoalescing; `modes` are the run-loop modes in which
    // it may be posted (empty: the default mode).
    void enqueueNotification(const HXNotification& notification, HXPostingStyle postingStyle,
        unsigned coalesceMask, const HXRunLoopModes& modes);
    // Removes the queued notifications matching `notification` under `coalesceMask`
    // (HXNotificationNoCoalescing removes none).
    void dequeueNotificationsMatching(const HXNotification& notification, unsigned coalesceMask);

    size_t queuedCount() const { return _asap.size() + _idle.size(); }

    struct Entry {
        HXNotification notification;
        HXRunLoopModes modes;
    };

private:
    void postQueued(std::deque<Entry>& queue, const std::string& mode);
    bool servesMode(const Entry& entry, const std::string& mode) const;

    HXNotificationCenter& _center;
    HXRunLoop& _runLoop;
    std::deque<Entry> _asap;
    std::deque<Entry> _idle;
    HXRunLoopSourceID _observer = 0;
};
