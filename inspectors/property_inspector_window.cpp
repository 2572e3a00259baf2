// The properties window itself: building it, the table of the movie and its tracks with its columns,
// deleting and extracting tracks, and the settings kept in the user defaults.
#include "inspectors/pane_content_view.h"
#include "inspectors/pane_host.h"
#include "inspectors/property_browser_table_view.h"
#include "inspectors/property_column_values.h"
#include "inspectors/property_inspector_browser.h"

#include "document/movie_additions.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/undo_manager.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/notifications.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/table_header_view.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <set>

namespace {

constexpr uint32_t kNoControllerType = 0x6E6F6E65; // 'none'
constexpr uint32_t kStandardControllerType = 0x00737464;

std::string browserString(const std::string& key)
{
    return HXLocalizedStringFromTable(key, "PropertyBrowser");
}

std::string columnTitle(const std::string& identifier)
{
    return HXLocalizedStringFromTable(identifier, "PropertyColumns");
}

HXPropertyList bundleList(const std::string& name)
{
    std::string path = HXBundle::mainBundle()->pathForResource(name, "plist");
    if (path.empty())
        return {};
    return HXPropertyList::readFromFile(path).value_or(HXPropertyList());
}

std::vector<std::string> stringsOf(const HXPropertyList& list)
{
    std::vector<std::string> out;
    if (list.isArray())
        for (const HXPropertyList& v : list.arrayValue())
            if (v.isString())
                out.push_back(v.stringValue());
    return out;
}

long indexOf(const std::vector<std::shared_ptr<HXTableColumn>>& columns, const HXTableColumn* column)
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].get() == column)
            return long(i);
    return -1;
}

} // namespace

bool MVPMovieCanBeSaved(const MVMovie* movie)
{
    return movie && movie->loadState() >= MVMovieLoadStatePlayable;
}

// ---- Building the window ----

