// The atom reader on hand-made atoms: sizes, bounds, nesting, tables, user data and metadata, unknown
// atoms; and round trips of every atom type through the writer.
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/atoms/user_data_values.h"

#include <gtest/gtest.h>

namespace {

MVBytes atom(const char (&type)[5], const MVBytes& payload)
{
    MVByteWriter w;
    w.u32(uint32_t(8 + payload.size()));
    w.u32(MVFourCC(type));
    w.bytes(payload);
    return std::move(w.buffer());
}

MVBytes cat(std::initializer_list<MVBytes> parts)
{
    MVBytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

MVBytes be32(uint32_t v)
{
    return { uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v) };
}

TEST(AtomHeader, SizesAndBounds)
{
    struct Case {
        const char* name;
        MVBytes bytes;
        std::optional<uint64_t> size; // nothing: rejected
        uint32_t headerSize;
    };
    const Case cases[] = {
        { "32-bit size", cat({ be32(12), be32(MVFourCC("free")), be32(0) }), 12, 8 },
        { "64-bit size", cat({ be32(1), be32(MVFourCC("free")), be32(0), be32(20), be32(0) }), 20, 16 },
        { "to the end", cat({ be32(0), be32(MVFourCC("mdat")), be32(7), be32(7) }), 16, 8 },
        { "smaller than its header", cat({ be32(4), be32(MVFourCC("free")) }), std::nullopt, 8 },
        { "64-bit size below 16", cat({ be32(1), be32(MVFourCC("free")), be32(0), be32(8) }), std::nullopt,
            16 },
        { "past the parent", cat({ be32(100), be32(MVFourCC("free")), be32(0) }), std::nullopt, 8 },
        { "64-bit past the parent", cat({ be32(1), be32(MVFourCC("free")), be32(0x80000000), be32(0) }),
            std::nullopt, 16 },
        { "short header", { 0, 0, 0 }, std::nullopt, 8 },
    };
    for (const auto& c : cases) {
        auto h = MVReadAtomHeader(c.bytes);
        ASSERT_EQ(h.has_value(), c.size.has_value()) << c.name;
        if (h) {
            EXPECT_EQ(h->size, *c.size) << c.name;
            EXPECT_EQ(h->headerSize, c.headerSize) << c.name;
        }
    }
}

// A minimal movie with one track whose children are given.
MVBytes movieWithTrackChildren(const MVBytes& extraTrackChildren)
{
    MVTrackDescription track;
    track.header.trackID = 1;
    track.media.handler.componentSubtype = MVFourCC("vide");
    MVMovieDescription movie;
    movie.tracks.push_back(track);
    MVBytes moov = MVSerializeMovieAtom(movie);
    // Append the extra children to the 'trak' (second child of 'moov', after 'mvhd').
    auto mvhdSize = size_t(moov[8]) << 24 | size_t(moov[9]) << 16 | size_t(moov[10]) << 8 | moov[11];
    size_t trak = 8 + mvhdSize;
    moov.insert(moov.end(), extraTrackChildren.begin(), extraTrackChildren.end());
    auto patch = [&](size_t at, size_t add) {
        uint32_t size = uint32_t(moov[at]) << 24 | uint32_t(moov[at + 1]) << 16 | uint32_t(moov[at + 2]) << 8
            | moov[at + 3];
        size += uint32_t(add);
        for (int i = 0; i < 4; ++i)
            moov[at + size_t(i)] = uint8_t(size >> (24 - 8 * i));
    };
    patch(0, extraTrackChildren.size());
    patch(trak, extraTrackChildren.size());
    return moov;
}

TEST(AtomReader, UnknownAtomsSurviveInPlace)
{
    MVBytes custom = atom("zzzz", { 1, 2, 3 });
    MVBytes uuid = atom("uuid", MVBytes(20, 0xAB));
    MVBytes moov = movieWithTrackChildren(cat({ custom, uuid }));
    HXError error;
    auto movie = MVParseMovieAtom(moov, &error);
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->tracks.size(), 1u);
    const auto& unknown = movie->tracks[0].unknownChildren;
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_EQ(unknown[0].type, MVFourCC("zzzz"));
    EXPECT_EQ(unknown[1].payload.size(), 20u);
    EXPECT_EQ(MVSerializeMovieAtom(*movie), moov);

