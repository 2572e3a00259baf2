#include "app/favorites_controller.h"

#include "app/application_delegate.h"
#include "app/document_controller.h"
#include "app/image_and_text_cell.h"
#include "core/preferences.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/font.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/table_column.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr const char* kFavoritesTable = "Localizable";
constexpr double kListFontSize = 11.0;
const HXSelector kDoubleClickedItem("doubleClickedItem:");

std::unique_ptr<std::shared_ptr<MVPFavoritesController>>& sharedSlot()
{
    static std::unique_ptr<std::shared_ptr<MVPFavoritesController>> slot;
    return slot;
}

std::string localized(const std::string& key)
{
    return HXLocalizedStringFromTable(key, kFavoritesTable);
}

HXFont listFont()
{
    return HXFont::fontWithName("LucidaGrande", kListFontSize);
}

std::string nameOf(const HXPropertyList::Dictionary& entry)
{
    auto name = entry.find(MVPFavoriteDocumentNameAttribute);
    return name == entry.end() ? std::string() : name->second.stringValue();
}

} // namespace

// The shared controller

MVPFavoritesController& MVPFavoritesController::favoritesController()
{
    auto& slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<std::shared_ptr<MVPFavoritesController>>(
            std::make_shared<MVPFavoritesController>());
    return **slot;
}

bool MVPFavoritesController::hasFavoritesController()
{
    return sharedSlot() != nullptr;
}

void MVPFavoritesController::resetFavoritesController()
{
    sharedSlot().reset();
}

MVPFavoritesController::MVPFavoritesController()
{
    setActionHandler(kDoubleClickedItem, [this](HXObject*) { doubleClickedItem(); });
}

MVPFavoritesController::~MVPFavoritesController()
{
    for (auto token : _panelObservers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    if (_favoritesPanel && _favoritesPanel->isVisible())
        _favoritesPanel->orderOut();
}

// The list

MVPFavoritesController::List& MVPFavoritesController::favoriteDocuments()
{
    readFavoriteDocumentsIfNecessary();
    return *_favoriteDocuments;
}

void MVPFavoritesController::readFavoriteDocumentsIfNecessary()
{
    if (_favoriteDocuments)
        return;
    List list;
    for (auto& value : HXUserDefaults::standardUserDefaults().arrayForKey(MVPFavoriteDocumentsUserDefault)) {
        if (value.isDictionary())
            list.push_back(value);
    }
    _favoriteDocuments = std::move(list);
}

void MVPFavoritesController::setFavoriteDocuments(List list)
{
    _favoriteDocuments = std::move(list);
}

void MVPFavoritesController::noteNewFavoriteDocumentWithAttributes(const Entry& entry)
{
    if (!MVPRecentDocuments::hasRequiredKeys(entry))
        return;
    auto& list = favoriteDocuments();
    std::erase(list, HXPropertyList(entry));
    list.push_back(HXPropertyList(entry));
    writeFavorites();
}

void MVPFavoritesController::insertNewFavoriteDocumentWithAttributes(const Entry& entry, long index)
{
    if (!MVPRecentDocuments::hasRequiredKeys(entry))
        return;
    auto& list = favoriteDocuments();
    HXPropertyList value(entry);
    // An entry already listed moves to where it was put, counted as if it had left its place first.
    auto existing = std::find(list.begin(), list.end(), value);
    if (existing != list.end()) {
        long from = long(existing - list.begin());
        list.erase(existing);
        if (index > from)
            --index;
    }
    if (index < 0 || index > long(list.size()))
        index = long(list.size());
    list.insert(list.begin() + index, value);
    writeFavorites();
}

MVPFavoritesController::Entry MVPFavoritesController::entryForMovie(
    const std::string& name, const MVDataReference& reference)
{
    return Entry {
        { MVPFavoriteDocumentNameAttribute, HXPropertyList(name) },
        { MVPFavoriteDocumentDataRefAttribute, HXPropertyList(HXData(reference.dataReference())) },
        { MVPFavoriteDocumentDataRefTypeAttribute,
            HXPropertyList(MVStringForOSType(reference.dataReferenceType())) },
    };
}

void MVPFavoritesController::addFavoriteDocument(const std::shared_ptr<HXDocument>& document)
{
    auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(document);
    if (!movieDoc || !movieDoc->movie())
        return;
    const auto& movie = movieDoc->movie();
    const auto& reference = movie->initialDataReference();
    if (reference.kind() != MVDataReference::Kind::File && reference.kind() != MVDataReference::Kind::URL)
        return; // a movie made in memory has no place to come back to
    noteNewFavoriteDocumentWithAttributes(entryForMovie(movie->displayName(), reference));
    reloadFavorites();
}

void MVPFavoritesController::writeFavorites()
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(favoriteDocuments()), MVPFavoriteDocumentsUserDefault);
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVPFavoritesDidChange, this));
}

