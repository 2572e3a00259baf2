#include "platform/mvkit/atoms/movie_file_reader.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/movie_fragments.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <tuple>

namespace {

constexpr uint32_t kMaxKeptAtomsPerContainer = 1u << 20;

struct Context {
    std::vector<std::string>* warnings = nullptr;
    int maxDepth = 32;
    int depth = 0;

    void warn(std::string text) const
    {
        if (warnings && warnings->size() < 1000)
            warnings->push_back(std::move(text));
    }
};

// RAII depth counter: a nesting deeper than the limit is malformed.
struct DepthGuard {
    Context& ctx;
    explicit DepthGuard(Context& c)
        : ctx(c)
    {
        if (++ctx.depth > ctx.maxDepth) {
            --ctx.depth;
            throw MVMalformedAtom("atoms nested too deeply");
        }
    }
    ~DepthGuard() { --ctx.depth; }
};

std::string typeName(uint32_t type)
{
    return "'" + MVStringForOSType(type) + "'";
}

MVRawAtom raw(const MVAtomIterator::Child& c)
{
    return MVRawAtom { c.header.type, { c.payload.begin(), c.payload.end() } };
}

// Walks the children of a container: each child goes to `parse`, which answers true when it took the
// child into a typed field. Others, and children whose parse failed, are kept raw in `unknown`;
// `order` records every child: its type when parsed, 0 when kept raw.
template<typename Parse>
void walkChildren(std::span<const uint8_t> payload, Context& ctx, uint32_t containerType,
    std::vector<uint32_t>& order, std::vector<MVRawAtom>& unknown, Parse&& parse,
    bool allowTerminator = false)
{
    DepthGuard guard(ctx);
    MVAtomIterator it(payload);
    uint32_t count = 0;
    while (auto child = it.next()) {
        if (++count > kMaxKeptAtomsPerContainer)
            throw MVMalformedAtom("too many atoms in " + typeName(containerType));
        bool taken = false;
        try {
            taken = parse(*child);
        } catch (const MVMalformedAtom& e) {
            ctx.warn(typeName(child->header.type) + " in " + typeName(containerType) + ": " + e.what()
                + "; kept as is");
            order.push_back(0);
            unknown.push_back(raw(*child));
            continue;
        }
        order.push_back(taken ? child->header.type : 0);
        if (!taken)
            unknown.push_back(raw(*child));
    }
    auto rest = it.trailing();
    if (!rest.empty()
        && !(allowTerminator && rest.size() == 4
            && std::all_of(rest.begin(), rest.end(), [](uint8_t b) { return b == 0; })))
        ctx.warn(std::to_string(rest.size()) + " stray bytes at the end of " + typeName(containerType));
}

void readVersionFlags(MVByteReader& r, uint8_t& version, uint32_t& flags)
{
    version = r.u8();
    flags = r.u24();
}

MVMatrixRecord readMatrix(MVByteReader& r)
{
    MVMatrixRecord m;
    for (auto& v : m.values)
        v = r.s32();
    return m;
}

MVFileTypeHeader parseFileType(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVFileTypeHeader f;
    f.majorBrand = r.u32();
    f.minorVersion = r.u32();
    while (r.remaining() >= 4)
        f.compatibleBrands.push_back(r.u32());
    return f;
}

// The start shared by the movie and media headers: version and flags, then creation and modification
// times, time scale and duration, 64-bit in version 1 and 32-bit in version 0.
template<class Header>
void readVersionedTimes(MVByteReader& r, Header& h)
{
    readVersionFlags(r, h.version, h.flags);
    if (h.version == 1) {
        h.creationTime = r.u64();
        h.modificationTime = r.u64();
        h.timeScale = r.u32();
        h.duration = r.u64();
    } else if (h.version == 0) {
        h.creationTime = r.u32();
        h.modificationTime = r.u32();
        h.timeScale = r.u32();
        h.duration = r.u32();
    } else {
        throw MVMalformedAtom("unknown version " + std::to_string(h.version));
    }
}

MVMovieHeader parseMovieHeader(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVMovieHeader h;
    readVersionedTimes(r, h);
    h.preferredRate = r.s32();
    h.preferredVolume = r.s16();
    auto res = r.bytes(10);
    std::copy(res.begin(), res.end(), h.reserved.begin());
    h.matrix = readMatrix(r);
    h.previewTime = r.u32();
    h.previewDuration = r.u32();
    h.posterTime = r.u32();
    h.selectionTime = r.u32();
    h.selectionDuration = r.u32();
    h.currentTime = r.u32();
    h.nextTrackID = r.u32();
    return h;
}

MVTrackHeader parseTrackHeader(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVTrackHeader h;
    readVersionFlags(r, h.version, h.flags);
    if (h.version == 1) {
        h.creationTime = r.u64();
        h.modificationTime = r.u64();
        h.trackID = r.u32();
        h.reserved1 = r.u32();
        h.duration = r.u64();
    } else if (h.version == 0) {
        h.creationTime = r.u32();
        h.modificationTime = r.u32();
        h.trackID = r.u32();
        h.reserved1 = r.u32();
        h.duration = r.u32();
    } else {
        throw MVMalformedAtom("unknown version " + std::to_string(h.version));
    }
    auto res = r.bytes(8);
    std::copy(res.begin(), res.end(), h.reserved2.begin());
    h.layer = r.s16();
    h.alternateGroup = r.s16();
    h.volume = r.s16();
    h.reserved3 = r.u16();
    h.matrix = readMatrix(r);
    h.width = r.u32();
    h.height = r.u32();
    return h;
}

void parseEditListEntries(std::span<const uint8_t> payload, MVEditList& list)
{
    MVByteReader r(payload);
    readVersionFlags(r, list.version, list.flags);
    uint32_t count = r.u32();
    size_t entrySize = list.version == 1 ? 20 : 12;
    r.requireRecords(count, entrySize);
    list.entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        MVEditListEntry e;
        if (list.version == 1) {
            e.segmentDuration = r.u64();
            e.mediaTime = r.s64();
        } else {
            e.segmentDuration = r.u32();
            e.mediaTime = r.s32();
        }
        e.mediaRate = r.s32();
        list.entries.push_back(e);
    }
}