    // An unknown atom between known ones keeps its place.
    auto changed = *movie;
    changed.tracks[0].childOrder.insert(changed.tracks[0].childOrder.begin() + 1, 0);
    changed.tracks[0].childOrder.pop_back();
    auto again = MVParseMovieAtom(MVSerializeMovieAtom(changed), &error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->tracks[0].childOrder, changed.tracks[0].childOrder);
}

TEST(AtomReader, DamagedChildIsKeptAndReported)
{
    // A 'tref' whose child is not a list of 32-bit IDs: kept raw, with a warning; the track survives.
    MVBytes tref = atom("tref", atom("chap", { 0, 0, 1 }));
    MVBytes moov = movieWithTrackChildren(tref);
    std::vector<std::string> warnings;
    auto payload = std::span<const uint8_t>(moov).subspan(8);
    auto movie = MVParseMovieAtomPayload(payload, &warnings);
    ASSERT_EQ(movie.tracks.size(), 1u);
    EXPECT_TRUE(movie.tracks[0].references.empty());
    ASSERT_EQ(movie.tracks[0].unknownChildren.size(), 1u);
    EXPECT_FALSE(warnings.empty());
    EXPECT_EQ(MVSerializeMovieAtom(movie), moov);
}

TEST(AtomReader, NestingBeyondTheLimitIsKeptRaw)
{
    MVTrackDescription track;
    track.header.trackID = 1;
    MVMovieDescription movie;
    movie.tracks.push_back(track);
    MVBytes moov = MVSerializeMovieAtom(movie);
    auto payload = std::span<const uint8_t>(moov).subspan(8);

    std::vector<std::string> warnings;
    auto full = MVParseMovieAtomPayload(payload, &warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(full.tracks[0].media.unknownChildren.empty());

    // With a limit of three levels 'minf' (moov > trak > mdia > minf) is too deep: kept as bytes.
    auto shallow = MVParseMovieAtomPayload(payload, &warnings, 3);
    ASSERT_EQ(shallow.tracks.size(), 1u);
    ASSERT_EQ(shallow.tracks[0].media.unknownChildren.size(), 1u);
    EXPECT_EQ(shallow.tracks[0].media.unknownChildren[0].type, MVFourCC("minf"));
    EXPECT_FALSE(warnings.empty());
    EXPECT_EQ(MVSerializeMovieAtom(shallow), moov);
}

TEST(AtomReader, TablesLargerThanTheirAtomAreRejected)
{
    // Counts that promise more records than the bytes hold: no allocation, a warning, the atom kept.
    struct Case {
        const char* type;
        MVBytes payload;
    };
    const Case cases[] = {
        { "stts", cat({ be32(0), be32(0x10000000) }) },
        { "stsz", cat({ be32(0), be32(0), be32(0xFFFFFFFF) }) },
        { "stco", cat({ be32(0), be32(0x40000000), be32(1) }) },
        { "co64", cat({ be32(0), be32(3), be32(1), be32(2) }) },
        { "stsc", cat({ be32(0), be32(2), be32(1), be32(1), be32(1) }) },
        { "stsd", cat({ be32(0), be32(0x7FFFFFFF) }) },
        { "stz2", cat({ be32(0), be32(8), be32(100), MVBytes(10, 1) }) },
    };
    for (const auto& c : cases) {
        MVBytes type(c.type, c.type + 4);
        MVByteWriter w;
        w.u32(uint32_t(8 + c.payload.size()));
        w.bytes(type);
        w.bytes(c.payload);
        std::vector<std::string> warnings;
        auto table = MVParseSampleTable(w.buffer(), &warnings);
        EXPECT_EQ(warnings.size(), 1u) << c.type;
        ASSERT_EQ(table.unknownChildren.size(), 1u) << c.type;
        EXPECT_EQ(MVSerializeSampleTableAtom(table), atom("stbl", w.buffer())) << c.type;
    }
}

MVSampleTable sampleTable()
{
    MVSampleTable t;
    MVSampleDescription d;
    d.format = MVFourCC("avc1");
    MVVideoSampleDescription v;
    v.width = 160;
    v.height = 120;
    v.compressorName = "Test";
    v.extensions
        = { MVRawAtom { MVFourCC("avcC"), { 1, 2, 3 } }, MVRawAtom { MVFourCC("pasp"), MVBytes(8, 0) } };
    d.data = MVSerializeVideoSampleDescription(v);
    t.sampleDescriptions = { d };
    t.timeToSample = { { 3, 100 }, { 2, 50 } };
    t.hasCompositionOffsets = true;
    t.compositionOffsetVersion = 1;
    t.compositionOffsets = { { 1, 100 }, { 1, -100 }, { 3, 0 } };
    t.hasSyncSamples = true;
    t.syncSamples = { 1, 4 };
    t.hasPartialSyncSamples = true;
    t.partialSyncSamples = { 2 };
    t.sampleToChunk = { { 1, 2, 1 }, { 3, 1, 1 } };
    t.sampleCount = 5;
    t.sampleSizes = { 10, 20, 30, 40, 50 };
    t.chunkOffsets = { 1000, 2000, 3000 };
    t.sampleDependencyFlags = MVBytes { 0, 0, 0, 0, 0x20, 0x10, 0x10, 0x20, 0x10 };
    t.unknownChildren = { MVRawAtom { MVFourCC("sgpd"), { 9, 9 } } };
    return t;
}

TEST(AtomRoundTrip, EveryAtomTypeOfAMovie)
{
    MVMovieDescription movie;
    movie.header.version = 1;
    movie.header.duration = 0x100000000ull;
    movie.header.timeScale = 600;
    MVTrackDescription track;
    track.header.trackID = 7;
    track.header.width = 160 << 16;
    track.header.alternateGroup = 2;
    track.editList = MVEditList { 1, 0, { { 600, -1, 0x10000 }, { 1200, 300, 0x8000 } }, {}, {} };
    track.references = { { MVFourCC("chap"), { 2 } }, { MVFourCC("fall"), { 3, 4 } } };
    track.media.header.language = *MVPackedLanguage("fra");
    track.media.handler
        = MVHandler { 0, 0, MVFourCC("mhlr"), MVFourCC("vide"), 0, 0, 0, { 5, 'V', 'i', 'd', 'e', 'o' } };
    track.media.information.header = { MVFourCC("vmhd"), { 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0 } };
    track.media.information.dataHandler = MVHandler { 0, 0, MVFourCC("dhlr"), MVFourCC("alis"), 0, 0, 0, {} };
    track.media.information.dataInformation.entries = { MVDataReferenceEntry { MVFourCC("alis"), 0, 1, {} },
        MVDataReferenceEntry { MVFourCC("url "), 0, 0, { 'x', 0 } } };
    track.media.information.sampleTable = sampleTable();
    track.userData = MVUserData { { { MVFourCC("name"), { 'a' } },
                                      { 0xA96E616D, MVSerializeInternationalText({ { 0, "Caf\xC3\xA9" } }) },
                                      { MVFourCC("name"), { 'b' } } },
        true };
    MVMetadata meta = MVMakeMetadataContainer();
    meta.items = { { MVMakeMetadataKey("com.example.gain"), { MVMakeMetadataFloat32(0.75f) }, {} },
        { MVMakeMetadataKey(MVFourCC("LOOP")), { MVMakeMetadataBytes({ 0, 0, 0, 1 }) }, {} } };
    track.metadata = meta;
    movie.tracks = { track };
    movie.userData = MVUserData { { { MVFourCC("WLOC"), { 0, 10, 0, 20 } } }, false };
    movie.metadata = meta;
    movie.hasReferenceMovieRecord = true;
    movie.referenceMovies
        = { MVReferenceMovieDescriptor { true, 0, MVFourCC("url "), { 'a', '.', 'm', 'o', 'v', 0 },
            2147483647, { MVRawAtom { MVFourCC("rmvc"), MVBytes(18, 0) } }, {} } };

    MVBytes bytes = MVSerializeMovieAtom(movie);
    HXError error;
    auto parsed = MVParseMovieAtom(bytes, &error);
    ASSERT_TRUE(parsed);
    // Orders were filled in by reading; the content is what was written.
    const auto& t = parsed->tracks.at(0);
    EXPECT_EQ(parsed->header, movie.header);
    EXPECT_EQ(t.header, track.header);
    ASSERT_TRUE(t.editList);
    EXPECT_EQ(t.editList->entries, track.editList->entries);
    EXPECT_EQ(t.references, track.references);
    EXPECT_EQ(t.media.header, track.media.header);
    EXPECT_EQ(t.media.handler, track.media.handler);
    EXPECT_EQ(t.media.information.dataHandler, track.media.information.dataHandler);
    EXPECT_EQ(t.media.information.dataInformation.entries, track.media.information.dataInformation.entries);
    auto st = t.media.information.sampleTable;
    st.childOrder.clear();
    EXPECT_EQ(st, track.media.information.sampleTable);
    EXPECT_EQ(t.userData, track.userData);
    ASSERT_TRUE(t.metadata);
    EXPECT_EQ(t.metadata->items, meta.items);
    EXPECT_EQ(parsed->userData, movie.userData);
    ASSERT_EQ(parsed->referenceMovies.size(), 1u);
    EXPECT_EQ(parsed->referenceMovies[0].dataRate, 2147483647);
    EXPECT_EQ(parsed->referenceMovies[0].otherChildren, movie.referenceMovies[0].otherChildren);
    // And the second time round the bytes are equal.
    EXPECT_EQ(MVSerializeMovieAtom(*parsed), bytes);

    // Typed values read back.
    EXPECT_EQ(MVMetadataFloat32(t.metadata->items[0].values[0]), 0.75f);
    EXPECT_EQ(MVLanguageCodeFromPacked(t.media.header.language), "fra");
    auto text = MVParseInternationalText(t.userData->items[1].data);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->at(0).text, "Caf\xC3\xA9");
    EXPECT_EQ(t.userData->items[1].data[4 + 3], 0x8E); // é in the Roman table
    EXPECT_EQ(MVHandlerName(t.media.handler), "Video");
    auto video = MVParseVideoSampleDescription(st.sampleDescriptions[0]);
    ASSERT_TRUE(video);
    EXPECT_EQ(video->width, 160);
    EXPECT_EQ(video->compressorName, "Test");
    EXPECT_EQ(
        MVSampleDescriptionExtension(st.sampleDescriptions[0], MVFourCC("avcC")), (MVBytes { 1, 2, 3 }));
}

