#include "launcher/application_locator.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/desktop_entry.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The escapes of a desktop entry's string values.
std::string unescapeValue(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            // Left for the Exec line's own quoting rules ("\\\"" and the like).
            out += '\\';
            out += next;
            break;
        }
    }
    return out;
}

std::string fileURL(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : fs::absolute(path).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
            url += char(c);
        else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

bool isBundledPlayer(const std::string& commandWord)
{
    std::string bundled = MVPLauncherBundledPlayerPath();
    fs::path program = HXProgramPathForCommand(commandWord);
    std::error_code ec;
    return !bundled.empty() && !program.empty() && fs::equivalent(program, bundled, ec);
}

bool spawn(const std::vector<std::string>& argv)
{
    if (argv.empty() || argv.front().empty())
        return false;
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    // The player runs on its own: the launcher does not wait for it.
    return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0;
}

} // namespace

std::vector<std::string> MVPLauncherSystemWorkspace::applicationFolders()
{
    return HXDesktopApplicationFolders();
}

std::optional<MVPLauncherApplication> MVPLauncherSystemWorkspace::readDesktopEntry(const std::string& path)
{
    auto keys = HXReadDesktopEntry(path);
    if (!keys)
        return std::nullopt;
    MVPLauncherApplication application;
    application.identifier = fs::path(path).stem().string();
    if (auto exec = keys->find("Exec"); exec != keys->end())
        application.command = splitExecLine(unescapeValue(exec->second));
    if (auto version = keys->find("X-HFBundleVersion"); version != keys->end())
        application.version = unescapeValue(version->second);
    auto hidden = keys->find("Hidden");
    if (application.command.empty() || (hidden != keys->end() && hidden->second == "true"))
        return std::nullopt;
    return application;
}

std::vector<std::string> MVPLauncherSystemWorkspace::splitExecLine(const std::string& exec)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size())
                word += exec[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::vector<std::vector<std::string>> MVPLauncherSystemWorkspace::commandLines(
    const std::vector<std::string>& command, const std::vector<std::string>& files)
{
    bool perFile = false, takesFiles = false;
    for (auto& word : command) {
        if (word == "%f" || word == "%u")
            perFile = takesFiles = true;
        else if (word == "%F" || word == "%U")
            takesFiles = true;
    }
    auto expand = [&](const std::vector<std::string>& batch) {
        std::vector<std::string> line;
        for (auto& word : command) {
            if (word == "%f" || word == "%F") {
                line.insert(line.end(), batch.begin(), batch.end());
            } else if (word == "%u" || word == "%U") {
                for (auto& file : batch)
                    line.push_back(fileURL(file));
            } else if (word.size() == 2 && word[0] == '%') {
                // Other field codes (icon, name, entry path) carry nothing the players need.
            } else {
                std::string text;
                for (size_t i = 0; i < word.size(); ++i) {
                    text += word[i];
                    if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%')
                        ++i;
                }
                line.push_back(text);
            }
        }
        if (!takesFiles)
            line.insert(line.end(), batch.begin(), batch.end());
        return line;
    };
    std::vector<std::vector<std::string>> lines;
    if (perFile) {
        for (auto& file : files)
            lines.push_back(expand({ file }));
    } else {
        lines.push_back(expand(files));
    }
    return lines;
}

std::optional<MVPLauncherApplication> MVPLauncherSystemWorkspace::applicationForIdentifier(
    const std::string& identifier)
{
    if (identifier.empty() || identifier.find('/') != std::string::npos)
        return std::nullopt;
    for (auto& folder : applicationFolders()) {
        std::string path = folder + "/" + identifier + ".desktop";
        if (!fs::exists(path))
            continue;
        // The first entry found decides, as a user's own entry hides the system's.
        auto application = readDesktopEntry(path);
        // The entry installed with this launcher names no version: it starts the player beside us.
        if (application && !application->version && identifier == "com.zantrel.movaraplayer")
            application->isBundled = isBundledPlayer(application->command.front());
        return application;
    }
    if (identifier == "com.zantrel.movaraplayer") {
        std::string player = MVPLauncherBundledPlayerPath();
        if (player.empty())
            return std::nullopt;
        MVPLauncherApplication application { identifier, { player }, std::nullopt, true };
        auto version = HXBundle::mainBundle()->objectForInfoDictionaryKey("HFBundleVersion");
        if (version.isString() && !version.stringValue().empty())
            application.version = version.stringValue();
        return application;
    }
    return std::nullopt;
}

bool MVPLauncherSystemWorkspace::openFiles(
    const std::vector<std::string>& files, const MVPLauncherApplication& application)
{
    bool opened = !files.empty();
    for (auto& line : commandLines(application.command, files))
        opened = spawn(line) && opened;
    return opened;
}

std::string MVPLauncherBundledPlayerPath()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    fs::path player = self.parent_path() / "movara-player";
    return access(player.c_str(), X_OK) == 0 ? player.string() : std::string();
}
