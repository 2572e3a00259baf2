#pragma once
// The "Flatten" job: the movie sent as its format representation ("MVExpMovieIn") written as a
// self-contained movie to "MVExpNameOut".
#include "platform/basekit/property_list.h"

class HelperConnection;

// What a job came to.
enum class HelperJobResult { Complete, Canceled, Failed };

// Error codes the worker reports (the media layer's numbers).
inline constexpr int64_t HelperParameterError = -50; // missing or malformed parameters
inline constexpr int64_t HelperUnimplementedError = -4; // a kind of job this worker does not perform

// Sends {"errorCode": code, "errorMessage": text} to the player.
void HelperReportError(HelperConnection& player, int64_t code, const std::string& message);

HelperJobResult performFlattenJob(HelperConnection& player, const HXPropertyList::Dictionary& params);
