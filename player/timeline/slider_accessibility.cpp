// The timeline slider in the accessibility model: the track is a horizontal slider with the subrole
// "AXTimeline" whose children are value indicators for the playhead and the selection markers. Each
// element reports its time in seconds and in words, and can be stepped, set and focused.
#include "player/timeline/slider_accessibility.h"

#include "document/media_attributes.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/window.h"
#include "player/timeline/slider_media_source_protocol.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"
#include "player/timeline/slider_view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <typeinfo>

// ---- Spoken times

namespace {

// value × rate ÷ scale, truncated, for a value of 0 or more, without overflowing on the way.
int64_t frameCount(int64_t value, int64_t rate, int64_t scale)
{
    int64_t whole = value / scale;
    int64_t rest = value % scale;
    if (whole > std::numeric_limits<int64_t>::max() / rate)
        return std::numeric_limits<int64_t>::max();
    return whole * rate + rest * rate / scale;
}

std::string countText(int64_t count, const char* one, const char* many)
{
    return " " + std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::string MVPAccessibilityTimeInfoString(MVTime time, float frameRate, bool spoken)
{
    int64_t rate = 30;
    if (frameRate > 0)
        rate = std::max<int64_t>(int64_t(frameRate), 1);
    int64_t frames = 0;
    if (time.timeScale > 0 && time.timeValue > 0)
        frames = frameCount(time.timeValue, rate, time.timeScale);

    int64_t perHour = rate * 3600;
    int64_t hours = frames / perHour;
    int64_t r1 = frames - hours * perHour;
    int64_t perMinute = perHour / 60;
    int64_t minutes = r1 / perMinute;
    int64_t r2 = r1 - minutes * perMinute;
    int64_t perSecond = perMinute / 60;
    int64_t seconds = r2 / perSecond;
    int64_t rest = r2 - seconds * perSecond;

    if (!spoken) {
        char text[96];
        if (frameRate > 0)
            std::snprintf(text, sizeof text,
                "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%02" PRId64 "/%02" PRId64, hours, minutes, seconds,
                rest, rate);
        else
            std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%02" PRId64, hours,
                minutes, seconds, rest);
        return text;
    }
    std::string words;
    if (hours > 0)
        words += countText(hours, "hour", "hours");
    if (minutes > 0)
        words += countText(minutes, "minute", "minutes");
    if (seconds > 0)
        words += countText(seconds, "second", "seconds");
    std::string frameText = " " + std::to_string(rest) + " " + (rest > 1 ? "frames" : "frame");
    if (seconds > 0)
        frameText = " and " + frameText;
    return words + frameText;
}

std::string MVPAccessibilityCurrentTimeDescription(MVTime time, float frameRate)
{
    return MVPAccessibilityTimeInfoString(time, frameRate, true);
}

std::string MVPAccessibilityDurationDescription(MVTime time)
{
    return MVPAccessibilityTimeInfoString(time, 0, true);
}

// ---- What the elements share

namespace {

std::string localized(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

double seconds(MVTime time)
{
    double interval = 0;
    return MVGetTimeInterval(time, &interval) ? interval : 0;
}

float movieFrameRate(const MVPSliderMediaSourceProtocol* source)
{
    auto movie = source ? source->movie() : nullptr;
    return movie ? float(MVPMediaAttributes::staticFrameRate(*movie)) : 0.0f;
}

std::vector<std::string> withNames(std::vector<std::string> names, std::initializer_list<const char*> more)
{
    for (const char* name : more) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.emplace_back(name);
    }
    return names;
}

bool isFirstResponder(const HXView& view)
{
    auto w = view.window();
    return w && w->firstResponder().get() == static_cast<const HXResponder*>(&view);
}

HXAccessibilityValue windowElement(const HXView& view)
{
    auto w = view.window();
    return w ? HXAccessibilityValue(HXAccessibilityValue::Element(w)) : HXAccessibilityValue();
}

// A knob's position (its frame's bottom-left corner) and size on the screen. The conversion takes care of
// a flipped superview: its frame's origin is then the top-left corner.
HXPoint knobPosition(const HXView& knob)
{
    auto superview = knob.superview();
    HXPoint p = superview ? superview->convertRectToView(knob.frame(), nullptr).origin : knob.frame().origin;
    if (auto w = knob.window())
        p = w->convertBaseToScreen(p);
    return p;
}

HXSize knobSize(const HXView& knob)
{
    auto superview = knob.superview();
    return superview ? superview->convertSizeToView(knob.frame().size, nullptr) : knob.frame().size;
}

// The common answers of the three knobs; `time` is the knob's own time.
HXAccessibilityValue knobAttributeValue(const HXView& knob, const MVPSliderMediaSourceProtocol* source,
    MVTime time, const char* helpKey, const char* descriptionKey, const std::string& attribute,
    bool& answered)
{
    answered = true;
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityValueIndicatorRole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute)
        return HXAccessibility::roleDescription(HXAccessibilityValueIndicatorRole);
    if (attribute == MVPAccessibilityValueDescriptionAttribute)
        return MVPAccessibilityCurrentTimeDescription(time, movieFrameRate(source));
    if (attribute == HXAccessibilityValueAttribute)
        return seconds(time);
    if (attribute == HXAccessibilityMinValueAttribute)
        return seconds(MVZeroTime);
    if (attribute == HXAccessibilityMaxValueAttribute) {
        auto movie = source ? source->movie() : nullptr;
        return movie ? seconds(movie->duration()) : 0.0;
    }
    if (attribute == HXAccessibilityHelpAttribute)
        return localized(helpKey);
    if (attribute == HXAccessibilityDescriptionAttribute)
        return localized(descriptionKey);
    if (attribute == HXAccessibilityParentAttribute) {
        auto slider = std::dynamic_pointer_cast<MVPSliderView>(knob.superview());
        auto track = slider ? slider->accessibilityTimeLineView() : nullptr;
        return track ? HXAccessibilityValue(HXAccessibilityValue::Element(track)) : HXAccessibilityValue();
    }
    if (attribute == HXAccessibilityChildrenAttribute)
        return HXAccessibilityValue::Elements {};
    if (attribute == HXAccessibilityWindowAttribute)
        return windowElement(knob);
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    if (attribute == HXAccessibilityFocusedAttribute)
        return isFirstResponder(knob);
    if (attribute == HXAccessibilityPositionAttribute)
        return knobPosition(knob);
    if (attribute == HXAccessibilitySizeAttribute)
        return knobSize(knob);
    answered = false;
    return {};
}

bool knobIsIgnored(const HXView& knob)
{
    auto slider = std::dynamic_pointer_cast<MVPSliderView>(knob.superview());
    return !slider || !slider->editingEnabled();
}

// Gives `element` the keyboard focus unless something of its own class has it already.
void takeFocus(HXView& element)
{
    auto w = element.window();
    if (!w)
        return;
    auto responder = w->firstResponder();
    if (responder && typeid(*responder) == typeid(element))
        return;
    w->makeFirstResponder(std::static_pointer_cast<HXResponder>(element.shared_from_this()));
}

std::string stepActionDescription(const std::string& action)
{
    if (action == HXAccessibilityIncrementAction)
        return localized("mvpIncrement");
    if (action == HXAccessibilityDecrementAction)
        return localized("mvpDecrement");
    return {};
}

} // namespace

