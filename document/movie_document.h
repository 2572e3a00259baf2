#pragma once
// MVPMovieDocument: the player's document, one per open movie. It owns the MVMovie, reads it from a
// file, a URL or a data reference (or starts an empty one), installs it (undo manager, observers, track
// and aperture settings, the settings stored in the movie), owns the windows that show it, follows its
// load state to apply the stored start-up settings once the movie is playable, and is the object every
// other part of the player reaches the movie through.
//
// Documents live in shared_ptr: make them with the static factories, which answer null (with the error
// set) when no movie results. The document controller's factory for the movie type is
// `[] { return MVPMovieDocument::document(nullptr); }`; its read path then replaces the empty movie.
#include "document/document_info_panel.h"
#include "document/document_windows.h"
#include "document/media_attributes.h"
#include "document/presentation_settings.h"
#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/url.h"
#include "platform/drawing/geometry.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/document.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class HXAlert;
class HXTimer;
class HXWindow;
class HXWindowController;
class HXUndoManager;
class HXView;
// Saving and menus.
class HXMenuItem;
class HXSavePanel;
class HXSavePanelDelegate;
class JobProgressWindowController;
class MVPMovieProgressWindowController;

// Posted with the document as object.
inline constexpr const char* MVPMovieDocumentSetMovieNotification = "MVPMovieDocumentSetMovieNotification";
inline constexpr const char* MVPMovieDocumentWillCloseNotification = "MVPMovieDocumentWillCloseNotification";
inline constexpr const char* MVPMovieDocumentWillChangeNaturalSizeNotification
    = "MVPMovieDocumentWillChangeNaturalSizeNotification";
inline constexpr const char* MVPMovieDocumentDidChangeNaturalSizeNotification
    = "MVPMovieDocumentDidChangeNaturalSizeNotification";
// Posted by the time display when its mode changes; user info "LCDTimeMode" (1..4) and
// "LCDTimeModeMovie" (the movie's address as an integer, see timeModeMovieValue).
inline constexpr const char* MVPTimeCodeModeDidChange = "MVPTimeCodeModeDidChange";
inline constexpr const char* MVPLCDTimeModeKey = "LCDTimeMode";
inline constexpr const char* MVPLCDTimeModeMovieKey = "LCDTimeModeMovie";

// The type name of documents made in code.
inline constexpr const char* MVPAnythingDocumentType = "Anything";

// Fields that only the performance diagnostics write and read.
struct MVPMovieDocumentProfiling {
    std::shared_ptr<HXTimer> theCurrentTimeTimer;
    double avgFrameRate = 0;
    double fpsCount = 0;
    double testTime = 0;
    int lastSample = 0;
    int frameResizeCount = 0;
    bool halfSize = false;
};

class MVPMovieDocument : public HXDocument, public MVPInfoPanelDocument {
public:
    // ---- Creation (null when no movie results; the error, when asked for, says why) ----

    // A new empty movie in memory. A failure is shown at once in an alert (error code 1).
    static std::shared_ptr<MVPMovieDocument> document(HXError* outError = nullptr);
    // Opens a file. Unless `isReelspot`, the file is noted as a recent document.
    static std::shared_ptr<MVPMovieDocument> documentWithContentsOfFile(
        const std::string& path, const std::string& type, bool isReelspot, HXError* outError);
    // Opens a URL (a network movie keeps loading after this answers; see loadState()).
    static std::shared_ptr<MVPMovieDocument> documentWithContentsOfURL(
        const HXURL& url, const std::string& type, bool isReelspot, HXError* outError);
    // A file URL goes to the file opener with its path, any other URL to the URL opener; not featured.
    static std::shared_ptr<MVPMovieDocument> documentWithContentsOfURL(
        const HXURL& url, const std::string& type, HXError* outError);
    // Adopts a ready movie (file type "Anything"); not added to the document controller, no windows.
    static std::shared_ptr<MVPMovieDocument> movieDocumentWithMVMovie(const std::shared_ptr<MVMovie>& movie);
    static std::shared_ptr<MVPMovieDocument> movieDocumentWithDataReference(
        const MVDataReference& reference, HXError* outError);

