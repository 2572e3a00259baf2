// Closing a window whose sheet is still up ends the sheet first, with the abort answer.
#include "winkit_fixture.h"

class SheetCloseTest : public WinkitTest {};

TEST_F(SheetCloseTest, ClosingTheParentEndsItsOnlyReferencedSheet)
{
    auto parent = makeWindow(HXMakeRect(100, 100, 400, 300));
    parent->makeKeyAndOrderFront();
    long answer = 0;
    int calls = 0;
    {
        // The parent holds the only reference to the sheet.
        auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 200, 100), HXTitledWindowMask);
        parent->beginSheet(sheet, [&](long code) {
            answer = code;
            ++calls;
        });
    }
    ASSERT_NE(parent->attachedSheet(), nullptr);
    parent->close();
    EXPECT_EQ(parent->attachedSheet(), nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(answer, HXModalResponseAbort);
}
