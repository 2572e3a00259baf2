#include "platform/mvkit/movie_header_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace mvmodel {
namespace {

    struct Malformed : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    class Reader {
    public:
        explicit Reader(std::span<const uint8_t> b)
            : _b(b)
        {
        }
        size_t remaining() const { return _b.size() - _pos; }
        bool atEnd() const { return _pos >= _b.size(); }
        void need(uint64_t n) const
        {
            if (n > remaining())
                throw Malformed("truncated atom");
        }
        uint64_t be(int n)
        {
            need(uint64_t(n));
            uint64_t v = 0;
            for (int i = 0; i < n; ++i)
                v = (v << 8) | _b[_pos + size_t(i)];
            _pos += size_t(n);
            return v;
        }
        uint8_t u8() { return uint8_t(be(1)); }
        uint16_t u16() { return uint16_t(be(2)); }
        uint32_t u32() { return uint32_t(be(4)); }
        uint64_t u64() { return be(8); }
        void skip(size_t n)
        {
            need(n);
            _pos += n;
        }
        std::span<const uint8_t> bytes(size_t n)
        {
            need(n);
            auto s = _b.subspan(_pos, n);
            _pos += n;
            return s;
        }
        MVBytes copy(size_t n)
        {
            auto s = bytes(n);
            return { s.begin(), s.end() };
        }
        MVBytes rest() { return copy(remaining()); }
        void records(uint64_t count, size_t size) const
        {
            if (count > remaining() / size)
                throw Malformed("table larger than its atom");
        }

    private:
        std::span<const uint8_t> _b;
        size_t _pos = 0;
    };

    struct Child {
        uint32_t type;
        std::span<const uint8_t> payload;
    };

    // The children of a container payload; a child that does not fit ends the list. `trailing` gets the
    // number of bytes left over.
    std::vector<Child> children(std::span<const uint8_t> payload, size_t* trailing = nullptr)
    {
        std::vector<Child> out;
        size_t pos = 0;
        while (payload.size() - pos >= 8) {
            Reader r(payload.subspan(pos));
            uint64_t size = r.u32();
            uint32_t type = r.u32();
            size_t header = 8;
            if (size == 1) {
                if (r.remaining() < 8)
                    break;
                size = r.u64();
                header = 16;
            } else if (size == 0) {
                size = payload.size() - pos;
            }
            if (size < header || size > payload.size() - pos)
                break;
            out.push_back({ type, payload.subspan(pos + header, size_t(size) - header) });
            pos += size_t(size);
        }
        if (trailing)
            *trailing = payload.size() - pos;
        return out;
    }

    MVMatrixRecord readMatrix(Reader& r)
    {
        MVMatrixRecord m;
        for (auto& v : m.values)
            v = int32_t(r.u32());
        return m;
    }

