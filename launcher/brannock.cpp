#include "launcher/brannock.h"

#include "platform/basekit/error.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

// Kinds of tracks that neither player treats differently, enabled or not.
constexpr uint32_t kIgnoredTypes[] = { MVFourCC("soun"), MVFourCC("text"), MVFourCC("clcp"), MVFourCC("sbtl"),
    MVFourCC("tmcd"), MVFourCC("tmet"), MVFourCC("muxx") };

bool isIgnored(uint32_t type)
{
    for (uint32_t ignored : kIgnoredTypes)
        if (type == ignored)
            return true;
    return false;
}

// The integer value of a version component: its leading digits ("1b" is 1, "" is 0).
int32_t componentValue(const std::string& component)
{
    return int32_t(std::strtol(component.c_str(), nullptr, 10));
}

} // namespace

bool Brannock::isSimple(const std::vector<Track>& tracks)
{
    int pictures = 0, primaries = 0;
    for (const auto& track : tracks) {
        if (!track.enabled || isIgnored(track.mediaType))
            continue;
        if (track.mediaType == MVFourCC("vide")) {
            ++pictures;
            ++primaries;
        } else if (track.mediaType == MVFourCC("strm")) {
            ++primaries;
        } else {
            return false;
        }
        if (pictures > 1 || primaries >= 2)
            return false;
    }
    return true;
}

bool Brannock::goesToNewerPlayer(const std::optional<FileContents>& contents)
{
    if (!contents)
        return false;
    if (isSimple(contents->tracks))
        return true;
    for (const char* prefix : acceptableAuthoringSoftwareStrings)
        if (contents->authoringSoftware.rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::optional<Brannock::FileContents> Brannock::readFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    if (!movie)
        return std::nullopt;
    FileContents contents;
    for (const auto& track : movie->tracks())
        if (track)
            contents.tracks.push_back({ track->mediaType(), track->isEnabled() });
    std::string key = MVPAuthoringSoftwareMetadataKey;
    auto software = MVAnnotationValue(movie->userData(), movie->metadata(), MVMetadataStorageMetadata,
        MVMetadataKeyFormatReverseDNS, MVBytes(key.begin(), key.end()));
    if (software)
        contents.authoringSoftware = *software;
    return contents;
}

bool Brannock::passesVersionTest(const std::string& version)
{
    std::vector<std::string> components;
    size_t start = 0;
    while (true) {
        size_t dot = version.find('.', start);
        components.push_back(
            version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    // Each component must reach the minimum's on its own; a greater one does not settle the rest, so
    // 7.6.2 and 7.7.1 pass while 7.7, 8.0 and 7.10.0 do not (their files go to the newer player, and
    // back here only when it cannot take them).
    size_t rounds = std::max<size_t>(3, components.size());
    for (size_t i = 0; i < rounds; ++i) {
        int32_t value = i < components.size() ? componentValue(components[i]) : 0;
        int32_t minimum = i < 3 ? MVP7MinimumVersionComponents[i] : 0;
        if (value < minimum)
            return false;
    }
    return true;
}

bool Brannock::openFiles(const std::vector<std::string>& paths)
{
    std::vector<std::string> newer, classic;
    for (const auto& path : paths)
        (goesToNewerPlayer(readFile(path)) ? newer : classic).push_back(path);

    if (!newer.empty()) {
        auto player = _workspace.applicationForIdentifier(MVPNewerPlayerIdentifier);
        if (!player || !_workspace.openFiles(newer, *player))
            classic.insert(classic.end(), newer.begin(), newer.end());
    }
    if (classic.empty())
        return true;

    auto movara = _workspace.applicationForIdentifier(MVPMovaraPlayerIdentifier);
    bool recentEnough = movara && (movara->version ? passesVersionTest(*movara->version) : movara->isBundled);
    if (recentEnough && _workspace.openFiles(classic, *movara))
        return true;
    auto newerPlayer = _workspace.applicationForIdentifier(MVPNewerPlayerIdentifier);
    bool opened = newerPlayer && _workspace.openFiles(classic, *newerPlayer);
    // Files are never dropped silently: when the newer player cannot take them either, a Movara Player that
    // was passed over for its version gets them after all.
    if (!opened && movara && !recentEnough)
        opened = _workspace.openFiles(classic, *movara);
    if (!opened) {
        for (const auto& path : classic)
            std::cerr << "player-chooser: no player could open " << path << std::endl;
    }
    return opened;
}
