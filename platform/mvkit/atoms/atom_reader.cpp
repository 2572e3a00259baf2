#include "platform/mvkit/atoms/atom_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class FileSource final : public MVByteSource {
public:
    FileSource(int fd, uint64_t size)
        : _fd(fd)
        , _size(size)
    {
    }
    ~FileSource() override { ::close(_fd); }
    uint64_t size() const override { return _size; }
    bool read(uint64_t offset, void* into, size_t length) const override
    {
        if (offset > _size || length > _size - offset)
            return false;
        auto* p = static_cast<uint8_t*>(into);
        while (length > 0) {
            ssize_t n = ::pread(_fd, p, length, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            offset += uint64_t(n);
            length -= size_t(n);
        }
        return true;
    }

private:
    int _fd;
    uint64_t _size;
};

class MemorySource final : public MVByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes)
        : _bytes(bytes)
    {
    }
    uint64_t size() const override { return _bytes.size(); }
    bool read(uint64_t offset, void* into, size_t length) const override
    {
        if (offset > _bytes.size() || length > _bytes.size() - offset)
            return false;
        if (length)
            std::memcpy(into, _bytes.data() + offset, length);
        return true;
    }

private:
    std::span<const uint8_t> _bytes;
};

} // namespace

std::unique_ptr<MVByteSource> MVByteSource::openFile(const std::string& path, HXError* outError)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return nullptr;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = errno ? errno : EINVAL;
        ::close(fd);
        if (outError)
            *outError = HXError::posix(S_ISDIR(st.st_mode) ? EISDIR : err, path);
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, uint64_t(st.st_size));
}

std::unique_ptr<MVByteSource> MVByteSource::fromMemory(std::span<const uint8_t> bytes)
{
    return std::make_unique<MemorySource>(bytes);
}

std::optional<MVAtomHeader> MVReadAtomHeader(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 8)
        return std::nullopt;
    MVByteReader r(bytes);
    MVAtomHeader h;
    uint32_t size32 = r.u32();
    h.type = r.u32();
    if (size32 == 1) {
        if (bytes.size() < 16)
            return std::nullopt;
        h.size = r.u64();
        h.headerSize = 16;
    } else if (size32 == 0) {
        h.size = bytes.size();
        h.sizeToEnd = true;
    } else {
        h.size = size32;
    }
    if (h.size < h.headerSize || h.size > bytes.size())
        return std::nullopt;
    return h;
}

std::optional<MVAtomIterator::Child> MVAtomIterator::next()
{
    auto h = MVReadAtomHeader(_payload.subspan(_pos));
    if (!h)
        return std::nullopt;
    Child c { *h, _payload.subspan(_pos + h->headerSize, size_t(h->payloadSize())) };
    _pos += size_t(h->size);
    return c;
}

HXError MVMovieFileError(MVMovieFileStatus status, const std::string& description)
{
    return HXError::withDescription(HXOSStatusErrorDomain, status, description);
}
