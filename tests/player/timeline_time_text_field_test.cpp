#include "player/timeline/time_text_field.h"

#include "timeline_headless.h"

namespace {

TEST(TimeTextFieldTest, WholeSecondsWithHoursNotWrapped)
{
    const struct {
        const char* name;
        MVTime time;
        const char* text;
    } cases[] = {
        { "zero", MVMakeTime(0, 600), "00:00:00" },
        { "just under an hour", MVMakeTime(35999, 10), "00:59:59" },
        { "100 hours", MVMakeTime(int64_t(100) * 3600 * 600, 600), "100:00:00" },
        { "long at 90 kHz", MVMakeTime(int64_t(30) * 3600 * 90000 + 61 * 90000, 90000), "30:01:01" },
        { "indefinite", MVIndefiniteTime, "00:00:00" },
        { "no scale", MVTime { 600, 0, 0 }, "00:00:00" },
        { "negative", MVMakeTime(-61 * 600, 600), "-00:01:01" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPTimeTextField::timeText(c.time), c.text) << c.name;
}

class CountingTimeTextField : public MVPTimeTextField {
public:
    using MVPTimeTextField::MVPTimeTextField;
    void drawRect(HXRect dirtyRect) override
    {
        ++draws;
        MVPTimeTextField::drawRect(dirtyRect);
    }
    int draws = 0;
};

class TimeTextFieldDisplayTest : public TimelineHeadlessTest { };

TEST_F(TimeTextFieldDisplayTest, RedrawsOnlyWhenTheTextChanges)
{
    for (unsigned style : { 0u, 1u, 2u }) {
        auto field = std::make_shared<CountingTimeTextField>(HXMakeRect(0, 0, 60, 14), style);
        window->contentView()->addSubview(field);
        EXPECT_EQ(field->stringValue(), "00:00:00");
        EXPECT_FALSE(field->isEditable());
        window->display();
        field->draws = 0;
        field->setTime(MVMakeTime(90 * 600, 600));
        EXPECT_EQ(field->stringValue(), "00:01:30");
        EXPECT_EQ(field->draws, 1) << style;
        // Drawing leaves nothing to draw again (the bevel's colour is not a change of the field).
        EXPECT_FALSE(field->needsDisplay()) << style;
        window->displayIfNeeded();
        EXPECT_EQ(field->draws, 1) << style;
        field->setTime(MVMakeTime(90 * 600 + 599, 600));
        EXPECT_EQ(field->draws, 1) << style;
        field->setTime(MVMakeTime(91 * 600, 600));
        EXPECT_EQ(field->draws, 2) << style;
        field->removeFromSuperview();
    }
}

} // namespace