    MVMovieHeader readMovieHeader(Reader r)
    {
        MVMovieHeader h;
        h.version = r.u8();
        h.flags = r.be(3);
        int w = h.version == 1 ? 8 : 4;
        h.creationTime = r.be(w);
        h.modificationTime = r.be(w);
        h.timeScale = r.u32();
        h.duration = r.be(w);
        h.preferredRate = int32_t(r.u32());
        h.preferredVolume = int16_t(r.u16());
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

    MVTrackHeader readTrackHeader(Reader r)
    {
        MVTrackHeader h;
        h.version = r.u8();
        h.flags = r.be(3);
        int w = h.version == 1 ? 8 : 4;
        h.creationTime = r.be(w);
        h.modificationTime = r.be(w);
        h.trackID = r.u32();
        h.reserved1 = r.u32();
        h.duration = r.be(w);
        auto res = r.bytes(8);
        std::copy(res.begin(), res.end(), h.reserved2.begin());
        h.layer = int16_t(r.u16());
        h.alternateGroup = int16_t(r.u16());
        h.volume = int16_t(r.u16());
        h.reserved3 = r.u16();
        h.matrix = readMatrix(r);
        h.width = r.u32();
        h.height = r.u32();
        return h;
    }

    MVEditList readEditList(std::span<const uint8_t> edts)
    {
        MVEditList list;
        for (auto& c : children(edts)) {
            if (c.type != MVFourCC("elst")) {
                list.unknownChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
                continue;
            }
            Reader r(c.payload);
            list.version = r.u8();
            list.flags = r.be(3);
            uint32_t n = r.u32();
            r.records(n, list.version == 1 ? 20 : 12);
            for (uint32_t i = 0; i < n; ++i) {
                MVEditListEntry e;
                if (list.version == 1) {
                    e.segmentDuration = r.u64();
                    e.mediaTime = int64_t(r.u64());
                } else {
                    e.segmentDuration = r.u32();
                    e.mediaTime = int32_t(r.u32());
                }
                e.mediaRate = int32_t(r.u32());
                list.entries.push_back(e);
            }
        }
        return list;
    }

    MVHandler readHandler(Reader r)
    {
        MVHandler h;
        h.version = r.u8();
        h.flags = r.be(3);
        h.componentType = r.u32();
        h.componentSubtype = r.u32();
        h.componentManufacturer = r.u32();
        h.componentFlags = r.u32();
        h.componentFlagsMask = r.u32();
        h.name = r.rest();
        return h;
    }

    MVDataInformation readDataInformation(std::span<const uint8_t> dinf)
    {
        MVDataInformation info;
        for (auto& c : children(dinf)) {
            if (c.type != MVFourCC("dref")) {
                info.unknownChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
                continue;
            }
            Reader r(c.payload);
            info.version = r.u8();
            info.flags = r.be(3);
            r.skip(4);  // entry count: the entries themselves tell
            for (auto& e : children(c.payload.subspan(8))) {
                Reader er(e.payload);
                MVDataReferenceEntry entry;
                entry.type = e.type;
                entry.version = er.u8();
                entry.flags = er.be(3);
                entry.data = er.rest();
                info.entries.push_back(std::move(entry));
            }
        }
        return info;
    }

    void readSampleTableChild(MVSampleTable& t, const Child& c)
    {
        Reader r(c.payload);
        auto versionFlags = [&r]() {
            uint8_t v = r.u8();
            r.skip(3);
            return v;
        };
        switch (c.type) {
        case MVFourCC("stsd"): {
            t.sampleDescriptionVersion = r.u8();
            t.sampleDescriptionFlags = r.be(3);
            r.skip(4);
            for (auto& e : children(c.payload.subspan(8))) {
                Reader er(e.payload);
                MVSampleDescription d;
                d.format = e.type;
                auto res = er.bytes(6);
                std::copy(res.begin(), res.end(), d.reserved.begin());
                d.dataReferenceIndex = er.u16();
                d.data = er.rest();
                t.sampleDescriptions.push_back(std::move(d));
            }
            break;
        }
        case MVFourCC("stts"): {
            versionFlags();
            uint32_t n = r.u32();
            r.records(n, 8);
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t count = r.u32();
                t.timeToSample.push_back({ count, r.u32() });
            }
            break;
        }
        case MVFourCC("ctts"): {
            t.hasCompositionOffsets = true;
            t.compositionOffsetVersion = versionFlags();
            uint32_t n = r.u32();
            r.records(n, 8);
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t count = r.u32();
                t.compositionOffsets.push_back({ count, int32_t(r.u32()) });
            }
            break;
        }
        case MVFourCC("stss"):
        case MVFourCC("stps"): {
            versionFlags();
            bool sync = c.type == MVFourCC("stss");
            auto& list = sync ? t.syncSamples : t.partialSyncSamples;
            (sync ? t.hasSyncSamples : t.hasPartialSyncSamples) = true;
            uint32_t n = r.u32();
            r.records(n, 4);
            for (uint32_t i = 0; i < n; ++i)
                list.push_back(r.u32());
            break;
        }
        case MVFourCC("stsc"): {
            versionFlags();
            uint32_t n = r.u32();
            r.records(n, 12);
            for (uint32_t i = 0; i < n; ++i) {
                MVSampleToChunkEntry e;
                e.firstChunk = r.u32();
                e.samplesPerChunk = r.u32();
                e.sampleDescriptionIndex = r.u32();
                t.sampleToChunk.push_back(e);
            }
            break;
        }
        case MVFourCC("stsz"): {
            versionFlags();
            t.constantSampleSize = r.u32();
            t.sampleCount = r.u32();
            if (t.constantSampleSize == 0) {
                r.records(t.sampleCount, 4);
                t.sampleSizes.reserve(t.sampleCount);
                for (uint32_t i = 0; i < t.sampleCount; ++i)
                    t.sampleSizes.push_back(r.u32());
            }
            break;
        }
        case MVFourCC("stz2"): {
            versionFlags();
            r.skip(3);
            uint8_t field = r.u8();
            t.compactSampleSizeFieldSize = field;
            t.sampleCount = r.u32();
            if (field != 4 && field != 8 && field != 16)
                throw Malformed("bad compact sample size field");
            r.records((uint64_t(t.sampleCount) * field + 7) / 8, 1);
            uint8_t pair = 0;
            for (uint32_t i = 0; i < t.sampleCount; ++i) {
                if (field == 4) {
                    if (i % 2 == 0)
                        pair = r.u8();
                    t.sampleSizes.push_back(i % 2 == 0 ? uint32_t(pair >> 4) : uint32_t(pair & 0xF));
                } else {
                    t.sampleSizes.push_back(uint32_t(r.be(field / 8)));
                }
            }
            break;
        }
        case MVFourCC("stco"):
        case MVFourCC("co64"): {
            versionFlags();
            bool wide = c.type == MVFourCC("co64");
            t.uses64BitChunkOffsets = wide;
            uint32_t n = r.u32();
            r.records(n, wide ? 8 : 4);
            t.chunkOffsets.reserve(n);
            for (uint32_t i = 0; i < n; ++i)
                t.chunkOffsets.push_back(wide ? r.u64() : r.u32());
            break;
        }
        case MVFourCC("sdtp"):
            t.sampleDependencyFlags = r.rest();
            break;
        default:
            t.unknownChildren.push_back({ c.type, r.rest() });
        }
    }

    MVUserData readUserData(std::span<const uint8_t> payload)
    {
        MVUserData u;
        size_t trailing = 0;
        for (auto& c : children(payload, &trailing))
            u.items.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
        u.hasTerminator = trailing >= 4;
        return u;
    }

    MVMetadata readMetadata(std::span<const uint8_t> payload)
    {
        MVMetadata m;
        // The classic form starts with its first child; the full-atom form with version and flags.
        if (payload.size() >= 8 && !(payload[4] == 'h' && payload[5] == 'd' && payload[6] == 'l' && payload[7] == 'r')) {
            m.isFullAtom = true;
            m.versionAndFlags = Reader(payload).u32();
            payload = payload.subspan(4);
        }
        std::vector<Child> ilst;
        for (auto& c : children(payload)) {
            if (c.type == MVFourCC("hdlr")) {
                m.handler = readHandler(Reader(c.payload));
            } else if (c.type == MVFourCC("keys")) {
                Reader r(c.payload);
                r.skip(4);
                uint32_t n = r.u32();
                r.records(n, 8);
                for (uint32_t i = 0; i < n; ++i) {
                    uint32_t size = r.u32();
                    if (size < 8)
                        throw Malformed("bad metadata key");
                    MVMetadataKey k;
                    k.keyNamespace = r.u32();
                    k.keyValue = r.copy(size - 8);
                    m.keys.push_back(std::move(k));
                }
            } else if (c.type == MVFourCC("ilst")) {
                ilst = children(c.payload);
            } else {
                m.unknownChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
            }
        }
        bool keyed = m.handler.componentSubtype == MVFourCC("mdta");
        for (auto& item : ilst) {
            MVMetadataItem it;
            if (keyed) {
                if (item.type == 0 || item.type > m.keys.size())
                    continue;  // a value for a key the table lacks
                it.key = m.keys[item.type - 1];
            } else {
                it.key.keyNamespace = 0;
                it.key.keyValue = { uint8_t(item.type >> 24), uint8_t(item.type >> 16), uint8_t(item.type >> 8),
                    uint8_t(item.type) };
            }
            for (auto& c : children(item.payload)) {
                if (c.type != MVFourCC("data")) {
                    it.otherChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
                    continue;
                }
                Reader r(c.payload);
                MVMetadataValue v;
                uint32_t word = r.u32();
                v.typeSet = uint8_t(word >> 24);
                v.dataType = word & 0xFFFFFF;
                v.locale = r.u32();
                v.bytes = r.rest();
                it.values.push_back(std::move(v));
            }
            m.items.push_back(std::move(it));
        }
        return m;
    }

    MVMediaDescription readMedia(std::span<const uint8_t> payload)
    {
        MVMediaDescription md;
        for (auto& c : children(payload)) {
            Reader r(c.payload);
            switch (c.type) {
            case MVFourCC("mdhd"): {
                auto& h = md.header;
                h.version = r.u8();
                h.flags = r.be(3);
                int w = h.version == 1 ? 8 : 4;
                h.creationTime = r.be(w);
                h.modificationTime = r.be(w);
                h.timeScale = r.u32();
                h.duration = r.be(w);
                h.language = r.u16();
                h.quality = r.u16();
                break;
            }
            case MVFourCC("hdlr"):
                md.handler = readHandler(r);
                break;
            case MVFourCC("minf"):
                for (auto& m : children(c.payload)) {
                    auto& info = md.information;
                    switch (m.type) {
                    case MVFourCC("vmhd"):
                    case MVFourCC("smhd"):
                    case MVFourCC("gmhd"):
                    case MVFourCC("nmhd"):
                    case MVFourCC("hmhd"):
                    case MVFourCC("sthd"):
                        info.header = { m.type, { m.payload.begin(), m.payload.end() } };
                        break;
                    case MVFourCC("hdlr"):
                        info.dataHandler = readHandler(Reader(m.payload));
                        break;
                    case MVFourCC("dinf"):
                        info.dataInformation = readDataInformation(m.payload);
                        break;
                    case MVFourCC("stbl"):
                        for (auto& s : children(m.payload))
                            readSampleTableChild(info.sampleTable, s);
                        break;
                    default:
                        info.unknownChildren.push_back({ m.type, { m.payload.begin(), m.payload.end() } });
                    }
                }
                break;
            case MVFourCC("udta"):
                md.userData = readUserData(c.payload);
                break;
            default:
                md.unknownChildren.push_back({ c.type, r.rest() });
            }
        }
        return md;
    }

    MVTrackDescription readTrack(std::span<const uint8_t> payload)
    {
        MVTrackDescription t;
        for (auto& c : children(payload)) {
            switch (c.type) {
            case MVFourCC("tkhd"):
                t.header = readTrackHeader(Reader(c.payload));
                break;
            case MVFourCC("edts"):
                t.editList = readEditList(c.payload);
                break;
            case MVFourCC("tref"):
                for (auto& ref : children(c.payload)) {
                    Reader r(ref.payload);
                    MVTrackReference tr { ref.type, {} };
                    while (r.remaining() >= 4)
                        tr.trackIDs.push_back(r.u32());
                    t.references.push_back(std::move(tr));
                }
                break;
            case MVFourCC("mdia"):
                t.media = readMedia(c.payload);
                break;
            case MVFourCC("udta"):
                t.userData = readUserData(c.payload);
                break;
            case MVFourCC("meta"):
                t.metadata = readMetadata(c.payload);
                break;
            default:
                t.unknownChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
            }
        }
        return t;
    }

    // Writing.
    class Writer {
    public:
        MVBytes out;
        void be(uint64_t v, int n)
        {
            for (int i = n - 1; i >= 0; --i)
                out.push_back(uint8_t(v >> (8 * i)));
        }
        void u8(uint8_t v) { out.push_back(v); }
        void u16(uint16_t v) { be(v, 2); }
        void u32(uint32_t v) { be(v, 4); }
        void u64(uint64_t v) { be(v, 8); }
        void bytes(std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); }
        void versionFlags(uint8_t v, uint32_t f)
        {
            u8(v);
            be(f, 3);
        }
        size_t begin(uint32_t type)
        {
            size_t at = out.size();
            u32(0);
            u32(type);
            return at;
        }
        void end(size_t at)
        {
            uint64_t size = out.size() - at;
            if (size > UINT32_MAX)
                throw std::length_error("atom too large");
            for (int i = 0; i < 4; ++i)
                out[at + size_t(i)] = uint8_t(size >> (24 - 8 * i));
        }
        void raw(const MVRawAtom& a)
        {
            size_t at = begin(a.type);
            bytes(a.payload);
            end(at);
        }
        void matrix(const MVMatrixRecord& m)
        {
            for (auto v : m.values)
                u32(uint32_t(v));
        }
    };

    void writeHandler(Writer& w, const MVHandler& h)
    {
        size_t at = w.begin(MVFourCC("hdlr"));
        w.versionFlags(h.version, h.flags);
        w.u32(h.componentType);
        w.u32(h.componentSubtype);
        w.u32(h.componentManufacturer);
        w.u32(h.componentFlags);
        w.u32(h.componentFlagsMask);
        w.bytes(h.name);
        w.end(at);
    }

    void writeUserData(Writer& w, const MVUserData& u)
    {
        size_t at = w.begin(MVFourCC("udta"));
        for (auto& item : u.items)
            w.raw({ item.type, item.data });
        if (u.hasTerminator)
            w.u32(0);
        w.end(at);
    }

    void writeMetadata(Writer& w, const MVMetadata& m)
    {
        size_t at = w.begin(MVFourCC("meta"));
        if (m.isFullAtom)
            w.u32(m.versionAndFlags);
        writeHandler(w, m.handler);
        bool keyed = m.handler.componentSubtype == MVFourCC("mdta");
        std::vector<MVMetadataKey> keys = m.keys;
        std::vector<uint32_t> itemTypes;
        for (auto& item : m.items) {
            if (keyed) {
                size_t index = 0;
                while (index < keys.size() && !(keys[index] == item.key))
                    ++index;
                if (index == keys.size())
                    keys.push_back(item.key);
                itemTypes.push_back(uint32_t(index + 1));
            } else {
                uint32_t code = 0;
                for (size_t i = 0; i < 4 && i < item.key.keyValue.size(); ++i)
                    code |= uint32_t(item.key.keyValue[i]) << (24 - 8 * i);
                itemTypes.push_back(code);
            }
        }
        if (keyed) {
            size_t k = w.begin(MVFourCC("keys"));
            w.u32(0);
            w.u32(uint32_t(keys.size()));
            for (auto& key : keys) {
                w.u32(uint32_t(8 + key.keyValue.size()));
                w.u32(key.keyNamespace);
                w.bytes(key.keyValue);
            }
            w.end(k);
        }
        size_t l = w.begin(MVFourCC("ilst"));
        for (size_t i = 0; i < m.items.size(); ++i) {
            size_t it = w.begin(itemTypes[i]);
            for (auto& v : m.items[i].values) {
                size_t d = w.begin(MVFourCC("data"));
                w.u32((uint32_t(v.typeSet) << 24) | (v.dataType & 0xFFFFFF));
                w.u32(v.locale);
                w.bytes(v.bytes);
                w.end(d);
            }
            for (auto& o : m.items[i].otherChildren)
                w.raw(o);
            w.end(it);
        }
        w.end(l);
        for (auto& u : m.unknownChildren)
            w.raw(u);
        w.end(at);
    }

    void writeSampleTable(Writer& w, const MVSampleTable& t)
    {
        size_t at = w.begin(MVFourCC("stbl"));
        size_t a = w.begin(MVFourCC("stsd"));
        w.versionFlags(t.sampleDescriptionVersion, t.sampleDescriptionFlags);
        w.u32(uint32_t(t.sampleDescriptions.size()));
        for (auto& d : t.sampleDescriptions) {
            size_t e = w.begin(d.format);
            w.bytes(d.reserved);
            w.u16(d.dataReferenceIndex);
            w.bytes(d.data);
            w.end(e);
        }
        w.end(a);

        a = w.begin(MVFourCC("stts"));
        w.u32(0);
        w.u32(uint32_t(t.timeToSample.size()));
        for (auto& e : t.timeToSample) {
            w.u32(e.sampleCount);
            w.u32(e.sampleDuration);
        }
        w.end(a);

        if (t.hasCompositionOffsets) {
            a = w.begin(MVFourCC("ctts"));
            w.versionFlags(t.compositionOffsetVersion, 0);
            w.u32(uint32_t(t.compositionOffsets.size()));
            for (auto& e : t.compositionOffsets) {
                w.u32(e.sampleCount);
                w.u32(uint32_t(e.offset));
            }
            w.end(a);
        }
        auto numbers = [&w](uint32_t type, const std::vector<uint32_t>& list) {
            size_t n = w.begin(type);
            w.u32(0);
            w.u32(uint32_t(list.size()));
            for (auto v : list)
                w.u32(v);
            w.end(n);
        };
        if (t.hasSyncSamples)
            numbers(MVFourCC("stss"), t.syncSamples);
        if (t.hasPartialSyncSamples)
            numbers(MVFourCC("stps"), t.partialSyncSamples);
        if (t.sampleDependencyFlags)
            w.raw({ MVFourCC("sdtp"), *t.sampleDependencyFlags });

        a = w.begin(MVFourCC("stsc"));
        w.u32(0);
        w.u32(uint32_t(t.sampleToChunk.size()));
        for (auto& e : t.sampleToChunk) {
            w.u32(e.firstChunk);
            w.u32(e.samplesPerChunk);
            w.u32(e.sampleDescriptionIndex);
        }
        w.end(a);

        a = w.begin(MVFourCC("stsz"));
        w.u32(0);
        w.u32(t.sampleSizes.empty() ? t.constantSampleSize : 0);
        w.u32(t.sampleSizes.empty() ? t.sampleCount : uint32_t(t.sampleSizes.size()));
        for (auto s : t.sampleSizes)
            w.u32(s);
        w.end(a);

        bool wide = t.uses64BitChunkOffsets;
        for (auto o : t.chunkOffsets)
            wide = wide || o > UINT32_MAX;
        a = w.begin(wide ? MVFourCC("co64") : MVFourCC("stco"));
        w.u32(0);
        w.u32(uint32_t(t.chunkOffsets.size()));
        for (auto o : t.chunkOffsets)
            wide ? w.u64(o) : w.u32(uint32_t(o));
        w.end(a);
        for (auto& u : t.unknownChildren)
            w.raw(u);
        w.end(at);
    }

    void writeMedia(Writer& w, const MVMediaDescription& m)
    {
        size_t at = w.begin(MVFourCC("mdia"));
        size_t a = w.begin(MVFourCC("mdhd"));
        const auto& h = m.header;
        bool wide = h.version == 1 || h.duration > UINT32_MAX;
        w.versionFlags(wide ? 1 : 0, h.flags);
        int n = wide ? 8 : 4;
        w.be(h.creationTime, n);
        w.be(h.modificationTime, n);
        w.u32(h.timeScale);
        w.be(h.duration, n);
        w.u16(h.language);
        w.u16(h.quality);
        w.end(a);
        writeHandler(w, m.handler);

        size_t minf = w.begin(MVFourCC("minf"));
        const auto& info = m.information;
        if (info.header.type)
            w.raw({ info.header.type, info.header.payload });
        if (info.dataHandler)
            writeHandler(w, *info.dataHandler);
        size_t dinf = w.begin(MVFourCC("dinf"));
        size_t dref = w.begin(MVFourCC("dref"));
        w.versionFlags(info.dataInformation.version, info.dataInformation.flags);
        w.u32(uint32_t(info.dataInformation.entries.size()));
        for (auto& e : info.dataInformation.entries) {
            size_t ea = w.begin(e.type);
            w.versionFlags(e.version, e.flags);
            w.bytes(e.data);
            w.end(ea);
        }
        w.end(dref);
        for (auto& u : info.dataInformation.unknownChildren)
            w.raw(u);
        w.end(dinf);
        writeSampleTable(w, info.sampleTable);
        for (auto& u : info.unknownChildren)
            w.raw(u);
        w.end(minf);
        if (m.userData)
            writeUserData(w, *m.userData);
        for (auto& u : m.unknownChildren)
            w.raw(u);
        w.end(at);
    }

    void writeTrack(Writer& w, const MVTrackDescription& t)
    {
        size_t at = w.begin(MVFourCC("trak"));
        size_t a = w.begin(MVFourCC("tkhd"));
        const auto& h = t.header;
        bool wide = h.version == 1 || h.duration > UINT32_MAX;
        w.versionFlags(wide ? 1 : 0, h.flags);
        int n = wide ? 8 : 4;
        w.be(h.creationTime, n);
        w.be(h.modificationTime, n);
        w.u32(h.trackID);
        w.u32(h.reserved1);
        w.be(h.duration, n);
        w.bytes(h.reserved2);
        w.u16(uint16_t(h.layer));
        w.u16(uint16_t(h.alternateGroup));
        w.u16(uint16_t(h.volume));
        w.u16(h.reserved3);
        w.matrix(h.matrix);
        w.u32(h.width);
        w.u32(h.height);
        w.end(a);

        if (t.editList) {
            size_t edts = w.begin(MVFourCC("edts"));
            size_t elst = w.begin(MVFourCC("elst"));
            bool wideList = t.editList->version == 1;
            for (auto& e : t.editList->entries)
                wideList = wideList || e.segmentDuration > UINT32_MAX || e.mediaTime > INT32_MAX;
            w.versionFlags(wideList ? 1 : 0, t.editList->flags);
            w.u32(uint32_t(t.editList->entries.size()));
            for (auto& e : t.editList->entries) {
                w.be(e.segmentDuration, wideList ? 8 : 4);
                w.be(uint64_t(e.mediaTime), wideList ? 8 : 4);
                w.u32(uint32_t(e.mediaRate));
            }
            w.end(elst);
            for (auto& u : t.editList->unknownChildren)
                w.raw(u);
            w.end(edts);
        }
        if (!t.references.empty()) {
            size_t tref = w.begin(MVFourCC("tref"));
            for (auto& r : t.references) {
                size_t ra = w.begin(r.type);
                for (auto id : r.trackIDs)
                    w.u32(id);
                w.end(ra);
            }
            w.end(tref);
        }
        writeMedia(w, t.media);
        if (t.userData)
            writeUserData(w, *t.userData);
        if (t.metadata)
            writeMetadata(w, *t.metadata);
        for (auto& u : t.unknownChildren)
            w.raw(u);
        w.end(at);
    }

} // namespace

