#pragma once
// HXPrintOperation: prints a view on one page. The view is drawn with Cairo into a PDF (or, for a printer
// that takes only PostScript, a PostScript) page laid out by the print info: at its own size times the
// scale, shrunk to fit inside the margins when it is larger, centred. The page goes to the print scheduler
// as one job. The print panel can be shown first, modally or as a sheet.
#include "platform/basekit/error.h"
#include "platform/winkit/print_info.h"

#include <functional>
#include <memory>
#include <string>

class HXView;
class HXWindow;

class HXPrintOperation : public std::enable_shared_from_this<HXPrintOperation> {
public:
    HXPrintOperation(std::shared_ptr<HXView> view, const HXPrintInfo& info);
    static std::shared_ptr<HXPrintOperation> printOperationWithView(
        std::shared_ptr<HXView> view, const HXPrintInfo& info);

    const HXPrintInfo& printInfo() const { return _info; }
    void setPrintInfo(const HXPrintInfo& info) { _info = info; }
    bool showsPrintPanel() const { return _showsPrintPanel; }
    void setShowsPrintPanel(bool flag) { _showsPrintPanel = flag; }
    // The job's name at the printer (the view's window's title when not set).
    std::string jobTitle() const;
    void setJobTitle(const std::string& title) { _jobTitle = title; }

    // Shows the print panel when asked, then prints. True when the page went to the printer; false when
    // the panel was cancelled (error() empty) or printing failed (error() says why).
    bool runOperation();
    // The same with the print panel as a sheet on `window`; `completion` gets the answer.
    void runOperationModalForWindow(const std::shared_ptr<HXWindow>& window, std::function<void(bool)> completion);
    const HXError& error() const { return _error; }
    // The scheduler's number for the job sent (0 before one was).
    int jobNumber() const { return _jobNumber; }

    // Writes the page to `path` in `format`; false and `error` when it cannot be written.
    bool writePage(const std::string& path, HXPrintDocumentFormat format, HXError* error) const;
    // Where a view of `viewSize` points goes on the page of `info` (points, origin at the bottom left).
    static HXRect pageRectForView(HXSize viewSize, const HXPrintInfo& info);

private:
    bool print();

    std::shared_ptr<HXView> _view;
    HXPrintInfo _info;
    bool _showsPrintPanel = true;
    std::string _jobTitle;
    HXError _error;
    int _jobNumber = 0;
};
