// Soft line wrapping in text views: where lines break, and how the caret, clicks and up/down movement
// follow the wrapped lines.
#include "winkit_fixture.h"

#include "platform/winkit/text_view.h"

#include <gtest/gtest.h>

using winkit::TextLine;

namespace {

// Ten points per byte: widths are easy to reason about.
double tenPerByte(std::string_view text)
{
    return 10.0 * double(text.size());
}

TextLine hard(size_t location, size_t length)
{
    return { { location, length }, false };
}
TextLine soft(size_t location, size_t length)
{
    return { { location, length }, true };
}

} // namespace

TEST(TextLineLayout, BreaksAfterTheLastSpaceThatFits)
{
    struct Case {
        const char* what;
        std::string text;
        double width;
        std::vector<TextLine> lines;
    };
    const std::vector<Case> cases = {
        { "no width: hard lines only", "ab cd\nef", 0, { hard(0, 5), hard(6, 2) } },
        { "fits", "ab cd", 50, { hard(0, 5) } },
        { "empty text is one empty line", "", 30, { hard(0, 0) } },
        { "trailing newline gives an empty last line", "ab\n", 30, { hard(0, 2), hard(3, 0) } },
        { "words wrap; the space hangs on the first line", "ab cd", 30, { soft(0, 3), hard(3, 2) } },
        { "a word that fits only without its space still stays", "abc de", 30, { soft(0, 4), hard(4, 2) } },
        { "runs of spaces hang together", "ab   cd", 30, { soft(0, 5), hard(5, 2) } },
        { "several breaks, the last that fits wins", "a b c d", 35, { soft(0, 4), hard(4, 3) } },
        { "a word longer than the width breaks inside", "abcdefg", 30,
            { soft(0, 3), soft(3, 3), hard(6, 1) } },
        { "too narrow for one character: one per line", "abc", 5, { soft(0, 1), soft(1, 1), hard(2, 1) } },
        { "a long word after a short one", "a bcdefgh", 40, { soft(0, 2), soft(2, 4), hard(6, 3) } },
        { "each paragraph wraps on its own", "ab cd\nef gh", 30,
            { soft(0, 3), hard(3, 2), soft(6, 3), hard(9, 2) } },
        // "é" is two bytes (20 points here): never split.
        { "characters are never split", "\xC3\xA9\xC3\xA9\xC3\xA9", 45, { soft(0, 4), hard(4, 2) } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(winkit::layOutTextLines(c.text, c.width, tenPerByte), c.lines) << c.what;
}

TEST(TextLineLayout, AnIndexAtASoftBreakShowsOnTheNextLine)
{
    auto lines = winkit::layOutTextLines("ab cd\nef", 30, tenPerByte); // "ab " | "cd" | "ef"
    const std::pair<size_t, size_t> cases[]
        = { { 0, 0 }, { 2, 0 }, { 3, 1 }, { 5, 1 }, { 6, 2 }, { 8, 2 }, { 99, 2 } };
    for (auto [index, line] : cases)
        EXPECT_EQ(winkit::lineIndexForCharacter(lines, index), line) << "index " << index;
}

class TextViewWrapTest : public WinkitTest {
protected:
    // "xxxx xxxx xxxx\nxx" in a view one word wide: "xxxx " | "xxxx " | "xxxx" | "xx".
    void SetUp() override
    {
        WinkitTest::SetUp();
        view = std::make_shared<HXTextView>(HXMakeRect(0, 0, 10, 200));
        view->setString("xxxx xxxx xxxx\nxx");
        view->setWidthTracksTextView(true);
        // Two insets of 2 points, and room for a word and its space but not two words.
        view->setFrameSize({ width("xxxx xx") + 4, 200 });
        lineHeight = view->font().lineHeight();
    }
    double width(const std::string& text) const
    {
        HXStringAttributes a;
        a.font = view->font();
        return HXStringDrawing::sizeWithAttributes(text, a).width;
    }
    size_t move(size_t from, const char* command)
    {
        view->setSelectedRange({ from, 0 });
        EXPECT_TRUE(view->performTextCommand(command));
        return view->selectedRange().location;
    }
    HXPoint pointOnLine(size_t line, double x) const { return { x, 2 + (double(line) + 0.5) * lineHeight }; }

    std::shared_ptr<HXTextView> view;
    double lineHeight = 0;
};

TEST_F(TextViewWrapTest, LinesWrapAtTheViewsWidthOnlyWhenAskedTo)
{
    EXPECT_EQ(
        view->lineLayout(), (std::vector<TextLine> { soft(0, 5), soft(5, 5), hard(10, 4), hard(15, 2) }));
    view->setFrameSize({ width("xxxx xxxx xx") + 4, 200 });
    EXPECT_EQ(view->lineLayout(), (std::vector<TextLine> { soft(0, 10), hard(10, 4), hard(15, 2) }))
        << "a wider view re-wraps";
    view->setWidthTracksTextView(false);
    EXPECT_EQ(view->lineLayout(), (std::vector<TextLine> { hard(0, 14), hard(15, 2) }));
    view->setWidthTracksTextView(true);
    view->setFieldEditor(true);
    EXPECT_EQ(view->lineLayout().size(), 2u) << "a field editor never wraps";
}

TEST_F(TextViewWrapTest, CaretMovesByShownLines)
{
    struct Case {
        size_t from;
        const char* command;
        size_t to;
    };
    const Case cases[] = {
        { 1, "moveDown:", 6 }, // same column on the next wrapped line
        { 6, "moveDown:", 11 },
        { 11, "moveDown:", 16 }, // into the next paragraph
        { 16, "moveDown:", 17 }, // the last line: to the end
        { 4, "moveDown:", 9 }, // from a line's end to the next line's end, not past its hanging space
        { 16, "moveUp:", 11 },
        { 11, "moveUp:", 6 },
        { 6, "moveUp:", 1 },
        { 3, "moveUp:", 0 }, // the first line: to the start
        { 7, "moveToBeginningOfLine:", 5 },
        { 5, "moveToEndOfLine:", 9 }, // index 5 shows at the start of the second line
        { 1, "moveToEndOfLine:", 4 }, // before the hanging space
        { 12, "moveToEndOfLine:", 14 }, // a hard line ends at its break
        { 16, "moveToBeginningOfLine:", 15 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(move(c.from, c.command), c.to) << c.command << " from " << c.from;

    view->setWidthTracksTextView(false);
    EXPECT_EQ(move(1, "moveDown:"), 16u) << "without wrapping, down goes to the next paragraph";
    EXPECT_EQ(move(1, "moveToEndOfLine:"), 14u);
}

TEST_F(TextViewWrapTest, ClicksFindTheShownLine)
{
    struct Case {
        size_t line;
        double x;
        size_t index;
    };
    const Case cases[] = {
        { 0, 0, 0 }, { 1, 0, 5 }, { 1, 1000, 9 }, // right of a wrapped line: before its hanging space
        { 2, 1000, 14 }, // right of a hard line: its end
        { 3, 1000, 17 }, { 9, 1000, 17 }, // below the text: the last line
    };
    for (const auto& c : cases)
        EXPECT_EQ(view->characterIndexForPoint(pointOnLine(c.line, c.x)), c.index)
            << "line " << c.line << " x " << c.x;
    // The middle of the second line's second character.
    double x = 2 + width("x") * 1.4;
    EXPECT_EQ(view->characterIndexForPoint(pointOnLine(1, x)), 6u);
}

TEST_F(TextViewWrapTest, ShiftedMovesExtendTheSelectionAlongShownLines)
{
    view->setSelectedRange({ 6, 0 });
    ASSERT_TRUE(view->performTextCommand("moveToEndOfLineAndModifySelection:"));
    EXPECT_EQ(view->selectedRange(), (HXRange { 6, 3 }));
    ASSERT_TRUE(view->performTextCommand("moveToBeginningOfLineAndModifySelection:"));
    EXPECT_EQ(view->selectedRange(), (HXRange { 5, 1 }));
}
