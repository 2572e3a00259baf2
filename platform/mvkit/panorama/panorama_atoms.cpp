#include "platform/mvkit/panorama/panorama_atoms.h"

#include "platform/mvkit/atoms/byte_io.h"

#include <bit>
#include <functional>
#include <span>

namespace {

constexpr uint32_t kPanoramaData = MVFourCC("pdat");
constexpr uint32_t kNodeHeader = MVFourCC("ndhd");
constexpr uint32_t kName = MVFourCC("name");
constexpr uint32_t kHotspotParent = MVFourCC("hspa");
constexpr uint32_t kHotspot = MVFourCC("hots");
constexpr uint32_t kHotspotInfo = MVFourCC("hsin");
constexpr uint32_t kLink = MVFourCC("link");
constexpr uint32_t kURL = MVFourCC("url ");
constexpr uint32_t kWorldHeader = MVFourCC("vrsc");
constexpr uint32_t kNodeParent = MVFourCC("vrnp");
constexpr uint32_t kNodeEntry = MVFourCC("vrni");

// Nobody names a node or a hot spot in more than a few lines; longer texts are damage.
constexpr size_t kMaximumTextLength = 4096;
// Hot spot IDs are pixel values of 8-bit pictures.
constexpr size_t kMaximumHotspots = 255;
constexpr size_t kMaximumNodes = 65536;

float readFloat(MVByteReader& r)
{
    return std::bit_cast<float>(r.u32());
}

void writeFloat(MVByteWriter& w, float v)
{
    w.u32(std::bit_cast<uint32_t>(v));
}

std::string readText(std::span<const uint8_t> payload)
{
    if (payload.size() > kMaximumTextLength)
        throw MVMalformedAtom("text too long");
    return std::string(payload.begin(), payload.end());
}

// Calls `each` with the type and payload of every atom in `bytes`, in order. A size that does not fit
// ends the walk as damage.
void forEachAtom(
    std::span<const uint8_t> bytes, const std::function<void(uint32_t, std::span<const uint8_t>)>& each)
{
    MVByteReader r(bytes);
    while (r.remaining() >= 8) {
        size_t start = r.position();
        uint64_t size = r.u32();
        uint32_t type = r.u32();
        size_t header = 8;
        if (size == 1) {
            size = r.u64();
            header = 16;
        } else if (size == 0) {
            size = bytes.size() - start;
        }
        if (size < header || size - header > r.remaining())
            throw MVMalformedAtom("atom larger than its container");
        each(type, r.bytes(size_t(size - header)));
    }
}

void writeTextAtom(MVByteWriter& w, uint32_t type, const std::string& text)
{
    size_t at = w.beginAtom(type);
    w.bytes(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    w.endAtom(at);
}

MVHotspotRecord parseHotspot(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVHotspotRecord h;
    h.hotspotID = r.u32();
    forEachAtom(r.rest(), [&](uint32_t type, std::span<const uint8_t> child) {
        MVByteReader c(child);
        if (type == kHotspotInfo) {
            c.u16(); // version
            c.u16();
            h.type = c.u32();
            h.bestPan = readFloat(c);
            h.bestTilt = readFloat(c);
            h.bestFieldOfView = readFloat(c);
        } else if (type == kName) {
            h.name = readText(child);
        } else if (type == kLink) {
            MVHotspotLink link;
            link.toNodeID = c.u32();
            link.toPan = readFloat(c);
            link.toTilt = readFloat(c);
            link.toFieldOfView = readFloat(c);
            link.flags = c.u32();
            h.link = link;
        } else if (type == kURL) {
            h.url = readText(child);
        }
    });
    return h;
}

void writeHotspot(MVByteWriter& w, const MVHotspotRecord& h)
{
    size_t at = w.beginAtom(kHotspot);
    w.u32(h.hotspotID);
    size_t info = w.beginAtom(kHotspotInfo);
    w.u16(0);
    w.u16(0);
    w.u32(h.type);
    writeFloat(w, h.bestPan);
    writeFloat(w, h.bestTilt);
    writeFloat(w, h.bestFieldOfView);
    w.endAtom(info);
    if (!h.name.empty())
        writeTextAtom(w, kName, h.name);
    if (h.link) {
        size_t link = w.beginAtom(kLink);
        w.u32(h.link->toNodeID);
        writeFloat(w, h.link->toPan);
        writeFloat(w, h.link->toTilt);
        writeFloat(w, h.link->toFieldOfView);
        w.u32(h.link->flags);
        w.endAtom(link);
    }
    if (!h.url.empty())
        writeTextAtom(w, kURL, h.url);
    w.endAtom(at);
}

} // namespace

std::optional<MVPanoramaSampleData> MVParsePanoramaSample(const MVBytes& sample)
{
    std::optional<MVPanoramaSampleData> out;
    try {
        forEachAtom(sample, [&](uint32_t type, std::span<const uint8_t> payload) {
            if (type != kPanoramaData || out)
                return;
            MVByteReader r(payload);
            MVPanoramaSampleData d;
            d.majorVersion = r.u16();
            d.minorVersion = r.u16();
            d.imageReferenceIndex = r.u32();
            d.hotspotReferenceIndex = r.u32();
            for (float* f : { &d.minPan, &d.maxPan, &d.minTilt, &d.maxTilt, &d.minFieldOfView,
                     &d.maxFieldOfView, &d.defaultPan, &d.defaultTilt, &d.defaultFieldOfView })
                *f = readFloat(r);
            d.imageWidth = r.u32();
            d.imageHeight = r.u32();
            d.imageColumns = r.u16();
            d.imageRows = r.u16();
            d.hotspotWidth = r.u32();
            d.hotspotHeight = r.u32();
            d.hotspotColumns = r.u16();
            d.hotspotRows = r.u16();
            d.flags = r.u32();
            d.panoramaType = r.u32();
            d.reserved = r.u32();
            out = d;
        });
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
    return out;
}

MVBytes MVSerializePanoramaSample(const MVPanoramaSampleData& d)
{
    MVByteWriter w;
    size_t at = w.beginAtom(kPanoramaData);
    w.u16(d.majorVersion);
    w.u16(d.minorVersion);
    w.u32(d.imageReferenceIndex);
    w.u32(d.hotspotReferenceIndex);
    for (float f : { d.minPan, d.maxPan, d.minTilt, d.maxTilt, d.minFieldOfView, d.maxFieldOfView,
             d.defaultPan, d.defaultTilt, d.defaultFieldOfView })
        writeFloat(w, f);
    w.u32(d.imageWidth);
    w.u32(d.imageHeight);
    w.u16(d.imageColumns);
    w.u16(d.imageRows);
    w.u32(d.hotspotWidth);
    w.u32(d.hotspotHeight);
    w.u16(d.hotspotColumns);
    w.u16(d.hotspotRows);
    w.u32(d.flags);
    w.u32(d.panoramaType);
    w.u32(d.reserved);
    w.endAtom(at);
    return w.buffer();
}

std::optional<MVNodeInformation> MVParseNodeInformation(const MVBytes& sample)
{
    MVNodeInformation node;
    bool hasHeader = false;
    try {
        forEachAtom(sample, [&](uint32_t type, std::span<const uint8_t> payload) {
            if (type == kNodeHeader) {
                MVByteReader r(payload);
                r.u16(); // version
                r.u16();
                node.nodeType = r.u32();
                node.nodeID = r.u32();
                hasHeader = true;
            } else if (type == kName) {
                node.name = readText(payload);
            } else if (type == kHotspotParent) {
                forEachAtom(payload, [&](uint32_t childType, std::span<const uint8_t> child) {
                    if (childType != kHotspot)
                        return;
                    if (node.hotspots.size() >= kMaximumHotspots)
                        throw MVMalformedAtom("too many hot spots");
                    node.hotspots.push_back(parseHotspot(child));
                });
            }
        });
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
    if (!hasHeader)
        return std::nullopt;
    return node;
}

MVBytes MVSerializeNodeInformation(const MVNodeInformation& node)
{
    MVByteWriter w;
    size_t header = w.beginAtom(kNodeHeader);
    w.u16(0);
    w.u16(0);
    w.u32(node.nodeType);
    w.u32(node.nodeID);
    w.endAtom(header);
    if (!node.name.empty())
        writeTextAtom(w, kName, node.name);
    if (!node.hotspots.empty()) {
        size_t parent = w.beginAtom(kHotspotParent);
        for (const auto& h : node.hotspots)
            writeHotspot(w, h);
        w.endAtom(parent);
    }
    return w.buffer();
}

std::optional<MVPanoramaWorld> MVParsePanoramaWorld(const MVBytes& descriptionData)
{
    MVPanoramaWorld world;
    bool hasHeader = false;
    try {
        forEachAtom(descriptionData, [&](uint32_t type, std::span<const uint8_t> payload) {
            if (type == kWorldHeader) {
                MVByteReader r(payload);
                r.u16(); // version
                r.u16();
                world.defaultNodeID = r.u32();
                hasHeader = true;
            } else if (type == kNodeParent) {
                forEachAtom(payload, [&](uint32_t childType, std::span<const uint8_t> child) {
                    if (childType != kNodeEntry)
                        return;
                    if (world.nodes.size() >= kMaximumNodes)
                        throw MVMalformedAtom("too many nodes");
                    MVByteReader r(child);
                    MVNodeListEntry entry;
                    entry.nodeID = r.u32();
                    entry.nodeType = r.u32();
                    forEachAtom(r.rest(), [&](uint32_t t, std::span<const uint8_t> p) {
                        if (t == kName)
                            entry.name = readText(p);
                    });
                    world.nodes.push_back(std::move(entry));
                });
            }
        });
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
    if (!hasHeader)
        return std::nullopt;
    return world;
}

MVBytes MVSerializePanoramaWorld(const MVPanoramaWorld& world)
{
    MVByteWriter w;
    size_t header = w.beginAtom(kWorldHeader);
    w.u16(0);
    w.u16(0);
    w.u32(world.defaultNodeID);
    w.u32(0); // flags
    w.endAtom(header);
    size_t parent = w.beginAtom(kNodeParent);
    for (const auto& n : world.nodes) {
        size_t entry = w.beginAtom(kNodeEntry);
        w.u32(n.nodeID);
        w.u32(n.nodeType);
        if (!n.name.empty())
            writeTextAtom(w, kName, n.name);
        w.endAtom(entry);
    }
    w.endAtom(parent);
    return w.buffer();
}
