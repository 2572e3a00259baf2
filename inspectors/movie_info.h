#pragma once
// MovieInfo: the info panel. Each movie, composition and recording document has one of its own; one more,
// the movie inspector, follows whichever player window is main. The panel shows the document's name, up
// to five lines of general information and its media attributes as label/value rows, in the heads-up
// look. It hides while a full-screen presentation covers it and comes back when that ends; the inspector
// remembers its frame and whether it was showing across launches.
#include "document/document_info_panel.h"
#include "platform/basekit/notification_center.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/responder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXBox;
class HXDocument;
class HXEvent;
class HXPanel;
class HXTimer;
class HXView;
class HXWindow;
class MovieInfoItemView;

// User defaults of the inspector.
inline constexpr const char* MVPMovieInspectorShowPanelDefault = "MVPMovieInspectorShowPanel";
inline constexpr const char* MVPMovieInspectorFrameName = "MVMovieInspectorWindowLocation";

// The strings table of the panel's texts.
inline constexpr const char* MovieInfoStringsTable = "MovieInfo";

// The panel's fixed measures: its width, the heads-up title bar, the margin under the rows, the gaps.
inline constexpr double MovieInfoPanelWidth = 350;
inline constexpr double MovieInfoTitleBarHeight = 14;
inline constexpr double MovieInfoBottomMargin = 10;
inline constexpr double MovieInfoRowGap = 3;
inline constexpr size_t MovieInfoMaximumInformationLines = 5;

class MovieInfoPanelDelegate;

class MovieInfo : public HXObject, public MVPDocumentInfoPanel {
public:
    // A new info panel controller bound to `document` (which keeps it).
    static std::shared_ptr<MovieInfo> movieInfoForDocument(const std::shared_ptr<HXDocument>& document);
    // Makes the documents' info panels from now on (the program installs it when it starts).
    static void installDocumentInfoPanelMaker();
    // The single inspector, made on first use and kept for the process.
    static std::shared_ptr<MovieInfo> movieInspector();
    // Lets the inspector go (its panel closes); the next movieInspector() makes a new one.
    static void releaseMovieInspector();
    // Writes the inspector's frame and whether it shows (nothing when there is no inspector yet).
    static void writeInspectorStateToDefaults();
    // The heads-up look is the only one.
    static bool shouldUsePreKestrelHUDImplementation() { return false; }
    // Whether a document of this kind has an info panel: movie, recording and composition documents.
    static bool displayInfoForDocumentType(const HXDocument* document);

    ~MovieInfo() override;

    // Makes the panel on first use. When visible the inspector hides and a document's panel comes to the
    // front; when hidden it attaches to its document and shows.
    void showHidePanel() override;
    // Closes the panel as its close button does.
    void hidePanel() override;
    bool isVisible() const override { return _isVisible; }
    // The inspector always; a document's own panel only while nothing is presented full screen.
    bool shouldMenuItemBeValid() const override;
    bool isInspector() const { return _isInspector; }
    bool isKey() const;

    // The document shown (none unbinds); the panel follows its attribute changes.
    void setDocument(const std::shared_ptr<HXDocument>& document);
    std::shared_ptr<HXDocument> document() const { return _currentDocument.lock(); }
    // Redraws title, information and rows (only while visible).
    void update();
    const std::shared_ptr<HXPanel>& movieInfoPanel() const { return _movieInfoPanel; }
    // Scroll-wheel events stop at the panel.
    bool handleEvent(const HXEvent& event);

    // What the panel shows, for the tests and the accessibility of the panel.
    const std::shared_ptr<MovieInfoItemView>& titleView() const { return _titleView; }
    const std::shared_ptr<MovieInfoItemView>& informationView() const { return _informationView; }
    const std::vector<std::shared_ptr<MovieInfoItemView>>& infoItems() const { return _infoItems; }
    const std::shared_ptr<HXView>& detailsView() const { return _detailsView; }
    const std::shared_ptr<HXView>& topView() const { return _topView; }
    const std::shared_ptr<HXBox>& separatorView() const { return _separatorView; }
    bool hidInfoPanelForFullScreen() const { return _hidInfoPanelForFullScreen; }
    HXRect currentWindowFrame() const { return _currentWindowFrame; }

    // The panel's delegate.
    bool windowShouldClose(HXWindow& window);
    void windowDidMove(HXWindow& window);
    void windowDidResize(HXWindow& window);

    // Notification handlers.
    void windowDidBecomeMain(const HXNotification& notification);
    void windowDidResignMain(const HXNotification& notification);
    void windowDidMiniaturize(const HXNotification& notification);
    void windowWillClose(const HXNotification& notification);
    void attributesDidChange(const HXNotification& notification);
    void enteringFullScreen(const HXNotification& notification);
    void inactiveFullScreen(const HXNotification& notification);
    void appWillTerminate(const HXNotification& notification);
    // The main window changed a moment ago: show the document that is current now, unless the panel
    // moved on to another document meanwhile.
    void delayedCheckForMainWindow(const std::weak_ptr<HXDocument>& shownWhenScheduled);

private:
    explicit MovieInfo(bool isInspector);
    void createInfoPanel();
    void restoreWindowFrame();
    void resetInfoPanel();
    void registerPanelObservers();
    void removePanelObservers();
    void scheduleCheckForMainWindow();
    void updateTitle();
    void updateInformation();
    void updateSeparator();
    void updateDetails();
    void rearrangeViews();
    std::string localized(const std::string& key) const;

    std::shared_ptr<HXPanel> _movieInfoPanel;
    std::weak_ptr<HXDocument> _currentDocument;
    std::shared_ptr<HXView> _detailsView;
    std::shared_ptr<HXView> _topView;
    std::vector<std::shared_ptr<MovieInfoItemView>> _infoItems;
    std::shared_ptr<MovieInfoItemView> _titleView;
    std::shared_ptr<MovieInfoItemView> _informationView;
    std::shared_ptr<HXBox> _separatorView;
    bool _hidInfoPanelForFullScreen = false;
    HXRect _currentWindowFrame = HXZeroRect;
    bool _isVisible = false;
    bool _isInspector = false;

    std::shared_ptr<MovieInfoPanelDelegate> _panelDelegate;
    std::vector<HXObserverToken> _panelObservers;
    std::optional<HXObserverToken> _terminateObserver;
    std::optional<HXObserverToken> _attributesObserver;
    std::weak_ptr<HXTimer> _mainWindowCheckTimer;
};
