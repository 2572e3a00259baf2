// Secure text fields: the text shows as bullets whether it is edited or not, nothing of it reaches the
// clipboard or assistive programs, and the field editor the window shares shows plain fields plainly
// again.
#include "controls_fixture.h"

#include "platform/winkit/field_editor.h"
#include "platform/winkit/secure_text_field.h"

class SecureTextFieldTest : public ControlsTest {
protected:
    template <class Field>
    std::shared_ptr<HXTextField> field(const std::string& text, double y)
    {
        auto f = add(std::make_shared<Field>(HXMakeRect(20, y, 200, 24)));
        f->setStringValue(text);
        return f;
    }
    // The pixels of the window inside `view`, row by row.
    std::vector<uint32_t> pixelsOf(const HXView& view)
    {
        HXRect r = view.convertRectToView(view.bounds(), nullptr);
        double height = window->contentView()->bounds().size.height;
        std::vector<uint32_t> pixels;
        for (int y = int(r.origin.y) + 2; y < int(HXMaxY(r)) - 2; ++y)
            for (int x = int(r.origin.x) + 2; x < int(HXMaxX(r)) - 2; ++x)
                pixels.push_back(window->renderedPixelRGBA(x, int(height) - 1 - y));
        return pixels;
    }
    void type(const std::string& text)
    {
        for (char c : text)
            key(std::string(1, c));
    }
};

TEST_F(SecureTextFieldTest, TheTextShowsAsBulletsWhileEditedToo)
{
    // Texts that differ but have as many characters look the same in secure fields, not in plain ones.
    struct Case {
        const char* name;
        bool secure;
        bool same;
    };
    for (auto c : { Case { "plain", false, false }, Case { "secure", true, true }, Case { "plain after secure", false, false } }) {
        SCOPED_TRACE(c.name);
        auto make = [&](const std::string& text, double y) {
            return c.secure ? field<HXSecureTextField>(text, y) : field<HXTextField>(text, y);
        };
        auto a = make("iiii", 200);
        auto b = make("WW\u00e9W", 160);
        EXPECT_EQ(pixelsOf(*a) == pixelsOf(*b), c.same);

        // Typed into, through the window's field editor, caret at the end each time.
        click(*a);
        ASSERT_TRUE(a->isEditing());
        a->performAction("selectAll:", nullptr);
        type("xyz");
        EXPECT_EQ(a->stringValue(), "xyz");
        auto typed = pixelsOf(*a);
        a->performAction("selectAll:", nullptr);
        type("WMi");
        EXPECT_EQ(a->stringValue(), "WMi");
        EXPECT_EQ(pixelsOf(*a) == typed, c.same);
        auto editor = HXFieldEditor::fieldEditorForWindow(window.get(), false);
        ASSERT_TRUE(editor);
        EXPECT_EQ(editor->isSecure(), c.secure);
        a->validateEditing();
        window->makeFirstResponder(nullptr);
        a->removeFromSuperview();
        b->removeFromSuperview();
    }
}

TEST_F(SecureTextFieldTest, NothingOfThePasswordLeavesTheField)
{
    auto f = field<HXSecureTextField>("hunter2", 200);
    server->setClipboardText("before");
    click(*f);
    ASSERT_TRUE(f->isEditing());
    for (const char* action : { "selectAll:", "copy:", "cut:" })
        f->performAction(action, nullptr);
    EXPECT_EQ(server->clipboardText(), std::optional<std::string>("before"));
    EXPECT_EQ(f->stringValue(), "hunter2"); // a refused cut removes nothing
    // Pasting into it works as in any field.
    f->performAction("paste:", nullptr);
    EXPECT_EQ(f->stringValue(), "before");

    // Assistive programs learn what the field is, not what it holds.
    auto cell = f->cell();
    EXPECT_EQ(cell->accessibilityAttributeValue(HXAccessibilityRoleAttribute).stringValue(),
        HXAccessibilityTextFieldRole);
    EXPECT_EQ(cell->accessibilityAttributeValue(HXAccessibilitySubroleAttribute).stringValue(), "AXSecureTextField");
    EXPECT_EQ(cell->accessibilityAttributeValue(HXAccessibilityValueAttribute).stringValue(), "");
    auto editor = HXFieldEditor::fieldEditorForWindow(window.get(), false);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->accessibilityAttributeValue(HXAccessibilityValueAttribute).stringValue(), "");
}
