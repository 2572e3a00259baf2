// Replacing a movie document's content in its own window, following links inside the movie, the movie's
// close and full-screen requests, and the network-diagnostics sheet.
#include "document/movie_document.h"

#include "core/application_services.h"
#include "core/movie_error.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/network_diagnostics.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie_delegate.h"
#include "platform/winkit/application.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/button.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cctype>

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// The text after the last '/' of a URL's absolute string (fragment included).
std::string lastPathComponentOfString(const std::string& text)
{
    auto slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// The movie's delegate: hands the movie's questions to its document.
class MovieDocumentMovieDelegate : public MVMovieDelegate {
public:
    explicit MovieDocumentMovieDelegate(std::weak_ptr<MVPMovieDocument> document)
        : _document(std::move(document))
    {
    }
    bool movieLinkToURL(MVMovie&, const HXURL& url) override
    {
        auto document = _document.lock();
        return document && document->movieLinkToURL(url);
    }
    bool moviePostNetworkDiagnosticUI(MVMovie&, const std::shared_ptr<MVNetDiagnostic>& diagnostic) override
    {
        auto document = _document.lock();
        return !document || document->moviePostNetworkDiagnosticUI(diagnostic);
    }

private:
    std::weak_ptr<MVPMovieDocument> _document;
};

// The platform's network diagnosis: the desktop's network service (NetworkManager, on the system bus). It
// tells the state of the connection, and diagnoses by having the connection tested and listing the
// devices; where it does not answer, both come back empty.
MVPMovieDocument::NetDiagnosticFunctions lookUpNetDiagnosticFunctions()
{
    MVPMovieDocument::NetDiagnosticFunctions functions;
    functions.copyNetworkStatus = [](const MVNetDiagnostic&) -> std::optional<std::pair<long, std::string>> {
        auto status = HXNetworkDiagnostics::copyNetworkStatusPassively();
        if (!status)
            return std::nullopt;
        return std::make_pair(status->state, status->description);
    };
    functions.diagnoseProblemInteractively = [](const MVNetDiagnostic& diagnostic) {
        auto diagnosis = HXNetworkDiagnostics::diagnoseProblem();
        std::string report = diagnosis ? diagnosis->report : HXLocalizedString("netDiagnosticsNoService");
        if (!diagnostic.url().host().empty())
            report += "\n\n" + HXLocalizedString("netDiagnosticsServer") + " " + diagnostic.url().host();
        auto alert = HXAlert::alertWithMessageText(HXLocalizedString("netDiagnosticsResultMessage"), {}, {}, {}, report);
        alert->runModal();
    };
    return functions;
}

} // namespace

// ---- Replacing ----

void MVPMovieDocument::requestReplace(Operation operation)
{
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    canCloseDocument([weak, operation = std::move(operation)](bool shouldClose) {
        if (auto document = weak.lock())
            document->documentShouldClose(shouldClose, operation);
    });
}

void MVPMovieDocument::replaceWithURL(const HXURL& url, bool isReelspot)
{
    if (_movie && _movie->URL() && *_movie->URL() == url)
        return;
    Operation operation;
    operation.type = MVPMovieDocumentReplaceWithURLOperationType;
    operation.url = url;
    operation.isReelspot = isReelspot;
    requestReplace(std::move(operation));
}

void MVPMovieDocument::replaceWithURL(const HXURL& url)
{
    if (_movie && _movie->URL() && *_movie->URL() == url)
        return;
    Operation operation;
    operation.type = MVPMovieDocumentReplaceWithURLOperationType;
    operation.url = url;
    requestReplace(std::move(operation));
}

void MVPMovieDocument::replaceWithReelspotURL(const HXURL& url)
{
    replaceWithURL(url, true);
}

void MVPMovieDocument::replaceWithFile(const std::string& path, bool isReelspot)
{
    if (_movie && !path.empty() && _movie->fileName() == path)
        return;
    Operation operation;
    operation.type = MVPMovieDocumentReplaceWithFileOperationType;
    operation.path = path;
    operation.isReelspot = isReelspot;
    requestReplace(std::move(operation));
}

void MVPMovieDocument::replaceWithFile(const std::string& path)
{
    replaceWithFile(path, false);
}

void MVPMovieDocument::replaceWithDataReference(const MVDataReference& reference)
{
    if (_movie && _movie->initialDataReference() == reference)
        return;
    Operation operation;
    operation.type = MVPMovieDocumentReplaceWithDataReferenceOperationType;
    operation.dataReference = reference;
    requestReplace(std::move(operation));
}

