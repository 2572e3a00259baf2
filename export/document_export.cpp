#include "export/document_export.h"

#include "export/processing_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"
#include "platform/mvkit/export/export_session_dialog.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"

#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* kBoxBackgroundColor = "MVMovieVisualMovieBoxBackgroundColorAttribute";
constexpr const char* kDrawsBoxBackground = "MVMovieVisualDrawsMovieBoxBackgroundColorAttribute";

MVPDocumentExport::JobQueue& jobQueue()
{
    static MVPDocumentExport::JobQueue queue;
    return queue;
}

const MVMediaKeys*& mediaKeysOverride()
{
    static const MVMediaKeys* keys = nullptr;
    return keys;
}

bool mediaKeyEnabled(const char* type)
{
    const MVMediaKeys& keys = mediaKeysOverride() ? *mediaKeysOverride() : MVMediaKeys::mediaKeys();
    auto values = keys.mediaKeysForType(type);
    return !values.empty() && values.front() == "enable";
}

std::string localized(const std::string& key, const std::string& fallback)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, fallback, "Export");
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

std::string moviesFolder()
{
    std::filesystem::path movies = HXMoviesDirectory();
    std::error_code ignored;
    return std::filesystem::is_directory(movies, ignored) ? movies.string() : homeFolder();
}

} // namespace

void MVPDocumentExport::queueJob(const HXPropertyList::Dictionary& job)
{
    if (jobQueue()) {
        jobQueue()(job);
        return;
    }
    ProcessingDocument::processingDocument()->addJobWithParams(job);
}

void MVPDocumentExport::setJobQueue(JobQueue queue)
{
    jobQueue() = std::move(queue);
}

void MVPDocumentExport::setMediaKeys(const MVMediaKeys* keys)
{
    mediaKeysOverride() = keys;
}

std::string MVPDocumentExport::suggestedDestination(const MVMovie& movie, const std::string& displayName)
{
    const auto& reference = movie.initialDataReference();
    std::string path = reference.referenceFilePath();
    if (path.empty() && !movie.fileName().empty())
        path = movie.fileName();
    if (!path.empty())
        return path;
    std::string name;
    if (auto url = reference.referenceURL())
        name = std::filesystem::path(url->path()).filename().string();
    if (name.empty())
        name = displayName;
    // A name from a title may hold characters a file name cannot.
    for (char& c : name)
        if (c == ':' || c == '/')
            c = '-';
    if (name.empty() || name == "." || name == "..")
        name = localized("mvpShareDefaultName", "Movie");
    return (std::filesystem::path(moviesFolder()) / name).string();
}

std::optional<HXPropertyList::Dictionary> MVPDocumentExport::exportSessionJob(const MVExportSession& session)
{
    auto form = session.serialize();
    if (!form)
        return std::nullopt;
    std::string format = localized("mvpExport", "Export %@");
    auto at = format.find("%@");
    std::string description = at == std::string::npos ? format : format.replace(at, 2, session.targetName());
    return HXPropertyList::Dictionary {
        { "MVExpType", "ExportSession" },
        { "description", description },
        { "MVExportSession", *form },
    };
}

std::string MVPDocumentExport::exportSessionFilePath()
{
    return (std::filesystem::path(HXDesktopDirectory()) / "out.exportSession").string();
}

void MVPDocumentExport::reportFailure(
    int status, const std::string& detail, const std::shared_ptr<HXWindow>& window)
{
    if (statusIsQuiet(status))
        return;
    std::string message = localized("mvpExportFailedError", "The movie could not be exported.") + " ("
        + std::to_string(status) + ")";
    HXLog("Export failed (" + std::to_string(status) + "): " + detail);
    auto alert = HXAlert::alertWithMessageText(
        localized("mvpExportFailed", "Export Failed"), localized("mvpOK", "OK"), {}, {}, message);
    if (!detail.empty())
        alert->setInformativeText(message + "\n" + detail);
    if (window)
        alert->beginSheetModalForWindow(window, [](long) {});
    else
        alert->runModal();
}

int MVPDocumentExport::performInPlayer(
    const MVPExportDocument& document, MVExportSession& session, std::string* message)
{
    auto& movie = *document.movie;
    movie.stop();
    // Exporters that draw the movie box see white behind the movie, whatever the player shows.
    HXPropertyList color = movie.attributeForKey(kBoxBackgroundColor);
    HXPropertyList draws = movie.attributeForKey(kDrawsBoxBackground);
    movie.setAttributeForKey(HXPropertyList::Array { 1.0, 1.0, 1.0, 1.0 }, kBoxBackgroundColor);
    movie.setAttributeForKey(true, kDrawsBoxBackground);
    int status = session.perform(document.progress, message);
    movie.setAttributeForKey(color, kBoxBackgroundColor);
    movie.setAttributeForKey(draws, kDrawsBoxBackground);
    if (document.progressEnded)
        document.progressEnded();
    return status;
}

MVPDocumentExport::Result MVPDocumentExport::exportMovie(
    const MVPExportDocument& document, std::optional<uint32_t> modifierFlags)
{
    Result result;
    if (!document.movie)
        return result;
    auto session = MVExportSession::create(document.movie);
    bool mayLeave = session->canSerialize();
    result.status
        = MVExportSessionShowUI(*session, suggestedDestination(*document.movie, document.displayName));
    if (result.status != 0) {
        reportFailure(result.status, {}, document.window);
        return result;
    }
    std::string message;
    std::optional<HXPropertyList::Dictionary> job;
    if (mayLeave && !mediaKeyEnabled("MVPlayerExportInproc"))
        job = exportSessionJob(*session);
    if (job && mediaKeyEnabled("MVPlayerExportCloneInproc")) {
        // The path a worker takes, in the player: the session rebuilt from its serialised form.
        result.route = Route::ClonedInPlayer;
        HXError error;
        auto clone = MVExportSession::createFromSerialization((*job)["MVExportSession"].dataValue(), &error);
        result.status = clone ? clone->perform(document.progress, &message) : MVExportParamErr;
        if (!clone)
            message = error.localizedDescription();
        if (document.progressEnded)
            document.progressEnded();
    } else if (job) {
        result.job = *job;
        if (!modifierFlags) {
            const HXEvent* event = HXApplication::hasSharedApplication()
                ? HXApplication::sharedApplication()->currentEvent()
                : nullptr;
            modifierFlags = event ? event->modifierFlags() : 0;
        }
        if ((*modifierFlags & MVPExportSessionFileModifierMask) == MVPExportSessionFileModifierMask) {
            result.route = Route::WroteSessionFile;
            HXError error;
            if (!HXPropertyList(*job).writeToFile(exportSessionFilePath(), &error)) {
                result.status = MVExportIOErr;
                message = error.localizedDescription();
            }
        } else {
            result.route = Route::Queued;
            queueJob(*job);
        }
    } else {
        result.route = Route::InPlayer;
        result.status = performInPlayer(document, *session, &message);
    }
    reportFailure(result.status, message, document.window);
    return result;
}

MVPDocumentExport::Result MVPDocumentExport::exportClassic(const MVPExportDocument& document)
{
    Result result;
    if (!document.movie)
        return result;
    auto session = MVExportSession::create(document.movie);
    document.movie->stop();
    std::string message;
    result.status
        = MVExportSessionShowUI(*session, suggestedDestination(*document.movie, document.displayName));
    if (result.status == 0) {
        result.route = Route::InPlayer;
        result.status = performInPlayer(document, *session, &message);
    }
    reportFailure(result.status, message, document.window);
    return result;
}
