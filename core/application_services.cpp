#include "core/application_services.h"

#include "platform/winkit/application.h"

std::shared_ptr<MVPApplicationServices> MVPApplicationServices::shared()
{
    if (!HXApplication::hasSharedApplication())
        return nullptr;
    return std::dynamic_pointer_cast<MVPApplicationServices>(HXApplication::sharedApplication()->delegate());
}
