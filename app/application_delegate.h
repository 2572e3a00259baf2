#pragma once
// MVPApplicationDelegate: carries the player from start to quit. While launching it sets up the process's
// media settings and its observers, decides what opens when there is nothing to open (the featured movie,
// or nothing), keeps sound following the application's focus, pauses movies while the user's session is
// away and carries out quit. Every open request (files, URLs, data references, export-session files) ends
// in its open routes, which pick the document that shows the thing: an open one, the current player, or a
// new document of the right class.
#include "core/application_services.h"
#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/uncaught_exception.h"
#include "platform/basekit/url.h"
#include "platform/mvkit/data_reference.h"
#include "platform/winkit/application.h"
#include "platform/winkit/responder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXDocument;
class HXDocumentController;
class HXWindow;
class MVPMovieDocument;

// The resources of the featured movie (type "mov").
inline constexpr const char* MVPFeaturedMovieResource = "tvbutton";
inline constexpr const char* MVPFeaturedTrampolineResource = "trampoline";
// The host whose movies open as featured movies.
inline constexpr const char* MVPFeaturedMovieServerHost = "featured.movara.zantrel.com";

// User defaults of the delegate.
inline constexpr const char* MVPUseForkedDecoderKey = "MVPUseForkedDecoder";
inline constexpr const char* MVPMovieInspectorShowPanelKey = "MVPMovieInspectorShowPanel";
inline constexpr const char* MVPAVControlsShowPanelKey = "MVPAVControlsShowPanel";

// Notifications the delegate observes from the favorites and the recording documents.
inline constexpr const char* MVPFavoritesDidChangeNotification = "MVPFavoritesDidChange";

