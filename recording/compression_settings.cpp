#include "recording/compression_settings.h"

#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"

#include <cmath>
#include <functional>

namespace {

constexpr size_t kContainerHeader = 12;
constexpr size_t kAtomHeader = 20;
constexpr int kMaximumDepth = 16;

// Walks the atoms in `bytes`, calling `leaf` with each atom that has no children.
void walk(std::span<const uint8_t> bytes, int depth,
    const std::function<void(uint32_t type, std::span<const uint8_t> data)>& leaf)
{
    if (depth > kMaximumDepth)
        throw MVMalformedAtom("atoms nested too deep");
    MVByteReader r(bytes);
    while (r.remaining() >= kAtomHeader) {
        const uint32_t size = r.u32();
        const uint32_t type = r.u32();
        r.skip(4 + 2); // ID, reserved
        const uint16_t children = r.u16();
        r.skip(4);
        if (size < kAtomHeader || size - kAtomHeader > r.remaining())
            throw MVMalformedAtom("atom larger than its container");
        auto body = r.bytes(size - kAtomHeader);
        if (children > 0)
            walk(body, depth + 1, leaf);
        else
            leaf(type, body);
    }
}

void atom(MVByteWriter& w, uint32_t type, const std::function<void()>& body, uint16_t children = 0)
{
    size_t start = w.beginAtom(type);
    w.u32(1); // ID
    w.u16(0);
    w.u16(children);
    w.u32(0);
    body();
    w.endAtom(start);
}

} // namespace

std::optional<MVPCaptureCompressionSettings> MVPCaptureCompressionSettingsFromData(const HXData& data)
{
    if (data.bytes.size() < kContainerHeader + kAtomHeader)
        return std::nullopt;
    MVPCaptureCompressionSettings settings;
    try {
        walk(std::span<const uint8_t>(data.bytes).subspan(kContainerHeader), 0,
            [&](uint32_t type, std::span<const uint8_t> bytes) {
                MVByteReader r(bytes);
                switch (type) {
                case MVFourCC("sptl"):
                    settings.codecType = r.u32();
                    break;
                case MVFourCC("tprl"):
                    r.skip(4);
                    settings.frameRate = r.u32() / 65536.0;
                    settings.keyFrameRate = r.s32();
                    break;
                case MVFourCC("drat"):
                    settings.dataRate = r.s32();
                    break;
                default:
                    break;
                }
            });
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
    settings.dataRate = std::max<int64_t>(0, settings.dataRate);
    settings.keyFrameRate = std::max(0, settings.keyFrameRate);
    return settings;
}

HXData MVPCaptureCompressionData(const MVPCaptureCompressionSettings& settings)
{
    MVByteWriter w;
    w.zeros(kContainerHeader);
    atom(w, MVFourCC("sean"), [&] {
        atom(w, MVFourCC("sptl"), [&] {
            w.u32(settings.codecType);
            w.u32(0); // any codec of the type
            w.u16(24);
            w.u32(0x200); // normal quality
        });
        atom(w, MVFourCC("tprl"), [&] {
            w.u32(0x200);
            w.u32(uint32_t(std::lround(settings.frameRate * 65536.0)));
            w.s32(settings.keyFrameRate);
        });
        atom(w, MVFourCC("drat"), [&] {
            w.s32(int32_t(settings.dataRate));
            w.u32(0);
            w.u32(0);
            w.u32(0);
        });
    }, 3);
    return HXData { std::move(w.buffer()) };
}

std::string MVPCaptureEncoderForCodecType(uint32_t codecType)
{
    switch (codecType) {
    case MVFourCC("avc1"):
        return "h264";
    case MVFourCC("mp4v"):
        return "mpeg4";
    case MVFourCC("jpeg"):
    case MVFourCC("mjpa"):
        return "mjpeg";
    default:
        return {};
    }
}
