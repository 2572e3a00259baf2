// Edit lists of tracks: segment insertion, deletion and scaling, time mapping and interesting times.
#include "fixtures.h"
#include "movie_test_support.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track_geometry.h"

#include "platform/basekit/notification_center.h"

#include <gtest/gtest.h>

#include <functional>
#include <numbers>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(TrackEdits, SegmentOperations)
{
    struct Case {
        const char* name;
        std::function<bool(MVTrack&)> operation;
        std::vector<MVTrackEdit> edits;
    };
    const Case cases[] = {
        { "delete the middle", [](MVTrack& t) { return t.deleteSegment(120, 120); },
            { { 120, 0, 0x10000 }, { 360, 240, 0x10000 } } },
        { "delete from the start", [](MVTrack& t) { return t.deleteSegment(0, 60); },
            { { 540, 60, 0x10000 } } },
        { "delete past the end keeps the rest", [](MVTrack& t) { return t.deleteSegment(540, 600); },
            { { 540, 0, 0x10000 } } },
        { "delete beyond the track does nothing", [](MVTrack& t) { return t.deleteSegment(700, 60); },
            { { 600, 0, 0x10000 } } },
        { "insert empty time", [](MVTrack& t) { return t.insertEmptySegment(300, 60); },
            { { 300, 0, 0x10000 }, { 60, -1, 0x10000 }, { 300, 300, 0x10000 } } },
        { "insert media at the start", [](MVTrack& t) { return t.insertMedia(0, 120, 60); },
            { { 60, 120, 0x10000 }, { 600, 0, 0x10000 } } },
        { "insert media past the end adds empty time first",
            [](MVTrack& t) { return t.insertMedia(660, 0, 60); },
            { { 600, 0, 0x10000 }, { 60, -1, 0x10000 }, { 60, 0, 0x10000 } } },
        { "insert media at half speed", [](MVTrack& t) { return t.insertMedia(600, 0, 60, 0.5); },
            { { 600, 0, 0x10000 }, { 120, 0, 0x8000 } } },
        { "scale the second half to double length", [](MVTrack& t) { return t.scaleSegment(300, 300, 600); },
            { { 300, 0, 0x10000 }, { 600, 300, 0x8000 } } },
        { "a negative time is refused", [](MVTrack& t) { return !t.deleteSegment(-1, 60); },
            { { 600, 0, 0x10000 } } },
        { "an empty insertion is refused", [](MVTrack& t) { return !t.insertMedia(0, 0, 0); },
            { { 600, 0, 0x10000 } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = videoMovie(10);
        auto& track = *m->trackAtIndex(1);
        EXPECT_TRUE(c.operation(track));
        EXPECT_EQ(track.edits(), c.edits);
    }
}

TEST(TrackEdits, TrackToMediaTime)
{
    auto m = videoMovie(10);
    auto track = m->trackAtIndex(1);
    track->deleteSegment(120, 120); // shows media 0..120, then 240..600
    track->insertEmptySegment(0, 60); // and starts with 0.1 s of nothing
    struct Case {
        int64_t trackTime;
        int64_t mediaTime;
    };
    const Case cases[] = { { 0, -1 }, { 59, -1 }, { 60, 0 }, { 179, 119 }, { 180, 240 }, { 539, 599 },
        { 540, -1 }, { -5, -1 } };
    for (const auto& c : cases)
        EXPECT_EQ(track->trackTimeToMediaTime(c.trackTime), c.mediaTime) << c.trackTime;
    EXPECT_EQ(shownBytes(*track), (std::vector<int> { -1, 0, 1, 4, 5, 6, 7, 8, 9 }));
    const Case back[] = { { 60, 0 }, { 179, 119 }, { 180, 240 }, { -1, 150 }, { 539, 599 }, { -1, 600 } };
    for (const auto& c : back)
        EXPECT_EQ(track->mediaTimeToTrackTime(c.mediaTime), c.trackTime) << c.mediaTime;
}

TEST(TrackEdits, NextInterestingTime)
{
    auto m = videoMovie(10, 5); // sync samples 0 and 5
    auto track = m->trackAtIndex(1);
    track->insertEmptySegment(300, 120); // samples at 0..240, nothing 300..420, then 420..720
    struct Case {
        const char* name;
        int64_t from;
        uint16_t flags;
        double rate;
        int64_t time;
        int64_t duration;
    };
    const Case cases[] = {
        { "first sample counts at the edge", 0, MVNextTimeMediaSample | MVNextTimeEdgeOK, 1, 0, 60 },
        { "next sample after the start", 0, MVNextTimeMediaSample, 1, 60, 60 },
        { "from inside a sample", 70, MVNextTimeMediaSample, 1, 120, 60 },
        { "empty time is skipped", 250, MVNextTimeMediaSample, 1, 420, 60 },
        { "last sample has no next", 660, MVNextTimeMediaSample, 1, -1, 0 },
        { "sync samples only", 0, MVNextTimeSyncSample, 1, 420, 60 },
        { "edit edges", 10, MVNextTimeMediaEdit, 1, 300, 120 },
        { "backward from inside", 130, MVNextTimeMediaSample, -1, 120, 60 },
        { "backward over empty time", 420, MVNextTimeMediaSample, -1, 240, 60 },
        { "backward from the start", 0, MVNextTimeMediaSample, -1, -1, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = track->nextInterestingTime(c.from, c.flags, c.rate);
        EXPECT_EQ(r.time, c.time);
        if (c.time >= 0) {
            EXPECT_EQ(r.duration, c.duration);
        }
    }
}

TEST(TrackReferences, SetGetAndRemove)
{
    auto m = videoMovie(2);
    auto video = m->trackAtIndex(1);
    auto text = m->newTrack(MVFourCC("text"), 600);
    auto other = m->newTrack(MVFourCC("text"), 600);
    video->setReference(text, MVFourCC("chap"), 1);
    video->setReference(other, MVFourCC("chap"), 2);
    video->setReference(other, MVFourCC("chap"), 5); // out of range: ignored
    EXPECT_EQ(video->referenceCount(MVFourCC("chap")), 2);
    EXPECT_EQ(video->referenceTrack(MVFourCC("chap"), 2), other);
    video->setReference(nullptr, MVFourCC("chap"), 1);
    EXPECT_EQ(video->referenceTrack(MVFourCC("chap"), 1), other);
    EXPECT_EQ(video->referenceTrack(MVFourCC("chap"), 2), nullptr);
}

TEST(TrackAttributes, HeaderFieldsByName)
{
    auto m = videoMovie(10);
    auto video = m->trackAtIndex(1);
    auto text = m->newTrack(MVFourCC("text"), 600);
    struct Case {
        const char* key;
        HXPropertyList value;
    };
    const Case cases[] = {
        { MVTrackSourceDimensionsAttribute,
            HXPropertyList::Dictionary { { "width", 320.0 }, { "height", 240.0 } } },
        { MVTrackSourcePositionAttribute, HXPropertyList::Dictionary { { "x", 10.0 }, { "y", -4.5 } } },
        { MVTrackOperationColorAttribute, HXPropertyList::Array { 0x1000, 0x2000, 0xFFFF } },
        { MVTrackTransferModeAttribute, 36 },
        { MVTrackChapterlistAttribute, int64_t(text->trackID()) },
        { MVTrackHrefAttribute, "http://127.0.0.1/" },
        { MVTrackPreloadTrackAttribute, true },
        { MVTrackRangeAttribute,
            HXPropertyList::Dictionary { { "time", MVStringFromTime(MVMakeTime(120, 600)) },
                { "duration", MVStringFromTime(MVMakeTime(600, 600)) } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        video->setAttributeForKey(c.value, c.key);
        EXPECT_EQ(video->attributeForKey(c.key), c.value);
    }
    EXPECT_EQ(video->referenceTrack(MVFourCC("chap"), 1), text);
    EXPECT_EQ(video->matrix().values[6], 10 * 65536);
    EXPECT_EQ(video->edits().front(), (MVTrackEdit { 120, -1, 0x10000 })); // moved by 0.2 s
    auto stored = video->media()->storedDescription().information.header;
    EXPECT_EQ(stored.type, MVFourCC("vmhd"));
    EXPECT_EQ(stored.payload[4], 0);
    EXPECT_EQ(stored.payload[5], 36); // graphics mode, big-endian
    EXPECT_EQ(stored.payload[10], 0xFF);
    video->setAttributeForKey(0, MVTrackChapterlistAttribute);
    EXPECT_EQ(video->referenceCount(MVFourCC("chap")), 0);
    // A matrix needs nine numbers; a balance needs a sound track.
    video->setAttributeForKey(HXPropertyList::Array { 1, 2 }, MVTrackMatrixAttribute);
    EXPECT_EQ(video->matrix().values[0], 0x10000);
    video->setAttributeForKey(0.5, MVTrackBalanceAttribute);
    EXPECT_TRUE(video->attributeForKey(MVTrackBalanceAttribute).isNull());
    auto sound = m->newTrack(MVFourCC("soun"), 8000);
    sound->setAttributeForKey(-0.5, MVTrackBalanceAttribute);
    EXPECT_DOUBLE_EQ(sound->attributeForKey(MVTrackBalanceAttribute).realValue(), -0.5);
}

TEST(TrackAttributes, AChangeOfTheMovieBoxIsAnnounced)
{
    // A window follows the movie's box: a track turned, resized or switched off or on changes it.
    auto m = videoMovie(2);
    auto video = m->trackAtIndex(1);
    int announced = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVMovieNaturalSizeDidChangeNotification, m.get(), [&](const HXNotification&) { ++announced; });
    struct Case {
        const char* name;
        std::function<void()> change;
        bool announces;
    };
    const std::pair<double, double> size = m->naturalSize();
    const Case cases[] = {
        { "a quarter turn", [&] { MVTrackRotate(*video, std::numbers::pi / 2); }, true },
        { "a mirror image keeps the box", [&] { MVTrackFlipX(*video); }, false },
        { "the same matrix again", [&] { video->setMatrix(video->matrix()); }, false },
        { "switched off", [&] { video->setEnabled(false); }, true },
        { "switched on", [&] { video->setEnabled(true); }, true },
        { "a new size", [&] { video->setDimensions(size.first / 2, size.second / 2); }, true },
    };
    for (const auto& c : cases) {
        announced = 0;
        c.change();
        EXPECT_EQ(announced, c.announces ? 1 : 0) << c.name;
    }
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST(TrackAttributes, ReadBackAsSet)
{
    auto m = videoMovie(2);
    auto t = m->trackAtIndex(1);
    t->setAttributeForKey(false, MVTrackEnabledAttribute);
    t->setAttributeForKey(3, MVTrackLayerAttribute);
    t->setAttributeForKey(0.5, MVTrackVolumeAttribute);
    t->setAttributeForKey("Camera", MVTrackDisplayNameAttribute);
    EXPECT_FALSE(t->attributeForKey(MVTrackEnabledAttribute).boolValue());
    EXPECT_EQ(t->attributeForKey(MVTrackLayerAttribute).integerValue(), 3);
    EXPECT_DOUBLE_EQ(t->attributeForKey(MVTrackVolumeAttribute).realValue(), 0.5);
    EXPECT_EQ(t->attributeForKey(MVTrackDisplayNameAttribute).stringValue(), "Camera");
    EXPECT_EQ(t->attributeForKey(MVTrackMediaTypeAttribute).stringValue(), "vide");
    EXPECT_TRUE(t->attributeForKey("NoSuchAttribute").isNull());
    t->setAttributeForKey(7, MVTrackIDAttribute); // identity is not settable
    EXPECT_EQ(t->trackID(), 1u);
    EXPECT_TRUE(m->hasChanged());
}

} // namespace

namespace {

TEST(TrackLanguages, AlternatesAndSubtitles)
{
    auto m = videoMovie(10);
    auto english = m->newTrack(MVFourCC("soun"), 8000);
    auto french = m->newTrack(MVFourCC("soun"), 8000);
    english->setLanguage(*MVPackedLanguage("eng"));
    french->setLanguage(*MVPackedLanguage("fra"));
    english->setAlternateGroup(1);
    french->setAlternateGroup(1);
    EXPECT_EQ(english->isoLanguageCode(), 0x656E6700u);
    EXPECT_EQ(m->audioLanguageTracks().size(), 2u);
    EXPECT_EQ(m->alternateTracks().size(), 2u);
    m->setLanguage(*MVPackedLanguage("fra"));
    EXPECT_TRUE(french->isEnabled());
    EXPECT_FALSE(english->isEnabled());
    m->setMovieLanguage(english);
    EXPECT_TRUE(english->isEnabled());
    EXPECT_FALSE(french->isEnabled());
    EXPECT_TRUE(m->trackAtIndex(1)->isEnabled()); // the video is in no group

    EXPECT_FALSE(m->hasSubtitles());
    auto subtitles = m->newTrack(MVFourCC("sbtl"), 600);
    auto other = m->newTrack(MVFourCC("sbtl"), 600);
    other->setLanguage(*MVPackedLanguage("deu"));
    EXPECT_TRUE(m->hasSubtitles());
    m->setSubtitlesVisible(false);
    EXPECT_FALSE(m->subtitlesVisible());
    m->setSubtitlesVisible(true);
    EXPECT_TRUE(subtitles->isEnabled());
    m->setSubtitlesLanguage(*MVPackedLanguage("deu"));
    EXPECT_TRUE(other->isEnabled());
    EXPECT_FALSE(subtitles->isEnabled());
}

TEST(TrackLanguages, SubtitlesOfAFileMadeByFfmpeg)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::SubtitleMov);
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    EXPECT_TRUE(m->hasSubtitles());
    // Chapters are text too, but not subtitles.
    ASSERT_TRUE(MVMovieSetChapters(*m, { { "One", MVMakeTime(0, 1) } }, &error));
    EXPECT_EQ(m->subtitleTracks().size(), 1u);
    EXPECT_NE(m->subtitleTracks().front(), MVMovieChapterTrack(*m));
}

} // namespace
