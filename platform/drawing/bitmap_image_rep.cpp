#include "platform/drawing/bitmap_image_rep.h"

#include "platform/drawing/graphics_context.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A PNG may not ask for more pixels than this (256 MB of memory), whatever its sides.
constexpr uint64_t maximumPixelCount = uint64_t(1) << 26;

constexpr uint8_t pngSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };

uint32_t bigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Checks the signature and the image header before handing the bytes to the decoder, so that a file that
// claims an absurd size is refused instead of allocated.
bool plausiblePNG(const HXData& data)
{
    const auto& b = data.bytes;
    if (b.size() < 33 || std::memcmp(b.data(), pngSignature, 8) != 0
        || std::memcmp(b.data() + 12, "IHDR", 4) != 0)
        return false;
    uint32_t w = bigEndian32(b.data() + 16), h = bigEndian32(b.data() + 20);
    return w > 0 && h > 0 && w <= uint32_t(HXBitmapImageRep::maximumPixelExtent)
        && h <= uint32_t(HXBitmapImageRep::maximumPixelExtent) && uint64_t(w) * h <= maximumPixelCount;
}

struct ReadCursor {
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
};

cairo_status_t readFromCursor(void* closure, unsigned char* out, unsigned int length)
{
    auto* cursor = static_cast<ReadCursor*>(closure);
    if (cursor->size - cursor->offset < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, cursor->data + cursor->offset, length);
    cursor->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// An ARGB32 copy of any image surface (null on failure).
cairo_surface_t* argbCopy(cairo_surface_t* source)
{
    int w = cairo_image_surface_get_width(source), h = cairo_image_surface_get_height(source);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(copy);
        return nullptr;
    }
    cairo_t* cr = cairo_create(copy);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(copy);
    return copy;
}

HXError corruptImageError(const std::string& path)
{
    HXError e = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadCorruptFileError,
        path.empty() ? "The image data is not a readable PNG image."
                     : "The file " + path + " is not a readable PNG image.");
    if (!path.empty())
        e.userInfo()[HXFilePathErrorKey] = path;
    return e;
}

std::shared_ptr<HXBitmapImageRep> decodePNG(const HXData& data, const std::string& path, HXError* error)
{
    if (!plausiblePNG(data)) {
        if (error)
            *error = corruptImageError(path);
        return nullptr;
    }
    ReadCursor cursor { data.bytes.data(), data.bytes.size() };
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readFromCursor, &cursor);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        if (error)
            *error = corruptImageError(path);
        return nullptr;
    }
    auto rep = HXBitmapImageRep::imageRepWithCairoSurface(surface);
    cairo_surface_destroy(surface);
    if (!rep && error)
        *error = corruptImageError(path);
    return rep;
}

} // namespace

HXBitmapImageRep::HXBitmapImageRep(cairo_surface_t* surface)
    : _surface(surface)
    , _size { double(cairo_image_surface_get_width(surface)),
        double(cairo_image_surface_get_height(surface)) }
{
}

