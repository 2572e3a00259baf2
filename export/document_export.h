#pragma once
// The movie document's export commands. Export (`export:`) lets the user set up an export session in the
// export dialog and runs it as a rule as a background job of the processing window, so the player stays
// usable; media keys make it run in the player instead. Modal export (`exportClassic:`) runs the dialog and
// the export in the player, blocking until done. Holding Shift, Control, Option and Command while Export's
// dialog is confirmed writes the job to "~/Desktop/out.exportSession" instead of queuing it; opening that
// file later queues it.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/export/export_session.h"

#include <functional>
#include <memory>
#include <string>

class HXWindow;
class MVMediaKeys;
class MVMovie;

// The modifier keys that divert an export to a session file: Shift, Control, Option and Command.
inline constexpr uint32_t MVPExportSessionFileModifierMask = 0x1e0000;

// What the commands take of the document.
struct MVPExportDocument {
    std::shared_ptr<MVMovie> movie;
    std::string displayName;
    std::shared_ptr<HXWindow> window; // where failures are shown (none: logged)
    // The progress sheet of an export in the player: the fraction done; non-zero stops the export.
    std::function<int(double fraction)> progress;
    // The export in the player is over, done, stopped or failed (before a failure is shown): the sheet goes.
    std::function<void()> progressEnded;
};

class MVPDocumentExport {
public:
    enum class Route { None, Queued, WroteSessionFile, InPlayer, ClonedInPlayer };
    struct Result {
        Route route = Route::None;
        int status = 0; // 0, or the status that ended the export
        HXPropertyList::Dictionary job; // the job queued or written
    };

    // `export:`. `modifierFlags` are those of the event that confirmed the dialog (by default the
    // application's current event once the dialog has ended).
    static Result exportMovie(
        const MVPExportDocument& document, std::optional<uint32_t> modifierFlags = std::nullopt);
    // `exportClassic:`.
    static Result exportClassic(const MVPExportDocument& document);

    // Where the dialog starts: beside the movie's file, else in the user's videos folder (the home
    // folder when there is none) under the movie's name (an URL's last part, or the document's display
    // name made safe for a file name).
    static std::string suggestedDestination(const MVMovie& movie, const std::string& displayName);
    // The export-session job: {"MVExpType": "ExportSession", "description", "MVExportSession"}.
    static std::optional<HXPropertyList::Dictionary> exportSessionJob(const MVExportSession& session);
    static std::string exportSessionFilePath(); // ~/Desktop/out.exportSession

    // -128 (canceled) and -2019 (stopped from the progress sheet) end quietly; others are shown.
    static bool statusIsQuiet(int status) { return status == 0 || status == -128 || status == -2019; }
    static void reportFailure(int status, const std::string& detail, const std::shared_ptr<HXWindow>& window);

    // Where jobs go: the processing window's queue unless replaced (tests).
    using JobQueue = std::function<void(const HXPropertyList::Dictionary& job)>;
    static void setJobQueue(JobQueue queue);
    static void queueJob(const HXPropertyList::Dictionary& job);
    // The media keys read (the shared store unless replaced).
    static void setMediaKeys(const MVMediaKeys* keys);

private:
    static int performInPlayer(
        const MVPExportDocument& document, MVExportSession& session, std::string* message);
};
