// Save and open panels on real folders, answered the way a person would (or injected).
#include "controls_fixture.h"

#include "platform/basekit/user_defaults.h"
#include "platform/winkit/button.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/text_field.h"
#include "test_support.h"

#include <filesystem>

using movara::test::EnvironmentGuard;
using movara::test::readFile;
using movara::test::TempDir;
using movara::test::writeFile;

namespace {
class Vetting : public HXSavePanelDelegate {
public:
    std::vector<std::string> asked;
    bool accept = true;
    bool isValidFilename(HXSavePanel&, const std::string& path) override
    {
        asked.push_back(path);
        return accept;
    }
};
}  // namespace

class SavePanelTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        folder = std::filesystem::canonical(dir.path()).string();
        std::filesystem::create_directory(dir / "Movies");
        writeFile((dir / "a.mov").string(), "movie");
        writeFile((dir / "b.txt").string(), "text");
        writeFile((dir / ".hidden").string(), "");
    }
    void TearDown() override
    {
        HXSavePanel::setPanelDidAppearHandler(nullptr);
        ControlsTest::TearDown();
    }
    // Types into the panel's focused control and presses a key at the end.
    static void typeInto(HXSavePanel& panel, const std::string& text, const std::string& last)
    {
        auto window = std::static_pointer_cast<HXWindow>(panel.shared_from_this());
        for (char c : text)
            HXHeadlessWindowServer::postKey(window, std::string(1, c));
        HXHeadlessWindowServer::postKey(window, last);
    }

    TempDir dir;
    std::string folder;
};

TEST_F(SavePanelTest, TypedNameGetsTheRequiredTypeAndTheFolderIsRemembered)
{
    auto panel = HXSavePanel::savePanel();
    ASSERT_TRUE(panel->setDirectory(folder));
    panel->setRequiredFileType("mov");
    panel->setNameFieldStringValue("untitled");
    HXSavePanel::setPanelDidAppearHandler([](HXSavePanel& p) {
        EXPECT_TRUE(p.isVisible());
        EXPECT_EQ(p.firstResponder(), p.nameField()) << "the name field has the focus, its text selected";
        typeInto(p, "Holiday", "\r");
    });
    EXPECT_EQ(panel->runModal(), HXModalResponseOK);
    EXPECT_EQ(panel->filename(), folder + "/Holiday.mov");
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(HXUserDefaults::standardUserDefaults().objectForKey(HXNavLastRootDirectoryKey).stringValue(), folder);
    EXPECT_EQ(HXSavePanel::savePanel()->directory(), folder);
}

TEST_F(SavePanelTest, EscapeCancelsAndBadNamesKeepThePanelOpen)
{
    auto panel = HXSavePanel::savePanel();
    panel->setDirectory(folder);
    auto vetting = std::make_shared<Vetting>();
    panel->setPanelDelegate(vetting);
    int step = 0;
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
        // Each refusal leaves the panel running; Escape ends it.
        for (const char* name : { "", "   ", "a/b", "Movies" }) {
            p.setNameFieldStringValue(name);
            p.ok();
            EXPECT_TRUE(p.isRunning()) << "'" << name << "'";
        }
        vetting->accept = false;
        p.setNameFieldStringValue("refused");
        p.ok();
        EXPECT_TRUE(p.isRunning());
        step = 1;
        HXHeadlessWindowServer::postKey(std::static_pointer_cast<HXWindow>(p.shared_from_this()), "\x1b");
    });
    HXUserDefaults::standardUserDefaults().setObject(HXPropertyList("/"), HXNavLastRootDirectoryKey);
    EXPECT_EQ(panel->runModal(), HXModalResponseCancel);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(panel->filename(), "");
    EXPECT_EQ(vetting->asked, (std::vector<std::string> { folder + "/refused" }));
    EXPECT_EQ(HXUserDefaults::standardUserDefaults().objectForKey(HXNavLastRootDirectoryKey).stringValue(), "/")
        << "a cancelled panel leaves the remembered folder alone";
}

