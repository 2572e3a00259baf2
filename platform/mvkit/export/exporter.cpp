#include "platform/mvkit/export/exporter.h"

#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/atoms/four_char_code.h"

#include <map>

std::string MVExporterDescription::fileNameExtension() const
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((fileExtension >> shift) & 0xFF);
        if (c != ' ' && c != '\0')
            text.push_back(c);
    }
    return text;
}

const std::vector<MVExporterDescription>& MVExporter::exporters()
{
    constexpr uint32_t movieFlags = MVCanMovieExportFiles;
    static const std::vector<MVExporterDescription> list = {
        { MVMovieExportType, MVFourCC("MooV"), MVExporterManufacturer, movieFlags, MVExporterKind::Movie,
            "Movie", MVFourCC("mov "), false, false },
        { MVMovieExportType, MVFourCC("mpg4"), MVExporterManufacturer, movieFlags, MVExporterKind::MPEG4,
            "MPEG-4", MVFourCC("mp4 "), false, false },
        { MVMovieExportType, MVFourCC("M4V "), MVExporterManufacturer, movieFlags, MVExporterKind::Phone,
            "Movie for Phone", MVFourCC("m4v "), true, false },
        { MVMovieExportType, MVFourCC("M4A "), MVExporterManufacturer, movieFlags, MVExporterKind::AudioOnly,
            "Sound to MPEG-4 Audio", MVFourCC("m4a "), false, true },
        { MVMovieExportType, MVFourCC("WAVE"), MVExporterManufacturer, movieFlags, MVExporterKind::Wave,
            "Sound to Wave", MVFourCC("wav "), false, true },
        { MVMovieExportType, MVFourCC("grex"), MVExporterManufacturer, movieFlags,
            MVExporterKind::ImageSequence, "Movie to Image Sequence", MVFourCC("png "), true, false },
    };
    return list;
}

std::optional<MVExporterDescription> MVExporter::findExporter(
    uint32_t type, uint32_t subType, uint32_t manufacturer, uint32_t flags, uint32_t flagsMask)
{
    for (const auto& e : exporters()) {
        if (type && e.componentType != type)
            continue;
        if (subType && e.componentSubType != subType)
            continue;
        if (manufacturer && e.componentManufacturer != manufacturer)
            continue;
        if ((e.componentFlags & flagsMask) != (flags & flagsMask))
            continue;
        return e;
    }
    return std::nullopt;
}

const MVExporterDescription& MVExporter::exporterOfKind(MVExporterKind kind)
{
    for (const auto& e : exporters())
        if (e.kind == kind)
            return e;
    return exporters().front();
}

std::optional<MVExporterDescription> MVExporter::exporterWithSubType(uint32_t subType)
{
    return findExporter(MVMovieExportType, subType, 0, 0, 0);
}

namespace {

constexpr const char* kMostRecentSettings = "MVExporterMostRecentSettings";

std::string subTypeKey(const MVExporterDescription& exporter)
{
    return MVStringForOSType(exporter.componentSubType);
}

using Presets = std::vector<std::pair<std::string, HXPropertyList::Dictionary>>;

const Presets& presetsOf(const MVExporterDescription& exporter)
{
    // Data rates in bytes a second.
    static const Presets picture = {
        { "Low", { { "MVExpVideoDataRate", int64_t(48000) }, { "MVExpAudioDataRate", int64_t(8000) } } },
        { "Medium", { { "MVExpVideoDataRate", int64_t(125000) }, { "MVExpAudioDataRate", int64_t(16000) } } },
        { "High", { { "MVExpVideoDataRate", int64_t(500000) }, { "MVExpAudioDataRate", int64_t(24000) } } },
    };
    static const Presets sound = {
        { "Low", { { "MVExpAudioDataRate", int64_t(8000) } } },
        { "Medium", { { "MVExpAudioDataRate", int64_t(16000) } } },
        { "High", { { "MVExpAudioDataRate", int64_t(32000) } } },
    };
    static const Presets wave = {
        { "Mono", { { "MVExpAudioNumChannels", int64_t(1) } } },
        { "Stereo", { { "MVExpAudioNumChannels", int64_t(2) } } },
    };
    static const Presets none;
    switch (exporter.kind) {
    case MVExporterKind::MPEG4:
    case MVExporterKind::Phone:
        return picture;
    case MVExporterKind::AudioOnly:
        return sound;
    case MVExporterKind::Wave:
        return wave;
    default:
        return none;
    }
}

} // namespace

std::optional<HXPropertyList::Dictionary> MVExporter::mostRecentSettings(
    const MVExporterDescription& exporter)
{
    auto all = HXUserDefaults::standardUserDefaults().dictionaryForKey(kMostRecentSettings);
    auto it = all.find(subTypeKey(exporter));
    if (it == all.end() || !it->second.isDictionary())
        return std::nullopt;
    return it->second.dictionaryValue();
}

void MVExporter::setMostRecentSettings(
    const MVExporterDescription& exporter, const HXPropertyList::Dictionary& settings)
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    auto all = defaults.dictionaryForKey(kMostRecentSettings);
    all[subTypeKey(exporter)] = settings;
    defaults.setObject(HXPropertyList(std::move(all)), kMostRecentSettings);
}

std::vector<std::string> MVExporter::presetNames(const MVExporterDescription& exporter)
{
    std::vector<std::string> names;
    for (const auto& [name, settings] : presetsOf(exporter))
        names.push_back(name);
    return names;
}

std::optional<HXPropertyList::Dictionary> MVExporter::namedPresetSettings(
    const MVExporterDescription& exporter, const std::string& name)
{
    for (const auto& [preset, settings] : presetsOf(exporter))
        if (preset == name)
            return settings;
    return std::nullopt;
}
