// Forms: titled entries by index and tag, fields that line up after the widest title, values through a
// shared formatter, and the chosen entry.
#include "controls_fixture.h"

#include "platform/winkit/form.h"
#include "platform/winkit/number_formatter.h"

class FormTest : public ControlsTest {
protected:
    // A statistic's form: current, average and maximum, tagged 0, 1 and 2.
    std::shared_ptr<HXForm> statistic()
    {
        auto form = add(std::make_shared<HXForm>(HXMakeRect(20, 20, 240, 100)));
        const char* titles[] = { "Current:", "Average:", "Maximum:" };
        for (long i = 0; i < 3; ++i)
            form->addEntry(titles[i])->setTag(i);
        form->sizeToCells();
        return form;
    }
    // Whether any pixel of `rect` (in the form's coordinates) differs from the window's background.
    bool inkIn(HXView& view, HXRect rect)
    {
        window->display();
        HXRect base = view.convertRectToView(rect, nullptr);
        double height = window->contentView()->frame().size.height;
        uint32_t background = window->renderedPixelRGBA(2, int(height) - 2);
        for (int y = int(base.origin.y) + 1; y < int(HXMaxY(base)) - 1; ++y)
            for (int x = int(base.origin.x) + 1; x < int(HXMaxX(base)) - 1; ++x)
                if (window->renderedPixelRGBA(x, int(height) - 1 - y) != background)
                    return true;
        return false;
    }
    static std::vector<std::string> titles(const HXForm& form)
    {
        std::vector<std::string> t;
        for (long i = 0; i < form.numberOfEntries(); ++i)
            t.push_back(form.cellAtIndex(i)->title());
        return t;
    }
};

TEST_F(FormTest, EntriesByIndexAndTag)
{
    auto form = statistic();
    auto average = form->cellAtIndex(1);
    EXPECT_EQ(form->cellAtIndex(3), nullptr);
    EXPECT_EQ(form->cellAtIndex(-1), nullptr);
    EXPECT_EQ(form->cellWithTag(2), form->cellAtIndex(2));
    EXPECT_EQ(form->indexOfCellWithTag(2), 2);
    EXPECT_EQ(form->indexOfCellWithTag(7), -1);
    EXPECT_EQ(form->indexOfSelectedItem(), -1) << "a new form has no chosen entry";

    form->selectCellAtIndex(1);
    auto minimum = form->insertEntry("Minimum:", 0);
    ASSERT_NE(minimum, nullptr);
    EXPECT_EQ(titles(*form), (std::vector<std::string> { "Minimum:", "Current:", "Average:", "Maximum:" }));
    EXPECT_EQ(form->cellAtIndex(2), average) << "inserting keeps the other entries' cells";
    EXPECT_EQ(form->indexOfSelectedItem(), 2) << "the chosen entry moves with its cell";
    EXPECT_EQ(minimum->controlView(), form.get());
    EXPECT_EQ(form->insertEntry("Out of range", 9), nullptr);
    EXPECT_EQ(form->numberOfEntries(), 4);

    form->removeEntryAtIndex(0);
    form->removeEntryAtIndex(12);
    EXPECT_EQ(titles(*form), (std::vector<std::string> { "Current:", "Average:", "Maximum:" }));
    EXPECT_EQ(form->indexOfSelectedItem(), 1);
    form->removeEntryAtIndex(1);
    EXPECT_EQ(form->indexOfSelectedItem(), -1) << "removing the chosen entry leaves none chosen";
}

