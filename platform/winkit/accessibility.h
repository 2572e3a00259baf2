#pragma once
// The accessibility model, in process: every view, control, cell and window answers a set of named
// attributes (role, title, value, parent, children, position ...) and actions (press, increment ...),
// and posts notifications when its value or the focus changes. Assistive software, and the tests, read
// the tree through the HXAccessibility functions, which work on any object: objects that mix in
// HXAccessibilityElement answer for themselves; plain views and windows get the defaults.
//
// An element may carry override values (accessibilitySetOverrideValue): they win over whatever the
// element would answer, so code can name a control that shows no label of its own.
#include "platform/drawing/geometry.h"
#include "platform/winkit/responder.h"

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class HXView;
class HXWindow;

// Attributes.
inline constexpr const char* HXAccessibilityRoleAttribute = "AXRole";
inline constexpr const char* HXAccessibilityRoleDescriptionAttribute = "AXRoleDescription";
inline constexpr const char* HXAccessibilitySubroleAttribute = "AXSubrole";
inline constexpr const char* HXAccessibilityTitleAttribute = "AXTitle";
inline constexpr const char* HXAccessibilityDescriptionAttribute = "AXDescription";
inline constexpr const char* HXAccessibilityHelpAttribute = "AXHelp";
inline constexpr const char* HXAccessibilityValueAttribute = "AXValue";
inline constexpr const char* HXAccessibilityMinValueAttribute = "AXMinValue";
inline constexpr const char* HXAccessibilityMaxValueAttribute = "AXMaxValue";
inline constexpr const char* HXAccessibilityEnabledAttribute = "AXEnabled";
inline constexpr const char* HXAccessibilityFocusedAttribute = "AXFocused";
inline constexpr const char* HXAccessibilityParentAttribute = "AXParent";
inline constexpr const char* HXAccessibilityChildrenAttribute = "AXChildren";
inline constexpr const char* HXAccessibilityWindowAttribute = "AXWindow";
inline constexpr const char* HXAccessibilityTopLevelUIElementAttribute = "AXTopLevelUIElement";
inline constexpr const char* HXAccessibilityPositionAttribute = "AXPosition";
inline constexpr const char* HXAccessibilitySizeAttribute = "AXSize";
inline constexpr const char* HXAccessibilityOrientationAttribute = "AXOrientation";
inline constexpr const char* HXAccessibilitySelectedAttribute = "AXSelected";
inline constexpr const char* HXAccessibilitySelectedRowsAttribute = "AXSelectedRows";
inline constexpr const char* HXAccessibilityRowsAttribute = "AXRows";
inline constexpr const char* HXAccessibilityColumnsAttribute = "AXColumns";
inline constexpr const char* HXAccessibilityTabsAttribute = "AXTabs";
inline constexpr const char* HXAccessibilityPlaceholderValueAttribute = "AXPlaceholderValue";

// Orientation values.
inline constexpr const char* HXAccessibilityHorizontalOrientationValue = "AXHorizontalOrientation";
inline constexpr const char* HXAccessibilityVerticalOrientationValue = "AXVerticalOrientation";

