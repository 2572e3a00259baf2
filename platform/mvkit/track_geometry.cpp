#include "platform/mvkit/track_geometry.h"

#include "platform/drawing/bitmap_image_rep.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/track.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace {

// The affine part in doubles: x' = a x + c y + tx, y' = b x + d y + ty.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

Affine affineOf(const MVMatrixRecord& m)
{
    auto f = [](int32_t v) { return double(v) / 65536.0; };
    return { f(m.values[0]), f(m.values[1]), f(m.values[3]), f(m.values[4]), f(m.values[6]), f(m.values[7]) };
}

MVMatrixRecord recordOf(const Affine& t, const MVMatrixRecord& keep)
{
    auto fixed = [](double v) { return int32_t(std::clamp(std::llround(v * 65536.0), -2147483648LL, 2147483647LL)); };
    MVMatrixRecord m = keep;
    m.values[0] = fixed(t.a);
    m.values[1] = fixed(t.b);
    m.values[3] = fixed(t.c);
    m.values[4] = fixed(t.d);
    m.values[6] = fixed(t.tx);
    m.values[7] = fixed(t.ty);
    return m;
}

// First `p`, then `q`.
Affine then(const Affine& p, const Affine& q)
{
    return { p.a * q.a + p.b * q.c, p.a * q.b + p.b * q.d, p.c * q.a + p.d * q.c, p.c * q.b + p.d * q.d,
        p.tx * q.a + p.ty * q.c + q.tx, p.tx * q.b + p.ty * q.d + q.ty };
}

Affine translation(double x, double y) { return { 1, 0, 0, 1, x, y }; }

MVTrackBox boxOf(const Affine& t, double w, double h)
{
    double xs[4], ys[4];
    double px[4] = { 0, w, 0, w }, py[4] = { 0, 0, h, h };
    for (int i = 0; i < 4; ++i) {
        xs[i] = t.a * px[i] + t.c * py[i] + t.tx;
        ys[i] = t.b * px[i] + t.d * py[i] + t.ty;
    }
    auto [minx, maxx] = std::minmax_element(xs, xs + 4);
    auto [miny, maxy] = std::minmax_element(ys, ys + 4);
    return { *minx, *miny, *maxx - *minx, *maxy - *miny };
}

// Applies `change` about the point (cx, cy) of the movie.
void transformAbout(MVTrack& track, const Affine& change, double cx, double cy)
{
    Affine t = then(then(then(affineOf(track.matrix()), translation(-cx, -cy)), change), translation(cx, cy));
    track.setMatrix(recordOf(t, track.matrix()));
}

void transformAboutCentre(MVTrack& track, const Affine& change)
{
    MVTrackBox box = MVTrackDisplayedBox(track);
    transformAbout(track, change, box.x + box.width / 2, box.y + box.height / 2);
}

std::optional<HXData> pngOfImageData(const HXData& data)
{
    auto rep = HXBitmapImageRep::imageRepWithData(data);
    if (!rep)
        return std::nullopt;
    return rep->representationUsingType(HXBitmapImageFileType::PNG);
}

} // namespace

MVBytes MVMatrixData(const MVMatrixRecord& matrix)
{
    MVBytes out;
    for (int32_t v : matrix.values)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(uint8_t(uint32_t(v) >> shift));
    return out;
}

std::optional<MVMatrixRecord> MVMatrixFromData(const MVBytes& data)
{
    if (data.size() != 36)
        return std::nullopt;
    MVMatrixRecord m;
    for (size_t i = 0; i < 9; ++i)
        m.values[i] = int32_t((uint32_t(data[i * 4]) << 24) | (uint32_t(data[i * 4 + 1]) << 16)
            | (uint32_t(data[i * 4 + 2]) << 8) | uint32_t(data[i * 4 + 3]));
    return m;
}

MVBytes MVTrackCurrentMatrixAsData(const MVTrack& track) { return MVMatrixData(track.matrix()); }
MVBytes MVTrackDefaultMatrixAsData() { return MVMatrixData(MVMatrixRecord {}); }

bool MVTrackSetMatrixData(MVTrack& track, const MVBytes& data)
{
    auto m = MVMatrixFromData(data);
    if (!m)
        return false;
    track.setMatrix(*m);
    return true;
}

