// Text fields: the field editor's life cycle, formatter validation while typing and at the end, the
// editing notifications, Return/Tab/Escape, and accessibility.
#include "controls_fixture.h"

#include "platform/winkit/field_editor.h"
#include "platform/winkit/number_formatter.h"
#include "platform/winkit/text_field.h"

namespace {

class RecordingDelegate : public HXTextFieldDelegate {
public:
    std::vector<std::string> log;
    bool acceptBadText = false;
    bool takeMoveUp = false;
    bool controlTextShouldBeginEditing(HXTextField&) override { log.push_back("shouldBegin"); return true; }
    void controlTextDidBeginEditing(HXTextField&) override { log.push_back("didBegin"); }
    void controlTextDidChange(HXTextField& f) override { log.push_back("change:" + f.stringValue()); }
    void controlTextDidEndEditing(HXTextField&, int movement) override { log.push_back("end:" + std::to_string(movement)); }
    bool controlDidFailToFormatString(HXTextField&, const std::string& s, const std::string&) override
    {
        log.push_back("badText:" + s);
        return acceptBadText;
    }
    void controlDidFailToValidatePartialString(HXTextField&, const std::string& s, const std::string&) override
    {
        log.push_back("badPartial:" + s);
    }
    bool controlTextViewDoCommandBySelector(HXTextField&, HXTextView&, HXSelector command) override
    {
        if (takeMoveUp && command == HXSelector("moveUp:")) {
            log.push_back("moveUp");
            return true;
        }
        return false;
    }
};

}  // namespace

class TextFieldTest : public ControlsTest {
protected:
    std::shared_ptr<HXTextField> field(const std::string& text, double y = 200)
    {
        auto f = add(std::make_shared<HXTextField>(HXMakeRect(20, y, 200, 24)));
        f->setStringValue(text);
        return f;
    }
    void type(const std::string& text)
    {
        for (char c : text)
            key(std::string(1, c));
    }
    int beeps() const { return server->beepCount(); }
};

TEST_F(TextFieldTest, ClickingLendsTheFieldEditorAndReturnCommitsTheText)
{
    auto f = field("old");
    auto delegate = std::make_shared<RecordingDelegate>();
    f->setDelegate(delegate);
    auto notes = record({ HXControlTextDidBeginEditingNotification, HXControlTextDidChangeNotification,
                            HXControlTextDidEndEditingNotification },
        f.get());
    click(*f);
    ASSERT_TRUE(f->isEditing());
    auto editor = HXFieldEditor::fieldEditorForWindow(window.get(), false);
    ASSERT_TRUE(editor);
    EXPECT_EQ(f->currentEditor(), editor);
    EXPECT_EQ(editor->superview(), f);
    EXPECT_EQ(window->firstResponder(), f);
    EXPECT_EQ(editor->string(), "old");

    key(functionKey(HXEndFunctionKey));
    type("er");
    EXPECT_EQ(f->stringValue(), "older") << "the value reads what is typed so far";
    EXPECT_EQ(f->cell()->stringValue(), "old") << "the cell keeps the old value until editing ends";
    key("\r");
    EXPECT_EQ(f->cell()->stringValue(), "older");
    EXPECT_EQ(target->count(), 1u);
    EXPECT_TRUE(f->isEditing()) << "Return leaves the field focused, text selected";
    EXPECT_EQ(editor->selectedRange(), (HXRange { 0, 5 }));
    EXPECT_EQ(*notes, (std::vector<std::string> { HXControlTextDidBeginEditingNotification, HXControlTextDidChangeNotification,
                          HXControlTextDidChangeNotification, HXControlTextDidEndEditingNotification }));
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "shouldBegin", "didBegin", "change:olde", "change:older",
                                 "end:" + std::to_string(HXReturnTextMovement) }));
}

