#include "scripting/app_scripting.h"

#include "app/application_delegate.h"
#include "app/document_controller.h"
#include "app/favorites_controller.h"
#include "app/recent_documents.h"
#include "core/preferences.h"
#include "document/movie_document.h"
#include "export/reference_movie_atoms.h"
#include "inspectors/av_controls.h"
#include "inspectors/movie_info.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/scripting_coercion.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/url.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_image_sequence.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "recording/capture_document.h"
#include "recording/capture_window_controller.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"
#include "scripting/scripting_models.h"

#include <cmath>
#include <iostream>

#ifndef MOVARA_VERSION
#define MOVARA_VERSION "1.0"
#endif

namespace MVPAppScripting {

using App = HXApplication;
using V = HXScriptValue;
using Specifier = HXScriptObjectSpecifier;
using MVPScriptValues::fourCC;

namespace {

// The user default the media layer keeps the connection speed under, in bits per second.
constexpr const char* kConnectionSpeedDefault = "MVConnectionSpeed";

struct BooleanPreference {
    const char* key;
    const char* preference;
    bool notify;
};
const BooleanPreference kBooleanPreferences[] = {
    { "useHighQualityVideoSettingWhenAvailable", "GeneralPreferenceHighQualityVideo", false },
    { "showTimecodeFrameNumbers", "GeneralPreferenceShowTimeCodeAbsoluteFrameNumbers", false },
    { "showTimecodeWhenAvailable", "GeneralPreferenceShowTimeCode", true },
    { "showClosedCaptioningWhenAvailable", "GeneralPreferenceShowClosedCaptioning", false },
    { "suspendPlayingMoviesOnUserSwitch", "GeneralPreferencePauseMoviesWhenLoggedOut", true },
    { "showWelcomeMovieAutomatically", "GeneralPreferenceShowReelspotMovieAutomatically", true },
    { "showEqualizer", "GeneralPreferenceShowEqualizer", true },
    { "playSoundInBackground", "GeneralPreferencePlaySoundWhenAppInBackground", true },
    { "playMovieFromBeginningWhenOpened", "GeneralPreferenceAutoPlayMoviesWhenOpened", true },
    { "openMovieInNewPlayer", "GeneralPreferenceOpenMoviesInNewPlayers", true },
    { "onlyFrontMoviePlaysSound", "GeneralPreferencePlaySoundInFrontPlayerOnly", true },
    { "ignoreAutoPresent", "ZantrelScriptPreferenceIgnoreAutoPresent", true },
    { "ignoreAutoPlay", "ZantrelScriptPreferenceIgnoreAutoPlay", true },
};

std::shared_ptr<HXDocumentController> controller()
{
    return HXDocumentController::sharedDocumentController();
}

std::shared_ptr<MVPApplicationDelegate> appDelegate(App& app)
{
    return std::dynamic_pointer_cast<MVPApplicationDelegate>(app.delegate());
}

std::vector<std::shared_ptr<HXDocument>> orderedDocuments()
{
    auto c = controller();
    return c ? c->orderedDocuments() : std::vector<std::shared_ptr<HXDocument>> {};
}

const HXScriptClass<MVPCaptureDocument>& recordingClass()
{
    static const HXScriptClass<MVPCaptureDocument> cls = [] {
        HXScriptClass<MVPCaptureDocument> c("recording");
        c.get("name", [](MVPCaptureDocument& d) { return V(d.displayName()); });
        c.get("uniqueID", [](MVPCaptureDocument& d) { return V(int64_t(d.uniqueID())); });
        auto self
            = [](const std::shared_ptr<MVPCaptureDocument>& d) { return V(recordingClass().reference(d)); };
        c.command("start",
            [self](MVPCaptureDocument& d, HXScriptCommand&) { return self(d.handleStartCommand()); });
        c.command("pause",
            [self](MVPCaptureDocument& d, HXScriptCommand&) { return self(d.handlePauseCommand()); });
        // A stop while recording answers when the file is finished, with the movie of the file.
        c.command("stop", [self](MVPCaptureDocument& d, HXScriptCommand& command) {
            auto controller = d.captureWindowController();
            auto state = controller ? controller->state() : MVPCaptureStatePreviewing;
            if (command.canSuspend()
                && (state == MVPCaptureStateRecording || state == MVPCaptureStatePaused)) {
                auto resume = command.suspendExecution();
                d.handleStopCommand([resume](std::shared_ptr<MVPMovieDocument> movie) {
                    resume(movie ? V(MVPMovieDocScripting::reference(movie)) : V());
                });
                return V();
            }
            return self(d.handleStopCommand());
        });
        // A recording is named by its identifier, which its movie keeps once the recording is done.
        c.specifier([](MVPCaptureDocument& d) -> std::optional<Specifier> {
            return Specifier::uniqueID("orderedDocuments", HXPropertyList(int64_t(d.uniqueID())));
        });
        return c;
    }();
    return cls;
}

// A movie or recording document as a scripting object (missing for other documents).
V documentValue(const std::shared_ptr<HXDocument>& doc)
{
    if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
        return V(MVPMovieDocScripting::reference(movieDoc));
    if (auto rec = std::dynamic_pointer_cast<MVPCaptureDocument>(doc))
        return V(recordingClass().reference(rec));
    return {};
}

// Adds a document to the controller and shows it, as the menus' commands do.
void addAndShow(const std::shared_ptr<HXDocument>& doc)
{
    if (auto c = controller()) {
        auto docs = c->documents();
        if (std::find(docs.begin(), docs.end(), doc) == docs.end())
            c->addDocument(doc);
    }
    doc->makeWindowControllers();
    doc->showWindows();
}

V newRecording(App& app, int32_t templateType)
{
    // While a recording document is open (what the delegate's recording flag follows), none is added.
    if (auto d = appDelegate(app); d && d->recording())
        return {};
    if (auto ctl = controller())
        for (const auto& doc : ctl->documents())
            if (std::dynamic_pointer_cast<MVPCaptureDocument>(doc))
                return {};
    auto doc = MVPCaptureDocument::initWithTemplateType(templateType);
    if (!doc)
        return {};
    addAndShow(doc);
    return V(recordingClass().reference(doc));
}

V forwardToFrontMovie(HXScriptCommand& command)
{
    for (const auto& doc : orderedDocuments())
        if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc)) {
            auto* handler = MVPMovieDocScripting::classDescription().commandHandler(command.name());
            if (handler)
                (*handler)(movieDoc.get(), command);
            return {};
        }
    return {};
}