MVMovieDescription decodeMovieAtomPayload(std::span<const uint8_t> payload)
{
    MVMovieDescription movie;
    bool haveHeader = false;
    for (auto& c : children(payload)) {
        switch (c.type) {
        case MVFourCC("mvhd"):
            movie.header = readMovieHeader(Reader(c.payload));
            haveHeader = true;
            break;
        case MVFourCC("trak"):
            movie.tracks.push_back(readTrack(c.payload));
            break;
        case MVFourCC("udta"):
            movie.userData = readUserData(c.payload);
            break;
        case MVFourCC("meta"):
            movie.metadata = readMetadata(c.payload);
            break;
        default:
            movie.unknownChildren.push_back({ c.type, { c.payload.begin(), c.payload.end() } });
        }
    }
    if (!haveHeader)
        throw Malformed("movie header missing");
    return movie;
}

std::optional<MVMovieDescription> decodeMovieAtom(std::span<const uint8_t> atom, HXError* outError)
{
    auto list = children(atom);
    if (list.size() != 1 || list[0].type != MVFourCC("moov")) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, -2100, "The data is no movie header.");
        return std::nullopt;
    }
    try {
        return decodeMovieAtomPayload(list[0].payload);
    } catch (const std::exception& e) {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, -2101, e.what());
        return std::nullopt;
    }
}

