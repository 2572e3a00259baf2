// A skinned movie file made by our writer: ffprobe reads it (picture and skin track), and opened again
// the movie shows in the skinned window with the skin it was given; a file whose skin data was damaged
// opens in the standard window.
#include "player/window/movie_window_controller.h"
#include "player/window/skinned_window.h"
#include "player/window/skinned_window_controller.h"
#include "window_test_fixture.h"

#include "platform/mvkit/skin_media.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace movara::test {
namespace {

class SkinFilePeerTest : public PlayerWindowTest {
protected:
    // A 160 × 120 H.264 movie made by ffmpeg, with a skin track added and saved by our writer.
    std::string writeSkinnedMovie(const MVSkinData& skin)
    {
        std::string source = (dir / "source.mov").string();
        auto made = runCommand(
            { "ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1",
                "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", source });
        EXPECT_EQ(made.status, 0);
        HXError error;
        auto movie = MVMovie::movieWithFile(source, &error);
        EXPECT_TRUE(movie) << error.localizedDescription();
        if (!movie)
            return {};
        EXPECT_TRUE(MVMovieAddSkinTrack(*movie, skin));
        std::string path = (dir / "skinned.mov").string();
        EXPECT_TRUE(movie->writeToFile(path, {}, &error)) << error.localizedDescription();
        return path;
    }

    TempDir dir;
};

MVSkinData crossSkin()
{
    return { HXRegion::regionWithRects({ HXMakeRect(0, 40, 160, 40), HXMakeRect(60, 0, 40, 120) }),
        HXRegion::regionWithRect(HXMakeRect(60, 0, 40, 20)) };
}

TEST_F(SkinFilePeerTest, SkinnedFileIsReadByFfprobeAndReopensSkinned)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg or ffprobe is missing";
    std::string path = writeSkinnedMovie(crossSkin());
    ASSERT_FALSE(path.empty());
    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries",
        "stream=codec_type,codec_name,width,height", "-of", "csv=p=0", path });
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("h264,video,160,120"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("data"), std::string::npos) << "the skin track is listed: " << probe.output;

    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    ASSERT_TRUE(MVMovieHasSkin(*movie));
    auto track = MVMovieLastTrackWithMediaCharacteristic(*movie, MVMediaCharacteristicHasSkinData);
    EXPECT_EQ(MVMediaCopySkinClipRegion(*track->media()), crossSkin().clip);
    EXPECT_EQ(MVMediaCopySkinDragRegion(*track->media()), crossSkin().drag);

    auto doc = openDocument(movie);
    auto controller = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController());
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->skinWindow()->windowShape(), crossSkin().clip);
}

TEST_F(SkinFilePeerTest, DamagedSkinDataOpensInTheStandardWindow)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is missing";
    std::string path = writeSkinnedMovie(crossSkin());
    ASSERT_FALSE(path.empty());
    // The clip chunk's rectangle count, right after its 'clip' tag, claims far more than is there.
    std::string bytes = readFile(path);
    auto at = bytes.find("clip");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = char(0x7F);
    writeFile(path, bytes);

    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    EXPECT_TRUE(MVMovieLastTrackWithMediaCharacteristic(*movie, MVMediaCharacteristicHasSkinData));
    EXPECT_FALSE(MVMovieHasSkin(*movie));
    auto doc = openDocument(movie);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(doc->playerWindowController()));
}

} // namespace
} // namespace movara::test