namespace {

Affine rotation(double radians)
{
    double c = std::cos(radians), s = std::sin(radians);
    // Exact quarter turns keep the matrix free of rounding noise.
    c = std::round(c * 65536.0) / 65536.0;
    s = std::round(s * 65536.0) / 65536.0;
    return { c, s, -s, c, 0, 0 };
}

} // namespace

void MVTrackRotate(MVTrack& track, double radians) { transformAboutCentre(track, rotation(radians)); }

void MVTrackRotateAbout(MVTrack& track, double radians, double x, double y)
{
    transformAbout(track, rotation(radians), x, y);
}

void MVTrackTransformAbout(MVTrack& track, double a, double b, double c, double d, double x, double y)
{
    transformAbout(track, { a, b, c, d, 0, 0 }, x, y);
}

void MVTrackFlipX(MVTrack& track) { transformAboutCentre(track, { -1, 0, 0, 1, 0, 0 }); }
void MVTrackFlipY(MVTrack& track) { transformAboutCentre(track, { 1, 0, 0, -1, 0, 0 }); }

MVTrackBox MVTrackDisplayedBox(const MVTrack& track)
{
    return boxOf(affineOf(track.matrix()), track.width(), track.height());
}

bool MVTrackSetDisplayedWidth(MVTrack& track, double width, bool preserveAspect)
{
    MVTrackBox box = MVTrackDisplayedBox(track);
    if (!(width > 0) || !std::isfinite(width) || box.width <= 0)
        return false;
    double s = width / box.width;
    transformAbout(track, { s, 0, 0, preserveAspect ? s : 1, 0, 0 }, box.x, box.y);
    return true;
}

bool MVTrackSetDisplayedHeight(MVTrack& track, double height, bool preserveAspect)
{
    MVTrackBox box = MVTrackDisplayedBox(track);
    if (!(height > 0) || !std::isfinite(height) || box.height <= 0)
        return false;
    double s = height / box.height;
    transformAbout(track, { preserveAspect ? s : 1, 0, 0, s, 0, 0 }, box.x, box.y);
    return true;
}

void MVTrackSetOffset(MVTrack& track, double x, double y)
{
    MVTrackBox box = MVTrackDisplayedBox(track);
    Affine t = then(affineOf(track.matrix()), translation(x - box.x, y - box.y));
    track.setMatrix(recordOf(t, track.matrix()));
}

std::optional<HXData> MVTrackMaskData(const MVTrack& track)
{
    HXPropertyList mask = track.attributeForKey(MVTrackMaskAttribute);
    if (!mask.isData() || mask.dataValue().bytes.empty())
        return std::nullopt;
    return mask.dataValue();
}

bool MVTrackHasMask(const MVTrack& track) { return MVTrackMaskData(track).has_value(); }

bool MVTrackSetMaskWithDataRef(MVTrack& track, const MVDataReference& reference)
{
    HXData data;
    if (reference.kind() == MVDataReference::Kind::Memory && reference.data()) {
        data.bytes.assign(reference.data()->begin(), reference.data()->end());
    } else if (!reference.referenceFilePath().empty()) {
        std::ifstream in(reference.referenceFilePath(), std::ios::binary);
        if (!in)
            return false;
        data.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        return false;
    }
    auto png = pngOfImageData(data);
    if (!png)
        return false;
    track.setAttributeForKey(*png, MVTrackMaskAttribute);
    return true;
}

void MVTrackClearMask(MVTrack& track)
{
    track.setAttributeForKey(HXData {}, MVTrackMaskAttribute);
}

bool MVTrackInvertMask(MVTrack& track)
{
    auto data = MVTrackMaskData(track);
    auto rep = data ? HXBitmapImageRep::imageRepWithData(*data) : nullptr;
    if (!rep)
        return false;
    for (int y = 0; y < rep->pixelsHigh(); ++y) {
        for (int x = 0; x < rep->pixelsWide(); ++x) {
            HXRGBAPixel p = rep->pixelAt(x, y);
            rep->setPixel({ uint8_t(255 - p.r), uint8_t(255 - p.g), uint8_t(255 - p.b), p.a }, x, y);
        }
    }
    auto png = rep->representationUsingType(HXBitmapImageFileType::PNG);
    if (!png)
        return false;
    track.setAttributeForKey(*png, MVTrackMaskAttribute);
    return true;
}