std::optional<MVMovieFileDescription> readMovieFile(const std::string& path, HXError* outError)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return std::nullopt;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer { fd };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (outError)
            *outError = HXError::posix(errno ? errno : EISDIR, path);
        return std::nullopt;
    }
    auto readAt = [fd](uint64_t offset, void* into, size_t length) {
        auto* p = static_cast<uint8_t*>(into);
        while (length > 0) {
            ssize_t n = ::pread(fd, p, length, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            offset += uint64_t(n);
            length -= size_t(n);
        }
        return true;
    };
    auto fail = [&](int64_t code, const std::string& text) -> std::optional<MVMovieFileDescription> {
        if (outError) {
            *outError = HXError::withDescription(HXOSStatusErrorDomain, code, text);
            outError->userInfo()[HXFilePathErrorKey] = path;
        }
        return std::nullopt;
    };

    MVMovieFileDescription file;
    file.fileSize = uint64_t(st.st_size);
    bool haveMovie = false;
    uint64_t pos = 0;
    constexpr uint64_t maxHeaderSize = 256u << 20;
    while (file.fileSize - pos >= 8) {
        uint8_t h[16];
        if (!readAt(pos, h, 8))
            break;
        uint64_t size = Reader({ h, 4 }).u32();
        uint32_t type = uint32_t(Reader({ h + 4, 4 }).u32());
        uint32_t header = 8;
        if (size == 1) {
            if (file.fileSize - pos < 16 || !readAt(pos + 8, h + 8, 8))
                break;
            size = Reader({ h + 8, 8 }).u64();
            header = 16;
        } else if (size == 0) {
            size = file.fileSize - pos;
        }
        if (size < header || size > file.fileSize - pos) {
            file.warnings.push_back("truncated atom at the end of the file");
            break;
        }
        file.topLevelAtoms.push_back({ type, pos, size, header });
        if ((type == MVFourCC("moov") && !haveMovie) || (type == MVFourCC("ftyp") && !file.fileType)) {
            if (size - header > maxHeaderSize)
                return fail(-2103, "The movie header is too large.");
            MVBytes payload(size_t(size - header));
            if (!readAt(pos + header, payload.data(), payload.size()))
                return fail(-2101, "The movie header cannot be read.");
            try {
                if (type == MVFourCC("moov")) {
                    file.movie = decodeMovieAtomPayload(payload);
                    haveMovie = true;
                } else {
                    Reader r(payload);
                    MVFileTypeHeader ft;
                    ft.majorBrand = r.u32();
                    ft.minorVersion = r.u32();
                    while (r.remaining() >= 4)
                        ft.compatibleBrands.push_back(r.u32());
                    file.fileType = ft;
                }
            } catch (const std::exception& e) {
                if (type == MVFourCC("moov"))
                    return fail(-2101, std::string("The movie header is damaged: ") + e.what());
            }
        }
        pos += size;
    }
    if (!haveMovie)
        return fail(-2100, "The file is not a movie file.");
    return file;
}

