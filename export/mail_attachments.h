#pragma once
// The movies handed to the user's mail program. A share by mail writes its movie into the temporary folder,
// and the mail step hands the mail program a copy kept in a folder of the job's own under the program's
// cache folder ($XDG_CACHE_HOME/movara-player/Mail/<job>/<name>.mov): the mail program may read its
// attachment only when the message is sent, long after the job ended and its temporary file went.
//
// The job queue removes a job's folder when the job fails or is canceled, and when a completed job is
// removed or the player quits. A player that crashed cannot: the folders older than a few days go when the
// player next starts.
#include <ctime>
#include <string>

class MVPMailAttachments {
public:
    static constexpr int maximumAgeDays = 3;

    // $XDG_CACHE_HOME/movara-player/Mail.
    static std::string directory();
    // A new folder for one job's attachment (only the user may enter it); "" when none can be made, with the
    // reason in `why`.
    static std::string makeFolder(std::string* why = nullptr);
    // Removes the attachment at `path` with its job's folder and whatever else is left in it. Only a folder
    // right inside directory() is touched.
    static void remove(const std::string& path);
    // The start-up sweep: removes what has been in directory() for more than maximumAgeDays at `now`.
    static void removeOld(std::time_t now = std::time(nullptr));

    // Removes the files and links right inside `folder` (a link itself, not what it points to; never a
    // folder), then the folder when that left it empty.
    static void removeFolderOfOneJob(const std::string& folder);
};
