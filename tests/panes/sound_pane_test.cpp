// The audio pane: each setting of the movie and of a track read, set, undone and redone; unchanged and
// out-of-range values; solo; mute and solo heard in the playing movie; the channel table and its label
// menus, the discrete channels the sound device adds, and the speaker assignment heard; channel layout
// records.
#include "audio_inspector.h"
#include "track_audio_inspector.h"

#include "audio_capture.h"
#include "pane_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/audio_channel_layout.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace movara::test;

namespace {

// Panes made without a playback ask the default sound device for its channels: here there is none.
const bool kSilent = setenv("MOVARA_SILENT_AUDIO", "1", 1) == 0;

std::shared_ptr<MVPPropertyInspector> makePane(const MVPInspectedObject& object)
{
    MVPAudioInspectorFactory factory;
    factory.setBundle(paneBundle("SoundPane"));
    auto pane = factory.propertyInspectorForObject(object);
    if (pane) {
        pane->view();
        pane->startInspection();
    }
    return pane;
}

std::shared_ptr<MVTrack> soundTrack(const MVMovie& movie)
{
    auto tracks = movie.tracksOfMediaType(MVFourCC("soun"));
    return tracks.empty() ? nullptr : tracks[0];
}

} // namespace

TEST(SoundPane, EveryKeySetsTheObjectAndUndoesAndRedoes)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto track = soundTrack(*m.movie);
    ASSERT_TRUE(track);
    struct Case {
        const char* key;
        HXPropertyList initial, value;
    } cases[] = {
        { "volume", int64_t(256), int64_t(128) }, // full volume is 256
        { "muted", false, true },
        { "balance", 0.0, -0.5 },
        { "bass", 0.0, 4.0 },
        { "treble", 0.0, -3.0 },
        { "gain", 1.0, 1.5 },
    };
    for (auto object : { MVPInspectedObject(m.movie), MVPInspectedObject(track) }) {
        auto pane = std::dynamic_pointer_cast<MVPAudioInspector>(makePane(object));
        ASSERT_TRUE(pane);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.key) + (object.isTrack() ? " of the track" : " of the movie"));
            HXPropertyList before = pane->valueForKey(c.key);
            EXPECT_EQ(before, c.initial);
            ASSERT_TRUE(pane->setValueForKey(c.value, c.key));
            EXPECT_EQ(pane->valueForKey(c.key), c.value);
            EXPECT_TRUE(m.undo->canUndo());
            m.undo->undo();
            EXPECT_EQ(pane->valueForKey(c.key), before);
            m.undo->redo();
            EXPECT_EQ(pane->valueForKey(c.key), c.value);
        }
    }
    // The settings reached the model.
    EXPECT_FLOAT_EQ(m.movie->bass(), 4.0f);
    EXPECT_FLOAT_EQ(track->gain(), 1.5f);
    EXPECT_FLOAT_EQ(track->volume(), 0.5f);
    EXPECT_TRUE(track->isMuted());
    EXPECT_DOUBLE_EQ(track->attributeForKey(MVTrackBalanceAttribute).realValue(), -0.5);
}

TEST(SoundPane, UnchangedAndBadValuesRegisterNothing)
{
    UndoableMovie m(MVMovie::movie());
    auto pane = std::dynamic_pointer_cast<MVPAudioInspector>(makePane(MVPInspectedObject(m.movie)));
    ASSERT_TRUE(pane);
    m.movie->setBass(2.5f);
    struct Case {
        const char* key;
        HXPropertyList value;
        bool accepted;
    } cases[] = {
        { "bass", 2.5, true }, // the current value
        { "volume", int64_t(257), false },
        { "volume", int64_t(-1), false },
        { "balance", 1.5, false },
        { "gain", -0.1, false },
        { "treble", std::nan(""), false },
        { "bass", "loud", false },
        { "pitch", 1.0, false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pane->setValueForKey(c.value, c.key), c.accepted) << c.key;
        EXPECT_FALSE(m.undo->canUndo()) << c.key;
    }
    EXPECT_FLOAT_EQ(m.movie->bass(), 2.5f);
    EXPECT_FLOAT_EQ(m.movie->volume(), 1.0f);
}