std::optional<HXURL> urlFromScriptString(const std::string& text)
{
    if (auto url = HXURL::URLWithString(text))
        return url;
    // Text with characters a URL cannot hold as they stand: escape them (after undoing escapes already
    // there).
    std::string plain = HXURL::removingPercentEscapes(text).value_or(text);
    return HXURL::URLWithString(HXURL::addingPercentEscapes(plain, HXURL::EscapeKind::Path));
}

V openLocation(App& app, HXScriptCommand& command)
{
    HXScriptValue::List opened;
    auto delegate = appDelegate(app);
    if (!delegate) {
        command.fail(HXScriptFailedError, "The player cannot open locations now.");
        return {};
    }
    std::vector<std::string> texts;
    const V& direct = command.directParameter();
    if (direct.isPropertyList() && direct.propertyList().isString()) {
        texts.push_back(direct.propertyList().stringValue());
    } else if (direct.isList()) {
        for (const auto& item : direct.list())
            if (item.isPropertyList() && item.propertyList().isString())
                texts.push_back(item.propertyList().stringValue());
    }
    bool newPlayer
        = MVPPreferences::preferences().preference("GeneralPreferenceOpenMoviesInNewPlayers").boolValue();
    // One location whose name says nothing is asked of its server first: the answer comes when it has
    // answered, with the reason when it does not play.
    if (texts.size() == 1 && command.canSuspend())
        if (auto url = urlFromScriptString(texts.front()); url && MVMovie::urlNeedsProbe(*url)) {
            auto resume = command.suspendExecution();
            // The resumption keeps the command alive.
            HXScriptCommand* suspended = &command;
            delegate->openLocation(*url, newPlayer, [resume, suspended](bool opened, const HXError& error) {
                HXScriptValue::List list;
                if (!opened) {
                    suspended->fail(error.code() != 0 ? int(error.code()) : int(HXScriptFailedError),
                        error.localizedDescription());
                } else if (auto docs = orderedDocuments(); !docs.empty()) {
                    if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(docs.front()))
                        list.emplace_back(MVPMovieDocScripting::reference(movieDoc));
                }
                resume(V(std::move(list)));
            });
            return {};
        }
    std::optional<HXError> refusal;
    for (const auto& text : texts) {
        auto url = urlFromScriptString(text);
        // Only a location that opened is reported as opened (not whatever document happens to be in front).
        if (url && delegate->createMovieDocumentWithURL(*url, newPlayer)) {
            auto docs = orderedDocuments();
            if (!docs.empty())
                if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(docs.front()))
                    opened.emplace_back(MVPMovieDocScripting::reference(movieDoc));
        } else if (!refusal) {
            refusal = url ? MVPApplicationDelegate::urlRefusal(*url)
                          : HXError::withDescription(
                              HXOSStatusErrorDomain, -2102, "\u201c" + text + "\u201d is no location.");
        }
        newPlayer = true;
    }
    // Nothing opened at all: the script hears why, as it would from an alert.
    if (opened.empty() && refusal) {
        command.fail(int(refusal->code()), refusal->localizedDescription());
        return {};
    }
    return V(std::move(opened));
}

