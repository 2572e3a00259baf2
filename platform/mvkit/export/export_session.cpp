#include "platform/mvkit/export/export_session.h"

#include "platform/mvkit/export/movie_transcoder.h"
#include "platform/mvkit/movie.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

// The rate the movie's pictures come at: the commonest picture duration of its first enabled picture
// track (nothing for a still picture or a rate no movie has).
double movieFrameRate(const MVMovie& movie)
{
    for (const auto& t : movie.tracks()) {
        if (t->mediaType() != MVFourCC("vide") || !t->isEnabled())
            continue;
        const auto& media = *t->media();
        std::map<uint32_t, size_t> counts;
        for (const auto& sample : media.samples())
            if (sample.duration > 0)
                ++counts[sample.duration];
        if (counts.empty())
            continue;
        auto commonest = std::max_element(
            counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        double rate = double(media.timeScale()) / commonest->first;
        return rate >= 1 && rate <= 240 ? rate : 0;
    }
    return 0;
}

constexpr int64_t kSessionVersion = 1;

int fail(std::string* outMessage, int status, const std::string& message)
{
    if (outMessage)
        *outMessage = message;
    return status;
}

// A name beside `path` that nothing else uses, for writing before the rename.
std::string partialPathFor(const std::string& path)
{
    auto slash = path.rfind('/');
    std::string folder = path.substr(0, slash + 1);
    return folder + "." + path.substr(slash + 1) + ".partial-" + std::to_string(::getpid());
}

// A private temporary folder for the intermediate movie.
std::string makeTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "movara-export-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

} // namespace

std::shared_ptr<MVExportSession> MVExportSession::create(std::shared_ptr<MVMovie> movie)
{
    std::shared_ptr<MVExportSession> session(new MVExportSession);
    session->_movie = std::move(movie);
    session->_exporter = MVExporter::exporters().front();
    return session;
}

std::shared_ptr<MVExportSession> MVExportSession::createFromSerialization(
    const HXData& data, HXError* outError)
{
    auto bad = [&](const std::string& why) -> std::shared_ptr<MVExportSession> {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, MVExportParamErr, why);
        return nullptr;
    };
    auto plist = HXPropertyList::fromXML(data.view());
    if (!plist || !plist->isDictionary())
        return bad("The export session is not readable.");
    const auto& d = *plist;
    if (d["MVExportSessionVersion"].integerValue() != kSessionVersion)
        return bad("The export session was written by another version.");
    auto exporter = MVExporter::exporterWithSubType(uint32_t(d["MVExportSessionExporter"].integerValue()));
    if (!exporter)
        return bad("The export session names an exporter this program does not have.");
    const auto& target = d["MVExportSessionTarget"];
    if (!target.isString() || target.stringValue().empty() || target.stringValue()[0] != '/')
        return bad("The export session has no destination.");
    if (!d["MVExportSessionMovie"].isData())
        return bad("The export session holds no movie.");
    HXError error;
    auto movie = MVMovie::movieWithData(d["MVExportSessionMovie"].dataValue().bytes, &error);
    if (!movie) {
        if (outError)
            *outError = error;
        return nullptr;
    }
    auto session = create(movie);
    session->_exporter = *exporter;
    if (d["MVExportSessionSettings"].isDictionary())
        session->_settings = d["MVExportSessionSettings"].dictionaryValue();
    session->_targetPath = target.stringValue();
    return session;
}

std::string MVExportSession::targetName() const
{
    return std::filesystem::path(_targetPath).filename().string();
}

std::string MVExportSession::partialPath() const
{
    return partialPathFor(_targetPath);
}

bool MVExportSession::canSerialize() const
{
    return _movie && _movie->canSerialize();
}

std::optional<HXData> MVExportSession::serialize() const
{
    if (!canSerialize())
        return std::nullopt;
    HXPropertyList::Dictionary form = {
        { "MVExportSessionVersion", kSessionVersion },
        { "MVExportSessionMovie", HXData(_movie->movieFormatRepresentation()) },
        { "MVExportSessionExporter", int64_t(_exporter.componentSubType) },
        { "MVExportSessionSettings", _settings },
        { "MVExportSessionTarget", _targetPath },
    };
    auto xml = HXPropertyList(std::move(form)).xmlData();
    if (!xml)
        return std::nullopt;
    return HXData(std::string_view(*xml));
}

