// The menu commands of the application delegate: the ones no window or document handles — opening,
// new movies and recordings, commands for all open movies at once and the shared panels — and their
// validation, which also retitles the show/hide and play/stop items and tags the open items.
#include "app/application_delegate.h"

#include "app/document_controller.h"
#include "app/favorites_controller.h"
#include "app/open_url_panel.h"
#include "core/preferences.h"
#include "app/preferences_window.h"
#include "core/alert.h"
#include "document/movie_document.h"
#include "core/movie_error.h"
#include "inspectors/movie_info.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie_image_sequence.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "recording/capture_document.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

constexpr const char* kNewMovieDocumentType = "Movie-Movara";
// The frame rate the image-sequence settings propose: the one chosen last.
constexpr const char* kImageSequenceFrameRateKey = "MVPImageSequenceFramesPerSecond";
constexpr double kDefaultImageSequenceFrameRate = 30;

// `text` with its number marker "^0" replaced by `number`.
std::string withNumber(std::string text, const std::string& number)
{
    if (auto at = text.find("^0"); at != std::string::npos)
        text.replace(at, 2, number);
    return text;
}

// The image sequence's settings dialog: how many images a second the movie shows (or, for slide shows,
// how many seconds each image stays). Nothing when the user cancels.
std::optional<double> runImageSequenceSettings(double proposed)
{
    struct Rate {
        double framesPerSecond;
        std::string title;
    };
    std::vector<Rate> rates;
    for (double fps : { 60.0, 59.94, 50.0, 30.0, 29.97, 25.0, 24.0, 23.976, 15.0, 12.0, 10.0, 6.0, 5.0, 3.0, 2.0, 1.0 }) {
        char number[16];
        std::snprintf(number, sizeof number, "%g", fps);
        rates.push_back({ fps, withNumber(HXLocalizedString("mvpImageSequenceFramesPerSecond"), number) });
    }
    for (int seconds : { 2, 3, 4, 5, 10 })
        rates.push_back({ 1.0 / seconds,
            withNumber(HXLocalizedString("mvpImageSequenceSecondsPerFrame"), std::to_string(seconds)) });
    auto accessory = std::make_shared<HXView>(HXMakeRect(0, 0, 300, 26));
    auto label = HXTextField::labelWithString(HXLocalizedString("mvpImageSequenceFrameRate"), HXMakeRect(0, 4, 90, 17));
    auto popUp = std::make_shared<HXPopUpButton>(HXMakeRect(94, 0, 200, 26));
    long selected = 0;
    for (size_t i = 0; i < rates.size(); ++i) {
        popUp->addItemWithTitle(rates[i].title);
        if (std::abs(rates[i].framesPerSecond - proposed) < std::abs(rates[size_t(selected)].framesPerSecond - proposed))
            selected = long(i);
    }
    popUp->selectItemAtIndex(selected);
    accessory->addSubview(label);
    accessory->addSubview(popUp);
    auto alert = std::make_shared<HXAlert>();
    alert->setAlertStyle(HXInformationalAlertStyle);
    alert->setMessageText(HXLocalizedString("mvpImageSequenceSettings"));
    alert->setInformativeText(HXLocalizedString("mvpImageSequenceSettingsInfo"));
    alert->setAccessoryView(accessory);
    alert->addButtonWithTitle("OK");
    alert->addButtonWithTitle(HXLocalizedString("Cancel"));
    if (alert->runModal() != HXAlertFirstButtonReturn)
        return std::nullopt;
    long index = popUp->indexOfSelectedItem();
    return rates[size_t(index >= 0 && size_t(index) < rates.size() ? index : selected)].framesPerSecond;
}

bool tagSaysNewPlayer(HXObject* sender)
{
    auto* item = dynamic_cast<HXValidatedUserInterfaceItem*>(sender);
    return item && item->tag() == 1;
}

bool preferenceOpensNewPlayers()
{
    return MVPPreferences::preferences().preference(kGeneralPreferenceOpenMoviesInNewPlayers).boolValue();
}

std::shared_ptr<MVPMovieDocumentController> documentController()
{
    return MVPMovieDocumentController::sharedController();
}

// ---- The movie document in front, whose info panel Show Movie Info toggles (none for other kinds) ----
std::shared_ptr<MVPMovieDocument> currentMovieDocumentWithInfo()
{
    if (!HXDocumentController::hasSharedDocumentController())
        return nullptr;
    return std::dynamic_pointer_cast<MVPMovieDocument>(
        HXDocumentController::sharedDocumentController()->currentDocument());
}
// ---- end of the movie info block ----

