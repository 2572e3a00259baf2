#include "inspectors/movie_info_item_view.h"

#include "platform/drawing/font.h"
#include "platform/winkit/text_field_cell.h"
#include "player/controls/accessibility_additions.h"

#include <algorithm>
#include <cmath>

namespace {

// The text view keeps its text this far inside its bounds on every side.
constexpr double kTextInset = 2;
// The accessibility attribute naming the element that titles another.
constexpr const char* kTitleUIElementAttribute = "AXTitleUIElement";

HXFont valueFont()
{
    return HXFont::fontWithName(MovieInfoValueFontName, MovieInfoFontSize);
}

// The settings every value view shares: shown, selectable, no background, wrapped at its own width.
void configureValueView(HUDTextView& view)
{
    view.setEditable(false);
    view.setSelectable(true);
    view.setDrawsBackground(false);
    view.setWidthTracksTextView(true);
    view.setTextColor(MovieInfoHUDTextColor());
}

} // namespace

HXColor MovieInfoHUDTextColor()
{
    return HXColor::colorWithCalibratedWhite(0.9, 1.0);
}

// ---- The value view

MovieInfoValueTextView::MovieInfoValueTextView(HXRect frame)
    : HUDTextView(frame)
{
}

void MovieInfoValueTextView::setAttributedString(const HXAttributedString& text)
{
    _attributed = text;
    setString(text.string());
    setNeedsDisplay(true);
}

void MovieInfoValueTextView::setPlainString(const std::string& text)
{
    _attributed.reset();
    setString(text);
    setNeedsDisplay(true);
}

void MovieInfoValueTextView::drawRect(HXRect dirtyRect)
{
    if (!_attributed) {
        HUDTextView::drawRect(dirtyRect);
        return;
    }
    _attributed->drawInRect(HXInsetRect(bounds(), kTextInset, kTextInset));
}

// ---- Sizing to the text

double MVPActuallySizeToFit::heightToFit(const HXTextView& view)
{
    double width = std::max(0.0, view.frame().size.width - 2 * kTextInset);
    double used = 0;
    auto* attributed = dynamic_cast<const MovieInfoValueTextView*>(&view);
    if (attributed && attributed->attributedString())
        used = attributed->attributedString()->boundingRectWithSize({ width, 0 }).size.height;
    else
        used = double(view.lineLayout().size()) * view.font().lineHeight();
    return std::max(MovieInfoRowHeight, std::ceil(used + 2 * kTextInset));
}

void MVPActuallySizeToFit::actuallySizeToFit(HXTextView& view)
{
    double height = heightToFit(view);
    if (height != view.frame().size.height)
        view.setFrameSize({ view.frame().size.width, height });
}

// ---- The row

MovieInfoItemView::MovieInfoItemView(HXRect frame)
    : HXView(frame)
{
    setAutoresizesSubviews(false);
}

std::shared_ptr<MovieInfoItemView> MovieInfoItemView::movieInfoItemViewWithLabel(
    const std::string& label, const std::string& value)
{
    auto row = std::make_shared<MovieInfoItemView>();
    row->initWithLabel(label, value);
    return row;
}

std::shared_ptr<MovieInfoItemView> MovieInfoItemView::movieInfoItemViewWithValue(const std::string& value)
{
    auto row = std::make_shared<MovieInfoItemView>();
    row->initWithValue(value);
    return row;
}

std::shared_ptr<MovieInfoItemView> MovieInfoItemView::movieInfoItemViewWithAttributedValue(
    const HXAttributedString& value)
{
    auto row = std::make_shared<MovieInfoItemView>();
    row->initWithAttributedValue(value);
    return row;
}

std::shared_ptr<MovieInfoItemView> MovieInfoItemView::movieInfoItemViewWithView(
    const std::shared_ptr<HXView>& view)
{
    auto row = std::make_shared<MovieInfoItemView>();
    row->initWithView(view);
    return row;
}