class MVPApplicationDelegate : public HXResponder,
                               public HXApplicationDelegate,
                               public MVPApplicationServices {
public:
    // What the delegate reaches outside the application and its documents. standardEnvironment() wires the
    // real media keys, bundle and job queue; tests give stand-ins.
    struct Environment {
        // Media keys: the values of a key (first is the value), and a boolean key with its default.
        std::function<std::vector<std::string>(const std::string& type)> mediaKeys;
        std::function<bool(const std::string& type, bool defaultValue)> mediaKeyBool;
        // The media layer's process properties (class 'qges', one byte each).
        std::function<void(uint32_t propertyClass, uint32_t identifier, uint8_t value)> setProcessProperty;
        // A resource of the main bundle ("" when it is missing).
        std::function<std::string(const std::string& name, const std::string& type)> pathForResource;
        // Hands the parameters of an export-session file to the job queue.
        std::function<void(const HXPropertyList& params)> queueExportSession;
        // Lets every movie do its pending work (after each opened path).
        std::function<void()> idleAllMovies;
        // Runs the alert for an open failure (modal).
        std::function<void(const HXError& error)> presentOpenError;
        // The two panels that come back at launch when they were open at the last quit.
        std::function<void()> showMovieInspector;
        std::function<void()> showAVControls;
        // ---- Menu commands ----
        // Whether the audio/video panel is on screen (its menu item's title follows it).
        std::function<bool()> avControlsVisible;
        // Begins the Open URL sheet; what the user confirms opens with `newPlayer`.
        std::function<void(bool newPlayer)> beginOpenURLSheet;
        // Shows the preferences window.
        std::function<void()> showPreferencesWindow;
        // Starts the system's software update, when it has one.
        std::function<void()> updateExistingSoftware;
        // The image sequence's settings: the frame rate, starting from `proposed`; nothing when the user
        // cancels. Unset: the settings dialog.
        std::function<std::optional<double>(double proposed)> chooseImageSequenceFrameRate;
    };
    static Environment standardEnvironment();

    MVPApplicationDelegate();
    explicit MVPApplicationDelegate(Environment environment);
    ~MVPApplicationDelegate() override;

    // Registers the default of "MVPUseForkedDecoder" (YES) once per process.
    static void initializeDefaults();
    // Installs the makers of everything the documents show that is made above them: the player, featured
    // and composition windows, the full-screen presentation and its settings sheet, the properties window
    // and the info panel (docs/LAYERS.md). Every delegate does it when it is made.
    static void installDocumentMakers();

    // The delegate of the shared application (null when another kind of delegate is installed).
    static std::shared_ptr<MVPApplicationDelegate> sharedDelegate();

    // Launch.
    void applicationWillFinishLaunching(HXApplication& app) override;
    void applicationDidFinishLaunching(HXApplication& app) override;
    void delayedApplicationDidFinishLaunching();
    // The launch profile: nothing unless its environment switches are set; then it measures, waits 15
    // seconds (on the run loop), records the memory, writes the results and quits.
    void reportLaunchTestResults();
    bool applicationShouldOpenUntitledFile(HXApplication& app) override;
    bool applicationOpenUntitledFile(HXApplication& app) override;
    bool applicationShouldHandleReopen(HXApplication& app, bool hasVisibleWindows) override;
    bool applicationOpenFiles(HXApplication& app, const std::vector<std::string>& paths) override;

    // The featured movie ("trampoline" when `trampoline`, else "tvbutton").
    void openReelspotMovie(bool trampoline);
    bool suppressReelspot() const { return _suppressReelspot; }
    void setSuppressReelspot(bool flag) { _suppressReelspot = flag; }

    // Focus, session and recording.
    void syncMovieVolumes(const HXNotification& notification);
    void applicationWillResignActive(const HXNotification& notification);
    void sessionDidResignActive(const HXNotification& notification);
    void sessionDidBecomeActive(const HXNotification& notification);
    void syncFavoriteMenuItems(const HXNotification* notification);
    void captureDocumentWillOpen(const HXNotification& notification);
    void captureDocumentWillClose(const HXNotification& notification);
    // Whether a recording document is open (several may be: the flag follows their count).
    bool recording() const { return _isRecording > 0; }
    bool proAppsAreInstalled() override;
    void refreshProAppsAreInstalled();

    // Quit.
    HXApplicationTerminateReply applicationShouldTerminate(HXApplication& app) override;
    // One step of the close chain: `shouldClose` is the previous document's answer, `pending` the
    // documents still to ask.
    void documentShouldClose(bool shouldClose, std::vector<std::shared_ptr<HXDocument>> pending);
    void applicationWillTerminate(HXApplication& app) override;

    // Open routes: files.
    bool applicationOpenFile(HXApplication& app, const std::string& path);
    void openFile(const std::string& path, bool openInNewPlayer);
    void openFiles(const std::vector<std::string>& paths, bool openInNewPlayer);
    // Paths and URLs as a command line or a second start gives them: the paths go through the file route
    // together, each URL through the URL route.
    void openItems(const std::vector<std::string>& items, bool openInNewPlayer);

    // Open routes: movie documents from a file, URL or data reference.
    bool createMovieDocumentWithFile(const std::string& path, bool openInNewPlayer);
    bool createMovieDocumentWithFile(const std::string& path, bool openInNewPlayer, bool isReelspot);
    bool createMovieDocumentWithURL(const HXURL& url, bool openInNewPlayer) override;
    bool createMovieDocumentWithURL(const HXURL& url, bool openInNewPlayer, bool isReelspot) override;
    bool createMovieDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer) override;
    bool createMovieDocumentWithDataRef(
        const MVDataReference& dataRef, bool openInNewPlayer, bool isReelspot);
    // Whether `url` is on the featured-movie server (its host, not any part of the URL).
    static bool isFeaturedMovieURL(const HXURL& url);

    // Composition documents: never replace a player; an already open composition answers true.
    bool createVitrelDocumentWithFile(const std::string& path);
    bool createVitrelDocumentWithURL(const HXURL& url);

    // Open routes: a location typed in the Open URL sheet, picked among the discovered services or given
    // on a command line. A network location whose name says nothing of what it sends is asked of its
    // server first, off the main thread and within kURLProbeTimeout: what plays opens, anything else is
    // refused with an alert that says why (the connection was refused, nothing is there, it is not a
    // movie). Other locations take the URL route at once, refused with the reason when nothing opens them.
    static constexpr double kURLProbeTimeout = 8;
    void openLocation(const HXURL& url, bool openInNewPlayer);
    // The same, telling `done` (instead of the user) whether the location opened, or why not.
    using LocationOpened = std::function<void(bool opened, const HXError& error)>;
    void openLocation(const HXURL& url, bool openInNewPlayer, LocationOpened done);
    // Whether a location is being asked of its server now.
    bool isProbingLocation() const { return !_locationProbes.empty(); }

    // Open routes: the class is chosen by the thing's type.
    bool createDocumentWithFile(const std::string& path, bool openInNewPlayer);
    bool createDocumentWithURL(const HXURL& url, bool openInNewPlayer);
    bool createDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer);
    // The kind of document a URL opens as.
    enum class DocumentClass { None, Movie, Composition };
    DocumentClass documentClassForURL(const HXURL& url) const;
    // Adds the document to the controller, makes its windows and shows them.
    bool initializeDocument(const std::shared_ptr<HXDocument>& document);

    // Already-open tests.
    bool fileExists(const std::string& path) const;
    bool urlExists(const HXURL& url) const;
    bool dataRefExists(const MVDataReference& dataRef) const;

    // The front player that is not the featured movie, or null.
    std::shared_ptr<MVPMovieDocument> currentMovieDocumentExcludingContentGuide() const;
    // Every open movie document, in the controller's order.
    static std::vector<std::shared_ptr<MVPMovieDocument>> movieDocuments();

    const Environment& environment() const { return _environment; }

    // ---- Menu commands that reach the end of the responder chain ----
    // Open commands: the item's tag says whether to use a new player (1) or the front one (0).
    void openDocument(HXObject* sender);
    void importDocument(HXObject* sender);
    void openURL(HXObject* sender);
    // The Open URL sheet ended: OK opens its location, in a new player when `newPlayer`; either way the
    // sheet closes.
    void openURLPanelDidEnd(class OpenURLPanel& panel, long returnCode, bool newPlayer);
    // Holds the Open URL sheet (made on first use); dropping it stores its history.
    void setOpenURLPanel(std::shared_ptr<class OpenURLPanel> panel);
    void openImageSequence(HXObject* sender);
    // Opens an image sequence starting at `firstPath` (each image one frame at `framesPerSecond`):
    // into the front player when `newPlayer` is false and there is one, else as a new, unsaved movie.
    bool openImageSequenceAtPath(const std::string& firstPath, bool newPlayer, double framesPerSecond = 30);
    // An untitled movie document of type "Movie-Movara", added and shown.
    std::shared_ptr<MVPMovieDocument> newDocumentWithTemplate(HXObject* sender = nullptr);
    void newCaptureWithTemplate(HXObject* sender);
    void closeAll(HXObject* sender);
    void playPauseAll(HXObject* sender = nullptr);
    void gotoBeginningOfAll(HXObject* sender = nullptr);
    void gotoEndOfAll(HXObject* sender = nullptr);
    void stepBackwardAll(HXObject* sender = nullptr);
    void stepForwardAll(HXObject* sender = nullptr);
    void showMovieInspector(HXObject* sender = nullptr);
    void showAVControls(HXObject* sender = nullptr);
    void addToFavorites(HXObject* sender = nullptr);
    void showFavorites(HXObject* sender = nullptr);
    void showContentGuide(HXObject* sender = nullptr);
    void showApplicationPreferences(HXObject* sender = nullptr);
    // The first open featured-movie document, or null.
    std::shared_ptr<MVPMovieDocument> contentGuide() const;
    bool hasMovieDocument() const;
    bool isAnyMoviePlaying() const;
    // Enables, retitles and tags the items whose actions end here.
    bool validateMenuItem(HXMenuItem& item) override;
    // Command-Space plays or stops every movie.
    bool performKeyEquivalent(const HXEvent& event) override;

    // Why the media layer refuses to open `url` (code -2102, the reason as its description).
    static HXError urlRefusal(const HXURL& url);

