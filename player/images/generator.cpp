// Draws the artwork of the player's controls and writes it as PNG files into a resources folder:
//     player_image_generator <Resources folder>
// Buttons get one file per state their image set tells apart ("Play.png", "PlayPressed.png",
// "PlayDisabled.png", "PlayInactive.png" ...); bars, sliders and backgrounds one file each. Everything is
// drawn as flat shapes, dark on the light window chrome and light on the dark full-screen panel.
#include "platform/basekit/error.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::string gOutputFolder;
int gWritten = 0;
bool gFailed = false;

void writeImage(const std::string& name, int width, int height, const std::function<void(HXRect)>& draw)
{
    auto rep = HXBitmapImageRep::initWithSize(width, height);
    if (!rep) {
        std::fprintf(stderr, "player_image_generator: bad size for %s\n", name.c_str());
        gFailed = true;
        return;
    }
    {
        HXGraphicsContextScope scope(rep->graphicsContext(false));
        draw(HXMakeRect(0, 0, width, height));
        HXGraphicsContext::currentContext()->flushGraphics();
    }
    HXError error;
    std::string path = gOutputFolder + "/" + name + ".png";
    if (!rep->writeToFile(path, &error)) {
        std::fprintf(stderr, "player_image_generator: cannot write %s\n", path.c_str());
        gFailed = true;
        return;
    }
    ++gWritten;
}

// ---- shapes
// ------------------------------------------------------------------------------------------------

HXBezierPath polygon(std::initializer_list<HXPoint> points)
{
    HXBezierPath path;
    bool first = true;
    for (auto p : points) {
        if (first)
            path.moveToPoint(p);
        else
            path.lineToPoint(p);
        first = false;
    }
    path.closePath();
    return path;
}

// A triangle pointing right (dir 1) or left (dir −1) inside the box.
HXBezierPath triangle(HXRect box, int dir)
{
    double x0 = HXMinX(box), x1 = HXMaxX(box), y0 = HXMinY(box), y1 = HXMaxY(box);
    if (dir > 0)
        return polygon({ { x0, y0 }, { x1, HXMidY(box) }, { x0, y1 } });
    return polygon({ { x1, y0 }, { x0, HXMidY(box) }, { x1, y1 } });
}

HXRect centeredBox(HXRect bounds, double w, double h, double dy = 0)
{
    return HXMakeRect(std::round(HXMidX(bounds) - w / 2), std::round(HXMidY(bounds) - h / 2) + dy, w, h);
}

using Glyph = std::function<void(HXRect bounds, const HXColor& ink)>;

void fillPath(const HXBezierPath& path, const HXColor& ink)
{
    ink.setFill();
    path.fill();
}

void strokePath(HXBezierPath path, const HXColor& ink, double width)
{
    ink.setStroke();
    path.setLineWidth(width);
    path.setLineCapStyle(HXRoundLineCapStyle);
    path.setLineJoinStyle(HXRoundLineJoinStyle);
    path.stroke();
}

// Glyphs are drawn in a square of side s centred in the image.
Glyph playGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) { fillPath(triangle(centeredBox(b, s * 0.8, s, 0), 1), ink); };
}

Glyph pauseGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s * 0.8, s);
        double bar = std::round(s * 0.28);
        ink.setFill();
        HXBezierPath::fillRect(HXMakeRect(HXMinX(box), HXMinY(box), bar, HXHeight(box)));
        HXBezierPath::fillRect(HXMakeRect(HXMaxX(box) - bar, HXMinY(box), bar, HXHeight(box)));
    };
}

// Two triangles side by side (rewind, fast forward).
Glyph doubleTriangleGlyph(double s, int dir)
{
    return [s, dir](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s * 1.3, s * 0.8);
        double half = HXWidth(box) / 2;
        fillPath(triangle(HXMakeRect(HXMinX(box), HXMinY(box), half, HXHeight(box)), dir), ink);
        fillPath(triangle(HXMakeRect(HXMinX(box) + half, HXMinY(box), half, HXHeight(box)), dir), ink);
    };
}

// A bar and a triangle: to the start (dir −1, bar on the left) or to the end (dir 1, bar on the right).
Glyph toEdgeGlyph(double s, int dir)
{
    return [s, dir](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s, s * 0.8);
        double bar = std::max(2.0, std::round(s * 0.18));
        double triW = HXWidth(box) - bar - 1;
        ink.setFill();
        if (dir < 0) {
            HXBezierPath::fillRect(HXMakeRect(HXMinX(box), HXMinY(box), bar, HXHeight(box)));
            fillPath(triangle(HXMakeRect(HXMinX(box) + bar + 1, HXMinY(box), triW, HXHeight(box)), -1), ink);
        } else {
            fillPath(triangle(HXMakeRect(HXMinX(box), HXMinY(box), triW, HXHeight(box)), 1), ink);
            HXBezierPath::fillRect(HXMakeRect(HXMaxX(box) - bar, HXMinY(box), bar, HXHeight(box)));
        }
    };
}

