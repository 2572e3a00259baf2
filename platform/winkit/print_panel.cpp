#include "platform/winkit/print_panel.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kWidth = 440;
constexpr double kMargin = 20;
constexpr double kLabelWidth = 110;
constexpr double kRowHeight = 32;
constexpr double kButtonHeight = 28;

std::function<void(HXPrintingPanel&)>& appearHandler()
{
    static std::function<void(HXPrintingPanel&)> handler;
    return handler;
}

double panelHeight(int rows)
{
    return kMargin + rows * kRowHeight + 16 + kButtonHeight + kMargin;
}

} // namespace

std::optional<double> HXParseTypedNumber(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::nullopt;
    const char* begin = text.c_str() + start;
    if (!std::isdigit(static_cast<unsigned char>(*begin)) && *begin != '.')
        return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
        return std::nullopt;
    std::string rest(end);
    size_t at = rest.find_first_not_of(" \t");
    if (at != std::string::npos && rest[at] == '%')
        ++at;
    if (at != std::string::npos && rest.find_first_not_of(" \t", at) != std::string::npos)
        return std::nullopt;
    return value;
}

// ---- The panels' common part ----

HXPrintingPanel::HXPrintingPanel(const std::string& title, const std::string& okTitle, int rows)
    : HXPanel(HXMakeRect(0, 0, kWidth, panelHeight(rows)), HXTitledWindowMask | HXClosableWindowMask)
    , _okTitle(okTitle)
    , _rows(rows)
{
    setTitle(title);
    setActionHandler("ok:", [this](HXObject* sender) { ok(sender); });
    setActionHandler("cancel:", [this](HXObject* sender) { cancel(sender); });
}

HXPrintingPanel::~HXPrintingPanel() = default;

void HXPrintingPanel::setPanelDidAppearHandler(std::function<void(HXPrintingPanel&)> handler)
{
    appearHandler() = std::move(handler);
}

void HXPrintingPanel::build()
{
    if (_built)
        return;
    _built = true;
    auto self = std::static_pointer_cast<HXObject>(shared_from_this());
    auto content = contentView();
    _cancelButton = std::make_shared<HXButton>(
        HXMakeRect(kWidth - kMargin - 2 * 100 - 12, kMargin, 100, kButtonHeight), "Cancel");
    _cancelButton->setTarget(self);
    _cancelButton->setAction("cancel:");
    _cancelButton->setKeyEquivalent("\x1b");
    _okButton = std::make_shared<HXButton>(HXMakeRect(kWidth - kMargin - 100, kMargin, 100, kButtonHeight), _okTitle);
    _okButton->setTarget(self);
    _okButton->setAction("ok:");
    _okButton->setKeyEquivalent("\r");
    content->addSubview(_cancelButton);
    content->addSubview(_okButton);
    buildControls();
}

void HXPrintingPanel::addRow(int row, const std::string& label, const std::shared_ptr<HXView>& control, double width)
{
    auto content = contentView();
    double top = content->bounds().size.height - kMargin - (row + 1) * kRowHeight;
    auto title = HXTextField::labelWithString(label, HXMakeRect(kMargin, top + 4, kLabelWidth, 20));
    title->setAlignment(HXRightTextAlignment);
    content->addSubview(title);
    double x = kMargin + kLabelWidth + 8;
    control->setFrame(HXMakeRect(x, top, std::min(width, kWidth - kMargin - x), 26));
    content->addSubview(control);
}

std::shared_ptr<HXButton> HXPrintingPanel::okButton()
{
    build();
    return _okButton;
}

std::shared_ptr<HXButton> HXPrintingPanel::cancelButton()
{
    build();
    return _cancelButton;
}

void HXPrintingPanel::prepare(const HXPrintInfo& info)
{
    build();
    _info = info;
    showPrintInfo();
    _running = true;
}

void HXPrintingPanel::announce()
{
    std::weak_ptr<HXPrintingPanel> weak = std::static_pointer_cast<HXPrintingPanel>(shared_from_this());
    HXRunLoop::main().perform(
        [weak] {
            auto panel = weak.lock();
            if (panel && panel->_running && appearHandler())
                appearHandler()(*panel);
        },
        0, { HXRunLoopCommonModes });
}

long HXPrintingPanel::runModalWithPrintInfo(const HXPrintInfo& info)
{
    if (HXUnattendedAlerts::isActive()) {
        HXUnattendedAlerts::noteAnswered(title(), "Cancel");
        return HXModalResponseCancel;
    }
    prepare(info);
    _asSheet = false;
    center();
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());
    announce();
    long code = HXApplication::sharedApplication()->runModalForWindow(self);
    _running = false;
    orderOut();
    return code == HXModalResponseOK ? HXModalResponseOK : HXModalResponseCancel;
}

