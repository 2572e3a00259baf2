#pragma once
// Re-encoding a movie file for the exporters that do not copy samples: MPEG-4 (H.264 and AAC), sound
// only (AAC or PCM) and image sequences (PNG). Reads with libavformat/libavcodec, scales with
// libswscale, resamples with libswresample and writes with libavformat.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/export/exporter.h"

#include <functional>
#include <string>
#include <vector>

struct MVTranscodeResult {
    int status = 0; // 0, or an MVExportSession status
    std::string message; // what went wrong, for the user
    std::vector<std::string> writtenFiles; // image sequences: every image written, in order
};

// Encodes `sourcePath` into `destinationPath` as `exporter` says, with `settings` (the keys of
// exporter.h). For an image sequence `destinationPath` names the first image's folder and base name
// ("/out/clip.png" gives "/out/clip0001.png", ...). `progress` gets the fraction done and stops the work
// when it answers non-zero. On failure nothing is left at the destination.
MVTranscodeResult MVTranscodeMovieFile(const std::string& sourcePath, const std::string& destinationPath,
    const MVExporterDescription& exporter, const HXPropertyList::Dictionary& settings,
    const std::function<int(double fraction)>& progress);

// The picture size an export writes for a `width` × `height` movie: fitted into the settings' box
// (when given and the movie is larger) keeping the aspect ratio, rounded to even numbers.
std::pair<int, int> MVExportPictureSize(int width, int height, const HXPropertyList::Dictionary& settings);
