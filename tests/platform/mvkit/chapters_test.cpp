// Chapters and text media: typed text descriptions at their exact offsets, text samples and their atoms,
// chapter tracks and text import.
#include "fixtures.h"
#include "movie_test_support.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/sample_text_description.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

uint32_t be(const MVBytes& b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[at + size_t(i)];
    return v;
}

TEST(TextSampleDescription, ClassicFieldsAtTheirOffsets)
{
    MVTextSampleDescription d;
    d.displayFlags = 0x1000;
    d.textJustification = -1;
    d.backgroundColor = { 0x1111, 0x2222, 0x3333 };
    d.defaultTextBox = { 1, 2, 30, 40 };
    d.fontNumber = 21;
    d.fontFace = 0x3;
    d.fontSize = 24;
    d.foregroundColor = { 0xAAAA, 0xBBBB, 0xCCCC };
    d.fontName = "Serif";
    auto bytes = MVSerializeTextSampleDescription(d);
    EXPECT_EQ(be(bytes, 0, 4), bytes.size());
    EXPECT_EQ(be(bytes, 4, 4), MVFourCC("text"));
    struct Field {
        size_t offset;
        int width;
        uint32_t value;
    };
    const Field fields[] = { { 16, 4, 0x1000 }, { 20, 4, 0xFFFFFFFF }, { 24, 2, 0x1111 }, { 28, 2, 0x3333 },
        { 30, 2, 1 }, { 36, 2, 40 }, { 46, 2, 21 }, { 48, 1, 3 }, { 50, 2, 24 }, { 52, 2, 0xAAAA },
        { 56, 2, 0xCCCC }, { 58, 1, 5 } };
    for (const auto& f : fields)
        EXPECT_EQ(be(bytes, f.offset, f.width), f.value) << f.offset;
    EXPECT_EQ(MVParseTextSampleDescription(bytes), d);
    EXPECT_EQ(MVParseText3GSampleDescription(bytes), std::nullopt);
    bytes.resize(40);
    bytes[3] = 40;
    EXPECT_EQ(MVParseTextSampleDescription(bytes), std::nullopt);
}

TEST(TextSampleDescription, TimedTextFieldsAndFontTable)
{
    MVText3GSampleDescription d;
    d.displayFlags = 0x20;
    d.horizontalJustification = -1;
    d.backgroundColor = { 1, 2, 3, 4 };
    d.defaultTextBox = { 0, 0, 100, 200 };
    d.fontID = 2;
    d.fontFace = 1;
    d.fontSize = 30;
    d.foregroundColor = { 9, 8, 7, 6 };
    d.fontTable = { { 1, "Sans" }, { 2, "Serif, Times" } };
    auto bytes = MVSerializeText3GSampleDescription(d);
    struct Field {
        size_t offset;
        int width;
        uint32_t value;
    };
    const Field fields[] = { { 16, 4, 0x20 }, { 20, 1, 0xFF }, { 22, 4, 0x01020304 }, { 32, 2, 200 },
        { 38, 2, 2 }, { 40, 1, 1 }, { 41, 1, 30 }, { 42, 4, 0x09080706 }, { 50, 4, MVFourCC("ftab") },
        { 54, 2, 2 }, { 56, 2, 1 }, { 58, 1, 4 } };
    for (const auto& f : fields)
        EXPECT_EQ(be(bytes, f.offset, f.width), f.value) << f.offset;
    EXPECT_EQ(be(bytes, 46, 4), bytes.size() - 46);
    EXPECT_EQ(MVParseText3GSampleDescription(bytes), d);
    // A font table whose size runs past the description is not trusted.
    bytes[49] = 0xFF;
    auto damaged = MVParseText3GSampleDescription(bytes);
    ASSERT_TRUE(damaged);
    EXPECT_TRUE(damaged->fontTable.empty());
}

TEST(TextSample, TextAndAtoms)
{
    MVBytes hlit = { 0, 0, 0, 16, 'h', 'l', 'i', 't', 0, 0, 0, 1, 0, 0, 0, 3 };
    auto sample = MVMakeTextSample("Hi", hlit);
    EXPECT_EQ(MVTextSampleString(sample), "Hi");
    EXPECT_EQ(MVTextSampleAtom(sample, MVFourCC("hlit")), hlit);
    EXPECT_EQ(MVTextSampleAtom(sample, MVFourCC("dlay")), std::nullopt);
    struct Case {
        const char* name;
        MVBytes bytes;
    };
    const Case bad[] = {
        { "empty", {} },
        { "length past the end", { 0, 9, 'a' } },
        { "atom smaller than its header", { 0, 0, 0, 0, 0, 4, 'h', 'l', 'i', 't' } },
        { "atom past the end", { 0, 0, 0, 0, 0, 40, 'h', 'l', 'i', 't' } },
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MVTextSampleAtom(c.bytes, MVFourCC("hlit")), std::nullopt);
    }
    EXPECT_EQ(MVTextSampleString(bad[1].bytes), std::nullopt);
}

