// User data and metadata written by us: read back by us and shown by ffprobe as tags.
#include "movie_peer_fixtures.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/user_data.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(MetadataPeer, WrittenItemsReadBackAndShowInFfprobe)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto source = dir / "source.mov";
    ASSERT_TRUE(makeMovie(source, 1, ""));
    HXError error;
    auto m = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(m);
    MVUserDataSetText(m->userData(), 0xA96E616D, "Our Title"); // ©nam
    MVUserDataAddItem(m->userData(), MVFourCC("nsav"), { 0, 0, 0, 1 });
    MVMetadataAddItem(m->metadata(), MVMakeMetadataKey("com.example.rating"), MVMakeMetadataFloat32(4.5f));
    MVMetadataAddItem(m->metadata(), MVMakeMetadataKey("com.example.note"), MVMakeMetadataUTF8("hello"));
    auto video = m->tracksOfMediaType(MVFourCC("vide")).front();
    MVUserDataSetText(video->userData(), 0xA9637079, "Track Copyright"); // ©cpy
    m->movieChanged();

    for (bool flatten : { true, false }) {
        SCOPED_TRACE(flatten ? "self-contained" : "reference");
        auto path = dir / (flatten ? "flat.mov" : "ref.mov");
        ASSERT_TRUE(m->writeToFile(path.string(), { { MVMovieFlatten, flatten } }, &error))
            << error.localizedDescription();
        auto tags = probeTags(path);
        EXPECT_NE(tags.find("TAG:title=Our Title"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TAG:com.example.rating=4.5"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TAG:com.example.note=hello"), std::string::npos) << tags;

        auto reopened = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(MVUserDataGetText(reopened->userData(), 0xA96E616D), "Our Title");
        EXPECT_EQ(MVUserDataGetItem(reopened->userData(), MVFourCC("nsav"), 1), (MVBytes { 0, 0, 0, 1 }));
        auto rating = MVMetadataFirstValue(reopened->metadata(), MVMakeMetadataKey("com.example.rating"));
        ASSERT_TRUE(rating);
        EXPECT_EQ(MVMetadataFloat32(*rating), 4.5f);
        auto track = reopened->tracksOfMediaType(MVFourCC("vide")).front();
        EXPECT_EQ(MVUserDataGetText(track->userData(), 0xA9637079), "Track Copyright");
    }
}

// Texts other writers keep in the item list of the user data's 'meta' (MPEG-4, M4A) read as the same
// annotations as the classic items of a movie file's user data; a text changed or removed is changed or removed
// where the file keeps it, so that no other program reads the old one.
TEST(MetadataPeer, TextsOfOtherWritersAreAnnotationsAndChangeWhereTheyAreKept)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    struct Case {
        const char* file;
        bool picture;
    };
    const Case cases[] = { { "tagged.mp4", true }, { "tagged.m4a", false }, { "tagged.mov", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto source = dir / c.file;
        std::vector<std::string> argv
            = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=0.5" };
        if (c.picture)
            argv.insert(argv.end(), { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.5" });
        argv.insert(argv.end(),
            { "-metadata", "title=The Title", "-metadata", "artist=An Artist", "-metadata", "album=Album",
                "-metadata", "comment=Remark", "-metadata", "genre=Drama", "-metadata", "copyright=Us",
                source.string() });
        ASSERT_EQ(runCommand(argv).status, 0);
        HXError error;
        auto m = MVMovie::movieWithFile(source.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        auto annotations = MVUserDataAnnotations(m->userData());
        for (auto [code, text] : std::initializer_list<std::pair<const char*, const char*>> {
                 { "©nam", "The Title" }, { "©ART", "An Artist" }, { "©alb", "Album" }, { "©cmt", "Remark" },
                 { "©gen", "Drama" }, { "©cpy", "Us" } })
            EXPECT_EQ(annotations[code], text) << code;

        MVUserDataSetText(m->userData(), 0xA96E616D, "New Title"); // ©nam
        MVUserDataRemoveText(m->userData(), 0xA9636D74); // ©cmt
        m->movieChanged();
        auto saved = dir / (std::string("saved-") + c.file + ".mov");
        ASSERT_TRUE(m->writeToFile(saved.string(), { { MVMovieFlatten, true } }, &error))
            << error.localizedDescription();
        auto tags = probeTags(saved);
        EXPECT_NE(tags.find("TAG:title=New Title"), std::string::npos) << tags;
        EXPECT_EQ(tags.find("The Title"), std::string::npos) << tags;
        EXPECT_EQ(tags.find("Remark"), std::string::npos) << tags;
        EXPECT_NE(tags.find("TAG:artist=An Artist"), std::string::npos) << tags;
        auto reopened = MVMovie::movieWithFile(saved.string(), &error);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(MVUserDataGetText(reopened->userData(), 0xA96E616D), "New Title");
        EXPECT_EQ(MVUserDataGetText(reopened->userData(), 0xA9636D74), std::nullopt);
    }
}

// The texts of files of other containers (tags of Matroska, ID3 of MP3, comments of Ogg and FLAC) come
// with the movie as its text annotations.
TEST(MetadataPeer, TextsOfOtherContainersAreAnnotations)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is needed";
    TempDir dir;
    struct Case {
        const char* file;
        std::vector<std::string> codec;
    };
    const Case cases[] = {
        { "tagged.mkv", { "-c:a", "aac" } },
        { "tagged.mp3", { "-c:a", "libmp3lame" } },
        { "tagged.ogg", { "-c:a", "libvorbis" } },
        { "tagged.flac", { "-c:a", "flac" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto source = dir / c.file;
        std::vector<std::string> argv
            = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=0.5",
                  "-metadata", "title=Sommernacht \xC3\xA9t\xC3\xA9", "-metadata", "artist=An Artist" };
        argv.insert(argv.end(), c.codec.begin(), c.codec.end());
        argv.push_back(source.string());
        ASSERT_EQ(runCommand(argv).status, 0);
        HXError error;
        auto m = MVMovie::movieWithFile(source.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        auto annotations = MVUserDataAnnotations(m->userData());
        EXPECT_EQ(annotations["©nam"], "Sommernacht \xC3\xA9t\xC3\xA9");
        EXPECT_EQ(annotations["©ART"], "An Artist");
        EXPECT_FALSE(m->hasChanged());
    }
}

} // namespace