// ---- The track

std::vector<std::string> MVPSliderRectView::accessibilityAttributeNames() const
{
    static const std::vector<std::string> names
        = withNames(HXAccessibilityElement::accessibilityAttributeNames(),
            { HXAccessibilitySubroleAttribute, MVPAccessibilityValueDescriptionAttribute,
                HXAccessibilityDescriptionAttribute, HXAccessibilityValueAttribute,
                HXAccessibilityMinValueAttribute, HXAccessibilityMaxValueAttribute,
                HXAccessibilityOrientationAttribute, HXAccessibilityEnabledAttribute });
    return names;
}

HXAccessibilityValue MVPSliderRectView::accessibilityAttributeValue(const std::string& attribute) const
{
    auto slider = sliderView();
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilitySliderRole;
    if (attribute == HXAccessibilitySubroleAttribute)
        return MVPAccessibilityTimelineSubrole;
    if (attribute == HXAccessibilityRoleDescriptionAttribute)
        return HXAccessibility::roleDescription(HXAccessibilitySliderRole, MVPAccessibilityTimelineSubrole);
    if (attribute == MVPAccessibilityValueDescriptionAttribute)
        return MVPAccessibilityCurrentTimeDescription(currentTime(), movieFrameRate(_mediaSource));
    if (attribute == HXAccessibilityValueAttribute) {
        if (!_mediaSource)
            return 0.0;
        bool editing = slider && slider->editingEnabled();
        return seconds(editing ? _mediaSource->duration() : _mediaSource->currentTime());
    }
    if (attribute == HXAccessibilityMinValueAttribute)
        return seconds(MVZeroTime);
    if (attribute == HXAccessibilityMaxValueAttribute)
        return _mediaSource ? seconds(_mediaSource->duration()) : 0.0;
    if (attribute == HXAccessibilityHelpAttribute)
        return localized("mvpTimeLineHelp");
    if (attribute == HXAccessibilityDescriptionAttribute)
        return localized("mvpTimeLine");
    if (attribute == HXAccessibilityOrientationAttribute)
        return HXAccessibilityHorizontalOrientationValue;
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    if (attribute == HXAccessibilityFocusedAttribute)
        return isFirstResponder(*this);
    if (attribute == HXAccessibilityWindowAttribute || attribute == HXAccessibilityParentAttribute)
        return windowElement(*this);
    if (attribute == HXAccessibilityChildrenAttribute) {
        HXAccessibilityValue::Elements children;
        if (slider) {
            if (auto knob = slider->playHeadButton())
                children.push_back(knob);
            if (auto knob = slider->selectionStartMarkerButton())
                children.push_back(knob);
            if (auto knob = slider->selectionEndMarkerButton())
                children.push_back(knob);
        }
        return children;
    }
    if (attribute == HXAccessibilityPositionAttribute || attribute == HXAccessibilitySizeAttribute) {
        // The accessible frame takes in the knobs that overhang the track's ends.
        HXRect p, s, e;
        if (slider) {
            if (auto knob = slider->playHeadButton())
                p = knob->frame();
            if (auto knob = slider->selectionStartMarkerButton())
                s = knob->frame();
            if (auto knob = slider->selectionEndMarkerButton())
                e = knob->frame();
        }
        HXRect t = frame();
        if (attribute == HXAccessibilitySizeAttribute)
            return HXSize { t.size.width + 0.5 * std::max(s.size.width, p.size.width)
                    + 0.5 * std::max(e.size.width, p.size.width),
                t.size.height + 0.5 * std::max(e.size.height, s.size.height) + 0.5 * p.size.height };
        HXPoint origin = convertPointToView(bounds().origin, nullptr);
        origin.x -= 0.5 * std::max(s.size.width, p.size.width);
        origin.y -= 0.5 * std::max(e.size.height, s.size.height);
        if (auto w = window())
            origin = w->convertBaseToScreen(origin);
        return origin;
    }
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}

