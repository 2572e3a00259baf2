// Printing without a printer: where a view lands on the page, the numbers the panels take, the page set-up
// panel writing its choices back, and the print panel when the scheduler has no queue (or is not there).
#include "controls_fixture.h"

#include "platform/winkit/button.h"
#include "platform/winkit/page_layout.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/print_operation.h"
#include "platform/winkit/print_panel.h"
#include "platform/winkit/text_field.h"
#include "test_support.h"

#include <cmath>

using movara::test::EnvironmentGuard;
using movara::test::TempDir;

namespace {

HXPrinterPaper a4()
{
    return HXPrinter::standardPapers().at(4);
}

HXPrintInfo infoOn(const HXPrinterPaper& paper, HXPaperOrientation orientation, double scale)
{
    HXPrintInfo info;
    info.setPaper(paper);
    info.setOrientation(orientation);
    info.setScalingFactor(scale);
    return info;
}

} // namespace

class PrintingTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        // A scheduler address where nothing listens: there are no printers.
        environment.set("CUPS_SERVER", (dir / "no-scheduler.sock").string());
        environment.unset("PRINTER");
        environment.unset("LPDEST");
    }
    void TearDown() override
    {
        HXPrintingPanel::setPanelDidAppearHandler(nullptr);
        ControlsTest::TearDown();
    }

    TempDir dir;
    EnvironmentGuard environment;
};

TEST(PrintLayout, AViewLandsOnThePageByScaleMarginsAndCentring)
{
    struct Case {
        const char* what;
        HXSize view;
        HXPaperOrientation orientation;
        double scale;
        bool centred;
        HXRect expected; // on the A4 page (595 x 842), 36-point margins
    };
    const Case cases[] = {
        { "fits: its own size, centred", { 200, 100 }, HXPortraitOrientation, 1.0, true,
            { { 197.5, 371 }, { 200, 100 } } },
        { "scaled by the print info", { 200, 100 }, HXPortraitOrientation, 0.5, true,
            { { 247.5, 396 }, { 100, 50 } } },
        { "too wide: shrunk to the margins, proportions kept", { 1046, 523 }, HXPortraitOrientation, 1.0, true,
            { { 36, 290.25 }, { 523, 261.5 } } },
        { "landscape page is wider than high", { 1540, 770 }, HXLandscapeOrientation, 1.0, true,
            { { 36, 105 }, { 770, 385 } } },
        { "not centred: at the top left of the margins", { 200, 100 }, HXPortraitOrientation, 1.0, false,
            { { 36, 706 }, { 200, 100 } } },
    };
    for (const auto& c : cases) {
        HXPrintInfo info = infoOn(a4(), c.orientation, c.scale);
        info.setHorizontallyCentered(c.centred);
        info.setVerticallyCentered(c.centred);
        HXRect r = HXPrintOperation::pageRectForView(c.view, info);
        EXPECT_NEAR(r.origin.x, c.expected.origin.x, 0.01) << c.what;
        EXPECT_NEAR(r.origin.y, c.expected.origin.y, 0.01) << c.what;
        EXPECT_NEAR(r.size.width, c.expected.size.width, 0.01) << c.what;
        EXPECT_NEAR(r.size.height, c.expected.size.height, 0.01) << c.what;
    }
    EXPECT_EQ(HXPrintOperation::pageRectForView({ 0, 0 }, infoOn(a4(), HXPortraitOrientation, 1)).size, (HXSize { 0, 0 }))
        << "an empty view puts nothing on the page";
}

TEST(PrintLayout, MarginsAreNeverSmallerThanWhatThePaperCannotTake)
{
    HXPrinterPaper paper = a4();
    paper.topMargin = 50;
    HXPrintInfo info;
    info.setMargins(10, 10, 10, 10);
    info.setPaper(paper);
    EXPECT_EQ(info.leftMargin(), 50) << "the widest margin of the paper, whichever way it lies";
    info.setMargins(72, 60, std::nan(""), 80);
    EXPECT_EQ(info.leftMargin(), 72);
    EXPECT_EQ(info.rightMargin(), 60);
    EXPECT_EQ(info.topMargin(), 50) << "a margin that is not a number is the least one";
    EXPECT_EQ(info.imageablePageBounds(), HXMakeRect(72, 80, 595 - 72 - 60, 842 - 50 - 80));
}

TEST(PrintLayout, TypedNumbers)
{
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        { "100", 100.0 }, { " 75.5 ", 75.5 }, { "50%", 50.0 }, { "50 %", 50.0 }, { ".5", 0.5 },
        { "", std::nullopt }, { "  ", std::nullopt }, { "abc", std::nullopt }, { "-3", std::nullopt },
        { "12abc", std::nullopt }, { "5 % %", std::nullopt }, { "1e999", std::nullopt }, { "nan", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HXParseTypedNumber(c.text), c.value) << "\"" << c.text << "\"";
}

