#pragma once
// MVPMovieDocumentController: the player's shared document controller. Besides the open documents it
// keeps the program's own recent-items list (data references in the user defaults, not paths) with its
// Open Recent menu, fills the Favorites menu from the favorites list, lets every file the media layer can
// read open as a movie, sets up the open panel, and opens recent items and data references from scripts.
// It is the delegate of the Open Recent, Favorites, Subtitles and Language submenus and brings them up
// to date before they open.
#include "app/recent_documents.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/menu.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXOpenPanel;
class MVPMovieDocument;
class MVPVitrelCompDocument;

// The launch request's featured-movie flag (a boolean; absent when the request says nothing).
inline constexpr const char* MVPLaunchEventFeaturedMovieKey = "MVPLaunchEventFeaturedMovie";

class MVPMovieDocumentController : public HXDocumentController, public HXMenuDelegate {
public:
    MVPMovieDocumentController();
    ~MVPMovieDocumentController() override;

    // The shared controller when it is one of these (null otherwise).
    static std::shared_ptr<MVPMovieDocumentController> sharedController();

    // ---- Types ----
    // The registered types first; else "Anything" for every extension the media layer reads.
    std::string typeFromFileExtension(const std::string& extension) const override;
    static const std::vector<std::string>& movieFileTypes();

    // ---- The open panel ----
    // Several files, no folders, packages as files; starts in the folder of the current (not featured)
    // document when it has one, else where the panel was last.
    void setupOpenPanel(HXOpenPanel& panel) const;
    // The chosen paths after OK, nothing after Cancel.
    std::optional<std::vector<std::string>> fileNamesFromRunningOpenPanel();

    // ---- Finding documents ----
    template<class T> std::shared_ptr<T> documentOfClass() const
    {
        for (auto& doc : documents())
            if (auto typed = std::dynamic_pointer_cast<T>(doc))
                return typed;
        return nullptr;
    }
    template<class T> std::vector<std::shared_ptr<T>> documentsOfClass() const
    {
        std::vector<std::shared_ptr<T>> result;
        for (auto& doc : documents())
            if (auto typed = std::dynamic_pointer_cast<T>(doc))
                result.push_back(typed);
        return result;
    }
    // The first movie document whose movie came from `reference`.
    std::shared_ptr<MVPMovieDocument> documentForDataReference(const MVDataReference& reference) const;
    // The open composition document of that file or location.
    std::shared_ptr<MVPVitrelCompDocument> compositionDocumentForURL(const HXURL& url) const;
    // A script's open of a recent item or favorite: the current player loads it unless new players are
    // preferred; else an open document comes forward; else a new document. No alert.
    std::shared_ptr<MVPMovieDocument> openDataReference(const MVDataReference& reference);

    // ---- Recent items ----
    // A movie document counts once its movie has loaded (and never the featured movie).
    void noteNewRecentDocument(const std::shared_ptr<HXDocument>& document) override;
    // A URL from the platform: an open movie document for it is noted as a document, anything else by
    // the URL's last path component.
    void noteNewRecentDocumentURL(const HXURL& url) override;
    void noteNewRecentDocumentWithAttributes(const MVPRecentDocuments::Entry& entry);
    void readRecentDocumentsIfNecessary();
    void setRecentDocuments(MVPRecentDocuments::List list);
    const MVPRecentDocuments::List& recentDocuments();
    bool recentDocumentsContainsDisplayName(const std::string& name);
    void rebuildRecentDocumentsMenu();
    // The action of an Open Recent item (its represented object is the entry).
    void openRecentDocument(HXObject* sender);
    // Opens an entry as the Open Recent menu does.
    void openRecentEntry(const MVPRecentDocuments::Entry& entry);
    // A new composition document for a recent item (the code-2 alert when it cannot be read).
    bool openRecentComposition(const HXURL& url);
    // Adds a document just read, makes its windows and shows it, unchanged.
    void showNewDocument(const std::shared_ptr<HXDocument>& doc);
    void clearRecentDocuments(HXObject* sender = nullptr);
    void preferencesChanged(const HXNotification& notification);
    // The limit of the list now.
    static size_t recentItemsLimit();

    // ---- Favorites ----
    void rebuildFavoriteDocumentsMenu();
    void openFavoriteDocument(HXObject* sender);

    // ---- Submenus (connected by the main menu) ----
    std::shared_ptr<HXMenu> recentDocumentsSubMenu() const { return _recentDocumentsSubMenu; }
    std::shared_ptr<HXMenu> favoriteDocumentsSubMenu() const { return _favoriteDocumentsSubMenu; }
    std::shared_ptr<HXMenu> subtitlesSubMenu() const { return _subtitlesSubMenu; }
    std::shared_ptr<HXMenu> chooseLanguageSubMenu() const { return _chooseLanguageSubMenu; }
    void setRecentDocumentsSubMenu(const std::shared_ptr<HXMenu>& menu);
    void setFavoriteDocumentsSubMenu(const std::shared_ptr<HXMenu>& menu);
    void setSubtitlesSubMenu(const std::shared_ptr<HXMenu>& menu);
    void setChooseLanguageSubMenu(const std::shared_ptr<HXMenu>& menu);
    // Before a submenu opens: the recent items once, the favorites every time, and the front movie
    // document refills the Subtitles or Language menu.
    void menuNeedsUpdate(HXMenu& menu) override;
    bool validateMenuItem(HXMenuItem& item) override;

    // ---- Launch ----
    // The launch request's featured-movie flag, when it carries one: NO suppresses the featured movie
    // this once.
    void autoreopenDocuments(std::optional<bool> featuredMovieFlag);
    // Reads the flag from the launch request's parameters (MVPLaunchEventFeaturedMovieKey, a boolean).
    void autoreopenDocuments(const HXPropertyList::Dictionary& launchEventParameters) override;

    // ---- Outward ----
    // Shows an open failure (a modal alert unless replaced, e.g. by tests).
    std::function<void(const HXError& error)> presentOpenError;

private:
    void writeRecentDocuments();
    std::string typeForURL(const HXURL& url) const;
    bool opensAsMovie(const MVDataReference& reference) const;
    std::shared_ptr<MVPMovieDocument> openNewMovieDocument(const MVDataReference& reference, HXError* error);

    std::shared_ptr<HXMenu> _recentDocumentsSubMenu;
    std::shared_ptr<HXMenu> _favoriteDocumentsSubMenu;
    std::shared_ptr<HXMenu> _subtitlesSubMenu;
    std::shared_ptr<HXMenu> _chooseLanguageSubMenu;
    std::optional<MVPRecentDocuments::List> _recentDocuments;
    bool _builtRecentDocumentsMenu = false;
    HXObserverToken _preferencesObserver {};
};

// Removes every item from `location` to the end of the menu.
namespace MVPMenu {
void removeItemsInRange(HXMenu& menu, long location, long length);
}

// Loads `reference` into a player that shows something else; an edited player asks first (save, don't
// save or cancel), so nothing is thrown away silently.
void MVPReplaceWithDataReference(
    const std::shared_ptr<MVPMovieDocument>& player, const MVDataReference& reference);
