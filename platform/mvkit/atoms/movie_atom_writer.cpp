#include "platform/mvkit/atoms/movie_atom_writer.h"

#include <algorithm>
#include <functional>
#include <map>

namespace {

void writeAtom(MVByteWriter& w, uint32_t type, const std::function<void()>& body)
{
    size_t start = w.beginAtom(type);
    body();
    w.endAtom(start);
}

void versionFlags(MVByteWriter& w, uint8_t version, uint32_t flags)
{
    w.u8(version);
    w.u24(flags);
}

void writeMatrix(MVByteWriter& w, const MVMatrixRecord& m)
{
    for (auto v : m.values)
        w.s32(v);
}

// Writes a container's children: first in `order` (a parsed type writes the next child of that type,
// 0 the next unknown child), then parsed children not yet written in `canonical` order, then unknown
// children not yet written.
struct ChildWriter {
    MVByteWriter& w;
    const std::vector<uint32_t>& order;
    const std::vector<MVRawAtom>& unknown;
    std::vector<uint32_t> canonical;
    std::function<size_t(uint32_t)> count; // how many children of a parsed type there are
    std::function<void(uint32_t, size_t)> emit; // writes the k-th child of a parsed type
    // Children every such container has. One that a container read from a file (a non-empty order)
    // did not list was missing or unreadable there (then it is among the unknown children): it is not
    // made up.
    std::vector<uint32_t> required = {};