V openImageSequence(App&, HXScriptCommand& command)
{
    auto path = HXScriptCoercionHandler::sharedCoercionHandler().coerce(command.directParameter(), "string");
    if (!path) {
        command.fail(HXScriptParameterError, "The image sequence is named by the path of its first image.");
        return {};
    }
    auto fps = command.realArgument("FramesPerSecond");
    auto spf = command.realArgument("SecondsPerFrame");
    if (command.failed())
        return {};
    auto timing = imageSequenceTiming(fps, spf);
    if (!timing) {
        command.fail(HXScriptParameterError, "A frame rate is a positive number.");
        return {};
    }
    HXError error;
    auto movie = MVMovieWithImageSequence(command.absolutePath(path->propertyList().stringValue()),
        timing->duration, timing->timeScale, &error);
    if (!movie)
        return {};
    movie->setEditable(true);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    if (!doc)
        return {};
    addAndShow(doc);
    doc->updateChangeCount(HXChangeDone);
    return V(MVPMovieDocScripting::reference(doc));
}

V saveReferenceMovie(App&, HXScriptCommand& command)
{
    const V& destination = command.argument("Destination");
    auto descriptors = command.argument("UsingDescriptors");
    if (!destination.isPropertyList() || !destination.propertyList().isString()
        || destination.propertyList().stringValue().empty() || !(descriptors.isList())) {
        command.fail(
            HXScriptParameterError, "A reference movie needs a destination and a list of descriptors.");
        return {};
    }
    const std::string path = command.absolutePath(destination.propertyList().stringValue());
    bool isFolder = false;
    bool exists = HXFileManager::defaultManager().fileExistsAtPath(path, &isFolder);
    if (exists && (isFolder || !command.booleanArgument("Replacing").value_or(false))) {
        command.fail(-48, "\u201c" + path + "\u201d exists already.");
        return {};
    }
    if (command.failed())
        return {};
    HXPropertyList::Array* records = nullptr;
    auto tree = MVPRefMovieDictionaryCreateEmpty(&records);
    for (const auto& item : descriptors.list()) {
        if (!item.isPropertyList() || !item.propertyList().isDictionary()) {
            command.fail(HXScriptParameterError, "Each descriptor is a record.");
            return {};
        }
        const auto& record = item.propertyList();
        if (!record["movieurl"].isString())
            continue;
        HXPropertyList::Dictionary attributes { { "URL", record["movieurl"] } };
        if (record["platform"].isString())
            attributes["version"] = record["platform"];
        if (record["datarate"].isNumber())
            attributes["dataRate"] = record["datarate"];
        if (auto descriptor = MVPRefMovieDescriptorDictionaryCreateWithAttributes(attributes))
            records->push_back(std::move(*descriptor));
    }
    auto bytes = MVPMovieAtomDataCreateFromDictionary(*tree);
    HXError error;
    if (!bytes || !HXFileManager::defaultManager().writeToFile(path, bytes->view(), true, &error)) {
        if (bytes && error.code())
            command.fail(int(error.code()), error.localizedDescription());
        else
            command.setScriptErrorNumber(-61);
    }
    return {};
}

