#include "fullscreen/panoramic_stretch_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

// ---- One axis ----

bool MVPPanoramicStretchAxis::isIdentity() const
{
    bool usable = std::isfinite(center) && std::isfinite(distance) && std::isfinite(scale)
        && std::isfinite(intensity) && distance > 0 && scale > 0 && intensity > 0;
    return !usable || scale == 1;
}

double MVPPanoramicStretchAxis::effectiveIntensity() const
{
    // The slope at the zone's edge is 1 + e (1 - s): it stays at or above 0 while e <= 1 / (s - 1).
    if (scale > 1 && intensity * (scale - 1) > 1)
        return 1 / (scale - 1);
    return intensity;
}

double MVPPanoramicStretchAxis::map(double p) const
{
    if (isIdentity())
        return p;
    double u = std::clamp((p - center) / distance, -1.0, 1.0);
    return center + (p - center) * (scale + (1 - scale) * std::pow(std::fabs(u), effectiveIntensity()));
}

// ---- Remapping pixels ----

namespace {

// Where one output column (or row) samples the source: two neighbours and the weight of the second in
// 1/256ths.
struct Tap {
    int first;
    int second;
    uint32_t weight;
};

// `toSource` gives the source position (pixel centres at whole numbers) of output index i.
template<class ToSource> std::vector<Tap> taps(int count, ToSource toSource)
{
    std::vector<Tap> result(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        double position = std::clamp(toSource(i), 0.0, double(count - 1));
        if (!std::isfinite(position))
            position = i;
        int first = int(position);
        auto weight = uint32_t(std::lround((position - first) * 256));
        if (weight >= 256) {
            first = std::min(first + 1, count - 1);
            weight = 0;
        }
        result[size_t(i)] = { first, std::min(first + 1, count - 1), weight };
    }
    return result;
}

inline uint32_t load(const uint8_t* row, int index)
{
    uint32_t word;
    std::memcpy(&word, row + size_t(index) * 4, 4);
    return word;
}

inline void store(uint8_t* row, int index, uint32_t word)
{
    std::memcpy(row + size_t(index) * 4, &word, 4);
}

// Four 8-bit channels blended at once, two to a 32-bit word.
inline uint32_t blend(uint32_t a, uint32_t b, uint32_t weight)
{
    const uint32_t inverse = 256 - weight;
    uint32_t rb = (((a & 0x00FF00FFu) * inverse + (b & 0x00FF00FFu) * weight) >> 8) & 0x00FF00FFu;
    uint32_t ga = (((a >> 8) & 0x00FF00FFu) * inverse + ((b >> 8) & 0x00FF00FFu) * weight) & 0xFF00FF00u;
    return rb | ga;
}

} // namespace

void MVPPanoramicStretchApply(const uint8_t* src, size_t srcBytesPerRow, uint8_t* dst, size_t dstBytesPerRow,
    int width, int height, const MVPPanoramicStretchAxis& x, const MVPPanoramicStretchAxis& y)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    const size_t rowBytes = size_t(width) * 4;
    if (x.isIdentity() && y.isIdentity()) {
        for (int r = 0; r < height; ++r)
            std::memmove(dst + size_t(r) * dstBytesPerRow, src + size_t(r) * srcBytesPerRow, rowBytes);
        return;
    }
    const auto columns = taps(width, [&](int i) { return x.map(i + 0.5) - 0.5; });
    if (y.isIdentity()) {
        for (int r = 0; r < height; ++r) {
            const uint8_t* in = src + size_t(r) * srcBytesPerRow;
            uint8_t* out = dst + size_t(r) * dstBytesPerRow;
            for (int i = 0; i < width; ++i) {
                const Tap& t = columns[size_t(i)];
                store(out, i, blend(load(in, t.first), load(in, t.second), t.weight));
            }
        }
        return;
    }
    // Rows count from the top, the mapping from the bottom.
    const double h = height;
    const auto rows = taps(height, [&](int r) { return h - y.map(h - (r + 0.5)) - 0.5; });
    for (int r = 0; r < height; ++r) {
        const Tap& v = rows[size_t(r)];
        const uint8_t* upper = src + size_t(v.first) * srcBytesPerRow;
        const uint8_t* lower = src + size_t(v.second) * srcBytesPerRow;
        uint8_t* out = dst + size_t(r) * dstBytesPerRow;
        for (int i = 0; i < width; ++i) {
            const Tap& t = columns[size_t(i)];
            uint32_t a = blend(load(upper, t.first), load(upper, t.second), t.weight);
            uint32_t b = blend(load(lower, t.first), load(lower, t.second), t.weight);
            store(out, i, blend(a, b, v.weight));
        }
    }
}

// ---- The filter ----

namespace {

HXPropertyList vector(HXPoint p)
{
    return HXPropertyList(HXPropertyList::Array { HXPropertyList(p.x), HXPropertyList(p.y) });
}

// A vector from its array form; nullopt for anything else.
std::optional<HXPoint> vectorFrom(const HXPropertyList& value)
{
    if (!value.isArray() || value.count() != 2 || !value[0].isNumber() || !value[1].isNumber())
        return std::nullopt;
    return HXPoint { value[0].realValue(), value[1].realValue() };
}

} // namespace

MVPPanoramicStretchFilter::MVPPanoramicStretchFilter() = default;

