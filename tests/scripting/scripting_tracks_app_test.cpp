// The real movara-player driven by the real movara-script: a track's sound (volume, mute, switch) heard
// changing in what the player's mixer puts out, frames counted as ffprobe counts them, and a frame moved
// in time, saved and read back by ffprobe.
#include "player_process.h"

#include "audio_capture.h"
#include <cmath>
#include <functional>

#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class ScriptingTracksAppTest : public movara::scriptingtest::PlayerProcessTest { };

// The interleaved stereo floats SDL's disk device wrote between the byte offsets `from` and `to`.
std::vector<float> samplesBetween(const fs::path& file, std::uintmax_t from, std::uintmax_t to)
{
    std::ifstream in(file, std::ios::binary);
    from -= from % 8;
    to -= to % 8;
    std::vector<float> samples(to > from ? (to - from) / sizeof(float) : 0);
    in.seekg(std::streamoff(from));
    in.read(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size() * sizeof(float)));
    samples.resize(size_t(in.gcount()) / sizeof(float));
    return samples;
}

TEST_F(ScriptingTracksAppTest, ATracksVolumeMuteAndSwitchAreHeardInTheMix)
{
    auto movie = home / "tones.mov";
    ASSERT_TRUE(movara::test::makeTwoToneMovie(movie, 440, 1000, 30));
    // SDL's disk device writes what the mixer renders to a file, at the pace of a sound card.
    auto mix = home / "mix.raw";
    startPlayer({ "--no-featured-movie", movie.string() },
        { "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + mix.string() });
    ASSERT_TRUE(waitForMovies(1));
    EXPECT_EQ(answer({ "get", "movies[1].tracks[1].trackEnabled" }), "true");
    EXPECT_EQ(answer({ "get", "movies[1].tracks[2].trackEnabled" }), "true");
    ASSERT_EQ(script({ "do", "play", "movies[1]" }).status, 0);

    // The level of each tone over a stretch of the mix.
    using Levels = std::pair<double, double>;
    auto listen = [&] {
        auto from = fs::exists(mix) ? fs::file_size(mix) : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        auto samples = samplesBetween(mix, from, fs::file_size(mix));
        return Levels { movara::test::toneAmplitude(samples, 2, 48000, 440),
            movara::test::toneAmplitude(samples, 2, 48000, 1000) };
    };
    // A change is heard once the mixer has rendered past it, which takes longer on a busy machine: the
    // levels are read again until they show what is expected, for ten seconds at most.
    auto listenUntil = [&](const std::function<bool(const Levels&)>& heard) {
        Levels levels = listen();
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             !heard(levels) && std::chrono::steady_clock::now() < until;)
            levels = listen();
        return levels;
    };
    auto near = [](double value, double expected, double tolerance) {
        return std::abs(value - expected) <= tolerance;
    };
    auto [low, high] = listenUntil([](const Levels& l) { return l.first > 0.02 && l.second > 0.02; });
    ASSERT_GT(low, 0.02) << "the first tone plays";
    ASSERT_GT(high, 0.02) << "the second tone plays";

    ASSERT_EQ(script({ "set", "movies[1].tracks[2].soundVolume", "64" }).status, 0);
    EXPECT_EQ(answer({ "get", "movies[1].tracks[2].soundVolume" }), "64");
    auto [low2, quarter] = listenUntil(
        [&](const Levels& l) { return near(l.second / high, 0.25, 0.06) && near(l.first / low, 1.0, 0.1); });
    EXPECT_NEAR(quarter / high, 0.25, 0.06) << "a quarter of the volume";
    EXPECT_NEAR(low2 / low, 1.0, 0.1) << "the other track is as it was";

    ASSERT_EQ(script({ "set", "movies[1].tracks[1].muted", "true" }).status, 0);
    EXPECT_EQ(answer({ "get", "movies[1].tracks[1].muted" }), "true");
    auto [silenced, unmuted] = listenUntil(
        [&](const Levels& l) { return l.first < low * 0.05 && near(l.second / quarter, 1.0, 0.15); });
    EXPECT_LT(silenced, low * 0.05) << "a muted track is not heard";
    EXPECT_NEAR(unmuted / quarter, 1.0, 0.15) << "the other track is as it was";
    ASSERT_EQ(script({ "set", "movies[1].tracks[1].muted", "false" }).status, 0);
    auto [back, alongside] = listenUntil([&](const Levels& l) {
        return near(l.first / low, 1.0, 0.1) && near(l.second / quarter, 1.0, 0.15);
    });
    EXPECT_NEAR(back / low, 1.0, 0.1) << "heard again once the mute is off";
    EXPECT_NEAR(alongside / quarter, 1.0, 0.15);

    ASSERT_EQ(script({ "set", "movies[1].tracks[1].trackEnabled", "false" }).status, 0);
    EXPECT_EQ(answer({ "get", "movies[1].tracks[1].trackEnabled" }), "false");
    auto [gone, still] = listenUntil(
        [&](const Levels& l) { return l.first < low * 0.05 && near(l.second / quarter, 1.0, 0.15); });
    EXPECT_LT(gone, low * 0.05) << "a disabled track is not heard";
    EXPECT_NEAR(still / quarter, 1.0, 0.15);
}

TEST_F(ScriptingTracksAppTest, FramesAreCountedAsFfprobeCountsPackets)
{
    auto movie = home / "count.mov";
    auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
        "-i", "testsrc=size=160x120:rate=25:duration=3", "-c:v", "libx264", "-pix_fmt", "yuv420p",
        movie.string() });
    ASSERT_EQ(made.status, 0);
    startPlayer({ "--no-featured-movie", movie.string() });
    ASSERT_TRUE(waitForMovies(1));
    auto packets = ffprobe({ "-select_streams", "v", "-count_packets", "-show_entries",
        "stream=nb_read_packets", "-of", "csv=p=0", movie.string() });
    while (!packets.empty() && (packets.back() == '\n' || packets.back() == ','))
        packets.pop_back();
    EXPECT_EQ(packets, "75");
    EXPECT_EQ(answer({ "count", "movies[1].tracks[1].frames" }), packets);
}

