#include "export/helper/export_job.h"

#include "export/helper/helper_connection.h"
#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"

namespace {

HelperJobResult perform(HelperConnection& player, MVExportSession& session)
{
    // Encoding keeps a processor busy: hold a "CPU" slot while it runs.
    if (auto refused = HelperAcquireResource(player, "CPU"))
        return *refused;
    player.send(HXPropertyList::Dictionary {
        { "registerFile", session.partialPath() }, { "status", "ExportState" }, { "progress", 0.0 } });

    HelperProgressReporter reporter(player);
    std::string message;
    int status = session.perform([&](double fraction) { return reporter.report(fraction); }, &message);
    if (player.shouldStop())
        return HelperJobResult::Canceled;
    if (status != 0) {
        HelperReportError(player, status, message.empty() ? "The export failed." : message);
        return HelperJobResult::Failed;
    }
    player.send(HXPropertyList::Dictionary { { "unregisterFile", session.partialPath() },
        { "releaseResource", "CPU" }, { "progress", 1.0 }, { "log", "Exported " + session.targetPath() } });
    return HelperJobResult::Complete;
}

uint32_t componentNumber(const HXPropertyList::Dictionary& params, const char* key)
{
    auto found = params.find(key);
    return found == params.end() ? 0 : uint32_t(found->second.integerValue());
}

} // namespace

HelperJobResult performExportSessionJob(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    auto form = params.find("MVExportSession");
    if (form == params.end() || !form->second.isData()) {
        HelperReportError(
            player, HelperParameterError, "The job holds no export session (\"MVExportSession\").");
        return HelperJobResult::Failed;
    }
    HXError error;
    auto session = MVExportSession::createFromSerialization(form->second.dataValue(), &error);
    if (!session) {
        HelperReportError(player, error.code() ? error.code() : HelperParameterError,
            "The export session cannot be read: " + error.localizedDescription());
        return HelperJobResult::Failed;
    }
    return perform(player, *session);
}

HelperJobResult performExportJob(HelperConnection& player, const HXPropertyList::Dictionary& params)
{
    auto in = params.find("MVExpMovieIn");
    auto out = params.find("MVExpNameOut");
    if (in == params.end() || !in->second.isData() || in->second.dataValue().size() == 0) {
        HelperReportError(player, HelperParameterError, "The job has no movie to export (\"MVExpMovieIn\").");
        return HelperJobResult::Failed;
    }
    if (out == params.end() || !out->second.isString() || out->second.stringValue().empty()
        || out->second.stringValue()[0] != '/') {
        HelperReportError(player, HelperParameterError,
            "The job has no full path to write the movie to (\"MVExpNameOut\").");
        return HelperJobResult::Failed;
    }
    std::optional<MVExporterDescription> exporter;
    if (params.count("MVExpComponentSubType") || params.count("MVExpComponentType")) {
        exporter = MVExporter::findExporter(componentNumber(params, "MVExpComponentType"),
            componentNumber(params, "MVExpComponentSubType"),
            componentNumber(params, "MVExpComponentManufacture"),
            componentNumber(params, "MVExpComponentFlags"),
            componentNumber(params, "MVExpComponentFlagsMask"));
        if (!exporter) {
            HelperReportError(
                player, HelperParameterError, "No exporter matches the job's exporter settings.");
            return HelperJobResult::Failed;
        }
    } else {
        exporter = MVExporter::exporterOfKind(MVExporterKind::MPEG4);
    }
    HXError error;
    auto movie = MVMovie::movieWithData(in->second.dataValue().bytes, &error);
    if (!movie) {
        HelperReportError(player, error.code() ? error.code() : HelperParameterError,
            "The movie to export cannot be read: " + error.localizedDescription());
        return HelperJobResult::Failed;
    }
    auto session = MVExportSession::create(movie);
    session->setExporter(*exporter);
    session->setSettings(params);
    session->setTargetPath(out->second.stringValue());
    return perform(player, *session);
}
