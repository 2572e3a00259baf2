#pragma once
// The composition document: a visual composition played in a small window with transport buttons. It
// shows full screen, has an info panel with its own attributes (format, average frame rate and load,
// size), and saving renders a chosen number of seconds of it into a movie file, which then opens as a
// movie document in its place. Without the composition layer a composition file opens as a movie
// document.
//
// Its window (MVPVitrelCompController, player/window/composition_window_controller.h: the composition
// view in a bevel, five transport buttons, a resize indicator, and the save panel's accessory that asks
// for the length to render) is made by the maker the player installs; the document sees it as
// MVPVitrelCompWindow. MVPVCView is the composition view that hands the space bar to the window and
// leaves full screen on Escape.
#include "document/document_info_panel.h"
#include "document/media_attributes.h"

#include "platform/basekit/notification_center.h"
#include "platform/vckit/view.h"
#include "platform/winkit/document.h"
#include "platform/winkit/window_controller.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXSavePanel;

// The document type and file extension of compositions.
inline constexpr const char* MVPVitrelCompositionDocumentType = "VitrelComposition";
inline constexpr const char* MVPVitrelCompositionExtension = "vcomp";

// What the composition view tells its controller.
class MVPVCViewDelegate {
public:
    virtual ~MVPVCViewDelegate() = default;
    virtual void viewWillExitFullScreen() { }
    virtual void viewDidExitFullScreen() { }
    // A key the view passes on (the space bar).
    virtual void keyDown(const HXEvent& event) = 0;
};

class MVPVCView : public VCView {
public:
    using VCView::VCView;
    void setDelegate(MVPVCViewDelegate* delegate) { _delegate = delegate; }
    // Escape leaves full screen, Tab moves through the key views, space goes to the delegate.
    void keyDown(const HXEvent& event) override;
    // Leaves full screen, then takes the keyboard in its window again.
    void exitFullScreenModeWithOptions(const HXPropertyList::Dictionary& options = {}) override;

private:
    MVPVCViewDelegate* _delegate = nullptr;
};

// The composition's window as the document sees it.
class MVPVitrelCompWindow : public MVPVCViewDelegate {
public:
    static constexpr double defaultSaveDuration = 15;

    // Play starts rendering (or resumes it), pause pauses it, rewind goes back to 0.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void rewind() = 0;
    virtual void viewWillEnterFullScreen() { }
    virtual void viewDidEnterFullScreen() { }
    // Seconds of movie a save renders, and the save panel's accessory that edits it.
    virtual double saveDuration() const = 0;
    virtual std::shared_ptr<HXView> saveAccessoryView() = 0;

    using Maker = std::function<std::shared_ptr<HXWindowController>()>;
    static void setMaker(Maker maker);
    // A new window controller (which is an MVPVitrelCompWindow); null when no maker is installed.
    static std::shared_ptr<HXWindowController> make();
};

class MVPVitrelCompDocument : public HXDocument, public MVPInfoPanelDocument {
public:
    MVPVitrelCompDocument();
    ~MVPVitrelCompDocument() override;

    // The composition layer is in the process. Tests may pretend it is missing.
    static bool isVitrelSupported();
    static void setVitrelSupportedOverride(std::optional<bool> supported);
    // A composition document for the file, or, without the composition layer, a movie document.
    static std::shared_ptr<HXDocument> documentWithContentsOfFile(
        const std::string& path, const std::string& type, HXError* outError);
    static std::shared_ptr<HXDocument> documentWithContentsOfURL(
        const HXURL& url, const std::string& type, HXError* outError);

    // Reading: the composition replaces the one before; false (with an error) when none resulted.
    bool readFromFile(const std::string& path, const std::string& type, HXError* outError);
    bool readFromURL(const HXURL& url, const std::string& type, HXError* outError) override;
    // The bytes of a composition that came from `url`.
    bool readFromData(const std::string& data, const HXURL& url, HXError* outError);

    // The composition's name, else the file's display name.
    std::string displayName() const override;
    // The window, through the maker the player installs; without one the document has no window.
    void makeWindowControllers() override;
    std::shared_ptr<MVPVitrelCompWindow> vitrelController() const;

    // The view that renders; the document follows its rendering and its size.
    void setVCView(const std::shared_ptr<MVPVCView>& view);
    const std::shared_ptr<MVPVCView>& vcView() const { return _vcView; }
    const std::shared_ptr<VCComposition>& composition() const { return _composition; }

    // ---- Info panel ----
    std::shared_ptr<MVPDocumentInfoPanel> movieInfo() override;
    void showMovieInfo(HXObject* sender = nullptr);
    bool validateMenuItem(HXMenuItem& item) override;

    // ---- Full screen ----
    void fullScreen(HXObject* sender = nullptr);
    void fullScreenWindowDidResignMain();
    void fullScreenWillCancelAfterDelay();

    // ---- Scripting commands ----
    // Play starts a composition that is not playing; pause pauses one that plays; rewind goes to 0.
    void handlePlayCommand();
    void handlePauseCommand();
    void handleRewindCommand();

    // ---- Saving: renders to a movie and reopens it in place of this document ----
    bool saveDocument(HXObject* sender = nullptr) override;
    void saveDocumentAs(HXObject* sender = nullptr);
    std::vector<std::string> writableTypesForSaveOperation() const { return { "Movie-Movara" }; }
    void prepareSavePanel(const std::shared_ptr<HXSavePanel>& panel);
    // Renders the controller's save duration of the composition at the view's size into a movie at
    // `url`, opens it as a movie document in this one's place (full screen when this one is) and closes
    // this one. A failure is shown and keeps this document; the answer is whether it worked.
    bool saveToURL(const HXURL& url, HXError* outError = nullptr);
    // The movie document that took this one's place after the last save.
    std::shared_ptr<HXDocument> savedMovieDocument() const { return _savedMovieDocument.lock(); }

    // ---- Attributes (format, average frame rate, average load, current size) ----
    const std::vector<MVPAttributePair>& attributes() const { return _attributes; }
    const std::vector<std::string>& information() const { return _information; }
    void updateAttributes();
    void updateStaticAttributes();
    void updateDynamicAttributes();
    void updateInformation();
    std::string formatString() const;
    std::string sizeString() const;
    std::string fpsString() const;
    std::string loadString() const;
    // "%ld" for a whole number, else "%3.2lf"; the load with a percent sign.
    static std::string fpsStringForRate(double rate);
    static std::string loadStringForLoad(double load);

    void close() override;

private:
    void renderingStarted();
    void renderingStopped();
    void stopObservingView();

    std::shared_ptr<MVPVCView> _vcView;
    std::shared_ptr<MVPDocumentInfoPanel> _movieInfo;
    std::shared_ptr<HXWindowController> _vitrelController;
    std::shared_ptr<VCComposition> _composition;
    std::vector<MVPAttributePair> _attributes;
    std::vector<std::string> _information;
    std::shared_ptr<class HXTimer> _timeTimer;
    std::vector<HXObserverToken> _viewObservers;
    HXObserverToken _resignMainObserver = 0;
    std::weak_ptr<HXDocument> _savedMovieDocument;
    bool _cancelPending = false;
};