// A curved arrow turning back to the left (the previous VR node).
Glyph backArrowGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s, s * 0.8);
        HXBezierPath arc;
        HXPoint c = HXMakePoint(HXMidX(box) + s * 0.05, HXMinY(box) + s * 0.3);
        arc.appendBezierPathWithArcWithCenter(c, s * 0.4, -90, 90, false);
        strokePath(arc, ink, std::max(2.0, s * 0.14));
        double tip = s * 0.3;
        fillPath(polygon({ { c.x - tip, c.y + s * 0.4 }, { c.x, c.y + s * 0.4 + tip * 0.8 },
                     { c.x, c.y + s * 0.4 - tip * 0.8 } }),
            ink);
    };
}

// A magnifying glass with a minus (zoom out) or a plus (zoom in).
Glyph magnifierGlyph(double s, bool plus)
{
    return [s, plus](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s, s);
        double r = s * 0.32, w = std::max(1.5, s * 0.1);
        HXPoint c = HXMakePoint(HXMinX(box) + r + w, HXMaxY(box) - r - w);
        HXBezierPath ring;
        ring.appendBezierPathWithOvalInRect(HXMakeRect(c.x - r, c.y - r, 2 * r, 2 * r));
        strokePath(ring, ink, w);
        HXBezierPath handle;
        handle.moveToPoint(HXMakePoint(c.x + r * 0.75, c.y - r * 0.75));
        handle.lineToPoint(HXMakePoint(HXMaxX(box) - w, HXMinY(box) + w));
        strokePath(handle, ink, w * 1.8);
        HXBezierPath sign;
        sign.moveToPoint(HXMakePoint(c.x - r * 0.5, c.y));
        sign.lineToPoint(HXMakePoint(c.x + r * 0.5, c.y));
        if (plus) {
            sign.moveToPoint(HXMakePoint(c.x, c.y - r * 0.5));
            sign.lineToPoint(HXMakePoint(c.x, c.y + r * 0.5));
        }
        strokePath(sign, ink, w);
    };
}

// A target: a ring with a dot (hot spots); filled when shown.
Glyph targetGlyph(double s, bool filled)
{
    return [s, filled](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s * 0.85, s * 0.85);
        HXBezierPath ring = HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(box, 1, 1));
        if (filled)
            fillPath(ring, ink.colorWithAlphaComponent(ink.alphaComponent() * 0.35));
        strokePath(ring, ink, std::max(1.5, s * 0.1));
        fillPath(HXBezierPath::bezierPathWithOvalInRect(
                     HXInsetRect(box, HXWidth(box) * 0.35, HXWidth(box) * 0.35)),
            ink);
    };
}

// A half-filled target: hot spots shown for some nodes only.
Glyph mixedTargetGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        targetGlyph(s, false)(b, ink);
        HXRect box = centeredBox(b, s * 0.85, s * 0.85);
        ink.setFill();
        HXBezierPath::fillRect(HXMakeRect(HXMinX(box) + 2, HXMidY(box) - 1, HXWidth(box) - 4, 2));
    };
}

// A cross in a ring (leave full screen).
Glyph exitGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        HXRect box = centeredBox(b, s, s);
        strokePath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(box, 1, 1)), ink, 1.5);
        HXRect x = HXInsetRect(box, s * 0.32, s * 0.32);
        HXBezierPath cross;
        cross.moveToPoint(HXMakePoint(HXMinX(x), HXMinY(x)));
        cross.lineToPoint(HXMakePoint(HXMaxX(x), HXMaxY(x)));
        cross.moveToPoint(HXMakePoint(HXMinX(x), HXMaxY(x)));
        cross.lineToPoint(HXMakePoint(HXMaxX(x), HXMinY(x)));
        strokePath(cross, ink, 1.8);
    };
}

// A screen with the movie's band across it (letterbox: a wide band; pillarbox: a tall one). "Out" shows
// the band reaching past the screen's edges, the picture filling the screen.
Glyph boxGlyph(double s, bool letterbox, bool out)
{
    return [s, letterbox, out](HXRect b, const HXColor& ink) {
        HXRect screen = centeredBox(b, s, s * 0.7);
        strokePath(HXBezierPath::bezierPathWithRect(HXInsetRect(screen, 0.5, 0.5)), ink, 1);
        HXRect band = letterbox ? HXInsetRect(screen, 2, HXHeight(screen) * 0.25)
                                : HXInsetRect(screen, HXWidth(screen) * 0.3, 2);
        if (out)
            band = letterbox ? HXInsetRect(band, -4, 0) : HXInsetRect(band, 0, -4);
        ink.setFill();
        HXBezierPath::fillRect(band);
    };
}

