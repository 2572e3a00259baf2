// Actions by name along the responder chain, and the validation of menu items against it.
#include "winkit_fixture.h"

#include "platform/basekit/undo_manager.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window_controller.h"

namespace {

class Handler : public HXView {
public:
    explicit Handler(bool acceptsFirst = true)
        : _accepts(acceptsFirst)
    {
    }
    bool acceptsFirstResponder() const override { return _accepts; }

private:
    bool _accepts;
};

class Delegate : public HXObject, public HXApplicationDelegate {};

class Doc : public HXDocument {};

// A key window whose controller has a document, with a first-responder view inside a plain view.
struct Chain {
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<HXView> outer;
    std::shared_ptr<Handler> first;
    std::shared_ptr<HXWindowController> controller;
    std::shared_ptr<Doc> document;
    std::shared_ptr<Delegate> appDelegate;
};

Chain buildChain(HXApplication& app)
{
    Chain c;
    c.window = std::make_shared<HXWindow>(HXMakeRect(100, 100, 300, 200), HXTitledWindowMask);
    c.outer = std::make_shared<HXView>(HXMakeRect(0, 0, 300, 200));
    c.first = std::make_shared<Handler>();
    c.window->contentView()->addSubview(c.outer);
    c.outer->addSubview(c.first);
    c.controller = std::make_shared<HXWindowController>(c.window);
    c.document = std::make_shared<Doc>();
    HXDocumentController::sharedDocumentController()->addDocument(c.document);
    c.document->addWindowController(c.controller);
    c.controller->showWindow();
    c.window->makeFirstResponder(c.first);
    c.appDelegate = std::make_shared<Delegate>();
    app.setDelegate(c.appDelegate);
    return c;
}

}  // namespace

class ResponderChainTest : public WinkitTest {};

TEST_F(ResponderChainTest, NilTargetedActionGoesToTheFirstObjectThatHandlesIt)
{
    auto c = buildChain(*app);
    // Which link handles "doIt:" → who must receive it; earlier links win.
    struct Case {
        const char* name;
        std::vector<HXObject*> handlers;
        HXObject* expected;
    };
    auto docController = HXDocumentController::sharedDocumentController();
    std::vector<Case> cases = {
        { "first responder", { c.first.get(), c.outer.get(), c.document.get() }, c.first.get() },
        { "superview", { c.outer.get(), c.window.get() }, c.outer.get() },
        { "window", { c.window.get(), c.controller.get() }, c.window.get() },
        { "window controller", { c.controller.get(), c.document.get() }, c.controller.get() },
        { "document", { c.document.get(), app.get() }, c.document.get() },
        { "application", { app.get(), c.appDelegate.get() }, app.get() },
        { "application delegate", { c.appDelegate.get(), docController.get() }, c.appDelegate.get() },
        { "document controller", { docController.get() }, docController.get() },
        { "nobody", {}, nullptr },
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        HXObject* received = nullptr;
        for (auto* h : tc.handlers)
            h->setActionHandler("doIt:", [&received, h](HXObject*) { received = h; });
        bool handled = app->sendAction("doIt:", nullptr, nullptr);
        EXPECT_EQ(handled, tc.expected != nullptr);
        EXPECT_EQ(received, tc.expected);
        EXPECT_EQ(app->targetForAction("doIt:"), tc.expected);
        for (auto* h : tc.handlers)
            h->setActionHandler("doIt:", nullptr);
    }
}

TEST_F(ResponderChainTest, MainWindowChainFollowsTheKeyWindowChain)
{
    auto c = buildChain(*app);
    // A panel becomes key; the document window stays main and its chain still answers.
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    panel->makeKeyAndOrderFront();
    ASSERT_EQ(app->keyWindow(), panel);
    ASSERT_EQ(app->mainWindow(), c.window);
    bool got = false;
    c.document->setActionHandler("saveIt:", [&](HXObject*) { got = true; });
    EXPECT_TRUE(app->sendAction("saveIt:", nullptr, nullptr));
    EXPECT_TRUE(got);
}

TEST_F(ResponderChainTest, ExplicitTargetIsUsedAloneAndSenderIsPassed)
{
    auto c = buildChain(*app);
    auto target = std::make_shared<HXObject>();
    HXObject* seenSender = nullptr;
    target->setActionHandler("go:", [&](HXObject* sender) { seenSender = sender; });
    bool chainGot = false;
    c.first->setActionHandler("other:", [&](HXObject*) { chainGot = true; });
    auto sender = std::make_shared<HXObject>();
    EXPECT_TRUE(app->sendAction("go:", target.get(), sender.get()));
    EXPECT_EQ(seenSender, sender.get());
    // A target that does not handle the action does not fall back to the chain.
    EXPECT_FALSE(app->sendAction("other:", target.get(), sender.get()));
    EXPECT_FALSE(chainGot);
}