void HXPrintingPanel::beginSheetWithPrintInfo(
    const HXPrintInfo& info, const std::shared_ptr<HXWindow>& window, std::function<void(long)> handler)
{
    if (!window || HXUnattendedAlerts::isActive()) {
        long code = runModalWithPrintInfo(info);
        if (handler)
            handler(code);
        return;
    }
    prepare(info);
    _asSheet = true;
    auto self = std::static_pointer_cast<HXPrintingPanel>(shared_from_this());
    window->beginSheet(self, [self, handler = std::move(handler)](long code) {
        self->_running = false;
        if (handler)
            handler(code == HXModalResponseOK ? HXModalResponseOK : HXModalResponseCancel);
    });
    if (window->attachedSheet() != self) {
        // The window already shows a sheet: this one cannot be answered.
        _running = false;
        if (handler)
            handler(HXModalResponseCancel);
        return;
    }
    announce();
}

void HXPrintingPanel::ok(HXObject*)
{
    if (!_running)
        return;
    HXPrintInfo chosen = _info;
    std::string problem;
    if (!readControls(chosen, problem)) {
        auto alert = std::make_shared<HXAlert>();
        alert->setMessageText(problem);
        alert->addButtonWithTitle("OK");
        alert->runModal();
        return;
    }
    _info = chosen;
    finish(HXModalResponseOK);
}

void HXPrintingPanel::cancel(HXObject*)
{
    finish(HXModalResponseCancel);
}

void HXPrintingPanel::finish(long code)
{
    if (!_running)
        return;
    _running = false;
    if (_asSheet) {
        if (auto parent = sheetParent())
            parent->endSheet(std::static_pointer_cast<HXWindow>(shared_from_this()), code);
        return;
    }
    HXApplication::sharedApplication()->stopModalWithCode(code);
}

// ---- Print panel ----

HXPrintPanel::HXPrintPanel()
    : HXPrintingPanel("Print", "Print", 3)
{
}

std::shared_ptr<HXPrintPanel> HXPrintPanel::printPanel()
{
    auto panel = std::make_shared<HXPrintPanel>();
    panel->build();
    return panel;
}

std::shared_ptr<HXPopUpButton> HXPrintPanel::printerPopUp()
{
    build();
    return _printerPopUp;
}

std::shared_ptr<HXTextField> HXPrintPanel::copiesField()
{
    build();
    return _copiesField;
}

std::shared_ptr<HXTextField> HXPrintPanel::summaryField()
{
    build();
    return _summaryField;
}

void HXPrintPanel::buildControls()
{
    _printerPopUp = std::make_shared<HXPopUpButton>();
    _copiesField = std::make_shared<HXTextField>();
    _summaryField = HXTextField::labelWithString("");
    addRow(0, "Printer:", _printerPopUp, 280);
    addRow(1, "Copies:", _copiesField, 60);
    addRow(2, "Page:", _summaryField, 280);
    setInitialFirstResponder(_copiesField);
}

void HXPrintPanel::showPrintInfo()
{
    const HXPrintInfo& info = printInfo();
    _printers = HXPrinter::printerNames();
    _printerPopUp->removeAllItems();
    if (_printers.empty()) {
        // Nothing to print to: the panel says so and cannot be confirmed.
        _printerPopUp->addItemWithTitle("No Printers");
        _printerPopUp->setEnabled(false);
        okButton()->setEnabled(false);
    } else {
        _printerPopUp->addItemsWithTitles(_printers);
        _printerPopUp->setEnabled(true);
        okButton()->setEnabled(true);
        auto it = std::find(_printers.begin(), _printers.end(), info.printerName());
        _printerPopUp->selectItemAtIndex(it == _printers.end() ? 0 : long(it - _printers.begin()));
    }
    _copiesField->setStringValue(std::to_string(info.copies()));
    _summaryField->setStringValue(info.summary());
}

bool HXPrintPanel::readControls(HXPrintInfo& info, std::string& problem)
{
    long index = _printerPopUp->indexOfSelectedItem();
    if (_printers.empty() || index < 0 || size_t(index) >= _printers.size()) {
        problem = "No printer is set up. Add one in the desktop's printer settings.";
        return false;
    }
    auto copies = HXParseTypedNumber(_copiesField->stringValue());
    if (!copies || *copies != std::floor(*copies) || *copies < 1 || *copies > HXPrintInfo::kMaximumCopies) {
        problem = "The number of copies must be a whole number from 1 to "
            + std::to_string(HXPrintInfo::kMaximumCopies) + ".";
        return false;
    }
    info.setPrinterName(_printers[size_t(index)]);
    info.setCopies(int(*copies));
    return true;
}
