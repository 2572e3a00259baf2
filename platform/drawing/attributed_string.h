#pragma once
// HXAttributedString: text with runs of attributes (font, colour, paragraph style, underline, shadow),
// measured and drawn with Pango. HXStringDrawing does the same for plain strings with one set of
// attributes.
//
// Placement: drawAtPoint puts the top-left of the text's box at the point in a flipped context and its
// bottom-left in an unflipped one; drawInRect lays the text out from the top edge of the rectangle (the
// max-Y edge unflipped, the min-Y edge flipped), wrapped or truncated to its width and clipped to it.
// Text is always upright. Ranges are byte ranges of the UTF-8 string (HXRange).
#include "platform/basekit/strings.h"
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/drawing/geometry.h"

#include <optional>
#include <string>
#include <vector>

typedef struct _PangoLayout PangoLayout;
typedef struct _PangoContext PangoContext;

enum HXTextAlignment : int {
    HXLeftTextAlignment = 0,
    HXRightTextAlignment = 1,
    HXCenterTextAlignment = 2,
    HXJustifiedTextAlignment = 3,
    HXNaturalTextAlignment = 4,
};

enum HXLineBreakMode : int {
    HXLineBreakByWordWrapping = 0,
    HXLineBreakByCharWrapping = 1,
    HXLineBreakByClipping = 2,
    HXLineBreakByTruncatingHead = 3,
    HXLineBreakByTruncatingTail = 4,
    HXLineBreakByTruncatingMiddle = 5,
};

enum HXUnderlineStyle : int {
    HXUnderlineStyleNone = 0,
    HXUnderlineStyleSingle = 1,
    HXUnderlineStyleDouble = 9,
};

struct HXParagraphStyle {
    HXTextAlignment alignment = HXNaturalTextAlignment;
    HXLineBreakMode lineBreakMode = HXLineBreakByWordWrapping;
    bool operator==(const HXParagraphStyle&) const = default;
};

// A shadow under text: offset in points (positive height is up on screen, flipped or not), blur radius
// in points, colour (black at one third when unset).
struct HXShadow {
    HXSize shadowOffset { 0, 0 };
    double shadowBlurRadius = 0;
    std::optional<HXColor> shadowColor;
    bool operator==(const HXShadow&) const = default;
};

// The attributes of a run. Unset ones take the defaults: the system font at 12 points, black, natural
// alignment with word wrapping, no underline, no shadow.
struct HXStringAttributes {
    std::optional<HXFont> font;
    std::optional<HXColor> foregroundColor;
    std::optional<HXParagraphStyle> paragraphStyle;
    std::optional<HXUnderlineStyle> underlineStyle;
    std::optional<HXShadow> shadow;
    bool operator==(const HXStringAttributes&) const = default;
    // The attributes of `other` that are set, laid over these.
    HXStringAttributes mergedWith(const HXStringAttributes& other) const;
};

// Options for measuring. Measurements are always from the top of the first line (line-fragment origin);
// the flag is accepted for callers that pass it.
enum HXStringDrawingOptions : unsigned {
    HXStringDrawingUsesLineFragmentOrigin = 1 << 0,
    HXStringDrawingTruncatesLastVisibleLine = 1 << 5,
};

class HXAttributedString {
public:
    HXAttributedString() = default;
    explicit HXAttributedString(std::string string, HXStringAttributes attributes = {});

    const std::string& string() const { return _string; }
    size_t length() const { return _string.size(); }

    // Replaces (set) or adds to (add) the attributes over `range`, cut to the string; ranges that split
    // a UTF-8 sequence are widened to whole characters.
    void setAttributes(const HXStringAttributes& attributes, HXRange range);
    void addAttributes(const HXStringAttributes& attributes, HXRange range);
    // The attributes at a byte index (defaults past the end) and the run they hold over.
    HXStringAttributes attributesAtIndex(size_t index, HXRange* effectiveRange = nullptr) const;
    void appendAttributedString(const HXAttributedString& other);

    // Size of the text on one line per paragraph, without wrapping.
    HXSize size() const;
    // Size of the text laid out within `size` (width 0 or less: no limit), as drawInRect would; origin 0.
    HXRect boundingRectWithSize(
        const HXSize& size, unsigned options = HXStringDrawingUsesLineFragmentOrigin) const;
    void drawAtPoint(const HXPoint& point) const;
    void drawInRect(const HXRect& rect) const;

    // Internal: a Pango layout of the text in `context` (caller unrefs), `width` < 0 for no limit.
    PangoLayout* createLayout(PangoContext* context, double width) const;

    bool operator==(const HXAttributedString&) const = default;

private:
    struct Run {
        size_t start;
        size_t length;
        HXStringAttributes attributes;
        bool operator==(const Run&) const = default;
    };
    void normalize();

    std::string _string;
    std::vector<Run> _runs; // cover the string without gaps, in order
};

// Drawing and measuring plain strings with one set of attributes.
namespace HXStringDrawing {
HXSize sizeWithAttributes(const std::string& string, const HXStringAttributes& attributes);
HXRect boundingRectWithSize(
    const std::string& string, const HXSize& size, unsigned options, const HXStringAttributes& attributes);
void drawAtPoint(const std::string& string, const HXPoint& point, const HXStringAttributes& attributes);
void drawInRect(const std::string& string, const HXRect& rect, const HXStringAttributes& attributes);
} // namespace HXStringDrawing
