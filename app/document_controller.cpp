#include "app/document_controller.h"

#include "app/application_delegate.h"
#include "app/favorites_controller.h"
#include "core/preferences.h"
#include "core/movie_error.h"
#include "document/composition_document.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/open_panel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

const HXSelector kOpenRecentDocument("openRecentDocument:");
const HXSelector kClearRecentDocuments("clearRecentDocuments:");
const HXSelector kOpenFavoriteDocumentProxy("openFavoriteDocumentProxy:");
const HXSelector kOpenFavoriteDocument("openFavoriteDocument:");

std::string lowercase(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool preferenceOpensNewPlayers()
{
    return MVPPreferences::preferences().preference(kGeneralPreferenceOpenMoviesInNewPlayers).boolValue();
}

std::shared_ptr<MVPMovieDocument> currentPlayer()
{
    auto delegate = MVPApplicationDelegate::sharedDelegate();
    return delegate ? delegate->currentMovieDocumentExcludingContentGuide() : nullptr;
}

// The entry a menu item stands for (its represented object).
const MVPRecentDocuments::Entry* entryOfSender(HXObject* sender)
{
    auto* item = dynamic_cast<HXMenuItem*>(sender);
    if (!item)
        return nullptr;
    return std::any_cast<MVPRecentDocuments::Entry>(&item->representedObject());
}

// Keeps screen updates off for the life of one open, so its windows appear together.
class ScreenUpdatesDisabled {
public:
    ScreenUpdatesDisabled()
        : _app(HXApplication::hasSharedApplication() ? HXApplication::sharedApplication() : nullptr)
    {
        if (_app)
            _app->disableScreenUpdates();
    }
    ~ScreenUpdatesDisabled()
    {
        if (_app)
            _app->enableScreenUpdates();
    }
    ScreenUpdatesDisabled(const ScreenUpdatesDisabled&) = delete;
    ScreenUpdatesDisabled& operator=(const ScreenUpdatesDisabled&) = delete;

private:
    std::shared_ptr<HXApplication> _app;
};

} // namespace

MVPMovieDocumentController::MVPMovieDocumentController()
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    if (defaults.stringForKey(HXNavLastRootDirectoryKey).empty())
        defaults.setString(
            (std::filesystem::path(HXHomeDirectory()) / "Movies").string(), HXNavLastRootDirectoryKey);

    setActionHandler(kOpenRecentDocument, [this](HXObject* sender) { openRecentDocument(sender); });
    setActionHandler(kClearRecentDocuments, [this](HXObject* sender) { clearRecentDocuments(sender); });
    setActionHandler(kOpenFavoriteDocumentProxy, [this](HXObject* sender) { openFavoriteDocument(sender); });
    setActionHandler(kOpenFavoriteDocument, [this](HXObject* sender) { openFavoriteDocument(sender); });

    // A lowered limit trims the list at once, whether or not a menu has been opened yet.
    _preferencesObserver = HXNotificationCenter::defaultCenter().addObserver(this,
        kPreferenceChangedNotification, nullptr, [this](const HXNotification& n) { preferencesChanged(n); });

    presentOpenError = [](const HXError& error) { HXAlert::alertWithError(error)->runModal(); };
}

MVPMovieDocumentController::~MVPMovieDocumentController()
{
    HXNotificationCenter::defaultCenter().removeObserver(_preferencesObserver);
}

std::shared_ptr<MVPMovieDocumentController> MVPMovieDocumentController::sharedController()
{
    if (!hasSharedDocumentController())
        return nullptr;
    return std::dynamic_pointer_cast<MVPMovieDocumentController>(sharedDocumentController());
}

// Types

const std::vector<std::string>& MVPMovieDocumentController::movieFileTypes()
{
    // What the media layer reads, by extension.
    static const std::vector<std::string> types = { "mov", "qt", "mp4", "m4v", "m4a", "m4b", "3gp", "3g2",
        "3gpp", "mkv", "mka", "webm", "avi", "mpg", "mpeg", "m2v", "vob", "ts", "m2t", "mts", "m2ts", "flv",
        "wmv", "asf", "dv", "mxf", "ogv", "ogg", "oga", "opus", "mp3", "mp2", "aac", "ac3", "wav", "aif",
        "aiff", "aifc", "caf", "au", "snd", "flac", "gif", "sdp", "m3u8" };
    return types;
}