void addPreferences(HXScriptClass<App>& c)
{
    for (const auto& p : kBooleanPreferences) {
        std::string preference = p.preference;
        bool notify = p.notify;
        c.getSet(
            p.key,
            [preference](
                App&) { return V(MVPPreferences::preferences().preference(preference).boolValue()); },
            "boolean",
            [preference, notify](App&, const V& v, HXScriptCommand&) {
                MVPPreferences::preferences().setPreference(
                    HXPropertyList(v.propertyList().boolValue()), preference, notify);
            });
    }
    auto avVisible
        = [](App&) { return V(AVControls::hasAVControls() && AVControls::avControls()->isVisible()); };
    auto setAVVisible = [](App&, const V& v, HXScriptCommand&) {
        bool show = v.propertyList().boolValue();
        // Showing makes the panel on first use, as the menu command does; hiding never makes it.
        if (!show && !AVControls::hasAVControls())
            return;
        auto panel = AVControls::avControls();
        if (show && !panel->isVisible())
            panel->toggleAVControlsVisibility();
        else if (!show && panel->isVisible())
            panel->hideAVControls();
    };
    c.getSet("showAdvancedControls", avVisible, "boolean", setAVVisible);
    c.getSet("showAvControlsWindow", avVisible, "boolean", setAVVisible);
    c.getSet(
        "showMovieInfoWindow", [](App&) { return V(MovieInfo::movieInspector()->isVisible()); }, "boolean",
        [](App&, const V& v, HXScriptCommand&) {
            auto inspector = MovieInfo::movieInspector();
            if (inspector->isVisible() != v.propertyList().boolValue())
                inspector->showHidePanel();
        });
    c.getSet(
        "showFavoritesWindow",
        [](App&) { return V(MVPFavoritesController::favoritesController().isVisible()); }, "boolean",
        [](App&, const V& v, HXScriptCommand&) {
            if (v.propertyList().boolValue())
                MVPFavoritesController::favoritesController().showPanel();
            else
                MVPFavoritesController::favoritesController().hidePanel();
        });
    c.get("MovaraVersion", [](App&) { return V(versionNumber(MOVARA_VERSION)); });
    c.get("MovaraConnectionSpeed", [](App&) {
        auto stored = HXUserDefaults::standardUserDefaults().objectForKey(kConnectionSpeedDefault);
        return MVPScriptValues::codeValue(
            connectionSpeedCode(stored.isNumber() ? stored.integerValue() : 2147483647));
    });
    c.getSet(
        "MovaraLanguage", [](App&) { return V("English"); }, "any", [](App&, const V&, HXScriptCommand&) {});
}

