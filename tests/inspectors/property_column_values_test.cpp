// The values of the properties window's columns for a movie and its tracks.
#include "property_test_support.h"

#include "inspectors/property_column_values.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/user_data.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace movara::test::inspectors;

namespace {

std::string localized(const char* key)
{
    return HXLocalizedString(key);
}

std::string listName(const std::shared_ptr<MVTrack>& track)
{
    return MVPPropertyValueForKey(MVPInspectedObject(track), "stringForList").stringValue();
}

} // namespace

TEST(PropertyColumnValues, UnnamedTracksAreNamedByTypeAndNumberedOnlyAmongTheirKind)
{
    auto movie = movieWithTracks({ MVFourCC("soun"), MVFourCC("vide"), MVFourCC("soun"), MVFourCC("zzzz") });
    const auto& t = movie->tracks();
    ASSERT_NE(localized("mvTrackSoundTrackName"), "mvTrackSoundTrackName")
        << "the program's strings are found";
    EXPECT_EQ(listName(t[0]), localized("mvTrackSoundTrackName") + " 1");
    EXPECT_EQ(listName(t[2]), localized("mvTrackSoundTrackName") + " 2");
    EXPECT_EQ(listName(t[1]), localized("mvTrackVideoTrackName")) << "one of its kind: no number";
    EXPECT_EQ(listName(t[3]), "zzzz Track") << "an unknown type shows its code";

    t[2]->setAttributeForKey(HXPropertyList("Commentary"), MVTrackDisplayNameAttribute);
    EXPECT_EQ(listName(t[2]), "Commentary");
    EXPECT_EQ(listName(t[0]), localized("mvTrackSoundTrackName") + " 1") << "named tracks still count";
}

TEST(PropertyColumnValues, MediaTypeNamesFollowTheTable)
{
    const std::pair<const char*, const char*> cases[] = {
        { "vide", "mvTrackVideoTrackName" },
        { "soun", "mvTrackSoundTrackName" },
        { "sprt", "mvTrackSpriteTrackName" },
        { "MPEG", "mvTrackMPEGTrackName" },
        { "flsh", "mvTrackFlashTrackName" },
        { "musi", "mvTrackMusicTrackName" },
        { "twen", "mvTrackTweenTrackName" },
        { "tmcd", "mvTrackTimeCodeTrackName" },
        { "text", "mvTrackTextTrackName" },
        { "moov", "mvTrackMovieTrackName" },
        { "sx3d", "mvTrackThreeDeeTrackName" },
        { "skin", "mvTrackSkinTrackName" },
        { "gnrc", "mvTrackUnknownTrackName" },
    };
    for (const auto& [code, key] : cases) {
        SCOPED_TRACE(code);
        std::string name = MVPTrackAdditions::mediaTypeName(HXFourCharCode(code));
        EXPECT_EQ(name, localized(key));
        EXPECT_NE(name, key);
    }
}

TEST(PropertyColumnValues, VerboseNamesAddTheFullName)
{
    auto movie = movieWithTracks({ MVFourCC("vide") });
    MVPInspectedObject movieRow(movie), trackRow(movie->tracks()[0]);
    EXPECT_EQ(MVPPropertyValueForKey(movieRow, "stringForList").stringValue(), localized("mvpMovie"));
    movie->setDisplayName("Holiday");
    EXPECT_EQ(MVPPropertyValueForKey(movieRow, "verboseStringForList").stringValue(), "Holiday");
    MVUserDataSetText(movie->userData(), 0xA96E616D, "Our Holiday 2026");
    EXPECT_EQ(
        MVPPropertyValueForKey(movieRow, "verboseStringForList").stringValue(), "Holiday (Our Holiday 2026)");
    MVUserDataSetText(movie->tracks()[0]->userData(), 0xA96E616D, "Main");
    EXPECT_EQ(MVPPropertyValueForKey(trackRow, "verboseStringForList").stringValue(),
        localized("mvTrackVideoTrackName") + " (Main)");
}

