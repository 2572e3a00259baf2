#include "platform/winkit/atspi_mapping.h"

#include "platform/winkit/accessibility.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <map>

namespace HXATSPI {

namespace {

HXAccessibilityValue attribute(HXObject& element, const char* name)
{
    return HXAccessibility::attributeValue(element, name);
}

bool hasAttribute(HXObject& element, const char* name)
{
    auto names = HXAccessibility::attributeNames(element);
    return std::find(names.begin(), names.end(), name) != names.end();
}

void add(std::array<uint32_t, 2>& set, State state)
{
    set[state / 32] |= 1u << (state % 32);
}

} // namespace

uint32_t role(HXObject& element)
{
    if (auto* window = dynamic_cast<HXWindow*>(&element))
        return dynamic_cast<HXPanel*>(window) || window->isSheet() ? RoleDialog : RoleFrame;
    static const std::map<std::string, uint32_t> roles {
        { HXAccessibilityWindowRole, RoleFrame },
        { HXAccessibilityGroupRole, RolePanel },
        { HXAccessibilityButtonRole, RolePushButton },
        { HXAccessibilityMenuButtonRole, RolePushButton },
        { HXAccessibilityCheckBoxRole, RoleCheckBox },
        { HXAccessibilityRadioButtonRole, RoleRadioButton },
        { HXAccessibilityRadioGroupRole, RoleGrouping },
        { HXAccessibilitySliderRole, RoleSlider },
        { HXAccessibilityValueIndicatorRole, RoleSlider },
        { HXAccessibilityTextFieldRole, RoleEntry },
        { HXAccessibilityTextAreaRole, RoleText },
        { HXAccessibilityStaticTextRole, RoleLabel },
        { HXAccessibilityPopUpButtonRole, RoleComboBox },
        { HXAccessibilityComboBoxRole, RoleComboBox },
        { HXAccessibilityImageRole, RoleImage },
        { HXAccessibilityProgressIndicatorRole, RoleProgressBar },
        { HXAccessibilityBusyIndicatorRole, RoleProgressBar },
        { HXAccessibilityScrollAreaRole, RoleScrollPane },
        { HXAccessibilityScrollBarRole, RoleScrollBar },
        { HXAccessibilityTableRole, RoleTable },
        { HXAccessibilityOutlineRole, RoleTreeTable },
        { HXAccessibilityRowRole, RoleTableRow },
        { HXAccessibilityTabGroupRole, RolePageTabList },
        { HXAccessibilityToolbarRole, RoleToolBar },
        { HXAccessibilityColorWellRole, RoleColorChooser },
        { HXAccessibilityGrowAreaRole, RoleFiller },
        { HXAccessibilityMatrixRole, RolePanel },
    };
    auto it = roles.find(attribute(element, HXAccessibilityRoleAttribute).stringValue());
    return it == roles.end() ? RoleUnknown : it->second;
}

std::string roleName(uint32_t role)
{
    static const std::map<uint32_t, std::string> names {
        { RoleCheckBox, "check box" },
        { RoleColorChooser, "color chooser" },
        { RoleComboBox, "combo box" },
        { RoleDialog, "dialog" },
        { RoleFiller, "filler" },
        { RoleFrame, "frame" },
        { RoleImage, "image" },
        { RoleLabel, "label" },
        { RolePageTabList, "page tab list" },
        { RolePanel, "panel" },
        { RoleProgressBar, "progress bar" },
        { RolePushButton, "push button" },
        { RoleRadioButton, "radio button" },
        { RoleScrollBar, "scroll bar" },
        { RoleScrollPane, "scroll pane" },
        { RoleSlider, "slider" },
        { RoleTable, "table" },
        { RoleText, "text" },
        { RoleToolBar, "tool bar" },
        { RoleTreeTable, "tree table" },
        { RoleApplication, "application" },
        { RoleEntry, "entry" },
        { RoleTableRow, "table row" },
        { RoleGrouping, "grouping" },
    };
    auto it = names.find(role);
    return it == names.end() ? "unknown" : it->second;
}

std::string name(HXObject& element)
{
    if (auto* window = dynamic_cast<HXWindow*>(&element))
        return window->title();
    auto title = attribute(element, HXAccessibilityTitleAttribute).stringValue();
    if (!title.empty())
        return title;
    auto text = attribute(element, HXAccessibilityDescriptionAttribute).stringValue();
    // A label says what it shows.
    if (text.empty() && attribute(element, HXAccessibilityRoleAttribute).stringValue() == HXAccessibilityStaticTextRole)
        text = attribute(element, HXAccessibilityValueAttribute).stringValue();
    return text;
}

std::string description(HXObject& element)
{
    auto help = attribute(element, HXAccessibilityHelpAttribute).stringValue();
    if (!help.empty())
        return help;
    if (attribute(element, HXAccessibilityTitleAttribute).stringValue().empty())
        return {};
    return attribute(element, HXAccessibilityDescriptionAttribute).stringValue();
}

std::array<uint32_t, 2> states(HXObject& element)
{
    std::array<uint32_t, 2> set {};
    if (auto* window = dynamic_cast<HXWindow*>(&element)) {
        add(set, StateEnabled);
        add(set, StateSensitive);
        if (window->isVisible() && !window->isMiniaturized()) {
            add(set, StateVisible);
            add(set, StateShowing);
        }
        if (window->isKeyWindow())
            add(set, StateActive);
        if (window->isModalPanel() || window->isSheet())
            add(set, StateModal);
        return set;
    }

    auto enabled = attribute(element, HXAccessibilityEnabledAttribute);
    if (enabled.isNull() || enabled.boolValue()) {
        add(set, StateEnabled);
        add(set, StateSensitive);
    }
    bool showing = true;
    if (auto* view = dynamic_cast<HXView*>(&element)) {
        auto window = view->window();
        showing = !view->isHiddenOrHasHiddenAncestor() && window && window->isVisible();
    }
    if (showing) {
        add(set, StateVisible);
        add(set, StateShowing);
    }
    if (HXAccessibility::isAttributeSettable(element, HXAccessibilityFocusedAttribute))
        add(set, StateFocusable);
    if (attribute(element, HXAccessibilityFocusedAttribute).boolValue())
        add(set, StateFocused);

    auto orientation = attribute(element, HXAccessibilityOrientationAttribute).stringValue();
    if (orientation == HXAccessibilityHorizontalOrientationValue)
        add(set, StateHorizontal);
    else if (orientation == HXAccessibilityVerticalOrientationValue)
        add(set, StateVertical);

    auto modelRole = attribute(element, HXAccessibilityRoleAttribute).stringValue();
    if (modelRole == HXAccessibilityCheckBoxRole || modelRole == HXAccessibilityRadioButtonRole) {
        add(set, StateCheckable);
        double value = attribute(element, HXAccessibilityValueAttribute).doubleValue();
        if (value == 1)
            add(set, StateChecked);
        else if (value == 2)
            add(set, StateIndeterminate);
    }
    if (modelRole == HXAccessibilityTextFieldRole || modelRole == HXAccessibilityTextAreaRole) {
        if (HXAccessibility::isAttributeSettable(element, HXAccessibilityValueAttribute))
            add(set, StateEditable);
        if (modelRole == HXAccessibilityTextFieldRole)
            add(set, StateSingleLine);
    }
    if (attribute(element, HXAccessibilitySelectedAttribute).boolValue())
        add(set, StateSelected);
    return set;
}

bool hasState(const std::array<uint32_t, 2>& set, State state)
{
    return (set[state / 32] >> (state % 32)) & 1u;
}

bool hasValue(HXObject& element)
{
    return hasAttribute(element, HXAccessibilityMinValueAttribute)
        && hasAttribute(element, HXAccessibilityMaxValueAttribute)
        && attribute(element, HXAccessibilityValueAttribute).isNumber();
}

std::string valueText(HXObject& element)
{
    return attribute(element, "AXValueDescription").stringValue();
}

namespace {

const std::vector<std::pair<std::string, std::string>>& actionNames()
{
    static const std::vector<std::pair<std::string, std::string>> names {
        { HXAccessibilityPressAction, "click" },
        { HXAccessibilityIncrementAction, "increment" },
        { HXAccessibilityDecrementAction, "decrement" },
        { HXAccessibilityConfirmAction, "activate" },
        { HXAccessibilityCancelAction, "cancel" },
        { HXAccessibilityShowMenuAction, "showmenu" },
    };
    return names;
}

} // namespace

std::string actionName(const std::string& action)
{
    for (const auto& [model, protocol] : actionNames())
        if (model == action)
            return protocol;
    return action;
}

std::string modelAction(const std::string& name)
{
    for (const auto& [model, protocol] : actionNames())
        if (protocol == name || model == name)
            return model;
    return {};
}

HXRect screenExtents(HXObject& element, double primaryScreenTop)
{
    HXPoint origin = attribute(element, HXAccessibilityPositionAttribute).pointValue();
    HXSize size = attribute(element, HXAccessibilitySizeAttribute).sizeValue();
    return HXMakeRect(origin.x, primaryScreenTop - (origin.y + size.height), size.width, size.height);
}

HXRect relativeExtents(const HXRect& extents, const HXRect& origin)
{
    return HXMakeRect(extents.origin.x - origin.origin.x, extents.origin.y - origin.origin.y,
        extents.size.width, extents.size.height);
}

double primaryScreenTop()
{
    auto screens = HXScreen::screens();
    if (screens.empty())
        return 0;
    HXRect first = screens.front().frame();
    return first.origin.y + first.size.height;
}

} // namespace HXATSPI
