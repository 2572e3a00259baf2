#pragma once
// The "Flatten" job: the movie sent as its format representation ("MVExpMovieIn") written as a
// self-contained movie to "MVExpNameOut".
#include "platform/basekit/property_list.h"

#include <chrono>
#include <optional>

class HelperConnection;

// What a job came to.
enum class HelperJobResult { Complete, Canceled, Failed };

// Error codes the worker reports (the media layer's numbers).
inline constexpr int64_t HelperParameterError = -50; // missing or malformed parameters
inline constexpr int64_t HelperUnimplementedError = -4; // a kind of job this worker does not perform

// Sends {"errorCode": code, "errorMessage": text} to the player.
void HelperReportError(HelperConnection& player, int64_t code, const std::string& message);

// Sends the progress of a job to the player, a few messages a second at most (enough for a progress bar),
// and takes in what the player sent meanwhile. Answers non-zero when the job should stop.
class HelperProgressReporter {
public:
    explicit HelperProgressReporter(HelperConnection& player);
    int report(double fraction);

private:
    HelperConnection& _player;
    std::chrono::steady_clock::time_point _lastSent;
    double _lastFraction = 0;
};

// Asks the player for a slot of `resource` and waits for it. Nullopt when granted; otherwise how the job
// ends (canceled, or failed with the reason sent).
std::optional<HelperJobResult> HelperAcquireResource(HelperConnection& player, const char* resource);

HelperJobResult performFlattenJob(HelperConnection& player, const HXPropertyList::Dictionary& params);
