// Files of other containers imported through libavformat and saved as self-contained movies: ffmpeg
// finds the same streams with the same packets (and for PCM the same decoded sound).
#include "fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_file_writer.h"
#include "platform/mvkit/import/import_cache.h"
#include "platform/mvkit/import/movie_importer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

using movara::test::MovieFixture;
using movara::test::runCommand;
using movara::test::TempDir;

// Per stream: codec, and every packet's size and hash in order.
std::map<int, std::vector<std::string>> packets(const std::filesystem::path& path)
{
    auto r = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-i", path.string(), "-map", "0:v?", "-map",
        "0:a?", "-c", "copy", "-f", "framemd5", "-" });
    std::map<int, std::vector<std::string>> out;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#")) {
            if (line.starts_with("#codec_id"))
                out[line[10] - '0'].push_back(line);
            continue;
        }
        // stream, dts, pts, duration, size, hash: keep size and hash.
        std::vector<std::string> fields;
        std::istringstream f(line);
        for (std::string field; std::getline(f, field, ',');)
            fields.push_back(field);
        if (fields.size() >= 6)
            out[std::stoi(fields[0])].push_back(fields[4] + "," + fields[5]);
    }
    return out;
}

std::string decodedAudio(const std::filesystem::path& path)
{
    auto r = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-i", path.string(), "-map", "0:a", "-f", "md5", "-" });
    return r.status == 0 ? r.output : "failed";
}

// A stream's duration; containers that do not give one per stream (Matroska, AVI) answer the file's.
double durationOf(const std::filesystem::path& path, const char* stream)
{
    for (std::string entries : { "stream=duration", "format=duration" }) {
        auto r = runCommand({ "ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", entries,
            "-of", "csv=p=0", path.string() });
        try {
            return std::stod(r.output);
        } catch (...) {
        }
    }
    return -1;
}

struct Case {
    MovieFixture fixture;
    bool video;
    bool compressedAudio;
};

class Import : public ::testing::TestWithParam<Case> { };

TEST_P(Import, SavedMovieHasTheSourcePackets)
{
    const Case c = GetParam();
    MOVARA_REQUIRE_FIXTURE(source, c.fixture);
    HXError error;
    auto imported = MVImportMovieFile(source.string(), &error);
    ASSERT_TRUE(imported) << error.code();
    EXPECT_TRUE(imported->problems.empty()) << imported->problems.front();

    TempDir dir;
    auto target = dir / "imported.mov";
    MVMediaDataLayout layout;
    ASSERT_TRUE(MVMakeSelfContainedLayout(imported->file, source.string(), layout, &error));
    ASSERT_TRUE(MVWriteMovieFile(target.string(), imported->file, layout, &error));

    auto expected = packets(source), actual = packets(target);
    if (c.video) {
        EXPECT_GT(expected[0].size(), 10u);
        EXPECT_EQ(actual[0], expected[0]);
        EXPECT_NEAR(durationOf(target, "v:0"), durationOf(source, "v:0"), 0.07);
    }
    if (c.compressedAudio) {
        int a = c.video ? 1 : 0;
        EXPECT_GT(expected[a].size(), 10u);
        EXPECT_EQ(actual[a], expected[a]);
    } else {
        EXPECT_EQ(decodedAudio(target), decodedAudio(source));
    }
    EXPECT_NEAR(durationOf(target, "a:0"), durationOf(source, "a:0"), 0.07);
}

INSTANTIATE_TEST_SUITE_P(Containers, Import,
    ::testing::Values(Case { MovieFixture::H264AacMkv, true, true },
        Case { MovieFixture::MjpegPcmAvi, true, false }, Case { MovieFixture::PcmWav, false, false },
        Case { MovieFixture::Mp3Audio, false, true }),
    [](const auto& info) {
        auto name = movara::test::fixtureName(info.param.fixture);
        for (auto& ch : name)
            if (!isalnum(uint8_t(ch)))
                ch = '_';
        return name;
    });

