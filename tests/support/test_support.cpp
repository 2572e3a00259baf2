#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace movara::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string templ = (fs::temp_directory_path() / "movara-test-XXXXXX").string();
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    _path = templ;
    _owner = int(getpid());
}

TempDir::~TempDir()
{
    if (int(getpid()) != _owner)
        return;
    std::error_code ec;
    fs::remove_all(_path, ec);
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input)
{
    CommandResult result;
    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0)
        return result;
    pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(in[0]);
    if (!input.empty()) {
        size_t off = 0;
        while (off < input.size()) {
            ssize_t n = write(in[1], input.data() + off, input.size() - off);
            if (n <= 0)
                break;
            off += size_t(n);
        }
    }
    close(in[1]);
    char buf[65536];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        result.output.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

bool haveProgram(const std::string& name)
{
    return runCommand({"sh", "-c", "command -v " + name + " >/dev/null"}).status == 0;
}

std::string readFile(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

namespace {

// Every test program runs with its own configuration, data and runtime folders, so nothing a test
// writes reaches the user's real ones. The folders go when the program exits, after whatever the
// program itself writes at exit (the user defaults): they are held by a static made before any test
// ran, which is therefore destroyed after every exit handler a test installed.
class IsolatedUserFolders : public ::testing::Environment {
public:
    void SetUp() override
    {
        static TempDir root;
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
            fs::path dir = root.path() / name;
            fs::create_directories(dir);
            fs::permissions(dir, fs::perms::owner_all);
            setenv(name, dir.c_str(), 1);
        }
        setenv("HOME", root.path().c_str(), 1);
        // Without a session bus, libdbus (asked by SDL when a sound output opens) would start one of its
        // own by forking; a child forked from a sanitized program with threads can hang in malloc before
        // it runs anything. The tests get an address where no bus answers; those that need a bus start
        // one and give its address themselves.
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!bus || !*bus)
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root.path() / "no-session-bus").string()).c_str(), 1);
    }
};

[[maybe_unused]] ::testing::Environment* const isolated =
    ::testing::AddGlobalTestEnvironment(new IsolatedUserFolders);

}  // namespace

}  // namespace movara::test

namespace movara::test {

EnvironmentGuard::~EnvironmentGuard()
{
    // Latest first, so a variable set twice gets its original value back.
    for (auto it = _saved.rbegin(); it != _saved.rend(); ++it)
        it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1) : ::unsetenv(it->first.c_str());
}

void EnvironmentGuard::set(const char* name, const std::string& value)
{
    remember(name);
    ::setenv(name, value.c_str(), 1);
}

void EnvironmentGuard::unset(const char* name)
{
    remember(name);
    ::unsetenv(name);
}

void EnvironmentGuard::remember(const char* name)
{
    const char* value = std::getenv(name);
    _saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
}

} // namespace movara::test

namespace movara::test {

bool makeChapteredMovie(
    const std::filesystem::path& path, const std::vector<std::string>& titles, int secondsEach)
{
    if (titles.empty() || secondsEach <= 0)
        return false;
    std::string metadata = ";FFMETADATA1\n";
    for (size_t i = 0; i < titles.size(); ++i)
        metadata += "[CHAPTER]\nTIMEBASE=1/1\nSTART=" + std::to_string(i * size_t(secondsEach))
            + "\nEND=" + std::to_string((i + 1) * size_t(secondsEach)) + "\ntitle=" + titles[i] + "\n";
    auto metadataPath = path;
    metadataPath += ".ffmetadata";
    writeFile(metadataPath, metadata);
    std::string seconds = std::to_string(titles.size() * size_t(secondsEach));
    auto result = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=10:duration=" + seconds, "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=8000:duration=" + seconds, "-i", metadataPath.string(), "-map", "0",
        "-map", "1", "-map_chapters", "2", "-c:v", "mpeg4", "-g", "1", "-q:v", "6", "-c:a", "aac",
        path.string() });
    std::error_code ec;
    std::filesystem::remove(metadataPath, ec);
    return result.status == 0 && std::filesystem::exists(path);
}

bool makeSubtitledMovie(
    const std::filesystem::path& path, const std::vector<Subtitle>& subtitles, int seconds)
{
    auto stamp = [](double t) {
        long ms = std::lround(t * 1000);
        char text[32];
        std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld,%03ld", ms / 3600000, ms / 60000 % 60,
            ms / 1000 % 60, ms % 1000);
        return std::string(text);
    };
    std::string srt;
    for (size_t i = 0; i < subtitles.size(); ++i)
        srt += std::to_string(i + 1) + "\n" + stamp(subtitles[i].start) + " --> " + stamp(subtitles[i].end)
            + "\n" + subtitles[i].text + "\n\n";
    auto srtPath = path;
    srtPath += ".srt";
    writeFile(srtPath, srt);
    std::string duration = std::to_string(seconds);
    auto result = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=10:duration=" + duration, "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=8000:duration=" + duration, "-i", srtPath.string(), "-map", "0",
        "-map", "1", "-map", "2", "-c:v", "mpeg4", "-g", "1", "-q:v", "6", "-c:a", "aac", "-c:s", "mov_text",
        path.string() });
    std::error_code ec;
    std::filesystem::remove(srtPath, ec);
    return result.status == 0 && std::filesystem::exists(path);
}

} // namespace movara::test
