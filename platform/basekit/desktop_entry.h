#pragma once
// Desktop entries: the files by which the desktop knows programs ("<name>.desktop" in the applications
// folders of the XDG data folders).
#include <map>
#include <optional>
#include <string>
#include <vector>

// The folders searched for desktop entries, in order: $XDG_DATA_HOME/applications (default
// ~/.local/share/applications), then the applications folder of each of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share).
std::vector<std::string> HXDesktopApplicationFolders();

// The keys of an entry's [Desktop Entry] group with their values as written (blanks around them removed;
// escapes left for the caller). Localized keys ("Name[fr]") keep their suffix. nullopt when the file cannot
// be read or has no such group.
std::optional<std::map<std::string, std::string>> HXReadDesktopEntry(const std::string& path);

// The program a command names: the command itself when it holds a '/', else the first executable of that
// name in the folders of $PATH. Empty when there is none.
std::string HXProgramPathForCommand(const std::string& command);