void MVPPropertyInspectorBrowser::loadWindow()
{
    if (_panel)
        return;
    auto self = std::static_pointer_cast<MVPPropertyInspectorBrowser>(shared_from_this());
    HXFont smallFont = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());

    _pane = std::make_shared<MVPSizeConstrainedContentView>(HXRect { {}, MVPPropertyBrowserMandatedSize });

    _tabView = std::make_shared<HXTabView>(HXRect { {}, MVPPropertyBrowserMandatedSize });
    _tabView->setControlSize(HXSmallControlSize);
    _tabView->setFont(smallFont);
    _tabView->setDelegate(std::static_pointer_cast<HXTabViewDelegate>(self));
    // Grown so that its content area is exactly the mandated size.
    HXSize chrome { _tabView->bounds().size.width - _tabView->contentRect().size.width,
        _tabView->bounds().size.height - _tabView->contentRect().size.height };
    HXSize tabSize { MVPPropertyBrowserMandatedSize.width + chrome.width,
        MVPPropertyBrowserMandatedSize.height + chrome.height };
    _tabView->setFrame({ {}, tabSize });

    auto makeButton = [&](const std::string& title, const char* action) {
        auto button = std::make_shared<HXButton>(HXRect {}, title);
        button->setControlSize(HXSmallControlSize);
        button->setFont(smallFont);
        button->setButtonType(HXMomentaryLightButton);
        button->setBezelStyle(HXShadowlessSquareBezelStyle);
        button->sizeToFit();
        button->setTarget(self);
        button->setAction(action);
        button->setAutoresizingMask(HXViewMaxXMargin | HXViewMinYMargin);
        return button;
    };
    _extractButton = makeButton(browserString("extractButtonTitle"), "extractSelectedTracks:");
    _deleteButton = makeButton(browserString("deleteButtonTitle"), "deleteSelectedTracks:");
    double buttonHeight = std::max(_extractButton->frame().size.height, _deleteButton->frame().size.height);

    // Columns from the bundle's list.
    _columns.clear();
    _columnKeys.clear();
    for (const MVPPropertyColumn& definition : MVPPropertyColumnsFromList(bundleList("Columns"))) {
        auto column = MVPMakeTableColumn(definition, columnTitle(definition.identifier));
        _columns.push_back(column);
        _columnKeys.emplace_back(column.get(), std::make_shared<MVPPropertyColumn>(definition));
    }

    _tableView = std::make_shared<MVPPropertyBrowserTableView>(HXRect { {}, { tabSize.width, 100 } });
    _tableView->setControlSize(HXSmallControlSize);
    _tableView->setFont(smallFont);
    _tableView->setRowHeight(14);
    _tableView->setAllowsColumnReordering(true);
    _tableView->setAllowsColumnResizing(true);
    _tableView->setShowsGrid(true);
    _tableView->setUsesAlternatingRowBackgroundColors(true);
    _tableView->setAllowsMultipleSelection(true);
    _tableView->setAllowsEmptySelection(false);
    for (const auto& column : _columns)
        _tableView->addTableColumn(column);
    _tableView->setDataSource(std::static_pointer_cast<HXTableViewDataSource>(self));
    _tableView->setDelegate(std::static_pointer_cast<HXTableViewDelegate>(self));
    _tableView->setCommandTarget(this);
    _tableView->setMenuProvider([this] { return menuForTableColumns(); });
    // Four rows show.
    double tableHeight = HXTableHeaderView::headerHeight()
        + 4 * (_tableView->rowHeight() + _tableView->intercellSpacing().height);

    auto scroll = std::make_shared<HXScrollView>(
        HXRect { { -1, tabSize.height + 4 }, { tabSize.width + 2, tableHeight } });
    scroll->setHasVerticalScroller(true);
    scroll->setHasHorizontalScroller(true);
    scroll->setAutohidesScrollers(true);
    scroll->setDrawsBorder(true);
    scroll->setDocumentView(_tableView);
    scroll->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);

    _tabView->setAutoresizingMask(HXViewWidthSizable | HXViewMaxYMargin);
    double buttonY = tabSize.height + 4 + tableHeight + 4;
    _extractButton->setFrame({ { 4, buttonY }, { _extractButton->frame().size.width, buttonHeight } });
    _deleteButton->setFrame({ { 4 + _extractButton->frame().size.width - 1, buttonY },
        { _deleteButton->frame().size.width, buttonHeight } });

    HXSize contentSize { tabSize.width, buttonY + buttonHeight + 4 };
    auto panel = std::make_shared<HXPanel>(HXRect { {}, contentSize },
        HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask | HXResizableWindowMask);
    panel->setReleasedWhenClosed(false);
    panel->setHidesOnDeactivate(false);
    panel->setContentMinSize(contentSize);
    auto content = panel->contentView();
    content->addSubview(_tabView);
    content->addSubview(scroll);
    content->addSubview(_extractButton);
    content->addSubview(_deleteButton);
    panel->center();
    _panel = panel;
    _initialFrameSize = panel->frame().size;

    std::weak_ptr<MVPPropertyInspectorBrowser> weak = self;
    _movieEditedObserver = HXNotificationCenter::defaultCenter().addObserver(
        this, MVMovieEditedNotification, _movie.get(), [weak](const HXNotification&) {
            if (auto browser = weak.lock())
                browser->movieEdited();
        });

    setWindow(panel);
    panel->setTitle(windowTitleForDocumentDisplayName(_movie ? _movie->displayName() : std::string()));
    // The last used pane is known before the first row is shown, so the window opens on it.
    HXPropertyList::Dictionary settings
        = HXUserDefaults::standardUserDefaults().dictionaryForKey(MVPPropertyBrowserDefaultsKey);
    if (auto it = settings.find("Last Factory"); it != settings.end())
        if (MVPPaneClass c = paneClassNamed(it->second.stringValue()))
            _lastFactory = c;
    movieEdited();
    readUserDefaults();
}

