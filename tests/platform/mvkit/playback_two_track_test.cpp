// A movie of two visual tracks, a red one filling the movie and a smaller blue one placed by its
// matrix: the movie's picture composed by layer, matrix, dimensions, graphics mode, transparency and mask,
// before and after saving with our writer.
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/picture_compositor.h"
#include "platform/mvkit/track_geometry.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>

using namespace movara::test;

namespace {

class TwoTrackMovieTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MOVARA_SILENT_AUDIO", "1", 1);
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        if (!haveProgram("ffmpeg"))
            GTEST_SKIP() << "no ffmpeg";
        red = makeSolid("red", 160, 120);
        blue = makeSolid("blue", 80, 60);
    }
    void TearDown() override
    {
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    std::string makeSolid(const std::string& color, int width, int height)
    {
        auto path = (dir / (color + ".mov")).string();
        auto result = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
            "color=c=" + color + ":size=" + std::to_string(width) + "x" + std::to_string(height)
                + ":rate=10:duration=1",
            "-c:v", "mpeg4", "-q:v", "2", "-pix_fmt", "yuv420p", path });
        EXPECT_EQ(result.status, 0) << result.output;
        return path;
    }

    // The red movie with the blue picture added as a second track.
    std::shared_ptr<MVMovie> twoTrackMovie(std::shared_ptr<MVTrack>* blueTrack)
    {
        HXError error;
        auto movie = MVMovie::movieWithFile(red, &error);
        auto other = MVMovie::movieWithFile(blue, &error);
        if (!movie || !other)
            return nullptr;
        movie->insertTrack(other->tracks().front());
        *blueTrack = movie->tracks().back();
        return movie;
    }

    // The movie's picture at time 0, as the view composes it.
    std::shared_ptr<HXBitmapImageRep> picture(const std::shared_ptr<MVMovie>& movie)
    {
        auto view = std::make_shared<MVMovieView>(HXMakeRect(0, 0, 160, 120));
        view->setMovie(movie);
        auto image = view->frameImageAtTime(MVMakeTime(0, 600));
        return image ? image->bitmapImageRep() : nullptr;
    }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    TempDir dir;
    std::string red, blue;
};

MVMatrixRecord moved(int x, int y)
{
    MVMatrixRecord m;
    m.values[6] = x << 16;
    m.values[7] = y << 16;
    return m;
}

void expectColor(const HXRGBAPixel& pixel, int r, int g, int b, int a, const std::string& what)
{
    constexpr int kTolerance = 12; // the pictures went through a lossy codec
    EXPECT_NEAR(pixel.r, r, kTolerance) << what;
    EXPECT_NEAR(pixel.g, g, kTolerance) << what;
    EXPECT_NEAR(pixel.b, b, kTolerance) << what;
    EXPECT_NEAR(pixel.a, a, kTolerance) << what;
}

} // namespace

