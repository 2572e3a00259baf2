#include "platform/mvkit/export/export_session_dialog.h"

#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/view.h"

#include <filesystem>

namespace {

MVExportSessionUIHandler& uiHandler()
{
    static MVExportSessionUIHandler handler;
    return handler;
}

std::string withExtension(const std::string& path, const MVExporterDescription& exporter)
{
    std::filesystem::path p(path);
    p.replace_extension(exporter.fileNameExtension());
    return p.string();
}

} // namespace

void MVExportSessionSetUIHandler(MVExportSessionUIHandler handler)
{
    uiHandler() = std::move(handler);
}

int MVExportSessionShowUI(MVExportSession& session, const std::string& suggestedPath)
{
    if (uiHandler())
        return uiHandler()(session, suggestedPath);

    const auto& exporters = MVExporter::exporters();
    auto accessory = std::make_shared<HXView>(HXRect { { 0, 0 }, { 360, 34 } });
    auto label = std::make_shared<HXTextField>(HXRect { { 10, 8 }, { 70, 18 } });
    label->setStringValue("Export:");
    label->setEditable(false);
    label->setBezeled(false);
    label->setDrawsBackground(false);
    auto kinds = std::make_shared<HXPopUpButton>(HXRect { { 84, 4 }, { 260, 26 } });
    long selected = 0;
    for (size_t i = 0; i < exporters.size(); ++i) {
        kinds->addItemWithTitle(exporters[i].name);
        if (exporters[i].componentSubType == session.exporter().componentSubType)
            selected = long(i);
    }
    kinds->selectItemAtIndex(selected);
    accessory->addSubview(label);
    accessory->addSubview(kinds);

    auto panel = HXSavePanel::savePanel();
    panel->setAccessoryView(accessory);
    panel->setCanCreateDirectories(true);
    panel->setAllowsOtherFileTypes(true);
    std::filesystem::path suggested(withExtension(suggestedPath, session.exporter()));
    if (panel->runModalForDirectory(suggested.parent_path().string(), suggested.filename().string()) != 1)
        return MVExportUserCanceledErr;
    long index = kinds->indexOfSelectedItem();
    const auto& exporter = exporters[size_t(index >= 0 && size_t(index) < exporters.size() ? index : 0)];
    session.setExporter(exporter);
    session.setTargetPath(exporter.kind == MVExporterKind::ImageSequence || panel->filename().empty()
            ? panel->filename()
            : withExtension(panel->filename(), exporter));
    if (session.targetPath().empty())
        return MVExportUserCanceledErr;
    // What this exporter was used with last, for a script that asks for it.
    MVExporter::setMostRecentSettings(exporter, session.settings());
    return 0;
}