void MVPPropertyInspectorBrowser::showWindow(HXObject* sender)
{
    if (_panel) {
        // Shown again after a close: the pane that was stopped then starts again.
        if (_activeInspector && !_panel->isVisible())
            _activeInspector->startInspection();
    } else {
        loadWindow();
    }
    HXWindowController::showWindow(sender);
}

std::string MVPPropertyInspectorBrowser::windowTitleForDocumentDisplayName(const std::string& displayName)
{
    std::string name = displayName.empty() ? browserString("untitledMovie") : displayName;
    return HXString::format(browserString("browserTitle"), std::vector<std::string> { name });
}

void MVPPropertyInspectorBrowser::synchronizeWindowTitleWithDocumentName()
{
    if (!_panel)
        return;
    std::string name = _movie ? _movie->displayName() : std::string();
    if (auto doc = document(); doc && name.empty())
        name = doc->displayName();
    _panel->setTitle(windowTitleForDocumentDisplayName(name));
}

void MVPPropertyInspectorBrowser::windowWillClose(HXWindow&)
{
    // The pane stays; it is stopped now and started again when the window shows again. The document
    // keeps this window: closing it never closes the document.
    if (_activeInspector) {
        _activeInspector->stopInspection();
        if (_movie && _movie->undoManager())
            _movie->undoManager()->removeAllActions();
    }
    removeColumnMenuFromMainMenu();
    writeUserDefaults();
}

HXUndoManager* MVPPropertyInspectorBrowser::windowWillReturnUndoManager(HXWindow&)
{
    return _movie ? _movie->undoManager() : nullptr;
}

// ---- Validation and actions ----

bool MVPPropertyInspectorBrowser::canEditTracks() const
{
    if (!MVPMovieCanBeSaved(_movie.get()) || !_movie->isEditable())
        return false;
    return _inspectedObjects.size() > 1
        || (_inspectedObjects.size() == 1 && _inspectedObjects.front().isTrack());
}

bool MVPPropertyInspectorBrowser::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    const std::string& name = item.action().name();
    if (name == "delete:" || name == "deleteBackward:" || name == "deleteForward:"
        || name == "extractSelectedTracks:" || name == "deleteSelectedTracks:")
        return canEditTracks();
    if (respondsToAction(item.action()))
        return name == "moveLeft:" || name == "moveRight:" || name == "toggleTableColumn:";
    return HXWindowController::validateUserInterfaceItem(item);
}

bool MVPPropertyInspectorBrowser::validateMenuItem(HXMenuItem& item)
{
    if (item.tag() != MVPColumnMenuItemTag)
        return validateUserInterfaceItem(item);
    auto column = item.representedObject().has_value()
        ? std::any_cast<std::shared_ptr<HXTableColumn>>(&item.representedObject())
        : nullptr;
    bool visible = column && _tableView && indexOf(_tableView->tableColumns(), column->get()) >= 0;
    item.setState(visible ? 1 : 0);
    // The last column shown stays.
    return !(visible && _tableView->numberOfColumns() == 1);
}

void MVPPropertyInspectorBrowser::updateButtons()
{
    bool enabled = canEditTracks();
    if (_extractButton)
        _extractButton->setEnabled(enabled);
    if (_deleteButton)
        _deleteButton->setEnabled(enabled);
}

std::vector<std::shared_ptr<MVTrack>> MVPPropertyInspectorBrowser::inspectedTracks() const
{
    std::vector<std::shared_ptr<MVTrack>> tracks;
    for (const MVPInspectedObject& o : _inspectedObjects)
        if (o.isTrack() && o.track()->movie() == _movie)
            tracks.push_back(o.track());
    return tracks;
}

void MVPPropertyInspectorBrowser::deleteSelectedTracks(HXObject*)
{
    // The delete keys reach here without the menu's validation.
    if (canEditTracks())
        deleteTracks(inspectedTracks());
}

void MVPPropertyInspectorBrowser::extractSelectedTracks(HXObject*)
{
    if (canEditTracks())
        extractTracks(_inspectedObjects);
}

