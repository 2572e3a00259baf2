#include "platform/mvkit/atoms/codec_parameters_description.h"

#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/sample_description.h"

#include <algorithm>

namespace {

constexpr size_t kLongestName = 255;
// No codec's setup data comes near this; a larger length is a damaged atom.
constexpr uint32_t kLargestSetupData = 64u << 20;

void writeName(MVByteWriter& w, const std::string& name)
{
    const size_t n = std::min(name.size(), kLongestName);
    w.u8(uint8_t(n));
    w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(name.data()), n));
}

std::string readName(MVByteReader& r)
{
    auto bytes = r.bytes(r.u8());
    std::string name(bytes.begin(), bytes.end());
    // libavcodec's names are plain ASCII: anything else is no name.
    if (!std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; }))
        throw MVMalformedAtom("codec name is not ASCII");
    return name;
}

MVBytes serialize(const MVCodecParameters& p)
{
    MVByteWriter w;
    w.u32(0); // version 0, no flags
    writeName(w, p.codecName);
    w.u32(p.codecTag);
    w.s64(p.bitRate);
    w.s32(p.bitsPerCodedSample);
    w.s32(p.bitsPerRawSample);
    w.s32(p.profile);
    w.s32(p.level);
    writeName(w, p.formatName);
    for (uint32_t v : { p.sampleRate, p.channelCount, p.channelOrder })
        w.u32(v);
    w.u64(p.channelMask);
    for (uint32_t v :
        { p.blockAlign, p.frameSize, p.initialPadding, p.trailingPadding, p.seekPreroll, p.width, p.height })
        w.u32(v);
    w.s32(p.aspectNumerator);
    w.s32(p.aspectDenominator);
    for (uint32_t v :
        { p.fieldOrder, p.colorRange, p.colorPrimaries, p.colorTransfer, p.colorSpace, p.chromaLocation })
        w.u32(v);
    w.s32(p.videoDelay);
    w.u32(uint32_t(p.extradata.size()));
    w.bytes(p.extradata);
    return std::move(w.buffer());
}

std::optional<MVCodecParameters> parse(const MVBytes& payload)
{
    try {
        MVByteReader r(payload);
        if (r.u8() != 0)
            return std::nullopt; // a version this program does not know
        r.skip(3);
        MVCodecParameters p;
        p.codecName = readName(r);
        if (p.codecName.empty())
            return std::nullopt;
        p.codecTag = r.u32();
        p.bitRate = r.s64();
        p.bitsPerCodedSample = r.s32();
        p.bitsPerRawSample = r.s32();
        p.profile = r.s32();
        p.level = r.s32();
        p.formatName = readName(r);
        for (uint32_t* v : { &p.sampleRate, &p.channelCount, &p.channelOrder })
            *v = r.u32();
        p.channelMask = r.u64();
        for (uint32_t* v : { &p.blockAlign, &p.frameSize, &p.initialPadding, &p.trailingPadding,
                 &p.seekPreroll, &p.width, &p.height })
            *v = r.u32();
        p.aspectNumerator = r.s32();
        p.aspectDenominator = r.s32();
        for (uint32_t* v : { &p.fieldOrder, &p.colorRange, &p.colorPrimaries, &p.colorTransfer, &p.colorSpace,
                 &p.chromaLocation })
            *v = r.u32();
        p.videoDelay = r.s32();
        const uint32_t setup = r.u32();
        if (setup > kLargestSetupData)
            return std::nullopt;
        p.extradata = r.copy(setup);
        return p;
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
}

std::optional<MVBytes> findAtom(const std::vector<MVRawAtom>& extensions)
{
    for (const auto& e : extensions)
        if (e.type == MVCodecParametersAtom)
            return e.payload;
    return std::nullopt;
}

} // namespace

MVSampleDescription MVMakeCodecParametersDescription(const MVCodecParameters& p)
{
    MVSampleDescription description;
    description.format = MVCodecParametersFormat;
    MVRawAtom atom { MVCodecParametersAtom, serialize(p) };
    if (p.isVideo) {
        MVVideoSampleDescription v;
        v.width = uint16_t(std::min<uint32_t>(p.width, 0xFFFF));
        v.height = uint16_t(std::min<uint32_t>(p.height, 0xFFFF));
        v.compressorName = p.codecName.substr(0, 31);
        v.depth = 24;
        v.extensions = { std::move(atom) };
        description.data = MVSerializeVideoSampleDescription(v);
    } else {
        MVSoundSampleDescription s;
        s.version = 2;
        s.channelCount = uint16_t(std::min<uint32_t>(p.channelCount, 0xFFFF));
        s.sampleSize = uint16_t(std::clamp(p.bitsPerRawSample > 0 ? p.bitsPerRawSample : 16, 0, 0xFFFF));
        s.sampleRate = double(p.sampleRate);
        s.extensions = { std::move(atom) };
        description.data = MVSerializeSoundSampleDescription(s);
    }
    return description;
}

std::optional<MVCodecParameters> MVCodecParametersOfDescription(
    const MVSampleDescription& description, uint32_t mediaType)
{
    if (!MVIsCodecParametersDescription(description))
        return std::nullopt;
    std::optional<MVBytes> payload;
    const bool video = mediaType == MVFourCC("vide");
    if (video) {
        if (auto v = MVParseVideoSampleDescription(description))
            payload = findAtom(v->extensions);
    } else if (mediaType == MVFourCC("soun")) {
        if (auto s = MVParseSoundSampleDescription(description))
            payload = findAtom(s->extensions);
    }
    auto parameters = payload ? parse(*payload) : std::nullopt;
    if (parameters)
        parameters->isVideo = video;
    return parameters;
}
