#include "app/main_menu.h"

#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"

namespace MVPMainMenu {

namespace {

std::shared_ptr<HXMenu> addSubmenu(const std::shared_ptr<HXMenu>& main, const std::string& title)
{
    auto item = main->addItemWithTitle(title, HXSelector());
    auto menu = std::make_shared<HXMenu>(title);
    main->setSubmenu(menu, item);
    return menu;
}

} // namespace

std::shared_ptr<HXMenu> build()
{
    auto main = std::make_shared<HXMenu>("MainMenu");

    auto appMenu = addSubmenu(main, "Movara Player");
    appMenu->addItemWithTitle("About Movara Player", HXSelector("orderFrontAboutPanel:"));
    appMenu->addItem(HXMenuItem::separatorItem());
    appMenu->addItemWithTitle("Hide Movara Player", HXSelector("hide:"), "h");
    appMenu->addItem(HXMenuItem::separatorItem());
    appMenu->addItemWithTitle("Quit Movara Player", HXSelector("terminate:"), "q");

    auto fileMenu = addSubmenu(main, "File");
    fileMenu->addItemWithTitle("Close", HXSelector("performClose:"), "w");
    fileMenu->addItemWithTitle("Save", HXSelector("saveDocument:"), "s");

    auto windowMenu = addSubmenu(main, "Window");
    windowMenu->addItemWithTitle("Minimize", HXSelector("performMiniaturize:"), "m");
    windowMenu->addItemWithTitle("Zoom", HXSelector("performZoom:"));
    windowMenu->addItem(HXMenuItem::separatorItem());
    windowMenu->addItemWithTitle("Bring All to Front", HXSelector("arrangeInFront:"));
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->setWindowsMenu(windowMenu);
    return main;
}

} // namespace MVPMainMenu