// Roles.
inline constexpr const char* HXAccessibilityUnknownRole = "AXUnknown";
inline constexpr const char* HXAccessibilityWindowRole = "AXWindow";
inline constexpr const char* HXAccessibilityGroupRole = "AXGroup";
inline constexpr const char* HXAccessibilityButtonRole = "AXButton";
inline constexpr const char* HXAccessibilityCheckBoxRole = "AXCheckBox";
inline constexpr const char* HXAccessibilityRadioButtonRole = "AXRadioButton";
inline constexpr const char* HXAccessibilityRadioGroupRole = "AXRadioGroup";
inline constexpr const char* HXAccessibilitySliderRole = "AXSlider";
inline constexpr const char* HXAccessibilityValueIndicatorRole = "AXValueIndicator";
inline constexpr const char* HXAccessibilityTextFieldRole = "AXTextField";
inline constexpr const char* HXAccessibilityTextAreaRole = "AXTextArea";
inline constexpr const char* HXAccessibilityStaticTextRole = "AXStaticText";
inline constexpr const char* HXAccessibilityPopUpButtonRole = "AXPopUpButton";
inline constexpr const char* HXAccessibilityMenuButtonRole = "AXMenuButton";
inline constexpr const char* HXAccessibilityComboBoxRole = "AXComboBox";
inline constexpr const char* HXAccessibilityImageRole = "AXImage";
inline constexpr const char* HXAccessibilityProgressIndicatorRole = "AXProgressIndicator";
inline constexpr const char* HXAccessibilityBusyIndicatorRole = "AXBusyIndicator";
inline constexpr const char* HXAccessibilityScrollAreaRole = "AXScrollArea";
inline constexpr const char* HXAccessibilityScrollBarRole = "AXScrollBar";
inline constexpr const char* HXAccessibilityTableRole = "AXTable";
inline constexpr const char* HXAccessibilityOutlineRole = "AXOutline";
inline constexpr const char* HXAccessibilityRowRole = "AXRow";
inline constexpr const char* HXAccessibilityColumnRole = "AXColumn";
inline constexpr const char* HXAccessibilityTabGroupRole = "AXTabGroup";
inline constexpr const char* HXAccessibilityToolbarRole = "AXToolbar";
inline constexpr const char* HXAccessibilityColorWellRole = "AXColorWell";
inline constexpr const char* HXAccessibilityGrowAreaRole = "AXGrowArea";
inline constexpr const char* HXAccessibilityMatrixRole = "AXMatrix";

// Actions.
inline constexpr const char* HXAccessibilityPressAction = "AXPress";
inline constexpr const char* HXAccessibilityIncrementAction = "AXIncrement";
inline constexpr const char* HXAccessibilityDecrementAction = "AXDecrement";
inline constexpr const char* HXAccessibilityConfirmAction = "AXConfirm";
inline constexpr const char* HXAccessibilityCancelAction = "AXCancel";
inline constexpr const char* HXAccessibilityShowMenuAction = "AXShowMenu";

// Notifications (posted through the default notification centre with the element as the object).
inline constexpr const char* HXAccessibilityValueChangedNotification = "AXValueChanged";
inline constexpr const char* HXAccessibilityFocusedUIElementChangedNotification = "AXFocusedUIElementChanged";
inline constexpr const char* HXAccessibilityTitleChangedNotification = "AXTitleChanged";
inline constexpr const char* HXAccessibilitySelectedRowsChangedNotification = "AXSelectedRowsChanged";

// A value of an attribute: nothing, a flag, a number, text, a point or size, one element or a list of them.
class HXAccessibilityValue {
public:
    using Element = std::shared_ptr<HXObject>;
    using Elements = std::vector<Element>;

    HXAccessibilityValue() = default;
    HXAccessibilityValue(bool b) : _v(b) {}
    HXAccessibilityValue(int i) : _v(double(i)) {}
    HXAccessibilityValue(long i) : _v(double(i)) {}
    HXAccessibilityValue(double d) : _v(d) {}
    HXAccessibilityValue(std::string s) : _v(std::move(s)) {}
    HXAccessibilityValue(const char* s) : _v(std::string(s ? s : "")) {}
    HXAccessibilityValue(HXPoint p) : _v(p) {}
    HXAccessibilityValue(HXSize s) : _v(s) {}
    HXAccessibilityValue(Element e) : _v(std::move(e)) {}
    HXAccessibilityValue(Elements list) : _v(std::move(list)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(_v); }
    bool isBool() const { return std::holds_alternative<bool>(_v); }
    bool isNumber() const { return std::holds_alternative<double>(_v); }
    bool isString() const { return std::holds_alternative<std::string>(_v); }
    bool isPoint() const { return std::holds_alternative<HXPoint>(_v); }
    bool isSize() const { return std::holds_alternative<HXSize>(_v); }
    bool isElement() const { return std::holds_alternative<Element>(_v); }
    bool isElements() const { return std::holds_alternative<Elements>(_v); }

