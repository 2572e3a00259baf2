#include "platform/mvkit/import/import_reader.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>

namespace {

// libavformat reads through a buffer of this size.
constexpr int kBufferSize = 64 << 10;

// Part of every cache key: raised when the import rewrites samples differently (times it now gives
// pictures a stream leaves untimed), so that what an older import rewrote is not taken again.
constexpr int kRewriteRevision = 2;

// What bytes in memory name is not theirs to open.
int refuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

} // namespace

MVImportReader::MVImportReader(
    std::shared_ptr<const MVByteSource> bytes, std::string name, std::string cacheKey, bool inMemory)
    : _bytes(std::move(bytes))
    , _name(std::move(name))
    , _cacheKey(std::move(cacheKey))
    , _inMemory(inMemory)
{
}

std::shared_ptr<const MVImportReader> MVImportReader::openFile(const std::string& path, HXError* outError)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return nullptr;
    }
    auto bytes = MVByteSource::openFile(path, outError);
    if (!bytes)
        return nullptr;
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    char key[96];
    std::snprintf(key, sizeof key, "%016zx-%lld-%lld.%09ld-r%d", std::hash<std::string> {}(absolute),
        (long long)info.st_size, (long long)info.st_mtim.tv_sec, (long)info.st_mtim.tv_nsec,
        kRewriteRevision);
    return std::make_shared<MVImportReader>(std::move(bytes), path, key, false);
}

std::shared_ptr<const MVImportReader> MVImportReader::fromMemory(
    std::span<const uint8_t> bytes, std::string name)
{
    std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    char key[64];
    std::snprintf(key, sizeof key, "%016zx-%zu-memory-r%d", std::hash<std::string_view> {}(view),
        bytes.size(), kRewriteRevision);
    return std::make_shared<MVImportReader>(MVByteSource::fromMemory(bytes), std::move(name), key, true);
}

std::unique_ptr<MVImportFormat> MVImportFormat::open(std::shared_ptr<const MVImportReader> reader)
{
    std::unique_ptr<MVImportFormat> format(new MVImportFormat);
    format->_cursor.reader = std::move(reader);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        return nullptr;
    format->_io = avio_alloc_context(buffer, kBufferSize, 0, &format->_cursor, readPacket, nullptr, seek);
    if (!format->_io) {
        av_free(buffer);
        return nullptr;
    }
    format->_context = avformat_alloc_context();
    if (!format->_context)
        return nullptr;
    format->_context->pb = format->_io;
    if (format->_cursor.reader->inMemory())
        format->_context->io_open = refuseToOpen;
    // The name leads libavformat's guess by extension, as a file's path would. On failure it frees the
    // context (not the I/O context, which is ours).
    if (avformat_open_input(&format->_context, format->_cursor.reader->name().c_str(), nullptr, nullptr) < 0)
        return nullptr;
    return format;
}

MVImportFormat::~MVImportFormat()
{
    if (_context)
        avformat_close_input(&_context);
    if (_io) {
        av_freep(&_io->buffer);
        avio_context_free(&_io);
    }
}

int MVImportFormat::readPacket(void* opaque, uint8_t* buffer, int size)
{
    auto* cursor = static_cast<Cursor*>(opaque);
    uint64_t total = cursor->reader->size();
    if (size <= 0 || cursor->position >= total)
        return AVERROR_EOF;
    size_t n = size_t(std::min<uint64_t>(uint64_t(size), total - cursor->position));
    if (!cursor->reader->read(cursor->position, buffer, n))
        return AVERROR(EIO);
    cursor->position += n;
    return int(n);
}

int64_t MVImportFormat::seek(void* opaque, int64_t offset, int whence)
{
    auto* cursor = static_cast<Cursor*>(opaque);
    const int64_t total = int64_t(cursor->reader->size());
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return total;
    int64_t base = whence == SEEK_SET ? 0
        : whence == SEEK_CUR          ? int64_t(cursor->position)
        : whence == SEEK_END          ? total
                                      : -1;
    if (base < 0 || (offset > 0 && offset > INT64_MAX - base) || base + offset < 0)
        return AVERROR(EINVAL);
    cursor->position = uint64_t(base + offset);
    return base + offset;
}
