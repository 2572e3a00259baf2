// Documents: opening by type, untitled names, window controllers and titles, and closing with the
// can-close continuation (the save question is a sheet answered like a person would).
#include "winkit_fixture.h"

#include "platform/winkit/interface_loading.h"
#include "platform/winkit/window_controller.h"
#include "test_support.h"

namespace {

class TextDocument : public HXDocument {
public:
    std::string text;
    bool failWrites = false;
    int writes = 0;

    std::string windowNibName() const override { return "TextDocumentWindow"; }

    bool readFromURL(const HXURL& url, const std::string&, HXError* error) override
    {
        std::error_code ec;
        if (!std::filesystem::exists(url.path(), ec)) {
            if (error)
                *error = HXError::withDescription(HXPOSIXErrorDomain, 2, "No such file");
            return false;
        }
        text = movara::test::readFile(url.path());
        return true;
    }

    bool writeToURL(const HXURL& url, const std::string&, HXError* error) override
    {
        ++writes;
        if (failWrites) {
            if (error)
                *error = HXError::withDescription(HXPOSIXErrorDomain, 28, "The disk is full.");
            return false;
        }
        movara::test::writeFile(url.path(), text);
        return true;
    }
};

class QuitDelegate : public HXApplicationDelegate {
public:
    int willTerminate = 0;
    void applicationWillTerminate(HXApplication&) override { ++willTerminate; }
};

// Clicks the button titled `title` of the alert on screen when it appears.
void answerAlertsWith(std::vector<std::string> titles)
{
    auto queue = std::make_shared<std::vector<std::string>>(std::move(titles));
    HXAlert::setAlertDidAppearHandler([queue](HXAlert& alert) {
        ASSERT_FALSE(queue->empty()) << "unexpected alert: " << alert.messageText();
        std::string title = queue->front();
        queue->erase(queue->begin());
        for (auto& button : alert.buttons()) {
            if (button->title() == title) {
                HXRect r = button->convertRectToView(button->bounds(), nullptr);
                HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
                return;
            }
        }
        ADD_FAILURE() << "no button " << title;
    });
}

} // namespace

class DocumentTest : public WinkitTest {
protected:
    void SetUp() override
    {
        WinkitTest::SetUp();
        controller = HXDocumentController::sharedDocumentController();
        controller->registerDocumentType(
            { "Text", { "TXT", "text" }, "Editor", [] { return std::make_shared<TextDocument>(); } });
        controller->registerDocumentType({ "Picture", { "png" }, "Viewer", nullptr });
        HXInterfaceLoader::registerInterface("TextDocumentWindow", [](const std::shared_ptr<HXObject>&) {
            auto w = std::make_shared<HXWindow>(HXMakeRect(0, 0, 300, 200),
                HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask);
            return std::vector<std::shared_ptr<HXObject>> { w };
        });
    }

    void TearDown() override
    {
        HXInterfaceLoader::unregisterInterface("TextDocumentWindow");
        WinkitTest::TearDown();
    }

    std::shared_ptr<TextDocument> open(const std::string& name, const std::string& text)
    {
        movara::test::writeFile(dir / name, text);
        HXError error;
        auto doc
            = controller->openDocumentWithContentsOfURL(HXURL::fileURLWithPath(dir / name), true, &error);
        EXPECT_TRUE(doc) << error.localizedDescription();
        return std::dynamic_pointer_cast<TextDocument>(doc);
    }

    // Lets queued work run (alerts appearing) and handles the events it posted.
    void settle()
    {
        for (int i = 0; i < 5; ++i) {
            HXRunLoop::main().runMode(HXDefaultRunLoopMode, clock->now());
            app->processPendingEvents();
        }
    }

    movara::test::TempDir dir;
    std::shared_ptr<HXDocumentController> controller;
};