MVBytes encodeMovieAtom(const MVMovieDescription& movie)
{
    Writer w;
    size_t at = w.begin(MVFourCC("moov"));
    size_t a = w.begin(MVFourCC("mvhd"));
    const auto& h = movie.header;
    bool wide = h.version == 1 || h.duration > UINT32_MAX;
    w.versionFlags(wide ? 1 : 0, h.flags);
    int n = wide ? 8 : 4;
    w.be(h.creationTime, n);
    w.be(h.modificationTime, n);
    w.u32(h.timeScale);
    w.be(h.duration, n);
    w.u32(uint32_t(h.preferredRate));
    w.u16(uint16_t(h.preferredVolume));
    w.bytes(h.reserved);
    w.matrix(h.matrix);
    for (auto v : { h.previewTime, h.previewDuration, h.posterTime, h.selectionTime, h.selectionDuration,
             h.currentTime, h.nextTrackID })
        w.u32(v);
    w.end(a);
    for (auto& t : movie.tracks)
        writeTrack(w, t);
    if (movie.userData)
        writeUserData(w, *movie.userData);
    if (movie.metadata)
        writeMetadata(w, *movie.metadata);
    for (auto& u : movie.unknownChildren)
        w.raw(u);
    w.end(at);
    return std::move(w.out);
}

MVBytes encodeFileTypeAtom(const MVFileTypeHeader& fileType)
{
    Writer w;
    size_t at = w.begin(MVFourCC("ftyp"));
    w.u32(fileType.majorBrand);
    w.u32(fileType.minorVersion);
    for (auto b : fileType.compatibleBrands)
        w.u32(b);
    w.end(at);
    return std::move(w.out);
}

} // namespace mvmodel