int MVExportSession::perform(const MVExportSessionProgressProc& progress, std::string* outMessage)
{
    if (!_movie)
        return fail(outMessage, MVExportParamErr, "There is no movie to export.");
    if (_targetPath.empty() || _targetPath[0] != '/')
        return fail(outMessage, MVExportParamErr, "The export has no destination.");
    if (_exporter.needsVideo && !_movie->hasVideo())
        return fail(outMessage, MVExportInvalidMovieErr, "The movie has no pictures to export.");
    if (_exporter.needsAudio && !_movie->hasAudio())
        return fail(outMessage, MVExportInvalidMovieErr, "The movie has no sound to export.");
    if (_exporter.kind == MVExporterKind::Movie)
        return performMovieExport(progress, outMessage);

    // The movie as the edits show it, self-contained in a file of its own, is what the encoders read.
    std::string folder = makeTemporaryFolder();
    if (folder.empty())
        return fail(outMessage, MVExportIOErr, "No temporary folder can be made.");
    std::string intermediate = folder + "/source.mov";
    // Writing the intermediate movie is the first tenth of the work.
    HXError error;
    bool stopped = false;
    bool written = writeSelfContained(intermediate, progress, 0.1, &stopped, &error, true);
    int status = 0;
    if (stopped) {
        status = MVExportProgressStoppedErr;
    } else if (!written) {
        status = fail(
            outMessage, MVExportIOErr, "The movie cannot be prepared: " + error.localizedDescription());
    } else {
        bool sequence = _exporter.kind == MVExporterKind::ImageSequence;
        std::string destination = sequence ? _targetPath : partialPathFor(_targetPath);
        auto settings = _settings;
        if (double rate = movieFrameRate(*_movie); rate > 0 && !settings.count("MVExpSourceFrameRate"))
            settings["MVExpSourceFrameRate"] = HXPropertyList(rate);
        auto result = MVTranscodeMovieFile(intermediate, destination, _exporter, settings,
            [&](double fraction) { return progress ? progress(0.1 + fraction * 0.9) : 0; });
        status = result.status;
        if (status != 0) {
            fail(outMessage, status, result.message);
        } else if (!sequence && ::rename(destination.c_str(), _targetPath.c_str()) != 0) {
            status = fail(outMessage, MVExportIOErr, _targetPath + ": " + std::strerror(errno));
            ::unlink(destination.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (status == 0 && progress)
        progress(1.0);
    return status;
}

bool MVExportSession::writeSelfContained(const std::string& path, const MVExportSessionProgressProc& progress,
    double share, bool* outStopped, HXError* outError, bool forEncoders)
{
    auto previous = _movie->progressProc();
    _movie->setProgressProc(
        [&](MVMovieProgressMessage message, MVMovieProgressOperation operation, double fraction) {
            if (message != MVMovieProgressMessage::Percent || !progress)
                return 0;
            // The wait for the rest of a long file comes before any byte is written: still at the start.
            int answer = progress(operation == MVMovieProgressOperation::Flatten ? fraction * share : 0);
            *outStopped = *outStopped || answer != 0;
            return answer;
        });
    bool written = _movie->writeToFile(
        path, { { MVMovieFlatten, true }, { MVMovieKeepsOwnDescriptions, forEncoders } }, outError);
    _movie->setProgressProc(previous);
    return written;
}

int MVExportSession::performMovieExport(const MVExportSessionProgressProc& progress, std::string* outMessage)
{
    // The samples are copied as they are: the movie writer's self-contained save, which writes to a
    // temporary file and renames it over the destination only when it is whole.
    HXError error;
    bool stopped = false;
    bool written = writeSelfContained(_targetPath, progress, 1.0, &stopped, &error);
    if (stopped)
        return MVExportProgressStoppedErr;
    if (!written)
        return fail(
            outMessage, MVExportIOErr, "The movie cannot be written: " + error.localizedDescription());
    if (progress)
        progress(1.0);
    return 0;
}