private:
    void registerMenuActions();
    void observe(HXNotificationCenter& center, const std::string& name, const void* object,
        void (MVPApplicationDelegate::*handler)(const HXNotification&));
    bool mediaKeyIs(const std::string& type, const std::string& value) const;
    void reportOpenError(const HXError& error);
    // A location the media layer refuses: an alert with the reason (a script's reply when a script asked).
    void reportURLRefusal(const HXURL& url);
    bool openOnePath(const std::string& path, size_t index, bool openInNewPlayer, HXError* error);

    Environment _environment;
    std::shared_ptr<class OpenURLPanel> _openURLPanel;
    std::vector<std::shared_ptr<class MVURLProbe>> _locationProbes;
    std::vector<std::pair<HXNotificationCenter*, HXObserverToken>> _observations;
    int _isRecording = 0;
    bool _suppressReelspot = false;
    bool _proAppsAreInstalled = false;
    bool _checkedIfProAppsAreInstalled = false;
    // The uncaught-exception handler this delegate installed at launch, and the one it replaced.
    bool _installedExceptionHandler = false;
    HXUncaughtExceptionHandler _previousExceptionHandler;
};

// Hides every window in order, as quitting does (each answers NO so that all are asked).
namespace MVPWindowHide {
bool hide(HXWindow& window);
}

// The handler for exceptions that nothing caught on the main thread: reports it and shows its reason.
void MVPUncaughtExceptionHandler(const std::exception& exception);
