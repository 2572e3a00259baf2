#include "scripting/scripted_export.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/fourcc.h"
#include "platform/mvkit/error_strings.h"
#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"
#include "scripting/script_values.h"

#include <iostream>

namespace MVPScriptedExport {

namespace {

constexpr int kNoExporterErr = -2005;
constexpr int kNoSettingsErr = -2107;
constexpr int kNoPresetErr = -10008;
constexpr int kFileExistsErr = -48;

// Component flags: exporters that write files; exporters that must be asked for their source media
// type; the flag of a missing component (in the mask only).
constexpr uint32_t kCanExportFiles = 0x10;
constexpr uint32_t kAsksSourceType = 0x80000;
constexpr uint32_t kMissingComponent = 0x20000000;

void failWith(HXScriptCommand& command, int code, const std::string& detail = {})
{
    command.fail(
        code, MVLocalizedStringFromErrorCode(code).value_or(detail.empty() ? "The export failed." : detail));
}

// What the exporter needs of the movie (or track): pictures, sound.
bool accepts(const MVExporterDescription& exporter, const MVMovie* movie, const MVTrack* track)
{
    bool video = track ? track->mediaType() == HXFourCharCode("vide") : movie && movie->hasVideo();
    bool audio = track ? track->hasAudio() : movie && movie->hasAudio();
    return (!exporter.needsVideo || video) && (!exporter.needsAudio || audio);
}

bool matches(
    const MVExporterDescription& e, uint32_t subType, uint32_t manufacturer, uint32_t flags, uint32_t mask)
{
    return e.componentType == MVMovieExportType && (!subType || e.componentSubType == subType)
        && (!manufacturer || e.componentManufacturer == manufacturer)
        && (e.componentFlags & mask) == (flags & mask);
}

// The settings the command asks for; nothing (with the command failed) when they cannot be had.
std::optional<HXPropertyList::Dictionary> settingsFor(
    HXScriptCommand& command, const MVExporterDescription& exporter)
{
    auto using_ = command.codeArgument("Using");
    auto preset = command.stringArgument("UsingSettingsPreset");
    auto file = command.stringArgument("UsingSettingsFile");
    if (command.failed())
        return std::nullopt;
    // The settings used last win over a preset's.
    if (using_ && *using_ == HXFourCharCode("expr"))
        return MVExporter::mostRecentSettings(exporter).value_or(HXPropertyList::Dictionary {});
    if (preset) {
        auto settings = MVExporter::namedPresetSettings(exporter, *preset);
        if (!settings)
            failWith(command, kNoPresetErr);
        return settings;
    }
    if (file) {
        std::string path = command.absolutePath(*file);
        // A settings file that is not there leaves the exporter's own settings.
        if (!HXFileManager::defaultManager().fileExistsAtPath(path))
            return HXPropertyList::Dictionary {};
        auto plist = HXPropertyList::readFromFile(path);
        if (!plist || !plist->isDictionary()) {
            command.fail(HXScriptParameterError, "\u201c" + path + "\u201d holds no exporter settings.");
            return std::nullopt;
        }
        return plist->dictionaryValue();
    }
    return HXPropertyList::Dictionary {};
}

// Clears the way to `path`: an existing file goes only when the script allows it.
bool makeRoom(HXScriptCommand& command, const std::string& path, bool replacing)
{
    auto& files = HXFileManager::defaultManager();
    if (!files.fileExistsAtPath(path))
        return true;
    if (!replacing) {
        command.fail(kFileExistsErr, "\u201c" + path + "\u201d exists already.");
        return false;
    }
    if (!files.isDeletableFileAtPath(path) || !files.removeItemAtPath(path))
        std::cerr << "AS Export: failed to delete file." << std::endl;
    return true;
}

// The movie holding a copy of `track` alone.
std::shared_ptr<MVMovie> movieOfTrack(const MVMovie& movie, const std::shared_ptr<MVTrack>& track)
{
    auto holder = MVMovie::movie();
    holder->setTimeScale(movie.timeScale());
    holder->insertTrack(track);
    return holder;
}

} // namespace

uint32_t targetCode(const HXScriptValue& as)
{
    if (as.isPropertyList() && as.propertyList().isInteger()) {
        uint32_t code = uint32_t(as.propertyList().integerValue());
        return code == HXFourCharCode("MooV") ? MVExporterManufacturer : code;
    }
    if (as.isPropertyList() && as.propertyList().isString())
        return MVPScriptValues::codeFromValue(as).value_or(0);
    return 0;
}

std::optional<MVExporterDescription> CanExport(uint32_t target, const MVMovie* movie, const MVTrack* track)
{
    int tracks = track ? 1 : movie ? movie->trackCount() : 0;
    if (tracks == 0 || target == 0)
        return std::nullopt;
    bool direct = MVExporter::findExporter(MVMovieExportType, target, 0, 0, 0).has_value();
    uint32_t subType = HXFourCharCode("MooV"), manufacturer = target;
    if (target == HXFourCharCode("tx3g")) {
        subType = HXFourCharCode("TEXT");
        manufacturer = HXFourCharCode("tx3g");
    } else if (direct) {
        subType = target;
        manufacturer = 0;
    }
    // Exporters that need no source media type first, then those that must be asked for it (the player's
    // own exporters all need none).
    const uint32_t mask = kMissingComponent | kAsksSourceType | kCanExportFiles;
    for (uint32_t flags : { kCanExportFiles, kAsksSourceType | kCanExportFiles })
        for (const auto& e : MVExporter::exporters()) {
            if (!matches(e, subType, manufacturer, flags, mask))
                continue;
            if (e.componentManufacturer == HXFourCharCode("hint") && target != HXFourCharCode("hint"))
                continue;
            if (accepts(e, movie, track))
                return e;
        }
    return std::nullopt;
}

void Export(
    HXScriptCommand& command, const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<MVTrack>& track)
{
    auto exporter = CanExport(targetCode(command.argument("As")), movie.get(), track.get());
    if (!exporter)
        return failWith(command, kNoExporterErr);
    auto settings = settingsFor(command, *exporter);
    auto replacing = command.booleanArgument("Replacing");
    auto destination = command.stringArgument("Destination");
    if (command.failed() || !settings)
        return;
    if (!destination || destination->empty())
        return command.fail(HXScriptParameterError, "An export needs a destination file.");
    std::string path = command.absolutePath(*destination);
    if (!makeRoom(command, path, replacing.value_or(false)))
        return;

    auto session = MVExportSession::create(track ? movieOfTrack(*movie, track) : movie);
    session->setExporter(*exporter);
    session->setSettings(*settings);
    session->setTargetPath(path);
    // The script's program hears how far the export is, and waits while it goes on.
    std::string message;
    int status = session->perform(
        [&command](double fraction) {
            command.noteProgress(fraction);
            return 0;
        },
        &message);
    if (status != 0)
        return failWith(command, status, message);
    MVExporter::setMostRecentSettings(*exporter, *settings);
}

void SaveExporterSettings(HXScriptCommand& command, const std::shared_ptr<MVMovie>& movie)
{
    auto exporter = CanExport(targetCode(command.argument("As")), movie.get(), nullptr);
    if (!exporter)
        return failWith(command, kNoExporterErr);
    auto destination = command.stringArgument("DestinationFile");
    auto replacing = command.booleanArgument("Replacing");
    if (command.failed())
        return;
    auto settings = MVExporter::mostRecentSettings(*exporter);
    if (!settings)
        return failWith(command, kNoSettingsErr);
    if (!destination || destination->empty())
        return command.fail(HXScriptParameterError, "The settings need a destination file.");
    std::string path = command.absolutePath(*destination);
    if (!makeRoom(command, path, replacing.value_or(false)))
        return;
    // The settings file names its exporter, as the player's other settings files do.
    HXPropertyList::Dictionary file = *settings;
    file["MVExpComponentType"] = int64_t(exporter->componentType);
    file["MVExpComponentSubType"] = int64_t(exporter->componentSubType);
    file["MVExpComponentManufacture"] = int64_t(exporter->componentManufacturer);
    file["MVExpComponentFlags"] = int64_t(0);
    file["MVExpComponentFlagsMask"] = int64_t(0);
    HXError error;
    if (!HXPropertyList(std::move(file)).writeToFile(path, &error))
        command.fail(-36,
            "The settings could not be written to \u201c" + path + "\u201d: " + error.localizedDescription());
}

} // namespace MVPScriptedExport