TEST_F(PrintingTest, WithoutASchedulerThePrintPanelOffersNoPrinterAndCannotBeConfirmed)
{
    bool appeared = false;
    HXPrintingPanel::setPanelDidAppearHandler([&](HXPrintingPanel& p) {
        appeared = true;
        auto& panel = static_cast<HXPrintPanel&>(p);
        EXPECT_EQ(panel.printerPopUp()->itemTitles(), std::vector<std::string> { "No Printers" });
        EXPECT_FALSE(panel.printerPopUp()->isEnabled());
        EXPECT_FALSE(panel.okButton()->isEnabled());
        EXPECT_EQ(panel.summaryField()->stringValue(), "A4, portrait, 100 %");
        HXHeadlessWindowServer::postKey(std::static_pointer_cast<HXWindow>(p.shared_from_this()), "\x1b");
    });
    auto panel = HXPrintPanel::printPanel();
    EXPECT_EQ(panel->runModalWithPrintInfo(infoOn(a4(), HXPortraitOrientation, 1)), HXModalResponseCancel);
    EXPECT_TRUE(appeared);

    // Printing straight away has nowhere to go either, and says so.
    auto view = std::make_shared<HXView>(HXMakeRect(0, 0, 100, 100));
    auto operation = HXPrintOperation::printOperationWithView(view, infoOn(a4(), HXPortraitOrientation, 1));
    operation->setShowsPrintPanel(false);
    EXPECT_FALSE(operation->runOperation());
    EXPECT_EQ(operation->error().domain(), HXPrintErrorDomain);
    EXPECT_NE(operation->error().localizedDescription().find("No printer"), std::string::npos);
}

TEST_F(PrintingTest, PageSetupTakesPaperOrientationAndScaleAndRefusesABadScale)
{
    std::vector<std::string> complaints;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        complaints.push_back(alert.messageText());
        alert.buttons().front()->performClick();
    });
    HXPrintingPanel::setPanelDidAppearHandler([&](HXPrintingPanel& p) {
        auto& panel = static_cast<HXPageLayout&>(p);
        EXPECT_EQ(panel.printerPopUp()->itemTitles(), std::vector<std::string> { "Any Printer" });
        EXPECT_EQ(panel.papers().size(), HXPrinter::standardPapers().size()) << "without printers, the standard list";
        EXPECT_EQ(panel.paperPopUp()->titleOfSelectedItem(), "A4");
        EXPECT_EQ(panel.scaleField()->stringValue(), "100");
        panel.paperPopUp()->selectItemWithTitle("US Letter");
        panel.orientationPopUp()->selectItemWithTitle("Landscape");
        for (const char* bad : { "0", "1001", "half", "" }) {
            panel.scaleField()->setStringValue(bad);
            panel.ok();
            EXPECT_TRUE(panel.isRunning()) << "\"" << bad << "\" keeps the panel up";
        }
        panel.scaleField()->setStringValue("80 %");
        panel.ok();
    });
    auto panel = HXPageLayout::pageLayout();
    ASSERT_EQ(panel->runModalWithPrintInfo(infoOn(a4(), HXPortraitOrientation, 1)), HXModalResponseOK);
    EXPECT_EQ(complaints.size(), 4u);
    EXPECT_EQ(complaints.front(), "The scale must be a number from 1 to 1000 percent.");
    const HXPrintInfo& chosen = panel->printInfo();
    EXPECT_EQ(chosen.paperName(), "na_letter_8.5x11in");
    EXPECT_EQ(chosen.orientation(), HXLandscapeOrientation);
    EXPECT_EQ(chosen.paperSize(), (HXSize { 792, 612 }));
    EXPECT_DOUBLE_EQ(chosen.scalingFactor(), 0.8);
    EXPECT_EQ(chosen.printerName(), "");
}

TEST_F(PrintingTest, PageSetupAsASheetLeavesThePrintInfoAloneWhenCancelled)
{
    auto panel = HXPageLayout::pageLayout();
    HXPrintInfo before = infoOn(a4(), HXPortraitOrientation, 1);
    long answer = -1;
    panel->beginSheetWithPrintInfo(before, window, [&](long code) { answer = code; });
    ASSERT_EQ(window->attachedSheet(), panel);
    panel->orientationPopUp()->selectItemWithTitle("Landscape");
    panel->cancel();
    EXPECT_EQ(answer, HXModalResponseCancel);
    EXPECT_EQ(window->attachedSheet(), nullptr);
}

TEST_F(PrintingTest, NobodyThereToAnswerCancelsThePanels)
{
    std::vector<std::string> noted;
    HXUnattendedAlerts unattended([&](const std::string& message, const std::string& answer) {
        noted.push_back(message + ": " + answer);
    });
    EXPECT_EQ(HXPrintPanel::printPanel()->runModalWithPrintInfo(HXPrintInfo()), HXModalResponseCancel);
    EXPECT_EQ(HXPageLayout::pageLayout()->runModalWithPrintInfo(HXPrintInfo()), HXModalResponseCancel);
    EXPECT_EQ(noted, (std::vector<std::string> { "Print: Cancel", "Page Setup: Cancel" }));
}
