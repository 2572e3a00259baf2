// Printing a movie document to a real print queue: a scheduler of the test's own (cupsd, started and ended
// here) with a cups-pdf queue. File > Print… shows the print panel as a sheet; Print sends the frame the
// window shows; the PDF the queue writes, rendered by poppler's pdftoppm, shows that frame as ffmpeg
// decodes it. A queue that refuses the job ends in an alert, not in silence.
#include "movie_document_test_support.h"

#include "platform/mvkit/movie_view.h"
#include "platform/winkit/button.h"
#include "platform/winkit/print_operation.h"
#include "platform/winkit/print_panel.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"
#include "png_image.h"
#include "print_scheduler.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"


using namespace movara::test;
using namespace movara::test::document;

namespace {

std::shared_ptr<MVMovieView> findMovieView(const std::shared_ptr<HXView>& root)
{
    if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(root))
        return movieView;
    for (const auto& subview : root ? root->subviews() : std::vector<std::shared_ptr<HXView>> {})
        if (auto movieView = findMovieView(subview))
            return movieView;
    return nullptr;
}

class PrintingPeerTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        if (!haveProgram("ffmpeg") || !haveProgram("pdftoppm"))
            GTEST_SKIP() << "ffmpeg and pdftoppm (poppler-utils) are needed";
        scheduler = std::make_unique<PrivatePrintScheduler>();
        if (!scheduler->failure().empty())
            GTEST_SKIP() << "no print scheduler of our own: " << scheduler->failure();
        environment.set("CUPS_SERVER", scheduler->socketPath().string());
        environment.unset("PRINTER");
        environment.unset("LPDEST");
        std::string reason;
        ASSERT_TRUE(scheduler->addPDFQueue("Movara_PDF", reason)) << reason;
        HXAlert::setAlertDidAppearHandler([this](HXAlert& alert) {
            alerts.push_back(alert.messageText() + " " + alert.informativeText());
            alert.buttons().front()->performClick();
        });
    }
    void TearDown() override
    {
        HXPrintingPanel::setPanelDidAppearHandler(nullptr);
        if (doc)
            doc->close();
        doc.reset();
        DocumentTest::TearDown();
        scheduler.reset();
    }

    std::unique_ptr<PrivatePrintScheduler> scheduler;
    EnvironmentGuard environment;
    TempDir dir;
    std::shared_ptr<MVPMovieDocument> doc;
    std::vector<std::string> alerts;
};

} // namespace

TEST_F(PrintingPeerTest, PrintSendsTheFrameTheWindowShowsToTheQueue)
{
    MOVARA_REQUIRE_FIXTURE(moviePath, MovieFixture::MjpegPcmMov); // testsrc, 160 x 120
    HXError error;
    auto movie = MVMovie::movieWithFile(moviePath.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->makeWindowControllers();
    doc->showWindows();
    auto window = doc->movieWindow();
    ASSERT_TRUE(window);
    window->makeKeyAndOrderFront();
    auto view = findMovieView(window->contentView());
    ASSERT_TRUE(view);
    // One second in: frame 10 of the fixture.
    movie->setCurrentTime(MVMakeTime(movie->timeScale(), movie->timeScale()));
    ASSERT_TRUE(runUntil([&] { return view->currentFrameImage() != nullptr; }, 10));
    auto expected = dir / "frame.png";
    ASSERT_EQ(runCommand({ "ffmpeg", "-loglevel", "error", "-y", "-i", moviePath.string(), "-vf", "select=eq(n\\,10)",
                  "-frames:v", "1", expected.string() })
                  .status,
        0);

    doc->printInfo().setPrinterName("Movara_PDF");
    bool panelShown = false;
    HXPrintingPanel::setPanelDidAppearHandler([&](HXPrintingPanel& p) {
        auto& panel = static_cast<HXPrintPanel&>(p);
        panelShown = true;
        EXPECT_TRUE(panel.isSheet()) << "run modally for the document: a sheet on its window";
        EXPECT_EQ(panel.printInfo().printerName(), "Movara_PDF");
        panel.copiesField()->setStringValue("1");
        panel.ok();
    });
    // File > Print…, as the menu sends it: to the first responder of the key window.
    ASSERT_TRUE(app->sendAction("printDocument:", nullptr, nullptr));
    ASSERT_TRUE(runUntil([&] { return panelShown && !window->attachedSheet(); }, 10));
    EXPECT_TRUE(alerts.empty()) << alerts.front();

    auto pdf = scheduler->waitForPDF(90);
    ASSERT_FALSE(pdf.empty()) << "the queue wrote nothing: " << scheduler->errorLog();
    auto rendered = dir / "page";
    ASSERT_EQ(runCommand({ "pdftoppm", "-png", "-r", "72", "-singlefile", pdf.string(), rendered.string() }).status, 0);
    // Kept in the tests' build folder to look at.
    std::filesystem::copy_file(rendered.string() + ".png",
        std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "printed_frame_page.png",
        std::filesystem::copy_options::overwrite_existing);
    PNGImage page(rendered.string() + ".png"), frame(expected);
    ASSERT_TRUE(page.ok() && frame.ok());
    const HXPrintInfo& info = doc->printInfo();
    EXPECT_NEAR(page.width(), info.paperSize().width, 1.5);
    EXPECT_NEAR(page.height(), info.paperSize().height, 1.5);

    // Where the movie lies on the page: the view as the print info places it, the movie inside the view.
    HXRect placed = HXPrintOperation::pageRectForView(view->bounds().size, info);
    double k = placed.size.width / view->bounds().size.width;
    HXRect m = view->movieBounds();
    double left = placed.origin.x + (m.origin.x - view->bounds().origin.x) * k;
    double top = page.height() - (placed.origin.y + (HXMaxY(m) - view->bounds().origin.y) * k);
    double width = m.size.width * k, height = m.size.height * k;
    ASSERT_GT(width, 100);
    // Compared block by block (8 x 6): the page shows the frame, scaled, not some other picture.
    const int columns = 8, rows = 6;
    int matching = matchingBlocks(frame, page, { left, top, width, height }, columns, rows, 40);
    EXPECT_GE(matching, columns * rows - 2) << "blocks of the page that match the frame";
    // Outside the picture the paper stays white.
    auto margin = page.mean({ 5, 5, 20, 20 });
    EXPECT_GT(margin[0] + margin[1] + margin[2], 3 * 240);
}

TEST_F(PrintingPeerTest, AJobTheQueueRefusesEndsInAnAlert)
{
    std::string reason;
    ASSERT_EQ(runCommand({ "cupsdisable", "-h", scheduler->socketPath().string(), "Movara_PDF" }).status, 0);
    ASSERT_EQ(runCommand({ "cupsreject", "-h", scheduler->socketPath().string(), "Movara_PDF" }).status, 0);
    auto movie = MVMovie::movie();
    movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->makeWindowControllers();
    doc->showWindows();
    doc->printInfo().setPrinterName("Movara_PDF");
    doc->printShowingPrintPanel(false);
    ASSERT_TRUE(runUntil([&] { return !alerts.empty(); }, 10));
    EXPECT_NE(alerts.front().find("refused"), std::string::npos) << alerts.front();
    EXPECT_TRUE(scheduler->waitForPDF(1).empty());
}