std::string MVPMovieDocumentController::typeFromFileExtension(const std::string& extension) const
{
    std::string type = HXDocumentController::typeFromFileExtension(extension);
    if (!type.empty() || extension.empty())
        return type;
    auto& types = movieFileTypes();
    return std::find(types.begin(), types.end(), lowercase(extension)) != types.end()
        ? MVPAnythingDocumentType
        : std::string();
}

// The open panel

void MVPMovieDocumentController::setupOpenPanel(HXOpenPanel& panel) const
{
    panel.setAllowsMultipleSelection(true);
    panel.setCanChooseDirectories(false);
    panel.setCanChooseFiles(true);
    panel.setTreatsFilePackagesAsDirectories(false);
    auto current = currentDocument();
    auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(current);
    if (current && !(movieDoc && movieDoc->isReelspot()) && !current->fileName().empty()) {
        auto folder = std::filesystem::path(current->fileName()).parent_path();
        if (!folder.empty())
            panel.setDirectory(folder.string());
    }
}

std::optional<std::vector<std::string>> MVPMovieDocumentController::fileNamesFromRunningOpenPanel()
{
    auto panel = HXOpenPanel::openPanel();
    setupOpenPanel(*panel);
    if (panel->runModalForTypes({}) != HXModalResponseOK)
        return std::nullopt;
    return panel->filenames();
}

// Finding documents

std::shared_ptr<MVPMovieDocument> MVPMovieDocumentController::documentForDataReference(
    const MVDataReference& reference) const
{
    for (auto& doc : documentsOfClass<MVPMovieDocument>()) {
        if (doc->movie() && doc->movie()->initialDataReference() == reference)
            return doc;
    }
    return nullptr;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocumentController::openNewMovieDocument(
    const MVDataReference& reference, HXError* error)
{
    auto doc = MVPMovieDocument::movieDocumentWithDataReference(reference, error);
    if (doc)
        showNewDocument(doc);
    return doc;
}

void MVPMovieDocumentController::showNewDocument(const std::shared_ptr<HXDocument>& doc)
{
    addDocument(doc);
    doc->makeWindowControllers();
    doc->updateChangeCount(HXChangeCleared);
    doc->showWindows();
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocumentController::openDataReference(
    const MVDataReference& reference)
{
    if (reference.isNone())
        return nullptr;
    if (!preferenceOpensNewPlayers()) {
        if (auto player = currentPlayer()) {
            MVPReplaceWithDataReference(player, reference);
            return player;
        }
    }
    if (auto open = documentForDataReference(reference)) {
        open->showWindows();
        return open;
    }
    return openNewMovieDocument(reference, nullptr);
}

// Recent items

void MVPMovieDocumentController::noteNewRecentDocument(const std::shared_ptr<HXDocument>& document)
{
    // A composition comes back by its file (or network) location.
    if (auto composition = std::dynamic_pointer_cast<MVPVitrelCompDocument>(document)) {
        HXURL url = composition->fileURL();
        if (url.isEmpty())
            return;
        auto reference = url.isFileURL() ? MVDataReference::dataReferenceWithReferenceToFile(url.path())
                                         : MVDataReference::dataReferenceWithReferenceToURL(url);
        noteNewRecentDocumentWithAttributes(
            MVPRecentDocuments::entryForDataReference(composition->displayName(), reference));
        return;
    }
    auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(document);
    if (!movieDoc || movieDoc->isReelspot() || !movieDoc->movie())
        return;
    if (movieDoc->movie()->loadState() < MVMovieLoadStatePlayable)
        return;
    const MVDataReference& reference = movieDoc->movie()->initialDataReference();
    if (reference.kind() != MVDataReference::Kind::File && reference.kind() != MVDataReference::Kind::URL)
        return; // a movie made in memory has nothing to come back to
    noteNewRecentDocumentWithAttributes(
        MVPRecentDocuments::entryForDataReference(movieDoc->displayName(), reference));
}

void MVPMovieDocumentController::noteNewRecentDocumentURL(const HXURL& url)
{
    if (url.absoluteString().empty())
        return;
    // The movie document reports itself by its URL: note it with its movie's own reference and name.
    for (auto& doc : documentsOfClass<MVPMovieDocument>()) {
        bool same = url.isFileURL() ? doc->fileURL() == url
                                    : (doc->movie() && doc->movie()->URL() && *doc->movie()->URL() == url);
        if (same) {
            noteNewRecentDocument(doc);
            return;
        }
    }
    if (auto composition = compositionDocumentForURL(url)) {
        noteNewRecentDocument(composition);
        return;
    }
    auto reference = MVDataReference::dataReferenceWithReferenceToURL(url);
    std::string name = url.absoluteString();
    auto slash = name.find_last_of('/');
    if (slash != std::string::npos && slash + 1 < name.size())
        name = name.substr(slash + 1);
    noteNewRecentDocumentWithAttributes(MVPRecentDocuments::entryForDataReference(name, reference));
}

size_t MVPMovieDocumentController::recentItemsLimit()
{
    return MVPRecentDocuments::clampedLimit(
        MVPPreferences::preferences().preference(kGeneralPreferenceNumberOfRecentItems).integerValue());
}

void MVPMovieDocumentController::noteNewRecentDocumentWithAttributes(const MVPRecentDocuments::Entry& entry)
{
    if (!MVPRecentDocuments::hasRequiredKeys(entry))
        return;
    readRecentDocumentsIfNecessary();
    MVPRecentDocuments::addEntry(*_recentDocuments, entry, recentItemsLimit());
    writeRecentDocuments();
    if (_builtRecentDocumentsMenu)
        rebuildRecentDocumentsMenu();
}

void MVPMovieDocumentController::readRecentDocumentsIfNecessary()
{
    if (_recentDocuments)
        return;
    MVPRecentDocuments::List list;
    for (auto& value : HXUserDefaults::standardUserDefaults().arrayForKey(MVPRecentDocumentsUserDefault)) {
        // Anything but an entry (a hand-edited or damaged file) is left out rather than shown.
        if (value.isDictionary())
            list.push_back(value);
    }
    _recentDocuments = std::move(list);
}

void MVPMovieDocumentController::setRecentDocuments(MVPRecentDocuments::List list)
{
    _recentDocuments = std::move(list);
}

const MVPRecentDocuments::List& MVPMovieDocumentController::recentDocuments()
{
    readRecentDocumentsIfNecessary();
    return *_recentDocuments;
}

bool MVPMovieDocumentController::recentDocumentsContainsDisplayName(const std::string& name)
{
    return MVPRecentDocuments::countOfEntriesNamed(recentDocuments(), name) > 1;
}

void MVPMovieDocumentController::writeRecentDocuments()
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(*_recentDocuments), MVPRecentDocumentsUserDefault);
}

