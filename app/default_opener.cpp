#include "app/default_opener.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/desktop_entry.h"
#include "platform/basekit/error.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/task.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

namespace MVPDefaultOpener {

namespace {

std::string trim(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r");
    auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
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

std::string launcherDesktopEntryPath()
{
    for (const auto& folder : HXDesktopApplicationFolders()) {
        std::string path = folder + "/" + kLauncherDesktopEntry;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec))
            return path;
    }
    return {};
}

std::vector<std::string> mimeTypesOfDesktopEntry(const std::string& path)
{
    std::vector<std::string> types;
    auto keys = HXReadDesktopEntry(path);
    if (!keys || !keys->count("MimeType"))
        return types;
    std::istringstream list(keys->at("MimeType"));
    std::string type;
    while (std::getline(list, type, ';'))
        if (!trim(type).empty())
            types.push_back(trim(type));
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
    std::string program = HXProgramPathForCommand(xdgMime);
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
        bool ok
            = ended.terminationReason() == HXTaskTerminationReason::Exit && ended.terminationStatus() == 0;
        std::string message = ok
            ? localized("mvpPreferencesDefaultOpenerDone")
            : localized("mvpPreferencesDefaultOpenerFailed") + " " + trim(ended.standardErrorData());
        (*shared)({ ok, trim(message) });
    });
    HXError error;
    if (!task->launch(&error))
        finishLater(*shared, { false, localized("mvpPreferencesDefaultOpenerNoXdgMime") });
}

} // namespace MVPDefaultOpener
