// The properties window as the host of the pane plug-ins: the pane class list, the registry of windows by
// movie, the tabs for the selected row and the one active pane. The window itself (table, columns,
// buttons, user defaults) is in property_inspector_window.cpp.
#include "inspectors/property_inspector_browser.h"

#include "document/document_windows.h"
#include "inspectors/pane_content_view.h"
#include "inspectors/pane_host.h"
#include "inspectors/property_browser_table_view.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/undo_manager.h"
#include "platform/winkit/control.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/text_field.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Movie → its window. Neither is kept alive by the registry: a controller leaves it when it goes.
std::map<const MVMovie*, std::weak_ptr<MVPPropertyInspectorBrowser>>& registry()
{
    static auto* windows = new std::map<const MVMovie*, std::weak_ptr<MVPPropertyInspectorBrowser>>();
    return *windows;
}

std::optional<std::vector<MVPPaneClass>>& paneClassList()
{
    static auto* classes = new std::optional<std::vector<MVPPaneClass>>();
    return *classes;
}

std::string browserString(const std::string& key)
{
    return HXLocalizedStringFromTable(key, "PropertyBrowser");
}

// Depth first, children before their parent.
void recursivelyDisableViews(HXView& view)
{
    for (const auto& subview : view.subviews())
        recursivelyDisableViews(*subview);
    if (auto* control = dynamic_cast<HXControl*>(&view))
        control->setEnabled(false);
}

// The view of the "unavailable" tab: a grey bold text centred in the tab area.
std::shared_ptr<HXView> makeUnavailableView(std::shared_ptr<HXTextField>& field)
{
    auto view = std::make_shared<HXView>(HXRect { {}, MVPPropertyBrowserMandatedSize });
    view->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    HXFont font = HXFont::boldSystemFontOfSize(21);
    double height = std::ceil(font.lineHeight()) + 4;
    field = std::make_shared<HXTextField>(
        HXRect { { 0, std::floor((MVPPropertyBrowserMandatedSize.height - height) / 2) },
            { MVPPropertyBrowserMandatedSize.width, height } });
    field->setFont(font);
    field->setTextColor(HXColor::grayColor());
    field->setAlignment(HXCenterTextAlignment);
    field->setSelectable(true);
    field->setEditable(false);
    field->setDrawsBackground(false);
    field->setBezeled(false);
    field->setBordered(false);
    field->setAutoresizingMask(HXViewWidthSizable | HXViewMinYMargin | HXViewMaxYMargin);
    view->addSubview(field);
    return view;
}

} // namespace

// ---- The pane class list and the registry ----

const std::vector<MVPPaneClass>& MVPPropertyInspectorBrowser::inspectorClasses()
{
    auto& list = paneClassList();
    if (!list) {
        std::vector<MVPPaneClass> classes;
        for (const std::string& folder : MVPPaneLoader::searchFolders())
            for (MVPPaneClass c : inspectorClassesAtPath(folder))
                if (std::find(classes.begin(), classes.end(), c) == classes.end())
                    classes.push_back(c);
        MVPPaneLoader::sortInspectorClasses(classes);
        list = std::move(classes);
    }
    return *list;
}

std::vector<MVPPaneClass> MVPPropertyInspectorBrowser::inspectorClassesAtPath(const std::string& path)
{
    return MVPPaneLoader::inspectorClassesAtPath(path, &MVPPlayerPaneHost::shared());
}

void MVPPropertyInspectorBrowser::setInspectorClasses(std::vector<MVPPaneClass> classes)
{
    paneClassList() = std::move(classes);
}

void MVPPropertyInspectorBrowser::associateBrowser(
    const std::shared_ptr<MVPPropertyInspectorBrowser>& browser, const MVMovie* movie)
{
    if (movie)
        registry()[movie] = browser;
}

void MVPPropertyInspectorBrowser::disassociateBrowser(
    const MVPPropertyInspectorBrowser* browser, const MVMovie* movie)
{
    auto& windows = registry();
    auto it = windows.find(movie);
    if (it == windows.end())
        return;
    auto present = it->second.lock();
    // A controller going away removes only its own entry (or one whose controller is gone already).
    if (!present || present.get() == browser)
        windows.erase(it);
}

