#include "app/default_opener.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/task.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace MVPDefaultOpener {

namespace {

std::string trim(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r");
    auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The program's path on $PATH (or the path itself when it names a folder); empty when not found.
std::string findProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string localized(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key);
}

void finishLater(std::function<void(Result)> done, Result result)
{
    HXRunLoop::main().perform([done = std::move(done), result] { done(result); });
}

} // namespace

std::vector<std::string> applicationFolders()
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

std::string launcherDesktopEntryPath()
{
    for (const auto& folder : applicationFolders()) {
        std::string path = folder + "/" + kLauncherDesktopEntry;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec))
            return path;
    }
    return {};
}

std::vector<std::string> mimeTypesOfDesktopEntry(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> types;
    bool inEntry = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.rfind("MimeType", 0) != 0)
            continue;
        auto equals = line.find('=');
        if (equals == std::string::npos || trim(line.substr(0, equals)) != "MimeType")
            continue;
        types.clear();
        std::istringstream list(trim(line.substr(equals + 1)));
        std::string type;
        while (std::getline(list, type, ';'))
            if (!trim(type).empty())
                types.push_back(trim(type));
    }
    return types;
}

void makeLauncherDefault(std::function<void(Result)> done, const std::string& xdgMime)
{
    std::string entry = launcherDesktopEntryPath();
    auto types = entry.empty() ? std::vector<std::string>() : mimeTypesOfDesktopEntry(entry);
    if (types.empty()) {
        finishLater(std::move(done), { false, localized("mvpPreferencesDefaultOpenerNotInstalled") });
        return;
    }
    std::string program = findProgram(xdgMime);
    if (program.empty()) {
        finishLater(std::move(done), { false, localized("mvpPreferencesDefaultOpenerNoXdgMime") });
        return;
    }
    auto task = HXTask::task();
    task->setLaunchPath(program);
    std::vector<std::string> arguments { "default", kLauncherDesktopEntry };
    arguments.insert(arguments.end(), types.begin(), types.end());
    task->setArguments(arguments);
    task->setStandardInput(HXTaskStream::Null);
    task->setStandardOutput(HXTaskStream::Null);
    task->setStandardError(HXTaskStream::Pipe);
    auto shared = std::make_shared<std::function<void(Result)>>(std::move(done));
    task->setTerminationHandler([shared](HXTask& ended) {
        bool ok = ended.terminationReason() == HXTaskTerminationReason::Exit && ended.terminationStatus() == 0;
        std::string message = ok ? localized("mvpPreferencesDefaultOpenerDone")
                                 : localized("mvpPreferencesDefaultOpenerFailed") + " " + trim(ended.standardErrorData());
        (*shared)({ ok, trim(message) });
    });
    HXError error;
    if (!task->launch(&error))
        finishLater(*shared, { false, localized("mvpPreferencesDefaultOpenerNoXdgMime") });
}

} // namespace MVPDefaultOpener