TEST(AtomRoundTrip, MetadataFloatItemsAreBigEndian)
{
    MVMetadata meta = MVMakeMetadataContainer();
    meta.items = { { MVMakeMetadataKey("com.zantrel.movara.player.movie.audio.gain"),
        { MVMakeMetadataFloat32(1.5f) }, {} } };
    MVBytes bytes = MVSerializeMetadataAtom(meta);
    // ... 'data' atom: size 20, 'data', type 23, locale 0, 0x3FC00000.
    MVBytes expectedTail = cat({ be32(20), be32(MVFourCC("data")), be32(23), be32(0), be32(0x3FC00000) });
    ASSERT_GE(bytes.size(), expectedTail.size());
    EXPECT_TRUE(
        std::equal(expectedTail.begin(), expectedTail.end(), bytes.end() - long(expectedTail.size())));
    auto parsed = MVParseMetadata(std::span<const uint8_t>(bytes).subspan(8));
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(std::string(parsed.items[0].key.keyValue.begin(), parsed.items[0].key.keyValue.end()),
        "com.zantrel.movara.player.movie.audio.gain");
    EXPECT_EQ(MVMetadataFloat32(parsed.items[0].values[0]), 1.5f);
}

TEST(AtomRoundTrip, SoundDescriptionVersions)
{
    for (uint16_t version : { 0, 1, 2 }) {
        MVSoundSampleDescription s;
        s.version = version;
        s.channelCount = 2;
        s.sampleSize = 16;
        s.sampleRate = version == 2 ? 96000.0 : 44100.0;
        s.samplesPerPacket = version == 1 ? 1024 : 0;
        s.extensions = { MVRawAtom { MVFourCC("esds"), { 7, 7 } } };
        MVSampleDescription d { MVFourCC("mp4a"), {}, 1, MVSerializeSoundSampleDescription(s) };
        auto back = MVParseSoundSampleDescription(d);
        ASSERT_TRUE(back) << version;
        EXPECT_EQ(back->channelCount, 2);
        EXPECT_EQ(back->sampleRate, s.sampleRate);
        EXPECT_EQ(back->samplesPerPacket, s.samplesPerPacket);
        EXPECT_EQ(MVSampleDescriptionExtension(d, MVFourCC("esds")), (MVBytes { 7, 7 }));
    }
}

