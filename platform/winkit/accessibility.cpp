#include "platform/winkit/accessibility.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <algorithm>

// ---- Values ------------------------------------------------------------------------------------------

bool HXAccessibilityValue::boolValue() const
{
    if (auto* b = std::get_if<bool>(&_v))
        return *b;
    if (auto* d = std::get_if<double>(&_v))
        return *d != 0;
    return false;
}

double HXAccessibilityValue::doubleValue() const
{
    if (auto* d = std::get_if<double>(&_v))
        return *d;
    if (auto* b = std::get_if<bool>(&_v))
        return *b ? 1 : 0;
    return 0;
}

std::string HXAccessibilityValue::stringValue() const
{
    if (auto* s = std::get_if<std::string>(&_v))
        return *s;
    return {};
}

HXPoint HXAccessibilityValue::pointValue() const
{
    if (auto* p = std::get_if<HXPoint>(&_v))
        return *p;
    return {};
}

HXSize HXAccessibilityValue::sizeValue() const
{
    if (auto* s = std::get_if<HXSize>(&_v))
        return *s;
    return {};
}

HXAccessibilityValue::Element HXAccessibilityValue::element() const
{
    if (auto* e = std::get_if<Element>(&_v))
        return *e;
    return nullptr;
}

HXAccessibilityValue::Elements HXAccessibilityValue::elements() const
{
    if (auto* e = std::get_if<Elements>(&_v))
        return *e;
    return {};
}

// ---- The mixin's defaults ------------------------------------------------------------------------------

namespace {

const HXView* asView(const HXAccessibilityElement* element) { return dynamic_cast<const HXView*>(element); }
HXView* asView(HXAccessibilityElement* element) { return dynamic_cast<HXView*>(element); }

std::shared_ptr<HXObject> sharedOf(HXObject& object)
{
    try {
        return object.shared_from_this();
    } catch (const std::bad_weak_ptr&) {
        return nullptr;  // not owned by a shared_ptr (a stack object in a test): it cannot be handed out
    }
}

std::shared_ptr<HXObject> firstUnignored(std::shared_ptr<HXView> view)
{
    for (; view; view = view->superview()) {
        if (!HXAccessibility::isIgnored(*view))
            return view;
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> HXAccessibilityElement::accessibilityAttributeNames() const
{
    if (asView(this))
        return HXAccessibility::viewAttributeNames();
    return {};
}

HXAccessibilityValue HXAccessibilityElement::accessibilityAttributeValue(const std::string& attribute) const
{
    if (auto* view = asView(this))
        return HXAccessibility::viewAttributeValue(*view, attribute);
    return {};
}

bool HXAccessibilityElement::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (auto* view = asView(this))
        return attribute == HXAccessibilityFocusedAttribute && view->acceptsFirstResponder();
    return false;
}

void HXAccessibilityElement::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    auto* view = asView(this);
    if (!view || attribute != HXAccessibilityFocusedAttribute || !value.boolValue())
        return;
    if (auto window = view->window())
        window->makeFirstResponder(std::static_pointer_cast<HXResponder>(view->shared_from_this()));
}

std::vector<std::string> HXAccessibilityElement::accessibilityActionNames() const { return {}; }

std::string HXAccessibilityElement::accessibilityActionDescription(const std::string& action) const
{
    if (action == HXAccessibilityPressAction)
        return "press";
    if (action == HXAccessibilityIncrementAction)
        return "increment";
    if (action == HXAccessibilityDecrementAction)
        return "decrement";
    if (action == HXAccessibilityConfirmAction)
        return "confirm";
    if (action == HXAccessibilityCancelAction)
        return "cancel";
    if (action == HXAccessibilityShowMenuAction)
        return "show menu";
    return {};
}

void HXAccessibilityElement::accessibilityPerformAction(const std::string&) {}

bool HXAccessibilityElement::accessibilityIsIgnored() const { return false; }

std::shared_ptr<HXObject> HXAccessibilityElement::accessibilityHitTest(HXPoint point)
{
    auto* view = asView(this);
    if (!view)
        return nullptr;
    auto window = view->window();
    auto self = sharedOf(*view);
    if (!window || !view->superview())
        return self;
    HXPoint base = window->convertScreenToBase(point);
    HXPoint inSuper = view->superview()->convertPointFromView(base, nullptr);
    auto hit = view->hitTest(inSuper);
    if (!hit)
        return self;
    auto found = firstUnignored(hit);
    return found ? found : self;
}

std::shared_ptr<HXObject> HXAccessibilityElement::accessibilityFocusedUIElement()
{
    auto* view = asView(this);
    if (!view)
        return nullptr;
    auto window = view->window();
    auto responder = window ? std::dynamic_pointer_cast<HXView>(window->firstResponder()) : nullptr;
    if (responder && (responder.get() == view || responder->isDescendantOf(*view)))
        return firstUnignored(responder);
    return sharedOf(*view);
}

bool HXAccessibilityElement::accessibilitySetOverrideValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (value.isNull())
        _accessibilityOverrides.erase(attribute);
    else
        _accessibilityOverrides[attribute] = value;
    return true;
}

