// Sample descriptions to decoder configurations, and decoders fed bad data.
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/playback/decoder.h"
#include "platform/mvkit/playback/edit_map.h"

#include <gtest/gtest.h>

#include <functional>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

MVSampleDescription soundDescription(uint32_t format, uint16_t version, uint16_t bits, uint16_t channels,
    uint32_t flags = 0, std::vector<MVRawAtom> extensions = {})
{
    MVSoundSampleDescription s;
    s.version = version;
    s.sampleSize = bits;
    s.channelCount = channels;
    s.sampleRate = 44100;
    s.formatSpecificFlags = flags;
    s.extensions = std::move(extensions);
    MVSampleDescription d;
    d.format = format;
    d.data = MVSerializeSoundSampleDescription(s);
    return d;
}

MVSampleDescription videoDescription(uint32_t format, std::vector<MVRawAtom> extensions = {})
{
    MVVideoSampleDescription v;
    v.width = 320;
    v.height = 240;
    v.extensions = std::move(extensions);
    MVSampleDescription d;
    d.format = format;
    d.data = MVSerializeVideoSampleDescription(v);
    return d;
}

// An 'esds' payload: version/flags, ES descriptor, decoder config descriptor with `oti`, specific info.
MVBytes esds(uint8_t oti, MVBytes info)
{
    MVBytes dsi = { 0x05, uint8_t(info.size()) };
    dsi.insert(dsi.end(), info.begin(), info.end());
    MVBytes dcd = { 0x04, uint8_t(13 + dsi.size()), oti, 0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    dcd.insert(dcd.end(), dsi.begin(), dsi.end());
    // The ES descriptor's length in the four-byte form some writers use.
    MVBytes es = { 0, 0, 0, 0, 0x03, 0x80, 0x80, 0x80, uint8_t(3 + dcd.size()), 0, 1, 0 };
    es.insert(es.end(), dcd.begin(), dcd.end());
    return es;
}

} // namespace

TEST(DecoderConfigurationTest, SoundFormatsPickTheirCodecAndLayout)
{
    const MVBytes aacInfo = { 0x12, 0x10 };
    struct Case {
        const char* name;
        MVSampleDescription description;
        AVCodecID codec;
        int bits;
        int blockAlign;
    };
    const Case cases[] = {
        { "sowt", soundDescription(MVFourCC("sowt"), 0, 16, 2), AV_CODEC_ID_PCM_S16LE, 16, 4 },
        { "twos", soundDescription(MVFourCC("twos"), 0, 16, 1), AV_CODEC_ID_PCM_S16BE, 16, 2 },
        { "twos 8", soundDescription(MVFourCC("twos"), 0, 8, 1), AV_CODEC_ID_PCM_S8, 8, 1 },
        { "raw", soundDescription(MVFourCC("raw "), 0, 8, 2), AV_CODEC_ID_PCM_U8, 8, 2 },
        { "in24", soundDescription(MVFourCC("in24"), 0, 16, 2), AV_CODEC_ID_PCM_S24BE, 24, 6 },
        { "in24 little", soundDescription(MVFourCC("in24"), 0, 16, 2, 0, { { MVFourCC("enda"), { 0, 1 } } }),
            AV_CODEC_ID_PCM_S24LE, 24, 6 },
        { "fl32", soundDescription(MVFourCC("fl32"), 0, 32, 2), AV_CODEC_ID_PCM_F32BE, 32, 8 },
        { "lpcm float le", soundDescription(MVFourCC("lpcm"), 2, 32, 2, 0x1), AV_CODEC_ID_PCM_F32LE, 32, 8 },
        { "lpcm s24 be", soundDescription(MVFourCC("lpcm"), 2, 24, 1, 0x6), AV_CODEC_ID_PCM_S24BE, 24, 3 },
        { "lpcm s16 le", soundDescription(MVFourCC("lpcm"), 2, 16, 2, 0x4), AV_CODEC_ID_PCM_S16LE, 16, 4 },
        { "mp4a aac",
            soundDescription(MVFourCC("mp4a"), 0, 16, 2, 0, { { MVFourCC("esds"), esds(0x40, aacInfo) } }),
            AV_CODEC_ID_AAC, 16, 0 },
        { "mp4a mp3",
            soundDescription(MVFourCC("mp4a"), 0, 16, 2, 0, { { MVFourCC("esds"), esds(0x6B, {}) } }),
            AV_CODEC_ID_MP3, 16, 0 },
        { "mp4a in wave",
            soundDescription(MVFourCC("mp4a"), 1, 16, 2, 0,
                { { MVFourCC("wave"),
                    [&] {
                        MVBytes w = { 0, 0, 0, 12, 'f', 'r', 'm', 'a', 'm', 'p', '4', 'a' };
                        MVBytes e = esds(0x40, aacInfo);
                        uint32_t size = uint32_t(e.size() + 8);
                        MVBytes header = { uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8),
                            uint8_t(size), 'e', 's', 'd', 's' };
                        w.insert(w.end(), header.begin(), header.end());
                        w.insert(w.end(), e.begin(), e.end());
                        return w;
                    }() } }),
            AV_CODEC_ID_AAC, 16, 0 },
        { ".mp3", soundDescription(MVFourCC(".mp3"), 0, 16, 2), AV_CODEC_ID_MP3, 16, 0 },
    };
    for (const auto& c : cases) {
        HXError error;
        auto configuration = MVDecoderConfigurationForDescription(c.description, MVFourCC("soun"), &error);
        ASSERT_TRUE(configuration) << c.name << ": " << error.localizedDescription();
        EXPECT_EQ(configuration->codecID, c.codec) << c.name;
        EXPECT_EQ(configuration->bitsPerSample, c.bits) << c.name;
        EXPECT_EQ(configuration->blockAlign, c.blockAlign) << c.name;
        EXPECT_EQ(configuration->sampleRate, 44100) << c.name;
        if (c.codec == AV_CODEC_ID_AAC) {
            EXPECT_EQ(configuration->extradata, aacInfo) << c.name;
        }
    }
}