    // ---- Document unique identifier (movie_document_unique_id.cpp) ----
    // Scripts name open movies and recordings by an identifier that stays valid for the whole process,
    // also when a finished recording reopens as a movie. One counter serves both kinds of document.
    // Main thread only.
    // The counter's value, then increments it: the first identifier of a process is 0.
    static uint64_t newDocumentUniqueID();
    // Drawn from the counter at the first request and kept from then on.
    uint64_t uniqueID();
    // Opens a file like documentWithContentsOfFile(path, type, false, outError) and keeps `uniqueID` as
    // its identifier (a finished recording's movie keeps the recording's identifier).
    static std::shared_ptr<MVPMovieDocument> documentWithContentsOfFile(
        const std::string& path, const std::string& type, uint64_t uniqueID, HXError* outError);

    // Use the factories; public only so that make_shared can reach it.
    struct Token {
        explicit Token() = default;
    };
    explicit MVPMovieDocument(Token);
    ~MVPMovieDocument() override;

    // ---- Reading: true when a movie is now installed. A failure (error code 2, "could not open")
    // leaves the document as it was: its previous movie, file name and type stay. ----
    bool readFromFile(const std::string& path, const std::string& type, HXError* outError);
    bool readFromURL(const HXURL& url, const std::string& type, HXError* outError) override;
    bool readFromDataReference(const MVDataReference& reference, const std::string& type, HXError* outError);

    // ---- The movie ----
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // Installs `movie` (null uninstalls): unhooks the old one, hooks the new one, syncs the windows and
    // applies the settings stored in it. The entry point for replacing a document's movie.
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    // Every track the movie has had since it was installed.
    const std::vector<std::shared_ptr<MVTrack>>& tracks() const { return _tracks; }
    void syncToNewMovie();
    void movieChanged();

    // ---- Identity and names ----
    int movieID() const { return _movieID; }
    bool isReelspot() const { return _isReelspot; }
    // The movie's display name when it has one, else the document's.
    std::string displayName() const override;
    // The display name with every ':' replaced by '-'.
    std::string safeDisplayName() const;
    // The movie's file name attribute, when it has one, becomes the document's file name.
    void setFileNameFromMovie();

    // ---- Sizes ----
    HXSize naturalSize() const { return _naturalSize; }
    HXSize userScale() const { return _userScale; }
    // Stored only when both values and both natural dimensions are above 0.
    void setUserScale(HXSize scale);
    HXSize userSize() const
    {
        return { _naturalSize.width * _userScale.width, _naturalSize.height * _userScale.height };
    }
    void setUserSize(HXSize size);

    // ---- Controller type (four-character code; 'none' for no controller); changes are undoable ----
    uint32_t movieControllerType() const;
    void setMovieControllerType(uint32_t type);

    // ---- Windows ----
    void makeWindowControllers() override;
    void showWindows() override;
    std::shared_ptr<HXWindowController> playerWindowController() const { return _playerWindowController; }
    // The full-screen controller while full screen, else the player window controller.
    std::shared_ptr<HXWindowController> currentWindowController() const;
    std::shared_ptr<HXWindow> movieWindow() const;
    // Forgets `controller` when it is the player window's, the full-screen or the properties window's
    // controller, then removes it as any document does.
    void removeWindowController(const std::shared_ptr<HXWindowController>& controller);
    // The stored window top-left (bottom-left screen coordinates), zero when nothing usable is stored.
    HXPoint persistentTopLeftPoint();
    void close() override;

    // ==== The player window's controller (movie_document_windows.cpp) ====
    // The kinds of window that show a movie. A kind whose maker is not installed shows the standard window
    // (document/document_windows.h).
    using PlayerWindowKind = MVPPlayerWindowKind;
    // A skin, or the controller type 'none', only for a movie with a picture; then the featured guide;
    // else the standard window.
    static PlayerWindowKind windowControllerKindForMovie(
        HXSize naturalSize, bool hasSkin, uint32_t controllerType, bool isReelspot);
    PlayerWindowKind windowControllerKindForCurrentMovie() const;
    // A new controller of `kind` (null when no player window maker is installed).
    static std::shared_ptr<HXWindowController> makeWindowControllerOfKind(PlayerWindowKind kind);
    // The kind of an existing controller (a controller that is no player window counts as standard).
    static PlayerWindowKind windowControllerKindOf(const HXWindowController& controller);
    // Swaps the player window for one of the kind the movie now asks for (a skin or the controller type
    // changed), keeping the window's top-left corner; false when the kind still fits, there is no player
    // window yet, or the movie is presented full screen (the player window is then followed later).
    bool changeWindowControllerIfNecessary();
    // Tells the player window that the movie's content (edits, size) changed; remembered for later
    // while full screen shows the movie.
    void syncWindowControllerToChangeInMovieContent();
    // ==== end of the player window's controller ====