Glyph recordGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        (void)ink;
        fillPath(HXBezierPath::bezierPathWithOvalInRect(centeredBox(b, s * 0.7, s * 0.7)),
            HXColor::colorWithDeviceRed(0.85, 0.12, 0.1, ink.alphaComponent()));
    };
}

Glyph stopGlyph(double s)
{
    return [s](HXRect b, const HXColor& ink) {
        fillPath(HXBezierPath::bezierPathWithRect(centeredBox(b, s * 0.6, s * 0.6)), ink);
    };
}

// A loudspeaker with `waves` sound waves (0 to 3); `muted` adds a small cross instead of waves.
void drawSpeaker(HXRect b, const HXColor& ink, int waves, bool muted)
{
    double h = HXHeight(b), x = HXMinX(b) + 2, cy = HXMidY(b);
    fillPath(polygon({ { x, cy - h * 0.14 }, { x + h * 0.18, cy - h * 0.14 }, { x + h * 0.42, cy - h * 0.34 },
                 { x + h * 0.42, cy + h * 0.34 }, { x + h * 0.18, cy + h * 0.14 }, { x, cy + h * 0.14 } }),
        ink);
    HXPoint c = HXMakePoint(x + h * 0.42, cy);
    for (int i = 1; i <= waves; ++i) {
        HXBezierPath arc;
        arc.appendBezierPathWithArcWithCenter(c, h * 0.13 * i + 1, -50, 50, false);
        strokePath(arc, ink, 1.2);
    }
    if (muted) {
        HXBezierPath cross;
        double cx = x + h * 0.7, d = h * 0.12;
        cross.moveToPoint(HXMakePoint(cx - d, cy - d));
        cross.lineToPoint(HXMakePoint(cx + d, cy + d));
        cross.moveToPoint(HXMakePoint(cx - d, cy + d));
        cross.lineToPoint(HXMakePoint(cx + d, cy - d));
        strokePath(cross, ink, 1.3);
    }
}

// ---- buttons -------------------------------------------------------------------------------------------

// How a button looks in one state.
struct Look {
    std::string suffix;
    HXColor ink;
    HXColor plate; // the round plate behind the glyph (clear: none)
};

HXColor gray(double white, double alpha = 1)
{
    return HXColor::colorWithDeviceWhite(white, alpha);
}

// The window's buttons: dark glyphs on the light controls strip; pressed ones sit on a faint round plate.
std::vector<Look> windowLooks()
{
    HXColor none = HXColor::clearColor();
    return {
        { "", gray(0.22), none },
        { "Pressed", gray(0.02), gray(0, 0.16) },
        { "Disabled", gray(0.22, 0.3), none },
        { "Inactive", gray(0.5), none },
        { "InactiveDisabled", gray(0.5, 0.25), none },
        { "Rollover", gray(0.1), gray(0, 0.06) },
    };
}

// The play and pause button of the window: a light glyph on a dark round plate.
std::vector<Look> windowCenterLooks()
{
    return {
        { "", gray(0.97), gray(0.25) },
        { "Pressed", gray(0.85), gray(0.05) },
        { "Disabled", gray(0.97, 0.6), gray(0.25, 0.3) },
        { "Inactive", gray(0.97), gray(0.55) },
        { "InactiveDisabled", gray(0.97, 0.6), gray(0.55, 0.3) },
        { "Rollover", gray(1), gray(0.15) },
    };
}

// The full-screen panel's buttons: light glyphs on the dark panel.
std::vector<Look> panelLooks()
{
    HXColor none = HXColor::clearColor();
    return {
        { "", gray(1, 0.88), none },
        { "Pressed", gray(1), gray(1, 0.22) },
        { "Disabled", gray(1, 0.28), none },
        { "Inactive", gray(1, 0.6), none },
        { "InactiveDisabled", gray(1, 0.2), none },
        { "Rollover", gray(1), gray(1, 0.1) },
    };
}

void writeButton(const std::string& base, int w, int h, const std::vector<Look>& looks, const Glyph& glyph,
    const std::string& valuePrefix = "")
{
    for (const auto& look : looks) {
        writeImage(base + valuePrefix + look.suffix, w, h, [&](HXRect bounds) {
            if (look.plate.alphaComponent() > 0) {
                double d = std::min(w, h) - 2;
                fillPath(HXBezierPath::bezierPathWithOvalInRect(centeredBox(bounds, d, d)), look.plate);
            }
            glyph(bounds, look.ink);
        });
    }
}

// A toggle: the off pictures, the on pictures (with an accent) and a mixed one.
void writeToggleButton(
    const std::string& base, int w, int h, const std::vector<Look>& looks, double s, const HXColor& accent)
{
    writeButton(base, w, h, looks, targetGlyph(s, false));
    std::vector<Look> on = looks;
    for (auto& look : on)
        look.ink = accent.colorWithAlphaComponent(look.ink.alphaComponent());
    writeButton(base, w, h, on, targetGlyph(s, true), "On");
    std::vector<Look> mixed = { looks[0], looks[1], looks[2] };
    writeButton(base, w, h, mixed, mixedTargetGlyph(s), "Mixed");
}