void MVPPropertyInspectorBrowser::installDocumentPropertiesWindowMaker()
{
    MVPDocumentPropertiesWindow::setMaker(
        [](const std::shared_ptr<MVMovie>& movie) -> std::shared_ptr<HXWindowController> {
            return browserForMovie(movie);
        });
}

std::shared_ptr<MVPPropertyInspectorBrowser> MVPPropertyInspectorBrowser::browserForMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return nullptr;
    if (auto it = registry().find(movie.get()); it != registry().end())
        if (auto browser = it->second.lock())
            return browser;
    auto browser = std::make_shared<MVPPropertyInspectorBrowser>(movie);
    associateBrowser(browser, movie.get());
    return browser;
}

MVPPropertyInspectorBrowser::MVPPropertyInspectorBrowser(std::shared_ptr<MVMovie> movie)
    : _movie(std::move(movie))
{
    inspectorClasses();
    // The properties window never closes its document.
    setShouldCloseDocument(false);
    setShouldCascadeWindows(false);
    auto action = [this](const char* name, std::function<void()> f) {
        setActionHandler(name, [f = std::move(f)](HXObject*) { f(); });
    };
    action("deleteSelectedTracks:", [this] { deleteSelectedTracks(); });
    action("delete:", [this] { deleteSelectedTracks(); });
    action("deleteBackward:", [this] { deleteSelectedTracks(); });
    action("deleteForward:", [this] { deleteSelectedTracks(); });
    action("extractSelectedTracks:", [this] { extractSelectedTracks(); });
    action("moveLeft:", [this] { moveLeft(); });
    action("moveRight:", [this] { moveRight(); });
    setActionHandler("toggleTableColumn:", [this](HXObject* sender) {
        if (auto* item = dynamic_cast<HXMenuItem*>(sender))
            toggleTableColumn(*item);
    });
}

MVPPropertyInspectorBrowser::~MVPPropertyInspectorBrowser()
{
    // Going away closes the window as the close box would; a closed window has done that already (its
    // pane was stopped then and is only released now).
    if (_panel && _panel->isVisible()) {
        stopActiveInspector(true);
        writeUserDefaults();
        removeColumnMenuFromMainMenu();
        _panel->close();
    }
    if (_movieEditedObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_movieEditedObserver);
    if (_tableView) {
        _tableView->setCommandTarget(nullptr);
        _tableView->setMenuProvider(nullptr);
    }
    disassociateBrowser(this, _movie.get());
    if (_pane)
        _pane->setContentView(nullptr);
    _activeInspector.reset();
}

// ---- Inspected objects and tabs ----

MVPPaneClass MVPPropertyInspectorBrowser::paneClassNamed(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    for (MVPPaneClass c : inspectorClasses())
        if (c && c->className() == name)
            return c;
    return nullptr;
}

void MVPPropertyInspectorBrowser::setInspectedObjects(const std::vector<MVPInspectedObject>& objects)
{
    if (objects == _inspectedObjects)
        return;
    size_t oldCount = _inspectedObjects.size();
    size_t newCount = objects.size();
    _inspectedObjects = objects;
    if (oldCount == 1 || newCount == 1)
        updateTabView();
    if (newCount > 1 && _unavailableField)
        _unavailableField->setStringValue(HXString::format(browserString("multipleObjectsSelected"),
            std::vector<HXPropertyList> { HXPropertyList(int64_t(newCount)) }));
    updateButtons();
}

std::vector<std::shared_ptr<HXTabViewItem>> MVPPropertyInspectorBrowser::tabViewItemsForObject(
    const MVPInspectedObject& object) const
{
    std::vector<std::shared_ptr<HXTabViewItem>> items;
    for (MVPPaneClass c : inspectorClasses()) {
        if (!c || !c->canInspectObject(object))
            continue;
        auto item = std::make_shared<HXTabViewItem>(c->className());
        item->setLabel(c->propertyInspectorNameForObject(object));
        item->setView(_pane);
        items.push_back(item);
    }
    return items;
}

