// Fragmented movies ('moov' + 'mvex', then 'moof' fragments) as the ffmpeg command line writes them:
// read into ordinary sample tables that ffprobe agrees with packet by packet, decoded to ffmpeg's
// pictures, saved as ordinary movies with the same packets; damaged fragments keep what comes before.
#include "decoder_test_support.h"
#include "movie_peer_fixtures.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_writer.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

struct Layout {
    const char* name;
    const char* fileName;
    std::vector<std::string> output; // ffmpeg output options
    bool audio = true;
};

const std::vector<std::string> kH264
    = { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-bf", "2", "-pix_fmt", "yuv420p" };
const std::vector<std::string> kMpeg4 = { "-c:v", "mpeg4", "-g", "12", "-bf", "2", "-q:v", "5" };

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool haveLibx264()
{
    return runCommand({ "ffmpeg", "-hide_banner", "-encoders" }).output.find("libx264") != std::string::npos;
}

const std::vector<Layout>& layouts()
{
    static const std::vector<Layout> all = [] {
        const auto& video = haveLibx264() ? kH264 : kMpeg4;
        return std::vector<Layout> {
            { "empty header", "empty_moov.mp4", with(video, { "-movflags", "frag_keyframe+empty_moov" }) },
            { "base is moof", "base_moof.mp4",
                with(video, { "-movflags", "frag_keyframe+empty_moov+default_base_moof" }) },
            // (Without default_base_moof ffmpeg leaves the base data offsets as they were before it put
            // the index in front.)
            { "global sidx", "sidx.mp4",
                with(video, { "-movflags", "frag_keyframe+empty_moov+default_base_moof+global_sidx" }) },
            { "dash segments", "dash.mp4", with(video, { "-movflags", "dash" }) },
            { "first fragment in the header", "frag_duration.mov",
                with(kMpeg4, { "-frag_duration", "500000" }) },
            { "edit list of open length", "delay_moov.mp4",
                with(video, { "-movflags", "frag_keyframe+delay_moov" }) },
            // Track runs of version 1, whose offsets go negative.
            { "negative offsets", "negative.mp4",
                with(video, { "-movflags", "frag_keyframe+empty_moov+negative_cts_offsets" }) },
            { "video only", "video.mp4", with(video, { "-movflags", "frag_keyframe+empty_moov" }), false },
        };
    }();
    return all;
}

bool makeFragmented(const std::filesystem::path& path, const Layout& layout)
{
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=25:duration=3" };
    if (layout.audio)
        args = with(args, { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3" });
    args = with(args, layout.output);
    if (layout.audio)
        args = with(args, { "-c:a", "aac", "-b:a", "64k" });
    args.push_back(path.string());
    return runCommand(args).status == 0 && std::filesystem::exists(path);
}

// One packet as ffprobe shows it; times in the stream's time base.
struct Packet {
    int64_t dts = 0;
    int64_t ptsMinusDts = 0;
    int64_t duration = 0;
    uint64_t size = 0;
    bool key = false;
    bool operator==(const Packet&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Packet& p)
{
    return out << "{dts " << p.dts << ", cto " << p.ptsMinusDts << ", dur " << p.duration << ", size "
               << p.size << (p.key ? ", key}" : "}");
}

// ffprobe's packets per stream, decode times counted from the stream's first.
std::vector<std::vector<Packet>> probePackets(const std::filesystem::path& path)
{
    auto result = runCommand({ "ffprobe", "-v", "error", "-show_entries",
        "packet=stream_index,pts,dts,size,flags", "-of", "csv=p=0", path.string() });
    std::vector<std::vector<Packet>> streams;
    std::istringstream in(result.output);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ','))
            f.push_back(field);
        if (f.size() < 5)
            continue;
        size_t stream = std::stoul(f[0]);
        if (streams.size() <= stream)
            streams.resize(stream + 1);
        Packet p;
        p.dts = std::stoll(f[2]);
        p.ptsMinusDts = std::stoll(f[1]) - p.dts;
        p.size = std::stoull(f[3]);
        p.key = f[4].find('K') != std::string::npos;
        streams[stream].push_back(p);
    }
    // A packet lasts until the next one is decoded (ffmpeg reports some fragment durations otherwise).
    for (auto& s : streams) {
        std::stable_sort(s.begin(), s.end(), [](const Packet& a, const Packet& b) { return a.dts < b.dts; });
        int64_t first = s.empty() ? 0 : s.front().dts;
        for (size_t k = 0; k < s.size(); ++k)
            s[k].duration = k + 1 < s.size() ? s[k + 1].dts - s[k].dts : 0;
        for (auto& p : s)
            p.dts -= first;
    }
    return streams;
}

// Our samples of every track as packets in the media's time scale, decode times from the first.
std::vector<std::vector<Packet>> ourPackets(const MVMovieFileDescription& file)
{
    std::vector<std::vector<Packet>> tracks;
    for (const auto& t : file.movie.tracks) {
        MVSampleTableIndex index(t.media.information.sampleTable);
        EXPECT_TRUE(index.problems().empty()) << index.problems().front();
        std::vector<Packet> packets;
        for (const auto& s : index.expand())
            packets.push_back({ s.decodeTime, s.compositionOffset, s.duration, s.size, s.isSync });
        tracks.push_back(std::move(packets));
    }
    return tracks;
}

// ffprobe's time base of each stream is the media's time scale for these files. The last packet's
// duration has no next packet to tell it: compared without it.
void expectSamePackets(std::vector<std::vector<Packet>> ours, std::vector<std::vector<Packet>> theirs)
{
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        ASSERT_EQ(ours[i].size(), theirs[i].size());
        ASSERT_FALSE(ours[i].empty());
        ours[i].back().duration = theirs[i].back().duration = 0;
        for (size_t k = 0; k < ours[i].size(); ++k)
            ASSERT_EQ(ours[i][k], theirs[i][k]) << "packet " << k;
    }
}