TEST(PropertyColumnValues, TrackTimesAreItsRangeWithinTheMovie)
{
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    // 10 s of nothing, then 5 s shown.
    track->setEdits({ { 6000, -1, 0x10000 }, { 3000, 0, 0x10000 } });
    MVPInspectedObject row(track);
    struct Case {
        const char* key;
        double seconds;
    };
    for (const Case& c : { Case { "startTimeInSeconds", 10 }, Case { "durationInSeconds", 5 },
             Case { "stopTimeInSeconds", 15 } }) {
        SCOPED_TRACE(c.key);
        EXPECT_DOUBLE_EQ(MVPPropertyValueForKey(row, c.key).realValue(), c.seconds);
    }
    MVPInspectedObject movieRow(movie);
    EXPECT_DOUBLE_EQ(MVPPropertyValueForKey(movieRow, "startTimeInSeconds").realValue(), 0);
    EXPECT_DOUBLE_EQ(MVPPropertyValueForKey(movieRow, "durationInSeconds").realValue(), 15);
    EXPECT_DOUBLE_EQ(MVPPropertyValueForKey(movieRow, "stopTimeInSeconds").realValue(), 15);
    EXPECT_EQ(MVPPropertyValueForKey(row, "stopTimeString").stringValue(),
        MVPPropertyValueForKey(movieRow, "durationString").stringValue());
    EXPECT_NE(MVPPropertyValueForKey(row, "startTimeString").stringValue(),
        MVPPropertyValueForKey(movieRow, "startTimeString").stringValue());
}

TEST(PropertyColumnValues, SecondsOfATimeThatCannotBeConvertedAreInfinite)
{
    EXPECT_TRUE(std::isinf(MVPSecondsForTime(MVIndefiniteTime)));
    EXPECT_TRUE(std::isinf(MVPSecondsForTime(MVMakeTime(5, 0))));
    EXPECT_DOUBLE_EQ(MVPSecondsForTime(MVMakeTime(1500, 600)), 2.5);
}

TEST(PropertyColumnValues, DecodedSwitchesTheTrackWithUndo)
{
    auto movie = movieWithTracks({ MVFourCC("soun") });
    HXUndoManager undo;
    undo.setGroupsByEvent(false);
    movie->setUndoManager(&undo);
    MVPInspectedObject row(movie->tracks()[0]);
    ASSERT_TRUE(MVPPropertyValueForKey(row, "decoded").boolValue());

    undo.beginUndoGrouping();
    EXPECT_TRUE(MVPSetPropertyValueForKey(row, HXPropertyList(true), "decoded"));
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canUndo()) << "setting the state it has registers nothing";

    undo.beginUndoGrouping();
    MVPSetPropertyValueForKey(row, HXPropertyList(false), "decoded");
    undo.endUndoGrouping();
    EXPECT_FALSE(movie->tracks()[0]->isEnabled());
    ASSERT_TRUE(undo.canUndo());
    undo.undo();
    EXPECT_TRUE(movie->tracks()[0]->isEnabled());
    undo.redo();
    EXPECT_FALSE(movie->tracks()[0]->isEnabled());
    movie->setUndoManager(nullptr);
}

TEST(PropertyColumnValues, OnlyKnownKeysAnswerOrAreSet)
{
    auto movie = movieWithTracks({ MVFourCC("vide") });
    MVPInspectedObject movieRow(movie), trackRow(movie->tracks()[0]);
    EXPECT_TRUE(MVPPropertyValueForKey(movieRow, "noSuchKey").isNull());
    EXPECT_TRUE(MVPPropertyValueForKey(movieRow, "decoded").isNull()) << "the movie has no decoded switch";
    EXPECT_FALSE(MVPSetPropertyValueForKey(movieRow, HXPropertyList(false), "decoded"));
    EXPECT_FALSE(MVPSetPropertyValueForKey(trackRow, HXPropertyList(1.0), "startTimeInSeconds"));
    EXPECT_TRUE(MVPSetPropertyValueForKey(trackRow, HXPropertyList("Picture"), "stringForList"));
    EXPECT_EQ(MVPPropertyValueForKey(trackRow, "stringForList").stringValue(), "Picture");
    EXPECT_TRUE(MVPPropertyValueForKey(MVPInspectedObject(), "stringForList").isNull());
}
