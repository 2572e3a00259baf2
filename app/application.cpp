#include "app/application.h"

#include "platform/basekit/notification_center.h"

std::optional<HXEvent> MVPApplication::nextEventMatchingMask(
    HXEventMask mask, HXTimeInterval untilDate, const std::string& mode, bool dequeue)
{
    auto event = HXApplication::nextEventMatchingMask(mask, untilDate, mode, dequeue);
    if (!event)
        return event;
    // The notification carries the event itself; observers read it while the notification is delivered.
    if (event->type() == HXKeyDown)
        HXNotificationCenter::defaultCenter().postNotificationName(MVPKeyDownEventNotification, &*event);
    else if (event->type() == HXKeyUp)
        HXNotificationCenter::defaultCenter().postNotificationName(MVPKeyUpNotification, &*event);
    return event;
}