bool MVPSliderRectView::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute || attribute == HXAccessibilityFocusedAttribute;
}

void MVPSliderRectView::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityValueAttribute)
        setCurrentTime(MVMakeTimeWithTimeInterval(value.doubleValue()));
    else if (attribute == HXAccessibilityFocusedAttribute)
        takeFocus(*this);
}

std::vector<std::string> MVPSliderRectView::accessibilityActionNames() const
{
    static const std::vector<std::string> names
        = withNames(HXAccessibilityElement::accessibilityActionNames(),
            { HXAccessibilityIncrementAction, HXAccessibilityDecrementAction });
    return names;
}

std::string MVPSliderRectView::accessibilityActionDescription(const std::string& action) const
{
    return stepActionDescription(action);
}

void MVPSliderRectView::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityIncrementAction)
        stepForward();
    else if (action == HXAccessibilityDecrementAction)
        stepBackward();
    else
        HXAccessibilityElement::accessibilityPerformAction(action);
}

std::shared_ptr<HXObject> MVPSliderRectView::accessibilityHitTest(HXPoint point)
{
    auto slider = sliderView();
    auto w = window();
    if (slider && w) {
        HXPoint local = slider->convertPointFromView(w->convertScreenToBase(point), nullptr);
        for (std::shared_ptr<HXButton> knob : { std::shared_ptr<HXButton>(slider->playHeadButton()),
                 std::shared_ptr<HXButton>(slider->selectionStartMarkerButton()),
                 std::shared_ptr<HXButton>(slider->selectionEndMarkerButton()) }) {
            if (knob && HXPointInRect(local, knob->frame()))
                return knob->accessibilityHitTest(point);
        }
    }
    return shared_from_this();
}

std::shared_ptr<HXObject> MVPSliderRectView::accessibilityFocusedUIElement()
{
    return shared_from_this();
}

// ---- The playhead