TEST(SoundPane, FollowsChangesMadeElsewhereAndDropsItsUndoWhenGone)
{
    UndoableMovie m(MVMovie::movie());
    auto pane = std::dynamic_pointer_cast<MVPAudioInspector>(makePane(MVPInspectedObject(m.movie)));
    std::vector<std::string> changed;
    pane->onValueChanged = [&](const std::string& key) { changed.push_back(key); };
    m.movie->setTreble(3.0f);
    m.movie->setMuted(true);
    EXPECT_EQ(changed, (std::vector<std::string> { "treble", "muted" }));
    pane->setValueForKey(1.0, "gain"); // unchanged
    pane->setValueForKey(0.5, "gain");
    EXPECT_TRUE(m.undo->canUndo());
    pane.reset();
    EXPECT_FALSE(m.undo->canUndo()) << "the pane's undo actions go with it";

    // A track pane follows its own track, not the movie nor another track.
    auto track = m.movie->newTrack(MVFourCC("soun"), 8000);
    auto other = m.movie->newTrack(MVFourCC("soun"), 8000);
    auto trackPane = std::dynamic_pointer_cast<MVPAudioInspector>(makePane(MVPInspectedObject(track)));
    ASSERT_TRUE(trackPane);
    changed.clear();
    trackPane->onValueChanged = [&](const std::string& key) { changed.push_back(key); };
    m.movie->setGain(0.25f);
    other->setMuted(true);
    track->setMuted(true);
    track->setVolume(0.5f);
    track->setAttributeForKey(0.5, MVTrackBalanceAttribute);
    track->setBass(2);
    track->setTreble(-2);
    track->setGain(1.5f);
    track->setGain(1.5f); // unchanged: no notice
    EXPECT_EQ(changed, (std::vector<std::string> { "muted", "volume", "balance", "bass", "treble", "gain" }));
}

TEST(SoundPane, MutingAndSoloAreHeardInThePlayingMovie)
{
    TempDir dir;
    constexpr int kLow = 440, kHigh = 1000;
    if (!haveProgram("ffmpeg") || !makeTwoToneMovie(dir / "tones.mov", kLow, kHigh, 3))
        GTEST_SKIP() << "ffmpeg could not make the movie";
    UndoableMovie m(dir / "tones.mov");
    ASSERT_TRUE(m);
    auto sounds = m.movie->tracksOfMediaType(MVFourCC("soun"));
    ASSERT_EQ(sounds.size(), 2u);
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    RecordingOutput* recording = nullptr;
    auto playback = MVMoviePlayback::playbackForMovie(m.movie, recordingOptions(&recording));
    playback->setRate(1);
    ASSERT_TRUE(recording);
    // Which of the two tones a quarter of a second more of play lets us hear (an eighth of full scale
    // when heard, nothing when not).
    auto heard = [&] {
        recording->samples.clear();
        clock->advance(0.25);
        const auto format = recording->format();
        std::pair<bool, bool> tones;
        for (auto [frequency, flag] :
            { std::pair { kLow, &tones.first }, std::pair { kHigh, &tones.second } }) {
            double level
                = toneAmplitude(recording->samples, format.channelCount, format.sampleRate, frequency);
            EXPECT_TRUE(level > 0.05 || level < 0.001) << frequency << " Hz at " << level;
            *flag = level > 0.05;
        }
        return tones;
    };
    using Tones = std::pair<bool, bool>;
    EXPECT_EQ(heard(), Tones(true, true));

    auto low = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(sounds[0])));
    auto high = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(sounds[1])));
    ASSERT_TRUE(low && high);
    ASSERT_TRUE(low->setValueForKey(true, "muted"));
    EXPECT_EQ(heard(), Tones(false, true));
    m.undo->undo();
    EXPECT_EQ(heard(), Tones(true, true));

    ASSERT_TRUE(low->setValueForKey(true, "solo"));
    EXPECT_EQ(heard(), Tones(true, false));
    low->stopInspection(); // solo ends with the pane
    EXPECT_EQ(heard(), Tones(true, true));
    ASSERT_TRUE(high->setValueForKey(true, "solo"));
    EXPECT_EQ(heard(), Tones(false, true));
    m.undo->undo();
    EXPECT_EQ(heard(), Tones(true, true));

    playback->stop();
    playback.reset();
    HXRunLoop::main().setClock(nullptr);
}

