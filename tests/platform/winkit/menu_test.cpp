// Menus: items and notifications, key equivalents in every window, the delegate's update hook, and menus
// opened from the in-window menu bar.
#include "winkit_fixture.h"

#include "platform/basekit/timer.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/menu_bar_view.h"

namespace {

class Handlers : public HXObject, public HXApplicationDelegate {
public:
    std::vector<std::string> performed;
    void handle(const char* action)
    {
        setActionHandler(action, [this, action](HXObject*) { performed.push_back(action); });
    }
};

class UpdatingDelegate : public HXMenuDelegate {
public:
    int updates = 0;
    std::function<void(HXMenu&)> onUpdate;
    void menuNeedsUpdate(HXMenu& menu) override
    {
        ++updates;
        if (onUpdate)
            onUpdate(menu);
    }
};

}  // namespace

class MenuTest : public WinkitTest {
protected:
    void SetUp() override
    {
        WinkitTest::SetUp();
        handlers = std::make_shared<Handlers>();
        for (auto* a : { "quit:", "saveAs:", "play:", "openIt:", "closeIt:", "quitNow:" })
            handlers->handle(a);
        app->setDelegate(handlers);
        mainMenu = std::make_shared<HXMenu>("Main");
        auto fileItem = mainMenu->addItemWithTitle("File", HXSelector(), "");
        file = std::make_shared<HXMenu>("File");
        mainMenu->setSubmenu(file, fileItem);
        file->addItemWithTitle("Open", "openIt:", "o");
        file->addItem(HXMenuItem::separatorItem());
        file->addItemWithTitle("Close", "closeIt:", "w");
        file->addItemWithTitle("Save As", "saveAs:", "S");
        file->addItemWithTitle("Play", "play:", " ")->setKeyEquivalentModifierMask(0);
        file->addItemWithTitle("Quit", "quit:", "q");
        auto quitNow = file->addItemWithTitle("Quit Now", "quitNow:", "q");
        quitNow->setKeyEquivalentModifierMask(HXCommandKeyMask | HXAlternateKeyMask);
        quitNow->setAlternate(true);
        file->addItemWithTitle("Export", "export:", "e");  // nobody handles it
        app->setMainMenu(mainMenu);
        window = makeWindow(HXMakeRect(100, 100, 300, 200), HXTitledWindowMask | HXMenuBarWindowMask);
        window->makeKeyAndOrderFront();
    }

    std::shared_ptr<Handlers> handlers;
    std::shared_ptr<HXMenu> mainMenu;
    std::shared_ptr<HXMenu> file;
    std::shared_ptr<HXWindow> window;
};

TEST_F(MenuTest, KeyEquivalentsReachTheirActionsFromAnyWindow)
{
    struct Case {
        const char* characters;
        uint32_t modifiers;
        std::vector<std::string> performed;
        int beeps;
    };
    const Case cases[] = {
        { "q", HXCommandKeyMask, { "quit:" }, 0 },
        { "Q", HXCommandKeyMask | HXShiftKeyMask, {}, 1 },  // no item: the end of the chain beeps
        { "q", HXCommandKeyMask | HXAlternateKeyMask, { "quitNow:" }, 0 },
        { "s", HXCommandKeyMask | HXShiftKeyMask, { "saveAs:" }, 0 },
        { "s", HXCommandKeyMask, {}, 1 },
        { " ", 0, { "play:" }, 0 },
        { "e", HXCommandKeyMask, {}, 1 },  // disabled: nobody handles export:, so a beep
        { "x", 0, {}, 1 },                  // an ordinary key nobody takes beeps at the end of the chain
    };
    // A panel in front works too.
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 50, 50), HXTitledWindowMask);
    for (auto w : { window, std::static_pointer_cast<HXWindow>(panel) }) {
        w->makeKeyAndOrderFront();
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.characters) + " " + std::to_string(c.modifiers));
            handlers->performed.clear();
            int beeps = server->beepCount();
            HXHeadlessWindowServer::postKey(w, c.characters, c.modifiers);
            app->processPendingEvents();
            EXPECT_EQ(handlers->performed, c.performed);
            EXPECT_EQ(server->beepCount() - beeps, c.beeps);
        }
    }
}