    // ---- Full screen ----
    bool isFullScreen() const { return _fullScreen; }
    // Made on first use and kept as one of the window controllers; null when no presentation maker is
    // installed. The window controller itself is currentWindowController() while full screen.
    std::shared_ptr<MVPDocumentPresentation> fsPresentationWindowController();
    // Nothing when already full screen or the movie has no video.
    void enterFullScreenWithSettings(const std::optional<FSPresentationSettings>& settings);
    void exitFullScreen();

    // ---- Info panel and properties window ----
    std::shared_ptr<MVPDocumentInfoPanel> movieInfo() override;
    void showMovieInfo(HXObject* sender = nullptr);
    void openMovieProperties(HXObject* sender = nullptr);
    // The properties window's controller, once opened.
    std::shared_ptr<HXWindowController> moviePropertyBrowser() const { return _moviePropertyBrowser; }

    // ---- Load state and start-up settings ----
    int64_t lastLoadState() const { return _lastLoadState; }
    void monitorMovieLoadState();
    void windowDidBecomeVisible();
    void applyStartupAttributesIfNeeded();
    void applyStartupAttributes();
    void readStartupAttributesIfNeeded();
    void readMovieStartupAttributes();
    void applyMovieStartupAttributes();
    bool needsToReadStartupAttributes() const { return !_readMovieStartupAttributes; }
    void setNeedsToReadStartupAttributes(bool flag) { _readMovieStartupAttributes = !flag; }
    bool needsToApplyStartupAttributes() const { return !_appliedMovieStartupAttributes; }
    void setNeedsToApplyStartupAttributes(bool flag) { _appliedMovieStartupAttributes = !flag; }
    bool autoPlay() const { return _autoPlay; }
    bool goFullScreen() const { return _goFullScreen; }

    // The full-screen settings stored in the movie, read when it was opened.
    const FSPresentationSettings& persistentFullscreenSettings() const
    {
        return _persistentFullscreenSettings;
    }
    void setPersistentFullscreenSettings(const FSPresentationSettings& settings)
    {
        _persistentFullscreenSettings = settings;
    }
    // The size and the boolean settings by key; Null for a missing one (and for the colour and the screen,
    // which have typed accessors in FSPresentationSettings).
    HXPropertyList persistentFullscreenSettingForKey(const std::string& key) const;
    void setPersistentFullscreenSetting(const HXPropertyList& value, const std::string& key);
    FSPresentationSettings& temporaryFullscreenSettings() { return _temporaryFullscreenSettings; }
    bool hadPersistentFullscreenSettings() const { return _hadPersistentFullscreenSettings; }

    // ---- Playback followers ----
    void movieRateChanged(const HXNotification& notification);
    void updatePlaybackAttributesTimer();
    bool hasAttributeTimer() const { return _attributeTimer != nullptr; }
    void statusStringPosted(const HXNotification& notification);
    void movieEnded();
    // Looks at the movie's status once; always false.
    bool handleIdleEvent();
    // Asks for handleIdleEvent on the next turn of the run loop once the movie is playable in a shown window.
    void scheduleIdleCheck();
    void suspend();
    void resume();
    void systemWillSleep();
    void docTimeModeDidChange(const HXNotification& notification);
    bool isTimeModeTC() const { return _timeModeTC; }
    // The value to put under "LCDTimeModeMovie" for `movie`.
    static int64_t timeModeMovieValue(const MVMovie* movie)
    {
        return int64_t(reinterpret_cast<intptr_t>(movie));
    }