TEST(DecoderConfigurationTest, VideoFormatsTakeTheirConfigurationAtom)
{
    const MVBytes avcC = { 1, 0x64, 0, 0x1e, 0xff, 0xe0, 0 };
    struct Case {
        uint32_t format;
        std::vector<MVRawAtom> extensions;
        AVCodecID codec;
        MVBytes extradata;
    };
    const Case cases[] = {
        { MVFourCC("avc1"), { { MVFourCC("pasp"), { 0, 0, 0, 1, 0, 0, 0, 1 } }, { MVFourCC("avcC"), avcC } },
            AV_CODEC_ID_H264, avcC },
        { MVFourCC("hvc1"), { { MVFourCC("hvcC"), { 1, 2, 3 } } }, AV_CODEC_ID_HEVC, { 1, 2, 3 } },
        { MVFourCC("jpeg"), {}, AV_CODEC_ID_MJPEG, {} },
        { MVFourCC("mp4v"), { { MVFourCC("esds"), esds(0x20, { 9, 8, 7 }) } }, AV_CODEC_ID_MPEG4,
            { 9, 8, 7 } },
        { MVFourCC("apch"), {}, AV_CODEC_ID_PRORES, {} },
    };
    for (const auto& c : cases) {
        HXError error;
        auto configuration = MVDecoderConfigurationForDescription(
            videoDescription(c.format, c.extensions), MVFourCC("vide"), &error);
        ASSERT_TRUE(configuration) << MVStringForOSType(c.format);
        EXPECT_EQ(configuration->codecID, c.codec);
        EXPECT_EQ(configuration->extradata, c.extradata);
        EXPECT_EQ(configuration->width, 320);
        EXPECT_TRUE(configuration->isVideo);
    }
}