TEST(Import, TransportStreamSamplesAreRewrittenOnceIntoTheCache)
{
    MOVARA_REQUIRE_FIXTURE(source, MovieFixture::MpegTs);
    HXError error;
    auto imported = MVImportMovieFile(source.string(), &error);
    ASSERT_TRUE(imported) << error.localizedDescription();
    EXPECT_TRUE(imported->problems.empty()) << imported->problems.front();
    ASSERT_EQ(imported->file.movie.tracks.size(), 2u);
    // Both tracks refer to movies in the cache folder, which a second open finds again.
    std::vector<std::filesystem::path> cached;
    auto folder = std::filesystem::path(std::getenv("XDG_CACHE_HOME")) / "movara-player" / "Import";
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".mov")
            cached.push_back(entry.path());
    ASSERT_EQ(cached.size(), 2u);
    // Found again, not written again (a new entry would be a new file in its place).
    auto inode = [](const std::filesystem::path& p) {
        struct stat info { };
        ::stat(p.c_str(), &info);
        return info.st_ino;
    };
    auto written = inode(cached[0]);
    auto again = MVImportMovieFile(source.string(), &error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->file.movie.tracks.size(), 2u);
    EXPECT_EQ(inode(cached[0]), written);
    EXPECT_EQ(again->cacheLeases.size(), 2u);

    // While a movie reads them no cleaning removes them; once none does they can go.
    std::string why;
    imported.reset();
    EXPECT_TRUE(MVImportCache::makeRoom(0, &why, 0)) << why;
    EXPECT_TRUE(std::filesystem::exists(cached[0]));
    EXPECT_TRUE(std::filesystem::exists(cached[1]));
    again.reset();
    EXPECT_TRUE(MVImportCache::makeRoom(0, &why, 0)) << why;
    EXPECT_FALSE(std::filesystem::exists(cached[0]));
    EXPECT_FALSE(std::filesystem::exists(cached[1]));
}

TEST(Import, FramesThatLieInTheFileAreReadInPlace)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP();
    // Matroska blocks, and AAC frames behind their ADTS headers: nothing goes to the cache.
    TempDir dir;
    for (std::string name : { "sound.aac", "movie.mkv", "movie.webm" }) {
        auto source = dir / name;
        std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
            "sine=frequency=440:sample_rate=48000:duration=1" };
        if (name != "sound.aac")
            argv.insert(argv.end(), { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1" });
        if (name == "movie.webm")
            argv.insert(argv.end(), { "-c:v", "libvpx", "-c:a", "libopus" });
        argv.push_back(source.string());
        ASSERT_EQ(runCommand(argv).status, 0) << name;
        HXError error;
        auto imported = MVImportMovieFile(source.string(), &error);
        ASSERT_TRUE(imported) << error.localizedDescription();
        EXPECT_TRUE(imported->cacheLeases.empty()) << name;
        EXPECT_EQ(imported->file.movie.tracks.size(), name == "sound.aac" ? 1u : 2u) << name;
        for (const auto& track : imported->file.movie.tracks)
            EXPECT_TRUE(track.media.information.dataInformation.entries.at(0).flags
                & MVDataReferenceSelfReferenceFlag)
                << name;
    }
    EXPECT_EQ(MVImportCache::size(), 0u);
}

TEST(Import, AStreamThatCannotBeMappedIsReportedAndTheOthersOpen)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP();
    TempDir dir;
    // An attached file (a font, a note) holds nothing to play and is only noted; sound no movie-file
    // description names (WavPack) still plays.
    auto note = dir / "note.txt";
    movara::test::writeFile(note, "Hello\n");
    auto source = dir / "with_attachment.mkv";
    auto made = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
            "-f", "lavfi", "-i", "sine=duration=1", "-attach", note.string(), "-metadata:s:t",
            "mimetype=text/plain", "-c:v", "mjpeg", "-c:a", "wavpack", source.string() });
    ASSERT_EQ(made.status, 0) << made.output;
    HXError error;
    auto imported = MVImportMovieFile(source.string(), &error);
    ASSERT_TRUE(imported) << error.localizedDescription();
    EXPECT_EQ(imported->file.movie.tracks.size(), 2u);
    EXPECT_TRUE(imported->problems.empty()) << imported->problems.front();
    ASSERT_EQ(imported->notes.size(), 1u);
    EXPECT_NE(imported->notes[0].find("stream 2 ("), std::string::npos) << imported->notes[0];
    EXPECT_NE(imported->notes[0].find("attachment"), std::string::npos) << imported->notes[0];

    // Sound of a code no decoder knows is a problem the user hears of, named by its code.
    auto unknown = dir / "unknown_sound.nut";
    made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=1", "-f", "lavfi", "-i", "sine=duration=1", "-c:v", "mjpeg",
        "-c:a", "pcm_s16le", "-tag:a", "zzzz", "-strict", "-2", unknown.string() });
    ASSERT_EQ(made.status, 0) << made.output;
    imported = MVImportMovieFile(unknown.string(), &error);
    ASSERT_TRUE(imported) << error.localizedDescription();
    EXPECT_EQ(imported->file.movie.tracks.size(), 1u);
    ASSERT_EQ(imported->problems.size(), 1u);
    EXPECT_NE(imported->problems[0].find("stream 1 (zzzz)"), std::string::npos) << imported->problems[0];

    // A file whose only stream cannot be played is refused with the reason.
    auto blob = dir / "blob.bin";
    movara::test::writeFile(blob, std::string(2000, 'x'));
    auto only = dir / "only_data.ts";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "data", "-i", blob.string(), "-map",
                             "0", "-c", "copy", "-f", "mpegts", only.string() })
                  .status,
        0);
    EXPECT_FALSE(MVImportMovieFile(only.string(), &error));
    EXPECT_EQ(error.code(), MVStatusUnsupportedImport);
    EXPECT_NE(error.localizedDescription().find("stream 0 (bin_data): data streams hold no sound or picture"),
        std::string::npos)
        << error.localizedDescription();
}

