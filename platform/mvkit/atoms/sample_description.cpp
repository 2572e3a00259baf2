#include "platform/mvkit/atoms/sample_description.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kVideoFieldsSize = 70;

std::vector<MVRawAtom> readExtensions(std::span<const uint8_t> bytes, bool* clean = nullptr)
{
    std::vector<MVRawAtom> out;
    MVAtomIterator it(bytes);
    while (auto c = it.next())
        out.push_back(MVRawAtom { c->header.type, { c->payload.begin(), c->payload.end() } });
    // A few trailing zero bytes end some descriptions; anything else means the layout does not fit.
    auto rest = it.trailing();
    if (clean)
        *clean = rest.size() <= 4 && std::all_of(rest.begin(), rest.end(), [](uint8_t b) { return b == 0; });
    return out;
}

void writeExtensions(MVByteWriter& w, const std::vector<MVRawAtom>& extensions)
{
    for (const auto& e : extensions)
        MVWriteRawAtom(w, e);
}

bool isSoundFormat(uint32_t format, size_t size)
{
    (void)format;
    return size >= 20;
}

size_t soundFieldsSize(uint16_t version)
{
    return version == 2 ? 56 : version == 1 ? 36 : 20;
}

// Whether pictures of `depth` index colours: 1, 2, 4 or 8 bits, or 1 to 8 bits of gray (32 more).
bool indexedDepth(int depth)
{
    const int bits = depth > 32 ? depth - 32 : depth;
    return bits == 1 || bits == 2 || bits == 4 || bits == 8;
}

// The bytes of the colour table that follows the video fields of `data` (a description of indexed
// colours whose colorTableID is 0): a seed, flags and the last index, then index, red, green and blue of
// each colour. 0 when there is none.
size_t colorTableSize(std::span<const uint8_t> data)
{
    if (data.size() < kVideoFieldsSize + 8)
        return 0;
    const int depth = int16_t(data[66] << 8 | data[67]);
    const int id = int16_t(data[68] << 8 | data[69]);
    const size_t colors = size_t(data[kVideoFieldsSize + 6] << 8 | data[kVideoFieldsSize + 7]) + 1;
    if (id != 0 || !indexedDepth(depth) || colors > 256 || 8 + colors * 8 > data.size() - kVideoFieldsSize)
        return 0;
    return 8 + colors * 8;
}

} // namespace

std::optional<MVVideoSampleDescription> MVParseVideoSampleDescription(const MVSampleDescription& d)
{
    if (d.data.size() < kVideoFieldsSize)
        return std::nullopt;
    MVByteReader r(d.data);
    MVVideoSampleDescription v;
    v.version = r.u16();
    v.revisionLevel = r.u16();
    v.vendor = r.u32();
    v.temporalQuality = r.u32();
    v.spatialQuality = r.u32();
    v.width = r.u16();
    v.height = r.u16();
    v.horizontalResolution = r.u32();
    v.verticalResolution = r.u32();
    v.dataSize = r.u32();
    v.frameCount = r.u16();
    auto name = r.bytes(32);
    size_t n = std::min<size_t>(name[0], 31);
    v.compressorName.assign(name.begin() + 1, name.begin() + 1 + long(n));
    v.depth = r.s16();
    v.colorTableID = r.s16();
    if (colorTableSize(d.data) > 0) {
        r.skip(6);
        const size_t colors = size_t(r.u16()) + 1;
        for (size_t i = 0; i < colors; ++i) {
            r.skip(2);
            const uint32_t red = r.u16() >> 8, green = r.u16() >> 8, blue = r.u16() >> 8;
            v.colorTable.push_back(0xFF000000u | red << 16 | green << 8 | blue);
        }
    }
    v.extensions = readExtensions(r.rest());
    return v;
}

std::vector<uint32_t> MVVideoSampleDescriptionPalette(const MVVideoSampleDescription& v)
{
    if (!indexedDepth(v.depth))
        return {};
    if (!v.colorTable.empty())
        return v.colorTable;
    const int bits = v.depth > 32 ? v.depth - 32 : v.depth;
    const uint32_t count = 1u << bits;
    std::vector<uint32_t> palette;
    auto add = [&](uint32_t red, uint32_t green, uint32_t blue) {
        palette.push_back(0xFF000000u | red << 16 | green << 8 | blue);
    };
    if (v.depth > 32) {
        // Gray from white to black.
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t level = 255 - (count > 1 ? i * 255 / (count - 1) : 0);
            add(level, level, level);
        }
    } else if (bits == 8) {
        // The standard 8-bit table: the cube of six levels a component from white (without black), then
        // ten levels of red, green, blue and gray, then black.
        for (uint32_t red = 0; red < 6; ++red)
            for (uint32_t green = 0; green < 6; ++green)
                for (uint32_t blue = 0; blue < 6; ++blue)
                    if (red < 5 || green < 5 || blue < 5)
                        add(255 - red * 51, 255 - green * 51, 255 - blue * 51);
        const uint32_t levels[] = { 0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11 };
        for (uint32_t l : levels)
            add(l, 0, 0);
        for (uint32_t l : levels)
            add(0, l, 0);
        for (uint32_t l : levels)
            add(0, 0, l);
        for (uint32_t l : levels)
            add(l, l, l);
        add(0, 0, 0);
    } else if (bits == 1) {
        add(255, 255, 255);
        add(0, 0, 0);
    }
    return palette;
}

