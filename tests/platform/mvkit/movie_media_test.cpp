// Media samples (adding, reading, references into files) and data references (equality, alias records).
#include "movie_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(MediaSamples, AddAndRead)
{
    auto media = MVMedia::media(MVFourCC("vide"), 600);
    auto desc = videoDescription();
    HXError error;
    EXPECT_EQ(media->addSample({ 1, 2, 3, 4 }, 100, 2, desc, 0, &error), 0); // two samples of 2 bytes
    EXPECT_EQ(media->addSample({ 5 }, 50, 1, desc, MVMediaSampleNotSync, &error), 200);
    EXPECT_EQ(media->sampleCount(), 3);
    EXPECT_EQ(media->sampleDescriptions().size(), 1u); // the equal description is reused
    EXPECT_EQ(media->duration(), 250);

    struct Case {
        int64_t time;
        MVBytes bytes;
        int64_t start;
        int16_t flags;
    };
    const Case cases[] = { { 0, { 1, 2 }, 0, 0 }, { 99, { 1, 2 }, 0, 0 }, { 100, { 3, 4 }, 100, 0 },
        { 249, { 5 }, 200, MVMediaSampleNotSync } };
    for (const auto& c : cases) {
        auto s = media->getSample(c.time, &error);
        ASSERT_TRUE(s) << c.time;
        EXPECT_EQ(s->bytes, c.bytes);
        EXPECT_EQ(s->time, c.start);
        EXPECT_EQ(s->flags, c.flags);
        EXPECT_EQ(s->description, desc);
    }
    EXPECT_EQ(media->getSample(250, &error), std::nullopt);
    EXPECT_EQ(media->getSample(-1, &error), std::nullopt);
    EXPECT_EQ(error.code(), -50);

    // Bad arguments add nothing.
    EXPECT_EQ(media->addSample({ 1, 2, 3 }, 10, 2, desc, 0, &error), -1); // bytes do not split
    EXPECT_EQ(media->addSample({ 1 }, 10, 0, desc, 0, &error), -1); // no samples
    EXPECT_EQ(media->addSample({ 1 }, 10, 1, { 0, 0, 0, 4 }, 0, &error), -1); // no description
    EXPECT_EQ(media->sampleCount(), 3);
    EXPECT_EQ(media->sampleDescription(1), desc);
    EXPECT_TRUE(media->sampleDescription(2).empty());
}

TEST(MediaSamples, ReferencesIntoAFile)
{
    TempDir dir;
    writeFile(dir / "data.bin", "abcdefgh");
    auto ref = MVDataReference::dataReferenceWithReferenceToFile((dir / "data.bin").string());
    auto media = MVMedia::media(MVFourCC("soun"), 8000);
    HXError error;
    ASSERT_EQ(media->addSampleReference(2, 3, 10, videoDescription(MVFourCC("twos")), 2, 0, ref, &error), 0);
    EXPECT_EQ(media->getSample(0, &error)->bytes, (MVBytes { 'c', 'd', 'e' }));
    EXPECT_EQ(media->getSample(10, &error)->bytes, (MVBytes { 'f', 'g', 'h' }));
    auto reference = media->getSampleReference(10);
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->dataOffset, 5u);
    EXPECT_EQ(reference->size, 3u);
    // A sample past the end of its file, and a file that went away, are errors.
    media->addSampleReference(7, 4, 10, videoDescription(MVFourCC("twos")), 1, 0, ref, &error);
    EXPECT_EQ(media->getSample(20, &error), std::nullopt);
    EXPECT_EQ(error.domain(), HXOSStatusErrorDomain);
    std::filesystem::remove(dir / "data.bin");
    EXPECT_EQ(media->getSample(0, &error), std::nullopt);
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
}

