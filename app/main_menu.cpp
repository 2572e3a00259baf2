#include "app/main_menu.h"

#include "app/document_controller.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"

#include <string>

namespace MVPMainMenu {

namespace {

constexpr uint32_t kCommand = HXCommandKeyMask;
constexpr uint32_t kOption = HXAlternateKeyMask;
constexpr uint32_t kControl = HXControlKeyMask;
// The arrow keys' characters (HXRightArrowFunctionKey, HXLeftArrowFunctionKey) in UTF-8.
const std::string kRightArrow = "\uF703";
const std::string kLeftArrow = "\uF702";

std::shared_ptr<HXMenu> addSubmenu(const std::shared_ptr<HXMenu>& parent, const std::string& title)
{
    auto item = parent->addItemWithTitle(title, HXSelector());
    auto menu = std::make_shared<HXMenu>(title);
    parent->setSubmenu(menu, item);
    return menu;
}

std::shared_ptr<HXMenuItem> add(const std::shared_ptr<HXMenu>& menu, const std::string& title,
    const char* action, const std::string& key = {}, uint32_t modifiers = kCommand)
{
    auto item = menu->addItemWithTitle(title, HXSelector(action), key);
    item->setKeyEquivalentModifierMask(modifiers);
    return item;
}

// An open command and its alternate: the same action and key, the alternate with Option added.
void addOpenPair(const std::shared_ptr<HXMenu>& menu, const std::string& title,
    const std::string& alternateTitle, const char* action, const std::string& key,
    uint32_t modifiers = kCommand)
{
    add(menu, title, action, key, modifiers);
    auto alternate = add(menu, alternateTitle, action, key, modifiers | kOption);
    alternate->setAlternate(true);
}

void separator(const std::shared_ptr<HXMenu>& menu)
{
    menu->addItem(HXMenuItem::separatorItem());
}

void buildApplicationMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "About Movara Player", "orderFrontAboutPanel:");
    separator(menu);
    add(menu, "Preferences\u2026", "showApplicationPreferences:", ",");
    separator(menu);
    add(menu, "Update Existing Software\u2026", "updateExistingSoftware:");
    separator(menu);
    add(menu, "Hide Movara Player", "hide:", "h");
    separator(menu);
    add(menu, "Quit Movara Player", "terminate:", "q");
}

void buildFileMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "New Player", "newDocumentWithTemplate:", "n");
    add(menu, "New Movie Recording", "newCaptureWithTemplate:", "n", kCommand | kOption)->setTag(1);
    add(menu, "New Audio Recording", "newCaptureWithTemplate:", "n", kCommand | kOption | kControl)
        ->setTag(0);
    separator(menu);
    addOpenPair(menu, "Open File\u2026", "Open File in Other Player\u2026", "openDocument:", "o");
    addOpenPair(menu, "Open URL\u2026", "Open URL in Other Player\u2026", "openURL:", "u");
    addOpenPair(menu, "Open Image Sequence\u2026", "Open Image Sequence in Other Player\u2026",
        "openImageSequence:", "O");
    add(menu, "Import\u2026", "import:");
    auto recent = addSubmenu(menu, kOpenRecentTitle);
    // Filled when it first opens; until then it offers only to be cleared.
    recent->addItemWithTitle("Clear Menu", HXSelector("clearRecentDocuments:"));
    auto favorites = addSubmenu(menu, kFavoritesTitle);
    add(favorites, "Add to Favorites", "addToFavorites:", "d");
    add(favorites, "Show Favorites", "showFavorites:", "d", kCommand | kOption);
    separator(menu);
    add(menu, "Close", "performClose:", "w");
    add(menu, "Close All", "closeAll:", "w", kCommand | kOption);
    add(menu, "Save", "saveDocument:", "s");
    add(menu, "Save As\u2026", "saveDocumentAs:", "S");
    add(menu, "Revert to Saved", "revertDocumentToSaved:");
    separator(menu);
    add(menu, "Share\u2026", "share:");
    add(menu, "Export\u2026", "export:", "e");
    add(menu, "Export for Web\u2026", "exportRefMovieForWeb:");
    separator(menu);
    add(menu, "Page Setup\u2026", "runPageLayout:", "P");
    add(menu, "Print\u2026", "printDocument:", "p");
}

void buildEditMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "Undo", "undo:", "z");
    add(menu, "Redo", "redo:", "Z");
    separator(menu);
    add(menu, "Cut", "cut:", "x");
    add(menu, "Copy", "copy:", "c");
    add(menu, "Paste", "paste:", "v");
    add(menu, "Delete", "delete:");
    add(menu, "Select All", "selectAll:", "a");
    add(menu, "Select None", "selectNone:", "A");
    separator(menu);
    add(menu, "Trim to Selection", "trim:", "t");
    add(menu, "Add to Movie", "add:", "v", kCommand | kOption);
    add(menu, "Add to Selection & Scale", "addScaled:", "V", kCommand | kOption);
    add(menu, "Replace", "replace:");
    separator(menu);
    auto find = addSubmenu(menu, "Find");
    add(find, "Find\u2026", "findText:", "f");
    add(find, "Find Next", "findNextText:", "g");
    add(find, "Find Previous", "findPreviousText:", "G");
}

void buildViewMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "Half Size", "halfSize:", "0");
    add(menu, "Actual Size", "normalSize:", "1");
    add(menu, "Double Size", "doubleSize:", "2");
    add(menu, "Fit to Screen", "fitToScreen:", "3");
    separator(menu);
    add(menu, "Full Screen", "fullScreen:", "f", kCommand | kControl);
    add(menu, "Present Movie\u2026", "presentMovie:", "F");
    separator(menu);
    add(menu, "Loop", "loop:", "l");
    add(menu, "Loop Back and Forth", "loopBackAndForth:");
    add(menu, "Play Selection Only", "playSelectionOnly:", "T");
    add(menu, "Play All Frames", "playAllFrames:");
    separator(menu);
    add(menu, "Go to Poster Frame", "gotoPosterFrame:");
    add(menu, "Set Poster Frame", "setPosterFrame:");
    separator(menu);
    add(menu, "Next Chapter", "gotoNextChapter:", kRightArrow, kCommand | HXShiftKeyMask);
    add(menu, "Previous Chapter", "gotoPreviousChapter:", kLeftArrow, kCommand | HXShiftKeyMask);
    separator(menu);
    // Command-Space plays or stops every movie through the application delegate's key handling.
    add(menu, "Play All Movies", "playPauseAll:");
    add(menu, "Go to Beginning of All Movies", "gotoBeginningOfAll:");
    add(menu, "Go to End of All Movies", "gotoEndOfAll:");
    add(menu, "Step Backward All Movies", "stepBackwardAll:");
    add(menu, "Step Forward All Movies", "stepForwardAll:");
    separator(menu);
    // Both are filled by the front document before they open.
    for (auto submenu : { MVPMovieDocument::makeChooseLanguageMenu(), MVPMovieDocument::makeSubtitlesMenu() })
        menu->setSubmenu(submenu, menu->addItemWithTitle(submenu->title(), HXSelector()));
    add(menu, "Show Closed Captioning", "toggleClosedCaption:");
    add(menu, "Show Sound Controls", "showSoundControls:");
}

void buildWindowMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "Minimize", "performMiniaturize:", "m");
    add(menu, "Zoom", "performZoom:");
    separator(menu);
    add(menu, "Show Movie Info", "showMovieInfo:", "i");
    add(menu, "Show Movie Inspector", "showMovieInspector:", "i", kCommand | kOption);
    add(menu, "Show A/V Controls", "showAVControls:", "k");
    add(menu, "Show Movie Properties", "openMovieProperties:", "j");
    separator(menu);
    add(menu, "Show Content Guide", "showContentGuide:");
    separator(menu);
    add(menu, "Bring All to Front", "arrangeInFront:");
}

void buildHelpMenu(const std::shared_ptr<HXMenu>& menu)
{
    add(menu, "Movara Player Help", "showHelp:", "?");
}

std::shared_ptr<HXMenu> submenuTitled(const std::shared_ptr<HXMenu>& menu, const std::string& title)
{
    auto item = menu ? menu->itemWithTitle(title) : nullptr;
    return item ? item->submenu() : nullptr;
}

} // namespace

std::shared_ptr<HXMenu> build()
{
    auto main = std::make_shared<HXMenu>("MainMenu");
    buildApplicationMenu(addSubmenu(main, "Movara Player"));
    buildFileMenu(addSubmenu(main, "File"));
    buildEditMenu(addSubmenu(main, "Edit"));
    buildViewMenu(addSubmenu(main, "View"));
    auto windowMenu = addSubmenu(main, "Window");
    buildWindowMenu(windowMenu);
    buildHelpMenu(addSubmenu(main, "Help"));

    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->setWindowsMenu(windowMenu);
    if (auto controller = MVPMovieDocumentController::sharedController())
        connectSubmenus(main, *controller);
    return main;
}

void connectSubmenus(const std::shared_ptr<HXMenu>& mainMenu, MVPMovieDocumentController& controller)
{
    auto file = mainMenu->itemAtIndex(kFileMenuIndex)->submenu();
    auto view = mainMenu->itemAtIndex(kViewMenuIndex)->submenu();
    controller.setRecentDocumentsSubMenu(submenuTitled(file, kOpenRecentTitle));
    controller.setFavoriteDocumentsSubMenu(submenuTitled(file, kFavoritesTitle));
    controller.setChooseLanguageSubMenu(submenuTitled(view, HXLocalizedString("mvpLanguageMenu")));
    controller.setSubtitlesSubMenu(submenuTitled(view, HXLocalizedString("mvpSubtitlesMenu")));
}

} // namespace MVPMainMenu