TEST_F(DocumentTest, OpeningMakesADocumentOfTheTypeWithAWindowTitledAfterTheFile)
{
    auto doc = open("notes.txt", "hello");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->text, "hello");
    EXPECT_EQ(doc->fileType(), "Text");
    EXPECT_EQ(doc->displayName(), "notes.txt");
    ASSERT_EQ(doc->windowControllers().size(), 1u);
    auto window = doc->windowForSheet();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->title(), "notes.txt");
    EXPECT_TRUE(window->styleMask() & HXMenuBarWindowMask) << "document windows show the menu bar";
    // A panel of the document (a sheet on its window) shows none.
    auto sheetController = std::make_shared<HXWindowController>(
        std::make_shared<HXPanel>(HXMakeRect(0, 0, 200, 80), HXTitledWindowMask));
    doc->addWindowController(sheetController);
    EXPECT_FALSE(sheetController->window()->styleMask() & HXMenuBarWindowMask);
    EXPECT_FALSE(sheetController->window()->menuBarView());
    doc->removeWindowController(sheetController);
    EXPECT_EQ(controller->currentDocument(), doc);
    EXPECT_EQ(controller->recentDocumentURLs().front(), HXURL::fileURLWithPath(dir / "notes.txt"));
    // The same file again gives the same document.
    EXPECT_EQ(open("notes.txt", "hello"), doc);
    EXPECT_EQ(controller->documents().size(), 1u);
}

TEST_F(DocumentTest, OpeningFailuresLeaveNothingBehind)
{
    struct Case {
        const char* name;
        bool create;
    };
    for (const auto& c :
        { Case { "movie.xyz", true }, Case { "missing.txt", false }, Case { "image.png", true } }) {
        SCOPED_TRACE(c.name);
        if (c.create)
            movara::test::writeFile(dir / c.name, "x");
        HXError error;
        auto doc
            = controller->openDocumentWithContentsOfURL(HXURL::fileURLWithPath(dir / c.name), true, &error);
        EXPECT_FALSE(doc);
        EXPECT_FALSE(error.localizedDescription().empty());
        EXPECT_TRUE(controller->documents().empty());
        EXPECT_TRUE(app->orderedWindows().empty());
    }
    EXPECT_EQ(controller->typeFromFileExtension("TEXT"), "Text");
    EXPECT_EQ(controller->defaultType(), "Text");
}

TEST_F(DocumentTest, UntitledDocumentsAreNumbered)
{
    HXError error;
    auto a = controller->openUntitledDocumentAndDisplay(true, &error);
    auto b = controller->openUntitledDocumentAndDisplay(true, &error);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->displayName(), "Untitled");
    EXPECT_EQ(b->displayName(), "Untitled 2");
    EXPECT_EQ(b->windowForSheet()->title(), "Untitled 2");
    // Front to back follows the windows.
    EXPECT_EQ(controller->orderedDocuments(), (std::vector<std::shared_ptr<HXDocument>> { b, a }));
    a->windowForSheet()->makeKeyAndOrderFront();
    EXPECT_EQ(controller->orderedDocuments().front(), a);
    EXPECT_EQ(controller->currentDocument(), a);
}