TEST(MediaSamples, RetimingASampleByReferenceKeepsItsBytesWhereTheyAre)
{
    TempDir dir;
    writeFile(dir / "data.bin", "abcdefgh");
    auto ref = MVDataReference::dataReferenceWithReferenceToFile((dir / "data.bin").string());
    auto m = MVMovie::movie();
    auto track = m->newTrack(MVFourCC("vide"), 600);
    auto media = track->media();
    HXError error;
    media->addSampleReference(0, 4, 60, videoDescription(), 2, 0, ref, &error);
    track->insertMedia(0, 0, 120);
    // Read the second sample's reference, take it out of the track and put it back twice as long.
    auto sample = media->getSampleReference(track->trackTimeToMediaTime(60));
    ASSERT_TRUE(sample);
    auto next = track->nextInterestingTime(60, MVNextTimeMediaSample | MVNextTimeEdgeOK);
    ASSERT_TRUE(track->deleteSegment(60, next.duration));
    int64_t r = media->addSampleReference(
        sample->dataOffset, sample->size, 120, sample->description, 1, sample->flags);
    ASSERT_GE(r, 0);
    ASSERT_TRUE(track->insertMedia(60, r, 120));
    EXPECT_EQ(media->dataReferences().size(), 1u); // no memory block was needed
    auto bytes = media->getSample(track->trackTimeToMediaTime(100), &error);
    ASSERT_TRUE(bytes) << error.localizedDescription();
    EXPECT_EQ(bytes->bytes, (MVBytes { 'e', 'f', 'g', 'h' }));
    EXPECT_EQ(track->duration(), 180);
}

TEST(DataReferences, Equality)
{
    auto block = std::make_shared<std::vector<uint8_t>>(3, 0);
    auto file = MVDataReference::dataReferenceWithReferenceToFile("/tmp/a/../movie.mov");
    EXPECT_EQ(file, MVDataReference::dataReferenceWithReferenceToFile("/tmp/movie.mov"));
    EXPECT_EQ(
        file, MVDataReference::dataReferenceWithReferenceToURL(HXURL::fileURLWithPath("/tmp/movie.mov")));
    EXPECT_NE(file, MVDataReference::dataReferenceWithReferenceToFile("/tmp/other.mov"));
    auto web
        = MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://127.0.0.1/m.mov"));
    EXPECT_EQ(web.dataReferenceType(), MVURLDataReferenceType);
    EXPECT_EQ(web.dataReference().back(), 0); // stored NUL-terminated
    EXPECT_EQ(MVDataReference::dataReferenceWithReference(web.dataReference(), MVURLDataReferenceType), web);
    auto memory = MVDataReference::dataReferenceWithReferenceToData(block);
    EXPECT_EQ(memory, MVDataReference::dataReferenceWithReferenceToData(block));
    EXPECT_NE(memory,
        MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>(3, 0)));
    EXPECT_EQ(memory.dataReferenceType(), MVHandleDataReferenceType);
    EXPECT_EQ(file.referenceFilePath(), "/tmp/movie.mov");
    EXPECT_EQ(file.dataReferenceType(), MVAliasDataReferenceType);
}

TEST(DataReferences, AliasRecordsFollowAMovedFolder)
{
    TempDir dir;
    auto folder = dir / "project";
    std::filesystem::create_directories(folder / "media");
    writeFile(folder / "media" / "clip.mov", "x");
    auto record
        = MVAliasRecordForPath((folder / "media" / "clip.mov").string(), (folder / "edit.mov").string());
    EXPECT_EQ(MVPathFromAliasRecord(record, (folder / "edit.mov").string()),
        (folder / "media" / "clip.mov").string());
    // The whole folder moves: the record still leads to the file beside the movie.
    std::filesystem::rename(folder, dir / "moved");
    EXPECT_EQ(MVPathFromAliasRecord(record, (dir / "moved" / "edit.mov").string()),
        (dir / "moved" / "media" / "clip.mov").string());
    // Without a movie, the absolute path.
    EXPECT_EQ(MVPathFromAliasRecord(record), (folder / "media" / "clip.mov").string());
    // Damaged records lead nowhere.
    EXPECT_EQ(MVPathFromAliasRecord(MVBytes(40, 0)), "");
    auto cut = record;
    cut.resize(160);
    EXPECT_NO_THROW(MVPathFromAliasRecord(cut));
}

} // namespace