std::shared_ptr<MVFileSampleSource> videoSource(const std::string& path)
{
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    if (!file)
        return nullptr;
    for (size_t i = 0; i < file->movie.tracks.size(); ++i)
        if (file->movie.tracks[i].media.handler.componentSubtype == MVFourCC("vide"))
            return MVFileSampleSource::sourceWithFile(path, i, &error);
    return nullptr;
}

// The movie times (just inside each picture) at which the first video track shows its samples, in
// presentation order: through its edit list, or from the start of its media.
std::vector<int64_t> presentationTimes(const MVMovieFileDescription& file)
{
    auto track = std::find_if(file.movie.tracks.begin(), file.movie.tracks.end(),
        [](auto& t) { return t.media.handler.componentSubtype == MVFourCC("vide"); });
    if (track == file.movie.tracks.end())
        return {};
    int64_t delay = 0, mediaStart = 0;
    if (track->editList)
        for (const auto& e : track->editList->entries) {
            if (e.mediaTime >= 0) {
                mediaStart = e.mediaTime;
                break;
            }
            delay += int64_t(e.segmentDuration);
        }
    double movieScale = file.movie.header.timeScale, mediaScale = track->media.header.timeScale;
    std::vector<int64_t> media;
    for (const auto& s : MVSampleTableIndex(track->media.information.sampleTable).expand())
        media.push_back(s.decodeTime + s.compositionOffset);
    std::sort(media.begin(), media.end());
    std::vector<int64_t> times;
    for (int64_t t : media)
        times.push_back(delay + int64_t(std::ceil(double(t - mediaStart) * movieScale / mediaScale - 1e-6)));
    return times;
}

class MovieFragmentsPeerTest : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    TempDir dir;
};