TEST(Chapters, SetListAndUndo)
{
    auto m = videoMovie(50); // 5 s
    HXUndoManager undo;
    m->setUndoManager(&undo);
    EXPECT_FALSE(MVMovieHasChapters(*m));
    std::vector<MVChapter> chapters
        = { { "One", MVMakeTime(0, 1) }, { "Two", MVMakeTime(2, 1) }, { "Three", MVMakeTime(4500, 1000) } };
    HXError error;
    auto track = MVMovieSetChapters(*m, chapters, &error);
    ASSERT_TRUE(track);
    EXPECT_EQ(MVMovieChapterTrack(*m), track);
    EXPECT_FALSE(track->isEnabled());
    EXPECT_EQ(MVMovieChapters(*m), chapters);
    EXPECT_EQ(track->duration(), m->durationValue());
    undo.undo();
    EXPECT_FALSE(MVMovieHasChapters(*m));
    EXPECT_EQ(m->trackCount(), 1);

    // A cut inside a chapter keeps it one chapter, which starts where it did; the ones after it move up.
    ASSERT_TRUE(MVMovieSetChapters(*m, chapters, &error));
    ASSERT_TRUE(m->deleteSegment({ MVMakeTime(3, 1), MVMakeTime(1, 2) }));
    EXPECT_EQ(MVMovieChapters(*m),
        (std::vector<MVChapter> {
            { "One", MVMakeTime(0, 1) }, { "Two", MVMakeTime(2, 1) }, { "Three", MVMakeTime(4000, 1000) } }));
    undo.undo();
    undo.undo();

    const std::vector<MVChapter> invalid[] = {
        { { "Late", MVMakeTime(9, 1) } },
        { { "B", MVMakeTime(2, 1) }, { "A", MVMakeTime(1, 1) } },
        { { "Negative", MVMakeTime(-1, 1) } },
    };
    for (const auto& list : invalid) {
        EXPECT_EQ(MVMovieSetChapters(*m, list, &error), nullptr);
        EXPECT_EQ(error.code(), -50);
    }
}

TEST(Chapters, ReadFromAFileMadeByFfmpeg)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::ChaptersMp4);
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    auto chapters = MVMovieChapters(*m);
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_EQ(chapters[0].name, "Opening");
    EXPECT_EQ(chapters[1].name, "Closing");
    double second = double(MVTimeInScale(chapters[1].startTime, 1000).timeValue) / 1000.0;
    EXPECT_NEAR(second, 1.5, 0.01);
}

TEST(TextImport, OneSecondPerLine)
{
    auto m = videoMovie(30);
    auto result = MVImportText(*m, "first\r\nsecond\rthird\n", nullptr, 600);
    ASSERT_TRUE(result.track);
    EXPECT_EQ(result.durationAdded, 1800);
    EXPECT_EQ(result.track->media()->sampleCount(), 3);
    auto sample = result.track->media()->getSample(600);
    ASSERT_TRUE(sample);
    EXPECT_EQ(MVTextSampleString(sample->bytes), "second");
    EXPECT_EQ(result.track->trackTimeToMediaTime(600), 0);
    EXPECT_EQ(result.track->trackTimeToMediaTime(599), -1);
    // Into the same track, later.
    auto more = MVImportText(*m, "fourth", result.track, 2400);
    EXPECT_EQ(more.track, result.track);
    EXPECT_EQ(result.track->media()->sampleCount(), 4);
    EXPECT_EQ(MVImportText(*m, "", nullptr, 0).track, nullptr);
}

} // namespace

namespace {

TEST(TextSearch, ForwardBackwardCaseAndWrap)
{
    auto m = videoMovie(60); // 6 s
    auto subtitles = MVImportText(*m, "hello world\rnothing\rsay Hello", nullptr, 0).track; // track 2
    auto notes = MVImportText(*m, "x\rworld again", nullptr, 1200).track; // track 3
    ASSERT_TRUE(subtitles && notes);
    const int caseSensitive = 2, backward = 4, wrap = 8;
    struct Case {
        const char* name;
        const char* text;
        int track;
        int64_t start;
        int32_t offset;
        int flags;
        int64_t time; // −1: no hit
        int hitTrack;
        int32_t hitOffset;
    };
    const Case cases[] = {
        { "first hit", "world", 1, 0, 0, 0, 0, 2, 6 },
        { "past the first hit in the same sample", "world", 2, 0, 7, 0, 1800, 3, 0 },
        { "ignoring case", "hello", 2, 600, 0, 0, 1200, 2, 4 },
        { "matching case", "hello", 2, 600, 0, caseSensitive, -1, 0, -1 },
        { "matching case with wrap-around", "hello", 2, 600, 0, caseSensitive | wrap, 0, 2, 0 },
        { "backward", "world", 3, 1900, 0, backward, 0, 2, 6 },
        { "backward within the start sample", "l", 2, 0, 4, backward, 0, 2, 3 },
        { "not there", "absent", 1, 0, 0, wrap, -1, 0, -1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto hit = m->findText(c.text, c.track, MVMakeTime(c.start, 600), c.offset, c.flags);
        if (c.time < 0) {
            EXPECT_TRUE(MVTimeIsIndefinite(hit.time));
        } else {
            EXPECT_TRUE(MVTimeEqual(hit.time, MVMakeTime(c.time, 600))) << MVStringFromTime(hit.time);
        }
        EXPECT_EQ(hit.trackIndex, c.hitTrack);
        EXPECT_EQ(hit.offset, c.hitOffset);
    }
    EXPECT_TRUE(MVTimeEqual(m->frameStartTime(MVMakeTime(1250, 600)), MVMakeTime(1200, 600)));
    EXPECT_TRUE(MVTimeEqual(m->frameStartTime(MVMakeTime(1230, 600)), MVMakeTime(1200, 600)));
}

} // namespace
