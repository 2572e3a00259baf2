#pragma once
// MVPAlert: the alert the player shows for an error.
#include "platform/basekit/error.h"
#include "platform/winkit/alert.h"

#include <memory>

class MVPAlert : public HXAlert {
public:
    // A critical alert whose message is the error's description, whose informative text is the error's
    // recovery suggestion (when it has one) and which has one button per recovery option, in order (none
    // when the error lists no options). The caller runs it or shows it as a sheet.
    static std::shared_ptr<MVPAlert> alertWithError(const HXError& error);
};
