#include "platform/winkit/document_controller.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>
#include <cctype>

namespace {

std::shared_ptr<HXDocumentController>& sharedSlot()
{
    static std::shared_ptr<HXDocumentController> controller;
    return controller;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

}  // namespace

HXDocumentController::HXDocumentController()
{
    setActionHandler("newDocument:", [this](HXObject*) {
        HXError error;
        if (!openUntitledDocumentAndDisplay(true, &error))
            presentError(error);
    });
    setActionHandler("clearRecentDocuments:", [this](HXObject* sender) { clearRecentDocuments(sender); });
}

HXDocumentController::~HXDocumentController() = default;

std::shared_ptr<HXDocumentController> HXDocumentController::sharedDocumentController()
{
    auto& slot = sharedSlot();
    if (!slot)
        slot = std::make_shared<HXDocumentController>();
    return slot;
}

void HXDocumentController::setSharedDocumentController(std::shared_ptr<HXDocumentController> controller)
{
    sharedSlot() = std::move(controller);
}

bool HXDocumentController::hasSharedDocumentController() { return sharedSlot() != nullptr; }

// Types

void HXDocumentController::registerDocumentType(HXDocumentType type)
{
    for (auto& e : type.extensions)
        e = lower(e);
    std::erase_if(_types, [&](const HXDocumentType& t) { return t.name == type.name; });
    _types.push_back(std::move(type));
}

std::string HXDocumentController::defaultType() const
{
    for (auto& t : _types) {
        if (t.role == "Editor")
            return t.name;
    }
    return _types.empty() ? std::string() : _types.front().name;
}

std::string HXDocumentController::typeFromFileExtension(const std::string& extension) const
{
    std::string ext = lower(extension);
    for (auto& t : _types) {
        if (std::find(t.extensions.begin(), t.extensions.end(), ext) != t.extensions.end())
            return t.name;
    }
    return {};
}

std::string HXDocumentController::typeForContentsOfURL(const HXURL& url, HXError* error) const
{
    std::string type = typeFromFileExtension(url.pathExtension());
    if (type.empty() && error)
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadCorruptFileError,
            "The document \u201c" + url.lastPathComponent() + "\u201d could not be opened: files of this type are not supported.");
    return type;
}

bool HXDocumentController::hasFactoryForType(const std::string& type) const
{
    return std::any_of(_types.begin(), _types.end(), [&](const HXDocumentType& t) { return t.name == type && t.factory; });
}

std::vector<std::string> HXDocumentController::fileExtensionsFromType(const std::string& type) const
{
    for (auto& t : _types) {
        if (t.name == type)
            return t.extensions;
    }
    return {};
}

// Documents

std::vector<std::shared_ptr<HXDocument>> HXDocumentController::orderedDocuments() const
{
    std::vector<std::shared_ptr<HXDocument>> ordered;
    if (HXApplication::hasSharedApplication()) {
        for (auto& w : HXApplication::sharedApplication()->orderedWindows()) {
            auto doc = documentForWindow(*w);
            if (doc && std::find(ordered.begin(), ordered.end(), doc) == ordered.end())
                ordered.push_back(doc);
        }
    }
    for (auto& doc : _documents) {
        if (std::find(ordered.begin(), ordered.end(), doc) == ordered.end())
            ordered.push_back(doc);
    }
    return ordered;
}

std::shared_ptr<HXDocument> HXDocumentController::currentDocument() const
{
    if (!HXApplication::hasSharedApplication())
        return nullptr;
    auto main = HXApplication::sharedApplication()->mainWindow();
    return main ? documentForWindow(*main) : nullptr;
}

std::string HXDocumentController::currentDirectory() const
{
    auto& files = HXFileManager::defaultManager();
    if (auto current = currentDocument(); current && !current->fileName().empty()) {
        std::string folder = HXString::stringByDeletingLastPathComponent(current->fileName());
        if (files.isDirectoryAtPath(folder))
            return folder;
    }
    std::string last = HXUserDefaults::standardUserDefaults().objectForKey(HXNavLastRootDirectoryKey).stringValue();
    if (!last.empty() && files.isDirectoryAtPath(last))
        return last;
    return HXHomeDirectory();
}

void HXDocumentController::addDocument(const std::shared_ptr<HXDocument>& document)
{
    if (document && std::find(_documents.begin(), _documents.end(), document) == _documents.end())
        _documents.push_back(document);
}

void HXDocumentController::removeDocument(const std::shared_ptr<HXDocument>& document) { std::erase(_documents, document); }

std::shared_ptr<HXDocument> HXDocumentController::documentForURL(const HXURL& url) const
{
    if (url.isEmpty())
        return nullptr;
    for (auto& doc : _documents) {
        if (!doc->fileURL().isEmpty() && doc->fileURL() == url)
            return doc;
    }
    return nullptr;
}

