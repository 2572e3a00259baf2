// The open routes of the application delegate: files, URLs and data references to documents.
#include "app/application_delegate.h"

#include "core/preferences.h"
#include "document/composition_document.h"
#include "document/movie_document.h"
#include "core/movie_error.h"
#include "platform/basekit/scripting_command.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/streaming/url_probe.h"
#include "platform/winkit/document_controller.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

std::string extensionOf(const std::string& path)
{
    auto name = std::filesystem::path(path).filename().string();
    auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

bool samePath(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code ec1, ec2;
    auto ca = std::filesystem::weakly_canonical(a, ec1);
    auto cb = std::filesystem::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && ca == cb;
}

std::shared_ptr<HXDocumentController> controller()
{
    return HXDocumentController::sharedDocumentController();
}

HXURL withoutFragment(const HXURL& url)
{
    if (url.fragment().empty())
        return url;
    std::string text = url.absoluteString();
    auto hash = text.find('#');
    if (hash != std::string::npos)
        text.erase(hash);
    auto stripped = HXURL::URLWithString(text);
    return stripped ? *stripped : url;
}

} // namespace

// Files

bool MVPApplicationDelegate::applicationOpenFiles(HXApplication&, const std::vector<std::string>& items)
{
    openItems(items,
        MVPPreferences::preferences().preference(kGeneralPreferenceOpenMoviesInNewPlayers).boolValue());
    return true;
}

void MVPApplicationDelegate::openItems(const std::vector<std::string>& items, bool openInNewPlayer)
{
    std::vector<std::string> paths;
    std::vector<HXURL> urls;
    for (auto& item : items) {
        auto url = item.find("://") != std::string::npos ? HXURL::URLWithString(item) : std::nullopt;
        if (url && url->isFileURL()) {
            paths.push_back(url->path());
        } else if (url && !url->scheme().empty()) {
            urls.push_back(*url);
        } else {
            // Paths from a command line are relative to the folder the program was started in.
            std::error_code ec;
            auto absolute = std::filesystem::absolute(item, ec);
            paths.push_back(ec ? item : absolute.lexically_normal().string());
        }
    }
    if (!paths.empty())
        openFiles(paths, openInNewPlayer);
    for (auto& url : urls)
        openLocation(url, openInNewPlayer);
}

bool MVPApplicationDelegate::applicationOpenFile(HXApplication& app, const std::string& path)
{
    return applicationOpenFiles(app, { path });
}

void MVPApplicationDelegate::openFile(const std::string& path, bool openInNewPlayer)
{
    openFiles({ path }, openInNewPlayer);
}

void MVPApplicationDelegate::openFiles(const std::vector<std::string>& paths, bool openInNewPlayer)
{
    for (size_t i = 0; i < paths.size(); ++i) {
        HXError error;
        bool ok = openOnePath(paths[i], i, openInNewPlayer, &error);
        if (_environment.idleAllMovies)
            _environment.idleAllMovies();
        if (!ok) {
            // The rest of the request is not opened.
            reportOpenError(error);
            return;
        }
    }
}

bool MVPApplicationDelegate::openOnePath(
    const std::string& path, size_t index, bool openInNewPlayer, HXError* error)
{
    auto current = currentMovieDocumentExcludingContentGuide();
    std::string extension = extensionOf(path);

    if (equalsIgnoringCase(extension, "exportSession")) {
        // A saved export job, not a document. Only a readable dictionary is queued.
        HXError readError;
        auto params = HXPropertyList::readFromFile(path, &readError);
        if (!params || !params->isDictionary()) {
            if (params)
                readError = HXError::withDescription(HXBaseKitErrorDomain, HXPropertyListReadCorruptError,
                    "The export session \u201c" + std::filesystem::path(path).filename().string()
                        + "\u201d holds no job description.");
            *error = readError;
            return false;
        }
        if (_environment.queueExportSession)
            _environment.queueExportSession(*params);
        return true;
    }

    // A composition gets a document of its own; it never replaces a player's movie.
    if (documentClassForURL(HXURL::fileURLWithPath(path)) == DocumentClass::Composition) {
        if (createVitrelDocumentWithFile(path))
            return true;
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadCorruptFileError,
            "The composition \u201c" + std::filesystem::path(path).filename().string() + "\u201d could not be read.");
        return false;
    }

    if (index == 0 && !openInNewPlayer && current) {
        // The player asks first when its movie is edited, and keeps it when the new one cannot be read.
        current->replaceWithFile(path);
        return true;
    }

    auto ctl = controller();
    if (ctl->openDocumentWithContentsOfURL(HXURL::fileURLWithPath(path), true, error))
        return true;
    // A file of a type we know failed for a reason of its own; any other file gets one more try as a movie.
    if (!ctl->typeFromFileExtension(extension).empty())
        return false;
    auto doc
        = ctl->makeDocumentWithContentsOfURL(HXURL::fileURLWithPath(path), MVPAnythingDocumentType, error);
    if (!doc)
        return false;
    ctl->addDocument(doc);
    if (ctl->shouldCreateUI()) {
        doc->makeWindowControllers();
        doc->showWindows();
    }
    return true;
}

