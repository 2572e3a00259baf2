#pragma once
// HXSelector: the interned name of an action ("copy:", "performClose:"). Menu items, controls and the
// responder chain pass actions by name; two selectors with the same name are the same value, so comparing
// and hashing them costs a pointer.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class HXSelector {
public:
    HXSelector() = default;  // the null selector (no action)
    HXSelector(std::string_view name);
    HXSelector(const char* name)
        : HXSelector(std::string_view(name ? name : ""))
    {
    }

    const std::string& name() const;
    bool isNull() const { return _name == nullptr; }
    explicit operator bool() const { return _name != nullptr; }
    bool operator==(const HXSelector&) const = default;

    // For hashing: the interned string's address.
    const void* identity() const { return _name; }

private:
    const std::string* _name = nullptr;
};

inline HXSelector HXSelectorFromString(std::string_view name) { return HXSelector(name); }
inline std::string HXStringFromSelector(HXSelector selector) { return selector.name(); }

template<>
struct std::hash<HXSelector> {
    size_t operator()(const HXSelector& s) const noexcept { return std::hash<const void*>()(s.identity()); }
};
