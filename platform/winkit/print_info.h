#pragma once
// HXPrintInfo: how a document is printed, as a value: the printer, the paper and its orientation, the
// margins, the scale and the number of copies. The shared print info starts from the default printer and
// its default paper (the locale's paper when there is no printer); each document keeps a copy of its own,
// which the page set-up panel edits.
#include "platform/drawing/geometry.h"
#include "platform/winkit/printers.h"

#include <string>

enum HXPaperOrientation { HXPortraitOrientation = 0, HXLandscapeOrientation = 1 };

class HXPrintInfo {
public:
    // Portrait on the locale's paper, for the default printer, half-inch margins, 100 %, one copy.
    HXPrintInfo();
    // The print info new documents start from (asks the print scheduler on first use).
    static HXPrintInfo& sharedPrintInfo();
    static void setSharedPrintInfo(const HXPrintInfo& info);

    // "" prints to the default printer.
    const std::string& printerName() const { return _printerName; }
    void setPrinterName(const std::string& name) { _printerName = name; }

    const HXPrinterPaper& paper() const { return _paper; }
    // The paper's margins are raised to what the paper cannot be printed on.
    void setPaper(const HXPrinterPaper& paper);
    const std::string& paperName() const { return _paper.name; }
    // The size of the page as it lies: a landscape page is wider than high.
    HXSize paperSize() const;
    HXPaperOrientation orientation() const { return _orientation; }
    void setOrientation(HXPaperOrientation orientation) { _orientation = orientation; }

    // Margins in points, of the page as it lies. Never less than the printer's own.
    double leftMargin() const { return _leftMargin; }
    double rightMargin() const { return _rightMargin; }
    double topMargin() const { return _topMargin; }
    double bottomMargin() const { return _bottomMargin; }
    void setMargins(double left, double right, double top, double bottom);
    // The part of the page inside the margins (points, origin at the page's bottom left).
    HXRect imageablePageBounds() const;

    // 1.0 prints at the view's own size; from kMinimumScale to kMaximumScale.
    double scalingFactor() const { return _scalingFactor; }
    void setScalingFactor(double factor) { _scalingFactor = factor; }
    static constexpr double kMinimumScale = 0.01;
    static constexpr double kMaximumScale = 10.0;
    static bool isValidScalingFactor(double factor)
    {
        return factor >= kMinimumScale && factor <= kMaximumScale;
    }

    int copies() const { return _copies; }
    void setCopies(int copies) { _copies = copies; }
    static constexpr int kMaximumCopies = 999;
    static bool isValidCopies(long copies) { return copies >= 1 && copies <= kMaximumCopies; }

    bool isHorizontallyCentered() const { return _horizontallyCentered; }
    void setHorizontallyCentered(bool flag) { _horizontallyCentered = flag; }
    bool isVerticallyCentered() const { return _verticallyCentered; }
    void setVerticallyCentered(bool flag) { _verticallyCentered = flag; }

    // The paper, orientation and scale in words ("A4, portrait, 100 %").
    std::string summary() const;

private:
    std::string _printerName;
    HXPrinterPaper _paper;
    HXPaperOrientation _orientation = HXPortraitOrientation;
    double _leftMargin = 36, _rightMargin = 36, _topMargin = 36, _bottomMargin = 36;
    double _scalingFactor = 1.0;
    int _copies = 1;
    bool _horizontallyCentered = true;
    bool _verticallyCentered = true;
};
