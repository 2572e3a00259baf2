#pragma once
// HXDocumentController: the shared list of open documents and the types they can be. Types are registered
// with a name, file extensions and a factory that makes a document of that type.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/url.h"
#include "platform/winkit/document.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct HXDocumentType {
    std::string name;                     // "Movie"
    std::vector<std::string> extensions;  // without dots, lower case ("mov", "mp4")
    std::string role = "Editor";          // "Editor", "Viewer" or "None"
    std::function<std::shared_ptr<HXDocument>()> factory;
};

class HXDocumentController : public HXResponder {
public:
    HXDocumentController();
    ~HXDocumentController() override;

    // The shared controller (made on first use; install a subclass before that).
    static std::shared_ptr<HXDocumentController> sharedDocumentController();
    static void setSharedDocumentController(std::shared_ptr<HXDocumentController> controller);
    static bool hasSharedDocumentController();

    // Types.
    void registerDocumentType(HXDocumentType type);
    const std::vector<HXDocumentType>& documentTypes() const { return _types; }
    std::string defaultType() const;
    // The type whose extensions contain `extension` (case-insensitive), or "".
    virtual std::string typeFromFileExtension(const std::string& extension) const;
    virtual std::string typeForContentsOfURL(const HXURL& url, HXError* error) const;
    bool hasFactoryForType(const std::string& type) const;
    std::vector<std::string> fileExtensionsFromType(const std::string& type) const;

    // Documents in the order they were added; orderedDocuments front to back by their windows.
    const std::vector<std::shared_ptr<HXDocument>>& documents() const { return _documents; }
    std::vector<std::shared_ptr<HXDocument>> orderedDocuments() const;
    // The document of the main window (null when it has none).
    std::shared_ptr<HXDocument> currentDocument() const;
    // Where open and save panels start: the folder of the current document's file, else the folder the
    // panels were last in ("HXNavLastRootDirectory") while it exists, else the home folder.
    std::string currentDirectory() const;
    virtual void addDocument(const std::shared_ptr<HXDocument>& document);
    virtual void removeDocument(const std::shared_ptr<HXDocument>& document);
    std::shared_ptr<HXDocument> documentForURL(const HXURL& url) const;
    std::shared_ptr<HXDocument> documentForWindow(const HXWindow& window) const;
    bool hasEditedDocuments() const;

    // Making and opening.
    virtual std::shared_ptr<HXDocument> makeUntitledDocumentOfType(const std::string& type, HXError* error);
    virtual std::shared_ptr<HXDocument> makeDocumentWithContentsOfURL(const HXURL& url, const std::string& type,
        HXError* error);
    // An already open document for the URL is brought to front instead of opened twice.
    virtual std::shared_ptr<HXDocument> openDocumentWithContentsOfURL(const HXURL& url, bool display, HXError* error);
    virtual std::shared_ptr<HXDocument> openUntitledDocumentAndDisplay(bool display, HXError* error);
    // Called once while the program launches, after the delegate has finished launching and before the
    // files of the launch are opened, with the parameters the launch request carried.
    virtual void autoreopenDocuments(const HXPropertyList::Dictionary& launchEventParameters)
    {
        (void)launchEventParameters;
    }
    // Whether opening makes windows (false for scripted opens that hide them).
    virtual bool shouldCreateUI() const { return true; }

    // Closing. Each edited document is asked in turn (front first); the continuation says whether all closed.
    void closeAllDocuments(std::function<void(bool didCloseAll)> completion);
    // Before quitting: the same review; the continuation says whether to go on quitting.
    virtual void reviewUnsavedDocuments(std::function<void(bool shouldTerminate)> completion);

    // Recent documents. A subclass that keeps its own list overrides both hooks: the document one is
    // told of documents whose contents finished loading, the URL one of everything else opened.
    virtual void noteNewRecentDocument(const std::shared_ptr<HXDocument>& document);
    virtual void noteNewRecentDocumentURL(const HXURL& url);
    const std::vector<HXURL>& recentDocumentURLs() const { return _recent; }
    void clearRecentDocuments(HXObject* sender = nullptr);
    size_t maximumRecentDocumentCount() const { return 10; }

    // Errors from opening: an alert (modal).
    virtual bool presentError(const HXError& error);

private:
    void closeNext(std::vector<std::shared_ptr<HXDocument>> pending, std::function<void(bool)> completion);

    std::vector<HXDocumentType> _types;
    std::vector<std::shared_ptr<HXDocument>> _documents;
    std::vector<HXURL> _recent;
    int _untitledCount = 0;
};