const HXAccessibilityValue* HXAccessibilityElement::accessibilityOverrideValue(const std::string& attribute) const
{
    auto it = _accessibilityOverrides.find(attribute);
    return it == _accessibilityOverrides.end() ? nullptr : &it->second;
}

// ---- Dispatch over any object ----------------------------------------------------------------------------

namespace HXAccessibility {

std::vector<std::string> viewAttributeNames()
{
    return { HXAccessibilityRoleAttribute, HXAccessibilityRoleDescriptionAttribute, HXAccessibilityParentAttribute,
        HXAccessibilityChildrenAttribute, HXAccessibilityWindowAttribute, HXAccessibilityTopLevelUIElementAttribute,
        HXAccessibilityPositionAttribute, HXAccessibilitySizeAttribute, HXAccessibilityEnabledAttribute,
        HXAccessibilityFocusedAttribute };
}

std::string roleDescription(const std::string& role, const std::string& subrole)
{
    static const std::map<std::string, std::string> names {
        { HXAccessibilityWindowRole, "window" }, { HXAccessibilityGroupRole, "group" },
        { HXAccessibilityButtonRole, "button" }, { HXAccessibilityCheckBoxRole, "check box" },
        { HXAccessibilityRadioButtonRole, "radio button" }, { HXAccessibilityRadioGroupRole, "radio group" },
        { HXAccessibilitySliderRole, "slider" }, { HXAccessibilityValueIndicatorRole, "value indicator" },
        { HXAccessibilityTextFieldRole, "text field" }, { HXAccessibilityTextAreaRole, "text entry area" },
        { HXAccessibilityStaticTextRole, "text" }, { HXAccessibilityPopUpButtonRole, "pop up button" },
        { HXAccessibilityMenuButtonRole, "menu button" }, { HXAccessibilityComboBoxRole, "combo box" },
        { HXAccessibilityImageRole, "image" }, { HXAccessibilityProgressIndicatorRole, "progress indicator" },
        { HXAccessibilityBusyIndicatorRole, "busy indicator" }, { HXAccessibilityScrollAreaRole, "scroll area" },
        { HXAccessibilityScrollBarRole, "scroll bar" }, { HXAccessibilityTableRole, "table" },
        { HXAccessibilityOutlineRole, "outline" }, { HXAccessibilityRowRole, "row" },
        { HXAccessibilityColumnRole, "column" }, { HXAccessibilityTabGroupRole, "tab group" },
        { HXAccessibilityToolbarRole, "toolbar" }, { HXAccessibilityColorWellRole, "color well" },
        { HXAccessibilityGrowAreaRole, "grow area" }, { HXAccessibilityMatrixRole, "matrix" },
    };
    (void)subrole;
    auto it = names.find(role);
    return it == names.end() ? "unknown" : it->second;
}

std::vector<std::shared_ptr<HXObject>> unignoredChildren(HXView& view)
{
    std::vector<std::shared_ptr<HXObject>> children;
    for (const auto& sub : view.subviews()) {
        if (sub->isHidden())
            continue;
        if (isIgnored(*sub)) {
            auto grand = unignoredChildren(*sub);
            children.insert(children.end(), grand.begin(), grand.end());
        } else {
            children.push_back(sub);
        }
    }
    return children;
}

std::shared_ptr<HXObject> unignoredParent(const HXView& view)
{
    if (auto found = firstUnignored(view.superview()))
        return found;
    return view.window();
}

HXAccessibilityValue viewAttributeValue(const HXView& view, const std::string& attribute)
{
    auto& mutableView = const_cast<HXView&>(view);
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityGroupRole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute) {
        auto role = attributeValue(mutableView, HXAccessibilityRoleAttribute).stringValue();
        auto subrole = attributeValue(mutableView, HXAccessibilitySubroleAttribute).stringValue();
        return roleDescription(role, subrole);
    }
    if (attribute == HXAccessibilityParentAttribute)
        return unignoredParent(view);
    if (attribute == HXAccessibilityChildrenAttribute)
        return unignoredChildren(mutableView);
    if (attribute == HXAccessibilityWindowAttribute || attribute == HXAccessibilityTopLevelUIElementAttribute)
        return HXAccessibilityValue::Element(view.window());
    if (attribute == HXAccessibilityPositionAttribute)
        return view.window() ? view.convertRectToScreen(view.bounds()).origin : HXPoint {};
    if (attribute == HXAccessibilitySizeAttribute) {
        HXSize s = view.convertSizeToView(view.bounds().size, nullptr);
        return HXSize { std::abs(s.width), std::abs(s.height) };
    }
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    if (attribute == HXAccessibilityFocusedAttribute) {
        auto window = view.window();
        if (!window)
            return false;
        auto responder = std::dynamic_pointer_cast<HXView>(window->firstResponder());
        // A field editor working for the view counts as the view.
        return responder && (responder.get() == &view || (responder->isDescendantOf(view) && isIgnored(*responder)));
    }
    return {};
}

