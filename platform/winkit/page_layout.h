#pragma once
// HXPageLayout: the page set-up panel: the printer the page is laid out for (or any printer), the paper
// (the ones that printer takes), the orientation and the scale in percent.
#include "platform/winkit/print_panel.h"

class HXPageLayout : public HXPrintingPanel {
public:
    HXPageLayout();
    static std::shared_ptr<HXPageLayout> pageLayout();

    std::shared_ptr<HXPopUpButton> printerPopUp();
    std::shared_ptr<HXPopUpButton> paperPopUp();
    std::shared_ptr<HXPopUpButton> orientationPopUp();
    std::shared_ptr<HXTextField> scaleField();
    // The papers offered now (those of the printer chosen in the panel).
    const std::vector<HXPrinterPaper>& papers() const { return _papers; }

    // The printer chosen in the panel changed: its papers are offered, the paper shown kept if it has it.
    void printerChosen();

protected:
    void buildControls() override;
    void showPrintInfo() override;
    bool readControls(HXPrintInfo& info, std::string& problem) override;

private:
    void fillPapers(const std::string& printer, const std::string& keepPaper);

    std::vector<std::string> _printers; // "" (any printer) first
    std::vector<HXPrinterPaper> _papers;
    std::shared_ptr<HXPopUpButton> _printerPopUp;
    std::shared_ptr<HXPopUpButton> _paperPopUp;
    std::shared_ptr<HXPopUpButton> _orientationPopUp;
    std::shared_ptr<HXTextField> _scaleField;
};