// The five transport buttons and their VR counterparts in one style.
void writeTransport(const std::string& prefix, bool panel)
{
    // Sizes: the five touch each other and fit the 218-point bar.
    const int outerW = 34, innerW = 38, centerW = 41, h = 41;
    auto looks = panel ? panelLooks() : windowLooks();
    auto centerLooks = panel ? panelLooks() : windowCenterLooks();
    double s = 14, cs = panel ? 22 : 15;
    writeButton(prefix + "Beginning", outerW, h, looks, toEdgeGlyph(s, -1));
    writeButton(prefix + "Backward", innerW, h, looks, doubleTriangleGlyph(s, -1));
    writeButton(prefix + "Play", centerW, h, centerLooks, [cs](HXRect b, const HXColor& ink) {
        playGlyph(cs)(HXOffsetRect(b, cs * 0.08, 0), ink); // the triangle's weight sits left of its box
    });
    writeButton(prefix + "Pause", centerW, h, centerLooks, pauseGlyph(cs));
    writeButton(prefix + "Forward", innerW, h, looks, doubleTriangleGlyph(s, 1));
    writeButton(prefix + "End", outerW, h, looks, toEdgeGlyph(s, 1));

    writeButton(prefix + "VRPrevious", outerW, h, looks, backArrowGlyph(s + 2));
    writeButton(prefix + "VRZoomOut", innerW, h, looks, magnifierGlyph(s + 4, false));
    writeButton(prefix + "VRZoomIn", innerW, h, looks, magnifierGlyph(s + 4, true));
    HXColor accent
        = panel ? HXColor::colorWithDeviceRed(0.55, 0.8, 1.0) : HXColor::colorWithDeviceRed(0.1, 0.4, 0.85);
    writeToggleButton(prefix + "VRHotspots", outerW, h, looks, s + 2, accent);
}

// ---- bars, sliders, panels -----------------------------------------------------------------------------

void fillRounded(HXRect r, double radius, const HXColor& color)
{
    fillPath(HXBezierPath::bezierPathWithRoundedRect(r, radius, radius), color);
}

// The three pieces of a bar: rounded caps of width `cap` and a one-point middle, cut from one drawing.
void writeThreePart(const std::string& base, int cap, int centerW, int h, const std::string& rightName,
    int rightW, const std::function<void(HXRect whole)>& draw)
{
    int wholeW = cap + centerW + rightW;
    auto piece = [&](const std::string& name, int offset, int w) {
        writeImage(name, w, h, [&](HXRect) {
            HXAffineTransform t;
            t.translateXBy(-offset, 0);
            t.concat();
            draw(HXMakeRect(0, 0, wholeW, h));
        });
    };
    piece(base + "Left", 0, cap);
    piece(base + "Center", cap, centerW);
    piece(rightName, cap + centerW, rightW);
}

// Up and down arrows at the right end of a pop-up's body.
void popUpArrows(HXRect whole, double rightW, const HXColor& ink)
{
    double cx = HXMaxX(whole) - rightW / 2 - 1, cy = HXMidY(whole);
    fillPath(polygon({ { cx - 2.5, cy + 1 }, { cx + 2.5, cy + 1 }, { cx, cy + 4 } }), ink);
    fillPath(polygon({ { cx - 2.5, cy - 1 }, { cx + 2.5, cy - 1 }, { cx, cy - 4 } }), ink);
}

