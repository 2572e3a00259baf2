#include "platform/mvkit/atoms/movie_file_writer.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>

namespace {

namespace fs = std::filesystem;

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int f = -1)
        : fd(f)
    {
    }
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

bool writeAll(int fd, const uint8_t* data, size_t size, uint64_t offset)
{
    while (size > 0) {
        ssize_t n = ::pwrite(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool readAll(int fd, uint8_t* data, size_t size, uint64_t offset)
{
    while (size > 0) {
        ssize_t n = ::pread(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

void syncFolder(const fs::path& file)
{
    FileDescriptor dir(::open(
        file.parent_path().empty() ? "." : file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}

MVBytes mediaDataHeader(uint64_t payloadSize)
{
    MVByteWriter w;
    if (payloadSize + 8 > UINT32_MAX) {
        w.u32(1);
        w.u32(MVFourCC("mdat"));
        w.u64(payloadSize + 16);
    } else {
        w.u32(uint32_t(payloadSize + 8));
        w.u32(MVFourCC("mdat"));
    }
    return std::move(w.buffer());
}

bool fail(HXError* outError, HXError error)
{
    if (outError)
        *outError = std::move(error);
    return false;
}

} // namespace

bool MVWriteMovieFile(const std::string& path, MVMovieFileDescription& file, const MVMediaDataLayout& layout,
    HXError* outError, const MVMovieFileWriteOptions& options)
{
    auto& tracks = file.movie.tracks;
    std::vector<uint64_t> chunkSizes;
    uint64_t mediaBytes = 0;
    for (const auto& c : layout.chunks) {
        if (c.track >= tracks.size()
            || c.chunk >= tracks[c.track].media.information.sampleTable.chunkOffsets.size())
            return fail(outError,
                MVMovieFileError(
                    MVStatusParameterError, "The layout names a chunk the movie does not have."));
        uint64_t size = 0;
        for (const auto& p : c.pieces) {
            if (p.source >= layout.sourcePaths.size())
                return fail(outError,
                    MVMovieFileError(
                        MVStatusParameterError, "The layout names a source file it does not list."));
            size += p.size;
        }
        chunkSizes.push_back(size);
        mediaBytes += size;
    }
    bool writeMediaData = !layout.chunks.empty();
    MVBytes mdatHeader = writeMediaData ? mediaDataHeader(mediaBytes) : MVBytes();
    MVBytes ftyp = file.fileType ? MVSerializeFileTypeAtom(*file.fileType) : MVBytes();
    MVBytes extras;
    {
        MVByteWriter w;
        for (const auto& a : file.topLevelUnknownAtoms)
            MVWriteRawAtom(w, a);
        extras = std::move(w.buffer());
    }

    // The chunk offsets depend on the size of 'moov', which depends on whether they need 64 bits: settle
    // both (the header only grows, so this ends after a few rounds).
    MVBytes moov;
    uint64_t previousSize = 0;
    for (int round = 0; round < 8; ++round) {
        try {
            moov = MVSerializeMovieAtom(file.movie);
        } catch (const std::length_error&) {
            return fail(
                outError, MVMovieFileError(MVStatusFileTooLarge, "The movie header is too large to write."));
        }
        if (moov.size() == previousSize)
            break;
        previousSize = moov.size();
        uint64_t offset = ftyp.size() + moov.size() + extras.size() + mdatHeader.size();
        for (size_t i = 0; i < layout.chunks.size(); ++i) {
            const auto& c = layout.chunks[i];
            tracks[c.track].media.information.sampleTable.chunkOffsets[c.chunk] = offset;
            offset += chunkSizes[i];
        }
    }

    fs::path target(path);
    std::string tmpl = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty())
        tmpl = "." + target.filename().string() + ".XXXXXX";
    FileDescriptor out(::mkostemp(tmpl.data(), O_CLOEXEC));
    if (out.fd < 0)
        return fail(outError, HXError::posix(errno, path));
    struct Cleanup {
        std::string path;
        bool keep = false;
        ~Cleanup()
        {
            if (!keep)
                ::unlink(path.c_str());
        }
    } cleanup { tmpl };

    uint64_t position = 0;
    auto put = [&](const MVBytes& bytes) {
        bool ok = writeAll(out.fd, bytes.data(), bytes.size(), position);
        position += bytes.size();
        return ok;
    };
    if (!put(ftyp) || !put(moov) || !put(extras) || !put(mdatHeader))
        return fail(outError, HXError::posix(errno ? errno : EIO, path));

    std::map<uint32_t, std::unique_ptr<FileDescriptor>> sources;
    std::vector<uint8_t> buffer(std::max<size_t>(options.copyBufferSize, 4096));
    uint64_t copied = 0;
    if (options.progress && !options.progress(0.0))
        return fail(outError, MVMovieFileError(MVStatusProgressStopped, "The write was canceled."));
    for (const auto& c : layout.chunks) {
        for (const auto& p : c.pieces) {
            auto& src = sources[p.source];
            if (!src) {
                src = std::make_unique<FileDescriptor>(
                    ::open(layout.sourcePaths[p.source].c_str(), O_RDONLY | O_CLOEXEC));
                if (src->fd < 0)
                    return fail(outError, HXError::posix(errno, layout.sourcePaths[p.source]));
            }
            uint64_t done = 0;
            while (done < p.size) {
                size_t n = size_t(std::min<uint64_t>(buffer.size(), p.size - done));
                if (!readAll(src->fd, buffer.data(), n, p.offset + done))
                    return fail(outError,
                        MVMovieFileError(MVStatusBadMovieFile,
                            "The samples in " + layout.sourcePaths[p.source] + " could not be read."));
                if (!writeAll(out.fd, buffer.data(), n, position))
                    return fail(outError, HXError::posix(errno ? errno : EIO, path));
                position += n;
                done += n;
                copied += n;
                if (options.progress
                    && !options.progress(mediaBytes ? double(copied) / double(mediaBytes) : 1.0))
                    return fail(
                        outError, MVMovieFileError(MVStatusProgressStopped, "The write was canceled."));
            }
        }
    }
    if (::fsync(out.fd) != 0)
        return fail(outError, HXError::posix(errno, path));
    // mkstemp makes the file 0600; a movie gets the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(out.fd, 0666 & ~mask);
    if (::rename(tmpl.c_str(), path.c_str()) != 0)
        return fail(outError, HXError::posix(errno, path));
    cleanup.keep = true;
    syncFolder(target);
    if (options.progress)
        options.progress(1.0);

    file.fileSize = position;
    file.topLevelAtoms.clear();
    uint64_t at = 0;
    auto list = [&](uint32_t type, uint64_t size, uint32_t headerSize) {
        if (size)
            file.topLevelAtoms.push_back(MVAtomLocation { type, at, size, headerSize });
        at += size;
    };
    list(MVFourCC("ftyp"), ftyp.size(), 8);
    list(MVFourCC("moov"), moov.size(), 8);
    for (const auto& a : file.topLevelUnknownAtoms)
        list(a.type, a.payload.size() + 8 > UINT32_MAX ? a.payload.size() + 16 : a.payload.size() + 8,
            a.payload.size() + 8 > UINT32_MAX ? 16 : 8);
    if (writeMediaData)
        list(MVFourCC("mdat"), mdatHeader.size() + mediaBytes, uint32_t(mdatHeader.size()));
    return true;
}

bool MVMakeSelfContainedLayout(
    MVMovieFileDescription& file, const std::string& sourcePath, MVMediaDataLayout& layout, HXError* outError)
{
    struct Placed {
        double start;
        MVChunkPlacement placement;
    };
    std::vector<Placed> placed;
    std::map<std::string, uint32_t> sourceIndex;
    layout = {};
    for (uint32_t t = 0; t < file.movie.tracks.size(); ++t) {
        auto& track = file.movie.tracks[t];
        const auto& table = track.media.information.sampleTable;
        MVSampleTableIndex index(table);
        if (!index.problems().empty() || index.chunkCount() != table.chunkOffsets.size())
            return fail(outError,
                MVMovieFileError(MVStatusBadMovieFile,
                    "The sample table of track " + std::to_string(track.header.trackID) + " is damaged: "
                        + (index.problems().empty() ? std::string("chunks without samples")
                                                    : index.problems().front())));
        double scale = track.media.header.timeScale ? double(track.media.header.timeScale) : 1.0;
        const auto& refs = track.media.information.dataInformation.entries;
        for (uint32_t c = 0; c < index.chunkCount(); ++c) {
            auto chunk = *index.chunk(c);
            uint32_t d = chunk.sampleDescriptionIndex;
            if (d < 1 || d > table.sampleDescriptions.size())
                return fail(outError,
                    MVMovieFileError(
                        MVStatusBadMovieFile, "A chunk names a sample description the track does not have."));
            uint32_t r = table.sampleDescriptions[d - 1].dataReferenceIndex;
            if (r < 1 || r > refs.size())
                return fail(outError,
                    MVMovieFileError(MVStatusBadMovieFile,
                        "A sample description names a data reference the track does not have."));
            auto resolved = MVResolveDataReference(refs[r - 1], sourcePath);
            if (!resolved)
                return fail(outError,
                    MVMovieFileError(MVStatusBadMovieFile,
                        "The samples of track " + std::to_string(track.header.trackID)
                            + " are in a place that cannot be read."));
            auto [it, added] = sourceIndex.try_emplace(*resolved, uint32_t(layout.sourcePaths.size()));
            if (added)
                layout.sourcePaths.push_back(*resolved);
            double start = chunk.sampleCount
                ? double(index.timingForSample(chunk.firstSample)->decodeTime) / scale
                : 0.0;
            placed.push_back(Placed { start,
                MVChunkPlacement { t, c, { MVMediaDataPiece { it->second, chunk.offset, chunk.size } } } });
        }
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.start < b.start || (a.start == b.start && a.placement.track < b.placement.track);
    });
    for (auto& p : placed)
        layout.chunks.push_back(std::move(p.placement));
    for (auto& track : file.movie.tracks) {
        auto& info = track.media.information;
        info.dataInformation.entries = { MVMakeSelfDataReference() };
        for (auto& d : info.sampleTable.sampleDescriptions)
            d.dataReferenceIndex = 1;
    }
    return true;
}

void MVReferenceSamplesInPlace(
    MVMovieFileDescription& file, const std::string& sourcePath, const std::string& moviePath)
{
    std::string absoluteSource = fs::absolute(sourcePath).lexically_normal().string();
    std::string absoluteMovie = fs::absolute(moviePath).lexically_normal().string();
    for (auto& track : file.movie.tracks) {
        for (auto& entry : track.media.information.dataInformation.entries) {
            if (entry.type != MVFourCC("alis") && !(entry.flags & MVDataReferenceSelfReferenceFlag))
                continue;
            auto resolved = MVResolveDataReference(entry, absoluteSource);
            if (resolved)
                entry = MVMakeFileDataReference(
                    fs::absolute(*resolved).lexically_normal().string(), absoluteMovie);
        }
    }
}

namespace {

struct TopLevelScan {
    std::vector<MVAtomLocation> atoms;
    std::vector<bool> sizeToEnd;
    bool clean = true; // every byte of the file belongs to a complete atom
};

TopLevelScan scanTopLevel(int fd, uint64_t fileSize)
{
    TopLevelScan scan;
    uint64_t offset = 0;
    while (offset < fileSize) {
        uint8_t buf[16];
        size_t avail = size_t(std::min<uint64_t>(16, fileSize - offset));
        if (avail < 8 || !readAll(fd, buf, avail, offset)) {
            scan.clean = false;
            break;
        }
        MVByteReader r(std::span<const uint8_t>(buf, avail));
        MVAtomLocation loc;
        loc.offset = offset;
        uint32_t size32 = r.u32();
        loc.type = r.u32();
        bool toEnd = size32 == 0;
        if (size32 == 1) {
            if (avail < 16) {
                scan.clean = false;
                break;
            }
            loc.size = r.u64();
            loc.headerSize = 16;
        } else {
            loc.size = toEnd ? fileSize - offset : size32;
        }
        if (loc.size < loc.headerSize || loc.size > fileSize - offset) {
            scan.clean = false;
            break;
        }
        scan.atoms.push_back(loc);
        scan.sizeToEnd.push_back(toEnd);
        offset += loc.size;
    }
    return scan;
}

bool isFree(uint32_t type)
{
    return type == MVFourCC("free") || type == MVFourCC("skip") || type == MVFourCC("wide");
}

} // namespace

bool MVCanUpdateMovieFileInPlace(const std::string& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    struct stat st { };
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    auto scan = scanTopLevel(fd.fd, uint64_t(st.st_size));
    int moovs = 0;
    for (size_t i = 0; i < scan.atoms.size(); ++i)
        if (scan.atoms[i].type == MVFourCC("moov")) {
            ++moovs;
            if (scan.sizeToEnd[i])
                return false;
        }
    return scan.clean && moovs == 1;
}

bool MVUpdateMovieFileInPlace(const std::string& path, const MVMovieDescription& movie, HXError* outError)
{
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    struct stat st { };
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0)
        return fail(outError, HXError::posix(errno, path));
    uint64_t fileSize = uint64_t(st.st_size);
    auto scan = scanTopLevel(fd.fd, fileSize);
    std::optional<size_t> oldMoov;
    for (size_t i = 0; i < scan.atoms.size(); ++i) {
        if (scan.atoms[i].type != MVFourCC("moov"))
            continue;
        if (oldMoov || scan.sizeToEnd[i])
            return fail(outError,
                MVMovieFileError(MVStatusBadMovieFile, "The movie file cannot be updated in place."));
        oldMoov = i;
    }
    if (!scan.clean || !oldMoov)
        return fail(
            outError, MVMovieFileError(MVStatusBadMovieFile, "The movie file cannot be updated in place."));

    MVBytes moov;
    try {
        moov = MVSerializeMovieAtom(movie);
    } catch (const std::length_error&) {
        return fail(
            outError, MVMovieFileError(MVStatusFileTooLarge, "The movie header is too large to write."));
    }
    uint64_t m = moov.size();

    // The smallest free atom that takes the header exactly, or with room for a free atom after it.
    std::optional<size_t> region;
    for (size_t i = 0; i < scan.atoms.size(); ++i) {
        const auto& a = scan.atoms[i];
        // Only free atoms with an 8-byte header: the body written after it must not touch its size.
        if (!isFree(a.type) || a.headerSize != 8 || !(a.size == m || a.size >= m + 8))
            continue;
        if (!region || a.size < scan.atoms[*region].size)
            region = i;
    }

    auto sync = [&] { return ::fsync(fd.fd) == 0; };
    if (region) {
        const auto& a = scan.atoms[*region];
        // While the body is written the region is still a free atom as a whole; the 8 header bytes make
        // it the new header in one write.
        if (a.size > m) {
            MVByteWriter w;
            uint64_t rest = a.size - m;
            if (rest > UINT32_MAX) {
                w.u32(1);
                w.u32(MVFourCC("free"));
                w.u64(rest);
            } else {
                w.u32(uint32_t(rest));
                w.u32(MVFourCC("free"));
            }
            if (!writeAll(fd.fd, w.buffer().data(), w.size(), a.offset + m))
                return fail(outError, HXError::posix(errno ? errno : EIO, path));
        }
        if (!writeAll(fd.fd, moov.data() + 8, size_t(m - 8), a.offset + 8) || !sync())
            return fail(outError, HXError::posix(errno ? errno : EIO, path));
        if (!writeAll(fd.fd, moov.data(), 8, a.offset) || !sync())
            return fail(outError, HXError::posix(errno ? errno : EIO, path));
    } else {
        if (!writeAll(fd.fd, moov.data(), moov.size(), fileSize) || !sync()) {
            int err = errno ? errno : EIO;
            // Leave the file as it was: the partial tail is not an atom of the old file.
            if (::ftruncate(fd.fd, off_t(fileSize)) == 0)
                sync();
            return fail(outError, HXError::posix(err, path));
        }
    }
    // Retire the old header: its type becomes 'free'.
    uint8_t freeType[4] = { 'f', 'r', 'e', 'e' };
    if (!writeAll(fd.fd, freeType, 4, scan.atoms[*oldMoov].offset + 4) || !sync())
        return fail(outError, HXError::posix(errno ? errno : EIO, path));
    return true;
}