// Pictures of indexed colours get the colours the description gives: its colour table (with the child
// atoms after it still found), the gray ramp of a gray depth, the standard 8-bit table; others none.
TEST(DecoderConfigurationTest, IndexedPicturesGetTheirColours)
{
    const MVRawAtom pasp { MVFourCC("pasp"), { 0, 0, 0, 2, 0, 0, 0, 1 } };
    struct Case {
        const char* name;
        int16_t depth;
        std::vector<uint32_t> table; // written after the fields (colorTableID 0)
        size_t colours;
        uint32_t first, last;
        int bits; // what the decoder of uncompressed pictures is told
    };
    const Case cases[] = {
        { "own table", 8, { 0xFF102030, 0xFFFFFFFF, 0xFF000000 }, 3, 0xFF102030, 0xFF000000, 8 },
        { "gray, 8 bits", 40, {}, 256, 0xFFFFFFFF, 0xFF000000, 8 },
        { "gray, 4 bits", 36, {}, 16, 0xFFFFFFFF, 0xFF000000, 4 },
        { "standard 8-bit table", 8, {}, 256, 0xFFFFFFFF, 0xFF000000, 8 },
        { "millions of colours", 24, {}, 0, 0, 0, 24 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVVideoSampleDescription v;
        v.width = 320;
        v.height = 240;
        v.depth = c.depth;
        v.colorTableID = c.table.empty() ? -1 : 0;
        v.colorTable = c.table;
        v.extensions = { pasp };
        MVSampleDescription d { MVFourCC("raw "), {}, 1, MVSerializeVideoSampleDescription(v) };
        auto parsed = MVParseVideoSampleDescription(d);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->colorTable, c.table);
        EXPECT_EQ(MVSampleDescriptionExtension(d, MVFourCC("pasp")), pasp.payload);
        HXError error;
        auto configuration = MVDecoderConfigurationForDescription(d, MVFourCC("vide"), &error);
        ASSERT_TRUE(configuration);
        ASSERT_EQ(configuration->palette.size(), c.colours);
        if (c.colours > 0) {
            EXPECT_EQ(configuration->palette.front(), c.first);
            EXPECT_EQ(configuration->palette.back(), c.last);
        }
        EXPECT_EQ(configuration->bitsPerSample, c.bits);
    }
}

TEST(DecoderConfigurationTest, UnknownOrBrokenDescriptionsAreRefused)
{
    struct Case {
        const char* name;
        MVSampleDescription description;
        uint32_t mediaType;
    };
    MVSampleDescription truncated = videoDescription(MVFourCC("avc1"));
    truncated.data.resize(10);
    const Case cases[] = {
        { "unknown video", videoDescription(MVFourCC("zzzz")), MVFourCC("vide") },
        { "unknown sound", soundDescription(MVFourCC("zzzz"), 0, 16, 2), MVFourCC("soun") },
        { "mp4a without esds", soundDescription(MVFourCC("mp4a"), 0, 16, 2), MVFourCC("soun") },
        { "mp4a with unknown object type",
            soundDescription(MVFourCC("mp4a"), 0, 16, 2, 0, { { MVFourCC("esds"), esds(0xF0, {}) } }),
            MVFourCC("soun") },
        { "truncated video", truncated, MVFourCC("vide") },
        { "text media", videoDescription(MVFourCC("tx3g")), MVFourCC("text") },
    };
    for (const auto& c : cases) {
        HXError error;
        EXPECT_FALSE(MVDecoderConfigurationForDescription(c.description, c.mediaType, &error)) << c.name;
        EXPECT_EQ(error.code(), MVStatusNoCodec) << c.name;
    }
}

TEST(DecoderConfigurationTest, MalformedElementaryStreamDescriptors)
{
    MVBytes good = esds(0x40, { 0x12, 0x10 });
    ASSERT_TRUE(MVParseElementaryStreamDescriptor(good));
    const MVBytes cases[] = {
        {}, { 0, 0, 0, 0 }, { 0, 0, 0, 0, 0x03, 0x7F, 0, 1, 0 }, // length past the end
        { 0, 0, 0, 0, 0x04, 0x02, 0, 1 }, // not an ES descriptor
        { 0, 0, 0, 0, 0x03, 0x80, 0x80, 0x80, 0x80, 0x80 }, // endless length
        { 0, 0, 0, 0, 0x03, 0x05, 0, 1, 0x40, 0x05, 0x01 }, // URL flag with a URL past the end
        MVBytes(good.begin(), good.end() - 5), // cut short
    };
    for (const auto& bytes : cases)
        EXPECT_FALSE(MVParseElementaryStreamDescriptor(bytes)) << bytes.size();
}

TEST(DecoderTest, GarbageSamplesAreSkippedNotFatal)
{
    HXError error;
    auto configuration
        = MVDecoderConfigurationForDescription(videoDescription(MVFourCC("jpeg")), MVFourCC("vide"), &error);
    ASSERT_TRUE(configuration);
    auto decoder = MVDecoder::decoderWithConfiguration(*configuration, 600, &error, 1);
    ASSERT_TRUE(decoder);
    std::vector<std::shared_ptr<MVDecodedFrame>> frames;
    const MVBytes garbage(1000, 0x5A);
    EXPECT_TRUE(decoder->decode(garbage.data(), garbage.size(), 0, 0, 60, frames, &error));
    EXPECT_TRUE(decoder->decode(nullptr, 0, 60, 60, 60, frames, &error));
    decoder->drain(frames);
    EXPECT_TRUE(frames.empty());
    EXPECT_GE(decoder->damagedSampleCount(), 1);
}

