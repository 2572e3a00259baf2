#include "platform/basekit/bundle.h"

#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"

#include <climits>
#include <cstdlib>

#include <dlfcn.h>
#include <unistd.h>

namespace {

std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Every bundle made in this process, by folder. Bundles live as long as the program: plug-in code
// is never unloaded, and callers compare bundles by identity.
std::map<std::string, std::shared_ptr<HXBundle>>& registry()
{
    static auto* bundles = new std::map<std::string, std::shared_ptr<HXBundle>>();
    return *bundles;
}

std::string canonical(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return HXString::stringByStandardizingPath(path);
}

// The folder names of an installed program under its prefix.
constexpr const char* kInstalledBundleFolder = "share/movara-player";
constexpr const char* kInstalledHelperFolder = "libexec/movara-player";

bool isDirectory(const std::string& path)
{
    return HXFileManager::defaultManager().isDirectoryAtPath(path);
}

std::string mainBundleFolder()
{
    if (const char* folder = std::getenv("MOVARA_BUNDLE_DIR"); folder && *folder)
        return folder;
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    exe[n] = '\0';
    // <bundle>/bin/<program>, or <prefix>/bin/<program> of an installed program
    std::string folder
        = HXString::stringByDeletingLastPathComponent(HXString::stringByDeletingLastPathComponent(exe));
    std::string installed = folder + "/" + kInstalledBundleFolder;
    if (!isDirectory(folder + "/Resources") && isDirectory(installed))
        return installed;
    return folder;
}

bool isFile(const std::string& path)
{
    bool directory = false;
    return HXFileManager::defaultManager().fileExistsAtPath(path, &directory) && !directory;
}

} // namespace

HXBundle::HXBundle(std::string path)
    : _path(std::move(path))
{
}

HXBundle::~HXBundle() = default;

std::shared_ptr<HXBundle> HXBundle::mainBundle()
{
    static std::shared_ptr<HXBundle> main = [] {
        std::string folder = mainBundleFolder();
        auto bundle = folder.empty() ? nullptr : bundleWithPath(folder);
        // A program outside any bundle still answers: resources and info are simply absent.
        return bundle ? bundle : std::make_shared<HXBundle>(folder.empty() ? std::string("/") : folder);
    }();
    return main;
}

std::shared_ptr<HXBundle> HXBundle::bundleWithPath(const std::string& path)
{
    if (path.empty() || !HXFileManager::defaultManager().isDirectoryAtPath(path))
        return nullptr;
    std::string key = canonical(path);
    std::lock_guard lock(registryMutex());
    auto& bundles = registry();
    auto it = bundles.find(key);
    if (it != bundles.end())
        return it->second;
    auto bundle = std::make_shared<HXBundle>(key);
    bundles.emplace(key, bundle);
    return bundle;
}

std::shared_ptr<HXBundle> HXBundle::bundleWithIdentifier(const std::string& identifier)
{
    if (identifier.empty())
        return nullptr;
    mainBundle();
    std::vector<std::shared_ptr<HXBundle>> bundles;
    {
        std::lock_guard lock(registryMutex());
        for (const auto& [path, bundle] : registry())
            bundles.push_back(bundle);
    }
    for (const auto& bundle : bundles)
        if (bundle->bundleIdentifier() == identifier)
            return bundle;
    return nullptr;
}

std::shared_ptr<HXBundle> HXBundle::bundleForAddress(const void* address)
{
    Dl_info info {};
    if (address && ::dladdr(address, &info) && info.dli_fname) {
        std::string library = canonical(info.dli_fname);
        std::vector<std::shared_ptr<HXBundle>> bundles;
        {
            std::lock_guard lock(registryMutex());
            for (const auto& [path, bundle] : registry())
                bundles.push_back(bundle);
        }
        for (const auto& bundle : bundles)
            if (bundle->isLoaded() && canonical(bundle->executablePath()) == library)
                return bundle;
    }
    return mainBundle();
}

std::string HXBundle::resourcePath() const
{
    return _path + "/Resources";
}

std::string HXBundle::builtInPlugInsPath() const
{
    return _path + "/PlugIns";
}

std::string HXBundle::pathForAuxiliaryExecutable(const std::string& name) const
{
    std::string suffix = std::string("/") + kInstalledBundleFolder;
    if (_path.size() > suffix.size() && _path.compare(_path.size() - suffix.size(), suffix.size(), suffix) == 0)
        return _path.substr(0, _path.size() - suffix.size()) + "/" + kInstalledHelperFolder + "/" + name;
    return _path + "/libexec/" + name;
}

std::string HXBundle::executablePath() const
{
    std::string name = objectForInfoDictionaryKey(kHFBundleExecutableKey).stringValue();
    if (!name.empty()) {
        std::string path = name.front() == '/' ? name : _path + "/" + name;
        if (!isFile(path) && HXString::pathExtension(name).empty() && isFile(path + ".so"))
            path += ".so";
        return path;
    }
    return _path + "/" + HXString::stringByDeletingPathExtension(HXString::lastPathComponent(_path)) + ".so";
}

