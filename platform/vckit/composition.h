#pragma once
// VCComposition: a visual composition — a few layers (colours, gradients, text, images) on a canvas,
// each with properties animated over time — read from a property list and drawn with Cairo at any time.
//
// The file is a property-list dictionary:
//   "size"         [width, height] of the canvas (1 to 8192 each)
//   "name", "description", "copyright"   strings (optional)
//   "layers"       array (at most 256) of dictionaries, drawn in order:
//     "type"       "color" | "gradient" | "text" | "image"
//     "frame"      [x, y, width, height] on the canvas, y down (default: the whole canvas)
//     "opacity"    0 to 1 (default 1)
//     "color"      [r, g, b] or [r, g, b, a], 0 to 1 (color and text layers)
//     "colors"     two colours, "angle" in degrees (gradient layers; 0 runs left to right)
//     "text", "fontName", "fontSize"            (text layers)
//     "image"      path of a PNG, relative to the composition's folder (image layers)
//     "animations" array of { "property": "opacity" | "x" | "y" | "rotation" | "scale",
//                  "from", "to", "begin" (seconds, default 0), "duration" (seconds, above 0),
//                  "repeats" (bool), "autoreverses" (bool) }
// Anything else in the file is ignored; a file that breaks these rules is refused with an error.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"
#include "platform/drawing/color.h"
#include "platform/drawing/geometry.h"

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Attributes of a composition.
inline constexpr const char* VCCompositionAttributeNameKey = "name";
inline constexpr const char* VCCompositionAttributeDescriptionKey = "description";
inline constexpr const char* VCCompositionAttributeCopyrightKey = "copyright";
// Error domain of compositions that cannot be read or rendered.
inline constexpr const char* VCCompositionErrorDomain = "VCCompositionErrorDomain";
enum VCCompositionError { VCCompositionReadError = 1, VCCompositionRenderError = 2 };

struct VCAnimation {
    enum class Property { Opacity, X, Y, Rotation, Scale };
    Property property = Property::Opacity;
    double from = 0;
    double to = 0;
    double begin = 0;
    double duration = 1;
    bool repeats = false;
    bool autoreverses = false;
    // The value at `time` seconds: `from` before the start, `to` after the end of a one-shot run.
    double valueAtTime(double time) const;
};

struct VCLayer {
    enum class Type { Color, Gradient, Text, Image };
    Type type = Type::Color;
    HXRect frame {}; // canvas units, y down
    double opacity = 1;
    HXColor color = HXColor::whiteColor();
    HXColor endColor = HXColor::blackColor();
    double angle = 0;
    std::string text;
    std::string fontName = "Sans";
    double fontSize = 24;
    std::string imagePath; // absolute
    std::vector<VCAnimation> animations;
};

class VCComposition {
public:
    static constexpr double maximumCanvasSide = 8192;
    static constexpr size_t maximumLayerCount = 256;

    // Reads a composition file; image paths are taken relative to its folder.
    static std::shared_ptr<VCComposition> compositionWithFile(
        const std::string& path, HXError* outError = nullptr);
    // A composition from the bytes of such a file; relative image paths are taken from `baseFolder`
    // (none: image layers without an absolute path draw nothing).
    static std::shared_ptr<VCComposition> compositionWithData(
        const std::string& data, const std::string& baseFolder = {}, HXError* outError = nullptr);
    static std::shared_ptr<VCComposition> compositionWithPropertyList(
        const HXPropertyList& plist, const std::string& baseFolder = {}, HXError* outError = nullptr);

    // "name", "description" and "copyright", those the file has.
    const HXPropertyList::Dictionary& attributes() const { return _attributes; }
    HXSize canvasSize() const { return _size; }
    const std::vector<VCLayer>& layers() const { return _layers; }

    // Draws the composition at `time` seconds scaled into `bounds` of the context (y down). In safe mode
    // no file is read: image layers draw nothing.
    void renderAtTime(cairo_t* cr, const HXRect& bounds, double time, bool safeMode = false) const;

private:
    HXPropertyList::Dictionary _attributes;
    HXSize _size {};
    std::vector<VCLayer> _layers;
    mutable std::vector<cairo_surface_t*> _images; // loaded on first use, one per layer (null: none)
    mutable bool _imagesLoaded = false;

public:
    ~VCComposition();
};