TEST_F(ResponderChainTest, TryToPerformWalksNextResponders)
{
    auto a = std::make_shared<HXResponder>();
    auto b = std::make_shared<HXResponder>();
    auto cc = std::make_shared<HXResponder>();
    a->setNextResponder(b);
    b->setNextResponder(cc);
    int hits = 0;
    cc->setActionHandler("x:", [&](HXObject*) { ++hits; });
    EXPECT_TRUE(a->tryToPerform("x:", nullptr));
    EXPECT_FALSE(a->tryToPerform("y:", nullptr));
    EXPECT_EQ(hits, 1);
    // A command nobody performs beeps.
    a->doCommandBySelector("moveUp:");
    EXPECT_EQ(server->beepCount(), 1);
}

TEST_F(ResponderChainTest, SelectorsAreInternedByName)
{
    HXSelector a("copy:");
    HXSelector b(std::string("co") + "py:");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, HXSelector("paste:"));
    EXPECT_TRUE(HXSelector().isNull());
    EXPECT_TRUE(HXSelector("").isNull());
    EXPECT_EQ(a.name(), "copy:");
}

namespace {
class ValidatingView : public Handler {
public:
    bool allow = true;
    int asked = 0;
    bool validateMenuItem(HXMenuItem& item) override
    {
        ++asked;
        return allow && item.tag() != 7;
    }
};
class UIValidator : public HXObject {
public:
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override { return item.tag() == 1; }
};
}  // namespace

TEST_F(ResponderChainTest, MenuItemsAreEnabledByWhoeverHandlesTheirAction)
{
    auto window = makeWindow(HXMakeRect(0, 0, 200, 200));
    auto view = std::make_shared<ValidatingView>();
    window->contentView()->addSubview(view);
    window->makeKeyAndOrderFront();
    window->makeFirstResponder(view);
    view->setActionHandler("copy:", [](HXObject*) {});

    auto menu = std::make_shared<HXMenu>("Edit");
    auto copy = menu->addItemWithTitle("Copy", "copy:", "c");
    auto tagged = menu->addItemWithTitle("Copy Tagged", "copy:", "");
    tagged->setTag(7);
    auto orphan = menu->addItemWithTitle("Paste", "paste:", "v");
    auto validator = std::make_shared<UIValidator>();
    validator->setActionHandler("special:", [](HXObject*) {});
    auto targeted = menu->addItemWithTitle("Special", "special:", "");
    targeted->setTarget(validator);
    targeted->setTag(2);
    auto noAction = menu->addItemWithTitle("Header", HXSelector(), "");

    menu->update();
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_FALSE(tagged->isEnabled()) << "validateMenuItem said no";
    EXPECT_FALSE(orphan->isEnabled()) << "nobody handles paste:";
    EXPECT_FALSE(targeted->isEnabled()) << "the explicit target's validateUserInterfaceItem said no";
    EXPECT_FALSE(noAction->isEnabled());
    EXPECT_GE(view->asked, 2);

    view->allow = false;
    targeted->setTag(1);
    menu->update();
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(targeted->isEnabled());

    // Without autoenabling the items keep what they were given.
    menu->setAutoenablesItems(false);
    orphan->setEnabled(true);
    menu->update();
    EXPECT_TRUE(orphan->isEnabled());
}

TEST_F(ResponderChainTest, UndoAndRedoReachTheUndoManagerOfTheKeyWindow)
{
    auto c = buildChain(*app);
    HXUndoManager undo;
    c.document->setUndoManager(&undo);
    auto menu = std::make_shared<HXMenu>("Edit");
    auto undoItem = menu->addItemWithTitle("Undo", "undo:", "z");
    auto redoItem = menu->addItemWithTitle("Redo", "redo:", "Z");
    menu->update();
    EXPECT_FALSE(undoItem->isEnabled()) << "nothing to undo";
    EXPECT_FALSE(redoItem->isEnabled());

    int value = 0;
    std::function<void(int)> set = [&](int v) {
        int old = value;
        value = v;
        undo.registerUndo(&value, [&, old] { set(old); });
    };
    set(1);
    undo.setActionName("Cut");
    menu->update();
    EXPECT_TRUE(undoItem->isEnabled());
    EXPECT_EQ(undoItem->title(), "Undo Cut");
    EXPECT_TRUE(app->sendAction("undo:", nullptr, nullptr));
    EXPECT_EQ(value, 0);
    menu->update();
    EXPECT_FALSE(undoItem->isEnabled());
    EXPECT_TRUE(redoItem->isEnabled());
    EXPECT_EQ(redoItem->title(), "Redo Cut");
    EXPECT_TRUE(app->sendAction("redo:", nullptr, nullptr));
    EXPECT_EQ(value, 1);
    c.document->setUndoManager(nullptr);
}
