// Printing against real peers: the page written for a view, as poppler's pdftoppm renders it, and the
// queues and papers of a print scheduler of the test's own (cupsd with cups-pdf queues) as the panels offer
// them.
#include "controls_fixture.h"

#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/button.h"
#include "platform/winkit/page_layout.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/print_operation.h"
#include "platform/winkit/print_panel.h"
#include "platform/winkit/text_field.h"
#include "print_scheduler.h"
#include "test_support.h"

#include <cairo.h>

using namespace movara::test;

namespace {

// Fills its bounds with one colour.
class FilledView : public HXView {
public:
    FilledView(HXRect frame, HXColor color, bool flipped = false)
        : HXView(frame)
        , _color(color)
        , _flipped(flipped)
    {
    }
    bool isFlipped() const override { return _flipped; }
    void drawRect(HXRect) override
    {
        _color.setFill();
        HXRectFill(bounds());
        // A flipped view marks its top edge: y grows downwards there.
        if (_flipped) {
            HXColor::blackColor().setFill();
            HXRectFill(HXMakeRect(0, 0, bounds().size.width, 10));
        }
        drawnToScreen = HXGraphicsContext::currentContext()->isDrawingToScreen();
    }
    bool drawnToScreen = true;

private:
    HXColor _color;
    bool _flipped;
};

// The page as pdftoppm renders it at 72 dots per inch (one pixel per point), or null.
struct Page {
    cairo_surface_t* surface = nullptr;
    ~Page()
    {
        if (surface)
            cairo_surface_destroy(surface);
    }
    int height() const { return cairo_image_surface_get_height(surface); }
    // The colour at a point of the page (origin at the bottom left) as 0xRRGGBB.
    uint32_t at(double x, double y) const
    {
        int px = int(x), py = height() - 1 - int(y);
        auto* row = cairo_image_surface_get_data(surface) + py * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const uint32_t*>(row)[px] & 0xFFFFFF;
    }
};

bool render(const std::filesystem::path& pdf, const TempDir& dir, Page& page)
{
    auto prefix = (dir / "page").string();
    if (runCommand({ "pdftoppm", "-png", "-r", "72", "-singlefile", pdf.string(), prefix }).status != 0)
        return false;
    page.surface = cairo_image_surface_create_from_png((prefix + ".png").c_str());
    return cairo_surface_status(page.surface) == CAIRO_STATUS_SUCCESS;
}

bool near(uint32_t a, uint32_t b)
{
    for (int shift : { 0, 8, 16 })
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 24)
            return false;
    return true;
}

} // namespace

TEST(PrintingPeer, ThePageShowsTheViewAndItsSubviewsWhereThePrintInfoPutsThem)
{
    if (!haveProgram("pdftoppm"))
        GTEST_SKIP() << "pdftoppm is not installed (scripts/setup installs poppler-utils)";
    TempDir dir;
    // Red left half, blue right half; a flipped green quarter at the top left whose top row is black.
    auto view = std::make_shared<FilledView>(HXMakeRect(0, 0, 200, 100), HXColor::redColor());
    auto right = std::make_shared<FilledView>(HXMakeRect(100, 0, 100, 100), HXColor::blueColor());
    auto corner = std::make_shared<FilledView>(HXMakeRect(0, 50, 100, 50), HXColor::greenColor(), true);
    view->addSubview(right);
    view->addSubview(corner);

    struct Case {
        const char* what;
        HXPaperOrientation orientation;
        double scale;
    };
    for (const Case& c : { Case { "portrait, 100 %", HXPortraitOrientation, 1.0 },
             Case { "landscape, 250 %", HXLandscapeOrientation, 2.5 } }) {
        HXPrintInfo info;
        info.setPaper(HXPrinter::standardPapers().at(4));
        info.setOrientation(c.orientation);
        info.setScalingFactor(c.scale);
        auto operation = HXPrintOperation::printOperationWithView(view, info);
        auto pdf = dir / "page.pdf";
        HXError error;
        ASSERT_TRUE(operation->writePage(pdf.string(), HXPrintDocumentFormat::PDF, &error))
            << error.localizedDescription();
        EXPECT_FALSE(view->drawnToScreen) << "drawing for paper is not drawing to the screen";
        Page page;
        ASSERT_TRUE(render(pdf, dir, page)) << c.what;
        EXPECT_NEAR(page.height(), info.paperSize().height, 1) << c.what;
        HXRect r = HXPrintOperation::pageRectForView(view->bounds().size, info);
        double k = r.size.width / 200;
        auto at = [&](double x, double y) { return page.at(r.origin.x + x * k, r.origin.y + y * k); };
        EXPECT_TRUE(near(at(50, 25), 0xFF0000)) << c.what << ": red at the bottom left, got " << std::hex << at(50, 25);
        EXPECT_TRUE(near(at(150, 50), 0x0000FF)) << c.what << ": blue on the right";
        EXPECT_TRUE(near(at(50, 70), 0x00FF00)) << c.what << ": the subview at the top left";
        EXPECT_TRUE(near(at(50, 97), 0x000000)) << c.what << ": its first rows at the top, as it is flipped";
        EXPECT_TRUE(near(page.at(r.origin.x - 5, HXMidY(r)), 0xFFFFFF)) << c.what << ": paper around it";
        EXPECT_TRUE(near(page.at(HXMidX(r), HXMaxY(r) + 5), 0xFFFFFF)) << c.what;
    }
}

