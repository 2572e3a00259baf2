#pragma once
// MVPApplication: the player's application object. Its one addition to the platform's application is to
// announce every key event to the rest of the program (the movie view listens), also for the event-tracking
// loops that fetch their events through the shared application.
#include "core/notification_names.h"
#include "platform/winkit/application.h"

class MVPApplication : public HXApplication {
public:
    std::optional<HXEvent> nextEventMatchingMask(
        HXEventMask mask, HXTimeInterval untilDate, const std::string& mode, bool dequeue) override;
};