HXAccessibilityValue windowAttributeValue(const HXWindow& window, const std::string& attribute)
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityWindowRole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute)
        return roleDescription(HXAccessibilityWindowRole);
    if (attribute == HXAccessibilityTitleAttribute)
        return window.title();
    if (attribute == HXAccessibilityChildrenAttribute) {
        auto content = window.contentView();
        if (!content)
            return HXAccessibilityValue::Elements {};
        if (!isIgnored(*content))
            return HXAccessibilityValue::Elements { content };
        return unignoredChildren(*content);
    }
    if (attribute == HXAccessibilityPositionAttribute)
        return window.frame().origin;
    if (attribute == HXAccessibilitySizeAttribute)
        return window.frame().size;
    if (attribute == HXAccessibilityFocusedAttribute)
        return window.isKeyWindow();
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    return {};
}

std::vector<std::string> attributeNames(HXObject& element)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityAttributeNames();
    if (dynamic_cast<HXView*>(&element))
        return viewAttributeNames();
    if (dynamic_cast<HXWindow*>(&element))
        return { HXAccessibilityRoleAttribute, HXAccessibilityRoleDescriptionAttribute, HXAccessibilityTitleAttribute,
            HXAccessibilityChildrenAttribute, HXAccessibilityPositionAttribute, HXAccessibilitySizeAttribute,
            HXAccessibilityFocusedAttribute, HXAccessibilityEnabledAttribute };
    return {};
}

HXAccessibilityValue attributeValue(HXObject& element, const std::string& attribute)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element)) {
        if (auto* o = e->accessibilityOverrideValue(attribute))
            return *o;
        return e->accessibilityAttributeValue(attribute);
    }
    if (auto* view = dynamic_cast<HXView*>(&element))
        return viewAttributeValue(*view, attribute);
    if (auto* window = dynamic_cast<HXWindow*>(&element))
        return windowAttributeValue(*window, attribute);
    return {};
}

bool isAttributeSettable(HXObject& element, const std::string& attribute)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityIsAttributeSettable(attribute);
    if (auto* view = dynamic_cast<HXView*>(&element))
        return attribute == HXAccessibilityFocusedAttribute && view->acceptsFirstResponder();
    return false;
}

bool setValue(HXObject& element, const HXAccessibilityValue& value, const std::string& attribute)
{
    if (!isAttributeSettable(element, attribute))
        return false;
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element)) {
        e->accessibilitySetValue(value, attribute);
        return true;
    }
    if (auto* view = dynamic_cast<HXView*>(&element); view && value.boolValue() && view->window())
        view->window()->makeFirstResponder(std::static_pointer_cast<HXResponder>(sharedOf(*view)));
    return true;
}

std::vector<std::string> actionNames(HXObject& element)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityActionNames();
    return {};
}

std::string actionDescription(HXObject& element, const std::string& action)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityActionDescription(action);
    return {};
}

bool performAction(HXObject& element, const std::string& action)
{
    auto* e = dynamic_cast<HXAccessibilityElement*>(&element);
    if (!e)
        return false;
    auto names = e->accessibilityActionNames();
    if (std::find(names.begin(), names.end(), action) == names.end())
        return false;
    auto keep = sharedOf(element);
    e->accessibilityPerformAction(action);
    return true;
}

bool isIgnored(HXObject& element)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityIsIgnored();
    return dynamic_cast<HXView*>(&element) != nullptr;  // plain views only group what they hold
}

std::shared_ptr<HXObject> hitTest(HXObject& element, HXPoint screenPoint)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityHitTest(screenPoint);
    if (auto* window = dynamic_cast<HXWindow*>(&element)) {
        HXPoint base = window->convertScreenToBase(screenPoint);
        auto hit = window->frameView()->hitTest(base);
        if (auto found = firstUnignored(hit))
            return found;
        return sharedOf(element);
    }
    if (auto* view = dynamic_cast<HXView*>(&element)) {
        auto window = view->window();
        if (window && view->superview()) {
            auto hit = view->hitTest(view->superview()->convertPointFromView(window->convertScreenToBase(screenPoint), nullptr));
            if (auto found = firstUnignored(hit))
                return found;
        }
    }
    return sharedOf(element);
}

std::shared_ptr<HXObject> focusedUIElement(HXObject& element)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilityFocusedUIElement();
    if (auto* window = dynamic_cast<HXWindow*>(&element)) {
        auto responder = std::dynamic_pointer_cast<HXView>(window->firstResponder());
        if (auto found = firstUnignored(responder))
            return found;
        return sharedOf(element);
    }
    return sharedOf(element);
}

bool setOverrideValue(HXObject& element, const HXAccessibilityValue& value, const std::string& attribute)
{
    if (auto* e = dynamic_cast<HXAccessibilityElement*>(&element))
        return e->accessibilitySetOverrideValue(value, attribute);
    return false;
}

void postNotification(HXObject& element, const std::string& notification)
{
    auto shared = sharedOf(element);
    if (shared)
        HXNotificationCenter::defaultCenter().postNotification(HXNotification(notification, shared));
    else
        HXNotificationCenter::defaultCenter().postNotificationName(notification, &element);
}

}  // namespace HXAccessibility