std::shared_ptr<MovieInfoValueTextView> MovieInfoItemView::makeValueView(HXRect frame)
{
    auto view = std::make_shared<MovieInfoValueTextView>(frame);
    configureValueView(*view);
    view->setFont(valueFont());
    return view;
}

void MovieInfoItemView::initWithLabel(const std::string& label, const std::string& value)
{
    _labelTextField
        = std::make_shared<HUDTextField>(HXRect { { 0, 0 }, { MovieInfoLabelWidth, MovieInfoRowHeight } });
    _labelTextField->setFont(HXFont::fontWithName(MovieInfoLabelFontName, MovieInfoFontSize));
    _labelTextField->setAlignment(HXRightTextAlignment);
    _labelTextField->setEditable(false);
    _labelTextField->setSelectable(false);
    _labelTextField->setBordered(false);
    _labelTextField->setBezeled(false);
    _labelTextField->setDrawsBackground(false);
    _labelTextField->setStringValue(label);
    _labelTextField->setAutoresizingMask(HXViewMinYMargin);

    _valueTextView = makeValueView({ { MovieInfoValueX, 0 }, { MovieInfoValueWidth, MovieInfoRowHeight } });
    _valueTextView->setString(value);
    // Read aloud, the value is titled by its label.
    MVPAccessibility::invokeAccessibilitySetOverrideValue(*_valueTextView,
        HXAccessibilityValue(std::static_pointer_cast<HXObject>(_labelTextField->cell())),
        kTitleUIElementAttribute);
    addSubview(_labelTextField);
    addSubview(_valueTextView);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::initWithValue(const std::string& value)
{
    _valueTextView = makeValueView({ { 0, 0 }, { MovieInfoRowWidth, MovieInfoRowHeight } });
    _valueTextView->setString(value);
    addSubview(_valueTextView);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::initWithAttributedValue(const HXAttributedString& value)
{
    _valueTextView = makeValueView({ { 0, 0 }, { MovieInfoRowWidth, MovieInfoRowHeight } });
    _valueTextView->setAlignment(HXCenterTextAlignment);
    _valueTextView->setAttributedString(value);
    addSubview(_valueTextView);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::initWithView(const std::shared_ptr<HXView>& view)
{
    double height = view ? view->frame().size.height : 0;
    setFrameSize({ MovieInfoRowWidth, height });
    if (view) {
        view->setFrameOrigin({ 0, 0 });
        addSubview(view);
    }
}

void MovieInfoItemView::fitToValue()
{
    if (!_valueTextView)
        return;
    HXSize size = _valueTextView->frame().size;
    if (auto parent = superview())
        size = convertSizeToView(size, parent.get());
    setFrameSize({ MovieInfoRowWidth, size.height });
    _valueTextView->setFrameOrigin({ _valueTextView->frame().origin.x, 0 });
    // The label keeps to the top of the row, level with the value's first line.
    if (_labelTextField)
        _labelTextField->setFrameOrigin({ 0, frame().size.height - MovieInfoRowHeight });
}

void MovieInfoItemView::setValue(const std::string& value)
{
    if (!_valueTextView || (_valueTextView->string() == value && !_valueTextView->attributedString()))
        return;
    _valueTextView->setPlainString(value);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::setAttributedValue(const HXAttributedString& value)
{
    if (!_valueTextView || _valueTextView->attributedString() == value)
        return;
    _valueTextView->setAttributedString(value);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::setValueFont(const HXFont& font)
{
    if (!_valueTextView)
        return;
    _valueTextView->setFont(font);
    MVPActuallySizeToFit::actuallySizeToFit(*_valueTextView);
    fitToValue();
}

void MovieInfoItemView::setLabel(const std::string& label)
{
    if (_labelTextField && _labelTextField->stringValue() != label)
        _labelTextField->setStringValue(label);
}

std::string MovieInfoItemView::label() const
{
    return _labelTextField ? _labelTextField->stringValue() : std::string();
}

std::string MovieInfoItemView::value() const
{
    return _valueTextView ? _valueTextView->string() : std::string();
}