void addElements(HXScriptClass<App>& c)
{
    auto movies = [](App&) {
        HXScriptValue::List list;
        for (const auto& doc : orderedDocuments())
            if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
                list.emplace_back(MVPMovieDocScripting::reference(movieDoc));
        return list;
    };
    c.elements("movies", movies);
    c.elements("orderedMovies", movies);
    // Movies and recordings front to back, found by identifier: what their own specifiers name.
    c.elements("orderedDocuments", [](App&) {
        HXScriptValue::List list;
        for (const auto& doc : orderedDocuments())
            if (auto value = documentValue(doc); !value.isMissing())
                list.push_back(std::move(value));
        return list;
    });
    c.elementUniqueID("orderedDocuments", [](App&, const HXPropertyList& identifier) -> V {
        auto wanted = HXScriptCoercionHandler::sharedCoercionHandler().coerce(V(identifier), "integer");
        if (!wanted)
            return {};
        for (const auto& doc : orderedDocuments()) {
            std::optional<uint64_t> id;
            if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
                id = movieDoc->uniqueID();
            else if (auto rec = std::dynamic_pointer_cast<MVPCaptureDocument>(doc))
                id = rec->uniqueID();
            if (id && int64_t(*id) == wanted->propertyList().integerValue())
                return documentValue(doc);
        }
        return {};
    });
    for (const char* key : { "movies", "orderedMovies" })
        c.elementInsert(key, [](App&, const V& v, std::optional<int64_t>, HXScriptCommand&) {
            if (!v.isObject() || v.object().classDescription() != &MVPMovieDocScripting::classDescription()) {
                std::cerr << "insertInMovies: Attempt to insert something other than a movie." << std::endl;
                return;
            }
            addAndShow(v.object().as<MVPMovieDocument>());
        });
    auto recordings = [](App&) {
        HXScriptValue::List list;
        if (auto ctl = controller())
            for (const auto& doc : ctl->documents())
                if (auto rec = std::dynamic_pointer_cast<MVPCaptureDocument>(doc))
                    list.emplace_back(recordingClass().reference(rec));
        return list;
    };
    c.elements("recordings", recordings);
    c.elements("orderedRecordings", recordings);
    for (const char* key : { "recordings", "orderedRecordings" })
        c.elementInsert(
            key, [](App& app, const V&, std::optional<int64_t>, HXScriptCommand&) { newRecording(app, 1); });
    c.elements("orderedMovieWindows", [](App&) {
        HXScriptValue::List list;
        for (const auto& doc : orderedDocuments()) {
            std::shared_ptr<HXWindow> window;
            if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
                window = movieDoc->movieWindow();
            else if (auto rec = std::dynamic_pointer_cast<MVPCaptureDocument>(doc))
                window = rec->captureWindow();
            if (window)
                list.emplace_back(MVPScriptingModels::windowClassDescription().reference(window));
        }
        return list;
    });
    c.elements("favorites", [](App&) {
        HXScriptValue::List list;
        for (const auto& entry : MVPFavoritesController::favoritesController().favoriteDocuments())
            list.emplace_back(MVPScriptingModels::favorite(entry.dictionaryValue()));
        return list;
    });
    c.elementInsert("favorites", [](App&, const V& v, std::optional<int64_t> index, HXScriptCommand&) {
        if (index || !v.isPropertyList() || !v.propertyList().isString())
            return;
        const std::string text = v.propertyList().stringValue();
        auto url = HXURL::URLWithString(text);
        if (!url)
            return;
        // A file URL refers to its path (the text itself is no path).
        MVDataReference reference = url->isFileURL()
            ? MVDataReference::dataReferenceWithReferenceToFile(url->path())
            : MVDataReference::dataReferenceWithReferenceToURL(*url);
        MVBytes bytes = reference.dataReference();
        HXPropertyList::Dictionary entry { { "name", HXPropertyList(HXString::lastPathComponent(text)) },
            { "dataRef", HXPropertyList(HXData(std::move(bytes))) },
            { "dataRefType", HXPropertyList(HXStringFromFourCharCode(reference.dataReferenceType())) } };
        MVPFavoritesController::favoritesController().noteNewFavoriteDocumentWithAttributes(entry);
    });
    c.elementRemove("favorites", [](App&, int64_t index, HXScriptCommand&) {
        auto& favorites = MVPFavoritesController::favoritesController();
        auto& list = favorites.favoriteDocuments();
        if (index < 0 || index >= int64_t(list.size()))
            return;
        list.erase(list.begin() + long(index));
        favorites.writeFavorites();
        favorites.reloadFavorites();
    });
    c.elements("recentItems", [](App&) {
        HXScriptValue::List list;
        if (auto ctl = MVPMovieDocumentController::sharedController())
            for (const auto& entry : ctl->recentDocuments())
                list.emplace_back(MVPScriptingModels::recentItem(entry.dictionaryValue()));
        return list;
    });
    c.elementRemove("recentItems", [](App&, int64_t index, HXScriptCommand&) {
        auto ctl = MVPMovieDocumentController::sharedController();
        if (!ctl)
            return;
        auto list = ctl->recentDocuments();
        if (index < 0 || index >= int64_t(list.size()))
            return;
        list.erase(list.begin() + long(index));
        HXUserDefaults::standardUserDefaults().setObject(HXPropertyList(list), MVPRecentDocumentsUserDefault);
        ctl->setRecentDocuments(std::move(list));
        ctl->rebuildRecentDocumentsMenu();
    });
    c.elements("displays", [](App&) {
        HXScriptValue::List list;
        for (const auto& screen : HXScreen::screens())
            list.emplace_back(MVPScriptingModels::display(screen));
        return list;
    });
    c.elements("chapters", [](App&) { return HXScriptValue::List {}; });
    c.elementRemove("chapters", [](App&, int64_t, HXScriptCommand&) {});
}