TEST_F(TwoTrackMovieTest, ComposesByLayerMatrixAndGraphicsMode)
{
    struct Case {
        const char* name;
        int16_t layer; // of the blue track; the red one is at 0
        int x, y; // where the blue track is moved
        int64_t mode;
        HXPropertyList opColor;
        std::array<int, 3> inside; // the colour at the middle of the blue track's place
    };
    const HXPropertyList half = HXPropertyList::Array { int64_t(0x8000), int64_t(0x8000), int64_t(0x8000) };
    const HXPropertyList blueKey = HXPropertyList::Array { int64_t(0), int64_t(0), int64_t(0xFFFF) };
    const Case cases[] = {
        { "in front", -1, 40, 30, 0, half, { 0, 0, 255 } },
        { "behind", 1, 40, 30, 0, half, { 255, 0, 0 } },
        { "blended", -1, 40, 30, 0x20, half, { 128, 0, 128 } },
        { "transparent blue", -1, 40, 30, 0x24, blueKey, { 255, 0, 0 } },
        { "moved elsewhere", -1, 20, 50, 0, half, { 0, 0, 255 } },
    };
    for (const auto& c : cases) {
        std::shared_ptr<MVTrack> track;
        auto movie = twoTrackMovie(&track);
        ASSERT_TRUE(movie) << c.name;
        track->setLayer(c.layer);
        track->setMatrix(moved(c.x, c.y));
        track->setAttributeForKey(c.mode, MVTrackTransferModeAttribute);
        track->setAttributeForKey(c.opColor, MVTrackOperationColorAttribute);
        auto rep = picture(movie);
        ASSERT_TRUE(rep) << c.name;
        ASSERT_EQ(rep->pixelsWide(), 160) << c.name;
        ASSERT_EQ(rep->pixelsHigh(), 120) << c.name;
        expectColor(rep->pixelAt(c.x + 40, c.y + 30), c.inside[0], c.inside[1], c.inside[2], 255, c.name);
        expectColor(rep->pixelAt(c.x - 10, c.y + 30), 255, 0, 0, 255, std::string(c.name) + " left of it");
        expectColor(rep->pixelAt(c.x + 90, c.y + 30), 255, 0, 0, 255, std::string(c.name) + " right of it");
    }
}

TEST_F(TwoTrackMovieTest, MovieBoxGrowsWithATrackPlacedOutsideAndSurvivesSaving)
{
    std::shared_ptr<MVTrack> track;
    auto movie = twoTrackMovie(&track);
    ASSERT_TRUE(movie);
    track->setLayer(-1);
    track->setMatrix(moved(160, 0)); // beside the red picture
    auto [w, h] = movie->naturalSize();
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 120);
    auto check = [&](const std::shared_ptr<MVMovie>& m, const std::string& what) {
        auto rep = picture(m);
        ASSERT_TRUE(rep) << what;
        ASSERT_EQ(rep->pixelsWide(), 240) << what;
        expectColor(rep->pixelAt(80, 60), 255, 0, 0, 255, what + " red");
        expectColor(rep->pixelAt(200, 30), 0, 0, 255, 255, what + " blue");
        expectColor(rep->pixelAt(200, 100), 0, 0, 0, 0, what + " nothing below the blue");
    };
    check(movie, "in memory");

    // Our writer keeps the matrix, layer and sizes; the saved movie composes the same.
    auto path = (dir / "two.mov").string();
    HXError error;
    ASSERT_TRUE(movie->writeToFile(path, {}, &error)) << error.localizedDescription();
    auto reopened = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(reopened) << error.localizedDescription();
    ASSERT_EQ(reopened->tracksOfMediaType(MVFourCC("vide")).size(), 2u);
    check(reopened, "saved");

    // One track disabled: the other alone, the movie its size.
    reopened->tracks().front()->setEnabled(false);
    auto [w1, h1] = reopened->naturalSize();
    EXPECT_EQ(w1, 80);
    EXPECT_EQ(h1, 60);
    auto rep = picture(reopened);
    ASSERT_TRUE(rep);
    ASSERT_EQ(rep->pixelsWide(), 80);
    expectColor(rep->pixelAt(40, 30), 0, 0, 255, 255, "blue alone");
}

