#pragma once
// MVPPropertyInspectorBrowser: the properties window of one movie. A table lists the movie and its tracks
// with one column per property; below it a row of tabs shows the pane plug-ins for the one selected row.
// The controller hosts the panes: it finds the pane classes once per process, keeps one active pane at a
// time and starts and stops it as tabs, rows and the window change. There is one controller per movie;
// the movie's document keeps it as one of its window controllers.
#include "inspectors/pane_loader.h"
#include "inspectors/property_columns.h"
#include "platform/winkit/tab_view.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXButton;
class HXMenu;
class HXMenuItem;
class HXTextField;
class HXUndoManager;
class MVPPropertyBrowserTableView;
class MVPSizeConstrainedContentView;

// The user-defaults key of the window's settings, and the tag of the column menu's items ('PBTC').
inline constexpr const char* MVPPropertyBrowserDefaultsKey = "Property Browser";
inline constexpr long MVPColumnMenuItemTag = 0x50425443;
// The content size of the pane tab area.
inline constexpr HXSize MVPPropertyBrowserMandatedSize { 544, 255 };

// Whether the movie can be saved (and so edited here): it has loaded enough to play.
bool MVPMovieCanBeSaved(const MVMovie* movie);

class MVPPropertyInspectorBrowser : public HXWindowController,
                                    public HXTabViewDelegate,
                                    public HXTableViewDataSource,
                                    public HXTableViewDelegate {
public:
    // ---- The host ----

    // The movie's properties window: the one made earlier for this movie, else a new one. Null only for
    // no movie. (With no pane installed the window still lists the movie and its tracks; its tab area
    // says that no pane is available.)
    static std::shared_ptr<MVPPropertyInspectorBrowser> browserForMovie(
        const std::shared_ptr<MVMovie>& movie);
    // The movie document opens its properties windows through browserForMovie from now on
    // (MVPDocumentPropertiesWindow, document/document_windows.h).
    static void installDocumentPropertiesWindowMaker();
    // The registry of windows by movie; it keeps neither alive.
    static void associateBrowser(
        const std::shared_ptr<MVPPropertyInspectorBrowser>& browser, const MVMovie* movie);
    static void disassociateBrowser(const MVPPropertyInspectorBrowser* browser, const MVMovie* movie);
    // The pane classes of the search folders, found, loaded and sorted on the first call and kept for
    // the life of the process (an empty list too).
    static const std::vector<MVPPaneClass>& inspectorClasses();
    static std::vector<MVPPaneClass> inspectorClassesAtPath(const std::string& path);
    // Replaces the process's pane class list (tests give their own panes; nothing is searched then).
    static void setInspectorClasses(std::vector<MVPPaneClass> classes);

    // Use browserForMovie.
    explicit MVPPropertyInspectorBrowser(std::shared_ptr<MVMovie> movie);
    ~MVPPropertyInspectorBrowser() override;

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    const std::vector<MVPInspectedObject>& inspectedObjects() const { return _inspectedObjects; }
    std::shared_ptr<MVPPropertyInspector> activeInspector() const { return _activeInspector; }
    MVPPaneClass lastFactory() const { return _lastFactory; }
    // The window hands its table selection over here: the tabs are rebuilt when the count goes to or
    // from one, and the "unavailable" tab shows the count of several objects.
    void setInspectedObjects(const std::vector<MVPInspectedObject>& objects);

    // ---- The window ----

    void loadWindow() override;
    void showWindow(HXObject* sender = nullptr) override;
    std::string windowTitleForDocumentDisplayName(const std::string& displayName) override;
    void synchronizeWindowTitleWithDocumentName() override;
    void windowWillClose(HXWindow& window) override;
    HXUndoManager* windowWillReturnUndoManager(HXWindow& window) override;
    void windowDidBecomeKey(HXWindow&) override { panelGainedFocus(); }
    void windowDidResignKey(HXWindow&) override { panelLostFocus(); }
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;
    bool validateMenuItem(HXMenuItem& item) override;

    // Actions.
    void deleteSelectedTracks(HXObject* sender = nullptr);
    void extractSelectedTracks(HXObject* sender = nullptr);
    void moveLeft(HXObject* sender = nullptr);
    void moveRight(HXObject* sender = nullptr);
    void toggleTableColumn(HXMenuItem& item);
    // Removes the tracks from the movie as one undoable step; a movie without a controller whose last
    // picture goes gets the standard controller.
    void deleteTracks(const std::vector<std::shared_ptr<MVTrack>>& tracks);
    // Opens a new, unsaved document holding only these objects' tracks (and the movie's own metadata when
    // the movie itself is among them). Nothing happens when a step fails.
    void extractTracks(const std::vector<MVPInspectedObject>& objects);
    // One item per column, in the user's order, checked when shown.
    std::shared_ptr<HXMenu> menuForTableColumns();
    void panelGainedFocus();
    void panelLostFocus();
    // Refills the rows from the movie (its tracks may have changed) and keeps what is still there selected.
    void movieEdited();
    void readUserDefaults();
    void writeUserDefaults();

    // Table data source and delegate.
    long numberOfRowsInTableView(HXTableView& table) override;
    HXPropertyList objectValueForTableColumn(HXTableView& table, HXTableColumn* column, long row) override;
    void setObjectValue(
        HXTableView& table, const HXPropertyList& value, HXTableColumn* column, long row) override;
    bool shouldEditTableColumn(HXTableView& table, HXTableColumn* column, long row) override;
    void tableViewSelectionDidChange(HXTableView& table) override;
    void columnDidMove(HXTableView& table, long oldIndex, long newIndex) override;
    void didClickTableColumn(HXTableView& table, HXTableColumn* column) override;

    // Tab view delegate: a tab change stops the active pane and starts the new tab's pane.
    void willSelectTabViewItem(HXTabView& tabView, HXTabViewItem& item) override;

    // The parts of the window (null before it is built).
    const std::shared_ptr<HXTabView>& tabView() const { return _tabView; }
    const std::shared_ptr<MVPPropertyBrowserTableView>& tableView() const { return _tableView; }
    const std::shared_ptr<MVPSizeConstrainedContentView>& paneContainer() const { return _pane; }
    const std::shared_ptr<HXButton>& extractButton() const { return _extractButton; }
    const std::shared_ptr<HXButton>& deleteButton() const { return _deleteButton; }
    // Every column in the user's order, shown or hidden, and the table's rows.
    const std::vector<std::shared_ptr<HXTableColumn>>& columns() const { return _columns; }
    const std::vector<MVPInspectedObject>& objects() const { return _objects; }
    const std::vector<MVPSortDescriptor>& sortDescriptors() const { return _sortDescriptors; }
    void setSortDescriptors(const std::vector<MVPSortDescriptor>& descriptors);

private:
    std::vector<std::shared_ptr<HXTabViewItem>> tabViewItemsForObject(const MVPInspectedObject& object) const;
    void updateTabView();
    void runTabSelection(HXTabViewItem& item);
    void stopActiveInspector(bool clearUndo);
    MVPPaneClass paneClassNamed(const std::string& name) const;
    void updateButtons();
    void selectInspectedRows();
    void sortObjects();
    std::vector<std::shared_ptr<MVTrack>> inspectedTracks() const;
    bool canEditTracks() const;
    void addColumnMenuToMainMenu();
    void removeColumnMenuFromMainMenu();
    std::shared_ptr<MVPPropertyColumn> columnSpec(const HXTableColumn* column) const;

    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<HXWindow> _panel; // the window once built (also reachable while going away)
    std::shared_ptr<HXButton> _extractButton;
    std::shared_ptr<HXButton> _deleteButton;
    std::shared_ptr<HXTabView> _tabView;
    std::shared_ptr<MVPPropertyBrowserTableView> _tableView;
    std::shared_ptr<MVPSizeConstrainedContentView> _pane;
    MVPPaneClass _lastFactory = nullptr;
    std::shared_ptr<MVPPropertyInspector> _activeInspector;
    std::vector<MVPInspectedObject> _inspectedObjects;
    std::vector<MVPInspectedObject> _objects;
    std::vector<std::shared_ptr<HXTableColumn>> _columns;
    // Column → its column (value key, sort key, cell kind), by identity.
    std::vector<std::pair<const HXTableColumn*, std::shared_ptr<MVPPropertyColumn>>> _columnKeys;
    std::vector<MVPSortDescriptor> _sortDescriptors;
    bool _freezeInspectors = false;
    // While set, a column added back is moved into place without reordering `_columns`.
    bool _ignoreColumnMoves = false;
    // While set, the table's own selection changes are ours and not the user's.
    bool _selectingRows = false;
    std::shared_ptr<HXTextField> _unavailableField;
    std::shared_ptr<HXMenuItem> _mainMenuColumnsItem;
    std::shared_ptr<HXMenuItem> _mainMenuSeparator;
    HXSize _initialFrameSize {};
    uint64_t _movieEditedObserver = 0;
};