template<class Each> void forEveryMovie(Each each)
{
    for (auto& doc : MVPApplicationDelegate::movieDocuments()) {
        if (doc->movie())
            each(doc->movie());
    }
}

} // namespace

void MVPApplicationDelegate::registerMenuActions()
{
    setActionHandler("openDocument:", [this](HXObject* sender) { openDocument(sender); });
    setActionHandler("import:", [this](HXObject* sender) { importDocument(sender); });
    setActionHandler("openURL:", [this](HXObject* sender) { openURL(sender); });
    setActionHandler("openImageSequence:", [this](HXObject* sender) { openImageSequence(sender); });
    setActionHandler(
        "newDocumentWithTemplate:", [this](HXObject* sender) { newDocumentWithTemplate(sender); });
    setActionHandler("newCaptureWithTemplate:", [this](HXObject* sender) { newCaptureWithTemplate(sender); });
    setActionHandler("closeAll:", [this](HXObject* sender) { closeAll(sender); });
    setActionHandler("playPauseAll:", [this](HXObject* sender) { playPauseAll(sender); });
    setActionHandler("gotoBeginningOfAll:", [this](HXObject* sender) { gotoBeginningOfAll(sender); });
    setActionHandler("gotoEndOfAll:", [this](HXObject* sender) { gotoEndOfAll(sender); });
    setActionHandler("stepBackwardAll:", [this](HXObject* sender) { stepBackwardAll(sender); });
    setActionHandler("stepForwardAll:", [this](HXObject* sender) { stepForwardAll(sender); });
    setActionHandler("showMovieInspector:", [this](HXObject* sender) { showMovieInspector(sender); });
    setActionHandler("showAVControls:", [this](HXObject* sender) { showAVControls(sender); });
    // ---- Show Movie Info: the info panel of the front movie document (a composition answers itself) ----
    setActionHandler("showMovieInfo:", [](HXObject*) {
        if (auto doc = currentMovieDocumentWithInfo())
            doc->showMovieInfo();
    });
    // ---- end of the movie info block ----
    setActionHandler("addToFavorites:", [this](HXObject* sender) { addToFavorites(sender); });
    setActionHandler("showFavorites:", [this](HXObject* sender) { showFavorites(sender); });
    setActionHandler("showContentGuide:", [this](HXObject* sender) { showContentGuide(sender); });
    setActionHandler(
        "showApplicationPreferences:", [this](HXObject* sender) { showApplicationPreferences(sender); });
    setActionHandler("updateExistingSoftware:", [this](HXObject*) {
        if (_environment.updateExistingSoftware)
            _environment.updateExistingSoftware();
    });
}

// Opening

void MVPApplicationDelegate::openDocument(HXObject* sender)
{
    auto controller = documentController();
    if (!controller)
        return;
    bool newPlayer = tagSaysNewPlayer(sender);
    if (auto paths = controller->fileNamesFromRunningOpenPanel())
        openFiles(*paths, newPlayer);
}

void MVPApplicationDelegate::importDocument(HXObject*)
{
    auto controller = documentController();
    if (!controller)
        return;
    if (auto paths = controller->fileNamesFromRunningOpenPanel())
        openFiles(*paths, preferenceOpensNewPlayers());
}

void MVPApplicationDelegate::openURL(HXObject* sender)
{
    bool newPlayer = tagSaysNewPlayer(sender);
    if (_environment.beginOpenURLSheet) {
        _environment.beginOpenURLSheet(newPlayer);
        return;
    }
    if (!_openURLPanel)
        setOpenURLPanel(OpenURLPanel::openURLPanelWithUserDefaultsKey(MVPOpenURLPanelUserDefaultsKey));
    std::weak_ptr<MVPApplicationDelegate> weak
        = std::static_pointer_cast<MVPApplicationDelegate>(shared_from_this());
    _openURLPanel->beginSheetWithWindow(nullptr, [weak, newPlayer](OpenURLPanel& panel, long returnCode) {
        if (auto self = weak.lock())
            self->openURLPanelDidEnd(panel, returnCode, newPlayer);
    });
}

void MVPApplicationDelegate::openURLPanelDidEnd(OpenURLPanel& panel, long returnCode, bool newPlayer)
{
    if (returnCode == 1) {
        // A location refused says why.
        if (auto url = panel.url())
            openLocation(*url, newPlayer);
    }
    panel.close();
}

void MVPApplicationDelegate::setOpenURLPanel(std::shared_ptr<OpenURLPanel> panel)
{
    if (_openURLPanel && _openURLPanel != panel)
        _openURLPanel->writeURLs();
    _openURLPanel = std::move(panel);
}