MVEditList parseEdits(std::span<const uint8_t> payload, Context& ctx)
{
    MVEditList list;
    walkChildren(payload, ctx, MVFourCC("edts"), list.childOrder, list.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            if (c.header.type != MVFourCC("elst"))
                return false;
            MVEditList parsed;
            parseEditListEntries(c.payload, parsed);
            list.version = parsed.version;
            list.flags = parsed.flags;
            list.entries = std::move(parsed.entries);
            return true;
        });
    return list;
}

std::vector<MVTrackReference> parseTrackReferences(std::span<const uint8_t> payload, Context& ctx)
{
    std::vector<MVTrackReference> refs;
    std::vector<uint32_t> order;
    std::vector<MVRawAtom> unknown;
    walkChildren(payload, ctx, MVFourCC("tref"), order, unknown, [&](const MVAtomIterator::Child& c) {
        if (c.payload.size() % 4 != 0)
            throw MVMalformedAtom("reference list not a multiple of 4 bytes");
        MVByteReader r(c.payload);
        MVTrackReference ref;
        ref.type = c.header.type;
        ref.trackIDs.reserve(c.payload.size() / 4);
        while (!r.atEnd())
            ref.trackIDs.push_back(r.u32());
        refs.push_back(std::move(ref));
        return true;
    });
    // A child that could not be read is not a reference: keep the whole 'tref' as it is.
    if (!unknown.empty())
        throw MVMalformedAtom("unreadable track reference");
    return refs;
}

MVMediaHeader parseMediaHeader(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVMediaHeader h;
    readVersionedTimes(r, h);
    h.language = r.u16();
    h.quality = r.u16();
    return h;
}

MVHandler parseHandler(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    MVHandler h;
    readVersionFlags(r, h.version, h.flags);
    h.componentType = r.u32();
    h.componentSubtype = r.u32();
    h.componentManufacturer = r.u32();
    h.componentFlags = r.u32();
    h.componentFlagsMask = r.u32();
    auto rest = r.rest();
    h.name.assign(rest.begin(), rest.end());
    return h;
}

MVDataInformation parseDataInformation(std::span<const uint8_t> payload, Context& ctx)
{
    MVDataInformation info;
    walkChildren(payload, ctx, MVFourCC("dinf"), info.childOrder, info.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            if (c.header.type != MVFourCC("dref"))
                return false;
            MVByteReader r(c.payload);
            uint8_t version;
            uint32_t flags;
            readVersionFlags(r, version, flags);
            uint32_t count = r.u32();
            r.requireRecords(count, 12);
            std::vector<MVDataReferenceEntry> entries;
            MVAtomIterator it(r.rest());
            for (uint32_t i = 0; i < count; ++i) {
                auto e = it.next();
                if (!e)
                    throw MVMalformedAtom("data reference " + std::to_string(i + 1) + " of "
                        + std::to_string(count) + " is cut short");
                MVByteReader er(e->payload);
                MVDataReferenceEntry entry;
                entry.type = e->header.type;
                readVersionFlags(er, entry.version, entry.flags);
                entry.data = er.copy(er.remaining());
                entries.push_back(std::move(entry));
            }
            info.version = version;
            info.flags = flags;
            info.entries = std::move(entries);
            return true;
        });
    return info;
}

void parseSampleDescriptions(std::span<const uint8_t> payload, MVSampleTable& table)
{
    // Into a copy, so that a failure leaves the table as it was.
    MVSampleTable t;
    MVByteReader r(payload);
    readVersionFlags(r, t.sampleDescriptionVersion, t.sampleDescriptionFlags);
    uint32_t count = r.u32();
    r.requireRecords(count, 16);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = r.u32();
        if (size < 16)
            throw MVMalformedAtom("sample description smaller than its header");
        r.require(size - 4);
        MVSampleDescription d;
        d.format = r.u32();
        auto res = r.bytes(6);
        std::copy(res.begin(), res.end(), d.reserved.begin());
        d.dataReferenceIndex = r.u16();
        d.data = r.copy(size - 16);
        t.sampleDescriptions.push_back(std::move(d));
    }
    table.sampleDescriptionVersion = t.sampleDescriptionVersion;
    table.sampleDescriptionFlags = t.sampleDescriptionFlags;
    table.sampleDescriptions = std::move(t.sampleDescriptions);
}

template<typename T, typename ReadOne>
std::vector<T> readTable(MVByteReader& r, size_t recordSize, ReadOne&& readOne)
{
    uint32_t count = r.u32();
    r.requireRecords(count, recordSize);
    std::vector<T> v;
    v.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        v.push_back(readOne());
    return v;
}

void parseSampleSizes(std::span<const uint8_t> payload, MVSampleTable& t)
{
    MVByteReader r(payload);
    uint8_t version;
    uint32_t flags;
    readVersionFlags(r, version, flags);
    uint32_t constantSize = r.u32();
    uint32_t count = r.u32();
    std::vector<uint32_t> sizes;
    if (constantSize == 0) {
        r.requireRecords(count, 4);
        sizes.resize(count);
        for (auto& s : sizes)
            s = r.u32();
    }
    t.constantSampleSize = constantSize;
    t.sampleCount = count;
    t.compactSampleSizeFieldSize = 0;
    t.sampleSizes = std::move(sizes);
}