    void run()
    {
        std::map<uint32_t, size_t> used;
        size_t nextUnknown = 0;
        for (uint32_t type : order) {
            if (type == 0 || std::find(canonical.begin(), canonical.end(), type) == canonical.end()) {
                if (nextUnknown < unknown.size())
                    MVWriteRawAtom(w, unknown[nextUnknown++]);
                continue;
            }
            size_t& k = used[type];
            if (k < count(type))
                emit(type, k++);
        }
        for (uint32_t type : canonical) {
            size_t& k = used[type];
            if (k == 0 && !order.empty()
                && std::find(required.begin(), required.end(), type) != required.end())
                continue;
            while (k < count(type))
                emit(type, k++);
        }
        while (nextUnknown < unknown.size())
            MVWriteRawAtom(w, unknown[nextUnknown++]);
    }
};

void writeHandler(MVByteWriter& w, const MVHandler& h)
{
    writeAtom(w, MVFourCC("hdlr"), [&] {
        versionFlags(w, h.version, h.flags);
        w.u32(h.componentType);
        w.u32(h.componentSubtype);
        w.u32(h.componentManufacturer);
        w.u32(h.componentFlags);
        w.u32(h.componentFlagsMask);
        w.bytes(h.name);
    });
}

void writeMovieHeader(MVByteWriter& w, const MVMovieHeader& h)
{
    bool v1 = h.version == 1 || h.creationTime > UINT32_MAX || h.modificationTime > UINT32_MAX
        || h.duration > UINT32_MAX;
    writeAtom(w, MVFourCC("mvhd"), [&] {
        versionFlags(w, v1 ? 1 : 0, h.flags);
        if (v1) {
            w.u64(h.creationTime);
            w.u64(h.modificationTime);
            w.u32(h.timeScale);
            w.u64(h.duration);
        } else {
            w.u32(uint32_t(h.creationTime));
            w.u32(uint32_t(h.modificationTime));
            w.u32(h.timeScale);
            w.u32(uint32_t(h.duration));
        }
        w.s32(h.preferredRate);
        w.s16(h.preferredVolume);
        w.bytes(h.reserved);
        writeMatrix(w, h.matrix);
        w.u32(h.previewTime);
        w.u32(h.previewDuration);
        w.u32(h.posterTime);
        w.u32(h.selectionTime);
        w.u32(h.selectionDuration);
        w.u32(h.currentTime);
        w.u32(h.nextTrackID);
    });
}

void writeTrackHeader(MVByteWriter& w, const MVTrackHeader& h)
{
    bool v1 = h.version == 1 || h.creationTime > UINT32_MAX || h.modificationTime > UINT32_MAX
        || h.duration > UINT32_MAX;
    writeAtom(w, MVFourCC("tkhd"), [&] {
        versionFlags(w, v1 ? 1 : 0, h.flags);
        if (v1) {
            w.u64(h.creationTime);
            w.u64(h.modificationTime);
            w.u32(h.trackID);
            w.u32(h.reserved1);
            w.u64(h.duration);
        } else {
            w.u32(uint32_t(h.creationTime));
            w.u32(uint32_t(h.modificationTime));
            w.u32(h.trackID);
            w.u32(h.reserved1);
            w.u32(uint32_t(h.duration));
        }
        w.bytes(h.reserved2);
        w.s16(h.layer);
        w.s16(h.alternateGroup);
        w.s16(h.volume);
        w.u16(h.reserved3);
        writeMatrix(w, h.matrix);
        w.u32(h.width);
        w.u32(h.height);
    });
}

void writeEdits(MVByteWriter& w, const MVEditList& list)
{
    bool v1 = list.version == 1;
    for (const auto& e : list.entries)
        if (e.segmentDuration > UINT32_MAX || e.mediaTime > INT32_MAX || e.mediaTime < INT32_MIN)
            v1 = true;
    writeAtom(w, MVFourCC("edts"), [&] {
        ChildWriter cw { w, list.childOrder, list.unknownChildren, { MVFourCC("elst") },
            [](uint32_t) { return size_t(1); },
            [&](uint32_t, size_t) {
                writeAtom(w, MVFourCC("elst"), [&] {
                    versionFlags(w, v1 ? 1 : 0, list.flags);
                    w.u32(uint32_t(list.entries.size()));
                    for (const auto& e : list.entries) {
                        if (v1) {
                            w.u64(e.segmentDuration);
                            w.s64(e.mediaTime);
                        } else {
                            w.u32(uint32_t(e.segmentDuration));
                            w.s32(int32_t(e.mediaTime));
                        }
                        w.s32(e.mediaRate);
                    }
                });
            },
            { MVFourCC("elst") } };
        cw.run();
    });
}

void writeMediaHeader(MVByteWriter& w, const MVMediaHeader& h)
{
    bool v1 = h.version == 1 || h.creationTime > UINT32_MAX || h.modificationTime > UINT32_MAX
        || h.duration > UINT32_MAX;
    writeAtom(w, MVFourCC("mdhd"), [&] {
        versionFlags(w, v1 ? 1 : 0, h.flags);
        if (v1) {
            w.u64(h.creationTime);
            w.u64(h.modificationTime);
            w.u32(h.timeScale);
            w.u64(h.duration);
        } else {
            w.u32(uint32_t(h.creationTime));
            w.u32(uint32_t(h.modificationTime));
            w.u32(h.timeScale);
            w.u32(uint32_t(h.duration));
        }
        w.u16(h.language);
        w.u16(h.quality);
    });
}

void writeDataInformation(MVByteWriter& w, const MVDataInformation& info)
{
    writeAtom(w, MVFourCC("dinf"), [&] {
        ChildWriter cw { w, info.childOrder, info.unknownChildren, { MVFourCC("dref") },
            [](uint32_t) { return size_t(1); },
            [&](uint32_t, size_t) {
                writeAtom(w, MVFourCC("dref"), [&] {
                    versionFlags(w, info.version, info.flags);
                    w.u32(uint32_t(info.entries.size()));
                    for (const auto& e : info.entries) {
                        writeAtom(w, e.type, [&] {
                            versionFlags(w, e.version, e.flags);
                            w.bytes(e.data);
                        });
                    }
                });
            },
            { MVFourCC("dref") } };
        cw.run();
    });
}

template<typename T, typename WriteOne>
void writeTableAtom(
    MVByteWriter& w, uint32_t type, uint8_t version, const std::vector<T>& rows, WriteOne&& one)
{
    writeAtom(w, type, [&] {
        versionFlags(w, version, 0);
        w.u32(uint32_t(rows.size()));
        for (const auto& row : rows)
            one(row);
    });
}

void writeSampleTable(MVByteWriter& w, const MVSampleTable& t)
{
    bool co64 = MVSampleTableNeeds64BitOffsets(t);
    std::vector<uint32_t> canonical
        = { MVFourCC("stsd"), MVFourCC("stts"), MVFourCC("ctts"), MVFourCC("stss"), MVFourCC("stps"),
              MVFourCC("sdtp"), MVFourCC("stsc"), MVFourCC("stsz"), MVFourCC("stco") };
    // Names as read map onto the slots we write.
    std::vector<uint32_t> order = t.childOrder;
    for (auto& type : order) {
        if (type == MVFourCC("stz2"))
            type = MVFourCC("stsz");
        else if (type == MVFourCC("co64"))
            type = MVFourCC("stco");
    }
    writeAtom(w, MVFourCC("stbl"), [&] {
        ChildWriter cw { w, order, t.unknownChildren, canonical,
            [&](uint32_t type) -> size_t {
                switch (type) {
                case MVFourCC("ctts"):
                    return t.hasCompositionOffsets;
                case MVFourCC("stss"):
                    return t.hasSyncSamples;
                case MVFourCC("stps"):
                    return t.hasPartialSyncSamples;
                case MVFourCC("sdtp"):
                    return t.sampleDependencyFlags.has_value();
                default:
                    return 1;
                }
            },
            [&](uint32_t type, size_t) {
                switch (type) {
                case MVFourCC("stsd"):
                    writeAtom(w, type, [&] {
                        versionFlags(w, t.sampleDescriptionVersion, t.sampleDescriptionFlags);
                        w.u32(uint32_t(t.sampleDescriptions.size()));
                        for (const auto& d : t.sampleDescriptions) {
                            w.u32(uint32_t(16 + d.data.size()));
                            w.u32(d.format);
                            w.bytes(d.reserved);
                            w.u16(d.dataReferenceIndex);
                            w.bytes(d.data);
                        }
                    });
                    break;
                case MVFourCC("stts"):
                    writeTableAtom(w, type, 0, t.timeToSample, [&](const MVTimeToSampleEntry& e) {
                        w.u32(e.sampleCount);
                        w.u32(e.sampleDuration);
                    });
                    break;
                case MVFourCC("ctts"):
                    writeTableAtom(w, type, t.compositionOffsetVersion, t.compositionOffsets,
                        [&](const MVCompositionOffsetEntry& e) {
                            w.u32(e.sampleCount);
                            w.s32(e.offset);
                        });
                    break;
                case MVFourCC("stss"):
                    writeTableAtom(w, type, 0, t.syncSamples, [&](uint32_t s) { w.u32(s); });
                    break;
                case MVFourCC("stps"):
                    writeTableAtom(w, type, 0, t.partialSyncSamples, [&](uint32_t s) { w.u32(s); });
                    break;
                case MVFourCC("sdtp"):
                    MVWriteRawAtom(w, MVRawAtom { type, *t.sampleDependencyFlags });
                    break;
                case MVFourCC("stsc"):
                    writeTableAtom(w, type, 0, t.sampleToChunk, [&](const MVSampleToChunkEntry& e) {
                        w.u32(e.firstChunk);
                        w.u32(e.samplesPerChunk);
                        w.u32(e.sampleDescriptionIndex);
                    });
                    break;
                case MVFourCC("stsz"):
                    writeAtom(w, type, [&] {
                        versionFlags(w, 0, 0);
                        w.u32(t.constantSampleSize);
                        w.u32(t.sampleCount);
                        if (t.constantSampleSize == 0)
                            for (auto s : t.sampleSizes)
                                w.u32(s);
                    });
                    break;
                case MVFourCC("stco"):
                    if (co64)
                        writeTableAtom(w, MVFourCC("co64"), 0, t.chunkOffsets, [&](uint64_t o) { w.u64(o); });
                    else
                        writeTableAtom(w, type, 0, t.chunkOffsets, [&](uint64_t o) { w.u32(uint32_t(o)); });
                    break;
                }
            },
            { MVFourCC("stsd"), MVFourCC("stts"), MVFourCC("stsc"), MVFourCC("stsz"), MVFourCC("stco") } };
        cw.run();
    });
}

void writeUserData(MVByteWriter& w, const MVUserData& ud)
{
    writeAtom(w, MVFourCC("udta"), [&] {
        for (const auto& item : ud.items)
            MVWriteRawAtom(w, MVRawAtom { item.type, item.data });
        if (ud.hasTerminator)
            w.u32(0);
    });
}

void writeMetadata(MVByteWriter& w, const MVMetadata& meta)
{
    bool byIndex = meta.handler.componentSubtype == MVFourCC("mdta");
    // The keys as read, then the keys of items that are not among them.
    std::vector<MVMetadataKey> keys = meta.keys;
    std::vector<uint32_t> itemTypes;
    for (const auto& item : meta.items) {
        const auto& k = item.key;
        if (k.keyNamespace == 0 && k.keyValue.size() == 4) {
            itemTypes.push_back(uint32_t(k.keyValue[0]) << 24 | uint32_t(k.keyValue[1]) << 16
                | uint32_t(k.keyValue[2]) << 8 | k.keyValue[3]);
            continue;
        }
        if (!byIndex) {
            itemTypes.push_back(0);
            continue;
        }
        auto it = std::find(keys.begin(), keys.end(), k);
        if (it == keys.end()) {
            keys.push_back(k);
            it = keys.end() - 1;
        }
        itemTypes.push_back(uint32_t(it - keys.begin()) + 1);
    }
    auto listed = [&](uint32_t type) {
        return std::find(meta.childOrder.begin(), meta.childOrder.end(), type) != meta.childOrder.end();
    };
    bool writeKeys = !keys.empty() || listed(MVFourCC("keys"));
    bool writeItems = !meta.items.empty() || listed(MVFourCC("ilst"));
    writeAtom(w, MVFourCC("meta"), [&] {
        if (meta.isFullAtom)
            w.u32(meta.versionAndFlags);
        ChildWriter cw { w, meta.childOrder, meta.unknownChildren,
            { MVFourCC("hdlr"), MVFourCC("keys"), MVFourCC("ilst") },
            [&](uint32_t type) -> size_t {
                if (type == MVFourCC("keys"))
                    return writeKeys;
                if (type == MVFourCC("ilst"))
                    return writeItems;
                return 1;
            },
            [&](uint32_t type, size_t) {
                if (type == MVFourCC("hdlr")) {
                    writeHandler(w, meta.handler);
                } else if (type == MVFourCC("keys")) {
                    writeAtom(w, type, [&] {
                        versionFlags(w, 0, 0);
                        w.u32(uint32_t(keys.size()));
                        for (const auto& k : keys) {
                            w.u32(uint32_t(8 + k.keyValue.size()));
                            w.u32(k.keyNamespace);
                            w.bytes(k.keyValue);
                        }
                    });
                } else {
                    writeAtom(w, type, [&] {
                        for (size_t i = 0; i < meta.items.size(); ++i) {
                            const auto& item = meta.items[i];
                            writeAtom(w, itemTypes[i], [&] {
                                for (const auto& v : item.values) {
                                    writeAtom(w, MVFourCC("data"), [&] {
                                        w.u32(uint32_t(v.typeSet) << 24 | (v.dataType & 0xFFFFFF));
                                        w.u32(v.locale);
                                        w.bytes(v.bytes);
                                    });
                                }
                                for (const auto& o : item.otherChildren)
                                    MVWriteRawAtom(w, o);
                            });
                        }
                    });
                }
            },
            { MVFourCC("hdlr") } };
        cw.run();
    });
}

void writeMediaInformation(MVByteWriter& w, const MVMediaInformation& info)
{
    writeAtom(w, MVFourCC("minf"), [&] {
        uint32_t headerType = info.header.type;
        std::vector<uint32_t> canonical;
        if (headerType)
            canonical.push_back(headerType);
        canonical.insert(canonical.end(), { MVFourCC("hdlr"), MVFourCC("dinf"), MVFourCC("stbl") });
        ChildWriter cw { w, info.childOrder, info.unknownChildren, canonical,
            [&](uint32_t type) -> size_t {
                return type == MVFourCC("hdlr") ? info.dataHandler.has_value() : 1;
            },
            [&](uint32_t type, size_t) {
                if (type == headerType)
                    MVWriteRawAtom(w, MVRawAtom { headerType, info.header.payload });
                else if (type == MVFourCC("hdlr"))
                    writeHandler(w, *info.dataHandler);
                else if (type == MVFourCC("dinf"))
                    writeDataInformation(w, info.dataInformation);
                else
                    writeSampleTable(w, info.sampleTable);
            },
            { headerType, MVFourCC("dinf"), MVFourCC("stbl") } };
        cw.run();
    });
}

void writeMedia(MVByteWriter& w, const MVMediaDescription& media)
{
    writeAtom(w, MVFourCC("mdia"), [&] {
        ChildWriter cw { w, media.childOrder, media.unknownChildren,
            { MVFourCC("mdhd"), MVFourCC("hdlr"), MVFourCC("minf"), MVFourCC("udta") },
            [&](uint32_t type) -> size_t {
                return type == MVFourCC("udta") ? media.userData.has_value() : 1;
            },
            [&](uint32_t type, size_t) {
                switch (type) {
                case MVFourCC("mdhd"):
                    writeMediaHeader(w, media.header);
                    break;
                case MVFourCC("hdlr"):
                    writeHandler(w, media.handler);
                    break;
                case MVFourCC("minf"):
                    writeMediaInformation(w, media.information);
                    break;
                default:
                    writeUserData(w, *media.userData);
                }
            },
            { MVFourCC("mdhd"), MVFourCC("hdlr"), MVFourCC("minf") } };
        cw.run();
    });
}

void writeTrack(MVByteWriter& w, const MVTrackDescription& track)
{
    writeAtom(w, MVFourCC("trak"), [&] {
        ChildWriter cw { w, track.childOrder, track.unknownChildren,
            { MVFourCC("tkhd"), MVFourCC("tref"), MVFourCC("edts"), MVFourCC("mdia"), MVFourCC("udta"),
                MVFourCC("meta") },
            [&](uint32_t type) -> size_t {
                switch (type) {
                case MVFourCC("tref"):
                    return !track.references.empty();
                case MVFourCC("edts"):
                    return track.editList.has_value();
                case MVFourCC("udta"):
                    return track.userData.has_value();
                case MVFourCC("meta"):
                    return track.metadata.has_value();
                default:
                    return 1;
                }
            },
            [&](uint32_t type, size_t) {
                switch (type) {
                case MVFourCC("tkhd"):
                    writeTrackHeader(w, track.header);
                    break;
                case MVFourCC("tref"):
                    writeAtom(w, type, [&] {
                        for (const auto& ref : track.references) {
                            writeAtom(w, ref.type, [&] {
                                for (auto id : ref.trackIDs)
                                    w.u32(id);
                            });
                        }
                    });
                    break;
                case MVFourCC("edts"):
                    writeEdits(w, *track.editList);
                    break;
                case MVFourCC("mdia"):
                    writeMedia(w, track.media);
                    break;
                case MVFourCC("udta"):
                    writeUserData(w, *track.userData);
                    break;
                default:
                    writeMetadata(w, *track.metadata);
                }
            },
            { MVFourCC("tkhd"), MVFourCC("mdia") } };
        cw.run();
    });
}

void writeReferenceDescriptor(MVByteWriter& w, const MVReferenceMovieDescriptor& d)
{
    writeAtom(w, MVFourCC("rmda"), [&] {
        ChildWriter cw { w, d.childOrder, d.otherChildren, { MVFourCC("rdrf"), MVFourCC("rmdr") },
            [&](uint32_t type) -> size_t {
                return type == MVFourCC("rdrf") ? d.hasDataReference : d.dataRate.has_value();
            },
            [&](uint32_t type, size_t) {
                writeAtom(w, type, [&] {
                    if (type == MVFourCC("rdrf")) {
                        w.u32(d.dataReferenceFlags);
                        w.u32(d.dataReferenceType);
                        w.u32(uint32_t(d.dataReference.size()));
                        w.bytes(d.dataReference);
                    } else {
                        w.u32(0);
                        w.s32(*d.dataRate);
                    }
                });
            } };
        cw.run();
    });
}

void writeMovie(MVByteWriter& w, const MVMovieDescription& movie)
{
    writeAtom(w, MVFourCC("moov"), [&] {
        // A reference movie is a bare 'moov' > 'rmra'; it has no header unless the source had one.
        bool onlyReferences = movie.hasReferenceMovieRecord && movie.tracks.empty()
            && !movie.childOrder.empty()
            && std::find(movie.childOrder.begin(), movie.childOrder.end(), MVFourCC("mvhd"))
                == movie.childOrder.end();
        ChildWriter cw { w, movie.childOrder, movie.unknownChildren,
            { MVFourCC("mvhd"), MVFourCC("trak"), MVFourCC("udta"), MVFourCC("meta"), MVFourCC("rmra") },
            [&](uint32_t type) -> size_t {
                switch (type) {
                case MVFourCC("mvhd"):
                    return onlyReferences ? 0 : 1;
                case MVFourCC("trak"):
                    return movie.tracks.size();
                case MVFourCC("udta"):
                    return movie.userData.has_value();
                case MVFourCC("meta"):
                    return movie.metadata.has_value();
                default:
                    return movie.hasReferenceMovieRecord;
                }
            },
            [&](uint32_t type, size_t k) {
                switch (type) {
                case MVFourCC("mvhd"):
                    writeMovieHeader(w, movie.header);
                    break;
                case MVFourCC("trak"):
                    writeTrack(w, movie.tracks[k]);
                    break;
                case MVFourCC("udta"):
                    writeUserData(w, *movie.userData);
                    break;
                case MVFourCC("meta"):
                    writeMetadata(w, *movie.metadata);
                    break;
                default:
                    writeAtom(w, MVFourCC("rmra"), [&] {
                        for (const auto& d : movie.referenceMovies)
                            writeReferenceDescriptor(w, d);
                    });
                }
            },
            { MVFourCC("mvhd") } };
        cw.run();
    });
}

} // namespace