std::string HXBundle::pathForResource(const std::string& name, const std::string& type) const
{
    return pathForResource(name, type, {});
}

std::string HXBundle::pathForResource(
    const std::string& name, const std::string& type, const std::string& subdirectory) const
{
    if (name.empty())
        return {};
    std::string folder = subdirectory.empty() ? resourcePath() : resourcePath() + "/" + subdirectory;
    std::string extension = type;
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    std::string path = folder + "/" + name;
    if (!extension.empty())
        path += "." + extension;
    return HXFileManager::defaultManager().fileExistsAtPath(path) ? path : std::string();
}

std::vector<std::string> HXBundle::pathsForResourcesOfType(
    const std::string& type, const std::string& subdirectory) const
{
    std::string folder = subdirectory.empty() ? resourcePath() : resourcePath() + "/" + subdirectory;
    std::string extension = type;
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    std::vector<std::string> paths;
    auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(folder);
    if (!names)
        return paths;
    for (const auto& name : *names)
        if (extension.empty() || HXString::pathExtension(name) == extension)
            paths.push_back(folder + "/" + name);
    return paths;
}

const HXPropertyList::Dictionary& HXBundle::infoDictionary() const
{
    std::lock_guard lock(_mutex);
    if (!_infoRead) {
        _infoRead = true;
        for (const std::string& path : { _path + "/Info.plist", resourcePath() + "/Info.plist" }) {
            if (!isFile(path))
                continue;
            HXError error;
            auto info = HXPropertyList::readFromFile(path, &error);
            if (info && info->isDictionary())
                _info = info->dictionaryValue();
            else
                HXLog("The bundle information " + path + " cannot be read: " + error.localizedDescription());
            break;
        }
    }
    return _info;
}

HXPropertyList HXBundle::objectForInfoDictionaryKey(const std::string& key) const
{
    const auto& info = infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? HXPropertyList() : it->second;
}

std::string HXBundle::bundleIdentifier() const
{
    return objectForInfoDictionaryKey(kHFBundleIdentifierKey).stringValue();
}

const HXPropertyList::Dictionary& HXBundle::stringsTable(const std::string& table) const
{
    // Called with _mutex held.
    auto it = _tables.find(table);
    if (it != _tables.end())
        return it->second;
    HXPropertyList::Dictionary strings;
    std::string path = resourcePath() + "/" + table + ".strings.plist";
    if (isFile(path)) {
        HXError error;
        auto value = HXPropertyList::readFromFile(path, &error);
        if (value && value->isDictionary())
            strings = value->dictionaryValue();
        else
            HXLog("The strings table " + path + " cannot be read: " + error.localizedDescription());
    }
    return _tables.emplace(table, std::move(strings)).first->second;
}

std::string HXBundle::localizedStringForKey(
    const std::string& key, const std::string& value, const std::string& table) const
{
    {
        std::lock_guard lock(_mutex);
        const auto& strings = stringsTable(table.empty() ? "Localizable" : table);
        auto it = strings.find(key);
        if (it != strings.end() && it->second.isString())
            return it->second.stringValue();
    }
    return value.empty() ? key : value;
}

bool HXBundle::load(HXError* error)
{
    std::string path = executablePath();
    std::lock_guard lock(_mutex);
    if (_handle)
        return true;
    std::string name = HXString::lastPathComponent(_path);
    if (!isFile(path)) {
        if (error) {
            *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileNoSuchFileError,
                "The bundle \"" + name + "\" couldn't be loaded because its executable couldn't be located.");
            error->userInfo()[HXFilePathErrorKey] = HXPropertyList(path);
        }
        return false;
    }
    ::dlerror();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        if (error) {
            *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadCorruptFileError,
                "The bundle \"" + name + "\" couldn't be loaded because it is damaged or incompatible.");
            error->userInfo()[HXFilePathErrorKey] = HXPropertyList(path);
            if (why)
                error->userInfo()[HXLocalizedFailureReasonErrorKey] = HXPropertyList(why);
        }
        return false;
    }
    _handle = handle;
    return true;
}

bool HXBundle::isLoaded() const
{
    std::lock_guard lock(_mutex);
    return _handle != nullptr;
}

void* HXBundle::symbol(const std::string& name)
{
    if (!load())
        return nullptr;
    std::lock_guard lock(_mutex);
    return ::dlsym(_handle, name.c_str());
}

std::string HXLocalizedString(const std::string& key, const std::string&)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

std::string HXLocalizedStringFromTable(const std::string& key, const std::string& table, const std::string&)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, table);
}

std::string HXLocalizedStringFromTableInBundle(
    const std::string& key, const std::string& table, const HXBundle& bundle, const std::string&)
{
    return bundle.localizedStringForKey(key, {}, table);
}