TEST(SoundPane, SoloMutesTheOthersAndStoppingRestoresEveryTrack)
{
    UndoableMovie m(MVMovie::movie());
    auto a = m.movie->newTrack(MVFourCC("soun"), 8000);
    auto b = m.movie->newTrack(MVFourCC("soun"), 8000);
    auto c = m.movie->newTrack(MVFourCC("soun"), 8000);
    auto video = m.movie->newTrack(MVFourCC("vide"), 600, 64, 48);
    b->setMuted(true); // the inspected track, muted before
    c->setMuted(true); // already muted
    auto pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(b)));
    ASSERT_TRUE(pane);
    ASSERT_TRUE(pane->setValueForKey(true, "solo"));
    EXPECT_TRUE(pane->isSolo());
    EXPECT_TRUE(a->isMuted());
    EXPECT_FALSE(b->isMuted());
    EXPECT_TRUE(c->isMuted());
    EXPECT_TRUE(video->isMuted());
    EXPECT_EQ(pane->valueForKey("muted"), HXPropertyList(false));
    m.undo->undo();
    EXPECT_FALSE(pane->isSolo());
    EXPECT_FALSE(a->isMuted());
    m.undo->redo();
    EXPECT_TRUE(a->isMuted());

    pane->stopInspection();
    EXPECT_FALSE(pane->isSolo());
    EXPECT_FALSE(a->isMuted());
    EXPECT_TRUE(b->isMuted());
    EXPECT_TRUE(c->isMuted());
    EXPECT_FALSE(video->isMuted());
}

TEST(SoundPane, OffersTabsForTheMovieAndSoundTracks)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    MVPAudioInspectorFactory factory;
    EXPECT_TRUE(factory.canInspectObject(MVPInspectedObject(m.movie)));
    EXPECT_TRUE(factory.canInspectObject(MVPInspectedObject(soundTrack(*m.movie))));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(m.movie->tracksOfMediaType(MVFourCC("vide")).at(0))));
}

TEST(SoundPane, ChannelRowsAndTheirLabelMenus)
{
    UndoableMovie mono(monoSoundMovie());
    UndoableMovie stereo(videoAndSoundMovie());
    if (!mono || !stereo)
        GTEST_SKIP() << "ffmpeg could not make the movies";

    // A mono track without a stored layout: one row selecting the mono item.
    auto pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(soundTrack(*mono.movie))));
    ASSERT_TRUE(pane);
    ASSERT_EQ(pane->numberOfRowsInTableView(*pane->table()), 1);
    auto item = pane->popups()[0]->selectedItem();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->tag(), 42);
    EXPECT_EQ(item->title(), "Mono");
    // 14 labels, one discrete channel per movie channel, then "Unused".
    ASSERT_TRUE(kSilent);
    EXPECT_EQ(pane->popups()[0]->numberOfItems(), 14 + 1 + 1);

    // A stereo track whose layout names a label the list lacks: a separator and an item of its own.
    auto track = soundTrack(*stereo.movie);
    MVAudioChannelLayout layout;
    layout.descriptions = { { 35, 0, {} }, { 2, 0, {} } };
    ASSERT_TRUE(MVTrackSetAudioChannelLayout(*track, layout));
    pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(track)));
    ASSERT_EQ(pane->channelIndexes().size(), 2u);
    const auto& cell = pane->popups()[0];
    long extra = pane->channelIndexes()[0];
    EXPECT_EQ(extra, cell->numberOfItems() - 1);
    EXPECT_TRUE(cell->itemAtIndex(extra - 1)->isSeparatorItem());
    EXPECT_EQ(cell->itemAtIndex(extra)->title(), "Left Wide");
    EXPECT_EQ(pane->popups()[1]->selectedItem()->tag(), 2);

    // Table values: the channel number and the selected index.
    auto table = pane->table();
    EXPECT_EQ(pane->objectValueForTableColumn(*table, table->tableColumnWithIdentifier("label").get(), 1), HXPropertyList(2));
    EXPECT_EQ(pane->objectValueForTableColumn(*table, table->tableColumnWithIdentifier("assignment").get(), 1),
        HXPropertyList(pane->channelIndexes()[1]));
}