TEST_F(TextFieldTest, TabAndShiftTabMoveTheOneFieldEditorAlongTheKeyViewLoop)
{
    auto a = field("a", 200);
    auto b = field("b", 160);
    a->setNextKeyView(b);
    b->setNextKeyView(a);
    ASSERT_TRUE(window->makeFirstResponder(a));
    type("1");
    auto ends = std::make_shared<std::vector<int64_t>>();
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(HXControlTextDidEndEditingNotification, nullptr,
        [ends](const HXNotification& n) { ends->push_back(n.userInfo().at(HXTextMovementKey).integerValue()); }));
    key("\t");
    EXPECT_EQ(a->stringValue(), "1");
    EXPECT_FALSE(a->isEditing());
    EXPECT_TRUE(b->isEditing());
    EXPECT_EQ(window->firstResponder(), b);
    EXPECT_EQ(a->currentEditor(), nullptr);
    EXPECT_EQ(b->currentEditor(), HXFieldEditor::fieldEditorForWindow(window.get(), false));
    key("\t", HXShiftKeyMask);
    EXPECT_TRUE(a->isEditing());
    EXPECT_EQ(*ends, (std::vector<int64_t> { HXTabTextMovement, HXBacktabTextMovement }));
    EXPECT_EQ(target->count(), 0u) << "Tab does not send the action unless asked to";
}

TEST_F(TextFieldTest, EscapeDropsWhatWasTyped)
{
    auto f = field("keep");
    click(*f);
    type("gone");
    key("\x1b");
    EXPECT_EQ(f->stringValue(), "keep");
    EXPECT_TRUE(f->isEditing());
    EXPECT_EQ(target->count(), 0u);
}

TEST_F(TextFieldTest, FormatterRefusesBadKeysAndBadValues)
{
    auto f = field("");
    auto formatter = std::make_shared<HXNumberFormatter>();
    formatter->setAllowsFloats(false);
    formatter->setMinimum(0);
    formatter->setMaximum(100);
    f->setFormatter(formatter);
    f->setIntValue(7);
    auto delegate = std::make_shared<RecordingDelegate>();
    f->setDelegate(delegate);
    ASSERT_TRUE(window->makeFirstResponder(f));  // all selected
    int before = beeps();
    type("4x2");
    EXPECT_EQ(f->stringValue(), "42");
    EXPECT_EQ(beeps(), before + 1);
    key("\r");
    EXPECT_EQ(f->objectValue(), HXPropertyList(int64_t(42)));
    EXPECT_TRUE(f->cell()->objectValue().isInteger());

    // Out of range: Return is refused, the field keeps editing, the value stays.
    key(functionKey(HXEndFunctionKey));
    type("0");
    key("\r");
    EXPECT_TRUE(f->isEditing());
    EXPECT_EQ(f->cell()->objectValue(), HXPropertyList(int64_t(42)));
    EXPECT_EQ(f->stringValue(), "420");
    // Nor can the focus leave.
    auto other = field("other", 100);
    EXPECT_FALSE(window->makeFirstResponder(other));
    EXPECT_EQ(window->firstResponder(), f);
    // A delegate may accept the text anyway; the cell then has no valid value.
    delegate->acceptBadText = true;
    key("\r");
    EXPECT_EQ(f->cell()->stringValue(), "420");
    EXPECT_FALSE(f->cell()->hasValidObjectValue());
    EXPECT_NE(std::find(delegate->log.begin(), delegate->log.end(), "badPartial:4x"), delegate->log.end());
    EXPECT_NE(std::find(delegate->log.begin(), delegate->log.end(), "badText:420"), delegate->log.end());
}

TEST_F(TextFieldTest, ClickingAnotherFieldEndsEditingAndMayNotSendTheAction)
{
    for (bool sendsOnEnd : { false, true }) {
        auto a = field("a", 200);
        auto b = field("b", 150);
        a->setSendsActionOnEndEditing(sendsOnEnd);
        target->log.clear();
        click(*a);  // the insertion point goes where the click was: after the text
        type("z");
        click(*b);
        EXPECT_EQ(a->stringValue(), "az");
        EXPECT_FALSE(a->isEditing());
        EXPECT_TRUE(b->isEditing());
        EXPECT_EQ(target->count(), sendsOnEnd ? 1u : 0u);
        a->removeFromSuperview();
        b->removeFromSuperview();
    }
}

