#pragma once
// MVPDefaultOpener: makes the launcher (PlayerChooser) the file manager's default opener of movies, when the
// user asks for it in the preferences. The types are those the launcher's installed desktop entry lists; the
// choice goes into the user's mimeapps.list through `xdg-mime default`, as the desktop expects.
#include <functional>
#include <string>
#include <vector>

namespace MVPDefaultOpener {

inline constexpr const char* kLauncherDesktopEntry = "com.zantrel.playerchooser.desktop";

// The launcher's entry in the first of the desktop's applications folders that holds one; empty when none
// does.
std::string launcherDesktopEntryPath();
// The types of the MimeType line of an entry's [Desktop Entry] group (empty when unreadable).
std::vector<std::string> mimeTypesOfDesktopEntry(const std::string& path);

// How a request ended: whether the launcher is now the default, and a sentence for the user.
struct Result {
    bool succeeded = false;
    std::string message;
};

// Runs `xdg-mime default <launcher entry> <types...>` without waiting for it; `done` runs on the main thread
// once it has ended (at once when there is no entry or no xdg-mime). `xdgMime` is the program to run.
void makeLauncherDefault(std::function<void(Result)> done, const std::string& xdgMime = "xdg-mime");

} // namespace MVPDefaultOpener
