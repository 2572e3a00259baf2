#include "platform/winkit/interface_loading.h"

#include <map>

namespace {

std::map<std::string, HXInterfaceBuilder>& registry()
{
    static std::map<std::string, HXInterfaceBuilder> builders;
    return builders;
}

}  // namespace

void HXInterfaceLoader::registerInterface(const std::string& name, HXInterfaceBuilder builder)
{
    if (builder)
        registry()[name] = std::move(builder);
    else
        registry().erase(name);
}

void HXInterfaceLoader::unregisterInterface(const std::string& name) { registry().erase(name); }

bool HXInterfaceLoader::hasInterface(const std::string& name) { return registry().count(name) > 0; }

bool HXInterfaceLoader::loadInterfaceNamed(const std::string& name, const std::shared_ptr<HXObject>& owner,
    std::vector<std::shared_ptr<HXObject>>* topLevelObjects)
{
    auto it = registry().find(name);
    if (it == registry().end())
        return false;
    auto builder = it->second;  // the builder may register other interfaces
    auto objects = builder(owner);
    if (topLevelObjects)
        *topLevelObjects = std::move(objects);
    return true;
}