void MVPFavoritesController::reloadFavorites()
{
    if (_favoritesOutlineView)
        _favoritesOutlineView->reloadData();
}

std::string MVPFavoritesController::locationOfEntry(const Entry& entry)
{
    auto reference = MVPRecentDocuments::dataReferenceOfEntry(entry);
    auto url = reference ? reference->referenceURL() : std::nullopt;
    if (!url)
        return nameOf(entry);
    return url->isFileURL() ? url->path() : url->absoluteString();
}

void MVPFavoritesController::openFavoriteDocument(const Entry* entry)
{
    if (!entry)
        return;
    auto reference = MVPRecentDocuments::dataReferenceOfEntry(*entry);
    if (reference) {
        bool newPlayers
            = MVPPreferences::preferences().preference(kGeneralPreferenceOpenMoviesInNewPlayers).boolValue();
        auto delegate = MVPApplicationDelegate::sharedDelegate();
        auto player = delegate ? delegate->currentMovieDocumentExcludingContentGuide() : nullptr;
        if (!newPlayers && player && !player->isDocumentEdited()) {
            MVPReplaceWithDataReference(player, *reference);
            return;
        }
        auto controller = HXDocumentController::sharedDocumentController();
        for (auto& doc : controller->documents()) {
            auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc);
            if (movieDoc && movieDoc->movie() && movieDoc->movie()->initialDataReference() == *reference) {
                movieDoc->showWindows();
                return;
            }
        }
        if (auto doc = MVPMovieDocument::movieDocumentWithDataReference(*reference, nullptr)) {
            controller->addDocument(doc);
            doc->makeWindowControllers();
            doc->updateChangeCount(HXChangeCleared);
            doc->showWindows();
            return;
        }
    }
    // The entry stays: the file may come back (a disk not mounted, a server away).
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(localized("fileNotFound"));
    alert->addButtonWithTitle("OK");
    alert->addButtonWithTitle(localized("mvpCancel"));
    alert->runModal();
}

std::string MVPFavoritesController::deleteConfirmationMessage(const std::vector<std::string>& names)
{
    if (names.size() == 1)
        return localized("deleteConfirmation") + " \"" + names.front() + "\" " + localized("questionMark")
            + "\n\n" + localized("undoneMessage");
    return localized("deleteMultipleConfirmation") + " \n" + localized("undoneMessage");
}

// Selection and requests

const MVPFavoritesController::Entry* MVPFavoritesController::entryAtRow(long row) const
{
    if (!_favoriteDocuments || row < 0 || row >= long(_favoriteDocuments->size()))
        return nullptr;
    const auto& value = (*_favoriteDocuments)[size_t(row)];
    return value.isDictionary() ? &value.dictionaryValue() : nullptr;
}

std::vector<MVPFavoritesController::Entry> MVPFavoritesController::allSelectedItems() const
{
    std::vector<Entry> entries;
    if (!_favoritesOutlineView)
        return entries;
    for (long row : _favoritesOutlineView->selectedRowIndexes()) {
        if (const auto* entry = entryAtRow(row))
            entries.push_back(*entry);
    }
    return entries;
}

void MVPFavoritesController::doubleClickedItem()
{
    // Opening may replace the list's entries' documents; work on copies.
    for (auto& entry : allSelectedItems())
        openFavoriteDocument(&entry);
}

std::optional<bool> MVPFavoritesController::mvOutlineViewOpenObjectsAtRows(
    MVOutlineView&, const HXIndexSet& rows)
{
    std::vector<Entry> entries;
    for (long row : rows) {
        if (const auto* entry = entryAtRow(row))
            entries.push_back(*entry);
    }
    for (auto& entry : entries)
        openFavoriteDocument(&entry);
    return true;
}

void MVPFavoritesController::deleteRows(const HXIndexSet& rows)
{
    auto& list = favoriteDocuments();
    // From the last row up, so the earlier rows keep their places.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (*row >= 0 && *row < long(list.size()))
            list.erase(list.begin() + *row);
    }
    if (_favoritesOutlineView)
        _favoritesOutlineView->deselectAll();
    reloadFavorites();
    writeFavorites();
}

std::optional<bool> MVPFavoritesController::mvOutlineViewDeleteObjectsAtRows(
    MVOutlineView&, const HXIndexSet& rows)
{
    deleteRows(rows);
    return true;
}