// Locations

void MVPApplicationDelegate::openLocation(const HXURL& url, bool openInNewPlayer)
{
    openLocation(url, openInNewPlayer, nullptr);
}

void MVPApplicationDelegate::openLocation(const HXURL& url, bool openInNewPlayer, LocationOpened done)
{
    if (url.isEmpty())
        return;
    // Told to `done` when there is one, else to the user.
    auto tell = [done](MVPApplicationDelegate& delegate, bool opened, const HXError& error) {
        if (done)
            done(opened, error);
        else if (!opened)
            delegate.reportOpenError(error);
    };
    if (!MVMovie::urlNeedsProbe(url) || urlExists(url)) {
        bool opened = createDocumentWithURL(url, openInNewPlayer);
        tell(*this, opened, opened ? HXError() : urlRefusal(url));
        return;
    }
    // The server is asked on a thread of the probe's; the window goes on answering meanwhile.
    std::weak_ptr<MVPApplicationDelegate> weak
        = std::static_pointer_cast<MVPApplicationDelegate>(shared_from_this());
    // The completion finds its probe (to let it go) through this; it holds no probe alive.
    auto self = std::make_shared<std::weak_ptr<MVURLProbe>>();
    auto probe = MVURLProbe::start(url.absoluteString(), kURLProbeTimeout,
        [weak, self, url, openInNewPlayer, tell](const MVURLProbe::Result& result) {
            auto delegate = weak.lock();
            if (!delegate)
                return;
            std::erase_if(delegate->_locationProbes, [&](const auto& p) { return p == self->lock(); });
            if (!result.plays()) {
                HXError error = result.error;
                error.userInfo()[HXURLErrorKey] = url.absoluteString();
                tell(*delegate, false, error);
                return;
            }
            bool opened = delegate->createDocumentWithURL(url, openInNewPlayer);
            tell(*delegate, opened, opened ? HXError() : delegate->urlRefusal(url));
        });
    *self = probe;
    _locationProbes.push_back(probe);
}

HXError MVPApplicationDelegate::urlRefusal(const HXURL& url)
{
    std::string reason;
    if (MVMovie::canInitWithURL(url, &reason) || reason.empty())
        reason = "Nothing at " + url.absoluteString() + " can be opened.";
    HXError error = HXError::withDescription(HXOSStatusErrorDomain, -2102, reason);
    error.userInfo()[HXURLErrorKey] = url.absoluteString();
    return error;
}

void MVPApplicationDelegate::reportURLRefusal(const HXURL& url)
{
    reportOpenError(urlRefusal(url));
}

void MVPApplicationDelegate::reportOpenError(const HXError& error)
{
    // A script learns of the failure in its reply; nobody is there to read an alert.
    if (auto* command = HXScriptCommand::currentCommand()) {
        // The same texts an alert would show.
        std::string text = error.localizedDescription();
        for (const auto& more : { error.localizedFailureReason(), error.localizedRecoverySuggestion() })
            if (!more.empty() && text.find(more) == std::string::npos)
                text += " " + more;
        command->fail(error.code() != 0 ? int(error.code()) : int(HXScriptFailedError), text);
        return;
    }
    HXError wrapped
        = MVPMovieErrorWithCode(MVPMovieErrorCouldNotOpenMovie, std::optional<MVPMovieErrorSubject>(), error);
    if (_environment.presentOpenError)
        _environment.presentOpenError(wrapped);
}

