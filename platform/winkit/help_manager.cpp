#include "platform/winkit/help_manager.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/task.h"
#include "platform/basekit/url.h"

#include <filesystem>

namespace {

bool openWithDesktop(const std::string& url)
{
    const char* program = "/usr/bin/xdg-open";
    if (!std::filesystem::exists(program))
        return false;
    auto task = HXTask::task();
    task->setLaunchPath(program);
    task->setArguments({ url });
    task->setStandardInput(HXTaskStream::Null);
    task->setStandardOutput(HXTaskStream::Null);
    task->setStandardError(HXTaskStream::Null);
    return task->launch();
}

} // namespace

HXHelpManager& HXHelpManager::sharedHelpManager()
{
    static HXHelpManager manager;
    return manager;
}

std::string HXHelpManager::helpURL(
    const std::string& anchor, const std::string& book, const std::shared_ptr<HXBundle>& inBundle) const
{
    auto bundle = inBundle ? inBundle : HXBundle::mainBundle();
    if (!bundle)
        return {};
    std::string name = book;
    if (name.empty())
        name = bundle->objectForInfoDictionaryKey(kHFBundleHelpBookNameKey).stringValue();
    if (name.empty())
        name = "Help";
    // The book's name is a folder of the resources, never a path out of them.
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    std::filesystem::path page = std::filesystem::path(bundle->resourcePath()) / name / "index.html";
    std::error_code error;
    if (!std::filesystem::is_regular_file(page, error))
        return {};
    std::string url = HXURL::fileURLWithPath(page.string()).absoluteString();
    if (!anchor.empty())
        url += "#" + anchor;
    return url;
}

bool HXHelpManager::openHelpAnchor(
    const std::string& anchor, const std::string& book, const std::shared_ptr<HXBundle>& bundle)
{
    std::string url = helpURL(anchor, book, bundle);
    if (url.empty())
        return false;
    return _opener ? _opener(url) : openWithDesktop(url);
}
