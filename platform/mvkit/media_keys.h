#pragma once
// MVMediaKeys: switches and values that tune the media layer and the player without a preference in the
// interface ("MVPlayerSaveAsOnlyAsync", "MVFullscreenExtras", ...).
//
// They are read from the property list "MediaKeys.plist" in the user's configuration folder
// ($XDG_CONFIG_HOME/movara-player/), a dictionary from type to a value or an array of values, e.g.
//   <key>MVPlayerSaveAsOnlyAsync</key> <array><string>enable</string></array>
//   <key>MVFullscreenExtras</key> <false/>
// The player only reads them. A missing or damaged file is an empty store.
#include "platform/basekit/property_list.h"

#include <string>
#include <vector>

class MVMediaKeys {
public:
    // The shared store, read on first use.
    static MVMediaKeys& mediaKeys();
    // A store read from `path` (for tools and tests).
    explicit MVMediaKeys(const std::string& path);
    static std::string defaultPath();

    // The values of `type` as text ("enable", "disable", an identifier...): an array's elements in
    // order, a single value as a one-element array; empty when the type is absent.
    std::vector<std::string> mediaKeysForType(const std::string& type) const;
    // The first value of `type` as a switch: a boolean as it is; "enable", "yes", "true", "1" are YES;
    // "disable", "no", "false", "0" are NO; anything else, or no value, gives `defaultValue`.
    bool boolForType(const std::string& type, bool defaultValue) const;

    // Reads the file again.
    void reload();
    const std::string& path() const { return _path; }

private:
    std::string _path;
    HXPropertyList::Dictionary _keys;
};
