// Sliders: values from clicks and drags, tick-mark snapping, vertical sliders, keys and accessibility.
#include "controls_fixture.h"

#include "platform/basekit/undo_manager.h"
#include "platform/winkit/slider.h"

#include <cmath>

class SliderTest : public ControlsTest {
protected:
    // 0 ... 100 on a 216-point track: the knob (16) leaves 200 points, two per unit.
    std::shared_ptr<HXSlider> slider(HXRect frame = HXMakeRect(20, 100, 216, 24))
    {
        auto s = add(std::make_shared<HXSlider>(frame));
        s->setMinValue(0);
        s->setMaxValue(100);
        return s;
    }
    // The base point at `x` points from the slider's left edge, on its middle line.
    HXPoint at(const HXSlider& s, double x) { return basePoint(s, { x, HXMidY(s.bounds()) }); }
};

TEST_F(SliderTest, ClickingBesideTheKnobMovesItThere)
{
    struct Case {
        double x;
        double value;
    };
    for (const auto& c : { Case { 8, 0 }, Case { 108, 50 }, Case { 208, 100 }, Case { 58, 25 }, Case { 0, 0 }, Case { 215, 100 } }) {
        auto s = slider();
        s->setDoubleValue(c.value < 50 ? 100 : 0);  // start away from the target so the knob is not under it
        click(at(*s, c.x));
        EXPECT_DOUBLE_EQ(s->doubleValue(), c.value) << c.x;
        s->removeFromSuperview();
    }
}

TEST_F(SliderTest, DraggingTheKnobKeepsTheGrabPointAndIsClampedToTheRange)
{
    auto s = slider();
    s->setDoubleValue(50);  // knob centre at 108
    drag(at(*s, 112), { at(*s, 132) });  // grabbed 4 points right of the centre, moved 20 points
    EXPECT_DOUBLE_EQ(s->doubleValue(), 60);
    drag(at(*s, 128), { at(*s, 400), at(*s, 390) });
    EXPECT_DOUBLE_EQ(s->doubleValue(), 100);
    drag(at(*s, 208), { at(*s, -300) });
    EXPECT_DOUBLE_EQ(s->doubleValue(), 0);
}

TEST_F(SliderTest, ContinuousSlidersSendWhileDraggingOthersOnlyOnRelease)
{
    for (bool continuous : { true, false }) {
        auto s = slider();
        s->setContinuous(continuous);
        target->log.clear();
        drag(at(*s, 8), { at(*s, 40), at(*s, 60), at(*s, 80) });
        EXPECT_EQ(target->count(), continuous ? 4u : 1u);
        EXPECT_DOUBLE_EQ(s->doubleValue(), 36);
        // Released outside the slider still sets the value and sends.
        target->log.clear();
        drag(at(*s, 8), { basePoint(*s, { 108, 200 }) });
        EXPECT_DOUBLE_EQ(s->doubleValue(), 50);
        EXPECT_GE(target->count(), 1u);
        s->removeFromSuperview();
    }
}

namespace {
// The window's undo history, as a document's window hands it out.
class UndoDelegate : public HXWindowDelegate {
public:
    HXUndoManager undo;
    HXUndoManager* windowWillReturnUndoManager(HXWindow&) override { return &undo; }
};
} // namespace

TEST_F(SliderTest, OneUndoTakesAWholeDragBack)
{
    for (bool continuous : { true, false }) {
        SCOPED_TRACE(continuous ? "continuous" : "on release");
        auto delegate = std::make_shared<UndoDelegate>();
        window->setDelegate(delegate);
        auto s = slider();
        s->setContinuous(continuous);
        s->setDoubleValue(0);
        // Each value the slider sends is a change that can be undone, as a bound setting is.
        double value = 0;
        auto undoable = std::make_shared<HXObject>();
        undoable->setActionHandler(HXSelector("set:"), [&](HXObject*) {
            double old = value;
            value = s->doubleValue();
            delegate->undo.registerUndo(undoable.get(), [&value, old] { value = old; });
        });
        s->setTarget(undoable);
        s->setAction("set:");
        drag(at(*s, 8), { at(*s, 40), at(*s, 60), at(*s, 80) });
        EXPECT_DOUBLE_EQ(value, 36);
        delegate->undo.undo();
        EXPECT_DOUBLE_EQ(value, 0) << "back to the value before the drag";
        EXPECT_FALSE(delegate->undo.canUndo());
        s->removeFromSuperview();
        window->setDelegate(nullptr);
    }
}

TEST_F(SliderTest, TickMarksSnapWhenValuesAreLimitedToThem)
{
    auto s = slider();
    s->setNumberOfTickMarks(5);
    struct Case {
        double value;
        double closest;
    };
    for (const auto& c : { Case { 0, 0 }, Case { 12, 0 }, Case { 13, 25 }, Case { 62.4, 50 }, Case { 63, 75 }, Case { 140, 100 }, Case { -5, 0 } })
        EXPECT_DOUBLE_EQ(s->closestTickMarkValueToValue(c.value), c.closest) << c.value;
    EXPECT_DOUBLE_EQ(s->tickMarkValueAtIndex(3), 75);
    s->setAllowsTickMarkValuesOnly(true);
    drag(at(*s, 8), { at(*s, 128) });  // 60
    EXPECT_DOUBLE_EQ(s->doubleValue(), 50);
    click(at(*s, 136));  // 64
    EXPECT_DOUBLE_EQ(s->doubleValue(), 75);
    // Tick rectangles sit where their values are, and find their index again.
    HXRect third = s->rectOfTickMarkAtIndex(2);
    EXPECT_NEAR(HXMidX(third), 108, 0.01);
    EXPECT_EQ(s->indexOfTickMarkAtPoint({ HXMidX(third), HXMidY(third) }), 2);
    EXPECT_EQ(s->indexOfTickMarkAtPoint({ 80, HXMidY(third) }), -1);
    EXPECT_TRUE(HXIsEmptyRect(s->rectOfTickMarkAtIndex(5)));
    // One tick stands in the middle; no ticks leave values alone.
    s->setNumberOfTickMarks(1);
    EXPECT_DOUBLE_EQ(s->closestTickMarkValueToValue(3), 50);
    s->setNumberOfTickMarks(0);
    EXPECT_DOUBLE_EQ(s->closestTickMarkValueToValue(37.5), 37.5);
}

