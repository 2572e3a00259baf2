#include "platform/drawing/font.h"

#include "platform/drawing/text_internal.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

constexpr const char* systemFamily = "Sans";

std::string squeezedLower(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c != ' ' && c != '_')
            out.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

// Families whose look our interface was drawn for but which Linux machines do not have: the nearest
// fontconfig alias. Anything else goes to fontconfig as it stands.
std::string substituteFamily(const std::string& family)
{
    std::string key = squeezedLower(family);
    if (key.empty() || key == "lucidagrande" || key == "system" || key == ".systemfont")
        return systemFamily;
    return family;
}

struct StyleWords {
    bool bold = false;
    bool italic = false;
    bool recognised = false;
};

StyleWords parseStyle(const std::string& style)
{
    std::string s = squeezedLower(style);
    StyleWords w;
    if (s.empty())
        return w;
    std::string rest = s;
    auto take = [&rest](const std::string& word) {
        auto pos = rest.find(word);
        if (pos == std::string::npos)
            return false;
        rest.erase(pos, word.size());
        return true;
    };
    w.bold = take("bold");
    w.italic = take("italic") || take("oblique");
    take("roman");
    take("regular");
    w.recognised = rest.empty();
    return w;
}

double usableSize(double size)
{
    return (std::isfinite(size) && size > 0) ? std::min(size, 4096.0) : HXFont::systemFontSize();
}

} // namespace

HXFont::HXFont()
    : _name(systemFamily)
    , _family(systemFamily)
{
    resolve();
}

HXFont HXFont::fontWithName(const std::string& name, double size)
{
    HXFont font;
    font._name = name;
    font._size = usableSize(size);
    std::string family = name;
    auto hyphen = name.rfind('-');
    if (hyphen != std::string::npos && hyphen > 0) {
        StyleWords style = parseStyle(name.substr(hyphen + 1));
        if (style.recognised) {
            family = name.substr(0, hyphen);
            font._bold = style.bold;
            font._italic = style.italic;
        }
    }
    font._family = substituteFamily(family);
    font.resolve();
    return font;
}

HXFont HXFont::systemFontOfSize(double size)
{
    return fontWithName(systemFamily, size);
}

HXFont HXFont::boldSystemFontOfSize(double size)
{
    return systemFontOfSize(size).fontWithBold(true);
}

HXFont HXFont::labelFontOfSize(double size)
{
    return systemFontOfSize(size);
}

double HXFont::systemFontSizeForControlSize(HXControlSize size)
{
    switch (size) {
    case HXSmallControlSize:
        return smallSystemFontSize();
    case HXMiniControlSize:
        return miniSystemFontSize();
    case HXRegularControlSize:
        break;
    }
    return systemFontSize();
}

HXFont HXFont::fontWithSize(double size) const
{
    HXFont font = *this;
    font._size = usableSize(size);
    font.resolve();
    return font;
}

HXFont HXFont::fontWithBold(bool bold) const
{
    HXFont font = *this;
    font._bold = bold;
    font.resolve();
    return font;
}

void HXFont::resolve()
{
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, _family.c_str());
    pango_font_description_set_weight(d, _bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, _italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_size(d, int(std::lround(_size * PANGO_SCALE)));
    _description.reset(d, pango_font_description_free);
}

double HXFont::ascender() const
{
    PangoFontMetrics* m = pango_context_get_metrics(hx_text::measuringContext(), _description.get(), nullptr);
    double v = double(pango_font_metrics_get_ascent(m)) / PANGO_SCALE;
    pango_font_metrics_unref(m);
    return v;
}

double HXFont::descender() const
{
    PangoFontMetrics* m = pango_context_get_metrics(hx_text::measuringContext(), _description.get(), nullptr);
    double v = -double(pango_font_metrics_get_descent(m)) / PANGO_SCALE;
    pango_font_metrics_unref(m);
    return v;
}

double HXFont::lineHeight() const
{
    PangoFontMetrics* m = pango_context_get_metrics(hx_text::measuringContext(), _description.get(), nullptr);
    int height = pango_font_metrics_get_height(m);
    if (height <= 0)
        height = pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m);
    pango_font_metrics_unref(m);
    return double(height) / PANGO_SCALE;
}

bool HXFont::operator==(const HXFont& other) const
{
    return _name == other._name && _family == other._family && _size == other._size && _bold == other._bold
        && _italic == other._italic;
}