// Movie documents

bool MVPApplicationDelegate::createMovieDocumentWithFile(const std::string& path, bool openInNewPlayer)
{
    return createMovieDocumentWithFile(path, openInNewPlayer, false);
}

bool MVPApplicationDelegate::createMovieDocumentWithFile(
    const std::string& path, bool openInNewPlayer, bool isReelspot)
{
    if (path.empty())
        return false;
    if (fileExists(path))
        return true;
    auto current = currentMovieDocumentExcludingContentGuide();
    if (!openInNewPlayer && !isReelspot && current) {
        current->replaceWithFile(path);
        return true;
    }
    auto doc
        = MVPMovieDocument::documentWithContentsOfFile(path, MVPAnythingDocumentType, isReelspot, nullptr);
    return doc && initializeDocument(doc);
}

bool MVPApplicationDelegate::isFeaturedMovieURL(const HXURL& url)
{
    return equalsIgnoringCase(url.host(), MVPFeaturedMovieServerHost);
}

bool MVPApplicationDelegate::createMovieDocumentWithURL(const HXURL& url, bool openInNewPlayer)
{
    return createMovieDocumentWithURL(url, openInNewPlayer, isFeaturedMovieURL(url));
}

bool MVPApplicationDelegate::createMovieDocumentWithURL(
    const HXURL& url, bool openInNewPlayer, bool isReelspot)
{
    if (url.isEmpty())
        return false;
    if (urlExists(url))
        return true;
    auto current = currentMovieDocumentExcludingContentGuide();
    if (!openInNewPlayer && !isReelspot && current) {
        current->replaceWithURL(url);
        return true;
    }
    auto doc = MVPMovieDocument::documentWithContentsOfURL(url, MVPAnythingDocumentType, isReelspot, nullptr);
    return doc && initializeDocument(doc);
}

bool MVPApplicationDelegate::createMovieDocumentWithDataRef(
    const MVDataReference& dataRef, bool openInNewPlayer)
{
    return createMovieDocumentWithDataRef(dataRef, openInNewPlayer, false);
}

bool MVPApplicationDelegate::createMovieDocumentWithDataRef(
    const MVDataReference& dataRef, bool openInNewPlayer, bool isReelspot)
{
    if (dataRef.isNone())
        return false;
    if (dataRefExists(dataRef))
        return true;
    auto current = currentMovieDocumentExcludingContentGuide();
    if (!openInNewPlayer && !isReelspot && current) {
        current->replaceWithDataReference(dataRef);
        return true;
    }
    auto doc = MVPMovieDocument::movieDocumentWithDataReference(dataRef, nullptr);
    return doc && initializeDocument(doc);
}

// Choosing the class

MVPApplicationDelegate::DocumentClass MVPApplicationDelegate::documentClassForURL(const HXURL& url) const
{
    auto ctl = controller();
    std::string type;
    if (url.isFileURL())
        type = ctl->typeForContentsOfURL(url, nullptr);
    if (type.empty())
        type = ctl->typeFromFileExtension(
            HXURL::URLWithString(url.relativeString()).value_or(url).pathExtension());
    // A network location whose name says nothing ("rtsp://host/live", "http://host/stream") is asked
    // of the media layer, which knows the protocols it plays.
    if (type.empty() && !url.isFileURL() && MVMovie::canInitWithURL(url))
        return DocumentClass::Movie;
    if (type.empty())
        return DocumentClass::None;
    if (type == MVPVitrelCompositionDocumentType)
        return DocumentClass::Composition;
    return ctl->hasFactoryForType(type) ? DocumentClass::Movie : DocumentClass::None;
}

bool MVPApplicationDelegate::createDocumentWithFile(const std::string& path, bool openInNewPlayer)
{
    switch (documentClassForURL(HXURL::fileURLWithPath(path))) {
    case DocumentClass::Movie:
        return createMovieDocumentWithFile(path, openInNewPlayer);
    case DocumentClass::Composition:
        return createVitrelDocumentWithFile(path);
    default:
        return false;
    }
}