void parseCompactSampleSizes(std::span<const uint8_t> payload, MVSampleTable& t)
{
    MVByteReader r(payload);
    uint8_t version;
    uint32_t flags;
    readVersionFlags(r, version, flags);
    r.skip(3);
    uint8_t fieldSize = r.u8();
    if (fieldSize != 4 && fieldSize != 8 && fieldSize != 16)
        throw MVMalformedAtom("compact sample sizes of " + std::to_string(fieldSize) + " bits");
    uint32_t count = r.u32();
    uint64_t bytesNeeded = (uint64_t(count) * fieldSize + 7) / 8;
    if (bytesNeeded > r.remaining())
        throw MVMalformedAtom("table larger than its atom");
    std::vector<uint32_t> sizes(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (fieldSize == 16) {
            sizes[i] = r.u16();
        } else if (fieldSize == 8) {
            sizes[i] = r.u8();
        } else {
            uint8_t b = r.u8();
            sizes[i] = b >> 4;
            if (++i < count)
                sizes[i] = b & 0xF;
        }
    }
    t.constantSampleSize = 0;
    t.sampleCount = count;
    t.compactSampleSizeFieldSize = fieldSize;
    t.sampleSizes = std::move(sizes);
}

MVSampleTable parseSampleTableIn(std::span<const uint8_t> payload, Context& ctx);

MVUserData parseUserDataIn(std::span<const uint8_t> payload, Context& ctx)
{
    MVUserData ud;
    std::vector<uint32_t> order;
    std::vector<MVRawAtom> unknown;
    walkChildren(
        payload, ctx, MVFourCC("udta"), order, unknown,
        [&](const MVAtomIterator::Child& c) {
            ud.items.push_back(MVUserDataItem { c.header.type, { c.payload.begin(), c.payload.end() } });
            return true;
        },
        true);
    // The classic list ends in a 32-bit zero, which the iterator leaves as trailing bytes.
    MVAtomIterator it(payload);
    while (it.next()) { }
    auto trailing = it.trailing();
    ud.hasTerminator = trailing.size() == 4
        && std::all_of(trailing.begin(), trailing.end(), [](uint8_t b) { return b == 0; });
    return ud;
}

bool isClassicMetaLayout(std::span<const uint8_t> payload)
{
    // Classic 'meta' holds its children directly, so the first child's type sits at bytes 4-7; in the
    // full-atom form those bytes are the first child's size.
    if (payload.size() < 8)
        return false;
    MVByteReader r(payload);
    r.skip(4);
    uint32_t type = r.u32();
    return type == MVFourCC("hdlr") || type == MVFourCC("keys") || type == MVFourCC("ilst");
}

std::vector<MVMetadataKey> parseKeys(std::span<const uint8_t> payload)
{
    MVByteReader r(payload);
    uint8_t version;
    uint32_t flags;
    readVersionFlags(r, version, flags);
    uint32_t count = r.u32();
    r.requireRecords(count, 8);
    std::vector<MVMetadataKey> keys;
    keys.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = r.u32();
        if (size < 8)
            throw MVMalformedAtom("metadata key smaller than its header");
        MVMetadataKey k;
        k.keyNamespace = r.u32();
        k.keyValue = r.copy(size - 8);
        keys.push_back(std::move(k));
    }
    return keys;
}

MVMetadataItem parseMetadataItem(const MVAtomIterator::Child& c, const MVMetadata& meta, Context& ctx)
{
    MVMetadataItem item;
    bool byIndex = meta.handler.componentSubtype == MVFourCC("mdta");
    uint32_t index = c.header.type;
    if (byIndex && index >= 1 && index <= meta.keys.size()) {
        item.key = meta.keys[index - 1];
    } else {
        if (byIndex)
            ctx.warn("metadata item names key " + std::to_string(index) + " of "
                + std::to_string(meta.keys.size()));
        item.key.keyNamespace = 0;
        item.key.keyValue
            = { uint8_t(index >> 24), uint8_t(index >> 16), uint8_t(index >> 8), uint8_t(index) };
    }
    std::vector<uint32_t> order;
    walkChildren(
        c.payload, ctx, c.header.type, order, item.otherChildren, [&](const MVAtomIterator::Child& d) {
            if (d.header.type != MVFourCC("data"))
                return false;
            MVByteReader r(d.payload);
            MVMetadataValue v;
            uint32_t typeWord = r.u32();
            v.typeSet = uint8_t(typeWord >> 24);
            v.dataType = typeWord & 0xFFFFFF;
            v.locale = r.u32();
            v.bytes = r.copy(r.remaining());
            item.values.push_back(std::move(v));
            return true;
        });
    return item;
}

MVMetadata parseMetadataIn(std::span<const uint8_t> payload, Context& ctx)
{
    MVMetadata meta;
    MVByteReader r(payload);
    if (!isClassicMetaLayout(payload)) {
        meta.isFullAtom = true;
        meta.versionAndFlags = r.u32();
    }
    auto children = r.rest();
    // 'keys' must be known before 'ilst' is read, whatever their order.
    {
        MVAtomIterator it(children);
        while (auto c = it.next()) {
            try {
                if (c->header.type == MVFourCC("hdlr"))
                    meta.handler = parseHandler(c->payload);
                else if (c->header.type == MVFourCC("keys"))
                    meta.keys = parseKeys(c->payload);
            } catch (const MVMalformedAtom&) {
                // Reported by the walk below.
            }
        }
    }
    bool haveHandler = false, haveKeys = false, haveItems = false;
    walkChildren(children, ctx, MVFourCC("meta"), meta.childOrder, meta.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            switch (c.header.type) {
            case MVFourCC("hdlr"):
                if (haveHandler)
                    return false;
                meta.handler = parseHandler(c.payload);
                return haveHandler = true;
            case MVFourCC("keys"):
                if (haveKeys)
                    return false;
                meta.keys = parseKeys(c.payload);
                return haveKeys = true;
            case MVFourCC("ilst"): {
                if (haveItems)
                    return false;
                std::vector<uint32_t> order;
                std::vector<MVRawAtom> unknown;
                std::vector<MVMetadataItem> items;
                walkChildren(
                    c.payload, ctx, MVFourCC("ilst"), order, unknown, [&](const MVAtomIterator::Child& i) {
                        items.push_back(parseMetadataItem(i, meta, ctx));
                        return true;
                    });
                if (!unknown.empty())
                    throw MVMalformedAtom("unreadable metadata item");
                meta.items = std::move(items);
                return haveItems = true;
            }
            default:
                return false;
            }
        });
    return meta;
}