void MVPMovieDocumentController::rebuildRecentDocumentsMenu()
{
    auto menu = _recentDocumentsSubMenu;
    if (!menu)
        return;
    menu->removeAllItems();
    const auto& list = recentDocuments();
    for (auto& value : list) {
        const auto& entry = value.dictionaryValue();
        auto item
            = menu->addItemWithTitle(MVPRecentDocuments::menuTitleOfEntry(list, entry), kOpenRecentDocument);
        item->setRepresentedObject(entry);
    }
    if (!list.empty())
        menu->addItem(HXMenuItem::separatorItem());
    menu->addItemWithTitle(HXLocalizedString("mvpClearMenu"), kClearRecentDocuments);
}

void MVPMovieDocumentController::openRecentDocument(HXObject* sender)
{
    if (const auto* entry = entryOfSender(sender)) {
        auto copy = *entry; // the menu item goes away when the list is rebuilt
        openRecentEntry(copy);
    }
}

bool MVPMovieDocumentController::opensAsMovie(const MVDataReference& reference) const
{
    auto url = reference.referenceURL();
    if (!url)
        return false;
    std::string type = typeForURL(*url);
    if (type == MVPVitrelCompositionDocumentType)
        return false;
    // Network locations open as movies whatever their name says; the media layer decides what it reads.
    if (!url->isFileURL())
        return true;
    return !type.empty() && hasFactoryForType(type);
}

std::string MVPMovieDocumentController::typeForURL(const HXURL& url) const
{
    if (url.isFileURL())
        return typeForContentsOfURL(url, nullptr);
    auto relative = HXURL::URLWithString(url.relativeString());
    return typeFromFileExtension(relative.value_or(url).pathExtension());
}