TEST_F(DocumentTest, ClosingTheWindowAsksAboutUnsavedChanges)
{
    struct Case {
        const char* name;
        bool edit;
        bool failWrites;
        std::vector<std::string> answers;
        bool closed;
        int writes;
        std::string onDisk;
    };
    const Case cases[] = {
        { "unchanged closes at once", false, false, {}, true, 0, "old" },
        { "don't save", true, false, { "Don't Save" }, true, 0, "old" },
        { "cancel", true, false, { "Cancel" }, false, 0, "old" },
        { "save", true, false, { "Save" }, true, 1, "new" },
        { "save fails", true, true, { "Save", "OK" }, false, 1, "old" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = open(std::string(c.name) + ".txt", "old");
        ASSERT_TRUE(doc);
        doc->text = "new";
        doc->failWrites = c.failWrites;
        if (c.edit)
            doc->updateChangeCount(HXChangeDone);
        auto window = doc->windowForSheet();
        EXPECT_EQ(window->isDocumentEdited(), c.edit);
        answerAlertsWith(c.answers);
        window->performClose();
        settle();
        EXPECT_EQ(doc->isClosed(), c.closed);
        EXPECT_EQ(window->isVisible(), !c.closed);
        EXPECT_EQ(doc->writes, c.writes);
        EXPECT_EQ(movara::test::readFile(dir / (std::string(c.name) + ".txt")), c.onDisk);
        EXPECT_EQ(controller->documents().size(), c.closed ? 0u : 1u);
        EXPECT_EQ(window->attachedSheet(), nullptr);
        if (!c.closed) {
            EXPECT_TRUE(doc->isDocumentEdited());
            doc->updateChangeCount(HXChangeCleared);
            doc->close();
        }
    }
}

TEST_F(DocumentTest, ChangeCountFollowsDoUndoAndSave)
{
    auto doc = open("a.txt", "x");
    doc->updateChangeCount(HXChangeDone);
    doc->updateChangeCount(HXChangeDone);
    doc->updateChangeCount(HXChangeUndone);
    EXPECT_TRUE(doc->isDocumentEdited());
    doc->updateChangeCount(HXChangeUndone);
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_FALSE(doc->windowForSheet()->isDocumentEdited());
    doc->updateChangeCount(HXChangeDone);
    EXPECT_TRUE(doc->saveDocument());
    EXPECT_FALSE(doc->isDocumentEdited());
    // An untitled document without a place to go is not saved, and says so.
    HXError error;
    auto untitled = controller->openUntitledDocumentAndDisplay(true, &error);
    answerAlertsWith({ "OK" });
    EXPECT_FALSE(untitled->saveDocument());
}

TEST_F(DocumentTest, QuittingReviewsUnsavedDocumentsAndCanBeCancelled)
{
    auto delegate = std::make_shared<QuitDelegate>();
    app->setDelegate(delegate);
    auto clean = open("clean.txt", "c");
    auto edited = open("edited.txt", "e");
    edited->updateChangeCount(HXChangeDone);

    answerAlertsWith({ "Cancel" });
    app->terminate();
    settle();
    EXPECT_FALSE(app->didTerminate());
    EXPECT_FALSE(app->isTerminating());
    EXPECT_FALSE(edited->isClosed());
    EXPECT_EQ(delegate->willTerminate, 0);

    answerAlertsWith({ "Don't Save" });
    app->terminate();
    settle();
    EXPECT_TRUE(app->didTerminate());
    EXPECT_EQ(delegate->willTerminate, 1);
    EXPECT_TRUE(edited->isClosed());
}

TEST_F(DocumentTest, CloseAllDocumentsStopsAtTheFirstRefusal)
{
    auto a = open("a.txt", "a");
    auto b = open("b.txt", "b");
    auto c = open("c.txt", "c");
    b->updateChangeCount(HXChangeDone);
    // Front to back: c (clean) closes, b asks and is cancelled, a stays.
    answerAlertsWith({ "Cancel" });
    std::optional<bool> result;
    controller->closeAllDocuments([&](bool all) { result = all; });
    settle();
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result);
    EXPECT_TRUE(c->isClosed());
    EXPECT_FALSE(b->isClosed());
    EXPECT_FALSE(a->isClosed());
    b->updateChangeCount(HXChangeCleared);
    result.reset();
    controller->closeAllDocuments([&](bool all) { result = all; });
    EXPECT_TRUE(result.value_or(false));
    EXPECT_TRUE(controller->documents().empty());
}

TEST_F(DocumentTest, InterfaceLoadingConnectsTheOwnersOutlets)
{
    struct Owner : HXObject {
        std::shared_ptr<HXView> field;
    };
    HXInterfaceLoader::registerInterface("Inspector", [](const std::shared_ptr<HXObject>& owner) {
        auto window = std::make_shared<HXPanel>(HXMakeRect(0, 0, 200, 100), HXTitledWindowMask);
        auto field = std::make_shared<HXView>(HXMakeRect(10, 10, 100, 20));
        window->contentView()->addSubview(field);
        std::static_pointer_cast<Owner>(owner)->field = field;
        return std::vector<std::shared_ptr<HXObject>> { window };
    });
    auto owner = std::make_shared<Owner>();
    std::vector<std::shared_ptr<HXObject>> top;
    EXPECT_TRUE(HXInterfaceLoader::loadInterfaceNamed("Inspector", owner, &top));
    ASSERT_TRUE(owner->field);
    EXPECT_TRUE(owner->field->window());
    EXPECT_EQ(top.size(), 1u);
    EXPECT_FALSE(HXInterfaceLoader::loadInterfaceNamed("Missing", owner));
    // A window controller loads its window from the interface on first use.
    struct Controller : HXWindowController {
        using HXWindowController::HXWindowController;
        int loaded = 0;
        void windowDidLoad() override { ++loaded; }
    };
    auto wc = std::make_shared<Controller>("Inspector", owner);
    EXPECT_FALSE(wc->isWindowLoaded());
    auto w = wc->window();
    ASSERT_TRUE(w);
    EXPECT_EQ(wc->loaded, 1);
    EXPECT_EQ(w->windowController(), wc);
    HXInterfaceLoader::unregisterInterface("Inspector");
}