std::optional<bool> MVPFavoritesController::mvOutlineViewDeleteObjectsAtRows(
    MVOutlineView& view, const HXIndexSet& rows, bool confirmDialog)
{
    if (!confirmDialog)
        return mvOutlineViewDeleteObjectsAtRows(view, rows);
    std::vector<std::string> names;
    for (long row : rows) {
        if (const auto* entry = entryAtRow(row))
            names.push_back(nameOf(*entry));
    }
    if (names.empty())
        return false;
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(deleteConfirmationMessage(names));
    alert->addButtonWithTitle("OK");
    alert->addButtonWithTitle(localized("cancelTitle"));
    if (alert->runModal() != HXAlertFirstButtonReturn)
        return false;
    deleteRows(rows);
    return true;
}

// The outline's data source and delegate

long MVPFavoritesController::numberOfChildrenOfItem(HXOutlineView&, const HXOutlineItem& item)
{
    return item ? 0 : long(favoriteDocuments().size());
}

HXOutlineItem MVPFavoritesController::child(HXOutlineView&, long index, const HXOutlineItem&)
{
    // One level: an item is its row number.
    return std::make_shared<long>(index);
}

bool MVPFavoritesController::isItemExpandable(HXOutlineView&, const HXOutlineItem&)
{
    return false;
}

HXPropertyList MVPFavoritesController::objectValueForTableColumn(
    HXOutlineView&, HXTableColumn* column, const HXOutlineItem& item)
{
    const Entry* entry = item ? entryAtRow(*std::static_pointer_cast<long>(item)) : nullptr;
    if (!entry || !column)
        return {};
    if (column->identifier() == iconColumn)
        return HXPropertyList(nameOf(*entry));
    if (column->identifier() == urlColumn)
        return HXPropertyList(locationOfEntry(*entry));
    return {};
}

bool MVPFavoritesController::shouldEditTableColumn(HXTableView&, HXTableColumn*, long)
{
    return false;
}

void MVPFavoritesController::willDisplayCell(HXTableView&, HXCell& cell, HXTableColumn* column, long row)
{
    cell.setFont(listFont());
    if (!column || column->identifier() != iconColumn)
        return;
    const Entry* entry = entryAtRow(row);
    auto reference = entry ? MVPRecentDocuments::dataReferenceOfEntry(*entry) : std::nullopt;
    if (!reference) {
        cell.setImage(nullptr);
        return;
    }
    bool file = reference->kind() == MVDataReference::Kind::File;
    cell.setImage(HXImage::imageNamed(file ? "FileIcon.tiff" : "URLIcon.tiff"));
}

// Dragging

bool MVPFavoritesController::writeItems(
    HXOutlineView&, const std::vector<HXOutlineItem>& items, HXPasteboard& pasteboard)
{
    std::vector<Entry> entries;
    for (auto& item : items) {
        if (const auto* entry = item ? entryAtRow(*std::static_pointer_cast<long>(item)) : nullptr)
            entries.push_back(*entry);
    }
    _draggedNodes = entries;
    writeEntries(entries, pasteboard);
    return true;
}

void MVPFavoritesController::writeEntries(const std::vector<Entry>& entries, HXPasteboard& pasteboard)
{
    std::vector<std::string> paths;
    std::string urls;
    for (auto& entry : entries) {
        auto reference = MVPRecentDocuments::dataReferenceOfEntry(entry);
        auto url = reference ? reference->referenceURL() : std::nullopt;
        if (!url)
            continue;
        if (url->isFileURL()) {
            paths.push_back(url->path());
        } else {
            // Every location travels, one a line.
            if (!urls.empty())
                urls += "\n";
            urls += url->absoluteString();
        }
    }
    std::vector<std::string> types;
    if (!paths.empty())
        types.push_back(HXFilenamesPboardType);
    if (!urls.empty())
        types.push_back(HXStringPboardType);
    pasteboard.declareTypes(types, nullptr);
    if (!paths.empty())
        pasteboard.setFileNames(paths);
    if (!urls.empty())
        pasteboard.setString(urls, HXStringPboardType);
}

void MVPFavoritesController::pasteboardProvideDataForType(HXPasteboard&, const std::string&)
{
    // Everything is written when the drag starts.
}

unsigned MVPFavoritesController::draggingEntered(HXDraggingInfo& info)
{
    auto pasteboard = info.draggingPasteboard();
    if (!pasteboard || pasteboard->availableTypeFromArray({ HXFilenamesPboardType }).empty())
        return HXDragOperationNone;
    unsigned mask = info.draggingSourceOperationMask();
    if (mask & HXDragOperationLink)
        return HXDragOperationLink;
    if (mask & HXDragOperationCopy)
        return HXDragOperationCopy;
    return HXDragOperationNone;
}

