#pragma once
// The export dialog: a save panel with the exporters in a pop-up under the name field. The user picks a
// name, a folder and a kind of file; the session takes them as its destination and exporter.
#include "platform/mvkit/export/export_session.h"

#include <functional>
#include <string>

// Shows the dialog, suggesting `suggestedPath` (folder and name; the extension follows the exporter).
// 0 when the user confirmed (the session then has its destination and exporter), MVExportUserCanceledErr
// when the user canceled.
int MVExportSessionShowUI(MVExportSession& session, const std::string& suggestedPath);

// Replaces the dialog (tests and scripted runs); an empty handler brings the real one back.
using MVExportSessionUIHandler
    = std::function<int(MVExportSession& session, const std::string& suggestedPath)>;
void MVExportSessionSetUIHandler(MVExportSessionUIHandler handler);
