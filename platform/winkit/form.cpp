#include "platform/winkit/form.h"

#include <algorithm>

HXForm::HXForm(HXRect frame)
    : HXMatrix(
        frame, HXTrackModeMatrix,
        [this]() -> std::shared_ptr<HXCell> {
            // Entries are made fresh, except while reorder hands the existing ones back in their new order.
            if (_pending.empty())
                return std::make_shared<HXFormCell>();
            auto cell = _pending.front();
            _pending.erase(_pending.begin());
            return cell;
        },
        0, 1)
{
    setCellSize({ frame.size.width > 0 ? frame.size.width : 200, 22 });
    setIntercellSpacing({ 0, 6 });
}

std::shared_ptr<HXFormCell> HXForm::addEntry(const std::string& title)
{
    return insertEntry(title, numberOfEntries());
}

std::shared_ptr<HXFormCell> HXForm::insertEntry(const std::string& title, long index)
{
    if (index < 0 || index > numberOfEntries())
        return nullptr;
    auto entry = std::make_shared<HXFormCell>(title);
    std::vector<std::shared_ptr<HXCell>> order = cells();
    order.insert(order.begin() + index, entry);
    long selected = indexOfSelectedItem();
    reorder(std::move(order), selected >= index ? selected + 1 : selected);
    return entry;
}

void HXForm::removeEntryAtIndex(long index)
{
    if (index < 0 || index >= numberOfEntries())
        return;
    removeRow(index);
}

void HXForm::reorder(std::vector<std::shared_ptr<HXCell>> order, long selected)
{
    long rows = long(order.size());
    _pending = std::move(order);
    renewRows(0, 1);
    renewRows(rows, 1);
    _pending.clear();
    if (selected >= 0)
        selectCellAtRowColumn(selected, 0);
}

std::shared_ptr<HXFormCell> HXForm::cellAtIndex(long index) const
{
    return std::dynamic_pointer_cast<HXFormCell>(cellAtRowColumn(index, 0));
}

long HXForm::indexOfCellWithTag(long tag) const
{
    for (long i = 0; i < numberOfEntries(); ++i)
        if (cellAtRowColumn(i, 0)->tag() == tag)
            return i;
    return -1;
}

double HXForm::widestTitleWidth() const
{
    double widest = 0;
    for (long i = 0; i < numberOfEntries(); ++i)
        if (auto cell = cellAtIndex(i))
            widest = std::max(widest, cell->naturalTitleWidth());
    return widest;
}

void HXForm::setEntryWidth(double width)
{
    setCellSize({ std::max(0.0, width), cellSize().height });
}

void HXForm::setInterlineSpacing(double spacing)
{
    setIntercellSpacing({ intercellSpacing().width, std::max(0.0, spacing) });
}

void HXForm::setTitleFont(const HXFont& font)
{
    forEachEntry([&](HXFormCell& c) { c.setTitleFont(font); });
}

void HXForm::setTextFont(const HXFont& font)
{
    forEachEntry([&](HXFormCell& c) { c.setFont(font); });
}

void HXForm::setTitleAlignment(HXTextAlignment alignment)
{
    forEachEntry([&](HXFormCell& c) { c.setTitleAlignment(alignment); });
}

void HXForm::setTextAlignment(HXTextAlignment alignment)
{
    forEachEntry([&](HXFormCell& c) { c.setAlignment(alignment); });
}

void HXForm::setBezeled(bool flag)
{
    forEachEntry([&](HXFormCell& c) { c.setBezeled(flag); });
}

void HXForm::setBordered(bool flag)
{
    forEachEntry([&](HXFormCell& c) { c.setBordered(flag); });
}

HXAccessibilityValue HXForm::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityGroupRole;
    if (attribute == HXAccessibilityValueAttribute) {
        auto cell = selectedCell();
        return cell ? cell->stringValue() : std::string();
    }
    return HXMatrix::accessibilityAttributeValue(attribute);
}
