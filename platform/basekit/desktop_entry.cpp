#include "platform/basekit/desktop_entry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string trim(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r");
    auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> HXDesktopApplicationFolders()
{
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome)
        folders.push_back(std::string(dataHome) + "/applications");
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share/applications");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream dirs(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty())
            folders.push_back(dir + "/applications");
    return folders;
}

std::optional<std::map<std::string, std::string>> HXReadDesktopEntry(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::map<std::string, std::string> keys;
    bool inEntry = false, found = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            found = found || inEntry;
            continue;
        }
        auto equals = line.find('=');
        if (!inEntry || equals == std::string::npos)
            continue;
        // The first occurrence of a key counts.
        keys.emplace(trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
    }
    if (!found)
        return std::nullopt;
    return keys;
}

std::string HXProgramPathForCommand(const std::string& command)
{
    if (command.empty())
        return {};
    if (command.find('/') != std::string::npos)
        return ::access(command.c_str(), X_OK) == 0 ? command : std::string();
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + command;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}
