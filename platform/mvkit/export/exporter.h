#pragma once
// Exporters: the kinds of file a movie can be exported to, each found by a component description (type
// 'spit', a subtype naming the kind, the manufacturer 'zntl', flags) as saved exporter settings and the
// web export name them.
//
// Settings are a property-list dictionary; each exporter reads the keys it knows and ignores the rest:
//   "MVExpWidth", "MVExpHeight"        picture size in pixels (0 or missing: the movie's size; the
//                                      picture is fitted into the box keeping its aspect ratio)
//   "MVExpFrameRate"                   frames per second (0 or missing: the movie's rate)
//   "MVExpVideoDataRate"               video data rate in bytes per second (missing: the encoder's choice)
//   "MVExpAudioDataRate"               audio data rate in bytes per second
//   "MVExpAudioSampleRate"             samples per second (missing: 44100)
//   "MVExpAudioNumChannels"            1 or 2 (missing: 2)
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVMovieExportType = 0x73706974; // 'spit'
inline constexpr uint32_t MVExporterManufacturer = 0x7A6E746C; // 'zntl'

// The component flags of an exporter: it can export a whole movie, and it needs no source track.
inline constexpr uint32_t MVCanMovieExportFiles = 0x10;
inline constexpr uint32_t MVMovieExportNoSourceTrack = 0x80000;

// Statuses of an export (the media layer's numbers).
inline constexpr int MVExportUserCanceledErr = -128; // the user canceled a dialog
inline constexpr int MVExportProgressStoppedErr = -2019; // the progress procedure stopped the export
inline constexpr int MVExportParamErr = -50; // no movie, no destination, malformed settings
inline constexpr int MVExportIOErr = -36; // the destination cannot be written
inline constexpr int MVExportInvalidMovieErr = -2010; // the movie cannot be read, or lacks what is needed
inline constexpr int MVExportCodecErr = -8960; // no encoder or decoder for the media

enum class MVExporterKind {
    Movie, // a self-contained movie file in the movie format, samples copied as they are
    MPEG4, // an MPEG-4 file, H.264 video and AAC sound
    Phone, // the same for phones: an ".m4v" file
    AudioOnly, // the sound as AAC in an ".m4a" file
    Wave, // the sound as 16-bit PCM in a ".wav" file
    ImageSequence, // each frame as a numbered PNG image
};

struct MVExporterDescription {
    uint32_t componentType = MVMovieExportType;
    uint32_t componentSubType = 0;
    uint32_t componentManufacturer = MVExporterManufacturer;
    uint32_t componentFlags = 0;
    MVExporterKind kind = MVExporterKind::Movie;
    std::string name; // shown in the export dialog
    uint32_t fileExtension = 0; // the extension as a four-character code, blank-padded ('mov ')
    bool needsVideo = false;
    bool needsAudio = false;

    // The extension as text, blanks trimmed: "mov".
    std::string fileNameExtension() const;
};

class MVExporter {
public:
    // Every exporter, in the order the export dialog lists them.
    static const std::vector<MVExporterDescription>& exporters();
    // The first exporter matching a component description: type, subtype and manufacturer compared when
    // non-zero, the flags under `flagsMask`.
    static std::optional<MVExporterDescription> findExporter(
        uint32_t type, uint32_t subType, uint32_t manufacturer, uint32_t flags, uint32_t flagsMask);
    // The exporter of a kind.
    static const MVExporterDescription& exporterOfKind(MVExporterKind kind);
    // By the subtype alone ('MooV', 'mpg4', ...).
    static std::optional<MVExporterDescription> exporterWithSubType(uint32_t subType);

    // The settings an exporter was last used with (kept in the user defaults under
    // "MVExporterMostRecentSettings", by subtype); nothing for an exporter never used.
    static std::optional<HXPropertyList::Dictionary> mostRecentSettings(
        const MVExporterDescription& exporter);
    static void setMostRecentSettings(
        const MVExporterDescription& exporter, const HXPropertyList::Dictionary& settings);
    // The settings an exporter offers by name ("Low", "Medium", "High" quality; "Mono", "Stereo" sound);
    // nothing for a name it does not offer.
    static std::vector<std::string> presetNames(const MVExporterDescription& exporter);
    static std::optional<HXPropertyList::Dictionary> namedPresetSettings(
        const MVExporterDescription& exporter, const std::string& name);
};