TEST_F(SliderTest, TallSlidersAreVerticalWithTheMaximumAtTheTop)
{
    auto s = slider(HXMakeRect(300, 20, 24, 216));
    EXPECT_TRUE(s->isVertical());
    click(basePoint(*s, { 12, 208 }));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 100);
    click(basePoint(*s, { 12, 58 }));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 25);
    HXRect knob = s->knobRect();
    EXPECT_DOUBLE_EQ(HXMidY(knob), 58);
    EXPECT_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityOrientationAttribute).stringValue(),
        HXAccessibilityVerticalOrientationValue);
}

TEST_F(SliderTest, ArrowAndPageKeysStepTheFocusedSlider)
{
    auto s = slider();
    ASSERT_TRUE(window->makeFirstResponder(s));
    struct Case {
        char32_t key;
        double value;
    };
    const Case steps[] = {
        { HXRightArrowFunctionKey, 5 }, { HXUpArrowFunctionKey, 10 }, { HXLeftArrowFunctionKey, 5 },
        { HXPageUpFunctionKey, 15 }, { HXEndFunctionKey, 100 }, { HXRightArrowFunctionKey, 100 },
        { HXHomeFunctionKey, 0 }, { HXDownArrowFunctionKey, 0 },
    };
    for (const auto& c : steps) {
        key(functionKey(c.key));
        EXPECT_DOUBLE_EQ(s->doubleValue(), c.value);
    }
    EXPECT_EQ(target->count(), 6u) << "keys that change nothing send nothing";
    s->setAltIncrementValue(2);
    key(functionKey(HXRightArrowFunctionKey));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 2);
    s->setNumberOfTickMarks(3);
    s->setAllowsTickMarkValuesOnly(true);
    key(functionKey(HXRightArrowFunctionKey));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 50);
}

TEST_F(SliderTest, ValuesOutsideTheRangeOrNotNumbersAreKeptSane)
{
    auto s = slider();
    s->setDoubleValue(std::nan(""));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 0);
    s->setDoubleValue(1e300);
    EXPECT_DOUBLE_EQ(s->doubleValue(), 100);
    s->setStringValue("42");
    EXPECT_DOUBLE_EQ(s->doubleValue(), 42);
    s->setMaxValue(20);
    EXPECT_DOUBLE_EQ(s->doubleValue(), 20);
    s->setMinValue(20);  // no range: everything is the one value, and clicks do not divide by zero
    click(at(*s, 100));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 20);
    s->setNumberOfTickMarks(4);
    EXPECT_DOUBLE_EQ(s->closestTickMarkValueToValue(7), 20);
}

TEST_F(SliderTest, AccessibilityReadsSetsAndStepsTheValue)
{
    auto s = slider();
    s->setNumberOfTickMarks(11);
    s->setDoubleValue(30);
    auto changes = record({ HXAccessibilityValueChangedNotification }, s.get());
    EXPECT_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilitySliderRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityRoleDescriptionAttribute).stringValue(), "slider");
    EXPECT_DOUBLE_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityValueAttribute).doubleValue(), 30);
    EXPECT_DOUBLE_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityMinValueAttribute).doubleValue(), 0);
    EXPECT_DOUBLE_EQ(HXAccessibility::attributeValue(*s, HXAccessibilityMaxValueAttribute).doubleValue(), 100);
    EXPECT_TRUE(HXAccessibility::isAttributeSettable(*s, HXAccessibilityValueAttribute));
    EXPECT_FALSE(HXAccessibility::isAttributeSettable(*s, HXAccessibilityMinValueAttribute));
    EXPECT_TRUE(HXAccessibility::performAction(*s, HXAccessibilityIncrementAction));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 35);
    EXPECT_TRUE(HXAccessibility::performAction(*s, HXAccessibilityDecrementAction));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 30);
    s->setAllowsTickMarkValuesOnly(true);
    EXPECT_TRUE(HXAccessibility::setValue(*s, 47.0, HXAccessibilityValueAttribute));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 50);
    EXPECT_TRUE(HXAccessibility::setValue(*s, "not a number", HXAccessibilityValueAttribute));
    EXPECT_DOUBLE_EQ(s->doubleValue(), 50);
    EXPECT_EQ(target->count(), 3u);
    EXPECT_EQ(changes->size(), 3u);
    s->setEnabled(false);
    EXPECT_FALSE(HXAccessibility::isAttributeSettable(*s, HXAccessibilityValueAttribute));
    EXPECT_FALSE(HXAccessibility::attributeValue(*s, HXAccessibilityEnabledAttribute).boolValue());
}