namespace {

// The movie's own controller type, undoably (when no document shows the movie).
void setControllerTypeWithUndo(const std::shared_ptr<MVMovie>& movie, uint32_t type)
{
    uint32_t old = movie->controllerType();
    if (old == type)
        return;
    if (HXUndoManager* undo = movie->undoManager()) {
        std::weak_ptr<MVMovie> weak = movie;
        undo->registerUndo(movie.get(), [weak, old] {
            if (auto m = weak.lock())
                setControllerTypeWithUndo(m, old);
        });
    }
    movie->setControllerType(type);
}

// Returns the movie to `state` and tells everyone showing it (the undo of a deletion).
void restoreEditState(const std::weak_ptr<MVMovie>& weak, const MVPMovieEditState& state)
{
    if (auto movie = weak.lock()) {
        MVPMovieAdditions::useEditState(movie, state);
        movie->movieChanged();
    }
}

} // namespace

void MVPPropertyInspectorBrowser::deleteTracks(const std::vector<std::shared_ptr<MVTrack>>& tracks)
{
    if (tracks.empty() || !_movie)
        return;
    auto keep = shared_from_this();
    auto movie = _movie;
    auto document = MVPPlayerPaneHost::documentForMovie(movie);
    HXUndoManager* undo = movie->undoManager();
    if (undo)
        undo->beginUndoGrouping();
    uint32_t type = document ? document->movieControllerType() : movie->controllerType();
    auto setType = [&](uint32_t t) {
        if (document)
            document->setMovieControllerType(t);
        else
            setControllerTypeWithUndo(movie, t);
    };
    if (type == kNoControllerType)
        setType(kStandardControllerType);
    if (undo) {
        std::weak_ptr<MVMovie> weak = movie;
        undo->registerUndo(movie.get(),
            [weak, state = MVPMovieAdditions::editState(*movie)] { restoreEditState(weak, state); });
        undo->setActionName(
            browserString(tracks.size() == 1 ? "deleteTrackOperation" : "deleteTracksOperation"));
    }
    for (const auto& track : tracks)
        movie->removeTrack(track);
    // Without a controller a movie needs a picture; one whose last picture went keeps the standard one.
    auto [width, height] = movie->naturalSize();
    if (type == kNoControllerType && width > 0 && height > 0)
        setType(kNoControllerType);
    if (undo)
        undo->endUndoGrouping();
    movie->movieChanged();
}

void MVPPropertyInspectorBrowser::extractTracks(const std::vector<MVPInspectedObject>& objects)
{
    if (!_movie)
        return;
    MVBytes data = _movie->movieFormatRepresentation();
    if (data.empty())
        return;
    auto extracted = MVMovie::movieWithData(data, nullptr, _movie->fileName());
    if (!extracted)
        return;
    bool withMovie = std::any_of(
        objects.begin(), objects.end(), [](const MVPInspectedObject& o) { return o.isMovie(); });
    if (!withMovie)
        MVPMovieAdditions::clearMetaData(*extracted);
    std::set<uint32_t> kept;
    for (const MVPInspectedObject& o : objects)
        if (o.isTrack())
            kept.insert(o.track()->trackID());
    for (const auto& track : _movie->tracks())
        if (!kept.count(track->trackID()))
            if (auto copy = extracted->trackByID(track->trackID()))
                extracted->removeTrack(copy);
    auto document = MVPMovieDocument::movieDocumentWithMVMovie(extracted);
    if (!document)
        return;
    HXDocumentController::sharedDocumentController()->addDocument(document);
    document->makeWindowControllers();
    document->updateChangeCount(HXChangeDone);
    document->showWindows();
}

// ---- Column menu ----

std::shared_ptr<HXMenu> MVPPropertyInspectorBrowser::menuForTableColumns()
{
    auto menu = std::make_shared<HXMenu>(columnTitle("Columns"));
    auto self = shared_from_this();
    for (const auto& column : _columns) {
        auto item = std::make_shared<HXMenuItem>(columnTitle(column->identifier()), "toggleTableColumn:", "");
        item->setTag(MVPColumnMenuItemTag);
        item->setRepresentedObject(column);
        item->setTarget(self);
        menu->addItem(item);
    }
    return menu;
}