TEST(DecoderTest, NoTimeScaleIsAnError)
{
    MVDecoderConfiguration configuration;
    configuration.codecID = AV_CODEC_ID_PCM_S16LE;
    configuration.sampleRate = 8000;
    configuration.channelCount = 1;
    HXError error;
    EXPECT_FALSE(MVDecoder::decoderWithConfiguration(configuration, 0, &error));
    EXPECT_EQ(error.code(), MVStatusCodecError);
}

TEST(EditMapTest, MovieTimesToMediaTimes)
{
    // Movie scale 600, media scale 1000: 1 s of media from 2 s, 0.5 s empty, 1 s of media from 0 at half
    // speed.
    MVEditMap map({ { 600, 2000, 0x10000 }, { 300, -1, 0x10000 }, { 600, 0, 0x8000 } }, 600, 1000, 10000);
    ASSERT_EQ(map.segments().size(), 3u);
    EXPECT_EQ(map.duration(), 1500);
    struct Case {
        int64_t movieTime;
        std::optional<int64_t> mediaTime;
    };
    const Case cases[] = {
        { -1, std::nullopt },
        { 0, 2000 },
        { 300, 2500 },
        { 599, 2998 },
        { 600, std::nullopt },
        { 899, std::nullopt },
        { 900, 0 },
        { 1200, 250 },
        { 1499, 499 },
        { 1500, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(map.mediaTimeAt(c.movieTime), c.mediaTime) << c.movieTime;
    EXPECT_EQ(map.mediaDuration(map.segments()[2]), 500);
    EXPECT_EQ(map.movieTimeForMediaTime(map.segments()[2], 250), 1200);
}

TEST(EditMapTest, EveryPictureShowsAtTheMovieTimeItStartsAt)
{
    // Frame k starts at k × frameDuration media units; at its movie start time it is the frame shown,
    // whatever the two time scales (60 pictures a second in a movie of milliseconds lost every third).
    struct Case {
        int32_t movieScale, mediaScale;
        int64_t frameDuration;
    };
    const Case cases[]
        = { { 1000, 15360, 256 }, { 600, 90000, 1500 }, { 1000, 30000, 1001 }, { 600, 600, 10 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mediaScale);
        MVEditMap map({}, c.movieScale, c.mediaScale, 300 * c.frameDuration);
        const auto& segment = map.segments().front();
        for (int64_t k = 0; k < 300; ++k) {
            const int64_t start = map.movieTimeForMediaTime(segment, k * c.frameDuration);
            const auto shown = map.mediaTimeAt(start);
            ASSERT_TRUE(shown);
            EXPECT_EQ(*shown / c.frameDuration, k) << "frame " << k;
        }
    }
}

TEST(EditMapTest, NoEditsPlaysTheWholeMediaAndZeroSegmentsAreDropped)
{
    MVEditMap whole({}, 600, 44100, 88200);
    ASSERT_EQ(whole.segments().size(), 1u);
    EXPECT_EQ(whole.duration(), 1200);
    EXPECT_EQ(whole.mediaTimeAt(600), 44100);

    MVEditMap withZero({ { 0, 5, 0x10000 }, { 600, 0, 0x10000 } }, 600, 600, 600);
    EXPECT_EQ(withZero.segments().size(), 1u);
    EXPECT_EQ(MVEditMap({}, 600, 600, 0).duration(), 0);
}

// The descriptions the movie muxer writes for the codecs of other containers.
TEST(DecoderConfigurationTest, DescriptionsOfImportedCodecsGiveTheirDecoderSetup)
{
    // 'dOps': version, 2 channels, pre-skip 312, 48000 Hz, gain 0, mapping family 0.
    const MVBytes dOps = { 0, 2, 0x01, 0x38, 0, 0, 0xBB, 0x80, 0, 0, 0 };
    const MVBytes opusHead
        = { 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 0x01, 0x80, 0xBB, 0, 0, 0, 0, 0 };
    MVBytes streamInfo(34);
    for (size_t i = 0; i < streamInfo.size(); ++i)
        streamInfo[i] = uint8_t(i + 1);
    MVBytes dfLa = { 0, 0, 0, 0, 0x80, 0, 0, 34 }; // last block, STREAMINFO, 34 bytes
    dfLa.insert(dfLa.end(), streamInfo.begin(), streamInfo.end());
    const MVBytes headers = { 2, 30, 60, 1, 2, 3 };
    struct Case {
        const char* name;
        uint32_t mediaType;
        MVSampleDescription description;
        AVCodecID codec; // AV_CODEC_ID_NONE: refused
        MVBytes extradata;
    };
    const uint32_t soun = MVFourCC("soun"), vide = MVFourCC("vide");
    const Case cases[] = {
        { "Opus", soun, soundDescription(MVFourCC("Opus"), 0, 16, 2, 0, { { MVFourCC("dOps"), dOps } }),
            AV_CODEC_ID_OPUS, opusHead },
        { "Opus without dOps", soun, soundDescription(MVFourCC("Opus"), 0, 16, 2), AV_CODEC_ID_NONE, {} },
        { "Opus short dOps", soun,
            soundDescription(MVFourCC("Opus"), 0, 16, 2, 0, { { MVFourCC("dOps"), { 0, 2, 1 } } }),
            AV_CODEC_ID_NONE, {} },
        { "FLAC", soun, soundDescription(MVFourCC("fLaC"), 0, 16, 2, 0, { { MVFourCC("dfLa"), dfLa } }),
            AV_CODEC_ID_FLAC, streamInfo },
        { "FLAC short", soun,
            soundDescription(
                MVFourCC("fLaC"), 0, 16, 2, 0, { { MVFourCC("dfLa"), { 0, 0, 0, 0, 0x80, 0, 0, 34 } } }),
            AV_CODEC_ID_NONE, {} },
        { "Vorbis in esds", soun,
            soundDescription(MVFourCC("mp4a"), 0, 16, 2, 0, { { MVFourCC("esds"), esds(0xDD, headers) } }),
            AV_CODEC_ID_VORBIS, headers },
        { "unknown object type", soun,
            soundDescription(MVFourCC("mp4a"), 0, 16, 2, 0, { { MVFourCC("esds"), esds(0x01, {}) } }),
            AV_CODEC_ID_NONE, {} },
        { "MP2 by its code", soun, soundDescription(MVFourCC(".mp2"), 0, 16, 2), AV_CODEC_ID_MP2, {} },
        { "Vorbis by its Windows code", soun,
            soundDescription(MVFourCC("msVo"), 0, 16, 2, 0, { { MVFourCC("glbl"), headers } }),
            AV_CODEC_ID_VORBIS, headers },
        { "MPEG-2 in esds", vide,
            videoDescription(MVFourCC("mp4v"), { { MVFourCC("esds"), esds(0x61, {}) } }),
            AV_CODEC_ID_MPEG2VIDEO, {} },
        { "MPEG-1 in esds", vide,
            videoDescription(MVFourCC("mp4v"), { { MVFourCC("esds"), esds(0x6A, {}) } }),
            AV_CODEC_ID_MPEG1VIDEO, {} },
        { "MPEG-2 by its code", vide, videoDescription(MVFourCC("m2v1")), AV_CODEC_ID_MPEG2VIDEO, {} },
        { "VP8", vide, videoDescription(MVFourCC("vp08")), AV_CODEC_ID_VP8, {} },
        { "Theora with its headers", vide,
            videoDescription(MVFourCC("theo"), { { MVFourCC("glbl"), headers } }), AV_CODEC_ID_THEORA,
            headers },
        { "nothing knows it", vide, videoDescription(MVFourCC("zzzz")), AV_CODEC_ID_NONE, {} },
    };
    for (const auto& c : cases) {
        HXError error;
        auto configuration = MVDecoderConfigurationForDescription(c.description, c.mediaType, &error);
        if (c.codec == AV_CODEC_ID_NONE) {
            EXPECT_FALSE(configuration) << c.name;
            EXPECT_EQ(error.code(), MVStatusNoCodec) << c.name;
            continue;
        }
        ASSERT_TRUE(configuration) << c.name << ": " << error.localizedDescription();
        EXPECT_EQ(configuration->codecID, c.codec) << c.name;
        EXPECT_EQ(configuration->extradata, c.extradata) << c.name;
    }
}

namespace {

MVCodecParameters ownSound()
{
    MVCodecParameters p;
    p.codecName = "wavpack";
    p.codecTag = 0x1234;
    p.bitRate = 900000;
    p.bitsPerRawSample = 24;
    p.formatName = "s32p";
    p.sampleRate = 96000;
    p.channelCount = 6;
    p.channelOrder = 1; // native
    p.channelMask = 0x3F; // 5.1
    p.blockAlign = 0;
    p.frameSize = 4096;
    p.initialPadding = 12;
    p.extradata = { 0x04, 0x10, 0x00, 0x00 };
    return p;
}

MVCodecParameters ownPictures()
{
    MVCodecParameters p;
    p.isVideo = true;
    p.codecName = "rv20";
    p.codecTag = MKTAG('R', 'V', '2', '0');
    p.formatName = "yuv420p";
    p.width = 176;
    p.height = 144;
    p.aspectNumerator = 12;
    p.aspectDenominator = 11;
    p.extradata = { 0x00, 0x00, 0x00, 0x10, 0x20, 0x00, 0x00, 0x00 };
    return p;
}

} // namespace

// The program's own description of a codec movie files do not describe: every parameter comes back as
// stored, the decoder takes the codec by its name, and what cannot be read or decoded is refused.
TEST(DecoderConfigurationTest, OwnDescriptionsKeepEveryParameterOfTheStream)
{
    for (const auto& stored : { ownSound(), ownPictures() }) {
        SCOPED_TRACE(stored.codecName);
        const uint32_t media = MVFourCC(stored.isVideo ? "vide" : "soun");
        auto description = MVMakeCodecParametersDescription(stored);
        EXPECT_EQ(description.format, MVCodecParametersFormat);
        auto read = MVCodecParametersOfDescription(description, media);
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, stored);
        // The usual fields say the same, for whatever reads only those.
        if (stored.isVideo) {
            auto video = MVParseVideoSampleDescription(description);
            ASSERT_TRUE(video);
            EXPECT_EQ(video->width, 176);
            EXPECT_EQ(video->height, 144);
        } else {
            auto sound = MVParseSoundSampleDescription(description);
            ASSERT_TRUE(sound);
            EXPECT_EQ(sound->channelCount, 6);
            EXPECT_EQ(sound->sampleRate, 96000);
        }
        HXError error;
        auto configuration = MVDecoderConfigurationForDescription(description, media, &error);
        ASSERT_TRUE(configuration) << error.localizedDescription();
        EXPECT_EQ(configuration->codecID, stored.isVideo ? int(AV_CODEC_ID_RV20) : int(AV_CODEC_ID_WAVPACK));
        EXPECT_EQ(configuration->extradata, stored.extradata);
        ASSERT_TRUE(configuration->parameters);
        auto decoder = MVDecoder::decoderWithConfiguration(*configuration, 1000, &error);
        EXPECT_TRUE(decoder) << error.localizedDescription();
    }

    struct Broken {
        const char* what;
        std::function<void(MVSampleDescription&, MVCodecParameters&)> damage;
        uint32_t media;
    } broken[] = {
        { "a codec libavcodec does not name", [](auto&, auto& p) { p.codecName = "no-such-codec"; },
            MVFourCC("soun") },
        { "a picture codec in a sound media", [](auto&, auto& p) { p.codecName = "rv20"; },
            MVFourCC("soun") },
        { "a name that is not ASCII",
            [](auto&, auto& p) {
                p.codecName = "tt\x01"
                              "a";
            },
            MVFourCC("soun") },
        { "an empty name", [](auto&, auto& p) { p.codecName.clear(); }, MVFourCC("soun") },
        { "a text media", [](auto&, auto&) {}, MVFourCC("text") },
        { "the atom cut short", [](auto& d, auto&) { d.data.resize(d.data.size() - 3); }, MVFourCC("soun") },
        { "a version to come", [](auto& d, auto&) { d.data[56 + 8] = 1; }, MVFourCC("soun") },
        { "setup data longer than the atom",
            [](auto& d, auto&) {
                auto at = d.data.size() - 4 - 4;
                d.data[at] = 0x7F;
            },
            MVFourCC("soun") },
    };
    for (const auto& b : broken) {
        SCOPED_TRACE(b.what);
        MVCodecParameters p = ownSound();
        auto description = MVMakeCodecParametersDescription(p);
        b.damage(description, p);
        if (p != ownSound())
            description = MVMakeCodecParametersDescription(p);
        HXError error;
        EXPECT_FALSE(MVDecoderConfigurationForDescription(description, b.media, &error));
        EXPECT_EQ(error.code(), MVStatusNoCodec);
    }
}