TEST_F(FormTest, FieldsLineUpAfterTheWidestTitle)
{
    auto form = statistic();
    auto widest = form->cellAtIndex(0)->naturalTitleWidth();
    for (long i = 1; i < 3; ++i)
        widest = std::max(widest, form->cellAtIndex(i)->naturalTitleWidth());
    ASSERT_GT(widest, HXFormCell::titleGap);
    HXRect frame = form->cellFrameAtRowColumn(0, 0);

    struct Case {
        const char* what;
        double setWidth; // -1: none set
        double fieldX; // expected, relative to the cell
    };
    const Case cases[] = {
        { "no width of its own: the form's widest title", -1, widest },
        { "a width of its own", 30, 30 },
        { "zero: the field takes the whole entry", 0, 0 },
        { "wider than the entry: clamped, the field is empty", 1000, frame.size.width },
    };
    auto cell = form->cellAtIndex(1);
    for (const auto& c : cases) {
        cell->setTitleWidth(c.setWidth);
        HXRect field = cell->fieldFrameForBounds(frame);
        EXPECT_DOUBLE_EQ(field.origin.x - frame.origin.x, c.fieldX) << c.what;
        EXPECT_DOUBLE_EQ(HXMaxX(field), HXMaxX(frame)) << c.what;
        EXPECT_GE(field.size.width, 0) << c.what;
        // The other entries are not moved by one entry's own width.
        EXPECT_DOUBLE_EQ(form->cellAtIndex(0)->fieldFrameForBounds(frame).origin.x - frame.origin.x, widest)
            << c.what;
    }

    // A longer title widens the column for every entry; outside a form a cell uses its own title.
    cell->setTitleWidth(-1);
    cell->setTitle("Average over the last minute:");
    EXPECT_GT(form->widestTitleWidth(), widest);
    EXPECT_DOUBLE_EQ(form->cellAtIndex(2)->titleWidth(), form->widestTitleWidth());
    HXFormCell loose("Rate:");
    EXPECT_DOUBLE_EQ(loose.titleWidth(), loose.naturalTitleWidth());
    EXPECT_DOUBLE_EQ(HXFormCell().titleWidth(), 0) << "no title, no title column";
}

TEST_F(FormTest, ValuesGoThroughEachEntrysFormatter)
{
    auto form = statistic();
    auto formatter = std::make_shared<HXNumberFormatter>();
    formatter->setMaximumFractionDigits(1);
    formatter->setMinimumFractionDigits(1);
    // One formatter shared by every entry, as a statistic's three values read alike.
    for (long i = 0; i < 3; ++i)
        form->cellAtIndex(i)->setFormatter(formatter);
    form->cellWithTag(0)->setFloatValue(12.25f);
    form->cellWithTag(1)->setDoubleValue(3.0);
    form->cellWithTag(2)->setIntValue(40);
    EXPECT_EQ(form->cellAtIndex(0)->stringValue(), formatter->stringForObjectValue(HXPropertyList(12.25)));
    EXPECT_EQ(form->cellAtIndex(1)->stringValue(), "3.0");
    EXPECT_EQ(form->cellAtIndex(2)->stringValue(), "40.0");
    form->cellWithTag(0)->setStringValue("");
    EXPECT_EQ(form->cellAtIndex(0)->stringValue(), "") << "an entry can be emptied";
    EXPECT_EQ(form->cellAtIndex(1)->title(), "Average:") << "the value never touches the title";
}

TEST_F(FormTest, AClickOrTheArrowKeysChooseAnEntry)
{
    auto form = statistic();
    HXRect r = form->cellFrameAtRowColumn(2, 0);
    click(basePoint(*form, { HXMidX(r), HXMidY(r) }));
    EXPECT_EQ(form->indexOfSelectedItem(), 2);
    EXPECT_EQ(form->selectedCell(), form->cellWithTag(2));
    ASSERT_TRUE(window->makeFirstResponder(form));
    key(functionKey(HXUpArrowFunctionKey));
    EXPECT_EQ(form->indexOfSelectedItem(), 1);
    form->setEnabled(false);
    click(basePoint(*form, { HXMidX(r), HXMidY(r) }));
    EXPECT_EQ(form->indexOfSelectedItem(), 1) << "a disabled form ignores clicks";
    EXPECT_FALSE(form->cellAtIndex(0)->isEnabled());
}

TEST_F(FormTest, DrawsTitlesAndFields)
{
    auto form = statistic();
    form->cellWithTag(0)->setStringValue("128");
    HXRect frame = form->cellFrameAtRowColumn(0, 0);
    double title = form->widestTitleWidth();
    // Text is drawn in the title column and in the field, left of the field's end.
    EXPECT_TRUE(inkIn(*form, { frame.origin, { title - HXFormCell::titleGap, frame.size.height } }));
    EXPECT_TRUE(
        inkIn(*form, { { frame.origin.x + title + 4, frame.origin.y + 4 }, { 40, frame.size.height - 8 } }));
    // An entry without a title leaves its part of the column empty; the others keep the column.
    form->cellWithTag(0)->setTitle("");
    EXPECT_DOUBLE_EQ(form->widestTitleWidth(), title);
    EXPECT_FALSE(inkIn(*form, { frame.origin, { title - HXFormCell::titleGap, frame.size.height } }));
}
