#include "platform/vckit/composition.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

HXError readError(const std::string& text)
{
    return HXError::withDescription(
        VCCompositionErrorDomain, VCCompositionReadError, "The composition " + text + ".");
}

bool finiteNumber(const HXPropertyList& v)
{
    return v.isNumber() && std::isfinite(v.realValue());
}

// [a, b, ...] of `count` finite numbers.
std::optional<std::vector<double>> numbers(const HXPropertyList& v, size_t minCount, size_t maxCount)
{
    if (!v.isArray() || v.count() < minCount || v.count() > maxCount)
        return std::nullopt;
    std::vector<double> out;
    for (const auto& item : v.arrayValue()) {
        if (!finiteNumber(item))
            return std::nullopt;
        out.push_back(item.realValue());
    }
    return out;
}

std::optional<HXColor> colorFrom(const HXPropertyList& v)
{
    auto c = numbers(v, 3, 4);
    if (!c)
        return std::nullopt;
    for (double x : *c)
        if (x < 0 || x > 1)
            return std::nullopt;
    return HXColor::colorWithCalibratedRed((*c)[0], (*c)[1], (*c)[2], c->size() == 4 ? (*c)[3] : 1);
}

std::optional<VCAnimation> animationFrom(const HXPropertyList& v, std::string& problem)
{
    static const std::pair<const char*, VCAnimation::Property> properties[]
        = { { "opacity", VCAnimation::Property::Opacity }, { "x", VCAnimation::Property::X },
              { "y", VCAnimation::Property::Y }, { "rotation", VCAnimation::Property::Rotation },
              { "scale", VCAnimation::Property::Scale } };
    if (!v.isDictionary()) {
        problem = "has an animation that is not a dictionary";
        return std::nullopt;
    }
    VCAnimation a;
    auto it = std::find_if(std::begin(properties), std::end(properties),
        [&](const auto& p) { return v["property"].isString() && v["property"].stringValue() == p.first; });
    if (it == std::end(properties)) {
        problem = "animates an unknown property";
        return std::nullopt;
    }
    a.property = it->second;
    if (!finiteNumber(v["from"]) || !finiteNumber(v["to"]) || !finiteNumber(v["duration"])
        || v["duration"].realValue() <= 0 || (v.contains("begin") && !finiteNumber(v["begin"]))) {
        problem = "has an animation without a valid range or duration";
        return std::nullopt;
    }
    a.from = v["from"].realValue();
    a.to = v["to"].realValue();
    a.duration = v["duration"].realValue();
    a.begin = v.contains("begin") ? v["begin"].realValue() : 0;
    a.repeats = v["repeats"].isBoolean() && v["repeats"].boolValue();
    a.autoreverses = v["autoreverses"].isBoolean() && v["autoreverses"].boolValue();
    return a;
}

