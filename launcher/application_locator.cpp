#include "launcher/application_locator.h"

#include "platform/basekit/bundle.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string trim(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r");
    auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

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

// The program a command word names: itself when it holds a '/', else the first match on $PATH.
fs::path resolveCommand(const std::string& word)
{
    if (word.find('/') != std::string::npos)
        return word;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        fs::path candidate = fs::path(dir.empty() ? "." : dir) / word;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

bool isBundledPlayer(const std::string& commandWord)
{
    std::string bundled = MVPLauncherBundledPlayerPath();
    fs::path program = resolveCommand(commandWord);
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
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome)
        folders.push_back(std::string(dataHome) + "/applications");
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share/applications");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty())
            folders.push_back(dir + "/applications");
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return folders;
}

std::optional<MVPLauncherApplication> MVPLauncherSystemWorkspace::readDesktopEntry(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    MVPLauncherApplication application;
    application.identifier = fs::path(path).stem().string();
    bool inEntry = false, hasExec = false, hidden = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        auto equals = line.find('=');
        if (!inEntry || equals == std::string::npos)
            continue;
        std::string key = trim(line.substr(0, equals));
        std::string value = trim(line.substr(equals + 1));
        if (key == "Exec") {
            application.command = splitExecLine(unescapeValue(value));
            hasExec = !application.command.empty();
        } else if (key == "X-HFBundleVersion") {
            application.version = unescapeValue(value);
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    if (!hasExec || hidden)
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