MVReferenceMovieDescriptor parseReferenceDescriptor(std::span<const uint8_t> payload, Context& ctx)
{
    MVReferenceMovieDescriptor d;
    d.hasDataReference = false;
    walkChildren(
        payload, ctx, MVFourCC("rmda"), d.childOrder, d.otherChildren, [&](const MVAtomIterator::Child& c) {
            MVByteReader r(c.payload);
            if (c.header.type == MVFourCC("rdrf") && !d.hasDataReference) {
                d.dataReferenceFlags = r.u32();
                d.dataReferenceType = r.u32();
                uint32_t length = r.u32();
                d.dataReference = r.copy(length);
                if (!r.atEnd())
                    throw MVMalformedAtom("data reference shorter than its atom");
                d.hasDataReference = true;
                return true;
            }
            if (c.header.type == MVFourCC("rmdr") && !d.dataRate && c.payload.size() == 8) {
                if (r.u32() != 0)
                    return false; // flags we do not know: keep the atom as it is
                d.dataRate = r.s32();
                return true;
            }
            return false;
        });
    return d;
}

MVMediaInformation parseMediaInformation(std::span<const uint8_t> payload, Context& ctx)
{
    MVMediaInformation info;
    bool haveHeader = false, haveDinf = false, haveStbl = false;
    walkChildren(payload, ctx, MVFourCC("minf"), info.childOrder, info.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            switch (c.header.type) {
            case MVFourCC("vmhd"):
            case MVFourCC("smhd"):
            case MVFourCC("gmhd"):
            case MVFourCC("nmhd"):
            case MVFourCC("hmhd"):
            case MVFourCC("sthd"):
                if (haveHeader)
                    return false;
                info.header
                    = MVMediaInformationHeader { c.header.type, { c.payload.begin(), c.payload.end() } };
                return haveHeader = true;
            case MVFourCC("hdlr"):
                if (info.dataHandler)
                    return false;
                info.dataHandler = parseHandler(c.payload);
                return true;
            case MVFourCC("dinf"):
                if (haveDinf)
                    return false;
                info.dataInformation = parseDataInformation(c.payload, ctx);
                return haveDinf = true;
            case MVFourCC("stbl"):
                if (haveStbl)
                    return false;
                info.sampleTable = parseSampleTableIn(c.payload, ctx);
                return haveStbl = true;
            default:
                return false;
            }
        });
    return info;
}

MVMediaDescription parseMedia(std::span<const uint8_t> payload, Context& ctx)
{
    MVMediaDescription media;
    bool haveHeader = false, haveHandler = false, haveMinf = false;
    walkChildren(payload, ctx, MVFourCC("mdia"), media.childOrder, media.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            switch (c.header.type) {
            case MVFourCC("mdhd"):
                if (haveHeader)
                    return false;
                media.header = parseMediaHeader(c.payload);
                return haveHeader = true;
            case MVFourCC("hdlr"):
                if (haveHandler)
                    return false;
                media.handler = parseHandler(c.payload);
                return haveHandler = true;
            case MVFourCC("minf"):
                if (haveMinf)
                    return false;
                media.information = parseMediaInformation(c.payload, ctx);
                return haveMinf = true;
            case MVFourCC("udta"):
                if (media.userData)
                    return false;
                media.userData = parseUserDataIn(c.payload, ctx);
                return true;
            default:
                return false;
            }
        });
    if (!haveHeader || !haveHandler || !haveMinf)
        ctx.warn("media without its header, handler or information");
    return media;
}

MVTrackDescription parseTrack(std::span<const uint8_t> payload, Context& ctx)
{
    MVTrackDescription track;
    bool haveHeader = false, haveMedia = false, haveTref = false;
    walkChildren(payload, ctx, MVFourCC("trak"), track.childOrder, track.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            switch (c.header.type) {
            case MVFourCC("tkhd"):
                if (haveHeader)
                    return false;
                track.header = parseTrackHeader(c.payload);
                return haveHeader = true;
            case MVFourCC("edts"):
                if (track.editList)
                    return false;
                track.editList = parseEdits(c.payload, ctx);
                return true;
            case MVFourCC("tref"):
                if (haveTref)
                    return false;
                track.references = parseTrackReferences(c.payload, ctx);
                return haveTref = true;
            case MVFourCC("mdia"):
                if (haveMedia)
                    return false;
                track.media = parseMedia(c.payload, ctx);
                return haveMedia = true;
            case MVFourCC("udta"):
                if (track.userData)
                    return false;
                track.userData = parseUserDataIn(c.payload, ctx);
                return true;
            case MVFourCC("meta"):
                if (track.metadata)
                    return false;
                track.metadata = parseMetadataIn(c.payload, ctx);
                return true;
            default:
                return false;
            }
        });
    if (!haveHeader || !haveMedia)
        throw MVMalformedAtom("track without a header or media");
    return track;
}

