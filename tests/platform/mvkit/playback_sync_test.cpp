// Picture against sound as the listener hears it: a movie with a click every half second plays through
// a sound output that behaves like a device (buffers of several sizes, a clock of its own that is not
// quite the computer's, and time passing between any two readings of it, as on a busy machine). When a
// click is heard, the picture shown then must be the click's picture: at the start, through a long
// play, after a jump, a change of rate and a pause. Everything runs on a manual clock; what is heard is
// read from the frames the output rendered, not from the player's own idea of it.
#include "audio_capture.h"
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

using namespace movara::test;

namespace {

constexpr int kSampleRate = 48000;
constexpr double kClickEvery = 0.5; // seconds of movie time
constexpr double kFrame = 1.0 / 25;

// 24 s of 25 pictures a second with a 5 ms click every half second in its 16-bit PCM sound.
std::string makeClickMovie(const TempDir& dir)
{
    const auto path = (dir / "clicks.mov").string();
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=96x64:rate=25:duration=24", "-f", "lavfi", "-i",
        "aevalsrc='if(lt(mod(n\\,24000)\\,240)\\,0.8\\,0)':s=48000:d=24", "-c:v", "libx264", "-preset",
        "ultrafast", "-g", "25", "-bf", "2", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", path });
    return result.status == 0 ? path : std::string();
}

struct Shown {
    double heardFrame; // the output's frame being heard when the picture came
    double start; // the picture's interval, seconds of movie time
    double end;
    double rate;
};

// A player of the click movie on a DeviceOutput, noting every picture it presents with the frame heard
// at that moment.
struct SyncRun {
    ManualClockScope scope;
    std::shared_ptr<MVMoviePlayer> player;
    DeviceOutput* output = nullptr;
    int32_t timeScale = 600;
    std::vector<Shown> shown;

    SyncRun(const std::string& path, DeviceOutput::Settings settings)
    {
        HXError error;
        auto file = MVReadMovieFile(path, &error);
        if (!file)
            return;
        timeScale = int32_t(file->movie.header.timeScale);
        std::vector<MVPlayerTrack> tracks;
        for (const auto& t : file->movie.tracks)
            tracks.push_back({ t.header.trackID, std::make_shared<MVFileSampleSource>(t, timeScale, path),
                true, t.header.layer, {} });
        MVMoviePlayerOptions options;
        options.audioFormat = { kSampleRate, 2 };
        options.frameWait = 10.0; // every picture is decoded in time: only the timing is under test
        options.makeAudioOutput
            = [this, settings](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
                  auto device = std::make_unique<DeviceOutput>(format, std::move(render), settings);
                  output = device.get();
                  return device;
              };
        player = MVMoviePlayer::player(timeScale, options);
        if (!player->setTracks(tracks, int64_t(file->movie.header.duration), &error))
            player = nullptr;
        else
            player->onPictureChange = [this] {
                const auto& picture = player->presentedPictures().back().picture;
                shown.push_back({ output->heardFrame(), double(picture.start) / timeScale,
                    double(picture.end) / timeScale, player->rate() });
            };
    }
    double time() const { return double(player->currentTime()) / timeScale; }
    void playFor(double seconds)
    {
        for (double done = 0; done < seconds; done += 1.0 / 240)
            scope.clock->advance(1.0 / 240);
    }
    // Plays until the clock reaches `seconds` (either way).
    void playTo(double seconds)
    {
        const bool forward = player->rate() > 0;
        for (int i = 0; i < 240 * 60 && (forward ? time() < seconds : time() > seconds); ++i)
            scope.clock->advance(1.0 / 240);
    }
};

struct ClickCheck {
    int clicks = 0;
    double worst = 0; // seconds of movie time
    std::string report;
};

// Each click the output rendered is heard at its frame, at the time of the half second nearest to the
// picture on show then. The picture that holds that time should have come when the sound reached the
// picture's start (backward: its end): how far the sound had gone past it then (before it: negative)
// is how late the picture came, in movie time.
ClickCheck checkClicks(const SyncRun& run)
{
    ClickCheck check;
    const auto clicks = clickFrames(run.output->samples(), 2, 0.2f, kSampleRate / 10);
    for (int64_t click : clicks) {
        if (double(click) > run.output->heardFrame())
            continue; // not heard yet
        const Shown* onShow = nullptr;
        for (const auto& s : run.shown)
            if (s.heardFrame <= double(click))
                onShow = &s;
        if (!onShow || onShow->rate == 0)
            continue;
        const double clickTime = std::round((onShow->start + onShow->end) / 2 / kClickEvery) * kClickEvery;
        // The first picture to hold the click's time, or to pass it, in the half second before it.
        const Shown* came = nullptr;
        for (const auto& s : run.shown)
            if (s.heardFrame >= double(click - kSampleRate / 2) && s.rate != 0
                && (s.rate > 0 ? s.end > clickTime : s.start <= clickTime)) {
                came = &s;
                break;
            }
        if (!came)
            continue;
        // The sound heard then, from the click's place at the picture's rate.
        const double soundThen = clickTime + (came->heardFrame - double(click)) / kSampleRate * came->rate;
        const double late = came->rate > 0 ? soundThen - came->start : came->end - soundThen;
        ++check.clicks;
        if (std::abs(late) > std::abs(check.worst)) {
            check.worst = late;
            check.report = "the picture of " + std::to_string(came->start) + "–" + std::to_string(came->end)
                + " s came with the sound at " + std::to_string(soundThen) + " s (a click at "
                + std::to_string(clickTime) + " s)";
        }
    }
    return check;
}

} // namespace