TEST(SoundPane, AssigningAChannelWritesTheLayoutWithUndo)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto track = soundTrack(*m.movie);
    auto pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(track)));
    ASSERT_EQ(pane->channelIndexes().size(), 2u);
    auto indexOfLabel = [&](long row, uint32_t label) { return pane->popups()[size_t(row)]->indexOfItemWithTag(long(label)); };
    auto table = pane->table();
    auto* assignment = table->tableColumnWithIdentifier("assignment").get();

    struct Case {
        uint32_t left, right, tag;
    } cases[] = {
        { 2, 2, 0 }, // descriptions only
        { 38, 2, 0 },
        { 38, 39, 0x670002 },
        { 1, 39, 0 },
        { 1, 2, MVChannelLayoutTagStereo },
    };
    for (const auto& c : cases) {
        pane->setObjectValue(*table, HXPropertyList(indexOfLabel(0, c.left)), assignment, 0);
        pane->setObjectValue(*table, HXPropertyList(indexOfLabel(1, c.right)), assignment, 1);
        auto stored = MVTrackAudioChannelLayout(*track);
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->descriptions.size(), 2u);
        EXPECT_EQ(stored->descriptions[0].label, c.left);
        EXPECT_EQ(stored->descriptions[1].label, c.right);
        EXPECT_EQ(stored->tag, c.tag) << c.left << "," << c.right;
    }
    // Other programs read the stored layout.
    TempDir dir;
    std::string saved = (dir / "stereo.mov").string();
    ASSERT_TRUE(m.movie->writeToFile(saved, {}, nullptr));
    auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
        "stream=channel_layout", "-of", "default=nw=1:nk=1", saved });
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "stereo\n");
    auto reopened = MVMovie::movieWithFile(saved, nullptr);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(MVTrackAudioChannelLayout(*soundTrack(*reopened))->tag, MVChannelLayoutTagStereo);

    m.undo->undo();
    EXPECT_EQ(MVTrackAudioChannelLayout(*track)->descriptions[0].label, 1u);
    EXPECT_EQ(MVTrackAudioChannelLayout(*track)->descriptions[1].label, 39u);
    EXPECT_EQ(pane->channelIndexes()[1], indexOfLabel(1, 39));

    // A separator or an index outside the menu is no assignment.
    size_t undoable = 0;
    while (m.undo->canUndo() && undoable < 100) {
        m.undo->undo();
        ++undoable;
    }
    pane->setValueForChannel(-1, 0, true);
    pane->setValueForChannel(999, 0, true);
    pane->setValueForChannel(0, 5, true);
    EXPECT_FALSE(m.undo->canUndo());
}

TEST(SoundPane, TheSoundDevicesChannelsAreOfferedAsDiscreteChannels)
{
    UndoableMovie mono(monoSoundMovie());
    if (!mono)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    // The playing movie's output: a device of the output's two channels.
    RecordingOutput* recording = nullptr;
    auto playback = MVMoviePlayback::playbackForMovie(mono.movie, recordingOptions(&recording));
    ASSERT_TRUE(recording);
    EXPECT_EQ(MVMoviePlayback::outputDeviceChannelCount(*mono.movie), 2);
    auto pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(soundTrack(*mono.movie))));
    ASSERT_TRUE(pane);
    const auto& cell = pane->popups()[0];
    EXPECT_EQ(cell->numberOfItems(), 14 + 2 + 1);
    EXPECT_GE(cell->indexOfItemWithTag(long(MVChannelLabelDiscrete0 + 1)), 0);
    pane.reset();
    playback.reset();
    HXRunLoop::main().setClock(nullptr);
    // Without a playback and without a device: the movie's own channels only.
    EXPECT_EQ(MVMoviePlayback::outputDeviceChannelCount(*mono.movie), 0);
}

