#pragma once
// HXRegion: an area made of rectangles with whole-number edges (window shapes, drag areas, damage).
// A value over a cairo_region_t; rectangles given with fractional edges are taken outwards to whole
// numbers. Coordinates are kept within ±2^30.
#include "platform/drawing/geometry.h"

#include <cairo.h>

#include <functional>
#include <vector>

class HXRegion {
public:
    HXRegion(); // empty
    static HXRegion regionWithRect(const HXRect& rect);
    static HXRegion regionWithRects(const std::vector<HXRect>& rects);

    HXRegion(const HXRegion& other);
    HXRegion(HXRegion&& other) noexcept;
    HXRegion& operator=(const HXRegion& other);
    HXRegion& operator=(HXRegion&& other) noexcept;
    ~HXRegion();

    bool isEmpty() const;
    HXRect bounds() const; // HXZeroRect when empty
    bool containsPoint(const HXPoint& p) const; // half-open, like HXPointInRect
    bool containsRect(const HXRect& r) const; // the whole rectangle lies in the region

    // The rectangles, in bands from min Y to max Y, each band from min X to max X; none overlap.
    std::vector<HXRect> rects() const;
    int rectCount() const;
    void enumerateRects(const std::function<void(const HXRect&)>& body) const;

    HXRegion unionWith(const HXRegion& other) const;
    HXRegion intersectWith(const HXRegion& other) const;
    HXRegion subtract(const HXRegion& other) const;
    HXRegion xorWith(const HXRegion& other) const;

    HXRegion offsetBy(double dx, double dy) const;
    HXRegion scaledBy(double sx, double sy) const;
    // Every rectangle mapped through `t` (its bounding box, taken outwards) and the results joined.
    HXRegion transformedBy(const HXAffineTransform& t) const;

    // Intersects the current graphics context's clip with the region.
    void addClip() const;

    const cairo_region_t* cairoRegion() const { return _region; }

    bool operator==(const HXRegion& other) const;

private:
    explicit HXRegion(cairo_region_t* region);
    cairo_region_t* _region;
};
