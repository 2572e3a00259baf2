// Matrices: a radio group keeps exactly one cell on, by click, arrow keys and tag.
#include "controls_fixture.h"

#include "platform/winkit/matrix.h"

class MatrixTest : public ControlsTest {
protected:
    std::shared_ptr<HXMatrix> group()
    {
        auto m = add(std::make_shared<HXMatrix>(HXMakeRect(20, 20, 200, 100), HXRadioModeMatrix, nullptr, 3, 1));
        const char* titles[] = { "Normal", "Loop", "Palindrome" };
        for (long r = 0; r < 3; ++r) {
            m->cellAtRowColumn(r, 0)->setTitle(titles[r]);
            m->cellAtRowColumn(r, 0)->setTag(r + 1);
        }
        return m;
    }
    void clickCell(HXMatrix& m, long row)
    {
        HXRect r = m.cellFrameAtRowColumn(row, 0);
        click(basePoint(m, { HXMidX(r), HXMidY(r) }));
    }
    std::vector<int> states(const HXMatrix& m) const
    {
        std::vector<int> s;
        for (const auto& c : m.cells())
            s.push_back(c->state());
        return s;
    }
};

TEST_F(MatrixTest, ExactlyOneRadioCellIsOn)
{
    auto m = group();
    EXPECT_EQ(states(*m), (std::vector<int> { 1, 0, 0 }));
    clickCell(*m, 2);
    EXPECT_EQ(states(*m), (std::vector<int> { 0, 0, 1 }));
    EXPECT_EQ(m->selectedTag(), 3);
    EXPECT_EQ(target->count(), 1u);
    EXPECT_EQ(target->lastSender, m.get());
    clickCell(*m, 2);
    EXPECT_EQ(states(*m), (std::vector<int> { 0, 0, 1 })) << "clicking the chosen cell keeps it on";
    EXPECT_TRUE(m->selectCellWithTag(2));
    EXPECT_EQ(states(*m), (std::vector<int> { 0, 1, 0 }));
    EXPECT_FALSE(m->selectCellWithTag(9));
    m->deselectAllCells();
    EXPECT_EQ(m->selectedRow(), 1) << "a radio group without empty selection keeps its choice";
    m->setAllowsEmptySelection(true);
    m->deselectAllCells();
    EXPECT_EQ(m->selectedCell(), nullptr);
    // A click between cells chooses nothing.
    click(basePoint(*m, { 100, 21.5 }));
    EXPECT_EQ(m->selectedCell(), nullptr);
}

TEST_F(MatrixTest, ArrowKeysMoveTheChoiceAndDisabledCellsRefuseClicks)
{
    auto m = group();
    ASSERT_TRUE(window->makeFirstResponder(m));
    key(functionKey(HXDownArrowFunctionKey));
    key(functionKey(HXDownArrowFunctionKey));
    key(functionKey(HXDownArrowFunctionKey));
    EXPECT_EQ(m->selectedRow(), 2);
    EXPECT_EQ(target->count(), 2u);
    m->cellAtRowColumn(0, 0)->setEnabled(false);
    clickCell(*m, 0);
    EXPECT_EQ(m->selectedRow(), 2);
    EXPECT_EQ(HXAccessibility::attributeValue(*m, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityRadioGroupRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*m, HXAccessibilityValueAttribute).stringValue(), "Palindrome");
    // Rows come and go; the choice stays sane.
    m->removeRow(2);
    EXPECT_EQ(m->numberOfRows(), 2);
    EXPECT_EQ(m->selectedRow(), 0);
    m->renewRows(0, 0);
    EXPECT_EQ(m->selectedCell(), nullptr);
    key(functionKey(HXDownArrowFunctionKey));
    window->display();
}