MVBytes MVSerializeVideoSampleDescription(const MVVideoSampleDescription& v)
{
    MVByteWriter w;
    w.u16(v.version);
    w.u16(v.revisionLevel);
    w.u32(v.vendor);
    w.u32(v.temporalQuality);
    w.u32(v.spatialQuality);
    w.u16(v.width);
    w.u16(v.height);
    w.u32(v.horizontalResolution);
    w.u32(v.verticalResolution);
    w.u32(v.dataSize);
    w.u16(v.frameCount);
    std::string name = v.compressorName.substr(0, 31);
    w.u8(uint8_t(name.size()));
    w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
    w.zeros(31 - name.size());
    w.s16(v.depth);
    w.s16(v.colorTableID);
    if (v.colorTableID == 0 && !v.colorTable.empty() && v.colorTable.size() <= 256 && indexedDepth(v.depth)) {
        w.u32(0);
        w.u16(0x8000); // the colours in index order
        w.u16(uint16_t(v.colorTable.size() - 1));
        for (size_t i = 0; i < v.colorTable.size(); ++i) {
            const uint32_t c = v.colorTable[i];
            w.u16(uint16_t(i));
            for (uint32_t component : { (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF })
                w.u16(uint16_t(component * 0x101));
        }
    }
    writeExtensions(w, v.extensions);
    return std::move(w.buffer());
}

std::optional<MVSoundSampleDescription> MVParseSoundSampleDescription(const MVSampleDescription& d)
{
    if (!isSoundFormat(d.format, d.data.size()))
        return std::nullopt;
    MVByteReader r(d.data);
    MVSoundSampleDescription s;
    s.version = r.u16();
    if (s.version > 2 || d.data.size() < soundFieldsSize(s.version))
        return std::nullopt;
    s.revisionLevel = r.u16();
    s.vendor = r.u32();
    if (s.version == 2) {
        // The version 2 layout keeps the old fields as constants and adds its own.
        r.skip(4 + 4 + 4); // always 3, 16, −2, 0, 65536
        r.skip(4); // size of this struct
        uint64_t rateBits = r.u64();
        s.sampleRate = std::bit_cast<double>(rateBits);
        uint32_t channels = r.u32();
        s.channelCount = uint16_t(std::min<uint32_t>(channels, 0xFFFF));
        r.skip(4); // always 0x7F000000
        s.sampleSize = uint16_t(std::min<uint32_t>(r.u32(), 0xFFFF));
        s.formatSpecificFlags = r.u32();
        s.constBytesPerAudioPacket = r.u32();
        s.constLPCMFramesPerAudioPacket = r.u32();
    } else {
        s.channelCount = r.u16();
        s.sampleSize = r.u16();
        s.compressionID = r.s16();
        s.packetSize = r.u16();
        s.sampleRate = double(r.u32()) / 65536.0;
        if (s.version == 1) {
            s.samplesPerPacket = r.u32();
            s.bytesPerPacket = r.u32();
            s.bytesPerFrame = r.u32();
            s.bytesPerSample = r.u32();
        }
    }
    s.extensions = readExtensions(r.rest());
    return s;
}

MVBytes MVSerializeSoundSampleDescription(const MVSoundSampleDescription& s)
{
    MVByteWriter w;
    w.u16(s.version);
    w.u16(s.revisionLevel);
    w.u32(s.vendor);
    if (s.version == 2) {
        w.u16(3);
        w.u16(16);
        w.s16(-2);
        w.u16(0);
        w.u32(65536);
        w.u32(72); // the sound description with the version 2 fields, header included
        w.u64(std::bit_cast<uint64_t>(s.sampleRate));
        w.u32(s.channelCount);
        w.u32(0x7F000000);
        w.u32(s.sampleSize);
        w.u32(s.formatSpecificFlags);
        w.u32(s.constBytesPerAudioPacket);
        w.u32(s.constLPCMFramesPerAudioPacket);
    } else {
        w.u16(s.channelCount);
        w.u16(s.sampleSize);
        w.s16(s.compressionID);
        w.u16(s.packetSize);
        double rate = std::round(s.sampleRate * 65536.0);
        w.u32(rate >= 0 && rate <= double(UINT32_MAX) ? uint32_t(rate) : 0);
        if (s.version == 1) {
            w.u32(s.samplesPerPacket);
            w.u32(s.bytesPerPacket);
            w.u32(s.bytesPerFrame);
            w.u32(s.bytesPerSample);
        }
    }
    writeExtensions(w, s.extensions);
    return std::move(w.buffer());
}

std::optional<MVBytes> MVSampleDescriptionExtension(const MVSampleDescription& d, uint32_t type)
{
    auto find = [type](const std::vector<MVRawAtom>& extensions) -> std::optional<MVBytes> {
        for (const auto& e : extensions) {
            if (e.type == type)
                return e.payload;
            if (e.type == MVFourCC("wave")) {
                // Sound codecs keep their configuration inside 'wave'.
                for (const auto& inner : readExtensions(e.payload))
                    if (inner.type == type)
                        return inner.payload;
            }
        }
        return std::nullopt;
    };
    // The description does not say whether it is video or sound. Child atoms of a sound description can
    // happen to line up at the video layout's offset too, so both layouts are tried, each only when its
    // children line up with the bytes exactly.
    bool clean = false;
    if (d.data.size() >= kVideoFieldsSize) {
        auto extensions = readExtensions(
            std::span<const uint8_t>(d.data).subspan(kVideoFieldsSize + colorTableSize(d.data)), &clean);
        if (clean)
            if (auto found = find(extensions))
                return found;
    }
    if (auto sound = MVParseSoundSampleDescription(d)) {
        auto extensions = readExtensions(
            std::span<const uint8_t>(d.data).subspan(soundFieldsSize(sound->version)), &clean);
        if (clean)
            return find(extensions);
    }
    return std::nullopt;
}