    // ---- Flags ----
    bool closeWhenDone() const { return _closeWhenDone; }
    void setCloseWhenDone(bool flag) { _closeWhenDone = flag; }
    bool quitWhenDone() const { return _quitWhenDone; }
    void setQuitWhenDone(bool flag) { _quitWhenDone = flag; }
    bool flatten() const { return _flatten; }
    void setFlatten(bool flag) { _flatten = flag; }
    bool forceSynchronousSave() const { return _forceSynchronousSave; }
    void setForceSynchronousSave(bool flag) { _forceSynchronousSave = flag; }
    long streamingStatusCode() const { return _streamingStatusCode; }
    void setStreamingStatusCode(long code) { _streamingStatusCode = code; }
    const std::string& streamingStatusMessage() const { return _streamingStatusMessage; }
    void setStreamingStatusMessage(const std::string& message) { _streamingStatusMessage = message; }
    bool netDiagnosticSheetVisible() const { return _netDiagnosticSheetVisible; }
    void setNetDiagnosticSheetVisible(bool flag) { _netDiagnosticSheetVisible = flag; }
    void setCurrentTimeTimer(std::shared_ptr<HXTimer> timer)
    {
        _profiling.theCurrentTimeTimer = std::move(timer);
    }
    MVPMovieDocumentProfiling& profiling() { return _profiling; }

    // ---- Media attributes (the info panel's rows; media_attributes.cpp) ----
    const std::vector<MVPAttributePair>& attributes() const { return _attributes; }
    const std::vector<std::string>& information() const { return _annotationStrings; }
    void updateAttributes();
    void updateStaticAttributes();
    void updateDynamicAttributes();
    void updateCurrentSizeAttribute();
    // The size the movie is shown at (the current window controller's movie view); zero when unknown.
    HXSize displayedMovieSize() const;
    // Forwards to the movie, as bindings and scripts read them (neutral answers without a movie).
    int32_t timeScale() const;
    int64_t loadState() const;
    int64_t dataSize() const;
    bool isStreaming() const;
    bool usesVisualContext() const { return _movie != nullptr; }
    bool hasVideo() const;
    bool hasDuration() const;
    bool hasChapters() const;
    MVTime duration() const;
    float rate() const;
    bool isPlaying() const;
    bool hasFrameRate() const;
    std::optional<std::string> sourceString() const;
    // Nothing for a streaming movie or one without chapters.
    std::optional<std::string> chapterFormatString() const;
    // The view the movie is drawn in and its window.
    std::shared_ptr<HXView> contentView() const;
    std::shared_ptr<HXWindow> contentWindow() const { return movieWindow(); }

    // ---- Hooks for tests and for what is not built yet ----
    // How the document shows a modal alert and gets its answer (1 the default button, 0 the alternate).
    // Unset: the alert runs modally.
    std::function<long(const std::string& message, const std::string& informative,
        const std::string& defaultButton, const std::string& alternateButton)>
        runAlert;
    // Sent instead of terminating the application when a movie that quits when done ends.
    std::function<void()> terminateApplication;

    // ==== Replacing the movie, following links, close and full-screen requests from the movie, network
    // diagnostics (movie_document_replacing.cpp); language and subtitle choice
    // (movie_document_languages.cpp) ====
public:
    // The operation types a replace or close waits with.
    static constexpr const char* MVPMovieDocumentCloseOperationType = "MVPMovieDocumentCloseOperationType";
    static constexpr const char* MVPMovieDocumentReplaceWithMovieOperationType
        = "MVPMovieDocumentReplaceWithMovieOperationType";
    static constexpr const char* MVPMovieDocumentReplaceWithFileOperationType
        = "MVPMovieDocumentReplaceWithFileOperationType";
    static constexpr const char* MVPMovieDocumentReplaceWithURLOperationType
        = "MVPMovieDocumentReplaceWithURLOperationType";
    static constexpr const char* MVPMovieDocumentReplaceWithDataReferenceOperationType
        = "MVPMovieDocumentReplaceWithDataReferenceOperationType";
    // What a replace (or close) does once the document may let its movie go. No operation means close.
    struct Operation {
        std::string type; // "MVPMovieDocumentOperationType": one of the types above
        // "MVPMovieDocumentOperationParameter": the one that goes with the type.
        std::shared_ptr<MVMovie> movie;
        std::string path;
        HXURL url;
        MVDataReference dataReference;
        std::optional<bool> isReelspot; // "MVPMovieDocumentIsReelspot": the new content is the featured guide
        bool dirtyDocument = false; // "MVPMovieDocumentDirtyDocument": mark the document edited afterwards
    };
    // The last path components of the featured guide's own URLs; their close requests are ignored.
    static constexpr const char* MVPFeaturedAutoLinkName = "mvpix_auto.mov#myself";
    static constexpr const char* MVPFeaturedBlankLinkName = "mvpix.mov#_blank";