void addCommands(HXScriptClass<App>& c)
{
    c.command("newMovieRecording", [](App& app, HXScriptCommand&) { return newRecording(app, 1); });
    c.command("newAudioRecording", [](App& app, HXScriptCommand&) { return newRecording(app, 0); });
    c.command("selectAll", [](App&, HXScriptCommand& command) { return forwardToFrontMovie(command); });
    c.command("select", [](App&, HXScriptCommand& command) { return forwardToFrontMovie(command); });
    c.command("openLocation", openLocation);
    c.command("openImageSequence", openImageSequence);
    c.command("saveReferenceMovie", saveReferenceMovie);
    // Quits as the Quit menu command does, once the script has its answer: documents with changes are
    // asked about as they are then (a script is no one to answer for the user).
    c.command("quit", [](App&, HXScriptCommand&) -> V {
        HXRunLoop::main().perform([] { HXApp().terminate(); }, 0, { HXDefaultRunLoopMode });
        return {};
    });
    // Files to open, as a second start of the program hands them over.
    c.command("open", [](App& app, HXScriptCommand& command) -> V {
        auto delegate = appDelegate(app);
        auto items
            = HXScriptCoercionHandler::sharedCoercionHandler().coerce(command.directParameter(), "list");
        std::vector<std::string> paths;
        if (items)
            for (const auto& item : items->list())
                if (item.isPropertyList() && item.propertyList().isString()
                    && !item.propertyList().stringValue().empty())
                    paths.push_back(command.absolutePath(item.propertyList().stringValue()));
        if (!delegate || paths.empty()) {
            command.fail(HXScriptParameterError, "Open takes the paths of files.");
            return {};
        }
        delegate->openItems(paths,
            MVPPreferences::preferences().preference("GeneralPreferenceOpenMoviesInNewPlayers").boolValue());
        return {};
    });
}

} // namespace

uint32_t connectionSpeedCode(int64_t bitsPerSecond)
{
    struct Entry {
        int64_t speed;
        const char code[5];
    };
    static const Entry table[] = { { 1400, "144 " }, { 2800, "288 " }, { 5600, "56K " }, { 11200, "112K" },
        { 25600, "DSL1" }, { 38400, "DSL2" }, { 51200, "DSL3" }, { 76800, "DSL4" }, { 100000, "Cabl" },
        { 150000, "T1  " }, { 2147483647, "LAN " } };
    for (const auto& e : table)
        if (e.speed == bitsPerSecond)
            return fourCC(e.code);
    return fourCC("288 ");
}

double versionNumber(const std::string& version)
{
    // The major number and the first minor one: "7.6.2" reads as 7.6.
    size_t end = 0;
    bool point = false;
    while (end < version.size() && (std::isdigit(uint8_t(version[end])) || (version[end] == '.' && !point))) {
        point |= version[end] == '.';
        ++end;
    }
    try {
        return end ? std::stod(version.substr(0, end)) : 0.0;
    } catch (...) {
        return 0.0;
    }
}

std::optional<FrameTiming> imageSequenceTiming(std::optional<double> fps, std::optional<double> spf)
{
    if (fps) {
        if (!std::isfinite(*fps) || *fps <= 0 || *fps > 1e6)
            return std::nullopt;
        double fixed = *fps * 65536.0;
        bool fractional = fixed >= 2147483648.0 || (int64_t(fixed) & 0xFFFF) != 0;
        // A whole rate above 600 frames a second has no whole duration at 600: it is timed like a fraction.
        if (fractional || *fps > 600)
            return FrameTiming { 100, int32_t(*fps * 100) };
        return FrameTiming { int64_t(600 / *fps), 600 };
    }
    if (spf) {
        if (!std::isfinite(*spf) || *spf <= 0 || *spf > 1e6)
            return std::nullopt;
        // Whole seconds; a frame shorter than a second keeps its length in 600ths.
        int64_t seconds = int64_t(*spf);
        return FrameTiming { seconds >= 1 ? seconds * 600 : std::max<int64_t>(1, int64_t(*spf * 600)), 600 };
    }
    return FrameTiming { 40, 600 };
}

const HXScriptClass<HXApplication>& classDescription()
{
    static const HXScriptClass<App> cls = [] {
        HXScriptClass<App> c("application");
        addPreferences(c);
        addElements(c);
        addCommands(c);
        return c;
    }();
    return cls;
}

HXScriptReference root()
{
    return classDescription().reference(HXApplication::sharedApplication());
}

} // namespace MVPAppScripting
