#pragma once
// What the import of other containers reads: the bytes of a file, or bytes in memory. libavformat reads
// them through an I/O context of ours (MVImportFormat), and the import finds its samples in the same
// bytes with read(), so both ways are one reading.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/atom_reader.h"

#include <memory>
#include <span>
#include <string>

struct AVFormatContext;
struct AVIOContext;

class MVImportReader {
public:
    // The file at `path`; nothing (with the POSIX error) when it cannot be opened. Its size is taken once.
    static std::shared_ptr<const MVImportReader> openFile(const std::string& path, HXError* outError);
    // `bytes`, not copied: they must outlive the reader and every import result made from it (a
    // continuation reads them later). `name` stands for a path: in messages, for the guess by extension,
    // and in the tracks' self references, which resolve to nothing real. Bytes in memory stand alone:
    // nothing they name (a playlist's segments, another file) is opened.
    static std::shared_ptr<const MVImportReader> fromMemory(std::span<const uint8_t> bytes, std::string name);

    const MVByteSource& bytes() const { return *_bytes; }
    uint64_t size() const { return _bytes->size(); }
    // Exactly `length` bytes at `offset`; false past the end or on an error.
    bool read(uint64_t offset, void* into, size_t length) const { return _bytes->read(offset, into, length); }
    // The file's path, or the name given to bytes in memory.
    const std::string& name() const { return _name; }
    // Names the movies the samples of these bytes are rewritten into in the import cache, so that a
    // second import of the same file (path, size and modification time) or the same bytes finds them.
    const std::string& cacheKey() const { return _cacheKey; }
    bool inMemory() const { return _inMemory; }

    // The bytes as a source of their own, for readers that keep them longer than this reader.
    std::shared_ptr<const MVByteSource> source() const { return _bytes; }

    MVImportReader(
        std::shared_ptr<const MVByteSource> bytes, std::string name, std::string cacheKey, bool inMemory);

private:
    std::shared_ptr<const MVByteSource> _bytes;
    std::string _name;
    std::string _cacheKey;
    bool _inMemory = false;
};

// libavformat opened over a reader's bytes: a format context whose I/O context reads them from a
// position of its own (several may be open over one reader).
class MVImportFormat {
public:
    // Nothing when libavformat does not recognise the bytes as a container it reads.
    static std::unique_ptr<MVImportFormat> open(std::shared_ptr<const MVImportReader> reader);
    ~MVImportFormat();
    MVImportFormat(const MVImportFormat&) = delete;
    MVImportFormat& operator=(const MVImportFormat&) = delete;

    AVFormatContext* context() const { return _context; }

private:
    MVImportFormat() = default;
    struct Cursor {
        std::shared_ptr<const MVImportReader> reader;
        uint64_t position = 0;
    };
    static int readPacket(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    Cursor _cursor;
    AVIOContext* _io = nullptr;
    AVFormatContext* _context = nullptr;
};