void writeTimeDisplay()
{
    // The display's panel: a pale screen with a fine dark rim.
    writeThreePart("LCDBackground", 6, 1, 24, "LCDBackgroundRight", 6, [](HXRect r) {
        fillRounded(r, 5, gray(0.35));
        fillRounded(HXInsetRect(r, 1, 1), 4, HXColor::colorWithDeviceRed(0.84, 0.87, 0.8));
        fillRounded(HXMakeRect(1, HXMaxY(r) - 6, HXWidth(r) - 2, 5), 4, gray(1, 0.25));
    });
    // The chapter pop-up inside the display.
    writeThreePart("LCDChapterPopUp", 6, 1, 18, "LCDChapterPopUpRight", 12, [](HXRect r) {
        fillRounded(HXInsetRect(r, 0.5, 0.5), 4, gray(0, 0.08));
        strokePath(
            HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(r, 0.5, 0.5), 4, 4), gray(0.3, 0.6), 1);
        popUpArrows(r, 12, gray(0.2));
    });
    // The full-screen panel's readouts carry dark text (the time in white 0 at 0.8, the chapter in the
    // plain text colour): light backgrounds, like the panel's time bar. The chapter pop-up is drawn at
    // its own size into a button 78 points wide, its arrows at the right end.
    writeImage("FSLCDChapterPopUp", 78, 13, [](HXRect r) {
        fillRounded(HXInsetRect(r, 0.5, 0.5), 4, gray(0.78, 0.95));
        popUpArrows(HXInsetRect(r, 0, -2), 10, gray(0.15));
    });
    // The time-code field's pop-up frame, shown while the pointer is over it.
    writeThreePart("LCDTimeCodePopUp", 4, 1, 15, "LCDTimeCodePopUpRight", 10, [](HXRect r) {
        fillRounded(HXInsetRect(r, 0.5, 0.5), 3, gray(0, 0.07));
        strokePath(
            HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(r, 0.5, 0.5), 3, 3), gray(0.3, 0.55), 1);
        popUpArrows(HXInsetRect(r, 0, -1), 10, gray(0.2));
    });
    writeImage("FSLCDTimeBackground", 49, 13, [](HXRect r) { fillRounded(r, 3, gray(0.78, 0.95)); });
    // Level bars: eight segments of two points, three wide.
    for (bool on : { true, false }) {
        writeImage(on ? "LCDEqualizerOn" : "LCDEqualizerOff", 3, 16, [on](HXRect r) {
            HXColor c = on ? gray(0.12) : gray(0.12, 0.15);
            c.setFill();
            for (int row = 0; row < 8; ++row)
                HXBezierPath::fillRect(HXMakeRect(0, HXMinY(r) + row * 2, 3, 1));
        });
    }
}

void writeTimeline()
{
    for (bool panel : { false, true }) {
        std::string p = panel ? "FS" : "";
        int h = panel ? 9 : 13;
        HXColor groove = panel ? gray(1, 0.3) : gray(0.2, 0.85);
        HXColor loaded = panel ? gray(1, 0.55) : gray(0.42);
        HXColor unloaded = panel ? gray(1, 0.15) : gray(0.2, 0.3);
        auto track = [h](HXRect r, const HXColor& c) {
            double th = h == 9 ? 5 : 7;
            fillRounded(HXMakeRect(HXMinX(r), std::round(HXMidY(r) - th / 2), HXWidth(r), th), th / 2, c);
        };
        writeThreePart(p + "LCDSlider", 4, 1, h, p + "LCDSliderRight", 4, [&](HXRect r) {
            track(r, groove);
            track(HXInsetRect(r, 1, 1), loaded);
        });
        writeImage(p + "LCDSliderProgressiveDownloadCenter", 1, h, [&](HXRect r) {
            track(HXInsetRect(r, -4, 0), groove);
            track(HXInsetRect(r, -4, 1), unloaded);
        });
        writeImage(p + "LCDSliderProgressiveDownloadRight", 4, h, [&](HXRect r) {
            HXAffineTransform t;
            t.translateXBy(-4, 0);
            t.concat();
            HXRect whole = HXMakeRect(0, 0, 8, h);
            track(whole, groove);
            track(HXInsetRect(whole, 1, 1), unloaded);
            (void)r;
        });
    }
    writeImage("LCDSliderSelectionFill", 1, 13, [](HXRect r) {
        HXColor::colorWithDeviceRed(0.25, 0.5, 0.9, 0.55).setFill();
        HXBezierPath::fillRect(HXInsetRect(r, 0, 3));
    });
    writeImage("LCDSliderSelectionTicks", 4, 13, [](HXRect r) {
        gray(0.15, 0.6).setFill();
        HXBezierPath::fillRect(HXMakeRect(0, HXMinY(r), 1, 2));
        HXBezierPath::fillRect(HXMakeRect(0, HXMaxY(r) - 2, 1, 2));
    });
    writeImage("LCDSliderDragIndicator", 3, 13, [](HXRect r) {
        HXColor::colorWithDeviceRed(0.1, 0.35, 0.9).setFill();
        HXBezierPath::fillRect(HXMakeRect(1, 0, 1, HXHeight(r)));
    });

    // Selection markers: a small flag on a line (the line only with a selection), dark when focused.
    for (bool start : { true, false }) {
        for (bool line : { true, false }) {
            for (bool focused : { true, false }) {
                std::string name = std::string("LCDSliderSelection") + (start ? "Start" : "End") + "Marker"
                    + (line ? "" : "NoLine") + (focused ? "On" : "Off");
                writeImage(name, 9, 13, [&](HXRect r) {
                    HXColor ink = focused ? HXColor::colorWithDeviceRed(0.1, 0.35, 0.85) : gray(0.25);
                    double stem = start ? 0 : 8;
                    if (line) {
                        ink.setFill();
                        HXBezierPath::fillRect(HXMakeRect(stem, 0, 1, HXHeight(r)));
                    }
                    double tip = start ? 8 : 1;
                    fillPath(polygon({ { stem + (start ? 0 : 1), HXMaxY(r) }, { tip, HXMaxY(r) - 4 },
                                 { stem + (start ? 0 : 1), HXMaxY(r) - 8 } }),
                        ink);
                });
            }
        }
    }
    // The playhead: a round knob, lit when it has the keyboard.
    for (bool lit : { true, false }) {
        writeImage(lit ? "LCDSliderPlayHeadOn" : "LCDSliderPlayHeadOff", 13, 12, [lit](HXRect r) {
            HXRect knob = centeredBox(r, 11, 11);
            fillPath(HXBezierPath::bezierPathWithOvalInRect(knob), gray(0.2));
            fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(knob, 1.5, 1.5)),
                lit ? HXColor::colorWithDeviceRed(0.35, 0.6, 1.0) : gray(0.93));
        });
    }
    writeImage("FSLCDSliderPlayHead", 9, 9, [](HXRect r) {
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(1, 0.95));
    });
}

