#pragma once
// Interface loading: an interface is a C++ function registered under a name. "Load the interface X with
// owner Y" calls it; it builds the windows and views and connects the owner's outlets. The objects it
// returns are kept by whoever asked (the top-level objects).
#include "platform/winkit/responder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

using HXInterfaceBuilder = std::function<std::vector<std::shared_ptr<HXObject>>(const std::shared_ptr<HXObject>& owner)>;

class HXInterfaceLoader {
public:
    // Registers (or replaces) the builder of `name`.
    static void registerInterface(const std::string& name, HXInterfaceBuilder builder);
    static void unregisterInterface(const std::string& name);
    static bool hasInterface(const std::string& name);
    // Runs the builder; false when no interface has that name.
    static bool loadInterfaceNamed(const std::string& name, const std::shared_ptr<HXObject>& owner,
        std::vector<std::shared_ptr<HXObject>>* topLevelObjects = nullptr);
};

// Registers an interface at load time: static HXInterfaceRegistration r("Name", builder);
struct HXInterfaceRegistration {
    HXInterfaceRegistration(const std::string& name, HXInterfaceBuilder builder)
    {
        HXInterfaceLoader::registerInterface(name, std::move(builder));
    }
};