MVMovieDescription parseMovie(std::span<const uint8_t> payload, Context& ctx)
{
    MVMovieDescription movie;
    bool haveHeader = false;
    walkChildren(payload, ctx, MVFourCC("moov"), movie.childOrder, movie.unknownChildren,
        [&](const MVAtomIterator::Child& c) {
            switch (c.header.type) {
            case MVFourCC("mvhd"):
                if (haveHeader)
                    return false;
                movie.header = parseMovieHeader(c.payload);
                return haveHeader = true;
            case MVFourCC("trak"):
                movie.tracks.push_back(parseTrack(c.payload, ctx));
                return true;
            case MVFourCC("udta"):
                if (movie.userData)
                    return false;
                movie.userData = parseUserDataIn(c.payload, ctx);
                return true;
            case MVFourCC("meta"):
                if (movie.metadata)
                    return false;
                movie.metadata = parseMetadataIn(c.payload, ctx);
                return true;
            case MVFourCC("rmra"): {
                if (movie.hasReferenceMovieRecord)
                    return false;
                std::vector<MVReferenceMovieDescriptor> descriptors;
                MVAtomIterator it(c.payload);
                while (auto d = it.next()) {
                    if (d->header.type != MVFourCC("rmda"))
                        throw MVMalformedAtom("reference movie record holds " + typeName(d->header.type));
                    DepthGuard guard(ctx);
                    descriptors.push_back(parseReferenceDescriptor(d->payload, ctx));
                }
                if (!it.trailing().empty())
                    throw MVMalformedAtom("stray bytes in the reference movie record");
                movie.referenceMovies = std::move(descriptors);
                return movie.hasReferenceMovieRecord = true;
            }
            default:
                return false;
            }
        });
    if (!haveHeader && !movie.hasReferenceMovieRecord)
        ctx.warn("movie without a movie header");
    return movie;
}

MVSampleTable parseSampleTableIn(std::span<const uint8_t> payload, Context& ctx)
{
    MVSampleTable t;
    bool seen[10] = {};
    auto once = [&](int slot) {
        if (seen[slot])
            return false;
        return seen[slot] = true;
    };
    walkChildren(
        payload, ctx, MVFourCC("stbl"), t.childOrder, t.unknownChildren, [&](const MVAtomIterator::Child& c) {
            MVByteReader r(c.payload);
            uint8_t version = 0;
            uint32_t flags = 0;
            switch (c.header.type) {
            case MVFourCC("stsd"):
                if (!once(0))
                    return false;
                parseSampleDescriptions(c.payload, t);
                return true;
            case MVFourCC("stts"):
                if (!once(1))
                    return false;
                readVersionFlags(r, version, flags);
                t.timeToSample = readTable<MVTimeToSampleEntry>(r, 8, [&] {
                    return MVTimeToSampleEntry { r.u32(), r.u32() };
                });
                return true;
            case MVFourCC("ctts"):
                if (!once(2))
                    return false;
                readVersionFlags(r, version, flags);
                t.compositionOffsetVersion = version;
                t.compositionOffsets = readTable<MVCompositionOffsetEntry>(r, 8, [&] {
                    MVCompositionOffsetEntry e;
                    e.sampleCount = r.u32();
                    e.offset = r.s32();
                    return e;
                });
                return t.hasCompositionOffsets = true;
            case MVFourCC("stss"):
                if (!once(3))
                    return false;
                readVersionFlags(r, version, flags);
                t.syncSamples = readTable<uint32_t>(r, 4, [&] { return r.u32(); });
                return t.hasSyncSamples = true;
            case MVFourCC("stps"):
                if (!once(4))
                    return false;
                readVersionFlags(r, version, flags);
                t.partialSyncSamples = readTable<uint32_t>(r, 4, [&] { return r.u32(); });
                return t.hasPartialSyncSamples = true;
            case MVFourCC("stsc"):
                if (!once(5))
                    return false;
                readVersionFlags(r, version, flags);
                t.sampleToChunk = readTable<MVSampleToChunkEntry>(r, 12, [&] {
                    MVSampleToChunkEntry e;
                    e.firstChunk = r.u32();
                    e.samplesPerChunk = r.u32();
                    e.sampleDescriptionIndex = r.u32();
                    return e;
                });
                return true;
            case MVFourCC("stsz"):
            case MVFourCC("stz2"):
                if (!once(6))
                    return false;
                if (c.header.type == MVFourCC("stsz"))
                    parseSampleSizes(c.payload, t);
                else
                    parseCompactSampleSizes(c.payload, t);
                return true;
            case MVFourCC("stco"):
            case MVFourCC("co64"):
                if (!once(7))
                    return false;
                readVersionFlags(r, version, flags);
                if (c.header.type == MVFourCC("co64"))
                    t.chunkOffsets = readTable<uint64_t>(r, 8, [&] { return r.u64(); });
                else
                    t.chunkOffsets = readTable<uint64_t>(r, 4, [&] { return uint64_t(r.u32()); });
                t.uses64BitChunkOffsets = c.header.type == MVFourCC("co64");
                return true;
            case MVFourCC("sdtp"):
                if (!once(8))
                    return false;
                t.sampleDependencyFlags = MVBytes(c.payload.begin(), c.payload.end());
                return true;
            default:
                return false;
            }
        });
    return t;
}

} // namespace

MVSampleTable MVParseSampleTable(std::span<const uint8_t> stblPayload, std::vector<std::string>* warnings)
{
    Context ctx { warnings };
    return parseSampleTableIn(stblPayload, ctx);
}

MVUserData MVParseUserData(std::span<const uint8_t> udtaPayload, std::vector<std::string>* warnings)
{
    Context ctx { warnings };
    return parseUserDataIn(udtaPayload, ctx);
}

MVMetadata MVParseMetadata(std::span<const uint8_t> metaPayload, std::vector<std::string>* warnings)
{
    Context ctx { warnings };
    return parseMetadataIn(metaPayload, ctx);
}