TEST_F(MenuTest, TheDelegateUpdatesTheMenuBeforeItIsUsed)
{
    auto delegate = std::make_shared<UpdatingDelegate>();
    file->setDelegate(delegate);
    // The delegate adds an item with the key equivalent being pressed: it works at once.
    delegate->onUpdate = [](HXMenu& menu) {
        if (menu.indexOfItemWithTitle("Recent") < 0)
            menu.addItemWithTitle("Recent", "openIt:", "r");
    };
    file->update();
    EXPECT_EQ(delegate->updates, 1);
    HXHeadlessWindowServer::postKey(window, "r", HXCommandKeyMask);
    app->processPendingEvents();
    EXPECT_EQ(handlers->performed, (std::vector<std::string> { "openIt:" }));
    EXPECT_GE(delegate->updates, 2);
}

TEST_F(MenuTest, AddingAndRemovingItemsPostsTheirIndex)
{
    std::vector<std::pair<std::string, int64_t>> seen;
    for (auto* name : { HXMenuDidAddItemNotification, HXMenuDidRemoveItemNotification })
        tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
            name, file.get(), [&](const HXNotification& n) { seen.emplace_back(n.name(), n.userInfo().at(HXMenuItemIndex).integerValue()); }));
    file->insertItemWithTitle("First", "openIt:", "", 0);
    file->removeItemAtIndex(2);
    file->removeItemAtIndex(99);  // out of range: nothing
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int64_t>> { { HXMenuDidAddItemNotification, 0 }, { HXMenuDidRemoveItemNotification, 2 } }));
    EXPECT_EQ(file->itemAtIndex(0)->title(), "First");
    EXPECT_EQ(file->indexOfItemWithTitle("Close"), 2);
    auto tagged = file->itemAtIndex(0);
    tagged->setTag(42);
    EXPECT_EQ(file->itemWithTag(42), tagged);
    EXPECT_EQ(mainMenu->indexOfItemWithSubmenu(file), 0);
    // Moving an item into another menu takes it out of the first.
    auto other = std::make_shared<HXMenu>("Other");
    other->addItem(tagged);
    EXPECT_EQ(file->indexOfItem(tagged), -1);
    EXPECT_EQ(tagged->menu(), other);
}

namespace {
// Posts a click on the row of `title` in the menu window in front.
void clickRow(HXApplication& app, const std::string& title)
{
    auto menuWindow = app.orderedWindows().front();
    ASSERT_EQ(menuWindow->level(), HXPopUpMenuWindowLevel);
    // Rows are 20 points from a 4-point margin at the top; separators are 9 points.
    double y = 4;
    for (auto& item : app.mainMenu()->itemAtIndex(0)->submenu()->itemArray()) {
        if (item->isAlternate())
            continue;
        if (item->title() == title)
            break;
        y += item->isSeparatorItem() ? 9 : 20;
    }
    double height = menuWindow->frame().size.height;
    HXHeadlessWindowServer::postClick(menuWindow, { 30, height - y - 10 });
}

// The same from a timer in the tracking mode, once the menu is up.
std::shared_ptr<HXTimer> chooseLater(HXApplication& app, const std::string& title)
{
    return HXTimer::scheduledTimer(0.1, false, [&app, title](HXTimer& timer) {
        timer.invalidate();
        clickRow(app, title);
    }, { HXEventTrackingRunLoopMode });
}
}  // namespace

TEST_F(MenuTest, ClickingTheMenuBarOpensTheMenuAndAChoiceSendsItsAction)
{
    auto bar = window->menuBarView();
    ASSERT_TRUE(bar);
    auto rects = bar->titleRects();
    ASSERT_EQ(rects.size(), 1u);
    HXRect title = bar->convertRectToView(rects[0], nullptr);
    auto timer = chooseLater(*app, "Close");
    HXHeadlessWindowServer::postClick(window, { HXMidX(title), HXMidY(title) });
    app->processPendingEvents();
    EXPECT_EQ(handlers->performed, (std::vector<std::string> { "closeIt:" }));
    // The menu window is gone.
    EXPECT_EQ(app->orderedWindows().size(), 1u);
    EXPECT_FALSE(file->isTracking());
    timer->invalidate();
}

