#pragma once
// Shared helpers for the test programs: temporary folders, running tools, fixtures.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace movara::test {

// A fresh folder under the system's temporary directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return _path; }
    std::filesystem::path operator/(const std::string& name) const { return _path / name; }

private:
    std::filesystem::path _path;
    int _owner = 0; // the process that made it; a forked child that exits leaves it alone
};

// Sets environment variables for one test and puts the old values back when it goes away.
class EnvironmentGuard {
public:
    EnvironmentGuard() = default;
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;
    ~EnvironmentGuard();
    void set(const char* name, const std::string& value);
    void unset(const char* name);

private:
    void remember(const char* name);
    std::vector<std::pair<std::string, std::optional<std::string>>> _saved;
};

struct CommandResult {
    int status = -1;     // exit status, or -1 when the command could not be run
    std::string output;  // standard output
};

// Runs argv[0] with the arguments (no shell) and collects its standard output.
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input = {});

// True when the program is found on PATH.
bool haveProgram(const std::string& name);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Makes `path` (.mov or .mp4) with the ffmpeg command line: a 160x120 test picture with a sine tone and one
// chapter per title, each `secondsEach` long, written from an ffmetadata file. False when ffmpeg failed.
bool makeChapteredMovie(
    const std::filesystem::path& path, const std::vector<std::string>& titles, int secondsEach = 1);

// A subtitle: shown from `start` to `end` (seconds, to the millisecond), one line of UTF-8 text.
struct Subtitle {
    double start;
    double end;
    std::string text;
};

// Makes `path` (.mov) with the ffmpeg command line: a 160x120 test picture (10 per second), a sine tone
// (AAC at 8 kHz) and a subtitle track ('tx3g') written from an .srt of `subtitles`, `seconds` long.
// False when ffmpeg failed.
bool makeSubtitledMovie(
    const std::filesystem::path& path, const std::vector<Subtitle>& subtitles, int seconds);

}  // namespace movara::test
