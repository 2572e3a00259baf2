#include "platform/winkit/page_layout.h"

#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kAnyPrinter = "Any Printer";

} // namespace

HXPageLayout::HXPageLayout()
    : HXPrintingPanel("Page Setup", "OK", 4)
{
    setActionHandler("_printerChosen:", [this](HXObject*) { printerChosen(); });
}

std::shared_ptr<HXPageLayout> HXPageLayout::pageLayout()
{
    auto panel = std::make_shared<HXPageLayout>();
    panel->build();
    return panel;
}

std::shared_ptr<HXPopUpButton> HXPageLayout::printerPopUp()
{
    build();
    return _printerPopUp;
}

std::shared_ptr<HXPopUpButton> HXPageLayout::paperPopUp()
{
    build();
    return _paperPopUp;
}

std::shared_ptr<HXPopUpButton> HXPageLayout::orientationPopUp()
{
    build();
    return _orientationPopUp;
}

std::shared_ptr<HXTextField> HXPageLayout::scaleField()
{
    build();
    return _scaleField;
}

void HXPageLayout::buildControls()
{
    _printerPopUp = std::make_shared<HXPopUpButton>();
    _printerPopUp->setTarget(std::static_pointer_cast<HXObject>(shared_from_this()));
    _printerPopUp->setAction("_printerChosen:");
    _paperPopUp = std::make_shared<HXPopUpButton>();
    _orientationPopUp = std::make_shared<HXPopUpButton>();
    _orientationPopUp->addItemsWithTitles({ "Portrait", "Landscape" });
    _scaleField = std::make_shared<HXTextField>();
    addRow(0, "Format for:", _printerPopUp, 280);
    addRow(1, "Paper Size:", _paperPopUp, 280);
    addRow(2, "Orientation:", _orientationPopUp, 140);
    addRow(3, "Scale (%):", _scaleField, 60);
    setInitialFirstResponder(_scaleField);
}

void HXPageLayout::showPrintInfo()
{
    const HXPrintInfo& info = printInfo();
    _printers = { "" };
    for (const auto& name : HXPrinter::printerNames())
        _printers.push_back(name);
    // A printer the print info names but the scheduler no longer has is laid out for as any printer.
    auto it = std::find(_printers.begin(), _printers.end(), info.printerName());
    size_t chosen = it == _printers.end() ? 0 : size_t(it - _printers.begin());
    _printerPopUp->removeAllItems();
    for (const auto& name : _printers)
        _printerPopUp->addItemWithTitle(name.empty() ? kAnyPrinter : name);
    _printerPopUp->selectItemAtIndex(long(chosen));
    fillPapers(_printers[chosen], info.paperName());
    _orientationPopUp->selectItemAtIndex(info.orientation() == HXLandscapeOrientation ? 1 : 0);
    _scaleField->setStringValue(std::to_string(long(std::lround(info.scalingFactor() * 100))));
}

void HXPageLayout::printerChosen()
{
    long index = _printerPopUp->indexOfSelectedItem();
    if (index < 0 || size_t(index) >= _printers.size())
        return;
    long paper = _paperPopUp->indexOfSelectedItem();
    std::string keep = paper >= 0 && size_t(paper) < _papers.size() ? _papers[size_t(paper)].name : std::string();
    fillPapers(_printers[size_t(index)], keep);
}

void HXPageLayout::fillPapers(const std::string& printer, const std::string& keepPaper)
{
    _papers = printer.empty() ? std::vector<HXPrinterPaper>() : HXPrinter::papers(printer);
    if (_papers.empty())
        _papers = HXPrinter::standardPapers();
    _paperPopUp->removeAllItems();
    for (const auto& paper : _papers)
        _paperPopUp->addItemWithTitle(paper.displayName);
    auto it = std::find_if(
        _papers.begin(), _papers.end(), [&](const HXPrinterPaper& p) { return p.name == keepPaper; });
    _paperPopUp->selectItemAtIndex(it == _papers.end() ? 0 : long(it - _papers.begin()));
}

bool HXPageLayout::readControls(HXPrintInfo& info, std::string& problem)
{
    auto percent = HXParseTypedNumber(_scaleField->stringValue());
    double lowest = HXPrintInfo::kMinimumScale * 100, highest = HXPrintInfo::kMaximumScale * 100;
    if (!percent || *percent < lowest || *percent > highest) {
        problem = "The scale must be a number from " + std::to_string(long(lowest)) + " to "
            + std::to_string(long(highest)) + " percent.";
        return false;
    }
    long printer = _printerPopUp->indexOfSelectedItem();
    long paper = _paperPopUp->indexOfSelectedItem();
    if (printer >= 0 && size_t(printer) < _printers.size())
        info.setPrinterName(_printers[size_t(printer)]);
    if (paper >= 0 && size_t(paper) < _papers.size())
        info.setPaper(_papers[size_t(paper)]);
    info.setOrientation(_orientationPopUp->indexOfSelectedItem() == 1 ? HXLandscapeOrientation : HXPortraitOrientation);
    info.setScalingFactor(*percent / 100);
    return true;
}
