#pragma once
// Brannock: the launcher's open-files handler. Each file goes to one of two players: a file the newer
// player is known to handle well (at most one enabled picture or stream track, besides tracks of kinds
// that do not matter, or a richer file made by one of the maker's own applications) goes to the newer
// player; any other file goes to Movara Player when a recent enough version of it is installed.
#include "launcher/application_locator.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* MVPMovaraPlayerIdentifier = "com.zantrel.movaraplayer";
inline constexpr const char* MVPNewerPlayerIdentifier = "com.zantrel.MovaraPlayerX";
// The lowest version of Movara Player that takes the richer files.
inline constexpr int32_t MVP7MinimumVersionComponents[3] = { 7, 6, 1 };
// Authoring applications whose richer files the newer player handles all the same.
inline constexpr const char* acceptableAuthoringSoftwareStrings[2]
    = { "Zantrel Slidewright", "com.zantrel.Snapalbum" };
inline constexpr const char* MVPAuthoringSoftwareMetadataKey = "com.zantrel.movara.authoringsoftware";

class Brannock {
public:
    struct Track {
        uint32_t mediaType = 0;
        bool enabled = true;
    };
    // What the launcher reads of a file: its tracks and its authoring software (empty when it names none).
    struct FileContents {
        std::vector<Track> tracks;
        std::string authoringSoftware;
    };

    explicit Brannock(MVPLauncherWorkspace& workspace)
        : _workspace(workspace)
    {
    }

    // The open-files request: classifies every file, then hands each list to its player. False when some
    // file could not be handed to any player (its name is printed on the standard error).
    bool openFiles(const std::vector<std::string>& paths);

    // True when a file with these tracks is simple: at most one enabled picture track and at most one
    // enabled picture or stream track, and no enabled track of a kind outside the known ones.
    static bool isSimple(const std::vector<Track>& tracks);
    // True when the file goes to the newer player. Unreadable files (nullopt) go to Movara Player.
    static bool goesToNewerPlayer(const std::optional<FileContents>& contents);
    // Reads a movie file's tracks and authoring software; nullopt when it is no movie.
    static std::optional<FileContents> readFile(const std::string& path);
    // True when every component of a version ("7.6.1") is at least the minimum's component in its place.
    static bool passesVersionTest(const std::string& version);

private:
    MVPLauncherWorkspace& _workspace;
};