std::shared_ptr<HXDocument> HXDocumentController::documentForWindow(const HXWindow& window) const
{
    auto controller = window.windowController();
    if (!controller)
        return nullptr;
    auto doc = controller->document();
    return doc && std::find(_documents.begin(), _documents.end(), doc) != _documents.end() ? doc : nullptr;
}

bool HXDocumentController::hasEditedDocuments() const
{
    return std::any_of(_documents.begin(), _documents.end(), [](const auto& d) { return d->isDocumentEdited(); });
}

// Making and opening

std::shared_ptr<HXDocument> HXDocumentController::makeUntitledDocumentOfType(const std::string& type, HXError* error)
{
    for (auto& t : _types) {
        if (t.name == type && t.factory) {
            auto doc = t.factory();
            if (doc) {
                doc->setFileType(type);
                doc->setUntitledNumber(++_untitledCount);
                return doc;
            }
        }
    }
    if (error)
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadUnknownError,
            "No document could be created of type \u201c" + type + "\u201d.");
    return nullptr;
}

std::shared_ptr<HXDocument> HXDocumentController::makeDocumentWithContentsOfURL(const HXURL& url,
    const std::string& type, HXError* error)
{
    for (auto& t : _types) {
        if (t.name != type || !t.factory)
            continue;
        auto doc = t.factory();
        if (!doc)
            break;
        if (!doc->readFromURL(url, type, error))
            return nullptr;
        doc->setFileURL(url);
        doc->setFileType(type);
        return doc;
    }
    if (error)
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadUnknownError,
            "The document \u201c" + url.lastPathComponent() + "\u201d could not be opened.");
    return nullptr;
}

std::shared_ptr<HXDocument> HXDocumentController::openDocumentWithContentsOfURL(const HXURL& url, bool display,
    HXError* error)
{
    if (auto existing = documentForURL(url)) {
        if (display)
            existing->showWindows();
        return existing;
    }
    std::string type = typeForContentsOfURL(url, error);
    if (type.empty())
        return nullptr;
    auto doc = makeDocumentWithContentsOfURL(url, type, error);
    if (!doc)
        return nullptr;
    addDocument(doc);
    noteNewRecentDocumentURL(url);
    if (shouldCreateUI()) {
        doc->makeWindowControllers();
        if (display)
            doc->showWindows();
    }
    return doc;
}

std::shared_ptr<HXDocument> HXDocumentController::openUntitledDocumentAndDisplay(bool display, HXError* error)
{
    auto doc = makeUntitledDocumentOfType(defaultType(), error);
    if (!doc)
        return nullptr;
    addDocument(doc);
    if (shouldCreateUI()) {
        doc->makeWindowControllers();
        if (display)
            doc->showWindows();
    }
    return doc;
}

// Closing

void HXDocumentController::closeAllDocuments(std::function<void(bool)> completion)
{
    closeNext(orderedDocuments(), std::move(completion));
}

void HXDocumentController::closeNext(std::vector<std::shared_ptr<HXDocument>> pending, std::function<void(bool)> completion)
{
    if (pending.empty()) {
        completion(true);
        return;
    }
    auto doc = pending.front();
    pending.erase(pending.begin());
    auto self = std::static_pointer_cast<HXDocumentController>(shared_from_this());
    doc->canCloseDocument([self, doc, pending, completion](bool shouldClose) {
        if (!shouldClose) {
            completion(false);
            return;
        }
        doc->close();
        self->closeNext(pending, completion);
    });
}

void HXDocumentController::reviewUnsavedDocuments(std::function<void(bool)> completion)
{
    if (!hasEditedDocuments()) {
        completion(true);
        return;
    }
    // Only the edited ones need asking; the others close with the program.
    std::vector<std::shared_ptr<HXDocument>> edited;
    for (auto& doc : orderedDocuments()) {
        if (doc->isDocumentEdited())
            edited.push_back(doc);
    }
    closeNext(edited, std::move(completion));
}

// Recent documents

void HXDocumentController::noteNewRecentDocument(const std::shared_ptr<HXDocument>& document)
{
    if (document && !document->fileURL().absoluteString().empty())
        noteNewRecentDocumentURL(document->fileURL());
}

void HXDocumentController::noteNewRecentDocumentURL(const HXURL& url)
{
    std::erase(_recent, url);
    _recent.insert(_recent.begin(), url);
    if (_recent.size() > maximumRecentDocumentCount())
        _recent.resize(maximumRecentDocumentCount());
}

void HXDocumentController::clearRecentDocuments(HXObject*) { _recent.clear(); }

bool HXDocumentController::presentError(const HXError& error)
{
    HXAlert::alertWithError(error)->runModal();
    return false;
}