bool MVPApplicationDelegate::createDocumentWithURL(const HXURL& url, bool openInNewPlayer)
{
    switch (documentClassForURL(url)) {
    case DocumentClass::Movie:
        return createMovieDocumentWithURL(url, openInNewPlayer);
    case DocumentClass::Composition:
        return createVitrelDocumentWithURL(url);
    default:
        return false;
    }
}

bool MVPApplicationDelegate::createDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer)
{
    auto url = dataRef.referenceURL();
    if (!url)
        return false;
    // A reference whose kind is unknown is not taken for a composition.
    switch (documentClassForURL(*url)) {
    case DocumentClass::Movie:
        return createMovieDocumentWithDataRef(dataRef, openInNewPlayer);
    case DocumentClass::Composition:
        return createVitrelDocumentWithURL(*url);
    default:
        return false;
    }
}

// Composition documents

namespace {

// An open composition document showing `url` (compared as files when both are files).
std::shared_ptr<HXDocument> openCompositionDocument(HXDocumentController& controller, const HXURL& url)
{
    for (const auto& doc : controller.documents()) {
        if (!std::dynamic_pointer_cast<MVPVitrelCompDocument>(doc))
            continue;
        if (url.isFileURL() && !doc->fileName().empty()) {
            std::error_code ec;
            if (std::filesystem::equivalent(doc->fileName(), url.path(), ec))
                return doc;
        } else if (!doc->fileURL().isEmpty() && doc->fileURL().absoluteString() == url.absoluteString()) {
            return doc;
        }
    }
    return nullptr;
}

}  // namespace

bool MVPApplicationDelegate::createVitrelDocumentWithFile(const std::string& path)
{
    if (path.empty())
        return false;
    if (auto open = openCompositionDocument(*controller(), HXURL::fileURLWithPath(path))) {
        open->showWindows();
        return true;
    }
    auto doc = MVPVitrelCompDocument::documentWithContentsOfFile(path, MVPAnythingDocumentType, nullptr);
    if (!doc || !initializeDocument(doc))
        return false;
    controller()->noteNewRecentDocument(doc);
    return true;
}

bool MVPApplicationDelegate::createVitrelDocumentWithURL(const HXURL& url)
{
    if (url.isEmpty())
        return false;
    if (url.isFileURL())
        return createVitrelDocumentWithFile(url.path());
    if (auto open = openCompositionDocument(*controller(), url)) {
        open->showWindows();
        return true;
    }
    auto doc = MVPVitrelCompDocument::documentWithContentsOfURL(url, MVPAnythingDocumentType, nullptr);
    if (!doc || !initializeDocument(doc))
        return false;
    controller()->noteNewRecentDocument(doc);
    return true;
}

bool MVPApplicationDelegate::initializeDocument(const std::shared_ptr<HXDocument>& document)
{
    controller()->addDocument(document);
    document->makeWindowControllers();
    document->showWindows();
    return true;
}

// Already open

bool MVPApplicationDelegate::fileExists(const std::string& path) const
{
    for (auto& doc : movieDocuments()) {
        if (doc->movie() && !doc->movie()->fileName().empty() && samePath(doc->movie()->fileName(), path))
            return true;
    }
    return false;
}

bool MVPApplicationDelegate::dataRefExists(const MVDataReference& dataRef) const
{
    for (auto& doc : movieDocuments()) {
        if (doc->movie() && doc->movie()->initialDataReference() == dataRef)
            return true;
    }
    return false;
}

bool MVPApplicationDelegate::urlExists(const HXURL& url) const
{
    HXURL wanted = withoutFragment(url);
    bool found = false;
    for (auto& doc : movieDocuments()) {
        auto movieURL = doc->movie() ? doc->movie()->URL() : std::nullopt;
        if (movieURL && *movieURL == wanted) {
            doc->showWindows();
            found = true;
        }
    }
    return found;
}

// The current player

std::shared_ptr<MVPMovieDocument> MVPApplicationDelegate::currentMovieDocumentExcludingContentGuide() const
{
    auto ctl = controller();
    auto current = ctl->currentDocument();
    if (!current)
        return nullptr;
    if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(current);
        movieDoc && !movieDoc->isReelspot())
        return movieDoc;
    for (auto& doc : movieDocuments()) {
        if (!doc->isReelspot())
            return doc;
    }
    return nullptr;
}
