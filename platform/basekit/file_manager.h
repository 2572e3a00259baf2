#pragma once
// HXFileManager: files and folders, plus the special folders of the user, following XDG.
//
// Special folders on Linux:
//   home                    $HOME (else the password database)
//   temporary               $TMPDIR (else /tmp)
//   user config             $XDG_CONFIG_HOME/movara-player (XDG_CONFIG_HOME defaults to ~/.config)
//   user cache              $XDG_CACHE_HOME/movara-player (XDG_CACHE_HOME defaults to ~/.cache)
//   library folders         user domain: $XDG_DATA_HOME (default ~/.local/share); local domain: each
//                           folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Callers append
//                           "Application Support/..." to them.
//   movies, desktop         the XDG user folders VIDEOS and DESKTOP ($XDG_CONFIG_HOME/user-dirs.dirs),
//                           else ~/Videos and ~/Desktop
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HXError;

struct HXFileAttributes {
    uint64_t size = 0;
    HXDate modificationDate;
    bool isDirectory = false;
    bool isSymbolicLink = false;
    uint32_t permissions = 0; // the mode's permission bits
};

class HXFileManager {
public:
    static HXFileManager& defaultManager();

    // Follows symbolic links. isDirectory, when given, is set only when the file exists.
    bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
    bool isDirectoryAtPath(const std::string& path) const;
    bool isReadableFileAtPath(const std::string& path) const;
    bool isWritableFileAtPath(const std::string& path) const;
    // True when the folder holding the item lets us remove it.
    bool isDeletableFileAtPath(const std::string& path) const;

    // Without intermediates the parent must exist. An existing folder is success only with intermediates.
    bool createDirectoryAtPath(
        const std::string& path, bool withIntermediateDirectories, HXError* error = nullptr);
    // Removes a file, a link or a folder with everything in it.
    bool removeItemAtPath(const std::string& path, HXError* error = nullptr);
    // Fail when `destination` exists. Moving across file systems copies, then removes the source.
    bool moveItemAtPath(const std::string& source, const std::string& destination, HXError* error = nullptr);
    bool copyItemAtPath(const std::string& source, const std::string& destination, HXError* error = nullptr);

    // File contents. writeToFile with `atomically` writes a temporary file in the same folder, syncs
    // it and renames it over the target, so readers see the old or the new file, never a part.
    std::optional<std::string> contentsAtPath(const std::string& path, HXError* error = nullptr) const;
    bool writeToFile(
        const std::string& path, std::string_view bytes, bool atomically, HXError* error = nullptr);
    // Creates the file only when nothing is at `path` yet (O_EXCL); false with EEXIST otherwise.
    bool createFileExclusively(const std::string& path, std::string_view bytes, HXError* error = nullptr);

    // Names in the folder (no "." or ".."), sorted; std::nullopt when it cannot be read.
    std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(
        const std::string& path, HXError* error = nullptr) const;
    std::optional<HXFileAttributes> attributesOfItemAtPath(
        const std::string& path, HXError* error = nullptr) const;
    std::optional<uint64_t> fileSizeAtPath(const std::string& path) const;
    std::optional<HXDate> modificationDateAtPath(const std::string& path) const;

    // The name to show for a file: its last path component ("/" for the root).
    std::string displayNameAtPath(const std::string& path) const;

    std::string currentDirectoryPath() const;
    bool changeCurrentDirectoryPath(const std::string& path);
};

// Special folders (see above).
std::string HXHomeDirectory();
std::string HXTemporaryDirectory();
std::string HXUserConfigDirectory();
std::string HXUserCacheDirectory();
std::string HXMoviesDirectory();
std::string HXDesktopDirectory();

enum HXSearchPathDirectory : unsigned {
    HXLibraryDirectory = 1,
    HXApplicationSupportDirectory = 2, // <library>/Application Support
    HXAllLibrariesDirectory = 101, // every library folder
};
enum HXSearchPathDomainMask : unsigned {
    HXUserDomainMask = 1,
    HXLocalDomainMask = 2,
    HXNetworkDomainMask = 4, // none on Linux
    HXSystemDomainMask = 8, // none on Linux: system data folders are part of $XDG_DATA_DIRS
    HXAllDomainsMask = 0xFFFF,
};
// The folders of `directory` in the domains of `domainMask`, user domain first; tildes are
// expanded when `expandTilde` (the folders need not exist).
std::vector<std::string> HXSearchPathForDirectoriesInDomains(
    unsigned directory, unsigned domainMask, bool expandTilde = true);