std::vector<std::string> MVPSliderPlayheadButton::accessibilityAttributeNames() const
{
    static const std::vector<std::string> names = withNames(HXButton::accessibilityAttributeNames(),
        { MVPAccessibilityValueDescriptionAttribute, HXAccessibilityDescriptionAttribute,
            HXAccessibilityValueAttribute, HXAccessibilityMinValueAttribute,
            HXAccessibilityMaxValueAttribute });
    return names;
}

HXAccessibilityValue MVPSliderPlayheadButton::accessibilityAttributeValue(const std::string& attribute) const
{
    bool answered = false;
    auto value = knobAttributeValue(
        *this, _mediaSource, currentTime(), "mvpCurrentTimeHelp", "mvpCurrentTime", attribute, answered);
    return answered ? value : HXButton::accessibilityAttributeValue(attribute);
}

bool MVPSliderPlayheadButton::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute || attribute == HXAccessibilityFocusedAttribute;
}

void MVPSliderPlayheadButton::accessibilitySetValue(
    const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityValueAttribute)
        setCurrentTime(MVMakeTimeWithTimeInterval(value.doubleValue()));
    else if (attribute == HXAccessibilityFocusedAttribute)
        takeFocus(*this);
}

std::vector<std::string> MVPSliderPlayheadButton::accessibilityActionNames() const
{
    static const std::vector<std::string> names = withNames(HXButton::accessibilityActionNames(),
        { HXAccessibilityIncrementAction, HXAccessibilityDecrementAction });
    return names;
}

std::string MVPSliderPlayheadButton::accessibilityActionDescription(const std::string& action) const
{
    return stepActionDescription(action);
}

void MVPSliderPlayheadButton::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityIncrementAction)
        stepForward();
    else if (action == HXAccessibilityDecrementAction)
        stepBackward();
    else
        HXButton::accessibilityPerformAction(action);
}

bool MVPSliderPlayheadButton::accessibilityIsIgnored() const
{
    return knobIsIgnored(*this);
}

// ---- The selection markers

std::vector<std::string> MVPSliderSelectionMarkerButton::accessibilityAttributeNames() const
{
    static const std::vector<std::string> names = withNames(HXButton::accessibilityAttributeNames(),
        { MVPAccessibilityValueDescriptionAttribute, HXAccessibilityDescriptionAttribute,
            HXAccessibilityValueAttribute, HXAccessibilityMinValueAttribute,
            HXAccessibilityMaxValueAttribute });
    return names;
}

HXAccessibilityValue MVPSliderSelectionMarkerButton::accessibilityAttributeValue(
    const std::string& attribute) const
{
    bool start = _edge == Edge::Start;
    bool answered = false;
    auto value = knobAttributeValue(*this, _mediaSource, currentTime(),
        start ? "mvpSelectionStartHelp" : "mvpSelectionEndHelp",
        start ? "mvpSelectionStart" : "mvpSelectionEnd", attribute, answered);
    return answered ? value : HXButton::accessibilityAttributeValue(attribute);
}

bool MVPSliderSelectionMarkerButton::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute || attribute == HXAccessibilityFocusedAttribute;
}

void MVPSliderSelectionMarkerButton::accessibilitySetValue(
    const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityValueAttribute) {
        setCurrentTime(MVMakeTimeWithTimeInterval(value.doubleValue()));
    } else if (attribute == HXAccessibilityFocusedAttribute) {
        if (auto slider = std::dynamic_pointer_cast<MVPSliderView>(superview()))
            slider->setSelectionMarkersHidden(false, true);
        takeFocus(*this);
    }
}

std::vector<std::string> MVPSliderSelectionMarkerButton::accessibilityActionNames() const
{
    static const std::vector<std::string> names = withNames(HXButton::accessibilityActionNames(),
        { HXAccessibilityIncrementAction, HXAccessibilityDecrementAction });
    return names;
}

std::string MVPSliderSelectionMarkerButton::accessibilityActionDescription(const std::string& action) const
{
    return stepActionDescription(action);
}

void MVPSliderSelectionMarkerButton::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityIncrementAction)
        stepForward();
    else if (action == HXAccessibilityDecrementAction)
        stepBackward();
    else
        HXButton::accessibilityPerformAction(action);
}

bool MVPSliderSelectionMarkerButton::accessibilityIsIgnored() const
{
    return knobIsIgnored(*this);
}

std::shared_ptr<HXObject> MVPSliderSelectionMarkerButton::accessibilityHitTest(HXPoint)
{
    return shared_from_this();
}

std::shared_ptr<HXObject> MVPSliderSelectionMarkerButton::accessibilityFocusedUIElement()
{
    return shared_from_this();
}
