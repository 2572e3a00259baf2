#pragma once
// How the launcher finds a player by its identifier and hands it files.
//
// A player is named by a desktop entry "<identifier>.desktop" in the applications folder of
// $XDG_DATA_HOME (default ~/.local/share) or of one of $XDG_DATA_DIRS (default /usr/local/share:/usr/share),
// searched in that order. The entry's "Exec" line is the command (field codes %f, %F, %u and %U take the
// files; with none, the files follow the command), and its "X-HFBundleVersion" key is the player's version.
// Movara Player is also found without an entry: the movara-player program next to the launcher, which is
// of the launcher's own release. An entry that states no version but starts that same program (the entry
// installed with the launcher) counts as that release too.
#include <optional>
#include <string>
#include <vector>

struct MVPLauncherApplication {
    std::string identifier;
    std::vector<std::string> command; // the Exec line, split into words, field codes kept
    // The version the player states; nullopt when it states none.
    std::optional<std::string> version;
    // Installed with this launcher: counts as recent enough without a version.
    bool isBundled = false;
};

class MVPLauncherWorkspace {
public:
    virtual ~MVPLauncherWorkspace() = default;
    virtual std::optional<MVPLauncherApplication> applicationForIdentifier(const std::string& identifier) = 0;
    // Starts the application with the files; false when it could not be started.
    virtual bool openFiles(const std::vector<std::string>& files, const MVPLauncherApplication& application)
        = 0;
};

// The workspace of the running system: desktop entries, and programs started as child processes.
class MVPLauncherSystemWorkspace : public MVPLauncherWorkspace {
public:
    std::optional<MVPLauncherApplication> applicationForIdentifier(const std::string& identifier) override;
    bool openFiles(const std::vector<std::string>& files, const MVPLauncherApplication& application) override;

    // The folders searched for desktop entries, in order.
    static std::vector<std::string> applicationFolders();
    // An entry's [Desktop Entry] group; nullopt when the file is missing, has no such group or no Exec line.
    static std::optional<MVPLauncherApplication> readDesktopEntry(const std::string& path);
    // An Exec line split into words (double quotes group words; backslash escapes inside them).
    static std::vector<std::string> splitExecLine(const std::string& exec);
    // The command lines that open the files: one for all of them, or one per file for %f and %u.
    static std::vector<std::vector<std::string>> commandLines(
        const std::vector<std::string>& command, const std::vector<std::string>& files);
};

// The movara-player program beside the running launcher, or "" when there is none.
std::string MVPLauncherBundledPlayerPath();
