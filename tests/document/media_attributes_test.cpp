// The info rows of a movie document for movies of every kind, and the texts they are made of.
#include "movie_document_test_support.h"

#include "document/media_attributes.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"
#include "tests/platform/mvkit/fixtures.h"

using namespace movara::test;
using namespace movara::test::document;
using namespace MVPMediaAttributes;

namespace {

class MediaAttributesTest : public DocumentTest { };

std::string value(const MVPMovieDocument& doc, Row row)
{
    return doc.attributes().at(size_t(row)).value.value_or("<none>");
}

TEST_F(MediaAttributesTest, RowsForMoviesOfEveryKind)
{
    struct Case {
        MovieFixture fixture;
        std::string format, fps, normalSize, duration;
    };
    // The fixture strings table writes "px" for pixels.
    const Case cases[] = {
        { MovieFixture::MetadataMov, "H.264, 160 x 120", "25", "160 x 120 px", "0:00:00:03.00" },
        { MovieFixture::PcmWav, "Linear PCM, Mono, 16.000 kHz", "<none>", "<none>", "0:00:00:02.00" },
        { MovieFixture::H264AacMov, "H.264, 160 x 120\nAAC, Mono, 44.100 kHz", "25", "160 x 120 px",
            "0:00:00:03.00" },
        { MovieFixture::MjpegPcmMov, "Photo - JPEG, 160 x 120\nLinear PCM, Mono, 22.050 kHz", "10",
            "160 x 120 px", "0:00:00:02.00" },
        // A time-code track is not described; a disabled chapter track neither, nor a subtitle track of a
        // movie without chapters.
        { MovieFixture::TimecodeMov, "H.264, 160 x 120", "25", "160 x 120 px", "0:00:00:03.00" },
        { MovieFixture::ChaptersMp4, "H.264, 160 x 120\nAAC, Mono, 44.100 kHz", "25", "160 x 120 px",
            "0:00:00:03.00" },
        { MovieFixture::SubtitleMov, "H.264, 160 x 120", "25", "160 x 120 px", "0:00:00:03.00" },
    };
    for (const auto& c : cases) {
        auto path = fixturePath(c.fixture);
        if (path.empty())
            GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
        SCOPED_TRACE(fixtureName(c.fixture));
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, nullptr);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->attributes().size(), size_t(RowCount));
        EXPECT_EQ(doc->attributes()[SourceRow].label, "Src");
        EXPECT_EQ(doc->attributes()[EmptyRow], MVPAttributePair {});
        EXPECT_EQ(value(*doc, SourceRow), path.string());
        EXPECT_EQ(value(*doc, FormatRow), c.format);
        EXPECT_EQ(value(*doc, FPSRow), c.fps);
        EXPECT_EQ(value(*doc, PlayingFPSRow), c.fps == "<none>" ? "<none>" : "(while playing)");
        EXPECT_EQ(value(*doc, NormalSizeRow), c.normalSize);
        EXPECT_EQ(value(*doc, DurationRow), c.duration);
        EXPECT_EQ(value(*doc, CurrentTimeRow), "0:00:00:00.00");
        EXPECT_NE(value(*doc, DataSizeRow), "<none>");
        EXPECT_NE(value(*doc, DataRateRow), "<none>");
        EXPECT_EQ(value(*doc, BitRateRow), "<none>") << "not streaming";
        EXPECT_EQ(value(*doc, QualityRow), "<none>");
        EXPECT_EQ(value(*doc, CurrentSizeRow), "<none>") << "not shown";
        EXPECT_TRUE(doc->information().empty());
    }
}

TEST_F(MediaAttributesTest, AMovieOfExactlyOneSecondShowsNoDurationRateOrTime)
{
    auto path = fixturePath(MovieFixture::H264AacMov);
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    auto movie = MVMovie::movieWithFile(path.string(), nullptr);
    ASSERT_TRUE(movie);
    int32_t scale = movie->timeScale();
    ASSERT_TRUE(movie->deleteSegment(
        { MVMakeTime(scale, scale), MVMakeTime(movie->durationValue() - scale, scale) }));
    ASSERT_EQ(movie->durationValue(), scale);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    EXPECT_EQ(value(*doc, DurationRow), "<none>");
    EXPECT_EQ(value(*doc, DataRateRow), "<none>");
    EXPECT_EQ(value(*doc, CurrentTimeRow), "<none>");
    EXPECT_EQ(value(*doc, FPSRow), "<none>");
    EXPECT_NE(value(*doc, DataSizeRow), "<none>");
}

