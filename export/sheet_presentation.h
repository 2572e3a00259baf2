#pragma once
// Sheets of the export and share commands: shown on the document's window when there is one, else as a
// window of their own (scripts and tests run without a player window).
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <memory>

inline void MVPBeginSheet(const std::shared_ptr<HXWindow>& sheet, const std::shared_ptr<HXWindow>& window)
{
    if (window && HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->beginSheet(sheet, window, [](long) {});
    else
        sheet->makeKeyAndOrderFront();
}

inline void MVPEndSheet(const std::shared_ptr<HXWindow>& sheet, long returnCode)
{
    if (sheet->isSheet() && HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->endSheet(sheet, returnCode);
}