MVMovieDescription MVParseMovieAtomPayload(
    std::span<const uint8_t> payload, std::vector<std::string>* warnings, int maxDepth)
{
    Context ctx { warnings, maxDepth };
    return parseMovie(payload, ctx);
}

std::optional<MVMovieDescription> MVParseMovieAtom(std::span<const uint8_t> atom, HXError* outError)
{
    auto h = MVReadAtomHeader(atom);
    if (!h || h->type != MVFourCC("moov")) {
        if (outError)
            *outError = MVMovieFileError(MVStatusNotAMovieFile, "The data is not a movie header.");
        return std::nullopt;
    }
    try {
        return MVParseMovieAtomPayload(atom.subspan(h->headerSize, size_t(h->payloadSize())));
    } catch (const MVMalformedAtom& e) {
        if (outError)
            *outError = MVMovieFileError(
                MVStatusBadMovieFile, std::string("The movie header is damaged: ") + e.what());
        return std::nullopt;
    }
}

namespace {

bool isFreeSpace(uint32_t type)
{
    return type == MVFourCC("free") || type == MVFourCC("skip") || type == MVFourCC("wide");
}

// Atoms that index or frame movie fragments. Once the fragments are read into the movie's tables they
// describe nothing that is kept, so a rewritten file does not carry them.
bool isFragmentStructure(uint32_t type)
{
    return type == MVFourCC("mfra") || type == MVFourCC("sidx") || type == MVFourCC("ssix")
        || type == MVFourCC("styp") || type == MVFourCC("prft");
}

bool samplesInThisFile(const MVTrackDescription& track)
{
    const auto& entries = track.media.information.dataInformation.entries;
    return std::all_of(entries.begin(), entries.end(),
        [](const MVDataReferenceEntry& e) { return e.flags & MVDataReferenceSelfReferenceFlag; });
}

// How many times over the samples of a track may claim the bytes of the file that holds them before
// the table is taken for impossible. Counted once per chunk, only the samples that start inside the file
// count, so a file cut short claims a little more than it holds, never this.
constexpr uint64_t kMaximumClaimOverFile = 16;

// The size of the file that holds the samples of sample description `description` (1-based) of
// `track`: this file unless it is still growing, another file when its data reference names one that
// exists. Nothing when it cannot be told.
std::optional<uint64_t> holderSize(const MVTrackDescription& track, uint32_t description,
    const MVMovieFileDescription& file, const MVMovieFileReadOptions& options)
{
    const auto& descriptions = track.media.information.sampleTable.sampleDescriptions;
    const auto& entries = track.media.information.dataInformation.entries;
    if (description == 0 || description > descriptions.size())
        return std::nullopt;
    uint16_t reference = descriptions[description - 1].dataReferenceIndex;
    if (reference == 0 || reference > entries.size())
        return std::nullopt;
    const auto& entry = entries[reference - 1];
    if (entry.flags & MVDataReferenceSelfReferenceFlag) {
        if (options.fileMayGrow)
            return std::nullopt;
        return file.fileSize;
    }
    if (options.moviePath.empty())
        return std::nullopt;
    auto path = MVResolveDataReference(entry, options.moviePath);
    struct stat info { };
    if (!path || ::stat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return uint64_t(info.st_size);
}

// Refuses a track whose samples cannot be where its table puts them: a sample that starts inside the
// file holding it and claims more bytes than that whole file, or samples claiming that file's bytes many
// times over. A file cut short (its samples past the end, each of a believable size) passes.
bool claimsFitTheirFiles(const MVTrackDescription& track, const MVSampleTableIndex& index,
    const MVMovieFileDescription& file, const MVMovieFileReadOptions& options, HXError* outError)
{
    std::string name = "track " + std::to_string(track.header.trackID);
    std::map<uint32_t, std::optional<uint64_t>> holders; // of each description
    auto holder = [&](uint32_t description) {
        auto found = holders.find(description);
        if (found == holders.end())
            found = holders.emplace(description, holderSize(track, description, file, options)).first;
        return found->second;
    };
    // The chunks whose file is known and which start inside it, each place counted once.
    struct Start {
        uint32_t file; // the data reference's index
        uint64_t fileSize;
        uint64_t offset;
        uint32_t chunk;
        bool operator<(const Start& o) const { return std::tie(file, offset) < std::tie(o.file, o.offset); }
    };
    const auto& descriptions = track.media.information.sampleTable.sampleDescriptions;
    std::vector<Start> starts;
    for (uint32_t c = 0; c < index.chunkCount(); ++c) {
        auto chunk = index.chunk(c);
        if (!chunk || chunk->sampleCount == 0)
            continue;
        auto size = holder(chunk->sampleDescriptionIndex);
        if (size && chunk->offset < *size)
            starts.push_back({ descriptions[chunk->sampleDescriptionIndex - 1].dataReferenceIndex, *size,
                chunk->offset, c });
    }
    std::sort(starts.begin(), starts.end());
    std::map<uint32_t, uint64_t> claimed; // bytes claimed inside each file
    for (size_t k = 0; k < starts.size(); ++k) {
        if (k > 0 && starts[k].file == starts[k - 1].file && starts[k].offset == starts[k - 1].offset)
            continue;
        auto chunk = index.chunk(starts[k].chunk);
        const uint64_t size = starts[k].fileSize;
        uint64_t at = chunk->offset;
        for (uint32_t s = 0; s < chunk->sampleCount && at < size; ++s) {
            uint64_t bytes = index.sampleSize(chunk->firstSample + s);
            if (bytes > size) {
                if (outError)
                    *outError = MVMovieFileError(MVStatusBadMovieFile,
                        "The movie file is damaged: sample " + std::to_string(chunk->firstSample + s + 1)
                            + " of " + name + " claims " + std::to_string(bytes)
                            + " bytes, more than the whole file that holds it (" + std::to_string(size)
                            + " bytes).");
                return false;
            }
            at += bytes;
            uint64_t& total = claimed[starts[k].file];
            total += bytes;
            if (total / kMaximumClaimOverFile > size) {
                if (outError)
                    *outError = MVMovieFileError(MVStatusBadMovieFile,
                        "The movie file is damaged: the samples of " + name + " claim more than "
                            + std::to_string(total) + " bytes of a file of " + std::to_string(size)
                            + " bytes.");
                return false;
            }
        }
    }
    return true;
}

// A track whose samples past the end of a file cut short were left out ends with its last sample: its
// media lasts as long as the samples kept, and its edits play no further than that.
void endWithTheSamplesKept(MVTrackDescription& track, uint32_t movieScale)
{
    auto& media = track.media;
    uint64_t mediaEnd = 0;
    for (const auto& entry : media.information.sampleTable.timeToSample)
        mediaEnd += uint64_t(entry.sampleCount) * entry.sampleDuration;
    const uint64_t mediaScale = std::max<uint32_t>(media.header.timeScale, 1);
    auto toMovie = [&](uint64_t mediaTime) {
        return uint64_t((long double)mediaTime * std::max<uint32_t>(movieScale, 1) / mediaScale);
    };
    media.header.duration = std::min(media.header.duration, mediaEnd);
    if (!track.editList) {
        track.header.duration = std::min(track.header.duration, toMovie(mediaEnd));
        return;
    }
    uint64_t duration = 0;
    for (auto& e : track.editList->entries) {
        if (e.mediaTime >= 0 && e.mediaRate == 0x10000) {
            uint64_t left = mediaEnd > uint64_t(e.mediaTime) ? mediaEnd - uint64_t(e.mediaTime) : 0;
            e.segmentDuration = std::min(e.segmentDuration, toMovie(left));
        }
        duration += e.segmentDuration;
    }
    track.header.duration = std::min(track.header.duration, duration);
}

// Holds every track's samples to what the file can back: no sample larger than a sample may be, no
// more samples than a track may have, no sample larger than the file that holds it nor a table
// claiming that file many times over (refused: such a table is damaged or hostile), and, unless the
// file is still growing, samples of this file that lie past its end cut off with a note, as a
// download that stopped short leaves them.
bool boundSamplesByFile(
    MVMovieFileDescription& file, const MVMovieFileReadOptions& options, HXError* outError)
{
    const bool fileMayGrow = options.fileMayGrow;
    auto refuse = [outError](MVMovieFileStatus status, const std::string& text) {
        if (outError)
            *outError = MVMovieFileError(status, text);
        return false;
    };
    bool cutShort = false;
    for (auto& track : file.movie.tracks) {
        auto& t = track.media.information.sampleTable;
        std::string name = "track " + std::to_string(track.header.trackID);
        MVSampleTableIndex index(t);
        uint32_t n = index.sampleCount();
        if (n > MVMaximumSampleCount)
            return refuse(MVStatusFileTooLarge,
                "A track of the movie has more samples than can be handled (" + std::to_string(n) + ").");
        for (uint32_t s = 0; s < n && (t.constantSampleSize == 0 || s == 0); ++s)
            if (index.sampleSize(s) > MVMaximumSampleSize)
                return refuse(MVStatusBadMovieFile,
                    "The movie is damaged: sample " + std::to_string(s + 1) + " of " + name + " claims "
                        + std::to_string(index.sampleSize(s)) + " bytes, more than a sample can hold.");
        if (!claimsFitTheirFiles(track, index, file, options, outError))
            return false;
        if (fileMayGrow || !samplesInThisFile(track))
            continue;
        uint64_t size = file.fileSize;
        uint32_t keep = n;
        for (uint32_t c = index.chunkCount(); c-- > 0;) {
            auto chunk = index.chunk(c);
            if (!chunk || chunk->sampleCount == 0)
                continue;
            if (chunk->offset <= size && chunk->size <= size - chunk->offset)
                break;
            // The samples of this chunk that still fit stay.
            uint32_t fit = 0;
            for (uint64_t at = chunk->offset; at <= size && fit < chunk->sampleCount; ++fit) {
                uint32_t bytes = index.sampleSize(chunk->firstSample + fit);
                if (bytes > size - at)
                    break;
                at += bytes;
            }
            keep = chunk->firstSample + fit;
        }
        if (keep < n) {
            file.notes.push_back(name + ": samples " + std::to_string(keep + 1) + " to "
                + std::to_string(n) + " lie past the end of the file and were left out");
            MVTruncateSampleTable(t, keep);
            endWithTheSamplesKept(track, file.movie.header.timeScale);
            cutShort = true;
        }
    }
    if (cutShort) {
        uint64_t longest = 0;
        for (const auto& track : file.movie.tracks)
            longest = std::max(longest, track.header.duration);
        file.movie.header.duration = std::min(file.movie.header.duration, longest);
    }
    return true;
}

// Reads a top-level header at `offset` from the source. nullopt when fewer than 8 bytes remain. A header
// whose size runs past the end of the file (`truncated`) is cut to it; `claimed` is the size it states.
std::optional<MVAtomLocation> readTopLevelHeader(
    const MVByteSource& src, uint64_t offset, bool& truncated, uint64_t& claimed)
{
    uint64_t fileSize = src.size();
    truncated = false;
    if (fileSize - offset < 8)
        return std::nullopt;
    uint8_t buf[16];
    size_t avail = size_t(std::min<uint64_t>(16, fileSize - offset));
    if (!src.read(offset, buf, avail))
        return std::nullopt;
    MVByteReader r(std::span<const uint8_t>(buf, avail));
    MVAtomLocation loc;
    loc.offset = offset;
    uint32_t size32 = r.u32();
    loc.type = r.u32();
    if (size32 == 1) {
        if (avail < 16)
            return std::nullopt;
        loc.size = r.u64();
        loc.headerSize = 16;
    } else if (size32 == 0) {
        loc.size = fileSize - offset;
    } else {
        loc.size = size32;
    }
    if (loc.size < loc.headerSize)
        return std::nullopt;
    claimed = loc.size;
    if (loc.size > fileSize - offset) {
        truncated = true;
        loc.size = fileSize - offset;
    }
    return loc;
}

bool plausibleType(uint32_t type)
{
    // Atom types are printable characters (the Roman '©' included); anything else means we are not
    // reading atoms.
    for (int i = 0; i < 4; ++i) {
        uint8_t c = uint8_t(type >> (24 - 8 * i));
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

} // namespace

std::optional<MVMovieFileDescription> MVReadMovieFile(
    const MVByteSource& src, HXError* outError, const MVMovieFileReadOptions& options)
{
    MVMovieFileDescription file;
    file.fileSize = src.size();
    std::optional<MVAtomLocation> moovLocation;
    bool moovTruncated = false;
    std::vector<MVMovieFragmentLocation> fragments;
    uint64_t offset = 0;
    while (offset < file.fileSize) {
        bool truncated = false;
        uint64_t claimed = 0;
        auto loc = readTopLevelHeader(src, offset, truncated, claimed);
        if (!loc || !plausibleType(loc->type)) {
            if (file.topLevelAtoms.empty())
                break;
            file.warnings.push_back("unreadable bytes after offset " + std::to_string(offset));
            break;
        }
        // A file cut short ends inside its media data, or inside its last fragment (whose samples
        // the fragments keep as far as they go); a movie header cut short has lost part of itself, and
        // a fragment header larger than any is damage.
        const bool cutShort = loc->type == MVFourCC("mdat")
            || (loc->type == MVFourCC("moof") && claimed <= MVMaximumFragmentHeaderSize);
        if (truncated)
            (cutShort ? file.notes : file.warnings)
                .push_back(typeName(loc->type) + " at offset " + std::to_string(offset)
                    + " runs past the end of the file");
        file.topLevelAtoms.push_back(*loc);
        uint64_t payloadOffset = offset + loc->headerSize;
        uint64_t payloadSize = loc->size - loc->headerSize;
        if (loc->type == MVFourCC("moov")) {
            if (moovLocation)
                file.warnings.push_back("a second 'moov' was ignored");
            else {
                moovLocation = loc;
                moovTruncated = truncated;
            }
        } else if (loc->type == MVFourCC("ftyp") && !file.fileType && payloadSize <= 4096) {
            MVBytes bytes(static_cast<size_t>(payloadSize));
            if (src.read(payloadOffset, bytes.data(), bytes.size())) {
                try {
                    file.fileType = parseFileType(bytes);
                } catch (const MVMalformedAtom&) {
                    file.warnings.push_back("unreadable 'ftyp'");
                }
            }
        } else if (loc->type == MVFourCC("moof")) {
            fragments.push_back({ *loc, truncated, claimed });
        } else if (loc->type != MVFourCC("mdat") && !isFreeSpace(loc->type) && loc->type != MVFourCC("ftyp")
            && !isFragmentStructure(loc->type)) {
            if (payloadSize <= options.maxKeptTopLevelAtomSize && !truncated) {
                MVRawAtom atom { loc->type, MVBytes(size_t(payloadSize)) };
                if (src.read(payloadOffset, atom.payload.data(), atom.payload.size()))
                    file.topLevelUnknownAtoms.push_back(std::move(atom));
            } else {
                file.warnings.push_back(
                    typeName(loc->type) + " of " + std::to_string(loc->size) + " bytes not kept");
            }
        }
        offset += loc->size;
    }
    if (!moovLocation) {
        if (outError)
            *outError = MVMovieFileError(MVStatusNotAMovieFile,
                file.topLevelAtoms.empty() ? "The file is not a movie file."
                                           : "The file has no movie header.");
        return std::nullopt;
    }
    uint64_t payloadSize = moovLocation->size - moovLocation->headerSize;
    if (payloadSize > SIZE_MAX / 2) {
        if (outError)
            *outError = MVMovieFileError(MVStatusFileTooLarge, "The movie header is too large.");
        return std::nullopt;
    }
    // The header's size was checked against the file, so this allocation is backed by real bytes.
    MVBytes moov(static_cast<size_t>(payloadSize));
    if (!src.read(moovLocation->offset + moovLocation->headerSize, moov.data(), moov.size())) {
        if (outError)
            *outError = MVMovieFileError(MVStatusBadMovieFile, "The movie header could not be read.");
        return std::nullopt;
    }
    if (moovTruncated)
        file.warnings.push_back("the movie header is cut short; only its complete atoms were read");
    Context ctx { &file.warnings, options.maxDepth };
    try {
        file.movie = parseMovie(moov, ctx);
    } catch (const MVMalformedAtom& e) {
        if (outError)
            *outError = MVMovieFileError(
                MVStatusBadMovieFile, std::string("The movie header is damaged: ") + e.what());
        return std::nullopt;
    }
    if (!boundSamplesByFile(file, options, outError))
        return std::nullopt;
    MVAddMovieFragments(src, file, fragments);
    return file;
}

std::optional<MVMovieFileDescription> MVReadMovieFile(
    const std::string& path, HXError* outError, const MVMovieFileReadOptions& options)
{
    auto src = MVByteSource::openFile(path, outError);
    if (!src)
        return std::nullopt;
    if (!options.moviePath.empty())
        return MVReadMovieFile(*src, outError, options);
    MVMovieFileReadOptions withPath = options;
    withPath.moviePath = path;
    return MVReadMovieFile(*src, outError, withPath);
}