TEST(PlaybackSyncTest, ThePictureShownWhenAClickIsHeardIsTheClicksPicture)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    const auto path = makeClickMovie(dir);
    ASSERT_FALSE(path.empty());

    // Actions come a quarter second after a click, so that no click is among the frames a device still
    // holds from before them. Clicks come half way through a picture or where one picture gives way to
    // the next, so that the picture on show is the click's unless picture and sound are half a picture
    // apart. At other speeds the tempo filter moves sound by up to half its window (some 20 ms, which
    // at twice the speed is a picture's length of movie time): the picture beside the click's may be on
    // show.
    struct Case {
        const char* what;
        DeviceOutput::Settings device;
        std::function<void(SyncRun&)> play;
        int minimumClicks;
        double worstAllowed = kFrame / 4;
    };
    const DeviceOutput::Settings small { 256, 1.0, 0.0005 }, usual { 1024, 1.0, 0.0005 },
        large { 4096, 1.0, 0.0005 }, slow { 4096, 0.95, 0.0005 };
    const Case cases[] = {
        { "twenty seconds from the start", usual,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playFor(20);
            },
            38 },
        { "from the start, small buffers", small,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playFor(3);
            },
            5 },
        { "from the start, a slow device", slow,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playFor(3);
            },
            5 },
        { "from a time in the middle", small,
            [](SyncRun& r) {
                r.player->setCurrentTime(r.timeScale * 29 / 4);
                r.player->setRate(1);
                r.playFor(3);
            },
            5 },
        { "a jump while playing", usual,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setCurrentTime(r.timeScale * 41 / 4);
                r.playFor(3);
            },
            9 },
        { "a jump while playing, large buffers", large,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setCurrentTime(r.timeScale * 41 / 4);
                r.playFor(3);
            },
            9 },
        { "twice the speed", large,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setRate(2);
                r.playFor(2);
            },
            8, kFrame },
        { "half the speed", usual,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setRate(0.5);
                r.playFor(3);
            },
            3, kFrame },
        { "backward", large,
            [](SyncRun& r) {
                r.player->setCurrentTime(r.timeScale * 41 / 4);
                r.player->setRate(-1);
                r.playFor(3);
            },
            5 },
        { "a pause", usual,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setRate(0);
                r.playFor(1);
                r.player->setRate(1);
                r.playFor(2);
            },
            8 },
        { "a pause, large buffers", large,
            [](SyncRun& r) {
                r.player->setRate(1);
                r.playTo(2.25);
                r.player->setRate(0);
                r.playFor(1);
                r.player->setRate(1);
                r.playFor(2);
            },
            8 },
    };
    for (const auto& c : cases) {
        SyncRun run(path, c.device);
        ASSERT_TRUE(run.player) << c.what;
        ASSERT_TRUE(run.player->hasSound()) << c.what;
        c.play(run);
        const ClickCheck check = checkClicks(run);
        EXPECT_GE(check.clicks, c.minimumClicks) << c.what;
        EXPECT_LE(std::abs(check.worst), c.worstAllowed) << c.what << ": " << check.report;
        RecordProperty(std::string("worstMilliseconds ") + c.what, int(std::lround(check.worst * 1000)));
    }
}