// The pictures a player shows from a file's video, as ffmpeg decodes them: the time each shows from
// (seconds) and a hash of its pixels, in order. A picture followed by another at the same time is shown
// for no time at all and is left out.
std::vector<std::pair<double, std::string>> shownPictures(const fs::path& file)
{
    auto decoded = movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-i", file.string(),
        "-map", "0:v", "-fps_mode", "passthrough", "-enc_time_base", "-1", "-f", "framemd5", "-" });
    std::vector<std::pair<double, std::string>> out;
    std::istringstream lines(decoded.output);
    double base = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#tb 0:", 0) == 0) {
            auto slash = line.find('/');
            base = std::stod(line.substr(6, slash - 6)) / std::stod(line.substr(slash + 1));
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        // stream, dts, pts, duration, size, hash
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, ',');)
            fields.push_back(field.substr(field.find_first_not_of(' ')));
        if (fields.size() < 6)
            continue;
        double time = std::stod(fields[2]) * base;
        if (!out.empty() && out.back().first == time)
            out.pop_back();
        out.emplace_back(time, fields[5]);
    }
    return out;
}

TEST_F(ScriptingTracksAppTest, AFrameMovedInTimeIsSavedWhereItWasPut)
{
    // Pictures that each stand alone, so every one is found again by its bytes.
    auto movie = home / "ten.mov";
    auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
        "-i", "testsrc=size=160x120:rate=10:duration=1", "-c:v", "mjpeg", movie.string() });
    ASSERT_EQ(made.status, 0);
    auto before = shownPictures(movie);
    ASSERT_EQ(before.size(), 10u);
    startPlayer({ "--no-featured-movie", movie.string() });
    ASSERT_TRUE(waitForMovies(1));
    const int64_t scale = std::stoll(answer({ "get", "movies[1].timeScale" }));
    // The fifth picture (at 0.4 s) moves to 0.7 s: the pictures from it on start 0.3 s later.
    ASSERT_EQ(
        script({ "set", "movies[1].tracks[1].frames[5].time", std::to_string(scale * 7 / 10) }).status, 0);
    EXPECT_EQ(answer({ "get", "movies[1].tracks[1].frames[5].time" }), std::to_string(scale * 7 / 10));
    EXPECT_EQ(answer({ "count", "movies[1].tracks[1].frames" }), "10");
    auto saved = home / "moved.mov";
    auto save = script({ "do", "saveSelfContained", "movies[1]", "DestinationFile=" + saved.string() });
    ASSERT_EQ(save.status, 0) << save.output;
    ASSERT_TRUE(fs::exists(saved));

    // Where ffmpeg shows each of the pictures now (it may show others in the gap, as it reads empty time).
    std::map<std::string, double> times;
    for (const auto& [time, hash] : shownPictures(saved))
        times.emplace(hash, time);
    const double expected[] = { 0, 0.1, 0.2, 0.3, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2 };
    for (size_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(times.count(before[i].second)) << "picture " << i + 1 << " is saved";
        EXPECT_NEAR(times[before[i].second], expected[i], 0.011) << "picture " << i + 1;
    }
}

} // namespace
