#include "platform/mvkit/media_keys.h"

#include "platform/basekit/file_manager.h"

#include <algorithm>
#include <filesystem>

MVMediaKeys& MVMediaKeys::mediaKeys()
{
    static MVMediaKeys keys(defaultPath());
    return keys;
}

std::string MVMediaKeys::defaultPath()
{
    // The program's own configuration folder ($XDG_CONFIG_HOME/movara-player).
    return (std::filesystem::path(HXUserConfigDirectory()) / "MediaKeys.plist").string();
}

MVMediaKeys::MVMediaKeys(const std::string& path)
    : _path(path)
{
    reload();
}

void MVMediaKeys::reload()
{
    _keys.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(_path, ec))
        return;
    auto list = HXPropertyList::readFromFile(_path);
    if (list && list->isDictionary())
        _keys = list->dictionaryValue();
}

static std::string textOf(const HXPropertyList& value)
{
    if (value.isBoolean())
        return value.boolValue() ? "enable" : "disable";
    if (value.isString())
        return value.stringValue();
    if (value.isNumber())
        return value.isInteger() ? std::to_string(value.integerValue()) : std::to_string(value.realValue());
    return {};
}

std::vector<std::string> MVMediaKeys::mediaKeysForType(const std::string& type) const
{
    std::vector<std::string> out;
    auto it = _keys.find(type);
    if (it == _keys.end())
        return out;
    if (it->second.isArray()) {
        for (auto& v : it->second.arrayValue())
            if (!v.isArray() && !v.isDictionary())
                out.push_back(textOf(v));
    } else if (!it->second.isDictionary()) {
        out.push_back(textOf(it->second));
    }
    return out;
}

bool MVMediaKeys::boolForType(const std::string& type, bool defaultValue) const
{
    auto values = mediaKeysForType(type);
    if (values.empty())
        return defaultValue;
    std::string v = values.front();
    std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (v == "enable" || v == "yes" || v == "true" || v == "1")
        return true;
    if (v == "disable" || v == "no" || v == "false" || v == "0")
        return false;
    return defaultValue;
}
