#include "core/alert.h"

#include "core/movie_error.h"

#include "platform/basekit/strings.h"

// The platform's own alert for an error adds the failure reason and an "OK" button; the player's alert
// is built here so that it always looks the same: critical, the description, the recovery suggestion and
// exactly the recovery options the error offers.
std::shared_ptr<MVPAlert> MVPAlert::alertWithError(const HXError& error)
{
    auto alert = std::make_shared<MVPAlert>();
    alert->setAlertStyle(HXCriticalAlertStyle);
    alert->setMessageText(error.localizedDescription());
    const auto& userInfo = error.userInfo();
    auto suggestion = userInfo.find(MVPLocalizedRecoverySuggestionErrorKey);
    if (suggestion != userInfo.end() && suggestion->second.isString())
        alert->setInformativeText(suggestion->second.stringValue());
    auto options = userInfo.find(MVPLocalizedRecoveryOptionsErrorKey);
    if (options != userInfo.end() && options->second.isArray()) {
        for (const HXPropertyList& option : options->second.arrayValue())
            alert->addButtonWithTitle(HXString::description(option));
    }
    return alert;
}