void MVPPropertyInspectorBrowser::toggleTableColumn(HXMenuItem& item)
{
    if (!_tableView || !item.representedObject().has_value())
        return;
    auto column = std::any_cast<std::shared_ptr<HXTableColumn>>(&item.representedObject());
    if (!column || !*column)
        return;
    const auto& shown = _tableView->tableColumns();
    if (indexOf(shown, column->get()) >= 0) {
        if (_tableView->numberOfColumns() > 1)
            _tableView->removeTableColumn(*column);
        return;
    }
    // Back at its place in the user's order: before the first shown column that follows it there.
    long position = _tableView->numberOfColumns();
    long start = indexOf(_columns, column->get());
    for (size_t i = size_t(start + 1); start >= 0 && i < _columns.size(); ++i) {
        long at = indexOf(shown, _columns[i].get());
        if (at >= 0) {
            position = at;
            break;
        }
    }
    _ignoreColumnMoves = true;
    _tableView->addTableColumn(*column);
    _tableView->moveColumn(_tableView->numberOfColumns() - 1, position);
    _ignoreColumnMoves = false;
}

void MVPPropertyInspectorBrowser::addColumnMenuToMainMenu()
{
    if (_mainMenuColumnsItem || !HXApplication::hasSharedApplication())
        return;
    auto main = HXApp().mainMenu();
    auto target = main ? main->itemAtIndex(3) : nullptr;
    auto submenu = target ? target->submenu() : nullptr;
    if (!submenu)
        return;
    _mainMenuSeparator = HXMenuItem::separatorItem();
    _mainMenuColumnsItem = std::make_shared<HXMenuItem>(columnTitle("Columns"), HXSelector(), "");
    _mainMenuColumnsItem->setTag(MVPColumnMenuItemTag);
    _mainMenuColumnsItem->setSubmenu(menuForTableColumns());
    submenu->addItem(_mainMenuSeparator);
    submenu->addItem(_mainMenuColumnsItem);
}

void MVPPropertyInspectorBrowser::removeColumnMenuFromMainMenu()
{
    if (!_mainMenuColumnsItem)
        return;
    if (auto menu = _mainMenuColumnsItem->menu()) {
        menu->removeItem(_mainMenuColumnsItem);
        menu->removeItem(_mainMenuSeparator);
    }
    _mainMenuColumnsItem.reset();
    _mainMenuSeparator.reset();
}

void MVPPropertyInspectorBrowser::panelGainedFocus()
{
    addColumnMenuToMainMenu();
}

void MVPPropertyInspectorBrowser::panelLostFocus()
{
    removeColumnMenuFromMainMenu();
    writeUserDefaults();
}

// ---- Rows ----

std::shared_ptr<MVPPropertyColumn> MVPPropertyInspectorBrowser::columnSpec(const HXTableColumn* column) const
{
    for (const auto& [c, definition] : _columnKeys)
        if (c == column)
            return definition;
    return nullptr;
}

void MVPPropertyInspectorBrowser::sortObjects()
{
    if (_sortDescriptors.empty())
        return;
    std::stable_sort(
        _objects.begin(), _objects.end(), [this](const MVPInspectedObject& a, const MVPInspectedObject& b) {
            for (const MVPSortDescriptor& d : _sortDescriptors) {
                int r = MVPComparePropertyValues(
                    MVPPropertyValueForKey(a, d.key), MVPPropertyValueForKey(b, d.key));
                if (r != 0)
                    return d.ascending ? r < 0 : r > 0;
            }
            return false;
        });
}

void MVPPropertyInspectorBrowser::selectInspectedRows()
{
    if (!_tableView)
        return;
    HXIndexSet rows;
    for (size_t i = 0; i < _objects.size(); ++i)
        if (std::find(_inspectedObjects.begin(), _inspectedObjects.end(), _objects[i])
            != _inspectedObjects.end())
            rows.insert(long(i));
    _selectingRows = true;
    _tableView->selectRowIndexes(rows, false);
    _selectingRows = false;
}

