#pragma once
// Walking atoms: headers with 32-bit, 64-bit and "to the end" sizes, bounds-checked against the parent.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// Random access to the bytes of a movie: a file (read with pread, never mapped whole) or memory.
class MVByteSource {
public:
    virtual ~MVByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly `length` bytes at `offset`; false on a short read or an error.
    virtual bool read(uint64_t offset, void* into, size_t length) const = 0;

    static std::unique_ptr<MVByteSource> openFile(const std::string& path, HXError* outError);
    static std::unique_ptr<MVByteSource> fromMemory(std::span<const uint8_t> bytes); // not copied
};

// One atom's header as read.
struct MVAtomHeader {
    uint32_t type = 0;
    uint64_t size = 0; // whole atom, header included
    uint32_t headerSize = 8; // 8, or 16 for a 64-bit size
    bool sizeToEnd = false; // the stored size was 0: the atom runs to the end of its parent
    uint64_t payloadSize() const { return size - headerSize; }
};

// Reads the header at the start of `bytes` (which runs to the end of the parent). nullopt when fewer
// than 8 bytes remain, the size is smaller than the header, or the atom runs past the parent.
std::optional<MVAtomHeader> MVReadAtomHeader(std::span<const uint8_t> bytes);

// The children of a payload in order. Stops at the first child whose header does not fit; `trailing()`
// then tells how many bytes were left unread (a classic user data list ends in four zero bytes).
class MVAtomIterator {
public:
    explicit MVAtomIterator(std::span<const uint8_t> payload)
        : _payload(payload)
    {
    }
    struct Child {
        MVAtomHeader header;
        std::span<const uint8_t> payload;
    };
    std::optional<Child> next();
    std::span<const uint8_t> trailing() const { return _payload.subspan(_pos); }

private:
    std::span<const uint8_t> _payload;
    size_t _pos = 0;
};

// Status codes of the movie-file layer (HXOSStatusErrorDomain).
enum MVMovieFileStatus : int64_t {
    MVStatusParameterError = -50,
    MVStatusUserCanceled = -128,
    MVStatusProgressStopped = -2019, // the progress callback asked to stop
    MVStatusNotAMovieFile = -2100, // no 'moov' found, or not an atom file at all
    MVStatusBadMovieFile = -2101, // a 'moov' that cannot be used
    MVStatusUnsupportedImport = -2102,
    MVStatusFileTooLarge = -2103,
};

HXError MVMovieFileError(MVMovieFileStatus status, const std::string& description);