unsigned MVPFavoritesController::validateDrop(
    HXOutlineView&, HXDraggingInfo&, const HXOutlineItem&, long childIndex)
{
    if (favoriteDocuments().empty() || childIndex != HXOutlineViewDropOnItemIndex)
        return HXDragOperationGeneric;
    return HXDragOperationNone;
}

bool MVPFavoritesController::acceptDrop(
    HXOutlineView&, HXDraggingInfo& info, const HXOutlineItem&, long childIndex)
{
    performDropOperation(info, childIndex);
    return true;
}

void MVPFavoritesController::performDropOperation(HXDraggingInfo& info, long index)
{
    auto pasteboard = info.draggingPasteboard();
    auto* source = info.draggingSource();
    bool fromList = source && _favoritesOutlineView
        && source == static_cast<HXDraggingSource*>(_favoritesOutlineView.get());
    bool hasFiles = pasteboard && !pasteboard->availableTypeFromArray({ HXFilenamesPboardType }).empty();

    if (!fromList && hasFiles) {
        if (!(info.draggingSourceOperationMask() & HXDragOperationLink))
            return;
        for (auto& path : pasteboard->fileNames()) {
            if (!MVMovie::canInitWithFile(path))
                continue; // not a movie
            // Links lead to the file itself (this system's form of an alias).
            std::error_code ec;
            std::string resolved = path;
            if (std::filesystem::is_symlink(path, ec)) {
                auto target = std::filesystem::canonical(path, ec);
                if (!ec && std::filesystem::is_regular_file(target, ec))
                    resolved = target.string();
            }
            HXError error;
            auto movie = MVMovie::movieWithFile(resolved, &error);
            if (!movie)
                continue;
            insertNewFavoriteDocumentWithAttributes(
                entryForMovie(movie->displayName(), movie->initialDataReference()), index);
            // The files of one drop keep their order.
            if (index != HXOutlineViewDropOnItemIndex)
                ++index;
            reloadFavorites();
        }
    } else if (fromList && !_draggedNodes.empty() && index != HXOutlineViewDropOnItemIndex) {
        moveDraggedNodesToIndex(index);
    }
    _draggedNodes.clear();
}

void MVPFavoritesController::moveDraggedNodesToIndex(long index)
{
    const List original = favoriteDocuments();
    index = std::clamp(index, 0L, long(original.size()));
    // Where the dragged entries are now, in drag order.
    std::vector<size_t> positions;
    for (auto& entry : _draggedNodes) {
        auto at = std::find(original.begin(), original.end(), HXPropertyList(entry));
        size_t position = size_t(at - original.begin());
        if (at != original.end()
            && std::find(positions.begin(), positions.end(), position) == positions.end())
            positions.push_back(position);
    }
    _draggedNodes.clear();
    if (positions.empty())
        return;
    // They go back in before what was at the drop index, which moves up by the entries taken from above it.
    long insertAt = index;
    List list;
    List moved;
    for (size_t i = 0; i < original.size(); ++i) {
        if (std::find(positions.begin(), positions.end(), i) == positions.end())
            list.push_back(original[i]);
        else if (long(i) < index)
            --insertAt;
    }
    for (size_t position : positions)
        moved.push_back(original[position]);
    list.insert(list.begin() + insertAt, moved.begin(), moved.end());
    *_favoriteDocuments = std::move(list);
    writeFavorites();
    reloadFavorites();
    if (_favoritesOutlineView) {
        _favoritesOutlineView->deselectAll();
        HXIndexSet rows;
        for (long row = insertAt; row < insertAt + long(moved.size()); ++row)
            rows.insert(row);
        _favoritesOutlineView->selectRowIndexes(rows, false);
    }
}

// The panel

void MVPFavoritesController::loadPanel()
{
    if (_favoritesPanel)
        return;
    HXRect contentRect { { 0, 0 }, { 420, 260 } };
    auto panel = std::make_shared<HXPanel>(
        contentRect, HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask | HXUtilityWindowMask);
    auto scroll = std::make_shared<HXScrollView>(contentRect);
    scroll->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    auto outline = std::make_shared<MVOutlineView>(HXRect { { 0, 0 }, contentRect.size });
    auto nameColumn = std::make_shared<HXTableColumn>(iconColumn);
    nameColumn->setWidth(160);
    auto locationColumn = std::make_shared<HXTableColumn>(urlColumn);
    locationColumn->setWidth(240);
    outline->addTableColumn(nameColumn);
    outline->addTableColumn(locationColumn);
    outline->setOutlineTableColumn(nameColumn);
    scroll->setDocumentView(outline);
    panel->setContentView(scroll);
    _favoritesPanel = panel;
    _favoritesOutlineView = outline;
    awakeFromInterface();
}

