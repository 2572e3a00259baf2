#pragma once
// MVExportSession: one export of a movie — the movie, the exporter, its settings and the destination —
// that can be performed here or serialised, handed to the worker program and performed there.
//
// The serialised form is an XML property list (so the worker, an ".exportSession" file and a script
// can all carry it):
//   "MVExportSessionVersion"  1
//   "MVExportSessionMovie"    the movie's format representation (data)
//   "MVExportSessionExporter" the exporter's component subtype (number)
//   "MVExportSessionSettings" the exporter settings (dictionary)
//   "MVExportSessionTarget"   the destination's full path
// Performing writes beside the destination under a name of its own and renames over the destination
// only when the export is whole: a failed or stopped export leaves nothing behind.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"
#include "platform/mvkit/export/exporter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class MVMovie;

// Progress of a performed session: the fraction done; a non-zero answer stops the export.
using MVExportSessionProgressProc = std::function<int(double fraction)>;

class MVExportSession {
public:
    // A session over the movie, with the first exporter and no destination.
    static std::shared_ptr<MVExportSession> create(std::shared_ptr<MVMovie> movie);
    // A session rebuilt from its serialised form; null with `outError` set when the form is not one.
    static std::shared_ptr<MVExportSession> createFromSerialization(
        const HXData& data, HXError* outError = nullptr);

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    const MVExporterDescription& exporter() const { return _exporter; }
    void setExporter(const MVExporterDescription& exporter) { _exporter = exporter; }
    const HXPropertyList::Dictionary& settings() const { return _settings; }
    void setSettings(HXPropertyList::Dictionary settings) { _settings = std::move(settings); }
    const std::string& targetPath() const { return _targetPath; }
    void setTargetPath(std::string path) { _targetPath = std::move(path); }
    // The destination's file name ("clip.mp4"), as the job's title shows it.
    std::string targetName() const;

    // Whether the session can leave this process: the movie's header carries the whole movie.
    bool canSerialize() const;
    // The serialised form; nullopt when the movie cannot be serialised.
    std::optional<HXData> serialize() const;

    // Where perform writes before the rename (registered by the worker, so that a crash leaves nothing).
    std::string partialPath() const;

    // Exports; 0 on success, else a status of exporter.h, with `outMessage` telling what went wrong.
    int perform(const MVExportSessionProgressProc& progress, std::string* outMessage = nullptr);

private:
    MVExportSession() = default;
    // The movie written self-contained to `path`; progress goes out scaled by `share`. `forEncoders`:
    // the file is only read by the encoders, so tracks of codecs movie files cannot describe go in with
    // the program's own description.
    bool writeSelfContained(const std::string& path, const MVExportSessionProgressProc& progress,
        double share, bool* outStopped, HXError* outError, bool forEncoders = false);
    int performMovieExport(const MVExportSessionProgressProc& progress, std::string* outMessage);

    std::shared_ptr<MVMovie> _movie;
    MVExporterDescription _exporter;
    HXPropertyList::Dictionary _settings;
    std::string _targetPath;
};