TEST_F(MenuTest, MenusThatDoNotFitANarrowWindowOpenFromTheBarsLastTitle)
{
    for (const char* title : { "Movie", "Window" }) {
        auto item = mainMenu->addItemWithTitle(title, HXSelector(), "");
        auto menu = std::make_shared<HXMenu>(title);
        menu->addItemWithTitle(std::string("Play from ") + title, "play:", "");
        mainMenu->setSubmenu(menu, item);
    }
    auto bar = window->menuBarView();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->titleRects().size(), 3u) << "all fit in 300 points";
    EXPECT_TRUE(HXIsEmptyRect(bar->overflowRect()));

    window->setFrame({ window->frame().origin, { 120, window->frame().size.height } }, true);
    auto rects = bar->titleRects();
    ASSERT_GE(rects.size(), 1u);
    ASSERT_LT(rects.size(), 3u);
    HXRect overflow = bar->overflowRect();
    ASSERT_FALSE(HXIsEmptyRect(overflow));
    EXPECT_LE(HXMaxX(overflow), bar->bounds().size.width);
    EXPECT_GE(HXMinX(overflow), HXMaxX(rects.back()));

    // The last title opens the menus that did not fit; "Window" is always among them.
    auto hidden = mainMenu->itemWithTitle("Window")->submenu();
    HXRect onScreen = bar->convertRectToView(overflow, nullptr);
    std::vector<std::shared_ptr<HXTimer>> timers;
    size_t rows = 3 - rects.size();
    // Over the last row of the overflow menu (its hidden "Window"), then a click on its submenu's row.
    timers.push_back(HXTimer::scheduledTimer(0.1, false, [&](HXTimer&) {
        auto w = app->orderedWindows().front();
        HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 30, w->frame().size.height - 14 - 20.0 * double(rows - 1) });
    }, { HXEventTrackingRunLoopMode }));
    timers.push_back(HXTimer::scheduledTimer(0.2, false, [&](HXTimer&) {
        EXPECT_EQ(app->orderedWindows().size(), 3u) << "the overflow menu, its submenu and the window";
        auto submenuWindow = app->orderedWindows().front();
        HXHeadlessWindowServer::postClick(submenuWindow, { 30, submenuWindow->frame().size.height - 14 });
    }, { HXEventTrackingRunLoopMode }));
    HXHeadlessWindowServer::postClick(window, { HXMidX(onScreen), HXMidY(onScreen) });
    app->processPendingEvents();
    EXPECT_EQ(handlers->performed, (std::vector<std::string> { "play:" }));
    EXPECT_EQ(app->orderedWindows().size(), 1u);
    EXPECT_EQ(hidden->supermenu(), mainMenu) << "the menu is the main menu's again";
    for (auto& t : timers)
        t->invalidate();
}