std::shared_ptr<MVPVitrelCompDocument> MVPMovieDocumentController::compositionDocumentForURL(const HXURL& url) const
{
    for (auto& doc : documentsOfClass<MVPVitrelCompDocument>()) {
        HXURL shown = doc->fileURL();
        if (shown.isEmpty())
            continue;
        if (url.isFileURL() && shown.isFileURL()) {
            std::error_code ec;
            if (std::filesystem::equivalent(shown.path(), url.path(), ec))
                return doc;
        } else if (shown.absoluteString() == url.absoluteString()) {
            return doc;
        }
    }
    return nullptr;
}

bool MVPMovieDocumentController::openRecentComposition(const HXURL& url)
{
    HXError error;
    auto doc = MVPVitrelCompDocument::documentWithContentsOfURL(url, MVPVitrelCompositionDocumentType, &error);
    if (!doc) {
        if (presentOpenError)
            presentOpenError(MVPMovieErrorWithCode(
                MVPMovieErrorCouldNotOpenMovie, std::optional<MVPMovieErrorSubject>(), std::nullopt));
        return false;
    }
    showNewDocument(doc);
    return true;
}

void MVPMovieDocumentController::openRecentEntry(const MVPRecentDocuments::Entry& entry)
{
    auto reference = MVPRecentDocuments::dataReferenceOfEntry(entry);
    auto url = reference ? reference->referenceURL() : std::nullopt;
    // A composition opens as one and never replaces the movie of a player.
    bool composition = url && typeForURL(*url) == MVPVitrelCompositionDocumentType;
    {
        ScreenUpdatesDisabled screenUpdates;
        if (!reference) {
            if (presentOpenError)
                presentOpenError(MVPMovieErrorWithCode(
                    MVPMovieErrorCouldNotOpenMovie, std::optional<MVPMovieErrorSubject>(), std::nullopt));
        } else if (auto open = documentForDataReference(*reference)) {
            open->showWindows();
        } else if (auto openComposition = url ? compositionDocumentForURL(*url) : nullptr) {
            openComposition->showWindows();
        } else if (composition) {
            openRecentComposition(*url);
        } else if (auto player = currentPlayer();
                   player && !preferenceOpensNewPlayers() && !player->isDocumentEdited()) {
            MVPReplaceWithDataReference(player, *reference);
        } else if (opensAsMovie(*reference)) {
            HXError error;
            if (!openNewMovieDocument(*reference, &error) && presentOpenError)
                presentOpenError(MVPMovieErrorWithCode(
                    MVPMovieErrorCouldNotOpenMovie, std::optional<MVPMovieErrorSubject>(), error));
        }
    }
    noteNewRecentDocumentWithAttributes(entry);
}

void MVPMovieDocumentController::clearRecentDocuments(HXObject*)
{
    readRecentDocumentsIfNecessary();
    _recentDocuments->clear();
    HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPRecentDocumentsUserDefault);
    if (_builtRecentDocumentsMenu)
        rebuildRecentDocumentsMenu();
}

void MVPMovieDocumentController::preferencesChanged(const HXNotification& notification)
{
    auto key = notification.userInfo().find(kPreferenceChangedUserInfo);
    if (key == notification.userInfo().end()
        || key->second.stringValue() != kGeneralPreferenceNumberOfRecentItems)
        return;
    readRecentDocumentsIfNecessary();
    if (!MVPRecentDocuments::trimToLimit(*_recentDocuments, recentItemsLimit()))
        return;
    writeRecentDocuments();
    if (_builtRecentDocumentsMenu)
        rebuildRecentDocumentsMenu();
}

// Favorites

void MVPMovieDocumentController::rebuildFavoriteDocumentsMenu()
{
    auto menu = _favoriteDocumentsSubMenu;
    if (!menu)
        return;
    auto& favorites = MVPFavoritesController::favoritesController();
    favorites.readFavoriteDocumentsIfNecessary();
    // The first two items are fixed (Add to Favorites, Show Favorites); then one separator and the list.
    menu->addItem(HXMenuItem::separatorItem());
    while (menu->numberOfItems() > 3)
        menu->removeItemAtIndex(menu->numberOfItems() - 2);
    for (auto& value : favorites.favoriteDocuments()) {
        if (!value.isDictionary())
            continue;
        const auto& entry = value.dictionaryValue();
        auto name = entry.find(MVPFavoriteDocumentNameAttribute);
        auto item = menu->addItemWithTitle(
            name == entry.end() ? std::string() : name->second.stringValue(), kOpenFavoriteDocumentProxy);
        item->setRepresentedObject(entry);
    }
}

