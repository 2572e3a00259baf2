#pragma once
// HXPrinter: the print queues of the desktop's print scheduler (CUPS), the papers each takes and the
// sending of a finished document to one. Only the scheduler's own queues are listed (no browsing of the
// network); the scheduler is the one libcups finds (CUPS_SERVER, the user's client.conf, else the local
// one). Every call asks the scheduler and gives up after a few seconds when it does not answer.
#include "platform/basekit/error.h"
#include "platform/drawing/geometry.h"

#include <optional>
#include <string>
#include <vector>

// Errors of printing: the code is the scheduler's IPP status.
inline constexpr const char* HXPrintErrorDomain = "HXPrintErrorDomain";

// One paper a printer takes: its standard (PWG) name, a name to show, its size in points (portrait) and the
// margins the printer cannot print in, in points.
struct HXPrinterPaper {
    std::string name;
    std::string displayName;
    HXSize size;
    double leftMargin = 0, bottomMargin = 0, rightMargin = 0, topMargin = 0;
};

// The kinds of document a queue accepts that we can write.
enum class HXPrintDocumentFormat { PDF, PostScript };

class HXPrinter {
public:
    // The queues, the default one first (then by name); empty when there is no scheduler or no queue.
    static std::vector<std::string> printerNames();
    // The default queue ("" when there is none).
    static std::string defaultPrinterName();
    // The papers `printer` takes; its default one first. Empty when the printer is unknown.
    static std::vector<HXPrinterPaper> papers(const std::string& printer);
    // The papers of the standard list, for when no printer says (Letter, Legal, A4 ...).
    static const std::vector<HXPrinterPaper>& standardPapers();
    // The paper the machine's locale uses (Letter in North America, else A4).
    static HXPrinterPaper localePaper();
    // What `printer` wants to be sent: PDF unless it takes PostScript only.
    static HXPrintDocumentFormat documentFormat(const std::string& printer);

    // Sends the finished document at `path` (in `format`) to `printer` as one job named `title`, `copies`
    // times. The job's number; 0 and `error` (HXPrintErrorDomain, or HXPOSIXErrorDomain for the file) when the scheduler refused or could
    // not be reached.
    static int printFile(const std::string& printer, const std::string& path, HXPrintDocumentFormat format,
        const std::string& title, int copies, HXError* error);
};