    // Each of these does nothing when the new content is what the movie already shows; otherwise it asks
    // to close the current content (unsaved changes are offered for saving) and then replaces it in the
    // same window. A failed read keeps the current movie and reports the open error (code 2).
    void replaceWithURL(const HXURL& url, bool isReelspot);
    void replaceWithURL(const HXURL& url);
    void replaceWithReelspotURL(const HXURL& url);
    void replaceWithFile(const std::string& path, bool isReelspot);
    void replaceWithFile(const std::string& path);
    void replaceWithDataReference(const MVDataReference& reference);
    void replaceWithMovie(const std::shared_ptr<MVMovie>& movie, bool dirtyDocument);
    void replaceWithMovie(const std::shared_ptr<MVMovie>& movie);
    // The continuation of every replace and close: nothing when the user chose not to close; a close
    // (or no operation) closes the document on the next turn of the run loop; a replace installs the new
    // content, gives the document a new movie ID and applies the new movie's start-up settings.
    void documentShouldClose(bool shouldClose, const std::optional<Operation>& operation);
    // A link inside the movie was chosen: true when the document followed it (a new player, or its own
    // window for the targets "myself", "_blank" in the featured guide and "movaraplayer").
    bool movieLinkToURL(const HXURL& url);
    // The movie asks to close its window, or to enter or leave full screen.
    void handleMovieRequest(const HXNotification& notification);
    // Shows the network-diagnostics sheet for `diagnostic` (once at a time); always true.
    bool moviePostNetworkDiagnosticUI(const std::shared_ptr<class MVNetDiagnostic>& diagnostic);
    // The sheet ended: -1 (its "diagnose" button) runs the platform's diagnosis when it has one.
    void netDiagnosticsSheetDidEnd(long returnCode);
    // Where the status text and the diagnosis of the sheet come from: the desktop's network service
    // (platformNetDiagnosticFunctions, set up once per process; tests put others in). A status that does
    // not come (the service does not answer) leaves the sheet without one and its "diagnose" button
    // disabled.
    struct NetDiagnosticFunctions {
        std::function<std::optional<std::pair<long, std::string>>(const class MVNetDiagnostic&)>
            copyNetworkStatus;
        std::function<void(const class MVNetDiagnostic&)> diagnoseProblemInteractively;
    };
    static NetDiagnosticFunctions& netDiagnosticFunctions();
    static NetDiagnosticFunctions platformNetDiagnosticFunctions();
    // The sheet's status text: "description (status)", the description trimmed of line ends; empty when
    // there is no description.
    static std::string netDiagnosticStatusText(long status, const std::string& description);

