#include "platform/winkit/selector.h"

#include <mutex>
#include <unordered_set>

namespace {

struct Interned {
    std::mutex lock;
    std::unordered_set<std::string> names;
};

Interned& interned()
{
    static Interned* table = new Interned;  // never destroyed: selectors may live in static objects
    return *table;
}

const std::string& emptyName()
{
    static const std::string empty;
    return empty;
}

}  // namespace

HXSelector::HXSelector(std::string_view name)
{
    if (name.empty())
        return;
    auto& table = interned();
    std::lock_guard guard(table.lock);
    _name = &*table.names.emplace(name).first;
}

const std::string& HXSelector::name() const { return _name ? *_name : emptyName(); }