TEST_P(MovieFragmentsPeerTest, ReadsLikeFfprobeDecodesLikeFfmpegAndSavesAnOrdinaryMovie)
{
    const auto& layout = layouts()[GetParam()];
    auto path = dir / layout.fileName;
    ASSERT_TRUE(makeFragmented(path, layout));
    HXError error;
    auto file = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(file) << error.localizedDescription();
    EXPECT_TRUE(file->warnings.empty()) << file->warnings.front();
    EXPECT_TRUE(std::none_of(file->movie.unknownChildren.begin(), file->movie.unknownChildren.end(),
        [](const MVRawAtom& a) { return a.type == MVFourCC("mvex"); }));
    auto source = probePackets(path);
    expectSamePackets(ourPackets(*file), source);

    // The movie ends where ffprobe's streams end, within a frame (ffprobe counts the duration from the
    // first stream's start, the movie from 0).
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    std::istringstream format(
        runCommand({ "ffprobe", "-v", "error", "-show_entries", "format=start_time,duration", "-of",
                       "default=nw=1:nk=1", path.string() })
            .output);
    double start = 0, duration = 0;
    format >> start >> duration;
    EXPECT_NEAR(double(m->durationValue()) / m->timeScale(), start + duration, 1.0 / 25 + 0.002);
    EXPECT_FALSE(m->canUpdateMovieFile()); // its fragments would outlive a new header

    // Every picture, asked for at the movie time where our tables show it, is ffmpeg's picture.
    auto expected = ffmpegFrameHashes(path.string());
    ASSERT_EQ(expected.size(), 75u);
    auto video = videoSource(path.string());
    ASSERT_TRUE(video);
    auto decoder = MVVideoTrackDecoder::decoderWithSource(video, &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    auto times = presentationTimes(*file);
    ASSERT_EQ(times.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        auto frame = decoder->frameAtTime(times[i], &error);
        ASSERT_TRUE(frame) << "picture " << i << ": " << error.localizedDescription();
        EXPECT_EQ(pictureMD5(frame->avFrame()), expected[i].md5) << "picture " << i;
    }

    // Saved, it is an ordinary movie with the same packets and frames.
    auto saved = dir / "saved.mov";
    ASSERT_TRUE(m->writeToFile(saved.string(), { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    auto again = MVReadMovieFile(saved.string(), &error);
    ASSERT_TRUE(again);
    EXPECT_TRUE(std::none_of(again->topLevelAtoms.begin(), again->topLevelAtoms.end(),
        [](const MVAtomLocation& a) { return a.type == MVFourCC("moof") || a.type == MVFourCC("sidx"); }));
    // The same packets, but that the first picture shown may start earlier, with the movie (other
    // programs would otherwise move every picture back by as much).
    auto savedPackets = probePackets(saved);
    for (size_t i = 0; i < source.size() && i < savedPackets.size(); ++i) {
        auto first = std::min_element(source[i].begin(), source[i].end(),
            [](const Packet& a, const Packet& b) { return a.dts + a.ptsMinusDts < b.dts + b.ptsMinusDts; });
        size_t k = size_t(first - source[i].begin());
        if (k < savedPackets[i].size() && savedPackets[i][k].ptsMinusDts < first->ptsMinusDts)
            savedPackets[i][k].ptsMinusDts = first->ptsMinusDts;
    }
    expectSamePackets(savedPackets, source);
    EXPECT_EQ(frameHashes(saved, "0:v"), frameHashes(path, "0:v"));
    if (layout.audio) {
        // The same sound, but for the primer an edit list tells ffmpeg to skip: from the fragments it
        // decodes it all the same.
        auto before = frameHashes(path, "0:a"), after = frameHashes(saved, "0:a");
        ASSERT_LE(after.size(), before.size());
        EXPECT_LE(before.size() - after.size(), 1u);
        EXPECT_TRUE(std::equal(after.begin(), after.end(), before.end() - std::ptrdiff_t(after.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MovieFragmentsPeerTest, ::testing::Range(size_t(0), layouts().size()), [](const auto& info) {
        std::string name = layouts()[info.param].name;
        std::replace(name.begin(), name.end(), ' ', '_');
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST(MovieFragmentsPlayback, PlaysCutsAndSavesLikeAnyMovie)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto path = dir / "fragmented.mp4";
    ASSERT_TRUE(makeFragmented(path, layouts()[0]));
    auto expected = ffmpegFrameHashes(path.string());
    ASSERT_EQ(expected.size(), 75u);
    HXError error;
    auto file = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(file);
    auto times = presentationTimes(*file);
    ASSERT_EQ(times.size(), 75u);

    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    struct ClockReset {
        ~ClockReset() { HXRunLoop::main().setClock(nullptr); }
    } reset;
    MVMoviePlayerOptions options;
    options.makeAudioOutput = [](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
        return std::make_unique<MVSilentAudioOutput>(
            format, std::move(render), [] { return HXRunLoop::main().now(); });
    };
    options.frameWait = 10.0;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    ASSERT_EQ(m->timeScale(), int32_t(file->movie.header.timeScale));
    auto playback = MVMoviePlayback::playbackForMovie(m, options);
    auto topPicture = [&](int64_t at) {
        auto pictures = playback->picturesAtTime(MVMakeTime(at, m->timeScale()));
        for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
            if (it->picture.frame)
                return pictureMD5(it->picture.frame->avFrame());
        return std::string("none");
    };
    for (size_t i : { size_t(0), size_t(11), size_t(12), size_t(40), size_t(74) })
        EXPECT_EQ(topPicture(times[i]), expected[i].md5) << "picture " << i;

    // Cut the first two fragments' pictures: the third fragment's first picture starts the movie.
    int64_t cut = times[24];
    m->setSelection({ MVMakeTime(0, m->timeScale()), MVMakeTime(cut, m->timeScale()) });
    m->cut();
    EXPECT_EQ(topPicture(0), expected[24].md5);
    EXPECT_EQ(topPicture(times[30] - cut), expected[30].md5);
    EXPECT_EQ(topPicture(times[74] - cut), expected[74].md5);

    auto saved = dir / "cut.mov";
    ASSERT_TRUE(m->writeToFile(saved.string(), { { MVMovieFlatten, true } }, &error))
        << error.localizedDescription();
    auto before = frameHashes(path, "0:v"), after = frameHashes(saved, "0:v");
    ASSERT_GE(after.size(), 51u);
    EXPECT_TRUE(std::equal(after.end() - 51, after.end(), before.end() - 51));
}

// Top-level atoms of a file as (type, offset, size).
std::vector<MVAtomLocation> atomsOf(const std::filesystem::path& path)
{
    HXError error;
    auto file = MVReadMovieFile(path.string(), &error);
    return file ? file->topLevelAtoms : std::vector<MVAtomLocation> {};
}

void putBE32(std::string& bytes, uint64_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[size_t(at) + size_t(i)] = char(uint8_t(v >> (24 - 8 * i)));
}

TEST(MovieFragmentsDamaged, KeepsTheFragmentsBeforeTheDamageAndSaysSo)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto whole = dir / "whole.mp4";
    ASSERT_TRUE(makeFragmented(whole, layouts()[0]));
    HXError error;
    auto full = MVReadMovieFile(whole.string(), &error);
    ASSERT_TRUE(full);
    auto fullPackets = ourPackets(*full);
    auto atoms = atomsOf(whole);
    std::vector<MVAtomLocation> moofs;
    for (auto& a : atoms)
        if (a.type == MVFourCC("moof"))
            moofs.push_back(a);
    ASSERT_GE(moofs.size(), 5u);
    const auto bytes = readFile(whole);
    auto lastMdat
        = std::find_if(atoms.rbegin(), atoms.rend(), [](auto& a) { return a.type == MVFourCC("mdat"); });
    ASSERT_NE(lastMdat, atoms.rend());

    struct Case {
        const char* name;
        std::function<std::string()> damage;
        size_t fragmentsKept;
        // A file cut short: noted, not warned of; with the samples of its last fragment that lie inside
        // it (here its pictures, which come before its sound, and some of the sound).
        bool cutShort = false;
        bool partOfTheLast = false;
    };
    const Case cases[] = {
        { "file cut in the last fragment's data",
            [&] { return bytes.substr(0, size_t(lastMdat->offset + lastMdat->size - 10)); }, moofs.size(),
            true, true },
        { "file cut in the last fragment's header",
            [&] { return bytes.substr(0, size_t(moofs.back().offset + 20)); }, moofs.size() - 1, true },
        { "a track run pointing past the end of the file",
            [&] {
                auto b = bytes;
                // The video 'trun' of the third fragment: its data offset far out.
                auto at = b.find("trun", size_t(moofs[2].offset));
                putBE32(b, at + 12, 0x7FFFFF00);
                return b;
            },
            2 },
        { "a fragment header of garbage size",
            [&] {
                auto b = bytes;
                putBE32(b, moofs[3].offset, 0xFFFFFFF0);
                return b;
            },
            3 },
        { "garbage where the fifth fragment begins",
            [&] {
                auto b = bytes;
                for (size_t i = 0; i < 8; ++i)
                    b[size_t(moofs[4].offset) + i] = char(0x01);
                return b;
            },
            4 },
        { "a sample claiming 4 GB in the second fragment",
            [&] {
                auto b = bytes;
                auto at = b.find("trun", size_t(moofs[1].offset));
                // flags 0xa05: data offset, first sample flags, then size and composition offset records.
                putBE32(b, at + 20, 0xFFFFFFFF);
                return b;
            },
            1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir / "damaged.mp4";
        writeFile(path, c.damage());
        auto file = MVReadMovieFile(path.string(), &error);
        ASSERT_TRUE(file) << error.localizedDescription();
        EXPECT_EQ(file->warnings.empty(), c.cutShort);
        EXPECT_EQ(file->notes.empty(), !c.cutShort);
        auto packets = ourPackets(*file);
        ASSERT_EQ(packets.size(), fullPackets.size());
        // What is kept is the whole fragments before the damage, exactly as in the undamaged file.
        size_t keptSamples = 0;
        for (size_t i = 0; i < packets.size(); ++i) {
            ASSERT_LE(packets[i].size(), fullPackets[i].size());
            EXPECT_TRUE(std::equal(packets[i].begin(), packets[i].end(), fullPackets[i].begin()));
            keptSamples += packets[i].size();
        }
        // Fragments hold both tracks: counting the kept fragments by the video samples, 12 a fragment.
        EXPECT_EQ(packets[0].size(), c.partOfTheLast ? fullPackets[0].size() : 12 * c.fragmentsKept);
        if (c.partOfTheLast) {
            EXPECT_LT(packets.back().size(), fullPackets.back().size());
            EXPECT_GT(packets.back().size() + 4, fullPackets.back().size());
        }
        EXPECT_GT(keptSamples, 0u);

        // The movie opens, and saved it is a movie ffprobe reads with just these samples.
        auto m = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        auto saved = dir / "saved.mov";
        ASSERT_TRUE(m->writeToFile(saved.string(), { { MVMovieFlatten, true } }, &error))
            << error.localizedDescription();
        auto probed = probePackets(saved);
        ASSERT_EQ(probed.size(), packets.size());
        for (size_t i = 0; i < probed.size(); ++i)
            EXPECT_EQ(probed[i].size(), packets[i].size());
    }
}

TEST(MovieBounds, SamplesPastTheEndOfACutFileAreLeftOutAndAHostileSizeIsRefused)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto whole = dir / "whole.mov";
    ASSERT_TRUE(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc=size=160x120:rate=25:duration=2", "-c:v", "mpeg4", "-g", "1",
                               "-movflags", "faststart", whole.string() })
                    .status
        == 0);
    HXError error;
    auto full = MVReadMovieFile(whole.string(), &error);
    ASSERT_TRUE(full);
    ASSERT_TRUE(full->warnings.empty());
    auto bytes = readFile(whole);

    // An unfinished download: the header first, then only part of the data.
    auto cut = dir / "cut.mov";
    writeFile(cut, bytes.substr(0, bytes.size() / 2));
    auto file = MVReadMovieFile(cut.string(), &error);
    ASSERT_TRUE(file) << error.localizedDescription();
    EXPECT_TRUE(file->warnings.empty()) << file->warnings.front();
    ASSERT_FALSE(file->notes.empty());
    MVSampleTableIndex index(file->movie.tracks.at(0).media.information.sampleTable);
    EXPECT_TRUE(index.problems().empty());
    uint32_t n = index.sampleCount();
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, 50u);
    // Every sample kept lies in the file, and the next one would not.
    auto last = index.locationForSample(n - 1);
    ASSERT_TRUE(last);
    EXPECT_LE(last->offset + last->size, bytes.size() / 2);
    MVSampleTableIndex fullIndex(full->movie.tracks.at(0).media.information.sampleTable);
    auto next = fullIndex.locationForSample(n);
    ASSERT_TRUE(next);
    EXPECT_GT(next->offset + next->size, bytes.size() / 2);
    // While the file is still arriving, nothing is left out.
    MVMovieFileReadOptions growing;
    growing.fileMayGrow = true;
    auto arriving = MVReadMovieFile(cut.string(), &error, growing);
    ASSERT_TRUE(arriving);
    EXPECT_EQ(
        MVSampleTableIndex(arriving->movie.tracks.at(0).media.information.sampleTable).sampleCount(), 50u);

    // One sample claiming 4 GB: refused at once with the reason, as ffprobe refuses it.
    auto hostile = dir / "hostile.mov";
    auto patched = bytes;
    auto stsz = patched.find("stsz");
    ASSERT_NE(stsz, std::string::npos);
    putBE32(patched, stsz + 16, 0xFFFFFFFF); // the first sample's size
    writeFile(hostile, patched);
    EXPECT_FALSE(MVReadMovieFile(hostile.string(), &error));
    EXPECT_EQ(error.code(), MVStatusBadMovieFile);
    EXPECT_NE(error.localizedDescription().find("4294967295 bytes"), std::string::npos)
        << error.localizedDescription();
    EXPECT_EQ(MVMovie::movieWithFile(hostile.string(), &error), nullptr);
    EXPECT_NE(error.localizedDescription().find("4294967295 bytes"), std::string::npos);
}

} // namespace