void MVPPropertyInspectorBrowser::movieEdited()
{
    auto keep = shared_from_this();
    if (_tableView)
        _tableView->abortEditing();
    _objects.clear();
    if (_movie) {
        _objects.emplace_back(_movie);
        for (const auto& track : _movie->tracks())
            _objects.emplace_back(track);
    }
    sortObjects();
    std::vector<MVPInspectedObject> inspected;
    for (const MVPInspectedObject& o : _inspectedObjects)
        if (std::find(_objects.begin(), _objects.end(), o) != _objects.end())
            inspected.push_back(o);
    if (inspected.empty() && _movie)
        inspected.emplace_back(_movie);
    setInspectedObjects(inspected);
    if (_tableView) {
        _tableView->reloadData();
        selectInspectedRows();
    }
    synchronizeWindowTitleWithDocumentName();
}

void MVPPropertyInspectorBrowser::setSortDescriptors(const std::vector<MVPSortDescriptor>& descriptors)
{
    _sortDescriptors = descriptors;
    sortObjects();
    if (_tableView) {
        _tableView->reloadData();
        selectInspectedRows();
    }
}

long MVPPropertyInspectorBrowser::numberOfRowsInTableView(HXTableView&)
{
    return long(_objects.size());
}

HXPropertyList MVPPropertyInspectorBrowser::objectValueForTableColumn(
    HXTableView&, HXTableColumn* column, long row)
{
    auto definition = columnSpec(column);
    if (!definition || row < 0 || size_t(row) >= _objects.size())
        return {};
    return MVPPropertyValueForKey(_objects[size_t(row)], definition->key);
}

void MVPPropertyInspectorBrowser::setObjectValue(
    HXTableView& table, const HXPropertyList& value, HXTableColumn* column, long row)
{
    auto definition = columnSpec(column);
    if (!definition || row < 0 || size_t(row) >= _objects.size() || !shouldEditTableColumn(table, column, row))
        return;
    if (MVPSetPropertyValueForKey(_objects[size_t(row)], value, definition->key))
        table.setNeedsDisplay(true);
}

bool MVPPropertyInspectorBrowser::shouldEditTableColumn(HXTableView&, HXTableColumn* column, long)
{
    return MVPMovieCanBeSaved(_movie.get()) && column && column->isEditable();
}

void MVPPropertyInspectorBrowser::tableViewSelectionDidChange(HXTableView& table)
{
    if (_selectingRows)
        return;
    std::vector<MVPInspectedObject> selected;
    for (long row : table.selectedRowIndexes())
        if (row >= 0 && size_t(row) < _objects.size())
            selected.push_back(_objects[size_t(row)]);
    setInspectedObjects(selected);
}

void MVPPropertyInspectorBrowser::columnDidMove(HXTableView& table, long, long newIndex)
{
    if (_ignoreColumnMoves || newIndex < 0 || newIndex >= table.numberOfColumns())
        return;
    auto moved = table.tableColumns()[size_t(newIndex)];
    long from = indexOf(_columns, moved.get());
    if (from < 0)
        return;
    _columns.erase(_columns.begin() + from);
    if (newIndex + 1 < table.numberOfColumns()) {
        long before = indexOf(_columns, table.tableColumns()[size_t(newIndex + 1)].get());
        _columns.insert(before >= 0 ? _columns.begin() + before : _columns.end(), moved);
    } else {
        _columns.push_back(moved);
    }
}

void MVPPropertyInspectorBrowser::didClickTableColumn(HXTableView&, HXTableColumn* column)
{
    auto definition = columnSpec(column);
    if (!definition || definition->sortKey.empty())
        return;
    std::vector<MVPSortDescriptor> descriptors = _sortDescriptors;
    if (!descriptors.empty() && descriptors.front().key == definition->sortKey) {
        descriptors.front().ascending = !descriptors.front().ascending;
    } else {
        std::erase_if(descriptors, [&](const MVPSortDescriptor& d) { return d.key == definition->sortKey; });
        descriptors.insert(descriptors.begin(), { definition->sortKey, true });
    }
    setSortDescriptors(descriptors);
}

