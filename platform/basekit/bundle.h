#pragma once
// HXBundle: a folder holding a program or a plug-in with its information dictionary and resources.
//
// Layout:  <bundle>/Info.plist (or <bundle>/Resources/Info.plist)   the information dictionary
//          <bundle>/Resources/                                      resources, strings tables
//          <bundle>/bin/<program>                                   the main bundle's programs
//          <bundle>/<Name>.so                                       a plug-in's code ("HFExecutable")
//          <bundle>/libexec/<program>                               the main bundle's helper programs
// The main bundle is the parent of the folder of the running executable (/proc/self/exe), or the
// folder named by the environment variable MOVARA_BUNDLE_DIR when it is set.
//
// Installed under a prefix the program is spread out the usual way: <prefix>/bin/<program>, the
// bundle (Resources/, PlugIns/) in <prefix>/share/movara-player and the helper programs in
// <prefix>/libexec/movara-player. A program in <prefix>/bin whose prefix has that folder and no
// Resources/ of its own takes <prefix>/share/movara-player as its main bundle.
// A strings table "<table>" is Resources/<table>.strings.plist, an XML property-list dictionary.
#include "platform/basekit/property_list.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class HXError;

// Information dictionary keys.
inline constexpr const char* kHFBundleIdentifierKey = "HFBundleIdentifier";
inline constexpr const char* kHFBundleNameKey = "HFBundleName";
inline constexpr const char* kHFBundleExecutableKey = "HFExecutable";
inline constexpr const char* kHFBundleVersionKey = "HFBundleVersion";
inline constexpr const char* kHFBundleShortVersionStringKey = "HFBundleShortVersionString";

class HXBundle {
public:
    // One object per folder: asking twice for the same path gives the same bundle.
    static std::shared_ptr<HXBundle> mainBundle();
    // nullptr when `path` is not a folder.
    static std::shared_ptr<HXBundle> bundleWithPath(const std::string& path);
    // A bundle made earlier in this process whose identifier is `identifier`, else nullptr.
    static std::shared_ptr<HXBundle> bundleWithIdentifier(const std::string& identifier);
    // The bundle whose code holds `address` (a function or object of a loaded plug-in or of the
    // program): the plug-in bundle that loaded that library, else the main bundle.
    static std::shared_ptr<HXBundle> bundleForAddress(const void* address);

    explicit HXBundle(std::string path); // use bundleWithPath; public for std::make_shared
    ~HXBundle();
    HXBundle(const HXBundle&) = delete;
    HXBundle& operator=(const HXBundle&) = delete;

    const std::string& bundlePath() const { return _path; }
    std::string resourcePath() const; // <bundle>/Resources
    std::string builtInPlugInsPath() const; // <bundle>/PlugIns
    // The plug-in library: the file named by "HFExecutable", else <bundle>/<folder name without
    // extension>.so.
    std::string executablePath() const;
    // A helper program of the bundle: <bundle>/libexec/<name>, or <prefix>/libexec/movara-player/<name>
    // for a bundle installed in <prefix>/share/movara-player.
    std::string pathForAuxiliaryExecutable(const std::string& name) const;

    // Resources: "" when there is none. `type` may be empty (then `name` is the whole file name)
    // and may start with '.'. The folder `subdirectory` is relative to the resources folder.
    std::string pathForResource(const std::string& name, const std::string& type) const;
    std::string pathForResource(
        const std::string& name, const std::string& type, const std::string& subdirectory) const;
    // Every file of the given extension (all files when empty), sorted by name.
    std::vector<std::string> pathsForResourcesOfType(
        const std::string& type, const std::string& subdirectory = {}) const;

    // The information dictionary, read once (empty when missing or unreadable).
    const HXPropertyList::Dictionary& infoDictionary() const;
    HXPropertyList objectForInfoDictionaryKey(const std::string& key) const;
    std::string bundleIdentifier() const;

    // The text for `key` in strings table `table` ("Localizable" when empty). A missing key gives
    // `value` when that is not empty, else the key itself. Tables are read once and kept.
    std::string localizedStringForKey(
        const std::string& key, const std::string& value = {}, const std::string& table = {}) const;

    // Plug-in code: load() opens the executable with dlopen (once; a plug-in is never unloaded).
    bool load(HXError* error = nullptr);
    bool isLoaded() const;
    // The address of an exported symbol of the loaded code (loads it first); nullptr when absent.
    void* symbol(const std::string& name);

private:
    const HXPropertyList::Dictionary& stringsTable(const std::string& table) const;

    std::string _path;
    mutable std::mutex _mutex;
    mutable bool _infoRead = false;
    mutable HXPropertyList::Dictionary _info;
    mutable std::map<std::string, HXPropertyList::Dictionary> _tables;
    void* _handle = nullptr;
};

// Localized strings of the main bundle (table "Localizable", or `table`), and of another bundle.
std::string HXLocalizedString(const std::string& key, const std::string& comment = {});
std::string HXLocalizedStringFromTable(
    const std::string& key, const std::string& table, const std::string& comment = {});
std::string HXLocalizedStringFromTableInBundle(const std::string& key, const std::string& table,
    const HXBundle& bundle, const std::string& comment = {});