void MVPApplicationDelegate::openImageSequence(HXObject* sender)
{
    auto panel = HXOpenPanel::openPanel();
    panel->setAllowsMultipleSelection(false);
    panel->setCanChooseDirectories(false);
    if (panel->runModalForTypes(MVImageSequenceFileTypes()) != HXModalResponseOK || panel->filenames().empty())
        return;
    // The settings come next; a cancel there ends the command without a word.
    auto& defaults = HXUserDefaults::standardUserDefaults();
    HXPropertyList stored = defaults.objectForKey(kImageSequenceFrameRateKey);
    double proposed = stored.isNumber() && stored.realValue() > 0 ? stored.realValue() : kDefaultImageSequenceFrameRate;
    auto rate = _environment.chooseImageSequenceFrameRate ? _environment.chooseImageSequenceFrameRate(proposed)
                                                          : runImageSequenceSettings(proposed);
    if (!rate || !(*rate > 0))
        return;
    defaults.setObject(HXPropertyList(*rate), kImageSequenceFrameRateKey);
    openImageSequenceAtPath(panel->filenames().front(), tagSaysNewPlayer(sender), *rate);
}

bool MVPApplicationDelegate::openImageSequenceAtPath(
    const std::string& firstPath, bool newPlayer, double framesPerSecond)
{
    constexpr int32_t kTimeScale = 600;
    int64_t frameDuration = std::max<int64_t>(1, std::llround(kTimeScale / std::max(framesPerSecond, 0.01)));
    HXError error;
    auto movie = MVMovieWithImageSequence(firstPath, frameDuration, kTimeScale, &error);
    if (!movie) {
        MVPAlert::alertWithError(MVPMovieErrorWithCode(MVPMovieErrorCouldNotOpenMovie, nullptr, error))
            ->runModal();
        return false;
    }
    auto player = currentMovieDocumentExcludingContentGuide();
    if (!newPlayer && player) {
        // The front player takes the sequence as an unsaved change.
        player->replaceWithMovie(movie, true);
        return true;
    }
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    if (!doc)
        return false;
    doc->setFileType(kNewMovieDocumentType);
    auto controller = HXDocumentController::sharedDocumentController();
    controller->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    doc->updateChangeCount(HXChangeDone);
    return true;
}

std::shared_ptr<MVPMovieDocument> MVPApplicationDelegate::newDocumentWithTemplate(HXObject*)
{
    auto doc = MVPMovieDocument::document(nullptr);
    if (!doc)
        return nullptr;
    doc->setFileType(kNewMovieDocumentType);
    auto controller = HXDocumentController::sharedDocumentController();
    controller->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    return doc;
}

void MVPApplicationDelegate::newCaptureWithTemplate(HXObject* sender)
{
    auto* item = dynamic_cast<HXValidatedUserInterfaceItem*>(sender);
    auto doc = MVPCaptureDocument::initWithTemplateType(item ? int32_t(item->tag()) : 0);
    if (!doc)
        return;
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
}

void MVPApplicationDelegate::closeAll(HXObject*)
{
    HXDocumentController::sharedDocumentController()->closeAllDocuments([](bool) {});
}

// All movies

bool MVPApplicationDelegate::hasMovieDocument() const
{
    for (auto& doc : movieDocuments()) {
        if (doc->movie())
            return true;
    }
    return false;
}

bool MVPApplicationDelegate::isAnyMoviePlaying() const
{
    bool playing = false;
    forEveryMovie([&](const std::shared_ptr<MVMovie>& movie) {
        // A rate that is not a number counts as playing.
        if (movie->rate() != 0 || std::isnan(movie->rate()))
            playing = true;
    });
    return playing;
}

void MVPApplicationDelegate::playPauseAll(HXObject*)
{
    bool stop = isAnyMoviePlaying();
    forEveryMovie([stop](const std::shared_ptr<MVMovie>& movie) {
        if (stop)
            movie->stop();
        else
            movie->play();
    });
}

void MVPApplicationDelegate::gotoBeginningOfAll(HXObject*)
{
    forEveryMovie([](const std::shared_ptr<MVMovie>& movie) {
        movie->gotoBeginning();
    });
}

void MVPApplicationDelegate::gotoEndOfAll(HXObject*)
{
    forEveryMovie(
        [](const std::shared_ptr<MVMovie>& movie) { movie->gotoEnd(); });
}

void MVPApplicationDelegate::stepBackwardAll(HXObject*)
{
    forEveryMovie([](const std::shared_ptr<MVMovie>& movie) {
        movie->stepBackward();
    });
}