void MVPFavoritesController::awakeFromInterface()
{
    auto self = std::static_pointer_cast<MVPFavoritesController>(shared_from_this());
    auto& outline = *_favoritesOutlineView;
    outline.setIndentationPerLevel(0);
    outline.setDataSource(self);
    outline.setDelegate(self);
    outline.setRequestDataSource(self);
    auto nameCell = std::make_shared<ImageAndTextCell>();
    nameCell->setAlignment(HXLeftTextAlignment);
    nameCell->setEditable(true);
    nameCell->setBezeled(false);
    nameCell->setDrawsBackground(false);
    nameCell->setFont(listFont());
    outline.tableColumnWithIdentifier(iconColumn)->setDataCell(nameCell);
    outline.tableColumnWithIdentifier(iconColumn)->setTitle(localized("iconColumnTitle"));
    outline.tableColumnWithIdentifier(urlColumn)->setTitle(localized("urlColumnTitle"));
    _favoritesPanel->setExcludedFromWindowsMenu(true);
    _favoritesPanel->setTitle(localized("favoritesTitle"));
    outline.registerForDraggedTypes({ HXStringPboardType, HXFilenamesPboardType });

    auto& center = HXNotificationCenter::defaultCenter();
    const void* panel = _favoritesPanel.get();
    std::weak_ptr<MVPFavoritesController> weak = self;
    auto selected = [weak](const HXNotification& n) {
        if (auto me = weak.lock())
            me->favoritesWindowSelected(n);
    };
    _panelObservers.push_back(center.addObserver(this, HXWindowDidBecomeKeyNotification, panel, selected));
    _panelObservers.push_back(center.addObserver(this, HXWindowDidResignKeyNotification, panel, selected));
    _panelObservers.push_back(
        center.addObserver(this, HXWindowWillCloseNotification, panel, [weak](const HXNotification& n) {
            if (auto me = weak.lock())
                me->windowWillClose(n);
        }));
}

void MVPFavoritesController::showPanel()
{
    if (!_favoritesPanel) {
        loadPanel();
        std::string saved = HXUserDefaults::standardUserDefaults().stringForKey(MVPFavoritesWindowLocation);
        HXRect frame = saved.empty() ? HXZeroRect : HXRectFromString(saved);
        if (frame.size.width > 0 && frame.size.height > 0)
            _favoritesPanel->setFrame(frame, false);
        else
            _favoritesPanel->center();
    }
    readFavoriteDocumentsIfNecessary();
    _favoritesPanel->makeKeyAndOrderFront();
    _favoritesPanel->makeFirstResponder(_favoritesOutlineView);
    _favoritesOutlineView->setTarget(shared_from_this());
    _favoritesOutlineView->setDoubleAction(kDoubleClickedItem);
    reloadFavorites();
}

void MVPFavoritesController::hidePanel()
{
    if (_favoritesPanel)
        _favoritesPanel->close();
}

bool MVPFavoritesController::isVisible() const
{
    return _favoritesPanel && _favoritesPanel->isVisible();
}

bool MVPFavoritesController::isKey() const
{
    return _favoritesPanel && _favoritesPanel->isKeyWindow();
}

void MVPFavoritesController::saveWindowState()
{
    if (!hasFavoritesController())
        return;
    auto panel = favoritesController().favoritesPanel();
    if (!panel)
        return;
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setString(HXStringFromRect(panel->frame()), MVPFavoritesWindowLocation);
    defaults.setFloat(float(panel->frame().size.height), kFavoritesPanelHeight);
}

void MVPFavoritesController::favoritesWindowSelected(const HXNotification& notification)
{
    if (!HXApplication::hasSharedApplication())
        return;
    auto mainMenu = HXApplication::sharedApplication()->mainMenu();
    if (!mainMenu)
        return;
    bool becameKey = notification.name() == HXWindowDidBecomeKeyNotification;
    int found = 0;
    for (auto& item : mainMenu->itemArray()) {
        if (item->title() == "Edit" || item->title() == "View") {
            item->setEnabled(!becameKey);
            if (++found == 2)
                break;
        }
    }
}

void MVPFavoritesController::windowWillClose(const HXNotification&)
{
    writeFavorites();
}
