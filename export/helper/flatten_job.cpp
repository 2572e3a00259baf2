#include "export/helper/flatten_job.h"

#include "export/helper/helper_connection.h"
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_writer.h"

#include <cerrno>
#include <chrono>
#include <unistd.h>

void HelperReportError(HelperConnection& player, int64_t code, const std::string& message)
{
    player.send(HXPropertyList::Dictionary { { "errorCode", code }, { "errorMessage", message } });
}

std::optional<HelperJobResult> HelperAcquireResource(HelperConnection& player, const char* resource)
{
    player.send(HXPropertyList::Dictionary { { "requestResource", resource } });
    if (player.waitForResult(-1))
        return std::nullopt;
    if (player.shouldStop())
        return HelperJobResult::Canceled;
    HelperReportError(player, HelperParameterError,
        std::string("The player did not grant the job its \"") + resource + "\" slot.");
    return HelperJobResult::Failed;
}

HelperProgressReporter::HelperProgressReporter(HelperConnection& player)
    : _player(player)
    , _lastSent(std::chrono::steady_clock::now())
{
}

int HelperProgressReporter::report(double fraction)
{
    auto now = std::chrono::steady_clock::now();
    if (fraction - _lastFraction >= 0.01 && now - _lastSent >= std::chrono::milliseconds(200)) {
        _player.send(HXPropertyList::Dictionary { { "progress", fraction } });
        _lastSent = now;
        _lastFraction = fraction;
    }
    _player.poll();
    return _player.shouldStop() ? 1 : 0;
}

namespace {

int64_t codeForError(const HXError& error)
{
    // The media layer's status codes go to the player as they are; other failures have no number the
    // player knows, so they are reported as a general failure with their text.
    if (error.domain() == HXOSStatusErrorDomain && error.code() != 0)
        return error.code();
    return -1;
}

} // namespace

HelperJobResult performFlattenJob(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    auto in = params.find("MVExpMovieIn");
    auto out = params.find("MVExpNameOut");
    if (in == params.end() || !in->second.isData() || in->second.dataValue().size() == 0) {
        HelperReportError(
            player, HelperParameterError, "The job has no movie to flatten (\"MVExpMovieIn\").");
        return HelperJobResult::Failed;
    }
    if (out == params.end() || !out->second.isString() || out->second.stringValue().empty()
        || out->second.stringValue()[0] != '/') {
        HelperReportError(player, HelperParameterError,
            "The job has no full path to write the movie to (\"MVExpNameOut\").");
        return HelperJobResult::Failed;
    }
    const std::string outPath = out->second.stringValue();

    HXError error;
    auto movie = MVMovie::movieWithData(in->second.dataValue().bytes, &error);
    if (!movie) {
        HelperReportError(player, codeForError(error),
            "The movie to flatten cannot be read: " + error.localizedDescription());
        return HelperJobResult::Failed;
    }

    // Flattening keeps a processor busy: hold a "CPU" slot while it runs.
    if (auto refused = HelperAcquireResource(player, "CPU"))
        return *refused;

    // The movie is written next to its destination under a name of its own, registered with the player so
    // that it is deleted however the job ends, and renamed over the destination only when it is whole.
    std::string folder = outPath.substr(0, outPath.rfind('/') + 1);
    std::string partialPath
        = folder + "." + outPath.substr(folder.size()) + ".partial-" + std::to_string(::getpid());
    player.send(HXPropertyList::Dictionary {
        { "registerFile", partialPath }, { "status", "ExportState" }, { "progress", 0.0 } });

    HelperProgressReporter reporter(player);
    movie->setProgressProc(
        [&](MVMovieProgressMessage message, MVMovieProgressOperation operation, double fraction) {
            // Only the write moves the job's bar; the wait for the rest of a long file comes before it.
            if (message == MVMovieProgressMessage::Percent && operation == MVMovieProgressOperation::Flatten)
                return reporter.report(fraction);
            player.poll();
            return player.shouldStop() ? 1 : 0;
        });
    bool written = movie->writeToFile(partialPath, { { MVMovieFlatten, true } }, &error);
    if (written)
        mvmodel::reachedSaveStage("flatten-written");
    player.poll();
    if (player.shouldStop()) {
        ::unlink(partialPath.c_str());
        return HelperJobResult::Canceled;
    }
    if (written && ::rename(partialPath.c_str(), outPath.c_str()) != 0) {
        error = HXError::posix(errno, outPath);
        written = false;
    }
    if (!written) {
        ::unlink(partialPath.c_str());
        HelperReportError(
            player, codeForError(error), "The movie cannot be written: " + error.localizedDescription());
        return HelperJobResult::Failed;
    }
    player.send(HXPropertyList::Dictionary { { "unregisterFile", partialPath }, { "releaseResource", "CPU" },
        { "progress", 1.0 }, { "log", "Flattened a movie into " + outPath } });
    return HelperJobResult::Complete;
}
