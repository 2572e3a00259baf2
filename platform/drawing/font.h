#pragma once
// HXFont: a typeface at a size, resolved through Pango and fontconfig. Any name gives a font: names the
// machine lacks fall back to what fontconfig picks (the interface's own face, "Lucida Grande", maps to
// the default sans face). A name may carry a style after a hyphen ("LucidaGrande-Bold", "Helvetica-Oblique").
// Sizes are in points; one point is one unit of user space.
#include <memory>
#include <string>

typedef struct _PangoFontDescription PangoFontDescription;

// Sizes of controls, for the matching system font size.
enum HXControlSize : int {
    HXRegularControlSize = 0,
    HXSmallControlSize = 1,
    HXMiniControlSize = 2,
};

class HXFont {
public:
    // Size 0 or less (or not a number) means the system font size.
    static HXFont fontWithName(const std::string& name, double size);
    static HXFont systemFontOfSize(double size);
    static HXFont boldSystemFontOfSize(double size);
    static HXFont labelFontOfSize(double size);

    static constexpr double systemFontSize() { return 13; }
    static constexpr double smallSystemFontSize() { return 11; }
    static constexpr double miniSystemFontSize() { return 9; }
    static constexpr double labelFontSize() { return 10; }
    static double systemFontSizeForControlSize(HXControlSize size);

    // The system font at the system size.
    HXFont();

    const std::string& fontName() const { return _name; } // as asked for
    const std::string& familyName() const { return _family; } // the family asked of fontconfig
    double pointSize() const { return _size; }
    bool isBold() const { return _bold; }
    bool isItalic() const { return _italic; }
    // The same face at another size, and the bold or plain variant.
    HXFont fontWithSize(double size) const;
    HXFont fontWithBold(bool bold) const;

    // Metrics in points: ascender above the baseline (positive), descender below it (negative), and the
    // distance between baselines of consecutive lines.
    double ascender() const;
    double descender() const;
    double lineHeight() const; // defaultLineHeightForFont

    // The Pango description (owned by the font; valid while it lives).
    const PangoFontDescription* pangoFontDescription() const { return _description.get(); }

    bool operator==(const HXFont& other) const;

private:
    void resolve();

    std::string _name;
    std::string _family;
    double _size = systemFontSize();
    bool _bold = false;
    bool _italic = false;
    std::shared_ptr<PangoFontDescription> _description;
};
