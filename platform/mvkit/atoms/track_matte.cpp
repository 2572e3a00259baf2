#include "platform/mvkit/atoms/track_matte.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"

namespace {

constexpr uint32_t kMatteImageAtom = MVFourCC("kmat");
// An image description entry: size, format, six reserved bytes and the data reference index, then the
// video fields (70 bytes).
constexpr size_t kEntryHeader = 16;
constexpr size_t kVideoFields = 70;

} // namespace

MVBytes MVTrackMattePayload(const MVBytes& image, uint16_t width, uint16_t height)
{
    MVVideoSampleDescription video;
    video.width = width;
    video.height = height;
    video.compressorName = "PNG";
    video.depth = 32;
    MVBytes fields = MVSerializeVideoSampleDescription(video);

    MVByteWriter w;
    size_t kmat = w.beginAtom(kMatteImageAtom);
    w.u32(0); // version and flags
    w.u32(uint32_t(kEntryHeader + fields.size()));
    w.u32(MVFourCC("png "));
    w.zeros(6);
    w.u16(1);
    w.bytes(fields);
    w.bytes(image);
    w.endAtom(kmat);
    return std::move(w.buffer());
}

std::optional<MVBytes> MVTrackMatteImage(const MVBytes& payload)
{
    MVAtomIterator children(payload);
    while (auto child = children.next()) {
        if (child->header.type != kMatteImageAtom)
            continue;
        try {
            MVByteReader r(child->payload);
            r.skip(4); // version and flags
            const size_t start = r.position();
            const uint32_t size = r.u32();
            const uint32_t format = r.u32();
            if (size < kEntryHeader + kVideoFields || size - 8 > r.remaining())
                return std::nullopt;
            if (format != MVFourCC("png ") && format != MVFourCC("jpeg"))
                return std::nullopt;
            r.seek(start + size);
            auto image = r.rest();
            if (image.empty())
                return std::nullopt;
            return MVBytes(image.begin(), image.end());
        } catch (const MVMalformedAtom&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}