TEST_F(SavePanelTest, ATypedPathChoosesItsFolder)
{
    std::filesystem::create_directories(dir / "Movies/Old");
    EnvironmentGuard env;
    env.set("HOME", folder + "/Movies");
    const struct {
        const char* typed;
        bool saved; // else the panel stays open
        std::string filename; // when saved
        std::string directory; // the panel's folder afterwards
    } cases[] = {
        { "Movies/Old/clip", true, folder + "/Movies/Old/clip.mov", folder + "/Movies/Old" },
        { "@/Movies/clip.mov", true, folder + "/Movies/clip.mov", folder + "/Movies" },
        { "~/Old/clip", true, folder + "/Movies/Old/clip.mov", folder + "/Movies/Old" },
        { "Movies/", false, {}, folder + "/Movies" },
        { "Missing/clip", false, {}, folder },
        { "@/a.mov/clip", false, {}, folder },
    };
    for (const auto& c : cases) {
        std::string typed = c.typed;
        if (typed[0] == '@')
            typed = folder + typed.substr(1);
        SCOPED_TRACE(typed);
        auto panel = HXSavePanel::savePanel();
        ASSERT_TRUE(panel->setDirectory(folder));
        panel->setRequiredFileType("mov");
        bool stillRunning = false;
        HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
            p.setNameFieldStringValue(typed);
            p.ok();
            stillRunning = p.isRunning();
            if (stillRunning)
                p.cancel();
        });
        long answer = panel->runModal();
        EXPECT_EQ(answer, c.saved ? HXModalResponseOK : HXModalResponseCancel);
        EXPECT_EQ(stillRunning, !c.saved);
        EXPECT_EQ(panel->filename(), c.saved ? c.filename : "");
        EXPECT_EQ(panel->directory(), c.directory);
    }
}

TEST_F(SavePanelTest, ReplacingAFileIsAskedFirst)
{
    auto panel = HXSavePanel::savePanel();
    panel->setDirectory(folder);
    panel->setAllowedFileTypes({ "mov", "m4v" });
    std::vector<long> answers { HXAlertSecondButtonReturn, HXAlertFirstButtonReturn };  // Cancel, then Replace
    size_t asked = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        EXPECT_NE(alert.messageText().find("a.mov"), std::string::npos);
        alert.buttons().at(size_t(answers.at(asked++) - HXAlertFirstButtonReturn))->performClick();
    });
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
        p.setNameFieldStringValue("a");  // becomes a.mov, which is there
        p.ok();
        EXPECT_TRUE(p.isRunning());
        p.ok();
    });
    EXPECT_EQ(panel->runModal(), HXModalResponseOK);
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(panel->filename(), folder + "/a.mov");
    EXPECT_EQ(readFile((dir / "a.mov").string()), "movie") << "the panel only answers; it writes nothing";
}

TEST_F(SavePanelTest, BrowsingRealFolders)
{
    auto panel = HXSavePanel::savePanel();
    ASSERT_TRUE(panel->setDirectory(folder));
    EXPECT_EQ(panel->listedNames(), (std::vector<std::string> { "Movies", "a.mov", "b.txt" }));
    EXPECT_TRUE(panel->isListedNameEnabled(0));
    EXPECT_FALSE(panel->isListedNameEnabled(1)) << "files are shown but not chosen when saving";
    EXPECT_FALSE(panel->setDirectory(folder + "/nothing"));
    EXPECT_FALSE(panel->setDirectory(folder + "/a.mov"));
    EXPECT_EQ(panel->directory(), folder);
    // A double click enters a folder; the path pop-up goes back up.
    auto list = panel->fileList();
    panel->makeKeyAndOrderFront();
    HXRect row = list->frameOfCellAtColumn(0, 0);
    HXPoint p = list->convertPointToView({ HXMidX(row), HXMidY(row) }, nullptr);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, panel, p, 0, 1);
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, panel, p, 0, 1);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, panel, p, 0, 2);
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, panel, p, 0, 2);
    app->processPendingEvents();
    EXPECT_EQ(panel->directory(), folder + "/Movies");
    EXPECT_TRUE(panel->listedNames().empty());
    // New folders never replace what is there.
    EXPECT_TRUE(panel->newFolder("untitled folder"));
    EXPECT_EQ(panel->directory(), folder + "/Movies/untitled folder");
    panel->setDirectory(folder + "/Movies");
    EXPECT_TRUE(panel->newFolder("untitled folder"));
    EXPECT_EQ(panel->directory(), folder + "/Movies/untitled folder 2");
    EXPECT_FALSE(panel->newFolder("a/b"));
    panel->setShowsHiddenFiles(true);
    panel->setDirectory(folder);
    EXPECT_EQ(panel->listedNames().size(), 4u);
}