TEST(Import, TimesBeyondAnyMovieAreRefusedNotOverflowed)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP();
    TempDir dir;
    struct Case {
        const char* offset; // seconds
        bool opens;
    };
    for (auto c : { Case { "100000000", true }, Case { "2000000000", false } }) {
        SCOPED_TRACE(c.offset);
        auto source = dir / (std::string("offset-") + c.offset + ".mkv");
        auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
            "testsrc=size=32x24:rate=5:duration=0.4", "-c:v", "mjpeg", "-output_ts_offset", c.offset,
            source.string() });
        ASSERT_EQ(made.status, 0) << made.output;
        HXError error;
        auto imported = MVImportMovieFile(source.string(), &error);
        EXPECT_EQ(bool(imported), c.opens) << error.localizedDescription();
        if (imported) {
            ASSERT_EQ(imported->file.movie.tracks.size(), 1u);
            EXPECT_GT(imported->file.movie.header.duration, 0u);
        } else {
            EXPECT_EQ(error.code(), MVStatusUnsupportedImport);
            EXPECT_NE(error.localizedDescription().find("out of any range"), std::string::npos)
                << error.localizedDescription();
        }
    }
}

TEST(Import, DamagedTransportStreamsKeepWhatCanBeRead)
{
    MOVARA_REQUIRE_FIXTURE(source, MovieFixture::MpegTs);
    std::string bytes = movara::test::readFile(source);
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string scrambled = bytes;
    for (size_t i = 4000; i < scrambled.size(); i += 997)
        scrambled[i] = char(scrambled[i] ^ 0x5A);
    const Case cases[] = {
        { "cut in half", bytes.substr(0, bytes.size() / 2) },
        { "cut inside the first packets", bytes.substr(0, 2000) },
        { "scrambled", scrambled },
    };
    for (const auto& c : cases) {
        auto path = dir / (std::string(c.name) + ".ts");
        movara::test::writeFile(path, c.bytes);
        HXError error;
        auto imported = MVImportMovieFile(path.string(), &error);
        if (!imported) {
            EXPECT_EQ(error.code(), MVStatusUnsupportedImport) << c.name;
            continue;
        }
        // What opened must save as a movie ffprobe reads.
        auto target = dir / (std::string(c.name) + ".mov");
        MVMediaDataLayout layout;
        ASSERT_TRUE(MVMakeSelfContainedLayout(imported->file, path.string(), layout, &error)) << c.name;
        ASSERT_TRUE(MVWriteMovieFile(target.string(), imported->file, layout, &error)) << c.name;
        EXPECT_EQ(runCommand({ "ffprobe", "-v", "error", target.string() }).status, 0) << c.name;
    }
}

TEST(Import, ATransportStreamLoopedWithoutReencodingKeepsItsSound)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP();
    // Where the piece starts again, sound frames overlap by a fraction of a 90 kHz tick's worth of
    // samples: times one tick apart in the stream fall on one sample in the movie.
    TempDir dir;
    auto piece = (dir / "piece.ts").string(), looped = (dir / "looped.ts").string();
    const std::vector<std::string> makePiece = { "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x64:rate=25:duration=2", "-f", "lavfi", "-i", "sine=sample_rate=48000:duration=2",
        "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-b:a", "32k", piece };
    const std::vector<std::string> loop = { "ffmpeg", "-nostdin", "-v", "error", "-stream_loop", "3", "-i",
        piece, "-c", "copy", "-f", "mpegts", looped };
    ASSERT_EQ(runCommand(makePiece).status, 0);
    ASSERT_EQ(runCommand(loop).status, 0);
    HXError error;
    auto imported = MVImportMovieFile(looped, &error);
    ASSERT_TRUE(imported) << error.localizedDescription();
    EXPECT_TRUE(imported->problems.empty()) << imported->problems.front();
    ASSERT_EQ(imported->file.movie.tracks.size(), 2u);
    for (const auto& track : imported->file.movie.tracks)
        EXPECT_NEAR(double(track.header.duration) / imported->file.movie.header.timeScale, 8.0, 0.2);
}

