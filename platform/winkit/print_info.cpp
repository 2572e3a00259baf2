#include "platform/winkit/print_info.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The widest margin the paper cannot be printed on, whichever way the page lies.
double hardwareMargin(const HXPrinterPaper& paper)
{
    return std::max({ paper.leftMargin, paper.rightMargin, paper.topMargin, paper.bottomMargin, 0.0 });
}

std::optional<HXPrintInfo>& sharedInfo()
{
    static std::optional<HXPrintInfo> info;
    return info;
}

} // namespace

HXPrintInfo::HXPrintInfo()
{
    setPaper(HXPrinter::localePaper());
}

HXPrintInfo& HXPrintInfo::sharedPrintInfo()
{
    auto& info = sharedInfo();
    if (!info) {
        info.emplace();
        std::string printer = HXPrinter::defaultPrinterName();
        info->setPrinterName(printer);
        auto papers = HXPrinter::papers(printer);
        if (!papers.empty())
            info->setPaper(papers.front());
    }
    return *info;
}

void HXPrintInfo::setSharedPrintInfo(const HXPrintInfo& info)
{
    sharedInfo() = info;
}

void HXPrintInfo::setPaper(const HXPrinterPaper& paper)
{
    _paper = paper;
    setMargins(_leftMargin, _rightMargin, _topMargin, _bottomMargin);
}

HXSize HXPrintInfo::paperSize() const
{
    HXSize size = _paper.size;
    if (_orientation == HXLandscapeOrientation)
        std::swap(size.width, size.height);
    return size;
}

void HXPrintInfo::setMargins(double left, double right, double top, double bottom)
{
    double least = hardwareMargin(_paper);
    auto clean = [least](double m) { return std::isfinite(m) ? std::max(m, least) : least; };
    _leftMargin = clean(left);
    _rightMargin = clean(right);
    _topMargin = clean(top);
    _bottomMargin = clean(bottom);
}

HXRect HXPrintInfo::imageablePageBounds() const
{
    HXSize page = paperSize();
    double width = std::max(0.0, page.width - _leftMargin - _rightMargin);
    double height = std::max(0.0, page.height - _topMargin - _bottomMargin);
    return HXMakeRect(std::min(_leftMargin, page.width), std::min(_bottomMargin, page.height), width, height);
}

std::string HXPrintInfo::summary() const
{
    std::string text = _paper.displayName.empty() ? _paper.name : _paper.displayName;
    text += _orientation == HXLandscapeOrientation ? ", landscape, " : ", portrait, ";
    text += std::to_string(long(std::lround(_scalingFactor * 100))) + " %";
    return text;
}