TEST(SoundPane, TheSpeakerAssignmentIsHeard)
{
    // One stereo track: 440 Hz on its first channel, 1000 Hz on its second.
    TempDir dir;
    const auto path = dir / "stereo.mov";
    if (!haveProgram("ffmpeg")
        || runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
               "aevalsrc=0.125*sin(440*2*PI*t)|0.125*sin(1000*2*PI*t):s=44100:d=3", "-c:a", "pcm_s16le",
               path.string() })
                .status
            != 0)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    UndoableMovie m(path);
    ASSERT_TRUE(m);
    auto track = soundTrack(*m.movie);
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    RecordingOutput* recording = nullptr;
    auto playback = MVMoviePlayback::playbackForMovie(m.movie, recordingOptions(&recording));
    playback->setRate(1);
    ASSERT_TRUE(recording);
    // Where each tone is heard: per tone, whether in the left and in the right channel.
    using Heard = std::pair<std::pair<bool, bool>, std::pair<bool, bool>>;
    auto heard = [&] {
        recording->samples.clear();
        clock->advance(0.25);
        const auto format = recording->format();
        auto present = [&](int frequency, int channel) {
            double level = toneAmplitude(recording->samples, format.channelCount, format.sampleRate, frequency, channel);
            EXPECT_TRUE(level > 0.05 || level < 0.002) << frequency << " Hz, channel " << channel << ": " << level;
            return level > 0.05;
        };
        return Heard { { present(440, 0), present(440, 1) }, { present(1000, 0), present(1000, 1) } };
    };
    EXPECT_EQ(heard(), Heard({ true, false }, { false, true })) << "as made";

    auto pane = std::dynamic_pointer_cast<MVPTrackAudioInspector>(makePane(MVPInspectedObject(track)));
    ASSERT_TRUE(pane);
    ASSERT_EQ(pane->channelIndexes().size(), 2u);
    auto assign = [&](long row, uint32_t label) {
        pane->setValueForChannel(pane->popups()[size_t(row)]->indexOfItemWithTag(long(label)), row, true);
    };
    struct Case {
        const char* what;
        uint32_t first, second;
        Heard heard;
    };
    const Case cases[] = {
        { "swapped", 2, 1, { { false, true }, { true, false } } },
        { "first on both", 42, 2, { { true, true }, { false, true } } },
        { "first unused", MVChannelLabelUnused, 2, { { false, false }, { false, true } } },
        { "discrete channels", MVChannelLabelDiscrete0 + 1, MVChannelLabelDiscrete0, { { false, true }, { true, false } } },
        { "left and right again", 1, 2, { { true, false }, { false, true } } },
    };
    for (const auto& c : cases) {
        assign(0, c.first);
        assign(1, c.second);
        EXPECT_EQ(heard(), c.heard) << c.what;
    }
    // Undo brings back what was heard before.
    m.undo->undo();
    m.undo->undo();
    EXPECT_EQ(heard(), cases[3].heard) << "undone";

    pane.reset();
    playback->stop();
    playback.reset();
    HXRunLoop::main().setClock(nullptr);
}

TEST(SoundPane, ShortLabelListWhenEightChannelLayoutsAreOff)
{
    UndoableMovie mono(monoSoundMovie());
    if (!mono)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    TempDir dir;
    HXPropertyList::Dictionary keys { { "OfferEightChannelLayouts", HXPropertyList(false) } };
    ASSERT_TRUE(HXPropertyList(keys).writeToFile((dir / "MediaKeys.plist").string()));
    MVMediaKeys mediaKeys((dir / "MediaKeys.plist").string());
    auto pane = std::make_shared<MVPTrackAudioInspector>(
        MVPInspectedObject(soundTrack(*mono.movie)), paneBundle("SoundPane"), mediaKeys);
    ASSERT_TRUE(pane);
    EXPECT_EQ(pane->popups()[0]->numberOfItems(), 9 + 1 + 1);
    EXPECT_EQ(pane->popups()[0]->itemAtIndex(9)->title(), "Discrete 0");
}

TEST(SoundPane, ChannelLayoutRecords)
{
    MVAudioChannelLayout layout;
    layout.tag = 0;
    layout.bitmap = 3;
    layout.descriptions = { { 1, 0, { 0.5f, -1.0f, 2.0f } }, { 0x10003, 1, {} } };
    MVBytes record = MVAudioChannelLayoutRecord(layout);
    EXPECT_EQ(record.size(), 12u + 2 * 20);
    EXPECT_EQ(MVAudioChannelLayoutFromRecord(record), layout);
    // A count larger than the record holds is refused, not read past the end.
    record.resize(record.size() - 1);
    EXPECT_FALSE(MVAudioChannelLayoutFromRecord(record));
    EXPECT_FALSE(MVAudioChannelLayoutFromRecord(MVBytes(8, 0)));

    struct Case {
        uint32_t bitmap;
        std::vector<uint32_t> labels;
    } bitmaps[] = { { 0x3, { 1, 2 } }, { 0x8, { 4 } }, { 0x2F, { 1, 2, 3, 4, 6 } } };
    for (const auto& c : bitmaps) {
        auto expanded = MVAudioChannelLayoutForBitmap(c.bitmap);
        ASSERT_TRUE(expanded);
        std::vector<uint32_t> labels;
        for (const auto& d : expanded->descriptions)
            labels.push_back(d.label);
        EXPECT_EQ(labels, c.labels) << c.bitmap;
    }
    EXPECT_EQ(MVAudioChannelLayoutForTag(MVChannelLayoutTagMono)->descriptions.size(), 1u);
    EXPECT_FALSE(MVAudioChannelLayoutForTag(0x12345678));
}