void writeVolume()
{
    // The speaker button, by level.
    const char* meters[] = { "VolumeMeterMute", "VolumeMeter1", "VolumeMeter2", "VolumeMeter3" };
    for (int level = 0; level < 4; ++level) {
        writeImage(meters[level], 18, 18,
            [level](HXRect r) { drawSpeaker(HXInsetRect(r, 0, 1), gray(0.22), level, level == 0); });
    }
    // Window slider: a thin groove and a round knob.
    writeImage("VolumeBackground", 48, 5, [](HXRect r) {
        fillRounded(r, 2.5, gray(0.25, 0.8));
        fillRounded(HXInsetRect(r, 1, 1), 1.5, gray(0.55));
    });
    writeImage("VolumeBackgroundMute", 48, 5, [](HXRect r) {
        fillRounded(r, 2.5, gray(0.25, 0.3));
        fillRounded(HXInsetRect(r, 1, 1), 1.5, gray(0.7, 0.5));
    });
    struct Knob {
        const char* name;
        HXColor face;
    } knobs[] = { { "VolumeThumbOff", gray(0.96) }, { "VolumeThumbOn", gray(0.7) },
        { "VolumeThumbMute", gray(0.85, 0.5) } };
    for (const auto& knob : knobs) {
        HXColor face = knob.face;
        bool mute = std::string(knob.name) == "VolumeThumbMute";
        writeImage(knob.name, 9, 9, [face, mute](HXRect r) {
            fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)),
                gray(0.2, mute ? 0.35 : 0.9));
            fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 1.5, 1.5)), face);
        });
    }
    // Full-screen slider: a small speaker in the leftmost 13 points, then the groove.
    writeImage("FSVolumeBackground", 54, 13, [](HXRect r) {
        drawSpeaker(HXMakeRect(0, 0, 13, 13), gray(1, 0.85), 1, false);
        fillRounded(HXMakeRect(14, HXMidY(r) - 1.5, 38, 3), 1.5, gray(1, 0.35));
    });
    writeImage("FSVolumeThumbOff", 7, 7, [](HXRect r) {
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(1, 0.95));
    });
    writeImage("FSVolumeThumbOn", 7, 7, [](HXRect r) {
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(0.75));
    });
}

void writeFullScreenPanel()
{
    // The panel: wide enough for the 379-point time display with 25-point margins.
    writeImage("FSBase", 429, 104, [](HXRect r) {
        fillRounded(HXInsetRect(r, 0.5, 0.5), 12, gray(0.07, 0.78));
        strokePath(
            HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(r, 0.5, 0.5), 12, 12), gray(1, 0.22), 1);
    });
    auto looks = panelLooks();
    writeButton("FSExit", 22, 22, looks, exitGlyph(16));
    writeButton("FSLetterboxIn", 22, 22, looks, boxGlyph(16, true, false));
    writeButton("FSLetterboxOut", 22, 22, looks, boxGlyph(16, true, true));
    writeButton("FSPillarboxIn", 22, 22, looks, boxGlyph(16, false, false));
    writeButton("FSPillarboxOut", 22, 22, looks, boxGlyph(16, false, true));
}

// The program's small mark, drawn on the display chosen in the display picker: a white disc holding a
// bold "M".
void writeSmallLogo()
{
    writeImage("smallMLogo", 20, 20, [](HXRect r) {
        HXRect disc = HXInsetRect(r, 1, 1);
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXOffsetRect(disc, 0, -0.6)), gray(0, 0.35));
        fillPath(HXBezierPath::bezierPathWithOvalInRect(disc), gray(1, 0.95));
        const HXColor ink = HXColor::colorWithCalibratedRed(0.16, 0.3, 0.55);
        HXBezierPath m;
        m.moveToPoint({ 5.5, 5.5 });
        m.lineToPoint({ 5.5, 14.5 });
        m.lineToPoint({ 10, 9.5 });
        m.lineToPoint({ 14.5, 14.5 });
        m.lineToPoint({ 14.5, 5.5 });
        strokePath(m, ink, 2.2);
    });
}