std::optional<VCLayer> layerFrom(
    const HXPropertyList& v, HXSize canvas, const std::string& baseFolder, std::string& problem)
{
    if (!v.isDictionary() || !v["type"].isString()) {
        problem = "has a layer without a type";
        return std::nullopt;
    }
    VCLayer layer;
    const std::string type = v["type"].stringValue();
    if (type == "color")
        layer.type = VCLayer::Type::Color;
    else if (type == "gradient")
        layer.type = VCLayer::Type::Gradient;
    else if (type == "text")
        layer.type = VCLayer::Type::Text;
    else if (type == "image")
        layer.type = VCLayer::Type::Image;
    else {
        problem = "has a layer of unknown type \"" + type + "\"";
        return std::nullopt;
    }
    layer.frame = { {}, canvas };
    if (v.contains("frame")) {
        auto f = numbers(v["frame"], 4, 4);
        if (!f || (*f)[2] < 0 || (*f)[3] < 0) {
            problem = "has a layer with a bad frame";
            return std::nullopt;
        }
        layer.frame = HXMakeRect((*f)[0], (*f)[1], (*f)[2], (*f)[3]);
    }
    if (v.contains("opacity")) {
        if (!finiteNumber(v["opacity"])) {
            problem = "has a layer with a bad opacity";
            return std::nullopt;
        }
        layer.opacity = std::clamp(v["opacity"].realValue(), 0.0, 1.0);
    }
    switch (layer.type) {
    case VCLayer::Type::Color:
    case VCLayer::Type::Text: {
        auto c = colorFrom(v["color"]);
        if (!c) {
            problem = "has a layer without a valid colour";
            return std::nullopt;
        }
        layer.color = *c;
        if (layer.type == VCLayer::Type::Text) {
            if (!v["text"].isString()) {
                problem = "has a text layer without text";
                return std::nullopt;
            }
            layer.text = v["text"].stringValue();
            if (v["fontName"].isString())
                layer.fontName = v["fontName"].stringValue();
            if (v.contains("fontSize")) {
                if (!finiteNumber(v["fontSize"]) || v["fontSize"].realValue() <= 0
                    || v["fontSize"].realValue() > 1000) {
                    problem = "has a text layer with a bad font size";
                    return std::nullopt;
                }
                layer.fontSize = v["fontSize"].realValue();
            }
        }
        break;
    }
    case VCLayer::Type::Gradient: {
        const auto& colors = v["colors"];
        std::optional<HXColor> a, b;
        if (colors.isArray() && colors.count() == 2) {
            a = colorFrom(colors[size_t(0)]);
            b = colorFrom(colors[size_t(1)]);
        }
        if (!a || !b || (v.contains("angle") && !finiteNumber(v["angle"]))) {
            problem = "has a gradient layer without two valid colours";
            return std::nullopt;
        }
        layer.color = *a;
        layer.endColor = *b;
        layer.angle = v.contains("angle") ? v["angle"].realValue() : 0;
        break;
    }
    case VCLayer::Type::Image: {
        if (!v["image"].isString() || v["image"].stringValue().empty()) {
            problem = "has an image layer without an image";
            return std::nullopt;
        }
        std::filesystem::path p = v["image"].stringValue();
        if (p.is_relative() && !baseFolder.empty())
            p = std::filesystem::path(baseFolder) / p;
        layer.imagePath = p.is_absolute() ? p.string() : std::string();
        break;
    }
    }
    if (v.contains("animations")) {
        if (!v["animations"].isArray()) {
            problem = "has a layer whose animations are not a list";
            return std::nullopt;
        }
        for (const auto& item : v["animations"].arrayValue()) {
            auto a = animationFrom(item, problem);
            if (!a)
                return std::nullopt;
            layer.animations.push_back(*a);
        }
    }
    return layer;
}

} // namespace

double VCAnimation::valueAtTime(double time) const
{
    double t = (time - begin) / duration;
    if (t <= 0)
        return from;
    if (repeats) {
        double period = autoreverses ? 2 : 1;
        t = std::fmod(t, period);
    } else if (t >= (autoreverses ? 2 : 1)) {
        return autoreverses ? from : to;
    }
    if (t > 1)
        t = 2 - t;
    return from + (to - from) * t;
}

VCComposition::~VCComposition()
{
    for (auto* s : _images)
        if (s)
            cairo_surface_destroy(s);
}

std::shared_ptr<VCComposition> VCComposition::compositionWithFile(const std::string& path, HXError* outError)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (outError)
            *outError = readError("file \"" + path + "\" cannot be read");
        return nullptr;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return compositionWithData(bytes.str(), std::filesystem::absolute(path).parent_path().string(), outError);
}

std::shared_ptr<VCComposition> VCComposition::compositionWithData(
    const std::string& data, const std::string& baseFolder, HXError* outError)
{
    HXError plistError;
    auto plist = HXPropertyList::fromXML(data, &plistError);
    if (!plist) {
        if (outError)
            *outError = readError("is not a property list");
        return nullptr;
    }
    return compositionWithPropertyList(*plist, baseFolder, outError);
}

std::shared_ptr<VCComposition> VCComposition::compositionWithPropertyList(
    const HXPropertyList& plist, const std::string& baseFolder, HXError* outError)
{
    auto fail = [&](const std::string& problem) -> std::shared_ptr<VCComposition> {
        if (outError)
            *outError = readError(problem);
        return nullptr;
    };
    if (!plist.isDictionary())
        return fail("is not a dictionary");
    auto size = numbers(plist["size"], 2, 2);
    if (!size || (*size)[0] < 1 || (*size)[1] < 1 || (*size)[0] > maximumCanvasSide
        || (*size)[1] > maximumCanvasSide)
        return fail("has no valid size");
    const auto& layers = plist["layers"];
    if (!layers.isArray() || layers.count() > maximumLayerCount)
        return fail("has no valid list of layers");
    auto composition = std::make_shared<VCComposition>();
    composition->_size = { (*size)[0], (*size)[1] };
    for (const char* key : { VCCompositionAttributeNameKey, VCCompositionAttributeDescriptionKey,
             VCCompositionAttributeCopyrightKey })
        if (plist[key].isString())
            composition->_attributes[key] = plist[key];
    for (const auto& item : layers.arrayValue()) {
        std::string problem;
        auto layer = layerFrom(item, composition->_size, baseFolder, problem);
        if (!layer)
            return fail(problem);
        composition->_layers.push_back(std::move(*layer));
    }
    return composition;
}