TEST(AtomRoundTrip, SoundDescriptionExtensionsPastTheVideoLayout)
{
    // A channel layout makes a sound description longer than a video one: its atoms must still be
    // found at the sound layout's offset, whatever its bytes look like at the video layout's offset.
    struct Case {
        const char* name;
        uint8_t fill;
        size_t layoutSize;
    };
    const Case cases[] = {
        { "zeros", 0, 56 },
        { "ones", 1, 56 },
        { "short layout", 0, 24 },
        { "long layout", 0x20, 120 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint16_t version : { 0, 1 }) {
            MVSoundSampleDescription s;
            s.version = version;
            s.channelCount = 2;
            s.sampleSize = 16;
            s.sampleRate = 48000;
            s.extensions = { MVRawAtom { MVFourCC("chan"), MVBytes(c.layoutSize, c.fill) },
                MVRawAtom { MVFourCC("esds"), { 7, 7 } } };
            MVSampleDescription d { MVFourCC("mp4a"), {}, 1, MVSerializeSoundSampleDescription(s) };
            EXPECT_EQ(MVSampleDescriptionExtension(d, MVFourCC("chan")), MVBytes(c.layoutSize, c.fill));
            EXPECT_EQ(MVSampleDescriptionExtension(d, MVFourCC("esds")), (MVBytes { 7, 7 }));
        }
    }
}