// ---- User defaults ----

void MVPPropertyInspectorBrowser::readUserDefaults()
{
    HXPropertyList settings(
        HXUserDefaults::standardUserDefaults().dictionaryForKey(MVPPropertyBrowserDefaultsKey));
    if (MVPPaneClass c = paneClassNamed(settings["Last Factory"].stringValue()))
        _lastFactory = c;
    if (!_tableView)
        return;

    std::vector<std::string> ordered;
    if (settings["Ordered Columns"].isArray()) {
        ordered = stringsOf(settings["Ordered Columns"]);
        // Each one to the front, from the last to the first: the table ends in the saved order, and
        // every move brings the full column list along with it.
        for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) {
            long at = _tableView->columnWithIdentifier(*it);
            if (at > 0)
                _tableView->moveColumn(at, 0);
        }
    } else {
        for (const auto& column : _columns)
            ordered.push_back(column->identifier());
    }

    for (const auto& [identifier, width] : settings["Column Widths"].dictionaryValue())
        if (auto column = _tableView->tableColumnWithIdentifier(identifier); column && width.isNumber())
            column->setWidth(width.realValue());

    HXPropertyList visibleList = settings["Visible Columns"];
    if (!visibleList.isArray())
        visibleList = bundleList("DefaultColumns");
    if (visibleList.isArray()) {
        std::vector<std::string> visible = stringsOf(visibleList);
        for (const std::string& identifier : ordered)
            if (std::find(visible.begin(), visible.end(), identifier) == visible.end())
                if (auto column = _tableView->tableColumnWithIdentifier(identifier);
                    column && _tableView->numberOfColumns() > 1)
                    _tableView->removeTableColumn(column);
    }

    if (settings["Sort Descriptors"].isArray()) {
        std::vector<MVPSortDescriptor> descriptors;
        for (const HXPropertyList& d : settings["Sort Descriptors"].arrayValue())
            if (d["key"].isString())
                descriptors.push_back(
                    { d["key"].stringValue(), !d.contains("ascending") || d["ascending"].boolValue() });
        setSortDescriptors(descriptors);
    }

    if (settings["Frame"].isString() && _panel) {
        HXRect frame = HXRectFromString(settings["Frame"].stringValue());
        frame.size.width = std::max(frame.size.width, _initialFrameSize.width);
        frame.size.height = std::max(frame.size.height, _initialFrameSize.height);
        _panel->setFrame(frame, true);
    }
}

void MVPPropertyInspectorBrowser::writeUserDefaults()
{
    HXPropertyList::Dictionary settings;
    if (_lastFactory)
        settings["Last Factory"] = _lastFactory->className();
    if (_panel)
        settings["Frame"] = HXStringFromRect(_panel->frame());
    if (!_sortDescriptors.empty()) {
        HXPropertyList::Array descriptors;
        for (const MVPSortDescriptor& d : _sortDescriptors)
            descriptors.push_back(
                HXPropertyList::Dictionary { { "key", d.key }, { "ascending", d.ascending } });
        settings["Sort Descriptors"] = descriptors;
    }
    HXPropertyList::Array ordered, visible;
    HXPropertyList::Dictionary widths;
    for (const auto& column : _columns) {
        ordered.push_back(column->identifier());
        widths[column->identifier()] = column->width();
    }
    if (_tableView)
        for (const auto& column : _tableView->tableColumns())
            visible.push_back(column->identifier());
    settings["Ordered Columns"] = ordered;
    settings["Visible Columns"] = visible;
    settings["Column Widths"] = widths;
    HXUserDefaults::standardUserDefaults().setObject(settings, MVPPropertyBrowserDefaultsKey);
}