void VCComposition::renderAtTime(cairo_t* cr, const HXRect& bounds, double time, bool safeMode) const
{
    if (!_imagesLoaded && !safeMode) {
        _imagesLoaded = true;
        for (const auto& layer : _layers) {
            cairo_surface_t* image = nullptr;
            if (layer.type == VCLayer::Type::Image && !layer.imagePath.empty()) {
                image = cairo_image_surface_create_from_png(layer.imagePath.c_str());
                if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
                    cairo_surface_destroy(image);
                    image = nullptr;
                }
            }
            _images.push_back(image);
        }
    }
    cairo_save(cr);
    cairo_rectangle(cr, bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
    cairo_clip(cr);
    cairo_translate(cr, bounds.origin.x, bounds.origin.y);
    cairo_scale(cr, bounds.size.width / _size.width, bounds.size.height / _size.height);
    for (size_t i = 0; i < _layers.size(); ++i) {
        const VCLayer& layer = _layers[i];
        double opacity = layer.opacity, dx = 0, dy = 0, rotation = 0, scale = 1;
        for (const auto& a : layer.animations) {
            double v = a.valueAtTime(time);
            switch (a.property) {
            case VCAnimation::Property::Opacity:
                opacity = std::clamp(v, 0.0, 1.0);
                break;
            case VCAnimation::Property::X:
                dx = v;
                break;
            case VCAnimation::Property::Y:
                dy = v;
                break;
            case VCAnimation::Property::Rotation:
                rotation = v;
                break;
            case VCAnimation::Property::Scale:
                scale = v;
                break;
            }
        }
        if (opacity <= 0 || layer.frame.size.width <= 0 || layer.frame.size.height <= 0)
            continue;
        const double w = layer.frame.size.width, h = layer.frame.size.height;
        cairo_save(cr);
        cairo_translate(cr, layer.frame.origin.x + dx + w / 2, layer.frame.origin.y + dy + h / 2);
        cairo_rotate(cr, rotation * M_PI / 180);
        cairo_scale(cr, scale, scale);
        cairo_translate(cr, -w / 2, -h / 2);
        cairo_push_group(cr);
        double r, g, b, al;
        switch (layer.type) {
        case VCLayer::Type::Color:
            layer.color.getRed(&r, &g, &b, &al);
            cairo_set_source_rgba(cr, r, g, b, al);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_fill(cr);
            break;
        case VCLayer::Type::Gradient: {
            double rad = layer.angle * M_PI / 180, cx = w / 2, cy = h / 2;
            double ex = std::cos(rad) * w / 2, ey = std::sin(rad) * h / 2;
            cairo_pattern_t* p = cairo_pattern_create_linear(cx - ex, cy - ey, cx + ex, cy + ey);
            layer.color.getRed(&r, &g, &b, &al);
            cairo_pattern_add_color_stop_rgba(p, 0, r, g, b, al);
            layer.endColor.getRed(&r, &g, &b, &al);
            cairo_pattern_add_color_stop_rgba(p, 1, r, g, b, al);
            cairo_set_source(cr, p);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_fill(cr);
            cairo_pattern_destroy(p);
            break;
        }
        case VCLayer::Type::Text: {
            PangoLayout* text = pango_cairo_create_layout(cr);
            PangoFontDescription* font = pango_font_description_from_string(layer.fontName.c_str());
            pango_font_description_set_absolute_size(font, layer.fontSize * PANGO_SCALE);
            pango_layout_set_font_description(text, font);
            pango_layout_set_width(text, int(w * PANGO_SCALE));
            pango_layout_set_text(text, layer.text.c_str(), -1);
            layer.color.getRed(&r, &g, &b, &al);
            cairo_set_source_rgba(cr, r, g, b, al);
            cairo_move_to(cr, 0, 0);
            pango_cairo_show_layout(cr, text);
            pango_font_description_free(font);
            g_object_unref(text);
            break;
        }
        case VCLayer::Type::Image:
            if (i < _images.size() && _images[i]) {
                cairo_surface_t* image = _images[i];
                int iw = cairo_image_surface_get_width(image), ih = cairo_image_surface_get_height(image);
                if (iw > 0 && ih > 0) {
                    cairo_scale(cr, w / iw, h / ih);
                    cairo_set_source_surface(cr, image, 0, 0);
                    cairo_paint(cr);
                }
            }
            break;
        }
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, opacity);
        cairo_restore(cr);
    }
    cairo_restore(cr);
}
