#include "platform/mvkit/panorama/panorama_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
// Views smaller than this many pixels a thread are drawn on the calling thread alone.
constexpr int64_t kPixelsPerThread = 100000;
constexpr int64_t kMaximumThreads = 4;

struct Vector {
    double x, y, z;
};

// Where a direction lands in the pictures: a face (0 for a cylinder) and a position on it, 0…1 from its
// top-left corner. `face` −1: the pictures do not cover the direction.
struct Landing {
    int face = -1;
    double u = 0, v = 0;
};

// The camera of a view: the direction of each pixel of a `width` × `height` window.
class Camera {
public:
    Camera(const MVPanoramaView& view, int width, int height)
        : _halfWidth(width * 0.5)
        , _halfHeight(height * 0.5)
    {
        auto finite = [](float v, double fallback) { return std::isfinite(v) ? double(v) : fallback; };
        const double p = finite(view.pan, 0) * kDegrees, t = finite(view.tilt, 0) * kDegrees;
        const double fov = std::clamp(finite(view.fieldOfView, 60), 0.01, 179.0) * kDegrees;
        _focal = _halfHeight / std::tan(fov * 0.5);
        // Pan turns left (counter-clockwise seen from above) from looking down +z; tilt raises the view.
        _forward = { -std::sin(p) * std::cos(t), std::sin(t), std::cos(p) * std::cos(t) };
        _right = { std::cos(p), 0, std::sin(p) };
        _up = { std::sin(p) * std::sin(t), std::cos(t), -std::cos(p) * std::sin(t) };
    }

    // The direction through point (x, y), pixels from the top-left corner.
    Vector direction(double x, double y) const
    {
        const double a = x - _halfWidth, b = _halfHeight - y;
        return { a * _right.x + b * _up.x + _focal * _forward.x,
            a * _right.y + b * _up.y + _focal * _forward.y, a * _right.z + b * _up.z + _focal * _forward.z };
    }

private:
    double _halfWidth, _halfHeight, _focal;
    Vector _forward, _right, _up;
};

// A cylinder's mapping, worked out once per picture drawn.
struct Cylinder {
    explicit Cylinder(const MVPanoramaSource& s)
        : minPan(s.pan.minimum)
        , span(std::min(double(s.pan.maximum) - s.pan.minimum, 360.0))
        , partial(double(s.pan.maximum) - s.pan.minimum < 360)
        , highTan(std::tan(std::clamp(double(s.tilt.maximum), -89.9, 89.9) * kDegrees))
    {
        const double lowTan = std::tan(std::clamp(double(s.tilt.minimum), -89.9, 89.9) * kDegrees);
        usable = span > 0 && highTan > lowTan;
        tanRange = highTan - lowTan;
    }

    Landing land(const Vector& d) const
    {
        const double horizontal = std::sqrt(d.x * d.x + d.z * d.z);
        if (!usable || horizontal <= 0)
            return {};
        // The pan angle of the direction, counted from minPan round to 360.
        double offset = std::atan2(-d.x, d.z) / kDegrees - minPan;
        if (offset < 0 || offset >= 360) {
            offset = std::fmod(offset, 360.0);
            if (offset < 0)
                offset += 360;
        }
        if (partial && offset > span)
            return {};
        Landing l;
        l.face = 0;
        // Pan falls from the left edge (the largest pan) to the right one.
        l.u = (span - offset) / span;
        l.v = (highTan - d.y / horizontal) / tanRange;
        if (l.v < 0 || l.v > 1)
            return {};
        return l;
    }

    double minPan, span;
    bool partial;
    double highTan, tanRange = 1;
    bool usable = false;
};

Landing landOnCube(const Vector& d)
{
    const double ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    // The face the direction meets, and its coordinates there (−1…1, right and up).
    Landing l;
    double a, b;
    if (az >= ax && az >= ay) {
        if (d.z > 0)
            l.face = 0, a = d.x / az, b = d.y / az; // front
        else
            l.face = 2, a = -d.x / az, b = d.y / az; // back
    } else if (ax >= ay) {
        if (d.x > 0)
            l.face = 1, a = -d.z / ax, b = d.y / ax; // right
        else
            l.face = 3, a = d.z / ax, b = d.y / ax; // left
    } else {
        if (d.y > 0)
            l.face = 4, a = d.x / ay, b = -d.z / ay; // top
        else
            l.face = 5, a = d.x / ay, b = d.z / ay; // bottom
    }
    l.u = (a + 1) * 0.5;
    l.v = (1 - b) * 0.5;
    return l;
}

Landing land(const MVPanoramaSource& s, const Cylinder& cylinder, const Vector& d)
{
    Landing l = s.cubic ? landOnCube(d) : cylinder.land(d);
    if (l.face >= int(s.faces.size()) || !std::isfinite(l.u) || !std::isfinite(l.v))
        l.face = -1;
    return l;
}