void writeHeadsUpKit()
{
    // Push button: caps and fill of one height, normal (-N) and pressed (-P).
    for (bool pressed : { false, true }) {
        std::string s = pressed ? "-P" : "-N";
        auto body = [pressed](HXRect r) {
            fillRounded(HXInsetRect(r, 0.5, 1.5), 9, gray(pressed ? 0.45 : 0.22, 0.9));
            strokePath(
                HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(r, 0.5, 1.5), 9, 9), gray(1, 0.35), 1);
        };
        const std::vector<std::tuple<std::string, int, int>> pieces = { { "hud_buttonLeft" + s, 0, 9 },
            { "hud_buttonFill" + s, 9, 1 }, { "hud_buttonRight" + s, 10, 9 } };
        for (const auto& [name, offset, w] : pieces) {
            writeImage(name, w, 23, [&, offset = offset](HXRect) {
                HXAffineTransform t;
                t.translateXBy(-offset, 0);
                t.concat();
                body(HXMakeRect(0, 0, 19, 23));
            });
        }
    }
    // Slider tracks (regular and long) and knobs.
    const std::vector<std::tuple<std::string, int, double>> tracks
        = { { "hud_slider-track", 120, 0.45 }, { "hud_slider-track-disabled", 120, 0.18 },
              { "hud_slider-track_long", 260, 0.45 }, { "hud_slider-track_long-disabled", 260, 0.18 } };
    for (const auto& [name, w, alpha] : tracks) {
        writeImage(name, w, 5, [alpha = alpha](HXRect r) { fillRounded(r, 2.5, gray(1, alpha)); });
    }
    writeImage("hud_slider-knob", 11, 11, [](HXRect r) {
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(0.95));
        strokePath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(0, 0.5), 1);
    });
    writeImage("hud_slider-knob-disabled", 11, 11, [](HXRect r) {
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(0.6, 0.5));
    });
    // Title-bar close buttons (regular and the small inspector bar).
    const std::vector<std::pair<std::string, int>> closeButtons
        = { { "hud_titlebar-close", 13 }, { "hud_inspectortitlebar-close", 10 } };
    for (const auto& [name, side] : closeButtons) {
        writeImage(name, side, side, [side = side](HXRect r) {
            fillPath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(r, 0.5, 0.5)), gray(0.85, 0.9));
            HXRect x = HXInsetRect(r, side * 0.33, side * 0.33);
            HXBezierPath cross;
            cross.moveToPoint(HXMakePoint(HXMinX(x), HXMinY(x)));
            cross.lineToPoint(HXMakePoint(HXMaxX(x), HXMaxY(x)));
            cross.moveToPoint(HXMakePoint(HXMinX(x), HXMaxY(x)));
            cross.lineToPoint(HXMakePoint(HXMaxX(x), HXMinY(x)));
            strokePath(cross, gray(0.15), 1.3);
        });
    }
}

void writeWindowPieces()
{
    // The grow box in the window's corner: three diagonal ridges.
    writeImage("ResizeWindowThumb", 15, 15, [](HXRect r) {
        for (int i = 0; i < 3; ++i) {
            double d = 4 + i * 4;
            HXBezierPath light, dark;
            light.moveToPoint(HXMakePoint(HXMaxX(r) - d, 1));
            light.lineToPoint(HXMakePoint(HXMaxX(r) - 1, d));
            strokePath(light, gray(1, 0.8), 1);
            dark.moveToPoint(HXMakePoint(HXMaxX(r) - d + 1, 1));
            dark.lineToPoint(HXMakePoint(HXMaxX(r) - 1, d - 1));
            strokePath(dark, gray(0.3, 0.7), 1);
        }
    });
}

void writeRecordingButtons()
{
    writeButton("Record", 41, 41, windowLooks(), recordGlyph(24));
    writeButton("Stop", 41, 41, windowLooks(), stopGlyph(22));
}

// ---- Application shell: the icons of the favorites list ------------------------------------------

void writeListIcons()
{
    // A file: a page with its top right corner folded.
    writeImage("FileIcon", 16, 16, [](HXRect) {
        HXBezierPath page = polygon({ { 3, 1 }, { 3, 15 }, { 10, 15 }, { 13, 12 }, { 13, 1 } });
        fillPath(page, gray(1));
        strokePath(page, gray(0.35), 1);
        HXBezierPath fold = polygon({ { 10, 15 }, { 10, 12 }, { 13, 12 } });
        fillPath(fold, gray(0.8));
        strokePath(fold, gray(0.35), 1);
    });
    // A network location: a globe with a meridian and the equator.
    writeImage("URLIcon", 16, 16, [](HXRect r) {
        HXRect disc = HXInsetRect(r, 1.5, 1.5);
        fillPath(HXBezierPath::bezierPathWithOvalInRect(disc), HXColor::colorWithCalibratedRed(0.35, 0.6, 0.9));
        strokePath(HXBezierPath::bezierPathWithOvalInRect(disc), gray(0.25), 1);
        strokePath(HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(disc, 3.5, 0)), gray(0.25), 0.8);
        HXBezierPath equator;
        equator.moveToPoint({ HXMinX(disc), HXMidY(disc) });
        equator.lineToPoint({ HXMaxX(disc), HXMidY(disc) });
        strokePath(equator, gray(0.25), 0.8);
    });
}

