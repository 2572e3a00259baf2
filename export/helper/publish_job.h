#pragma once
// The publishing steps of the share sheet's jobs, run after the movie was written (or alone):
//   "PublishZantrelScript": the script text in "PublishZantrelScriptScript" run by /bin/sh with the written
//                           movie ("MVExpNameOut") as $1 and its name ("MVExpSourceName") as $2, holding
//                           the single "ZantrelScript" slot; the mail script hands the file to the user's
//                           mail program. With "MVPublishAttachment" the script gets a copy at that path
//                           instead, made before it runs, since the written movie goes when the job ends
//                           and the mail program may read its attachment later.
//   "PublishPodcast":       the program at "CmdLinePath" run with the arguments "SubmitArgs", holding a
//                           "Network" slot, reporting "DAVQuillonUploadingState".
// A program that fails ends the job with its exit status as the error code and its error output as the
// message; a cancel ends the program.
#include "export/helper/flatten_job.h"

#include <string>
#include <vector>

HelperJobResult performPublishStep(HelperConnection& player, const HXPropertyList::Dictionary& params);

// Puts the file at `source` at `destination` too: a second link to it on the same file system, a copy
// otherwise. The file appears there only whole; false with the reason in `why` when it cannot be made or a
// cancel came during the copy.
bool HelperHandOnCopy(
    HelperConnection& player, const std::string& source, const std::string& destination, std::string* why);

// Runs `argv` (no shell), watching the player for a cancel. The exit status (128 + signal for a signal,
// -1 when it could not be started); `errorOutput` receives the first few kilobytes of its standard error.
int HelperRunProgram(
    HelperConnection& player, const std::vector<std::string>& argv, std::string* errorOutput);
