// The picture path on a real X display: a 1080p movie of 60 pictures a second plays for five seconds in
// a window at half its size without a picture dropped by the playback's own count, and the movie's area
// on the screen then is the presented picture as ffmpeg decodes and scales it.
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display_capture.h" // last: Xlib

namespace {

using namespace movara::test;

constexpr int kWidth = 960, kHeight = 540;

// ffmpeg's picture number `index` of `path`, scaled to the window's size, as BGRA bytes.
std::string decodedPicture(const std::string& path, int64_t index)
{
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-vf",
        "select=eq(n\\," + std::to_string(index) + "),scale=" + std::to_string(kWidth) + ":"
            + std::to_string(kHeight) + ":flags=bilinear",
        "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-" });
    return result.status == 0 ? result.output : std::string();
}

struct Difference {
    double mean = 1e9; // per channel
    double far = 1; // share of pixels with a channel more than 24 off
};

Difference compare(XImage* screen, const std::string& bgra)
{
    Difference d;
    if (bgra.size() != size_t(kWidth) * kHeight * 4)
        return d;
    double sum = 0;
    long far = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const unsigned long p = XGetPixel(screen, x, y);
            const auto* q
                = reinterpret_cast<const unsigned char*>(bgra.data()) + (size_t(y) * kWidth + x) * 4;
            const int db = std::abs(int(p & 0xFF) - q[0]), dg = std::abs(int((p >> 8) & 0xFF) - q[1]);
            const int dr = std::abs(int((p >> 16) & 0xFF) - q[2]);
            sum += db + dg + dr;
            far += std::max({ db, dg, dr }) > 24;
        }
    d.mean = sum / (3.0 * kWidth * kHeight);
    d.far = double(far) / (double(kWidth) * kHeight);
    return d;
}

} // namespace

TEST(MovieViewDisplay, A1080p60MoviePlaysInRealTimeAndShowsTheDecodedPicture)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the movie";
    TempDir dir;
    const std::string path = (dir / "hd60.mp4").string();
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc2=size=1920x1080:rate=60:duration=7", "-c:v", "libx264", "-preset",
                             "ultrafast", "-tune", "fastdecode", "-pix_fmt", "yuv420p", path })
                  .status,
        0);
    auto app = display::onScreenApplication();
    if (!app)
        GTEST_SKIP() << "SDL cannot start on this display";
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie);

    const HXRect content = HXMakeRect(40, 40, kWidth, kHeight);
    auto window = std::make_shared<HXWindow>(content, HXBorderlessWindowMask);
    auto view = std::make_shared<MVMovieView>(HXMakeRect(0, 0, kWidth, kHeight));
    window->contentView()->addSubview(view);
    view->setMovie(movie);
    window->makeKeyAndOrderFront();
    display::runFor(*app, 0.5);
    ASSERT_TRUE(view->playback());
    auto& player = view->playback()->player();

    // Five seconds of playing from the start. A moment in which the machine gives this program no time at
    // all (another program's burst) drops pictures no player could show; a second run tells such a moment
    // from a player too slow, which drops them again.
    struct Run {
        MVFrameCounts counts;
        double played = 0;
        double elapsed = 0;
    };
    auto playFiveSeconds = [&] {
        Run run;
        view->pause();
        player.setCurrentTime(0);
        display::runFor(*app, 0.3);
        player.resetFrameCounts();
        const double started = HXRunLoop::main().now();
        view->play();
        display::runFor(*app, 5.0, 0.002);
        run.counts = player.frameCounts();
        run.played = double(player.currentTime()) / movie->timeScale();
        run.elapsed = HXRunLoop::main().now() - started;
        view->pause();
        display::runFor(*app, 0.3);
        return run;
    };
    Run run = playFiveSeconds();
    if (run.counts.dropped != 0) {
        std::fprintf(
            stderr, "the first run dropped %lld pictures; playing again\n", (long long)run.counts.dropped);
        run = playFiveSeconds();
    }
    const MVFrameCounts& counts = run.counts;

    // This program runs with no other test beside it (tests/CMakeLists.txt), so not one picture may go.
    EXPECT_EQ(counts.dropped, 0) << "presented " << counts.presented << ", late " << counts.late;
    EXPECT_NEAR(run.played, run.elapsed, 0.1) << "the movie played in real time";
    EXPECT_GE(counts.presented, 5 * 60 * 9 / 10) << "nearly every picture of five seconds is presented";
    EXPECT_GE(counts.drawn, counts.presented - 2) << "and reaches the screen";

    // The picture shown now, by its number in the movie.
    ASSERT_FALSE(player.presentedPictures().empty());
    const auto& presented = player.presentedPictures().back().picture;
    ASSERT_TRUE(presented.frame);
    const int64_t index = std::llround(double(presented.start) * 60.0 / double(movie->timeScale()));

    const double screenHeight = HXScreen::screens().front().frame().size.height;
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), int(content.origin.x),
        int(screenHeight - HXMaxY(content)), kWidth, kHeight, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    const Difference shown = compare(image, decodedPicture(path, index));
    const Difference before = compare(image, decodedPicture(path, index - 1));
    const Difference after = compare(image, decodedPicture(path, index + 1));
    XDestroyImage(image);
    XCloseDisplay(display);

    EXPECT_LT(shown.mean, 2.0) << "picture " << index;
    EXPECT_LT(shown.far, 0.01) << "picture " << index;
    EXPECT_LT(shown.mean, before.mean) << "the picture before differs more";
    EXPECT_LT(shown.mean, after.mean) << "the picture after differs more";
    window->close();
#endif
}