TEST_F(MenuTest, EscapeOrAClickElsewhereClosesThePopUpWithoutAChoice)
{
    struct Case {
        const char* name;
        std::function<void()> dismiss;
    };
    const Case cases[] = {
        { "escape", [&] { HXHeadlessWindowServer::postKey(nullptr, "\x1b"); } },
        { "click outside", [&] { HXHeadlessWindowServer::postClick(window, { 250, 10 }); } },
        { "disabled item", [&] { clickRow(*app, "Export"); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto timer = HXTimer::scheduledTimer(0.1, false, [&](HXTimer& t) {
            t.invalidate();
            c.dismiss();
            // A disabled row does not close the menu: dismiss it after.
            HXRunLoop::main().performAfterDelay(&c, 0.2, [] { HXHeadlessWindowServer::postKey(nullptr, "\x1b"); },
                { HXEventTrackingRunLoopMode });
        }, { HXEventTrackingRunLoopMode });
        bool chosen = file->popUpMenuPositioningItem(nullptr, { 10, 10 }, window->contentView());
        EXPECT_FALSE(chosen);
        EXPECT_TRUE(handlers->performed.empty());
        EXPECT_EQ(app->orderedWindows().size(), 1u);
        timer->invalidate();
        HXRunLoop::main().cancelPerformRequests(&c);
    }
}

TEST_F(MenuTest, KeyEquivalentMatchingRules)
{
    struct Case {
        const char* key;
        uint32_t mask;
        const char* typed;
        uint32_t held;
        bool match;
    };
    const Case cases[] = {
        { "n", HXCommandKeyMask, "n", HXCommandKeyMask, true },
        { "n", HXCommandKeyMask, "N", HXCommandKeyMask | HXShiftKeyMask, false },
        { "N", HXCommandKeyMask, "n", HXCommandKeyMask | HXShiftKeyMask, true },
        { "?", HXCommandKeyMask, "?", HXCommandKeyMask | HXShiftKeyMask, true },
        { "n", HXCommandKeyMask | HXControlKeyMask, "n", HXCommandKeyMask, false },
        { "n", HXCommandKeyMask, "n", HXCommandKeyMask | HXAlphaShiftKeyMask, true },  // Caps Lock does not count
        { "", HXCommandKeyMask, "", HXCommandKeyMask, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " / " + c.typed);
        HXMenuItem item("Item", "x:", c.key);
        item.setKeyEquivalentModifierMask(c.mask);
        HXEvent e = HXEvent::keyEvent(HXKeyDown, {}, c.held, 0, 0, c.typed, c.typed, false, 0);
        EXPECT_EQ(item.matchesKeyEquivalent(e), c.match);
    }
}

TEST_F(MenuTest, KeyEquivalentsShowTheKeysAUserPresses)
{
    // Command is the Ctrl key here, Option the Alt key and Control the Super key.
    const struct {
        const char* key;
        uint32_t mask;
        const char* shown;
    } cases[] = {
        { "n", HXCommandKeyMask, "Ctrl+N" },
        { "N", HXCommandKeyMask, "Ctrl+Shift+N" },
        { "n", HXCommandKeyMask | HXAlternateKeyMask, "Ctrl+Alt+N" },
        { "n", HXCommandKeyMask | HXAlternateKeyMask | HXControlKeyMask, "Ctrl+Alt+Super+N" },
        { "\uF703", HXCommandKeyMask | HXShiftKeyMask, "Ctrl+Shift+Right" },
        { "\uF702", HXCommandKeyMask, "Ctrl+Left" },
        { "\uF705", 0, "F2" },
        { " ", 0, "Space" },
        { "?", HXCommandKeyMask, "Ctrl+?" },
        { ",", HXCommandKeyMask, "Ctrl+," },
        { "", HXCommandKeyMask, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        HXMenuItem item("Item", "x:", c.key);
        item.setKeyEquivalentModifierMask(c.mask);
        EXPECT_EQ(item.keyEquivalentDisplayString(), c.shown);
    }
    EXPECT_EQ(HXMenuItem::separatorItem()->keyEquivalentDisplayString(), "");
}

TEST_F(MenuTest, SubmenusOpenBesideTheirRowAndTheirItemsCanBeChosen)
{
    auto recentItem = file->insertItemWithTitle("Open Recent", HXSelector(), "", 1);
    auto recent = std::make_shared<HXMenu>("Open Recent");
    recent->addItemWithTitle("a.mov", "openIt:", "");
    recent->addItemWithTitle("b.mov", "closeIt:", "");
    file->setSubmenu(recent, recentItem);
    handlers->performed.clear();

    auto frontMenuWindow = [&] { return app->orderedWindows().front(); };
    std::vector<std::shared_ptr<HXTimer>> timers;
    // Over "Open Recent" (the second row, 24 ... 44 points from the top): the submenu opens to the right.
    timers.push_back(HXTimer::scheduledTimer(0.1, false, [&](HXTimer&) {
        auto w = frontMenuWindow();
        HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 30, w->frame().size.height - 34 });
    }, { HXEventTrackingRunLoopMode }));
    // Then a click on its second row.
    timers.push_back(HXTimer::scheduledTimer(0.2, false, [&](HXTimer&) {
        auto w = frontMenuWindow();
        EXPECT_EQ(app->orderedWindows().size(), 3u) << "the menu, its submenu and the document window";
        HXHeadlessWindowServer::postClick(w, { 30, w->frame().size.height - 34 });
    }, { HXEventTrackingRunLoopMode }));
    bool chosen = file->popUpMenuPositioningItem(nullptr, { 10, 150 }, window->contentView());
    EXPECT_TRUE(chosen);
    EXPECT_EQ(handlers->performed, (std::vector<std::string> { "closeIt:" }));
    EXPECT_EQ(app->orderedWindows().size(), 1u);

    // Escape closes only the submenu; a second one closes the menu.
    handlers->performed.clear();
    timers.push_back(HXTimer::scheduledTimer(0.1, false, [&](HXTimer&) {
        auto w = frontMenuWindow();
        HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 30, w->frame().size.height - 34 });
    }, { HXEventTrackingRunLoopMode }));
    timers.push_back(HXTimer::scheduledTimer(0.2, false, [&](HXTimer&) {
        HXHeadlessWindowServer::postKey(nullptr, "\x1b");
    }, { HXEventTrackingRunLoopMode }));
    timers.push_back(HXTimer::scheduledTimer(0.3, false, [&](HXTimer&) {
        EXPECT_EQ(app->orderedWindows().size(), 2u);
        HXHeadlessWindowServer::postKey(nullptr, "\x1b");
    }, { HXEventTrackingRunLoopMode }));
    EXPECT_FALSE(file->popUpMenuPositioningItem(nullptr, { 10, 150 }, window->contentView()));
    EXPECT_TRUE(handlers->performed.empty());
    for (auto& t : timers)
        t->invalidate();
}
