// Movies made by importing files of other containers, and whole movies written to a data reference.
#include "document/movie_importing.h"

#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

TEST(MovieImporting, FilesOfOtherContainersBecomeMovies)
{
    struct Case {
        MovieFixture fixture;
        int tracks;
    };
    const Case cases[]
        = { { MovieFixture::PcmWav, 1 }, { MovieFixture::H264AacMkv, 2 }, { MovieFixture::MjpegPcmAvi, 2 } };
    for (const auto& c : cases) {
        auto path = fixturePath(c.fixture);
        if (path.empty())
            GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
        HXError error;
        auto movie = MVPMovie::movieWithImporter(
            MVDataReference::dataReferenceWithReferenceToFile(path.string()), &error);
        ASSERT_TRUE(movie) << fixtureName(c.fixture) << ": " << error.localizedDescription();
        EXPECT_EQ(movie->trackCount(), c.tracks) << fixtureName(c.fixture);
        EXPECT_TRUE(movie->hasDuration());
    }
}

TEST(MovieImporting, WhatCannotBeImportedGivesAStatus)
{
    TempDir dir;
    writeFile(dir.path() / "noise.bin", std::string(3000, '\x55'));
    const MVDataReference references[] = {
        MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "noise.bin").string()),
        MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "missing.wav").string()),
        MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString("http://127.0.0.1:9/a.wav")),
        MVDataReference(),
    };
    for (const auto& reference : references) {
        HXError error;
        EXPECT_FALSE(MVPMovie::movieWithImporter(reference, &error));
        EXPECT_EQ(error.domain(), HXOSStatusErrorDomain);
        EXPECT_NE(error.code(), 0);
    }
}

TEST(MovieImporting, AWholeMovieIsWrittenToADataReference)
{
    auto path = fixturePath(MovieFixture::H264AacMkv);
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    auto movie = MVPMovie::movieWithImporterFromFile(path.string(), nullptr);
    ASSERT_TRUE(movie);
    TempDir dir;
    auto out = dir.path() / "converted.mov";
    EXPECT_EQ(
        MVPMovie::convertToDataRef(*movie, MVDataReference::dataReferenceWithReferenceToFile(out.string())),
        0);
    auto reread = MVMovie::movieWithFile(out.string(), nullptr);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->trackCount(), 2);
    EXPECT_NE(
        MVPMovie::convertToDataRef(*movie,
            MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "no/such/folder.mov").string())),
        0);
}

} // namespace
