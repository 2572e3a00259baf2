#include "export/helper/flatten_job.h"

#include "export/helper/helper_connection.h"
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"

#include <chrono>

void HelperReportError(HelperConnection& player, int64_t code, const std::string& message)
{
    player.send(HXPropertyList::Dictionary { { "errorCode", code }, { "errorMessage", message } });
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

    player.send(HXPropertyList::Dictionary { { "status", "ExportState" }, { "progress", 0.0 } });
    using Clock = std::chrono::steady_clock;
    auto lastSent = Clock::now();
    double lastFraction = 0;
    movie->setProgressProc([&](MVMovieProgressMessage message, double fraction) {
        if (message == MVMovieProgressMessage::Percent) {
            auto now = Clock::now();
            // A few messages a second are enough for a progress bar.
            if (fraction - lastFraction >= 0.01 && now - lastSent >= std::chrono::milliseconds(200)) {
                player.send(HXPropertyList::Dictionary { { "progress", fraction } });
                lastSent = now;
                lastFraction = fraction;
            }
        }
        player.poll();
        return player.shouldStop() ? 1 : 0;
    });
    bool written = movie->writeToFile(outPath, { { MVMovieFlatten, true } }, &error);
    player.poll();
    if (player.shouldStop())
        return HelperJobResult::Canceled; // the writer removed its partial file
    if (!written) {
        HelperReportError(
            player, codeForError(error), "The movie cannot be written: " + error.localizedDescription());
        return HelperJobResult::Failed;
    }
    player.send(HXPropertyList::Dictionary { { "progress", 1.0 } });
    return HelperJobResult::Complete;
}
