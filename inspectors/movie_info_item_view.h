#pragma once
// MovieInfoItemView: one row of the info panel — a bold label on the left and its value on the right, or
// a value alone across the whole row (the title and the information lines). Rows are 350 points wide and
// as tall as their value needs; a change of text resizes the row.
#include "player/controls/hud_text.h"
#include "platform/drawing/attributed_string.h"
#include "platform/winkit/view.h"

#include <memory>
#include <optional>
#include <string>

// The geometry and text of the rows.
inline constexpr double MovieInfoRowWidth = 350;
inline constexpr double MovieInfoRowHeight = 16;
inline constexpr double MovieInfoLabelWidth = 115;
inline constexpr double MovieInfoValueX = 120;
inline constexpr double MovieInfoValueWidth = 225;
inline constexpr double MovieInfoFontSize = 11;
inline constexpr const char* MovieInfoLabelFontName = "LucidaGrande-Bold";
inline constexpr const char* MovieInfoValueFontName = "LucidaGrande";

// The light text of the heads-up panels (white at 0.9).
HXColor MovieInfoHUDTextColor();

// A value view that can also show attributed text (the centred title with its shadow). Plain text set
// with setString shows as any text view's does.
class MovieInfoValueTextView : public HUDTextView {
public:
    explicit MovieInfoValueTextView(HXRect frame = HXZeroRect);
    const std::optional<HXAttributedString>& attributedString() const { return _attributed; }
    // Shows `text` with its own attributes; the plain text becomes its string.
    void setAttributedString(const HXAttributedString& text);
    // Plain text again (the attributed text is dropped).
    void setPlainString(const std::string& text);
    void drawRect(HXRect dirtyRect) override;

private:
    std::optional<HXAttributedString> _attributed;
};

namespace MVPActuallySizeToFit {
// The height `view` needs for its whole text laid out at its frame's width (never below the row height),
// and the view made that tall when it differs; the width stays.
double heightToFit(const HXTextView& view);
void actuallySizeToFit(HXTextView& view);
} // namespace MVPActuallySizeToFit

class MovieInfoItemView : public HXView {
public:
    static std::shared_ptr<MovieInfoItemView> movieInfoItemViewWithLabel(
        const std::string& label, const std::string& value);
    static std::shared_ptr<MovieInfoItemView> movieInfoItemViewWithLabelClickable(
        const std::string& label, const std::string& value)
    {
        return movieInfoItemViewWithLabel(label, value);
    }
    static std::shared_ptr<MovieInfoItemView> movieInfoItemViewWithValue(const std::string& value);
    static std::shared_ptr<MovieInfoItemView> movieInfoItemViewWithAttributedValue(
        const HXAttributedString& value);
    static std::shared_ptr<MovieInfoItemView> movieInfoItemViewWithView(const std::shared_ptr<HXView>& view);

    explicit MovieInfoItemView(HXRect frame = HXZeroRect);

    // Nothing when the text is the same; otherwise the value view is sized to the new text and the row
    // takes its height.
    void setValue(const std::string& value);
    void setAttributedValue(const HXAttributedString& value);
    void setLabel(const std::string& label);
    // Another font for the value; the row is sized to the text in it.
    void setValueFont(const HXFont& font);
    // The texts; empty for a part the row does not have.
    std::string label() const;
    std::string value() const;
    long tag() const override { return _tag; }
    void setTag(long tag) { _tag = tag; }
    const std::shared_ptr<MovieInfoValueTextView>& valueTextView() const { return _valueTextView; }
    const std::shared_ptr<HUDTextField>& labelTextField() const { return _labelTextField; }

private:
    void initWithLabel(const std::string& label, const std::string& value);
    void initWithValue(const std::string& value);
    void initWithAttributedValue(const HXAttributedString& value);
    void initWithView(const std::shared_ptr<HXView>& view);
    std::shared_ptr<MovieInfoValueTextView> makeValueView(HXRect frame);
    // The row takes the value view's height.
    void fitToValue();

    std::shared_ptr<HUDTextField> _labelTextField;
    std::shared_ptr<MovieInfoValueTextView> _valueTextView;
    long _tag = -1;
};
