// The real movara-player driven from a shell by the real movara-script: chapters listed, renamed and saved,
// the title ffmpeg wrote read as an annotation, an export to MPEG-4 written where the shell is, a recording
// from the generated stand-in devices started, paused and stopped, and the client's own manners (help, keys,
// readable answers, records on the command line, errors as typed, replies of any size).
#include "player_process.h"

#include <chrono>

namespace {

namespace fs = std::filesystem;
using movara::scriptingtest::kScript;

// Quotes a word for sh.
std::string quoted(const std::string& word)
{
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The player works in the test's folder, the shell in a folder of its own: relative paths of scripts are the
// shell's. Recordings go to a desktop folder of the test's, from the generated stand-in devices.
class ScriptingShellAppTest : public movara::scriptingtest::PlayerProcessTest {
protected:
    void SetUp() override
    {
        PlayerProcessTest::SetUp();
        std::filesystem::create_directories(home / "desktop");
        std::filesystem::create_directories(home / "work");
        movara::test::writeFile(
            home / "config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"" + (home / "desktop").string() + "\"\n");
    }
    pid_t start(std::vector<std::string> args)
    {
        args.insert(args.begin(), "--no-featured-movie");
        return startPlayer(args, { "MOVARA_SILENT_AUDIO=1", "MOVARA_CAPTURE_DEVICES=standin" }, home.path());
    }

    // movara-script run by sh in the folder `work`, its output and errors together.
    movara::test::CommandResult shell(const std::vector<std::string>& args)
    {
        std::string line = "cd " + quoted((home / "work").string()) + " && " + quoted(kScript);
        for (const auto& a : args)
            line += " " + quoted(a);
        return movara::test::runCommand({ "sh", "-c", line + " 2>&1" });
    }
    bool waitFor(const std::vector<std::string>& args, const std::string& wanted)
    {
        for (int i = 0; i < 300; ++i) {
            auto r = shell(args);
            if (r.status == 0 && r.output == wanted + "\n")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

TEST_F(ScriptingShellAppTest, ChaptersAnnotationsAndExports)
{
    auto movie = home / "film.mov";
    movara::test::writeFile(home / "meta.txt",
        ";FFMETADATA1\ntitle=Sea "
        "Film\n[CHAPTER]\nTIMEBASE=1/1\nSTART=0\nEND=1\ntitle=Opening\n[CHAPTER]\nTIMEBASE=1/1\nSTART=1\n"
        "END=2\ntitle=Middle\n[CHAPTER]\nTIMEBASE=1/1\nSTART=2\nEND=3\ntitle=Closing\n");
    auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=10:duration=3", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=8000:duration=3", "-i", (home / "meta.txt").string(), "-map", "0",
        "-map", "1", "-map_metadata", "2", "-map_chapters", "2", "-c:v", "mpeg4", "-g", "1", "-c:a", "aac",
        movie.string() });
    ASSERT_EQ(made.status, 0);
    start({ movie.string() });
    ASSERT_TRUE(waitFor({ "count", "movies[*]" }, "1"));

    EXPECT_EQ(answer({ "get", "movies[1].chapters[*].name" }), "[Opening, Middle, Closing]");
    EXPECT_EQ(answer({ "get", "movies[1].annotationElements[\"Full Name\"].fullText" }), "Sea Film");

    // Renamed and saved (to a path relative to the shell's folder), ffprobe reads the new name.
    ASSERT_EQ(shell({ "set", "movies[1].chapters[\"Middle\"].name", "The Middle" }).status, 0);
    EXPECT_EQ(answer({ "get", "movies[1].chapters[2].name" }), "The Middle");
    ASSERT_EQ(
        answer({ "make", "movies[1]", "annotationElements", "{name: \"Copyright\", fullText: \"2024 Us\"}" }),
        "orderedDocuments{0}.annotationElements[\"Copyright\"]");
    auto save = shell({ "do", "saveSelfContained", "movies[1]", "DestinationFile=renamed.mov" });
    ASSERT_EQ(save.status, 0) << save.output;
    auto saved = home / "work" / "renamed.mov";
    ASSERT_TRUE(fs::exists(saved));
    auto chapters = ffprobe({ "-show_entries", "chapter_tags=title", "-of", "csv=p=0", saved.string() });
    EXPECT_EQ(chapters, "Opening\nThe Middle\nClosing\n");
    auto tags
        = ffprobe({ "-show_entries", "format_tags=title,copyright", "-of", "default=nw=1", saved.string() });
    EXPECT_NE(tags.find("TAG:title=Sea Film"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:copyright=2024 Us"), std::string::npos) << tags;

    // An export to MPEG-4, in the shell's folder; ffprobe reads it.
    EXPECT_EQ(answer({ "do", "canExport", "movies[1]", "As='mpg4'" }), "true");
    auto exported = shell({ "do", "export", "movies[1]", "As=mpg4", "Destination=clip.mp4" });
    ASSERT_EQ(exported.status, 0) << exported.output;
    auto streams = ffprobe(
        { "-show_entries", "stream=codec_name", "-of", "csv=p=0", (home / "work" / "clip.mp4").string() });
    EXPECT_EQ(streams, "h264\naac\n");
    auto again = shell({ "do", "export", "movies[1]", "As=mpg4", "Destination=clip.mp4" });
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("error -48"), std::string::npos) << again.output;
}

TEST_F(ScriptingShellAppTest, ARecordingStartsPausesAndStops)
{
    start({});
    ASSERT_TRUE(waitFor({ "count", "movies[*]" }, "0"));
    auto recording = answer({ "do", "newMovieRecording" });
    ASSERT_FALSE(recording.empty());
    // A script sees a recording by what it records.
    EXPECT_EQ(answer({ "get", "recordings[1].name" }), "Movie Recording");
    // What is recorded lies between a request being sent and its answer: the recorded time is at most the
    // spans from sending the start to the pause's answer and from sending the resume to the stop's answer,
    // however long a busy machine takes over each request.
    using Clock = std::chrono::steady_clock;
    auto spanSince
        = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
    auto startSent = Clock::now();
    ASSERT_EQ(answer({ "do", "start", "recordings[1]" }), recording);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(answer({ "do", "pause", "recordings[1]" }), recording);
    const double beforePause = spanSince(startSent);
    std::this_thread::sleep_for(std::chrono::seconds(6));
    auto resumeSent = Clock::now();
    ASSERT_EQ(answer({ "do", "start", "recordings[1]" }), recording);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The stop answers once the file is finished, with the movie of it (which keeps the identifier).
    EXPECT_EQ(answer({ "do", "stop", "recordings[1]" }), recording);
    const double afterPause = spanSince(resumeSent);
    ASSERT_TRUE(waitFor({ "count", "movies[*]" }, "1"));
    EXPECT_EQ(answer({ "count", "recordings[*]" }), "0");
    // About three seconds were recorded in nine: the pause is not in the file.
    const double seconds = std::stod(answer({ "get", "movies[1].duration" }))
        / std::stod(answer({ "get", "movies[1].timeScale" }));
    EXPECT_GT(seconds, 2.5);
    EXPECT_LT(seconds, beforePause + afterPause + 0.5)
        << beforePause << " s before the pause, " << afterPause << " s after";
    auto files = std::vector<fs::path>(fs::directory_iterator(home / "desktop"), fs::directory_iterator());
    ASSERT_EQ(files.size(), 1u);
    auto probed = ffprobe({ "-show_entries", "stream=codec_type", "-of", "csv=p=0", files.front().string() });
    EXPECT_NE(probed.find("video"), std::string::npos) << probed;
}

TEST_F(ScriptingShellAppTest, TheShellClientSpeaksPlainly)
{
    auto movie = home / "plain.mov";
    movara::apptest::makeMovie(movie);
    start({ movie.string() });
    ASSERT_TRUE(waitFor({ "count", "movies[*]" }, "1"));

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string contains; // in what it prints (output and errors)
    };
    const Case cases[] = {
        { { "--help" }, 0, "keys [PATH]" },
        { { "keys", "movies[1]" }, 0, "commands:" },
        { { "keys", "movies[1].tracks[1]" }, 0, "trackTransferMode" },
        { { "keys" }, 0, "class: application" },
        { { "get", "movies[1].loadState" }, 0, "'ldcm'\n" },
        { { "get", "movies[1].presentationBackgroundColor" }, 0, "[0, 0, 0]\n" },
        { { "get", "movies[1].tracks[1].trackDimensions" }, 0, "[48, 64]\n" },
        { { "get", "movies[1].tracks[*].trackTransferMode" }, 0, "['tmcp', 'tmuk']\n" },
        // Records typed on the command line.
        { { "make", "movies[1]", "annotationElements", "{name: \"Comment\", fullText: \"a, b: c\"}" }, 0,
            "annotationElements[\"Comment\"]" },
        { { "get", "movies[1].annotationElements[\"Comment\"].fullText" }, 0, "a, b: c\n" },
        { { "make", "movies[1]", "annotationElements", "{name}" }, 2, "no field of a record" },
        // Errors name positions as they were typed, and give their number.
        { { "get", "movies[4].name" }, 1, "error -1728: Can\u2019t get movies[4]" },
        { { "get", "movies[1].tracks[1].frames[9]" }, 1, "frames[9]" },
        { { "set", "movies[1].tracks[1].frames[1].duration", "-5" }, 1, "error -50" },
        { { "--timeout", "soon", "count", "movies[*]" }, 2, "--timeout" },
        { { "frobnicate" }, 2, "Unknown verb" },
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        auto r = shell(c.args);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.contains), std::string::npos) << r.output;
    }

    // A reply of several megabytes arrives whole: every frame of a long movie, by its path.
    auto longMovie = home / "long.mov";
    auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "color=size=16x16:rate=25:duration=300", "-c:v", "mpeg4", "-g", "1", longMovie.string() });
    ASSERT_EQ(made.status, 0);
    ASSERT_EQ(shell({ "open", longMovie.string() }).status, 0);
    ASSERT_TRUE(waitFor({ "count", "movies[*]" }, "2"));
    auto xml = movara::test::runCommand(
        { "sh", "-c", quoted(kScript) + " --xml get 'movies[\"long.mov\"].tracks[1].frames' | wc -c" });
    EXPECT_GT(std::stoll(xml.output), 1 << 20);
    auto frames = shell({ "get", "movies[\"long.mov\"].tracks[1].frames" });
    EXPECT_EQ(frames.status, 0);
    EXPECT_NE(frames.output.find("frames[7500]]"), std::string::npos)
        << frames.output.substr(frames.output.size() - std::min<size_t>(200, frames.output.size()));
}

} // namespace