TEST_F(TwoTrackMovieTest, TransparencyAndMaskAreDrawnAndKeptInTheFile)
{
    // The blue track in front over the whole movie, blending at half transparency, masked so that only
    // its left half shows.
    std::shared_ptr<MVTrack> track;
    auto movie = twoTrackMovie(&track);
    ASSERT_TRUE(movie);
    track->setLayer(-1);
    track->setDimensions(160, 120);
    track->setAttributeForKey(int64_t(MVGraphicsModeBlend), MVTrackTransferModeAttribute);
    MVTrackSetPlayerTransparency(*track, 0.5);
    auto mask = HXBitmapImageRep::initWithSize(2, 1);
    mask->setPixel({ 255, 255, 255, 255 }, 0, 0);
    mask->setPixel({ 0, 0, 0, 255 }, 1, 0);
    auto png = mask->representationUsingType(HXBitmapImageFileType::PNG);
    ASSERT_TRUE(png);
    ASSERT_TRUE(MVTrackSetMaskWithDataRef(*track, MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>(png->bytes))));

    auto check = [&](const std::shared_ptr<MVMovie>& m, const std::string& what) {
        auto rep = picture(m);
        ASSERT_TRUE(rep) << what;
        expectColor(rep->pixelAt(20, 60), 128, 0, 128, 255, what + ": blended where the mask is light");
        expectColor(rep->pixelAt(140, 60), 255, 0, 0, 255, what + ": hidden where it is dark");
    };
    check(movie, "in memory");

    auto path = (dir / "blended.mov").string();
    HXError error;
    ASSERT_TRUE(movie->writeToFile(path, {}, &error)) << error.localizedDescription();
    auto reopened = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(reopened) << error.localizedDescription();
    auto front = reopened->tracksOfMediaType(MVFourCC("vide")).at(1);
    EXPECT_EQ(front->attributeForKey(MVTrackTransferModeAttribute).integerValue(), MVGraphicsModeBlend);
    EXPECT_DOUBLE_EQ(MVTrackPlayerTransparency(*front), 0.5);
    EXPECT_EQ(MVTrackMaskData(*front), *png);
    check(reopened, "saved and opened again");
    // Other programs read the file as before: its two pictures.
    auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "stream=index",
        "-of", "csv=p=0", path });
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "0\n1\n");

    // Without its mask the whole picture blends.
    MVTrackClearMask(*front);
    auto rep = picture(reopened);
    ASSERT_TRUE(rep);
    expectColor(rep->pixelAt(140, 60), 128, 0, 128, 255, "no mask");
}

TEST_F(TwoTrackMovieTest, ATracksPictureSettingsReachThePlaybackAtOnce)
{
    std::shared_ptr<MVTrack> track;
    auto movie = twoTrackMovie(&track);
    ASSERT_TRUE(movie);
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    int redraws = 0;
    playback->player().onPictureChange = [&] { ++redraws; };
    // Which tracks show, back to front.
    auto shown = [&] {
        clock->advance(0.1);
        std::vector<uint32_t> ids;
        for (const auto& p : playback->player().presentedPictures())
            if (p.picture.frame)
                ids.push_back(p.trackID);
        return ids;
    };
    const uint32_t red = movie->tracks().front()->trackID(), blue = track->trackID();
    struct Step {
        const char* what;
        std::function<void()> change;
        std::vector<uint32_t> shown;
    };
    const Step steps[] = {
        { "blue in front", [&] { track->setLayer(-1); }, { red, blue } },
        { "blue behind", [&] { track->setLayer(1); }, { blue, red } },
        { "blue off", [&] { track->setEnabled(false); }, { red } },
        { "blue on and in front", [&] { track->setEnabled(true); track->setLayer(-1); }, { red, blue } },
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_EQ(shown(), step.shown) << step.what;
    }
    // How a picture is drawn changes nothing that plays: the pictures are drawn again.
    const std::function<void()> drawn[] = {
        [&] { track->setAttributeForKey(int64_t(MVGraphicsModeBlend), MVTrackTransferModeAttribute); },
        [&] { MVTrackSetPlayerTransparency(*track, 0.25); },
        [&] { track->setMatrix(moved(10, 10)); },
        [&] { track->setDimensions(40, 30); },
        [&] { track->setAttributeForKey(true, MVTrackHighQualityVideoAttribute); },
        [&] {
            auto mask = HXBitmapImageRep::initWithSize(1, 1);
            auto png = mask->representationUsingType(HXBitmapImageFileType::PNG);
            track->setMaskImage(png->bytes);
        },
    };
    for (size_t i = 0; i < std::size(drawn); ++i) {
        redraws = 0;
        drawn[i]();
        EXPECT_GT(redraws, 0) << "change " << i;
    }
    playback->player().onPictureChange = nullptr;
}
