#include "platform/winkit/print_operation.h"

#include "platform/winkit/application.h"
#include "platform/winkit/print_panel.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace {

// A file of our own in the temporary folder for the page on its way to the printer; gone with the object.
class TemporaryPage {
public:
    explicit TemporaryPage(const char* extension)
    {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/movara-print-XXXXXX" + extension;
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = mkstemps(buffer.data(), int(std::char_traits<char>::length(extension)));
        if (fd >= 0) {
            ::close(fd);
            _path = buffer.data();
        } else {
            _error = errno;
        }
    }
    ~TemporaryPage()
    {
        if (!_path.empty())
            ::unlink(_path.c_str());
    }
    TemporaryPage(const TemporaryPage&) = delete;
    TemporaryPage& operator=(const TemporaryPage&) = delete;
    const std::string& path() const { return _path; }
    int error() const { return _error; }

private:
    std::string _path;
    int _error = 0;
};

} // namespace

HXPrintOperation::HXPrintOperation(std::shared_ptr<HXView> view, const HXPrintInfo& info)
    : _view(std::move(view))
    , _info(info)
{
}

std::shared_ptr<HXPrintOperation> HXPrintOperation::printOperationWithView(
    std::shared_ptr<HXView> view, const HXPrintInfo& info)
{
    return std::make_shared<HXPrintOperation>(std::move(view), info);
}

std::string HXPrintOperation::jobTitle() const
{
    if (!_jobTitle.empty())
        return _jobTitle;
    auto window = _view ? _view->window() : nullptr;
    return window && !window->title().empty() ? window->title() : std::string("Untitled");
}

HXRect HXPrintOperation::pageRectForView(HXSize viewSize, const HXPrintInfo& info)
{
    HXRect area = info.imageablePageBounds();
    if (!(viewSize.width > 0) || !(viewSize.height > 0) || area.size.width <= 0 || area.size.height <= 0)
        return HXMakeRect(area.origin.x, area.origin.y, 0, 0);
    double scale = HXPrintInfo::isValidScalingFactor(info.scalingFactor()) ? info.scalingFactor() : 1.0;
    HXSize size = { viewSize.width * scale, viewSize.height * scale };
    // One page holds all of it: larger than the page, it is shrunk with its proportions kept.
    double fit = std::min(area.size.width / size.width, area.size.height / size.height);
    if (fit < 1)
        size = { size.width * fit, size.height * fit };
    double x = info.isHorizontallyCentered() ? area.origin.x + (area.size.width - size.width) / 2 : area.origin.x;
    double y = info.isVerticallyCentered() ? area.origin.y + (area.size.height - size.height) / 2
                                           : HXMaxY(area) - size.height;
    return HXMakeRect(x, y, size.width, size.height);
}

bool HXPrintOperation::writePage(const std::string& path, HXPrintDocumentFormat format, HXError* error) const
{
    auto fail = [&](const std::string& text) {
        if (error)
            *error = HXError::withDescription(HXPrintErrorDomain, 0, text);
        return false;
    };
    if (!_view)
        return fail("There is nothing to print.");
    HXSize page = _info.paperSize();
    if (!(page.width > 0) || !(page.height > 0))
        return fail("The paper has no size.");
    cairo_surface_t* surface = format == HXPrintDocumentFormat::PDF
        ? cairo_pdf_surface_create(path.c_str(), page.width, page.height)
        : cairo_ps_surface_create(path.c_str(), page.width, page.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        std::string reason = cairo_status_to_string(cairo_surface_status(surface));
        cairo_surface_destroy(surface);
        return fail("The page could not be written: " + reason);
    }
    if (format == HXPrintDocumentFormat::PDF)
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, jobTitle().c_str());
    HXRect rect = pageRectForView(_view->bounds().size, _info);
    if (rect.size.width > 0 && rect.size.height > 0)
        _view->drawHierarchyOnPage(surface, page, rect);
    cairo_surface_show_page(surface);
    cairo_surface_finish(surface);
    cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        return fail(std::string("The page could not be written: ") + cairo_status_to_string(status));
    return true;
}

bool HXPrintOperation::print()
{
    _error = {};
    std::string printer = _info.printerName().empty() ? HXPrinter::defaultPrinterName() : _info.printerName();
    if (printer.empty()) {
        _error = HXError::withDescription(
            HXPrintErrorDomain, 0, "No printer is set up. Add one in the desktop's printer settings.");
        return false;
    }
    auto format = HXPrinter::documentFormat(printer);
    TemporaryPage file(format == HXPrintDocumentFormat::PDF ? ".pdf" : ".ps");
    if (file.path().empty()) {
        _error = HXError::posix(file.error(), "a temporary file for printing");
        return false;
    }
    if (!writePage(file.path(), format, &_error))
        return false;
    _jobNumber = HXPrinter::printFile(printer, file.path(), format, jobTitle(), _info.copies(), &_error);
    return _jobNumber > 0;
}

bool HXPrintOperation::runOperation()
{
    _error = {};
    if (_showsPrintPanel) {
        auto panel = HXPrintPanel::printPanel();
        if (panel->runModalWithPrintInfo(_info) != HXModalResponseOK)
            return false;
        _info = panel->printInfo();
    }
    return print();
}

void HXPrintOperation::runOperationModalForWindow(
    const std::shared_ptr<HXWindow>& window, std::function<void(bool)> completion)
{
    _error = {};
    if (!_showsPrintPanel || !window) {
        bool done = runOperation();
        if (completion)
            completion(done);
        return;
    }
    auto self = shared_from_this();
    auto panel = HXPrintPanel::printPanel();
    panel->beginSheetWithPrintInfo(_info, window, [self, panel, completion = std::move(completion)](long code) {
        bool done = false;
        if (code == HXModalResponseOK) {
            self->_info = panel->printInfo();
            // The sheet goes before the job is written and sent.
            panel->orderOut();
            done = self->print();
        }
        if (completion)
            completion(done);
    });
}