    // The choosers of the movie's audio languages and subtitles (made for every installed movie).
    const std::shared_ptr<class MVPLanguageWindowController>& languageWindowController() const
    {
        return _languageWindowController;
    }
    void setLanguageWindowController(std::shared_ptr<class MVPLanguageWindowController> controller);
    const std::shared_ptr<class MVPSubtitlesController>& subtitlesController() const
    {
        return _subtitlesController;
    }
    void setSubtitlesController(std::shared_ptr<class MVPSubtitlesController> controller);
    // The Language and Subtitles submenus. makeSubtitlesMenu gives a menu whose first item ("off", action
    // "setSubtitlesVisible:") stays; the update functions refill them from the current movie before they
    // show. Their items send "setLanguage:" and "setSubtitlesLanguage:" with the track ID as tag.
    static std::shared_ptr<class HXMenu> makeChooseLanguageMenu();
    static std::shared_ptr<class HXMenu> makeSubtitlesMenu();
    void updateChooseLanguageMenuItems(class HXMenu& menu);
    void updateSubtitlesMenuItems(class HXMenu& menu);
    // Menu actions; the sender is the chosen item (its tag names the track).
    void setLanguage(HXObject* sender);
    void setSubtitlesLanguage(HXObject* sender);
    // Hides the subtitles, whatever the sender.
    void setSubtitlesVisible(HXObject* sender);
    void toggleClosedCaption(HXObject* sender);

private:
    void registerReplacingAndLanguageActions();
    // Hands the installed movie to the choosers and makes the document its delegate.
    void syncLanguagesAndLinksToMovie();
    void syncLanguageChoosersToMovie();
    void requestReplace(Operation operation);
    std::shared_ptr<class MVPLanguageWindowController> _languageWindowController;
    std::shared_ptr<class MVPSubtitlesController> _subtitlesController;
    std::shared_ptr<class MVMovieDelegate> _movieDelegate;
    std::shared_ptr<class MVNetDiagnostic> _netDiagnostic;
    // ==== end of replacing, links and languages ====

private:
    static std::shared_ptr<MVPMovieDocument> make();
    void commonInit();
    void assignUniqueMovieID();
    static HXPropertyList::Dictionary movieAttributes(const char* sourceKey, HXPropertyList source);
    bool installReadMovie(const std::shared_ptr<MVMovie>& movie, const HXError& error, HXError* outError);
    void observeMovie();
    void stopObservingMovie();
    void applyApertureMode();
    void refreshNaturalSize();
    void movieEdited();
    void movieNaturalSizeChanged();
    void movieControllerChanged();
    std::shared_ptr<HXWindowController> makePlayerWindowController();
    // The player window and the presentation as the document speaks to them; null when there is none.
    MVPDocumentPlayerWindow* playerWindow() const;
    MVPDocumentPresentation* presentation() const;
    void syncWindowControllerToNewMovie();
    void invalidateAttributeTimer();
    void applyStoredMovieSettingsIfPossible();
    void noteRecentDocument();
    void fullScreenStateChanged(int state);
    void stopObservingEverything();
    long showAlert(const std::string& message, const std::string& informative,
        const std::string& defaultButton, const std::string& alternateButton);

    std::shared_ptr<MVMovie> _movie;
    std::weak_ptr<HXAlert> _shownAlert; // the modal alert showAlert runs now
    std::vector<std::shared_ptr<MVTrack>> _tracks;
    std::shared_ptr<HXWindowController> _playerWindowController;
    // The presentation's window controller, which is an MVPDocumentPresentation.
    std::shared_ptr<HXWindowController> _fsPresentationWindowController;
    std::shared_ptr<MVPDocumentInfoPanel> _movieInfo;
    std::shared_ptr<HXWindowController> _moviePropertyBrowser;
    bool _closeWhenDone = false;
    bool _quitWhenDone = false;
    int _movieID = 0;
    long _streamingStatusCode = 0;
    std::string _streamingStatusMessage;
    int64_t _lastLoadState = 0;
    bool _flatten = true;
    bool _forceSynchronousSave = false;
    HXPoint _persistentTopLeftPoint {};
    float _savedRate = 0;
    bool _savedMuted = false;
    bool _suspended = false;
    bool _goFullScreen = false;
    bool _autoPlay = false;
    bool _readMovieStartupAttributes = false;
    bool _appliedMovieStartupAttributes = false;
    bool _netDiagnosticSheetVisible = false;
    bool _isReelspot = false;
    std::optional<uint64_t> _customUniqueID; // empty until first asked for (uniqueID())
    bool _checkedMovieStatus = false;
    bool _fullScreen = false;
    bool _playerWindowControllerNeedsMovieContentSync = false;
    bool _playerWindowControllerNeedsMovieSync = false;
    bool _hidMoviePropertiesForFullScreen = false;
    bool _timeModeTC = false;
    bool _rebuildSubtitlesMenu = false;
    bool _rebuildLanguageMenu = false;
    // The settings stored in the installed movie have been applied (a network movie has them only once
    // it is playable).
    bool _appliedStoredMovieSettings = false;
    FSPresentationSettings _persistentFullscreenSettings;
    FSPresentationSettings _temporaryFullscreenSettings;
    bool _hadPersistentFullscreenSettings = false;
    std::vector<MVPAttributePair> _attributes;
    std::vector<std::string> _annotationStrings;
    std::shared_ptr<HXTimer> _attributeTimer;
    MVPMovieDocumentProfiling _profiling;
    HXSize _naturalSize {};
    HXSize _userScale { 1, 1 };
    std::vector<HXObserverToken> _movieObservers;
    HXObserverToken _timeModeObserver = 0;
    HXObserverToken _sleepObserver = 0;
    std::vector<HXObserverToken> _fullScreenObservers;
    std::unique_ptr<HXUndoManager> _ownUndoManager;