TEST_F(MediaAttributesTest, RowsFollowPlayingAndTheShownSize)
{
    auto path = fixturePath(MovieFixture::H264AacMov);
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    auto changes = count(kMVPMediaAttributesHaveChangedNotification, doc.get());
    doc->movie()->setRate(1);
    EXPECT_EQ(value(*doc, PlayingFPSRow), "25");
    EXPECT_GE(*changes, 1);

    doc->makeWindowControllers();
    // The player window shows the movie at twice its natural size.
    auto player = dynamic_cast<MVPDocumentPlayerWindow*>(doc->playerWindowController().get());
    ASSERT_TRUE(player && doc->movieWindow());
    player->setScale({ 2, 2 }, false);
    doc->updateCurrentSizeAttribute();
    EXPECT_EQ(value(*doc, CurrentSizeRow), "[320 x 240 | double]");
}

TEST(MediaAttributeTexts, DisplaySizeNotes)
{
    struct Case {
        HXSize size;
        std::string expected;
    };
    const HXSize natural { 160, 120 };
    const Case cases[] = {
        { { 160, 120 }, "[160 x 120 | actual]" },
        { { 80, 60 }, "[80 x 60 | half]" },
        { { 320, 240 }, "[320 x 240 | double]" },
        { { 240, 180 }, "240 x 180 px" },
        { { 320, 120 }, "320 x 120 px" },
        { { 80.5, 60.5 }, "80 x 60 px" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(stringForMovieDisplaySize(c.size, natural), c.expected) << c.size.width;
    // An odd natural size: the window shows the half and the double in whole pixels, rounded.
    const HXSize odd { 161, 121 };
    const Case oddCases[] = {
        { { 161, 121 }, "[161 x 121 | actual]" },
        { { 81, 61 }, "[81 x 61 | half]" },
        { { 322, 242 }, "[322 x 242 | double]" },
        { { 80, 61 }, "80 x 61 px" },
        { { 82, 61 }, "82 x 61 px" },
    };
    for (const auto& c : oddCases)
        EXPECT_EQ(stringForMovieDisplaySize(c.size, odd), c.expected) << c.size.width;
    EXPECT_FALSE(currentSizeString({ natural, { 0, 120 }, false }));
}

TEST(MediaAttributeTexts, FrameRates)
{
    struct Case {
        double rate;
        std::string expected;
    };
    const Case cases[] = { { 25, "25" }, { 29.97, "29.97" }, { 30000.0 / 1001, "29.97" }, { 12.5, "12.50" },
        { 120, "120" } };
    for (const auto& c : cases)
        EXPECT_EQ(frameRateText(c.rate), c.expected) << c.rate;
}

TEST(MediaAttributeTexts, AnnotationsInTheFixedOrderOfTheirTypes)
{
    auto movie = MVMovie::movie();
    EXPECT_TRUE(annotationStrings(*movie).empty());
    MVUserDataSetText(movie->userData(),
        MVOSTypeForString("\xC2\xA9"
                          "cmt"),
        "a comment");
    MVUserDataSetText(movie->userData(),
        MVOSTypeForString("\xC2\xA9"
                          "cpy"),
        "(c) us");
    MVUserDataSetText(movie->userData(),
        MVOSTypeForString("\xC2\xA9"
                          "ART"),
        "an artist");
    MVUserDataSetText(movie->userData(),
        MVOSTypeForString("\xC2\xA9"
                          "nam"),
        "not listed");
    auto track = movie->newTrack(MVFourCC("soun"), 44100);
    MVUserDataSetText(track->userData(),
        MVOSTypeForString("\xC2\xA9"
                          "ART"),
        "the track's artist");
    EXPECT_EQ(annotationStrings(*movie),
        (std::vector<std::string> { "(c) us", "the track's artist", "a comment" }));
    track->setEnabled(false);
    EXPECT_EQ(annotationStrings(*movie), (std::vector<std::string> { "(c) us", "an artist", "a comment" }));
}

} // namespace
