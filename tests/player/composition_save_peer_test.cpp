// Saving a composition document: the movie it renders has the chosen length for ffprobe, and it opens
// as the movie document that replaces the composition.
#include "document/composition_document.h"
#include "player/window/composition_window_controller.h"
#include "tests/document/movie_document_test_support.h"

#include "platform/basekit/run_loop.h"
#include "test_support.h"

namespace movara::test::document {
namespace {

TEST_F(DocumentTest, SavedCompositionMovieHasTheChosenDuration)
{
    if (!haveProgram("ffprobe"))
        GTEST_SKIP() << "ffprobe is missing";
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
    TempDir dir;
    writeFile(dir / "sweep.vcomp", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>size</key><array><integer>80</integer><integer>60</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>gradient</string><key>colors</key><array>
      <array><real>1</real><real>0</real><real>0</real></array><array><real>0</real><real>0</real><real>1</real></array></array></dict>
    <dict><key>type</key><string>text</string><key>text</key><string>Movara</string>
      <key>color</key><array><real>1</real><real>1</real><real>1</real></array><key>fontSize</key><integer>12</integer>
      <key>animations</key><array><dict><key>property</key><string>x</string><key>from</key><integer>0</integer>
        <key>to</key><integer>40</integer><key>duration</key><integer>3</integer></dict></array></dict>
  </array>
</dict></plist>)");
    HXError error;
    auto doc
        = std::dynamic_pointer_cast<MVPVitrelCompDocument>(MVPVitrelCompDocument::documentWithContentsOfFile(
            (dir / "sweep.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
    ASSERT_TRUE(doc) << error.localizedDescription();
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    auto controller = std::dynamic_pointer_cast<MVPVitrelCompController>(doc->vitrelController());
    ASSERT_TRUE(controller);
    controller->setSaveDuration(3);
    std::string path = (dir / "sweep.mov").string();
    ASSERT_TRUE(doc->saveToURL(HXURL::fileURLWithPath(path), &error)) << error.localizedDescription();
    auto movieDoc = doc->savedMovieDocument();
    ASSERT_TRUE(movieDoc);

    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries",
        "format=duration:stream=codec_type,width,height", "-of", "default=noprint_wrappers=1", path });
    ASSERT_EQ(probe.status, 0) << probe.output;
    auto at = probe.output.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe.output;
    EXPECT_NEAR(std::stod(probe.output.substr(at + 9)), 3.0, 0.01);
    // The movie has the size of the composition view.
    HXSize natural = std::static_pointer_cast<MVPMovieDocument>(movieDoc)->naturalSize();
    EXPECT_NE(probe.output.find("width=" + std::to_string(int(natural.width))), std::string::npos)
        << probe.output;
    movieDoc->close();
    HXRunLoop::main().setClock(nullptr);
}

} // namespace
} // namespace movara::test::document