    // ==== Saving, menu validation and edit follow-up (movie_document_saving.cpp,
    // movie_document_menus.cpp) ====
public:
    // Told once when a save ends, whatever the path: done, failed, cancelled, or a background job ended.
    using DidSaveHandler = std::function<void(MVPMovieDocument& document, bool didSave)>;

    // Save (in place when the movie's file can be updated, else through the save panel), Save As, Save To
    // (a copy: the document stays on its file). saveDocument answers whether the save is done already.
    bool saveDocument(HXObject* sender = nullptr) override;
    void saveDocumentAs(HXObject* sender = nullptr);
    void saveDocumentTo(HXObject* sender = nullptr);
    void saveDocumentWithDelegate(DidSaveHandler didSave);
    // The entry of every save: writes the player's settings into the movie first.
    void performSaveOperation(HXSaveOperationType operation, DidSaveHandler didSave);
    bool prepareSavePanel(const std::shared_ptr<HXSavePanel>& panel);
    void savePanelDidEnd(
        HXSavePanel& panel, long returnCode, HXSaveOperationType operation, DidSaveHandler didSave);
    void saveToURL(
        const HXURL& url, const std::string& type, HXSaveOperationType operation, DidSaveHandler didSave);
    // Writes synchronously under the progress sheet, or as a background job under the job sheet.
    bool writeToURL(const HXURL& url, HXSaveOperationType operation, DidSaveHandler didSave);
    using HXDocument::writeToURL;
    void flattenSheetDidEnd(long returnCode, HXSaveOperationType operation, const DidSaveHandler& didSave);
    // The save panel's check of a chosen name: a name with ':' is refused with an alert.
    bool panelIsValidFilename(const std::string& path);
    void movieProgressUserCanceled() { _syncSaveUserCanceled = true; }
    std::shared_ptr<HXSavePanel> currentSavePanel() const { return _savePanel; }
    bool shouldRunSavePanelWithAccessoryView() const { return false; }
    void revertDocumentToSaved(HXObject* sender = nullptr);
    bool revertToSavedFromFile(const std::string& path, const std::string& type);
    // Unsaved changes are offered for saving; the answer waits for the save to end.
    void canCloseDocument(std::function<void(bool shouldClose)> completion) override;

    // What decides between a synchronous and a background save.
    struct SavePathChoice {
        int64_t size = 0; // format representation length plus data size
        bool onlyAsync = false; // media key "MVPlayerSaveAsOnlyAsync"
        bool noAsync = false; // media key "MVPlayerSaveAsNoAsync"
        bool forceSynchronousSave = false;
        bool canSerialize = true;
        bool flatten = true;
    };
    static constexpr int64_t backgroundSaveThreshold = 0xC7FFFFF; // larger saves go to the background
    static bool shouldSaveInBackground(const SavePathChoice& choice);
    SavePathChoice savePathChoice() const;
    // The parameters of the background job that writes the movie self-contained to `path`.
    HXPropertyList::Dictionary flattenJobParameters(const std::string& path) const;
    // The path a background save is writing to (empty when none runs).
    const std::string& flatteningFileName() const { return _flatteningFileName; }
    std::shared_ptr<JobProgressWindowController> flattenJobController() const { return _flattenJobController; }
    // The progress sheet of synchronous saves (made on first use).
    std::shared_ptr<MVPMovieProgressWindowController> movieProgressWindowController();
    void setMovieProgressWindowController(std::shared_ptr<MVPMovieProgressWindowController> controller);
    // Hands the installed movie and the player window to the progress sheet.
    void syncProgressSheetToMovie();