// Bilinear sample of `image` at (u, v), 0…1 across it; a full cylinder wraps round horizontally.
void sample(const MVImageBuffer& image, double u, double v, bool wrap, uint8_t* out)
{
    const int w = image.width, h = image.height;
    double x = u * w - 0.5, y = std::clamp(v * h - 0.5, 0.0, double(h - 1));
    if (!wrap)
        x = std::clamp(x, 0.0, double(w - 1));
    const double fx = std::floor(x), fy = std::floor(y);
    // Weights in 1/256ths: the blend runs in integers.
    const int tx = int((x - fx) * 256 + 0.5), ty = int((y - fy) * 256 + 0.5);
    int x0 = int(fx), y0 = int(fy);
    int x1 = x0 + 1, y1 = std::min(y0 + 1, h - 1);
    if (wrap) {
        // u lies in 0…1, so only the columns just beyond either edge come round.
        x0 = x0 < 0 ? x0 + w : (x0 >= w ? x0 - w : x0);
        x1 = x1 >= w ? x1 - w : x1;
    } else {
        x1 = std::min(x1, w - 1);
    }
    const uint8_t* r0 = image.pixels.data() + size_t(y0) * size_t(image.bytesPerRow);
    const uint8_t* r1 = image.pixels.data() + size_t(y1) * size_t(image.bytesPerRow);
    const uint8_t *p00 = r0 + x0 * 4, *p01 = r0 + x1 * 4, *p10 = r1 + x0 * 4, *p11 = r1 + x1 * 4;
    for (int c = 0; c < 3; ++c) {
        const int top = p00[c] * 256 + (p01[c] - p00[c]) * tx;
        const int bottom = p10[c] * 256 + (p11[c] - p10[c]) * tx;
        out[c] = uint8_t((top * 256 + (bottom - top) * ty + 32768) >> 16);
    }
    out[3] = 255;
}

uint8_t idAt(const MVPanoramaSource::IDMap& map, double u, double v)
{
    if (map.width <= 0 || map.height <= 0 || map.ids.size() < size_t(map.width) * size_t(map.height))
        return 0;
    int x = std::clamp(int(std::floor(u * map.width)), 0, map.width - 1);
    int y = std::clamp(int(std::floor(v * map.height)), 0, map.height - 1);
    return map.ids[size_t(y) * size_t(map.width) + size_t(x)];
}

bool usable(const MVPanoramaSource& s)
{
    if (s.faces.size() != (s.cubic ? 6u : 1u))
        return false;
    return std::all_of(s.faces.begin(), s.faces.end(), [](const MVImageBuffer& f) {
        return f.width > 0 && f.height > 0 && f.bytesPerRow >= f.width * 4
            && f.pixels.size() >= size_t(f.bytesPerRow) * size_t(f.height);
    });
}

void outline(const std::vector<uint8_t>& ids, int width, int height, MVImageBuffer& out)
{
    // Inside a hot spot the picture is tinted; where the ID changes an edge is drawn.
    static constexpr uint8_t tint[3] = { 0, 200, 255 }; // B, G, R: amber
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.pixels.data() + size_t(y) * size_t(out.bytesPerRow);
        for (int x = 0; x < width; ++x) {
            const uint8_t id = ids[size_t(y) * size_t(width) + size_t(x)];
            auto differs = [&](int nx, int ny) {
                if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                    return false;
                return ids[size_t(ny) * size_t(width) + size_t(nx)] != id;
            };
            const bool edge
                = differs(x + 1, y) || differs(x, y + 1) || differs(x - 1, y) || differs(x, y - 1);
            uint8_t* p = row + x * 4;
            if (edge) {
                // Both sides of an edge between a hot spot and the rest get the line, so it is two
                // pixels wide and shows on any picture.
                for (int c = 0; c < 3; ++c)
                    p[c] = tint[c];
            } else if (id != 0) {
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t((p[c] * 3 + tint[c]) / 4);
            }
        }
    }
}

} // namespace

bool MVPanoramaRenderer::render(const MVPanoramaSource& source, const MVPanoramaView& view, int width,
    int height, MVImageBuffer& out, bool outlineHotspots)
{
    if (width < 1 || height < 1 || !usable(source))
        return false;
    out.width = width;
    out.height = height;
    out.bytesPerRow = width * 4;
    out.pixels.assign(size_t(out.bytesPerRow) * size_t(height), 0);
    const bool wrap = !source.cubic && source.pan.maximum - source.pan.minimum >= 359.999f;
    const bool withIDs = outlineHotspots && source.hotspotMaps.size() == source.faces.size();
    std::vector<uint8_t> ids(withIDs ? size_t(width) * size_t(height) : 0);
    const Camera camera(view, width, height);
    const Cylinder cylinder(source);
    auto rows = [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            uint8_t* row = out.pixels.data() + size_t(y) * size_t(out.bytesPerRow);
            for (int x = 0; x < width; ++x) {
                uint8_t* p = row + x * 4;
                Landing l = land(source, cylinder, camera.direction(x + 0.5, y + 0.5));
                if (l.face < 0) {
                    p[3] = 255;
                    continue;
                }
                sample(source.faces[size_t(l.face)], l.u, l.v, wrap, p);
                if (withIDs)
                    ids[size_t(y) * size_t(width) + size_t(x)]
                        = idAt(source.hotspotMaps[size_t(l.face)], l.u, l.v);
            }
        }
    };
    // A large view is shared out by rows between a few threads; each writes only its own rows.
    const int threads = int(std::clamp<int64_t>(int64_t(width) * height / kPixelsPerThread, 1,
        std::clamp<int64_t>(std::thread::hardware_concurrency(), 1, kMaximumThreads)));
    std::vector<std::thread> helpers;
    for (int k = 1; k < threads; ++k)
        helpers.emplace_back(rows, height * k / threads, height * (k + 1) / threads);
    rows(0, height / threads);
    for (auto& t : helpers)
        t.join();
    if (withIDs)
        outline(ids, width, height, out);
    return true;
}

uint32_t MVPanoramaRenderer::hotspotAt(
    const MVPanoramaSource& source, const MVPanoramaView& view, int width, int height, double x, double y)
{
    if (width < 1 || height < 1 || !usable(source) || source.hotspotMaps.size() != source.faces.size())
        return 0;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    const Camera camera(view, width, height);
    Landing l = land(source, Cylinder(source), camera.direction(x, y));
    if (l.face < 0)
        return 0;
    return idAt(source.hotspotMaps[size_t(l.face)], l.u, l.v);
}