void MVPPropertyInspectorBrowser::stopActiveInspector(bool clearUndo)
{
    if (!_activeInspector)
        return;
    // The pane's view leaves the window before the pane itself goes.
    auto pane = std::move(_activeInspector);
    _activeInspector.reset();
    pane->stopInspection();
    if (clearUndo && _movie && _movie->undoManager())
        _movie->undoManager()->removeAllActions();
    if (_pane)
        _pane->setContentView(nullptr);
}

void MVPPropertyInspectorBrowser::updateTabView()
{
    if (!_tabView || !_pane)
        return;
    auto keep = shared_from_this();
    // Detach the present tabs from the shared container.
    for (const auto& item : _tabView->tabViewItems()) {
        item->setIdentifier({});
        item->setView(std::make_shared<HXView>());
    }
    _pane->setContentView(nullptr);
    // A rebuild drops the pane but keeps the undo history.
    if (_activeInspector) {
        auto pane = std::move(_activeInspector);
        _activeInspector.reset();
        pane->stopInspection();
    }

    _freezeInspectors = true;
    std::vector<std::shared_ptr<HXTabViewItem>> items;
    long index = 0;
    if (_inspectedObjects.size() == 1)
        items = tabViewItemsForObject(_inspectedObjects.front());
    if (items.empty()) {
        // Several objects, none, or one that no pane accepts: one greyed tab that says so.
        auto item = std::make_shared<HXTabViewItem>();
        item->setLabel(browserString("inspectorUnavailable"));
        item->setView(makeUnavailableView(_unavailableField));
        item->setColor(HXColor::disabledControlTextColor());
        items.push_back(item);
    } else {
        _unavailableField.reset();
        if (_lastFactory) {
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i]->identifier() == _lastFactory->className())
                    index = long(i);
        }
    }
    while (!_tabView->tabViewItems().empty())
        _tabView->removeTabViewItem(_tabView->tabViewItems().back());
    for (const auto& item : items)
        _tabView->addTabViewItem(item);
    _freezeInspectors = false;

    auto item = _tabView->tabViewItemAtIndex(index);
    if (!item)
        return;
    if (item == _tabView->selectedTabViewItem())
        runTabSelection(*item);
    else
        _tabView->selectTabViewItem(item);
}

void MVPPropertyInspectorBrowser::willSelectTabViewItem(HXTabView&, HXTabViewItem& item)
{
    if (_freezeInspectors)
        return;
    runTabSelection(item);
}

void MVPPropertyInspectorBrowser::runTabSelection(HXTabViewItem& item)
{
    // A tab change ends the old pane's edits for good: the document's history is cleared.
    stopActiveInspector(true);
    MVPPaneClass paneClass = paneClassNamed(item.identifier());
    if (!paneClass || _inspectedObjects.empty())
        return;
    auto inspector = paneClass->propertyInspectorForObject(_inspectedObjects.front());
    if (!inspector)
        return;
    _activeInspector = inspector;
    _pane->setMinSize(inspector->minViewSize());
    _pane->setMaxSize(inspector->maxViewSize());
    auto view = inspector->view();
    _pane->setContentView(view);
    inspector->startInspection();
    if (view && !MVPMovieCanBeSaved(_movie.get()))
        recursivelyDisableViews(*view);
    _lastFactory = paneClass;
}

void MVPPropertyInspectorBrowser::moveLeft(HXObject*)
{
    if (!_tabView || !_tabView->selectedTabViewItem())
        return;
    long index = _tabView->indexOfTabViewItem(_tabView->selectedTabViewItem());
    if (index > 0)
        _tabView->selectTabViewItemAtIndex(index - 1);
}

void MVPPropertyInspectorBrowser::moveRight(HXObject*)
{
    if (!_tabView || !_tabView->selectedTabViewItem())
        return;
    long index = _tabView->indexOfTabViewItem(_tabView->selectedTabViewItem());
    if (index + 1 < _tabView->numberOfTabViewItems())
        _tabView->selectTabViewItemAtIndex(index + 1);
}