TEST_F(ControlsTest, PrintPanelsOfferTheSchedulersQueuesAndTheirPapers)
{
    PrivatePrintScheduler scheduler;
    if (!scheduler.failure().empty())
        GTEST_SKIP() << "no print scheduler of our own: " << scheduler.failure();
    EnvironmentGuard environment;
    environment.set("CUPS_SERVER", scheduler.socketPath().string());
    environment.unset("PRINTER");
    environment.unset("LPDEST");
    std::string reason;
    ASSERT_TRUE(scheduler.addPDFQueue("Movara_PDF", reason)) << reason;
    ASSERT_TRUE(scheduler.addPDFQueue("Archive_PDF", reason)) << reason;

    EXPECT_EQ(HXPrinter::printerNames(), (std::vector<std::string> { "Archive_PDF", "Movara_PDF" }));
    auto papers = HXPrinter::papers("Movara_PDF");
    auto find = [&](const std::string& name) {
        return std::find_if(papers.begin(), papers.end(), [&](const HXPrinterPaper& p) { return p.name == name; });
    };
    ASSERT_NE(find("iso_a4_210x297mm"), papers.end());
    EXPECT_NEAR(find("iso_a4_210x297mm")->size.width, 595.3, 0.5);
    EXPECT_NEAR(find("iso_a4_210x297mm")->size.height, 841.9, 0.5);
    ASSERT_NE(find("na_letter_8.5x11in"), papers.end());
    EXPECT_TRUE(HXPrinter::papers("No_Such_Queue").empty());

    std::vector<std::string> complaints;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        complaints.push_back(alert.messageText());
        alert.buttons().front()->performClick();
    });
    HXPrintingPanel::setPanelDidAppearHandler([&](HXPrintingPanel& p) {
        auto& panel = static_cast<HXPrintPanel&>(p);
        EXPECT_EQ(panel.printerPopUp()->itemTitles(), (std::vector<std::string> { "Archive_PDF", "Movara_PDF" }));
        EXPECT_EQ(panel.printerPopUp()->titleOfSelectedItem(), "Movara_PDF") << "the print info's printer";
        EXPECT_TRUE(panel.okButton()->isEnabled());
        for (const char* bad : { "0", "1000", "2.5", "two" }) {
            panel.copiesField()->setStringValue(bad);
            panel.ok();
            EXPECT_TRUE(panel.isRunning()) << "\"" << bad << "\" copies keep the panel up";
        }
        panel.copiesField()->setStringValue("3");
        panel.printerPopUp()->selectItemWithTitle("Archive_PDF");
        panel.ok();
    });
    HXPrintInfo info;
    info.setPrinterName("Movara_PDF");
    auto panel = HXPrintPanel::printPanel();
    ASSERT_EQ(panel->runModalWithPrintInfo(info), HXModalResponseOK);
    EXPECT_EQ(complaints.size(), 4u);
    EXPECT_EQ(panel->printInfo().copies(), 3);
    EXPECT_EQ(panel->printInfo().printerName(), "Archive_PDF");

    // Page set-up laid out for a queue offers that queue's papers and keeps the paper across printers.
    HXPrintingPanel::setPanelDidAppearHandler([&](HXPrintingPanel& p) {
        auto& layout = static_cast<HXPageLayout&>(p);
        EXPECT_EQ(layout.printerPopUp()->itemTitles(),
            (std::vector<std::string> { "Any Printer", "Archive_PDF", "Movara_PDF" }));
        layout.printerPopUp()->selectItemWithTitle("Movara_PDF");
        layout.printerChosen();
        EXPECT_EQ(layout.papers().size(), papers.size());
        layout.paperPopUp()->selectItemAtIndex(long(find("na_letter_8.5x11in") - papers.begin()));
        layout.printerPopUp()->selectItemWithTitle("Any Printer");
        layout.printerChosen();
        EXPECT_EQ(layout.paperPopUp()->titleOfSelectedItem(), "US Letter");
        layout.printerPopUp()->selectItemWithTitle("Movara_PDF");
        layout.printerChosen();
        layout.ok();
    });
    auto layout = HXPageLayout::pageLayout();
    ASSERT_EQ(layout->runModalWithPrintInfo(HXPrintInfo()), HXModalResponseOK);
    EXPECT_EQ(layout->printInfo().printerName(), "Movara_PDF");
    EXPECT_EQ(layout->printInfo().paperName(), "na_letter_8.5x11in");
    HXPrintingPanel::setPanelDidAppearHandler(nullptr);
}