void MVPMovieDocumentController::openFavoriteDocument(HXObject* sender)
{
    if (const auto* entry = entryOfSender(sender)) {
        auto copy = *entry;
        MVPFavoritesController::favoritesController().openFavoriteDocument(&copy);
    }
}

// Submenus

void MVPMovieDocumentController::setRecentDocumentsSubMenu(const std::shared_ptr<HXMenu>& menu)
{
    _recentDocumentsSubMenu = menu;
    if (menu)
        menu->setDelegate(std::dynamic_pointer_cast<HXMenuDelegate>(shared_from_this()));
}

void MVPMovieDocumentController::setFavoriteDocumentsSubMenu(const std::shared_ptr<HXMenu>& menu)
{
    _favoriteDocumentsSubMenu = menu;
    if (menu)
        menu->setDelegate(std::dynamic_pointer_cast<HXMenuDelegate>(shared_from_this()));
}

void MVPMovieDocumentController::setSubtitlesSubMenu(const std::shared_ptr<HXMenu>& menu)
{
    _subtitlesSubMenu = menu;
    if (menu)
        menu->setDelegate(std::dynamic_pointer_cast<HXMenuDelegate>(shared_from_this()));
}

void MVPMovieDocumentController::setChooseLanguageSubMenu(const std::shared_ptr<HXMenu>& menu)
{
    _chooseLanguageSubMenu = menu;
    if (menu)
        menu->setDelegate(std::dynamic_pointer_cast<HXMenuDelegate>(shared_from_this()));
}

void MVPMovieDocumentController::menuNeedsUpdate(HXMenu& menu)
{
    if (!_builtRecentDocumentsMenu) {
        readRecentDocumentsIfNecessary();
        _builtRecentDocumentsMenu = true;
        rebuildRecentDocumentsMenu();
    }
    rebuildFavoriteDocumentsMenu();

    auto document = std::dynamic_pointer_cast<MVPMovieDocument>(currentDocument());
    if (!document)
        return;
    if (&menu == _subtitlesSubMenu.get())
        document->updateSubtitlesMenuItems(menu);
    else if (&menu == _chooseLanguageSubMenu.get())
        document->updateChooseLanguageMenuItems(menu);
}

bool MVPMovieDocumentController::validateMenuItem(HXMenuItem& item)
{
    if (item.action() == kClearRecentDocuments) {
        bool modal
            = HXApplication::hasSharedApplication() && HXApplication::sharedApplication()->modalWindow();
        return !recentDocuments().empty() && !modal;
    }
    return HXDocumentController::validateMenuItem(item);
}

// Launch

void MVPMovieDocumentController::autoreopenDocuments(std::optional<bool> featuredMovieFlag)
{
    if (!featuredMovieFlag)
        return;
    if (auto delegate = MVPApplicationDelegate::sharedDelegate())
        delegate->setSuppressReelspot(!*featuredMovieFlag);
}

void MVPMovieDocumentController::autoreopenDocuments(const HXPropertyList::Dictionary& launchEventParameters)
{
    auto flag = launchEventParameters.find(MVPLaunchEventFeaturedMovieKey);
    if (flag == launchEventParameters.end() || !flag->second.isBoolean())
        autoreopenDocuments(std::optional<bool>());
    else
        autoreopenDocuments(std::optional<bool>(flag->second.boolValue()));
}

// Free functions

void MVPMenu::removeItemsInRange(HXMenu& menu, long location, long length)
{
    (void)length; // callers' ranges always run to the last item
    if (location < 0)
        return;
    while (menu.numberOfItems() > location)
        menu.removeItemAtIndex(location);
}

void MVPReplaceWithDataReference(
    const std::shared_ptr<MVPMovieDocument>& player, const MVDataReference& reference)
{
    if (player)
        player->replaceWithDataReference(reference);
}