TEST(AtomReader, CompactSampleSizes)
{
    // 'stz2' with 4-bit fields, odd count: sizes 1, 2, 3.
    MVBytes stz2 = atom("stz2", cat({ be32(0), be32(4), be32(3), { 0x12, 0x30 } }));
    auto t = MVParseSampleTable(stz2);
    EXPECT_EQ(t.sampleSizes, (std::vector<uint32_t> { 1, 2, 3 }));
    EXPECT_EQ(t.sampleCount, 3u);
}

TEST(AtomWriter, ChunkOffsetsBeyond32BitsUse64BitAtom)
{
    MVSampleTable t;
    t.chunkOffsets = { 8, 0x100000000ull };
    auto bytes = MVSerializeSampleTableAtom(t);
    auto parsed = MVParseSampleTable(std::span<const uint8_t>(bytes).subspan(8));
    EXPECT_TRUE(parsed.uses64BitChunkOffsets);
    EXPECT_EQ(parsed.chunkOffsets, t.chunkOffsets);
    t.chunkOffsets = { 8, 0xFFFFFFFFull };
    parsed = MVParseSampleTable(std::span<const uint8_t>(MVSerializeSampleTableAtom(t)).subspan(8));
    EXPECT_FALSE(parsed.uses64BitChunkOffsets);
}

TEST(UserDataValues, LanguagesAndIntegers)
{
    EXPECT_EQ(MVPackedLanguage("eng"), 0x15C7);
    EXPECT_EQ(MVPackedLanguage("und"), 0x55C4);
    EXPECT_FALSE(MVPackedLanguage("EN"));
    EXPECT_FALSE(MVLanguageCodeFromPacked(0)); // a classic number
    struct Case {
        int64_t value;
        size_t bytes;
    };
    for (auto c : { Case { 5, 1 }, Case { -129, 2 }, Case { 70000, 4 }, Case { INT64_MIN, 8 } }) {
        auto v = MVMakeMetadataSignedInteger(c.value);
        EXPECT_EQ(v.bytes.size(), c.bytes);
        EXPECT_EQ(MVMetadataInteger(v), c.value);
    }
    EXPECT_FALSE(MVParseInternationalText({ 0, 9, 0, 0, 'a' }));
}

} // namespace