void MVPApplicationDelegate::stepForwardAll(HXObject*)
{
    forEveryMovie([](const std::shared_ptr<MVMovie>& movie) {
        movie->stepForward();
    });
}

// Panels

void MVPApplicationDelegate::showMovieInspector(HXObject*)
{
    MovieInfo::movieInspector()->showHidePanel();
}

void MVPApplicationDelegate::showAVControls(HXObject*)
{
    if (_environment.showAVControls)
        _environment.showAVControls();
}

void MVPApplicationDelegate::addToFavorites(HXObject*)
{
    auto current = HXDocumentController::sharedDocumentController()->currentDocument();
    MVPFavoritesController::favoritesController().addFavoriteDocument(current);
    if (auto controller = documentController())
        controller->rebuildFavoriteDocumentsMenu();
}

void MVPApplicationDelegate::showFavorites(HXObject*)
{
    MVPFavoritesController::favoritesController().showPanel();
}

std::shared_ptr<MVPMovieDocument> MVPApplicationDelegate::contentGuide() const
{
    for (auto& doc : movieDocuments()) {
        if (doc->isReelspot())
            return doc;
    }
    return nullptr;
}

void MVPApplicationDelegate::showContentGuide(HXObject*)
{
    if (auto guide = contentGuide())
        guide->showWindows();
    else
        openReelspotMovie(false);
}

void MVPApplicationDelegate::showApplicationPreferences(HXObject*)
{
    if (_environment.showPreferencesWindow)
        _environment.showPreferencesWindow();
    else
        MVPPreferencesWindow::sharedPreferencesWindow()->showPreferences();
}

// Validation

bool MVPApplicationDelegate::validateMenuItem(HXMenuItem& item)
{
    const std::string& action = item.action().name();
    auto localized = [](const char* key) { return HXLocalizedString(key); };

    if (action == "openDocument:" || action == "openURL:" || action == "openImageSequence:") {
        // The alternate item (shown while Option is held) does the opposite of the preference.
        item.setTag(preferenceOpensNewPlayers() != item.isAlternate() ? 1 : 0);
        return true;
    }
    if (action == "newCaptureWithTemplate:")
        return !recording();
    if (action == "playPauseAll:") {
        item.setTitle(localized(isAnyMoviePlaying() ? "mvpStopAllMovies" : "mvpPlayAllMovies"));
        return hasMovieDocument();
    }
    if (action == "gotoBeginningOfAll:" || action == "gotoEndOfAll:" || action == "stepBackwardAll:"
        || action == "stepForwardAll:")
        return hasMovieDocument();
    if (action == "showMovieInspector:") {
        auto inspector = MovieInfo::movieInspector();
        item.setTitle(localized(inspector->isVisible() ? "mvpHideMovieInspector" : "mvpShowMovieInspector"));
        return inspector->shouldMenuItemBeValid();
    }
    if (action == "showAVControls:") {
        bool visible = _environment.avControlsVisible && _environment.avControlsVisible();
        item.setTitle(localized(visible ? "mvpHideAVControls" : "mvpShowAVControls"));
        return true;
    }
    if (action == "showMovieInfo:") {
        // ---- the front movie document's info panel ----
        auto doc = currentMovieDocumentWithInfo();
        auto info = doc ? doc->movieInfo() : nullptr;
        item.setTitle(localized(info && info->isVisible() ? "mvpHideMovieInfo" : "mvpShowMovieInfo"));
        return info && info->shouldMenuItemBeValid();
    }
    if (action == "addToFavorites:") {
        auto current = std::dynamic_pointer_cast<MVPMovieDocument>(
            HXDocumentController::sharedDocumentController()->currentDocument());
        return current && current->movie() && current->movie()->URL().has_value();
    }
    if (action == "showContentGuide:") {
        auto guide = contentGuide();
        if (!guide)
            return true;
        for (auto& controller : guide->windowControllers()) {
            if (controller->isWindowLoaded() && controller->window() && controller->window()->isKeyWindow())
                return false;
        }
        return true;
    }
    if (action == "updateExistingSoftware:")
        return bool(_environment.updateExistingSoftware);
    return respondsToAction(item.action());
}

bool MVPApplicationDelegate::performKeyEquivalent(const HXEvent& event)
{
    if (event.type() == HXKeyDown && event.keyCode() == HXKeyCodeSpace
        && (event.modifierFlags() & HXCommandKeyMask)) {
        playPauseAll(this);
        return true;
    }
    return false;
}
