#include "platform/mvkit/export/exporter.h"

#include "platform/mvkit/atoms/four_char_code.h"

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