HXPropertyList MVPPanoramicStretchFilter::customAttributes()
{
    auto attribute = [](const char* type, std::optional<HXPoint> identity, HXPoint fallback) {
        HXPropertyList::Dictionary entry { { "HIAttributeType", HXPropertyList(type) },
            { "HIAttributeDefault", vector(fallback) } };
        if (identity)
            entry["HIAttributeIdentity"] = vector(*identity);
        return HXPropertyList(std::move(entry));
    };
    const double e = MVPPanoramicStretchDefaultIntensity;
    return HXPropertyList(HXPropertyList::Dictionary {
        { MVPPanoramicStretchFilterInputCenterKey,
            attribute("HIAttributeTypePosition", std::nullopt, { 150, 150 }) },
        { MVPPanoramicStretchFilterInputDistanceKey,
            attribute("HIAttributeTypeOffset", HXPoint { 0, 0 }, { 150, 150 }) },
        { MVPPanoramicStretchFilterInputScaleKey,
            attribute("HIAttributeTypeOffset", HXPoint { 1, 1 }, { 1, 1 }) },
        { MVPPanoramicStretchFilterInputIntensityKey,
            attribute("HIAttributeTypeOffset", HXPoint { 1, 1 }, { e, e }) },
    });
}

void MVPPanoramicStretchFilter::setValueForKey(const HXPoint& value, const std::string& key)
{
    if (key == MVPPanoramicStretchFilterInputCenterKey)
        _inputCenter = value;
    else if (key == MVPPanoramicStretchFilterInputDistanceKey)
        _inputDistance = value;
    else if (key == MVPPanoramicStretchFilterInputScaleKey)
        _inputScale = value;
    else if (key == MVPPanoramicStretchFilterInputIntensityKey)
        _inputIntensity = value;
}

void MVPPanoramicStretchFilter::setValueForKey(
    const std::shared_ptr<HXBitmapImageRep>& image, const std::string& key)
{
    if (key == MVPPanoramicStretchFilterInputImageKey)
        _inputImage = image;
}

HXPropertyList MVPPanoramicStretchFilter::userInfo() const
{
    return HXPropertyList(HXPropertyList::Dictionary {
        { MVPPanoramicStretchFilterInputCenterKey, vector(_inputCenter) },
        { MVPPanoramicStretchFilterInputDistanceKey, vector(_inputDistance) },
        { MVPPanoramicStretchFilterInputScaleKey, vector(_inputScale) },
        { MVPPanoramicStretchFilterInputIntensityKey, vector(_inputIntensity) },
    });
}

HXRect MVPPanoramicStretchFilter::regionOf(int, const HXRect& destRect, const HXPropertyList& userInfo)
{
    auto read
        = [&](const char* key, HXPoint fallback) { return vectorFrom(userInfo[key]).value_or(fallback); };
    HXPoint c = read(MVPPanoramicStretchFilterInputCenterKey, { 0, 0 });
    HXPoint d = read(MVPPanoramicStretchFilterInputDistanceKey, { 0, 0 });
    HXPoint s = read(MVPPanoramicStretchFilterInputScaleKey, { 1, 1 });
    HXPoint e = read(MVPPanoramicStretchFilterInputIntensityKey, { 1, 1 });
    MVPPanoramicStretchAxis x { c.x, d.x, s.x, e.x };
    MVPPanoramicStretchAxis y { c.y, d.y, s.y, e.y };
    float left = float(x.map(HXMinX(destRect)));
    float right = float(x.map(HXMaxX(destRect)));
    float bottom = float(y.map(HXMinY(destRect)));
    float top = float(y.map(HXMaxY(destRect)));
    return { { left, bottom }, { right - left, top - bottom } };
}

std::shared_ptr<HXBitmapImageRep> MVPPanoramicStretchFilter::outputImage() const
{
    if (!_inputImage)
        return nullptr;
    int width = _inputImage->pixelsWide();
    int height = _inputImage->pixelsHigh();
    auto output = HXBitmapImageRep::initWithSize(width, height);
    if (!output)
        return nullptr;
    MVPPanoramicStretchAxis x { _inputCenter.x, _inputDistance.x, _inputScale.x, _inputIntensity.x };
    MVPPanoramicStretchAxis y { _inputCenter.y, _inputDistance.y, _inputScale.y, _inputIntensity.y };
    MVPPanoramicStretchApply(_inputImage->bitmapData(), _inputImage->bytesPerRow(), output->bitmapData(),
        output->bytesPerRow(), width, height, x, y);
    output->markDirty();
    output->setSize(_inputImage->size());
    return output;
}

void MVPPanoramicStretchSetInputsForFrame(
    MVPPanoramicStretchFilter& filter, HXSize extent, HXSize viewSize, HXSize naturalSize)
{
    double scale = (viewSize.width / naturalSize.width) / (viewSize.height / naturalSize.height);
    if (!std::isfinite(scale) || scale <= 0)
        scale = 1;
    const HXPoint half { extent.width / 2, extent.height / 2 };
    filter.setValueForKey(half, MVPPanoramicStretchFilterInputCenterKey);
    filter.setValueForKey(half, MVPPanoramicStretchFilterInputDistanceKey);
    filter.setValueForKey(HXPoint { scale, 1 }, MVPPanoramicStretchFilterInputScaleKey);
    filter.setValueForKey(
        HXPoint { MVPPanoramicStretchDefaultIntensity, MVPPanoramicStretchDefaultIntensity },
        MVPPanoramicStretchFilterInputIntensityKey);
}