void MVPMovieDocument::replaceWithMovie(const std::shared_ptr<MVMovie>& movie, bool dirtyDocument)
{
    if (movie == _movie)
        return;
    Operation operation;
    operation.type = MVPMovieDocumentReplaceWithMovieOperationType;
    operation.movie = movie;
    operation.dirtyDocument = dirtyDocument;
    requestReplace(std::move(operation));
}

void MVPMovieDocument::replaceWithMovie(const std::shared_ptr<MVMovie>& movie)
{
    replaceWithMovie(movie, false);
}

void MVPMovieDocument::documentShouldClose(bool shouldClose, const std::optional<Operation>& operation)
{
    if (!shouldClose)
        return;
    if (!operation || operation->type.empty() || operation->type == MVPMovieDocumentCloseOperationType) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        HXRunLoop::main().performAfterDelay(this, 0, [weak] {
            if (auto document = weak.lock())
                document->close();
        });
        return;
    }

    bool wasReelspot = _isReelspot;
    _isReelspot = operation->isReelspot.value_or(false);
    // The full-screen presentation belongs to the movie that goes: it ends before its controller goes.
    auto dropFullScreenController = [this] {
        if (_fullScreen)
            exitFullScreen();
        _fullScreen = false;
        if (_fsPresentationWindowController)
            removeWindowController(_fsPresentationWindowController);
    };

    bool installed = false;
    HXError error;
    const std::string& type = operation->type;
    if (type == MVPMovieDocumentReplaceWithMovieOperationType) {
        if (operation->movie) {
            dropFullScreenController();
            setFileName({});
            setMovie(operation->movie);
            setFileNameFromMovie();
            installed = true;
        }
    } else if (type == MVPMovieDocumentReplaceWithFileOperationType) {
        installed = readFromFile(operation->path, MVPAnythingDocumentType, &error);
    } else if (type == MVPMovieDocumentReplaceWithURLOperationType) {
        installed = readFromURL(operation->url, MVPAnythingDocumentType, &error);
    } else if (type == MVPMovieDocumentReplaceWithDataReferenceOperationType) {
        installed = readFromDataReference(operation->dataReference, MVPAnythingDocumentType, &error);
    }

    if (!installed) {
        // The document keeps the movie it shows, unchanged, and says what could not be opened.
        _isReelspot = wasReelspot;
        if (error.code() != 0)
            presentError(error);
        return;
    }
    if (type != MVPMovieDocumentReplaceWithMovieOperationType)
        dropFullScreenController();
    syncToNewMovie();
    assignUniqueMovieID();
    setNeedsToApplyStartupAttributes(true);
    if (_movie && _movie->loadState() >= MVMovieLoadStatePlayable)
        applyStartupAttributesIfNeeded();
    if (operation->dirtyDocument)
        updateChangeCount(HXChangeDone);
}

// ---- Links ----

bool MVPMovieDocument::movieLinkToURL(const HXURL& url)
{
    std::string text = url.absoluteString();
    if (text.rfind('#', 0) == 0 || !MVMovie::canInitWithURL(url))
        return false;
    auto delegate = MVPApplicationServices::shared();
    if (!url.hasFragment() || url.fragment().empty())
        return delegate && delegate->createMovieDocumentWithURL(url, true);

    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    const std::string& fragment = url.fragment();
    if (equalsIgnoringCase(fragment, "_blank")) {
        if (_isReelspot) {
            replaceWithReelspotURL(url);
            return true;
        }
        return delegate && delegate->createMovieDocumentWithURL(url, true, false);
    }
    if (equalsIgnoringCase(fragment, "myself")) {
        // Not at once: the link is still being handled by the movie that is about to go.
        HXRunLoop::main().performAfterDelay(this, 0.1, [weak, url] {
            if (auto document = weak.lock()) {
                if (document->isReelspot())
                    document->replaceWithReelspotURL(url);
                else
                    document->replaceWithURL(url);
            }
        });
        return true;
    }
    if (equalsIgnoringCase(fragment, "movaraplayer")) {
        if (!_isReelspot)
            return false;
        HXRunLoop::main().performAfterDelay(this, 0.1, [weak, url] {
            if (auto document = weak.lock())
                document->replaceWithReelspotURL(url);
        });
        return true;
    }
    return false;
}

// ---- Requests of the movie ----