TEST_F(TextFieldTest, EditableSelectableAndLabels)
{
    auto readOnly = field("read only", 200);
    readOnly->setEditable(false);
    click(*readOnly);
    EXPECT_TRUE(readOnly->isEditing()) << "selectable text can be selected";
    type("x");
    EXPECT_EQ(readOnly->stringValue(), "read only");
    key("a", HXCommandKeyMask);

    auto label = HXTextField::labelWithString("Volume:");
    label->setFrameOrigin({ 20, 100 });
    window->contentView()->addSubview(label);
    click(*label);
    EXPECT_FALSE(label->isEditing());
    EXPECT_NE(window->firstResponder(), label);
    EXPECT_GT(label->frame().size.width, 20);
    EXPECT_EQ(HXAccessibility::attributeValue(*label, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityStaticTextRole);
}

TEST_F(TextFieldTest, DelegateTakesEditorCommandsFirst)
{
    auto f = field("12:00");
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->takeMoveUp = true;
    f->setDelegate(delegate);
    ASSERT_TRUE(window->makeFirstResponder(f));
    key(functionKey(HXUpArrowFunctionKey));
    EXPECT_EQ(delegate->log.back(), "moveUp");
    EXPECT_EQ(f->currentEditor()->selectedRange(), (HXRange { 0, 5 })) << "the editor did not move itself";
}

TEST_F(TextFieldTest, EditingKeysWorkOnWholeCharacters)
{
    auto f = field("añb");
    click(*f);
    auto editor = f->currentEditor();
    struct Step {
        std::string key;
        uint32_t modifiers;
        std::string text;
        HXRange selection;
    };
    const Step steps[] = {
        { functionKey(HXRightArrowFunctionKey), 0, "añb", { 4, 0 } },  // collapses to the end
        { functionKey(HXLeftArrowFunctionKey), 0, "añb", { 3, 0 } },
        { functionKey(HXLeftArrowFunctionKey), HXShiftKeyMask, "añb", { 1, 2 } },  // ñ is two bytes
        { "\x7f", 0, "ab", { 1, 0 } },
        { "\x7f", 0, "b", { 0, 0 } },
        { "\x7f", 0, "b", { 0, 0 } },  // nothing to delete: a beep
        { functionKey(HXDeleteFunctionKey), 0, "", { 0, 0 } },
        { "é", 0, "é", { 2, 0 } },
    };
    for (const auto& s : steps) {
        key(s.key, s.modifiers);
        EXPECT_EQ(editor->string(), s.text) << s.key;
        EXPECT_EQ(editor->selectedRange(), s.selection) << s.key;
    }
    editor->setSelectedRange({ 1, 0 });  // inside é: widened to the character's start
    EXPECT_EQ(editor->selectedRange(), (HXRange { 0, 0 }));
    editor->setSelectedRange({ 0, 99 });
    EXPECT_EQ(editor->selectedRange(), (HXRange { 0, 2 }));
}

TEST_F(TextFieldTest, AccessibilityValueFocusAndPlaceholder)
{
    auto f = field("");
    f->setPlaceholderString("Search");
    EXPECT_EQ(HXAccessibility::attributeValue(*f, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityTextFieldRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*f, HXAccessibilityPlaceholderValueAttribute).stringValue(), "Search");
    EXPECT_FALSE(HXAccessibility::attributeValue(*f, HXAccessibilityFocusedAttribute).boolValue());
    EXPECT_TRUE(HXAccessibility::setValue(*f, true, HXAccessibilityFocusedAttribute));
    EXPECT_TRUE(f->isEditing());
    EXPECT_TRUE(HXAccessibility::attributeValue(*f, HXAccessibilityFocusedAttribute).boolValue());
    EXPECT_EQ(HXAccessibility::focusedUIElement(*window), f) << "the field editor is not an element of its own";
    type("abc");
    EXPECT_EQ(HXAccessibility::attributeValue(*f, HXAccessibilityValueAttribute).stringValue(), "abc");
    auto children = HXAccessibility::attributeValue(*f, HXAccessibilityChildrenAttribute).elements();
    EXPECT_TRUE(children.empty());
    EXPECT_TRUE(HXAccessibility::setValue(*f, "set", HXAccessibilityValueAttribute));
    EXPECT_EQ(f->stringValue(), "set");
    f->setEnabled(false);
    EXPECT_FALSE(HXAccessibility::isAttributeSettable(*f, HXAccessibilityValueAttribute));
}

TEST(TextColorTest, SettingTheSameColourDoesNotAskForAnotherDraw)
{
    // Cells that choose their colour while drawing would otherwise redraw for ever.
    auto field = std::make_shared<HXTextField>(HXRect { { 0, 0 }, { 100, 20 } });
    field->setTextColor(HXColor::whiteColor());
    field->setNeedsDisplay(false);
    field->cell()->setTextColor(HXColor::whiteColor());
    EXPECT_FALSE(field->needsDisplay());
    field->cell()->setTextColor(HXColor::grayColor());
    EXPECT_TRUE(field->needsDisplay());
}