TEST(Import, FilesAreKnownAsMoviesByTheirContents)
{
    MOVARA_REQUIRE_FIXTURE(source, MovieFixture::H264AacMkv);
    TempDir dir;
    auto unnamed = dir / "recording.bin";
    std::filesystem::copy_file(source, unnamed);
    movara::test::writeFile(dir / "notes.bin", "just some text\n");
    EXPECT_TRUE(MVImportCanReadFile(unnamed.string()));
    EXPECT_FALSE(MVImportCanReadFile((dir / "notes.bin").string()));
    EXPECT_FALSE(MVImportCanReadFile((dir / "missing.bin").string()));
}

TEST(Import, BytesInMemoryImportAsTheirFileDoes)
{
    // Same streams, same sample tables, same problems: the reading differs only in where the bytes are.
    const MovieFixture fixtures[] = { MovieFixture::H264AacMkv, MovieFixture::MjpegPcmAvi,
        MovieFixture::PcmWav, MovieFixture::Mp3Audio, MovieFixture::MpegTs };
    for (auto fixture : fixtures) {
        MOVARA_REQUIRE_FIXTURE(source, fixture);
        SCOPED_TRACE(source.string());
        const std::string bytes = movara::test::readFile(source);
        auto memory = MVImportReader::fromMemory(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
            "in memory");
        EXPECT_EQ(MVImportCanRead(*memory), MVImportCanReadFile(source.string()));
        HXError error;
        auto fromFile = MVImportMovieFile(source.string(), &error);
        ASSERT_TRUE(fromFile) << error.localizedDescription();
        auto fromMemory = MVImportMovie(memory, &error);
        ASSERT_TRUE(fromMemory) << error.localizedDescription();
        EXPECT_EQ(fromMemory->problems, fromFile->problems);
        EXPECT_EQ(fromMemory->file.fileSize, bytes.size());
        ASSERT_EQ(fromMemory->file.movie.tracks.size(), fromFile->file.movie.tracks.size());
        for (size_t t = 0; t < fromFile->file.movie.tracks.size(); ++t) {
            const auto& a = fromFile->file.movie.tracks[t];
            const auto& b = fromMemory->file.movie.tracks[t];
            EXPECT_EQ(b.media.handler.componentSubtype, a.media.handler.componentSubtype);
            EXPECT_EQ(b.media.information.sampleTable, a.media.information.sampleTable) << "track " << t;
            EXPECT_EQ(b.editList, a.editList);
        }
    }
}

TEST(Import, BytesInMemoryThatAreNoMovieAreRefused)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool looksLikeAMovie; // by its first bytes
    };
    const Case cases[] = {
        { "nothing", "", false },
        { "text", "just some text\n", false },
        { "all ones", std::string(100000, '\xFF'), false },
        { "a Matroska head cut short",
            std::string("\x1A\x45\xDF\xA3\x88\x00\x00\x00\x00\x00\x00\x10\x00", 13), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto reader = MVImportReader::fromMemory(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
            "in memory");
        EXPECT_EQ(MVImportCanRead(*reader), c.looksLikeAMovie);
        HXError error;
        EXPECT_FALSE(MVImportMovie(reader, &error));
        EXPECT_EQ(error.code(), MVStatusUnsupportedImport);
    }
}

TEST(Import, BytesInMemoryOpenNothingTheyName)
{
    // A playlist naming a segment on disk: from its file the segment is read; from memory it is not.
    MOVARA_REQUIRE_FIXTURE(segment, MovieFixture::MpegTs);
    TempDir dir;
    const std::string playlist = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXTINF:3.0,\n"
        + segment.string() + "\n#EXT-X-ENDLIST\n";
    movara::test::writeFile(dir / "list.m3u8", playlist);
    HXError error;
    auto fromFile = MVImportMovieFile((dir / "list.m3u8").string(), &error);
    ASSERT_TRUE(fromFile) << error.localizedDescription();
    EXPECT_FALSE(fromFile->file.movie.tracks.empty());
    auto reader = MVImportReader::fromMemory(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(playlist.data()), playlist.size()),
        "list.m3u8");
    EXPECT_FALSE(MVImportMovie(reader, &error));
    EXPECT_EQ(error.code(), MVStatusUnsupportedImport);
}

TEST(Import, NotAMediaFile)
{
    TempDir dir;
    movara::test::writeFile(dir / "notes.txt", "just some text\n");
    HXError error;
    EXPECT_FALSE(MVImportMovieFile((dir / "notes.txt").string(), &error));
    EXPECT_EQ(error.code(), MVStatusUnsupportedImport);
    EXPECT_FALSE(MVImportMovieFile((dir / "missing.mkv").string(), &error));
}

} // namespace