void MVWriteRawAtom(MVByteWriter& w, const MVRawAtom& atom)
{
    uint64_t size = 8 + uint64_t(atom.payload.size());
    if (size > UINT32_MAX) {
        w.u32(1);
        w.u32(atom.type);
        w.u64(size + 8);
    } else {
        w.u32(uint32_t(size));
        w.u32(atom.type);
    }
    w.bytes(atom.payload);
}

bool MVSampleTableNeeds64BitOffsets(const MVSampleTable& table)
{
    return table.uses64BitChunkOffsets
        || std::any_of(
            table.chunkOffsets.begin(), table.chunkOffsets.end(), [](uint64_t o) { return o > UINT32_MAX; });
}

MVBytes MVSerializeMovieAtom(const MVMovieDescription& movie)
{
    MVByteWriter w;
    writeMovie(w, movie);
    return std::move(w.buffer());
}

MVBytes MVSerializeFileTypeAtom(const MVFileTypeHeader& f)
{
    MVByteWriter w;
    writeAtom(w, MVFourCC("ftyp"), [&] {
        w.u32(f.majorBrand);
        w.u32(f.minorVersion);
        for (auto b : f.compatibleBrands)
            w.u32(b);
    });
    return std::move(w.buffer());
}

MVBytes MVSerializeTrackAtom(const MVTrackDescription& track)
{
    MVByteWriter w;
    writeTrack(w, track);
    return std::move(w.buffer());
}

MVBytes MVSerializeSampleTableAtom(const MVSampleTable& table)
{
    MVByteWriter w;
    writeSampleTable(w, table);
    return std::move(w.buffer());
}

MVBytes MVSerializeUserDataAtom(const MVUserData& userData)
{
    MVByteWriter w;
    writeUserData(w, userData);
    return std::move(w.buffer());
}

MVBytes MVSerializeMetadataAtom(const MVMetadata& metadata)
{
    MVByteWriter w;
    writeMetadata(w, metadata);
    return std::move(w.buffer());
}
