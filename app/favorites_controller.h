#pragma once
// MVPFavoritesController: the user's list of favorite movies (files or network locations), kept in the
// user defaults as an array of {"name", "dataRef", "dataRefType"} and announced with
// "MVPFavoritesDidChange" after every write; and the Favorites panel that shows it: an outline of one
// level with the name (and an icon) and the location, opening on double-click or Return, deleting with a
// confirmation, reordering by drag, taking movie files dropped from outside and handing entries out as
// files or URL text.
#include "app/mv_outline_view.h"
#include "app/recent_documents.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/pasteboard.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXDocument;
class HXPanel;

inline constexpr const char* MVPFavoriteDocumentsUserDefault = "MVPFavoriteDocumentsUserDefault";
inline constexpr const char* MVPFavoriteDocumentNameAttribute = "name";
inline constexpr const char* MVPFavoriteDocumentDataRefAttribute = "dataRef";
inline constexpr const char* MVPFavoriteDocumentDataRefTypeAttribute = "dataRefType";
inline constexpr const char* MVPFavoritesWindowLocation = "MVPFavoritesWindowLocation";
inline constexpr const char* kFavoritesPanelHeight = "kFavoritesPanelHeight";
inline constexpr const char* MVPFavoritesDidChange = "MVPFavoritesDidChange";
// Column identifiers of the list.
inline constexpr const char* iconColumn = "iconColumn";
inline constexpr const char* urlColumn = "urlColumn";

class MVPFavoritesController : public HXObject,
                               public HXOutlineViewDataSource,
                               public HXTableViewDelegate,
                               public MVOutlineViewDataSource,
                               public HXPasteboardOwner {
public:
    using Entry = HXPropertyList::Dictionary;
    using List = HXPropertyList::Array;

    // The shared controller, made on first use.
    static MVPFavoritesController& favoritesController();
    static bool hasFavoritesController();
    // Drops the shared controller (tests; the program keeps it for its whole life).
    static void resetFavoritesController();

    MVPFavoritesController();
    ~MVPFavoritesController() override;

    // ---- The list ----
    List& favoriteDocuments();
    void readFavoriteDocumentsIfNecessary();
    void setFavoriteDocuments(List list);
    // Appends the entry (an equal one moves to the end). Entries missing a key are refused.
    void noteNewFavoriteDocumentWithAttributes(const Entry& entry);
    // Inserts the entry at `index` (the end when past it); an equal entry already listed moves there.
    void insertNewFavoriteDocumentWithAttributes(const Entry& entry, long index);
    // A movie document's movie becomes a favorite.
    void addFavoriteDocument(const std::shared_ptr<HXDocument>& document);
    // Stores the list and posts "MVPFavoritesDidChange".
    void writeFavorites();
    void reloadFavorites();
    // Opens an entry (null does nothing): the front player loads it unless new players are preferred or
    // it has unsaved edits; else an open document comes forward; else a new document; else an alert.
    void openFavoriteDocument(const Entry* entry);
    // The entry for a movie: its display name and initial data reference.
    static Entry entryForMovie(const std::string& name, const MVDataReference& reference);
    // What the location column shows: a file's path, else the URL, else the name.
    static std::string locationOfEntry(const Entry& entry);
    // The question asked before deleting the entries named.
    static std::string deleteConfirmationMessage(const std::vector<std::string>& names);

    // ---- The panel ----
    void loadPanel();
    void showPanel();
    void hidePanel();
    bool isVisible() const;
    bool isKey() const;
    std::shared_ptr<HXPanel> favoritesPanel() const { return _favoritesPanel; }
    std::shared_ptr<MVOutlineView> favoritesOutlineView() const { return _favoritesOutlineView; }
    // Saves the panel's frame (and height) when the shared controller exists; sent at quit.
    static void saveWindowState();
    // The panel became or stopped being key: the Edit and View menus follow.
    void favoritesWindowSelected(const HXNotification& notification);
    void windowWillClose(const HXNotification& notification);

    // ---- Selection and requests ----
    std::vector<Entry> allSelectedItems() const;
    std::vector<Entry> selectedNodes() const { return allSelectedItems(); }
    void doubleClickedItem();
    std::optional<bool> mvOutlineViewOpenObjectsAtRows(MVOutlineView& view, const HXIndexSet& rows) override;
    std::optional<bool> mvOutlineViewDeleteObjectsAtRows(
        MVOutlineView& view, const HXIndexSet& rows) override;
    std::optional<bool> mvOutlineViewDeleteObjectsAtRows(
        MVOutlineView& view, const HXIndexSet& rows, bool confirmDialog) override;

    // ---- The outline's data source and delegate ----
    long numberOfChildrenOfItem(HXOutlineView& outline, const HXOutlineItem& item) override;
    HXOutlineItem child(HXOutlineView& outline, long index, const HXOutlineItem& item) override;
    bool isItemExpandable(HXOutlineView& outline, const HXOutlineItem& item) override;
    HXPropertyList objectValueForTableColumn(
        HXOutlineView& outline, HXTableColumn* column, const HXOutlineItem& item) override;
    bool shouldEditTableColumn(HXTableView& table, HXTableColumn* column, long row) override;
    void willDisplayCell(HXTableView& table, HXCell& cell, HXTableColumn* column, long row) override;

    // ---- Dragging ----
    bool writeItems(
        HXOutlineView& outline, const std::vector<HXOutlineItem>& items, HXPasteboard& pasteboard) override;
    // Writes `entries` to the pasteboard: files as file names, network locations as text (one a line).
    void writeEntries(const std::vector<Entry>& entries, HXPasteboard& pasteboard);
    unsigned draggingEntered(HXDraggingInfo& info);
    unsigned validateDrop(
        HXOutlineView& outline, HXDraggingInfo& info, const HXOutlineItem& item, long childIndex) override;
    bool acceptDrop(
        HXOutlineView& outline, HXDraggingInfo& info, const HXOutlineItem& item, long childIndex) override;
    void performDropOperation(HXDraggingInfo& info, long index);
    // The entries being dragged from the list itself (empty otherwise).
    void setDraggedNodes(std::vector<Entry> entries) { _draggedNodes = std::move(entries); }
    const std::vector<Entry>& draggedNodes() const { return _draggedNodes; }
    // Moves the dragged entries so that they come before the entry now at `index` (the end when past
    // it), keeping their order, and selects them.
    void moveDraggedNodesToIndex(long index);

    void pasteboardProvideDataForType(HXPasteboard& pasteboard, const std::string& type) override;

private:
    void awakeFromInterface();
    const Entry* entryAtRow(long row) const;
    void deleteRows(const HXIndexSet& rows);

    std::shared_ptr<MVOutlineView> _favoritesOutlineView;
    std::shared_ptr<HXPanel> _favoritesPanel;
    std::vector<Entry> _draggedNodes;
    std::optional<List> _favoriteDocuments;
    std::vector<HXObserverToken> _panelObservers;
};