    // Conversions are lenient: a number reads as a flag (non-zero), a flag as 0 or 1; others give zero.
    bool boolValue() const;
    double doubleValue() const;
    std::string stringValue() const;
    HXPoint pointValue() const;
    HXSize sizeValue() const;
    Element element() const;
    Elements elements() const;

    bool operator==(const HXAccessibilityValue& other) const { return _v == other._v; }

private:
    std::variant<std::monostate, bool, double, std::string, HXPoint, HXSize, Element, Elements> _v;
};

// Mixed into the classes that answer for themselves (controls, cells, and any view of the program that
// wants its own answers). Every method has a default: for a view, the view's defaults; otherwise an
// element without attributes.
class HXAccessibilityElement {
public:
    virtual ~HXAccessibilityElement() = default;

    virtual std::vector<std::string> accessibilityAttributeNames() const;
    virtual HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const;
    virtual bool accessibilityIsAttributeSettable(const std::string& attribute) const;
    virtual void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute);
    virtual std::vector<std::string> accessibilityActionNames() const;
    virtual std::string accessibilityActionDescription(const std::string& action) const;
    virtual void accessibilityPerformAction(const std::string& action);
    virtual bool accessibilityIsIgnored() const;
    // The deepest unignored element at `point` (screen coordinates), or this element.
    virtual std::shared_ptr<HXObject> accessibilityHitTest(HXPoint point);
    // The element with the keyboard focus inside this one, or this one.
    virtual std::shared_ptr<HXObject> accessibilityFocusedUIElement();

    // Override values win over every answer of the element; a null value removes the override.
    bool accessibilitySetOverrideValue(const HXAccessibilityValue& value, const std::string& attribute);
    const HXAccessibilityValue* accessibilityOverrideValue(const std::string& attribute) const;

private:
    std::map<std::string, HXAccessibilityValue> _accessibilityOverrides;
};

// The model as assistive software sees it: these work on any object and apply overrides first.
namespace HXAccessibility {

std::vector<std::string> attributeNames(HXObject& element);
HXAccessibilityValue attributeValue(HXObject& element, const std::string& attribute);
bool isAttributeSettable(HXObject& element, const std::string& attribute);
// False when the attribute cannot be set on the element.
bool setValue(HXObject& element, const HXAccessibilityValue& value, const std::string& attribute);
std::vector<std::string> actionNames(HXObject& element);
std::string actionDescription(HXObject& element, const std::string& action);
// False when the element has no such action.
bool performAction(HXObject& element, const std::string& action);
bool isIgnored(HXObject& element);
std::shared_ptr<HXObject> hitTest(HXObject& element, HXPoint screenPoint);
std::shared_ptr<HXObject> focusedUIElement(HXObject& element);
// False when the element keeps no overrides (plain views).
bool setOverrideValue(HXObject& element, const HXAccessibilityValue& value, const std::string& attribute);

// The element that stands for a view in the tree: a control is represented by itself; an ignored view
// passes its children up to its parent.
std::vector<std::shared_ptr<HXObject>> unignoredChildren(HXView& view);
std::shared_ptr<HXObject> unignoredParent(const HXView& view);

// Posts `notification` with the element as the object (and keeps the element alive while it travels).
void postNotification(HXObject& element, const std::string& notification);

// The standard answers of a view and of a window, for elements that build on them.
std::vector<std::string> viewAttributeNames();
HXAccessibilityValue viewAttributeValue(const HXView& view, const std::string& attribute);
HXAccessibilityValue windowAttributeValue(const HXWindow& window, const std::string& attribute);
// The description of a standard role ("button", "slider" ...).
std::string roleDescription(const std::string& role, const std::string& subrole = {});

}  // namespace HXAccessibility