HXBitmapImageRep::~HXBitmapImageRep()
{
    cairo_surface_destroy(_surface);
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::initWithSize(int pixelsWide, int pixelsHigh)
{
    if (pixelsWide <= 0 || pixelsHigh <= 0 || pixelsWide > maximumPixelExtent
        || pixelsHigh > maximumPixelExtent)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsWide, pixelsHigh);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::shared_ptr<HXBitmapImageRep>(new HXBitmapImageRep(surface));
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::initWithRGBAData(
    const uint8_t* data, int pixelsWide, int pixelsHigh, size_t bytesPerRow, bool premultiplied)
{
    if (!data || bytesPerRow / 4 < size_t(std::max(pixelsWide, 0)))
        return nullptr;
    auto rep = initWithSize(pixelsWide, pixelsHigh);
    if (!rep)
        return nullptr;
    unsigned char* out = cairo_image_surface_get_data(rep->_surface);
    int stride = cairo_image_surface_get_stride(rep->_surface);
    for (int y = 0; y < pixelsHigh; ++y) {
        const uint8_t* in = data + size_t(y) * bytesPerRow;
        auto* row = reinterpret_cast<uint32_t*>(out + size_t(y) * stride);
        for (int x = 0; x < pixelsWide; ++x, in += 4) {
            uint32_t r = in[0], g = in[1], b = in[2], a = in[3];
            if (!premultiplied) {
                r = (r * a + 127) / 255;
                g = (g * a + 127) / 255;
                b = (b * a + 127) / 255;
            } else {
                r = std::min(r, a);
                g = std::min(g, a);
                b = std::min(b, a);
            }
            row[x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    cairo_surface_mark_dirty(rep->_surface);
    return rep;
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::imageRepWithData(const HXData& data, HXError* error)
{
    return decodePNG(data, {}, error);
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::imageRepWithContentsOfFile(
    const std::string& path, HXError* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = HXError::posix(errno ? errno : ENOENT, path);
        return nullptr;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error)
            *error = HXError::posix(EIO, path);
        return nullptr;
    }
    return decodePNG(HXData(std::move(bytes)), path, error);
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::imageRepWithCairoSurface(cairo_surface_t* surface)
{
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS
        || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
        return nullptr;
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (w <= 0 || h <= 0 || w > maximumPixelExtent || h > maximumPixelExtent)
        return nullptr;
    if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32) {
        cairo_surface_flush(surface);
        return std::shared_ptr<HXBitmapImageRep>(new HXBitmapImageRep(cairo_surface_reference(surface)));
    }
    cairo_surface_t* copy = argbCopy(surface);
    if (!copy)
        return nullptr;
    return std::shared_ptr<HXBitmapImageRep>(new HXBitmapImageRep(copy));
}

std::shared_ptr<HXBitmapImageRep> HXBitmapImageRep::copy() const
{
    cairo_surface_flush(_surface);
    cairo_surface_t* c = argbCopy(_surface);
    if (!c)
        return nullptr;
    auto rep = std::shared_ptr<HXBitmapImageRep>(new HXBitmapImageRep(c));
    rep->_size = _size;
    return rep;
}

int HXBitmapImageRep::pixelsWide() const
{
    return cairo_image_surface_get_width(_surface);
}
int HXBitmapImageRep::pixelsHigh() const
{
    return cairo_image_surface_get_height(_surface);
}
size_t HXBitmapImageRep::bytesPerRow() const
{
    return size_t(cairo_image_surface_get_stride(_surface));
}

HXRGBAPixel HXBitmapImageRep::pixelAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= pixelsWide() || y >= pixelsHigh())
        return {};
    cairo_surface_flush(_surface);
    const unsigned char* data = cairo_image_surface_get_data(_surface);
    uint32_t v = reinterpret_cast<const uint32_t*>(data + size_t(y) * bytesPerRow())[x];
    uint32_t a = v >> 24;
    if (a == 0)
        return {};
    auto straight = [a](uint32_t c) { return uint8_t(std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
    return { straight((v >> 16) & 0xff), straight((v >> 8) & 0xff), straight(v & 0xff), uint8_t(a) };
}

void HXBitmapImageRep::setPixel(const HXRGBAPixel& p, int x, int y)
{
    if (x < 0 || y < 0 || x >= pixelsWide() || y >= pixelsHigh())
        return;
    cairo_surface_flush(_surface);
    unsigned char* data = cairo_image_surface_get_data(_surface);
    uint32_t a = p.a;
    auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
    reinterpret_cast<uint32_t*>(data + size_t(y) * bytesPerRow())[x]
        = a << 24 | pre(p.r) << 16 | pre(p.g) << 8 | pre(p.b);
    cairo_surface_mark_dirty_rectangle(_surface, x, y, 1, 1);
}

std::optional<HXColor> HXBitmapImageRep::colorAtX(int x, int y) const
{
    if (x < 0 || y < 0 || x >= pixelsWide() || y >= pixelsHigh())
        return std::nullopt;
    HXRGBAPixel p = pixelAt(x, y);
    return HXColor::colorWithDeviceRed(p.r / 255.0, p.g / 255.0, p.b / 255.0, p.a / 255.0);
}

void HXBitmapImageRep::setColor(const HXColor& color, int x, int y)
{
    auto byte = [](double v) { return uint8_t(std::clamp(v, 0.0, 1.0) * 255 + 0.5); };
    setPixel({ byte(color.redComponent()), byte(color.greenComponent()), byte(color.blueComponent()),
                 byte(color.alphaComponent()) },
        x, y);
}

std::vector<uint8_t> HXBitmapImageRep::RGBAData() const
{
    int w = pixelsWide(), h = pixelsHigh();
    std::vector<uint8_t> out;
    out.reserve(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            HXRGBAPixel p = pixelAt(x, y);
            out.insert(out.end(), { p.r, p.g, p.b, p.a });
        }
    }
    return out;
}

unsigned char* HXBitmapImageRep::bitmapData()
{
    cairo_surface_flush(_surface);
    return cairo_image_surface_get_data(_surface);
}

void HXBitmapImageRep::markDirty()
{
    cairo_surface_mark_dirty(_surface);
}

std::optional<HXData> HXBitmapImageRep::representationUsingType(HXBitmapImageFileType type) const
{
    if (type != HXBitmapImageFileType::PNG)
        return std::nullopt;
    cairo_surface_flush(_surface);
    std::vector<uint8_t> bytes;
    if (cairo_surface_write_to_png_stream(_surface, appendToVector, &bytes) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    return HXData(std::move(bytes));
}

bool HXBitmapImageRep::writeToFile(const std::string& path, HXError* error) const
{
    auto png = representationUsingType(HXBitmapImageFileType::PNG);
    if (!png) {
        if (error)
            *error = HXError::withDescription(
                HXBaseKitErrorDomain, HXFileWriteUnknownError, "The image could not be encoded as PNG.");
        return false;
    }
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        if (error)
            *error = HXError::posix(errno, path);
        return false;
    }
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(name.data());
        if (error)
            *error = HXError::posix(err, path);
        return false;
    };
    const uint8_t* p = png->bytes.data();
    size_t left = png->bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        p += n;
        left -= size_t(n);
    }
    // Readable by others like an ordinary image file (mkstemp gives 0600).
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(name.data());
        if (error)
            *error = HXError::posix(err, path);
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(name.data());
        if (error)
            *error = HXError::posix(err, path);
        return false;
    }
    return true;
}

std::shared_ptr<HXGraphicsContext> HXBitmapImageRep::graphicsContext(bool flipped)
{
    double w = _size.width > 0 ? _size.width : pixelsWide();
    double scale = pixelsWide() / w;
    return HXGraphicsContext::graphicsContextWithSurface(
        _surface, scale, flipped, HXSize { pixelsWide() / scale, pixelsHigh() / scale });
}
