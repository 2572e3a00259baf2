// Closed captions: the byte layouts that carry them, and the text on the caption screen of movies the
// ffmpeg command line made — a closed-caption track, and captions carried in H.264 pictures (which
// ffprobe must see as caption side data) — as the reader and the player show it.
#include "caption_fixtures.h"
#include "test_support.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/closed_caption_reader.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

using Reader = MVClosedCaptionReader;

MVBytes bytes(std::initializer_list<int> values)
{
    MVBytes out;
    for (int v : values)
        out.push_back(uint8_t(v));
    return out;
}

TEST(ClosedCaptionSyntax, CaptionTrackSamples)
{
    struct Case {
        const char* name;
        MVBytes sample;
        uint32_t format;
        MVBytes triples;
    };
    const Case cases[] = {
        { "c608: field 1 and field 2 pairs",
            bytes({ 0, 0, 0, 12, 'c', 'd', 'a', 't', 0x94, 0x20, 0xC8, 0x45, 0, 0, 0, 10, 'c', 'd', 't', '2', 0x15, 0x2C }),
            MVFourCC("c608"), bytes({ 0xFC, 0x94, 0x20, 0xFC, 0xC8, 0x45, 0xFD, 0x15, 0x2C }) },
        { "c608: an atom that runs past the sample ends it", bytes({ 0, 0, 0, 40, 'c', 'd', 'a', 't', 0x94, 0x20 }),
            MVFourCC("c608"), {} },
        { "c608: other atoms are skipped", bytes({ 0, 0, 0, 10, 'f', 'r', 'e', 'e', 1, 2, 0, 0, 0, 10, 'c', 'd', 'a', 't', 0x80, 0x80 }),
            MVFourCC("c608"), bytes({ 0xFC, 0x80, 0x80 }) },
        { "c708: the caption data of a distribution packet",
            bytes({ 0, 0, 0, 26, 'c', 'c', 'd', 'p', 0x96, 0x69, 18, 0x4F, 0x43, 0x12, 0x34, 0x72, 0xE2, 0xFC, 0x94, 0x20,
                0xFE, 0x01, 0x02, 0x74, 0x12, 0x34 }),
            MVFourCC("c708"), bytes({ 0xFC, 0x94, 0x20, 0xFE, 0x01, 0x02 }) },
        { "c708: a packet with a time code section first",
            bytes({ 0, 0, 0, 25, 'c', 'c', 'd', 'p', 0x96, 0x69, 17, 0x4F, 0xC3, 0x12, 0x34, 0x71, 1, 2, 3, 4, 0x72, 0xE1,
                0xFC, 0x94, 0x2F }),
            MVFourCC("c708"), bytes({ 0xFC, 0x94, 0x2F }) },
        { "c708: no caption data section", bytes({ 0, 0, 0, 15, 'c', 'c', 'd', 'p', 0x96, 0x69, 7, 0x4F, 0x03, 0, 1 }),
            MVFourCC("c708"), {} },
        { "another format", bytes({ 0, 0, 0, 10, 'c', 'd', 'a', 't', 0x94, 0x20 }), MVFourCC("text"), {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Reader::captionDataOfCaptionSample(c.sample, c.format), c.triples) << c.name;
}

TEST(ClosedCaptionSyntax, CaptionsInPictures)
{
    // A/53 caption data in an SEI message: two triples.
    const MVBytes sei = bytes({ 0x04, 17, 0xB5, 0x00, 0x31, 'G', 'A', '9', '4', 0x03, 0x42, 0xFF, 0xFC, 0x94, 0x20,
        0xFD, 0x80, 0x80, 0xFF, 0x80 });
    const MVBytes triples = bytes({ 0xFC, 0x94, 0x20, 0xFD, 0x80, 0x80 });
    EXPECT_EQ(Reader::captionDataOfSEI(sei.data(), sei.size()), triples);
    auto nal = [](std::initializer_list<int> header, const MVBytes& payload) {
        MVBytes unit = bytes(header);
        unit.insert(unit.end(), payload.begin(), payload.end());
        MVBytes out = bytes({ 0, 0, 0, int(unit.size()) });
        out.insert(out.end(), unit.begin(), unit.end());
        return out;
    };
    auto join = [](std::initializer_list<MVBytes> parts) {
        MVBytes out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // The same message with an emulation prevention byte in it (a count of 0 next to zeros).
    const MVBytes escaped = bytes({ 0x04, 11, 0xB5, 0x00, 0x00, 0x03, 0x31, 'G', 'A', '9', '4', 0x03, 0x40, 0xFF, 0x80 });
    const MVBytes otherUserData = bytes({ 0x05, 4, 1, 2, 3, 4, 0x80 });
    struct Case {
        const char* name;
        MVBytes picture;
        Reader::PictureSyntax syntax;
        MVBytes triples;
        bool cutShort;
    };
    const Case cases[] = {
        { "H.264: SEI before the slice", join({ nal({ 0x06 }, sei), nal({ 0x65 }, bytes({ 0x88, 0x80 })) }),
            Reader::PictureSyntax::H264, triples, false },
        { "H.264: nothing after the first slice is read",
            join({ nal({ 0x41 }, bytes({ 0x9A })), nal({ 0x06 }, sei) }), Reader::PictureSyntax::H264, {}, false },
        { "H.264: other SEI messages", join({ nal({ 0x06 }, otherUserData), nal({ 0x65 }, bytes({ 0x88 })) }),
            Reader::PictureSyntax::H264, {}, false },
        { "H.264: a registered message that is not A/53",
            join({ nal({ 0x06 }, escaped), nal({ 0x65 }, bytes({ 0x88 })) }), Reader::PictureSyntax::H264, {}, false },
        { "H.264: cut off before a slice", nal({ 0x06 }, sei), Reader::PictureSyntax::H264, triples, true },
        { "HEVC: prefix SEI before the slice", join({ nal({ 0x4E, 0x01 }, sei), nal({ 0x26, 0x01 }, bytes({ 0xAF })) }),
            Reader::PictureSyntax::HEVC, triples, false },
        { "MPEG-2: picture user data",
            bytes({ 0, 0, 1, 0x00, 0x11, 0x22, 0, 0, 1, 0xB2, 'G', 'A', '9', '4', 0x03, 0x41, 0xFF, 0xFC, 0x94, 0x2F,
                0xFF, 0, 0, 1, 0x01, 0x12 }),
            Reader::PictureSyntax::MPEG2, bytes({ 0xFC, 0x94, 0x2F }), false },
    };
    for (const auto& c : cases) {
        bool cutShort = !c.cutShort;
        EXPECT_EQ(Reader::captionDataOfPicture(c.picture, c.syntax, 4, &cutShort), c.triples) << c.name;
        EXPECT_EQ(cutShort, c.cutShort) << c.name;
    }
}

TEST(ClosedCaptionSyntax, ScreenTextOfDecodedEvents)
{
    struct Case {
        const char* event;
        const char* text;
    };
    const Case cases[] = {
        { "0,0,Default,,0,0,0,,{\\an7}{\\pos(38,243)}HELLO CAPTIONS", "HELLO CAPTIONS" },
        { "3,0,Default,,0,0,0,,  FIRST LINE  \\N    SECOND", "FIRST LINE\nSECOND" },
        { "1,0,Default,,0,0,0,,A\\hB, C", "A B, C" },
        { "1,0,Default,,0,0,0,,", "" },
        { "   ", "" },
        { "no fields", "no fields" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Reader::plainTextOfEvent(c.event), c.text) << c.event;
}

// What the screen shows over the movie's time, asked out of order (a jump back starts again).
struct Screen {
    double seconds;
    const char* text;
};

void expectScreens(MVMovie& movie, const std::shared_ptr<MVTrack>& carrier, const std::vector<Screen>& screens)
{
    auto reader = Reader::readerWithSource(std::make_shared<MVMediaSampleSource>(*carrier));
    ASSERT_TRUE(reader);
    for (const auto& screen : screens)
        EXPECT_EQ(reader->textAtTime(int64_t(screen.seconds * movie.timeScale())), screen.text) << screen.seconds << " s";
}

const std::vector<CaptionCue> kCues { { 1.0, "HELLO CAPTIONS" }, { 3.0, "SECOND LINE" }, { 4.4, "" } };

TEST(ClosedCaptionsPeer, ACaptionTrackOfTheCommandLine)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the movie";
    TempDir dir;
    auto path = dir / "captions.mov";
    ASSERT_TRUE(makeCaptionTrackMovie(path, kCues));
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto carrier = movie->closedCaptionTrack();
    ASSERT_TRUE(carrier);
    EXPECT_EQ(carrier->mediaType(), MVClosedCaptionMediaType);
    // Each line of the Scenarist file is one sample; ffmpeg leaves the last one (the erase) out, so the
    // track, and its captions, end with the second caption's sample.
    expectScreens(*movie, carrier,
        { { 0.2, "" }, { 1.5, "HELLO CAPTIONS" }, { 2.5, "HELLO CAPTIONS" }, { 3.2, "SECOND LINE" },
            { 1.9, "HELLO CAPTIONS" }, { 4.8, "" }, { 3.3, "SECOND LINE" } });

    // Shown or hidden: the player draws them as a text over the picture.
    EXPECT_FALSE(movie->closedCaptionsVisible());
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    auto captionTexts = [&] {
        std::vector<std::string> texts;
        for (const auto& t : playback->player().presentedTexts())
            if (t.trackID == carrier->trackID())
                texts.push_back(t.text);
        return texts;
    };
    playback->setCurrentTime(MVMakeTime(15, 10));
    EXPECT_TRUE(captionTexts().empty());
    int told = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVMovieClosedCaptionsDidChangeNotification, movie.get(), [&](const HXNotification&) { ++told; });
    movie->setClosedCaptionsVisible(true);
    movie->setClosedCaptionsVisible(true);
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(movie->closedCaptionsVisible());
    playback->setCurrentTime(MVMakeTime(16, 10));
    EXPECT_EQ(captionTexts(), std::vector<std::string> { "HELLO CAPTIONS" });
    movie->setClosedCaptionsVisible(false);
    EXPECT_TRUE(captionTexts().empty());
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST(ClosedCaptionsPeer, CaptionsCarriedInH264Pictures)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg makes the movie, ffprobe checks it";
    TempDir dir;
    auto path = dir / "in_pictures.mov";
    ASSERT_TRUE(makeCaptionsInPicturesMovie(path, kCues));
    // ffprobe finds the caption data as side data of the decoded pictures.
    auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v", "-show_frames", "-show_entries",
        "frame_side_data=side_data_type", "-of", "csv=p=0", path.string() });
    ASSERT_EQ(probe.status, 0);
    EXPECT_NE(probe.output.find("A53"), std::string::npos) << probe.output.substr(0, 300);

    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    ASSERT_EQ(movie->trackCount(), 1);
    auto carrier = movie->closedCaptionTrack();
    ASSERT_EQ(carrier, movie->tracks().front()) << "the video track carries them";
    // One byte pair a picture: a caption shows some 0.6 s after its loading starts.
    expectScreens(*movie, carrier,
        { { 0.2, "" }, { 1.8, "HELLO CAPTIONS" }, { 2.5, "HELLO CAPTIONS" }, { 3.8, "SECOND LINE" },
            { 1.9, "HELLO CAPTIONS" }, { 4.8, "" }, { 3.9, "SECOND LINE" } });

    // A movie whose pictures carry none has no captions.
    auto plain = dir / "plain.mov";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                  "-c:v", "libx264", "-pix_fmt", "yuv420p", plain.string() })
                  .status,
        0);
    auto without = MVMovie::movieWithFile(plain.string(), &error);
    ASSERT_TRUE(without);
    EXPECT_FALSE(without->hasClosedCaptions());
    without->setClosedCaptionsVisible(true);
    EXPECT_FALSE(without->closedCaptionsVisible());
}

} // namespace