// ---- end of the application shell block ------------------------------------------------------------

// ---- Preferences toolbar and the Open URL sheet's pop-up --------------------------------------------------

void writePreferenceAndURLImages()
{
    // General: a switch panel of three sliders.
    writeImage("General", 32, 32, [](HXRect r) {
        HXRect box = HXInsetRect(r, 3, 4);
        fillPath(HXBezierPath::bezierPathWithRoundedRect(box, 4, 4), gray(0.88));
        strokePath(HXBezierPath::bezierPathWithRoundedRect(box, 4, 4), gray(0.35), 1);
        for (int i = 0; i < 3; ++i) {
            double y = HXMinY(box) + 6 + i * 7;
            HXBezierPath line;
            line.moveToPoint({ HXMinX(box) + 4, y });
            line.lineToPoint({ HXMaxX(box) - 4, y });
            strokePath(line, gray(0.4), 1.5);
            double x = HXMinX(box) + 7 + ((i * 9) % 16);
            fillPath(HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(x - 3, y - 3, 6, 6)),
                HXColor::colorWithCalibratedRed(0.25, 0.5, 0.85));
        }
    });
    // Full Screen: a display whose picture fills it, with arrows to the corners.
    writeImage("FullScreen", 32, 32, [](HXRect r) {
        HXRect screen = HXMakeRect(HXMinX(r) + 2, HXMinY(r) + 7, 28, 21);
        fillPath(HXBezierPath::bezierPathWithRoundedRect(screen, 2, 2), gray(0.15));
        fillPath(HXBezierPath::bezierPathWithRect(HXInsetRect(screen, 2, 2)), HXColor::colorWithCalibratedRed(0.3, 0.55, 0.9));
        fillPath(polygon({ { 13, 2 }, { 19, 2 }, { 21, 7 }, { 11, 7 } }), gray(0.35));
        HXRect in = HXInsetRect(screen, 5, 5);
        fillPath(triangle(HXMakeRect(HXMaxX(in) - 5, HXMidY(in) - 3, 5, 6), 1), gray(1));
        fillPath(triangle(HXMakeRect(HXMinX(in), HXMidY(in) - 3, 5, 6), -1), gray(1));
    });
    // Recording: a camera body with its lens and a red light.
    writeImage("Capture", 32, 32, [](HXRect r) {
        HXRect body = HXMakeRect(HXMinX(r) + 3, HXMinY(r) + 8, 20, 16);
        fillPath(HXBezierPath::bezierPathWithRoundedRect(body, 3, 3), gray(0.25));
        fillPath(polygon({ { 23, 13 }, { 30, 9 }, { 30, 23 }, { 23, 19 } }), gray(0.25));
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(8, 11, 10, 10)), gray(0.7));
        fillPath(HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(18, 19, 4, 4)),
            HXColor::colorWithCalibratedRed(0.9, 0.15, 0.1));
    });
    // Two small arrows, up and down, on the history pop-up of the Open URL sheet.
    writeImage("doublearrows", 12, 18, [](HXRect r) {
        fillPath(polygon({ { HXMinX(r) + 2, 10 }, { HXMaxX(r) - 2, 10 }, { HXMidX(r), 15 } }), gray(0.2));
        fillPath(polygon({ { HXMinX(r) + 2, 8 }, { HXMaxX(r) - 2, 8 }, { HXMidX(r), 3 } }), gray(0.2));
    });
}

// ---- end of the preferences and Open URL block -------------------------------------------------------------

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: player_image_generator <resources folder>\n");
        return 2;
    }
    gOutputFolder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(gOutputFolder, ec);
    if (ec) {
        std::fprintf(stderr, "player_image_generator: cannot make %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    writeTransport("", false);
    writeTransport("FS", true);
    writeTimeDisplay();
    writeTimeline();
    writeVolume();
    writeFullScreenPanel();
    writeSmallLogo();
    writeHeadsUpKit();
    writeWindowPieces();
    writeRecordingButtons();
    writeListIcons();
    writePreferenceAndURLImages();
    if (gFailed)
        return 1;
    std::printf("player_image_generator: %d images in %s\n", gWritten, argv[1]);
    return 0;
}
