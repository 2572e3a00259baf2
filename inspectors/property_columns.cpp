#include "inspectors/property_columns.h"

#include "inspectors/pane_loader.h"
#include "platform/basekit/bundle.h"
#include "platform/drawing/font.h"
#include "platform/winkit/number_formatter.h"
#include "platform/winkit/text_field_cell.h"

#include <cfloat>
#include <cmath>

namespace {

HXTextAlignment alignmentNamed(const std::string& name)
{
    if (name == "Left")
        return HXLeftTextAlignment;
    if (name == "Center")
        return HXCenterTextAlignment;
    if (name == "Right")
        return HXRightTextAlignment;
    return HXNaturalTextAlignment;
}

MVPPropertyColumn::Type typeNamed(const std::string& name)
{
    if (name == "TextField")
        return MVPPropertyColumn::Type::TextField;
    if (name == "CheckBox")
        return MVPPropertyColumn::Type::CheckBox;
    return MVPPropertyColumn::Type::Default;
}

std::string stringOf(const HXPropertyList& dict, const char* key)
{
    const HXPropertyList& value = dict[key];
    return value.isString() ? value.stringValue() : std::string();
}

} // namespace

std::vector<MVPPropertyColumn> MVPPropertyColumnsFromList(const HXPropertyList& list)
{
    std::vector<MVPPropertyColumn> columns;
    if (!list.isArray())
        return columns;
    for (const HXPropertyList& element : list.arrayValue()) {
        if (!element.isDictionary())
            continue;
        MVPPropertyColumn column;
        column.identifier = stringOf(element, "Identifier");
        if (column.identifier.empty())
            continue;
        column.key = stringOf(element, "Key");
        column.sortKey = stringOf(element, "Sort Key");
        if (column.sortKey.empty())
            column.sortKey = column.key;
        const HXPropertyList& info = element["Display Info"];
        column.alignment = alignmentNamed(stringOf(info, "Alignment"));
        column.type = typeNamed(stringOf(info, "Type"));
        column.format = stringOf(info, "Format");
        if (info["Width"].isNumber())
            column.width = info["Width"].realValue();
        column.editable = info["Editable"].boolValue();
        columns.push_back(std::move(column));
    }
    return columns;
}

int MVPFractionDigitsOfFormat(const std::string& format)
{
    size_t point = format.find('.');
    if (point == std::string::npos)
        return 0;
    int digits = 0;
    for (size_t i = point + 1; i < format.size() && (format[i] == '0' || format[i] == '#'); ++i)
        ++digits;
    return digits;
}

std::shared_ptr<HXTableColumn> MVPMakeTableColumn(const MVPPropertyColumn& definition, const std::string& title)
{
    auto column = std::make_shared<HXTableColumn>(definition.identifier);
    column->setEditable(definition.editable);
    column->setTitle(title);

    HXFont smallFont = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());
    HXStringAttributes attributes;
    attributes.font = smallFont;
    double titleWidth = HXStringDrawing::sizeWithAttributes(title, attributes).width + 10;
    column->setMinWidth(std::min(titleWidth, definition.width));
    column->setMaxWidth(DBL_MAX);
    column->setWidth(std::max(titleWidth, definition.width));

    std::shared_ptr<HXCell> cell;
    if (definition.type == MVPPropertyColumn::Type::TextField) {
        auto text = std::make_shared<HXTextFieldCell>();
        text->setPlaceholderString(
            HXLocalizedStringFromTable("propUnavailablePlaceholder", "PropertyBrowser"));
        text->setAlignment(definition.alignment);
        text->setControlSize(HXSmallControlSize);
        text->setFont(smallFont);
        text->setSelectable(true);
        text->setEditable(definition.editable);
        text->setLineBreakMode(HXLineBreakByTruncatingTail);
        text->setBezeled(false);
        text->setBordered(false);
        text->setDrawsBackground(false);
        cell = text;
    } else if (definition.type == MVPPropertyColumn::Type::CheckBox) {
        auto box = std::make_shared<MVPPropertyBrowserCheckBoxCell>();
        box->setAlignment(HXCenterTextAlignment);
        box->setControlSize(HXMiniControlSize);
        box->setFont(smallFont);
        box->setSelectable(false);
        box->setEditable(false);
        cell = box;
    }
    if (cell && !definition.format.empty()) {
        auto formatter = std::make_shared<HXNumberFormatter>();
        int digits = MVPFractionDigitsOfFormat(definition.format);
        formatter->setMinimumFractionDigits(digits);
        formatter->setMaximumFractionDigits(digits);
        cell->setFormatter(formatter);
    }
    if (cell)
        column->setDataCell(cell);
    return column;
}

int MVPComparePropertyValues(const HXPropertyList& a, const HXPropertyList& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    if (a.isNumber() && b.isNumber()) {
        double x = a.realValue(), y = b.realValue();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.isBoolean() && b.isBoolean())
        return int(a.boolValue()) - int(b.boolValue());
    return MVPPaneLoader::localizedCompare(a.stringValue(), b.stringValue());
}

MVPPropertyBrowserCheckBoxCell::MVPPropertyBrowserCheckBoxCell()
{
    setButtonType(HXSwitchButton);
    setTitle({});
}

void MVPPropertyBrowserCheckBoxCell::setObjectValue(const HXPropertyList& value)
{
    // A row without a value for the column shows no box at all.
    setEnabled(!value.isNull());
    setTransparent(value.isNull());
    HXButtonCell::setObjectValue(value);
    setState(value.boolValue() ? HXOnState : HXOffState);
}