TEST_F(SavePanelTest, AccessoryViewAndSheet)
{
    auto panel = HXSavePanel::savePanel();
    panel->setDirectory(folder);
    auto accessory = std::make_shared<HXView>(HXMakeRect(0, 0, 300, 40));
    auto option = std::make_shared<HXButton>(HXMakeRect(0, 10, 200, 20), "Self-contained");
    option->setButtonType(HXSwitchButton);
    accessory->addSubview(option);
    panel->setAccessoryView(accessory);
    EXPECT_EQ(accessory->window(), panel);
    HXRect acc = accessory->convertRectToView(accessory->bounds(), nullptr);
    auto scroll = panel->fileList()->superview()->superview();
    HXRect listRect = scroll->convertRectToView(scroll->bounds(), nullptr);
    EXPECT_GE(listRect.origin.y, HXMaxY(acc)) << "the list makes room for the accessory view";
    HXRect ok = panel->okButton()->convertRectToView(panel->okButton()->bounds(), nullptr);
    EXPECT_GE(acc.origin.y, HXMaxY(ok));
    EXPECT_TRUE(HXAccessibility::attributeValue(*option, HXAccessibilityWindowAttribute).element() == panel);

    long answer = -1;
    HXSavePanel::setPanelDidAppearHandler([](HXSavePanel& p) {
        p.setNameFieldStringValue("Export");
        p.okButton()->performClick();
    });
    panel->beginSheetModalForWindow(window, [&](long code) { answer = code; });
    EXPECT_EQ(window->attachedSheet(), panel);
    HXRunLoop::main().runUntilDate(HXRunLoop::main().now());
    EXPECT_EQ(answer, HXModalResponseOK);
    EXPECT_EQ(panel->filename(), folder + "/Export");
    EXPECT_EQ(window->attachedSheet(), nullptr);
}

TEST_F(SavePanelTest, OpenPanelListsWhatCanBeOpenedAndAnswersTheChoice)
{
    std::filesystem::create_directory(dir / "Movies" / "Inner");
    writeFile((dir / "c.MOV").string(), "movie");
    auto panel = HXOpenPanel::openPanel();
    panel->setDirectory(folder);
    panel->setAllowedFileTypes({ "mov" });
    EXPECT_EQ(panel->listedNames(), (std::vector<std::string> { "Movies", "a.mov", "c.MOV" }));
    EXPECT_TRUE(panel->nameField()->isHidden());
    HXOpenPanel* seen = nullptr;
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
        auto& open = static_cast<HXOpenPanel&>(p);
        seen = &open;
        open.selectListedNames({ "Movies" });
        open.ok();  // a folder that cannot be chosen is entered
        EXPECT_EQ(open.directory(), folder + "/Movies");
        open.setDirectory(folder);
        open.selectListedNames({ "a.mov", "c.MOV" });
        open.ok();
    });
    panel->setAllowsMultipleSelection(true);
    EXPECT_EQ(panel->runModal(), HXModalResponseOK);
    EXPECT_EQ(seen, panel.get());
    EXPECT_EQ(panel->filenames(), (std::vector<std::string> { folder + "/a.mov", folder + "/c.MOV" }));

    // Folders only: nothing selected chooses the folder shown.
    panel->setCanChooseFiles(false);
    panel->setCanChooseDirectories(true);
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
        static_cast<HXOpenPanel&>(p).setDirectory(folder + "/Movies");
        p.ok();
    });
    EXPECT_EQ(panel->runModal(), HXModalResponseOK);
    EXPECT_EQ(panel->filenames(), (std::vector<std::string> { folder + "/Movies" }));
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) { p.cancel(); });
    EXPECT_EQ(panel->runModal(), HXModalResponseCancel);
    EXPECT_TRUE(panel->filenames().empty());
}