void MVPMovieDocument::handleMovieRequest(const HXNotification& notification)
{
    const std::string& name = notification.name();
    if (name == MVMovieCloseWindowRequestNotification) {
        // The featured guide's own pages ask to close when they hand over to another page: not this window.
        if (_movie && _movie->URL()) {
            std::string last = lastPathComponentOfString(_movie->URL()->absoluteString());
            if (last == MVPFeaturedAutoLinkName || last == MVPFeaturedBlankLinkName)
                return;
        }
        Operation operation;
        operation.type = MVPMovieDocumentCloseOperationType;
        requestReplace(std::move(operation));
    } else if (name == MVMovieEnterFullScreenRequestNotification) {
        // This document's own command, not whatever the responder chain would find for another one.
        if (!performAction("fullScreen:", nullptr))
            enterFullScreenWithSettings(std::nullopt);
    } else if (name == MVMovieExitFullScreenRequestNotification) {
        if (auto presenting = presentation(); presenting && presenting->isFullscreen())
            presenting->exitFullScreen();
    }
}

// ---- Network diagnostics ----

MVPMovieDocument::NetDiagnosticFunctions& MVPMovieDocument::netDiagnosticFunctions()
{
    static NetDiagnosticFunctions functions = platformNetDiagnosticFunctions();
    return functions;
}

MVPMovieDocument::NetDiagnosticFunctions MVPMovieDocument::platformNetDiagnosticFunctions()
{
    return lookUpNetDiagnosticFunctions();
}

std::string MVPMovieDocument::netDiagnosticStatusText(long status, const std::string& description)
{
    auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    size_t start = 0, end = description.size();
    while (start < end && isLineEnd(description[start]))
        ++start;
    while (end > start && isLineEnd(description[end - 1]))
        --end;
    if (start == end)
        return {};
    return description.substr(start, end - start) + " (" + std::to_string(status) + ")";
}

bool MVPMovieDocument::moviePostNetworkDiagnosticUI(const std::shared_ptr<MVNetDiagnostic>& diagnostic)
{
    if (!diagnostic || _netDiagnosticSheetVisible)
        return true;
    _netDiagnosticSheetVisible = true;
    _netDiagnostic = diagnostic;

    const auto& functions = netDiagnosticFunctions();
    std::string statusText;
    bool serviceAnswered = false;
    if (functions.copyNetworkStatus) {
        if (auto status = functions.copyNetworkStatus(*diagnostic)) {
            serviceAnswered = true;
            statusText = netDiagnosticStatusText(status->first, status->second);
        }
    }

    auto window = movieWindow();
    if (window)
        window->makeKeyAndOrderFront();
    auto alert = HXAlert::alertWithMessageText(HXLocalizedString("netDiagnosticsSheetMessage"), {}, {},
        HXLocalizedString("netDiagnosticsSheetButton"), statusText);
    // Without the platform's diagnosis, or where its service does not answer, there is nothing the
    // "diagnose" button could do.
    if ((!functions.diagnoseProblemInteractively || !serviceAnswered) && alert->buttons().size() > 1)
        alert->buttons().back()->setEnabled(false);
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto didEnd = [weak](long returnCode) {
        if (auto document = weak.lock())
            document->netDiagnosticsSheetDidEnd(returnCode);
    };
    if (window) {
        alert->beginSheetModalForWindow(window, didEnd);
    } else {
        // No window to hang a sheet on (a document opened for a script, or not shown yet): the document's
        // own alert, whose runner the caller may have replaced, with "diagnose" as its second button.
        const bool canDiagnose = functions.diagnoseProblemInteractively && serviceAnswered;
        const long answer = showAlert(HXLocalizedString("netDiagnosticsSheetMessage"), statusText, {},
            canDiagnose ? HXLocalizedString("netDiagnosticsSheetButton") : std::string());
        didEnd(canDiagnose && answer == HXAlertAlternateReturn ? HXAlertOtherReturn : answer);
    }
    return true;
}

void MVPMovieDocument::netDiagnosticsSheetDidEnd(long returnCode)
{
    auto diagnostic = std::move(_netDiagnostic);
    _netDiagnostic.reset();
    const auto& functions = netDiagnosticFunctions();
    if (returnCode == HXAlertOtherReturn && diagnostic && functions.diagnoseProblemInteractively)
        functions.diagnoseProblemInteractively(*diagnostic);
    _netDiagnosticSheetVisible = false;
}

// ---- Hooks of the installed movie ----

void MVPMovieDocument::syncLanguagesAndLinksToMovie()
{
    if (_movie) {
        if (!_movieDelegate)
            _movieDelegate = std::make_shared<MovieDocumentMovieDelegate>(
                std::static_pointer_cast<MVPMovieDocument>(shared_from_this()));
        _movie->setDelegate(_movieDelegate);
    }
    syncLanguageChoosersToMovie();
}