    // Menus: the document's items are enabled, titled and checked from the movie's state.
    struct MenuState {
        bool hasMovie = false;
        bool fullScreen = false;
        bool reelspot = false;
        HXSize naturalSize {};
        bool hasTextTrack = false;
        bool hasVideo = false;
        int trackCount = 0;
        bool saveable = false;
        bool markedNonSerializable = false;
        bool savePanelUp = false;
        bool screensAvailable = false;
        bool baseEnables = true; // what the plain document answers (Save As, Revert)
        bool infoPanelValid = true;
        bool infoPanelVisible = false;
        bool hasClosedCaptions = false;
        bool closedCaptionsVisible = false;
        bool hasSubtitles = false;
        bool subtitlesHidden = false;
        int languageTrackCount = 0; // language plus excluded tracks of the language chooser
    };
    struct MenuValidation {
        bool enabled = false;
        std::optional<std::string> title;
        std::optional<int> state;
    };
    // Nothing for actions that are not the document's (the plain document answers those).
    static std::optional<MenuValidation> validateMovieMenuAction(HXSelector action, const MenuState& state);
    MenuState menuState(HXSelector action);
    bool validateMenuItem(HXMenuItem& item) override;
    // How many language tracks the language chooser offers; unset: the movie's sound tracks.
    std::function<int()> languageTrackCount;
    // Follows an edit of the movie: the change count, the menus to rebuild.
    void movieEditFollowUp();
    // Find in the movie's text: findText: shows the shared find panel on this document; findNextText: and
    // findPreviousText: search again from one character past (or before) the last hit.
    void findText(HXObject* sender);
    void findNextText(HXObject* sender);
    void findPreviousText(HXObject* sender);
    void registerFindActions();
    bool rebuildSubtitlesMenu() const { return _rebuildSubtitlesMenu; }
    bool rebuildLanguageMenu() const { return _rebuildLanguageMenu; }

    // Printing (movie_document_printing.cpp): the frame the window shows, on one page.
    void printShowingPrintPanel(bool showPanels) override;

private:
    void registerSavingActions();
    void registerPrintingActions();
    bool writeSynchronously(const HXURL& url, HXSaveOperationType operation, const DidSaveHandler& didSave);
    bool beginBackgroundSave(const HXURL& url, HXSaveOperationType operation, DidSaveHandler didSave);
    bool installSavedFile(const std::string& path, HXError* outError);
    void presentSaveError(const HXError& error);

    std::shared_ptr<HXSavePanel> _savePanel;
    std::shared_ptr<HXSavePanelDelegate> _savePanelDelegate;
    std::string _flatteningFileName;
    bool _syncSaveUserCanceled = false;
    std::shared_ptr<MVPMovieProgressWindowController> _movieProgressWindowController;
    std::shared_ptr<JobProgressWindowController> _flattenJobController;
    // ==== end of saving and menus ====

    // ==== Full-screen hand-off (movie_document_fullscreen.cpp) ====
public:
    // The full-screen command: presents with the preferences' settings.
    void fullScreen(HXObject* sender = nullptr);
    // The present-movie command: the settings sheet on the player window, seeded with the movie's own
    // settings or, when it has none, the preferences'.
    void presentMovie(HXObject* sender = nullptr);
    // Play (1) presents with the sheet's settings; cancel (0) drops the preferences filled in for a movie
    // that had no settings of its own.
    void fsPresentationSettingsSheetDidEnd(MVPDocumentPresentationSettingsSheet& sheet, long returnCode);
    // Takes the presentation settings sheet's controller off the document.
    void dropPresentationSettingsSheet();
    // The sheet while it is up (null otherwise, and when no sheet maker is installed).
    std::shared_ptr<MVPDocumentPresentationSettingsSheet> fsPresentationSettingsWindowController() const;
    // Installs the presentation controller (an MVPDocumentPresentation) as one of the window controllers,
    // removing the old one.
    void setFSPresentationWindowController(const std::shared_ptr<HXWindowController>& controller);
    // The presentation's states: the player window hides while presenting (showing it ends the
    // presentation) and comes back with its pending syncs and the properties window afterwards.
    void fsPresentationEnteringFullScreen();
    void fsPresentationFullScreen();
    void fsPresentationExitingFullScreen();
    void fsPresentationInactive();
    void movieWindowWillBecomeVisible();

    // With "MOVIEPLAYERFULLSCREENPROFILE" and "MOVIEPLAYERRESULTSPATH" set, the full-screen command times
    // one entry and exit, writes the times to the results file and quits; false when not profiling.
    bool profileFullScreen();

private:
    void registerFullScreenActions();
    std::shared_ptr<HXWindowController> _fsPresentationSettingsWindowController;
    HXObserverToken _playerWindowVisibleObserver = 0;
    // ==== end of the full-screen hand-off ====
};
