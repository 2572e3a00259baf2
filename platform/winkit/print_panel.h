#pragma once
// The panels of printing. HXPrintingPanel is what they share: a panel that shows a print info, is run
// modally or as a sheet, and takes the user's choices back into its print info when OK is pressed and
// every value is acceptable (otherwise an alert says what is wrong and the panel stays). HXPrintPanel
// asks where to print and how many copies; HXPageLayout (page_layout.h) asks for the paper, its
// orientation and the scale.
#include "platform/winkit/print_info.h"
#include "platform/winkit/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HXButton;
class HXPopUpButton;
class HXTextField;

class HXPrintingPanel : public HXPanel {
public:
    ~HXPrintingPanel() override;

    // Shows `info` and waits for OK or Cancel: HXModalResponseOK or HXModalResponseCancel. After OK the
    // choices are in printInfo(). Nobody there to answer (HXUnattendedAlerts): Cancel at once.
    long runModalWithPrintInfo(const HXPrintInfo& info);
    // The same as a sheet on `window` (modally when there is none); `handler` gets the answer.
    void beginSheetWithPrintInfo(
        const HXPrintInfo& info, const std::shared_ptr<HXWindow>& window, std::function<void(long)> handler);
    const HXPrintInfo& printInfo() const { return _info; }
    bool isRunning() const { return _running; }

    // The buttons. ok takes the choices and closes the panel when they are acceptable.
    void ok(HXObject* sender = nullptr);
    void cancel(HXObject* sender = nullptr);
    std::shared_ptr<HXButton> okButton();
    std::shared_ptr<HXButton> cancelButton();

    // Tests (and scripted runs) answer the panels from here once one shows.
    static void setPanelDidAppearHandler(std::function<void(HXPrintingPanel&)> handler);

protected:
    HXPrintingPanel(const std::string& title, const std::string& okTitle, int rows);
    // Makes the panel's controls (placed with addRow), then fills them from the print info.
    virtual void buildControls() = 0;
    virtual void showPrintInfo() = 0;
    // Reads the controls into `info`; false, with what is wrong in `problem`, when a value cannot be taken.
    virtual bool readControls(HXPrintInfo& info, std::string& problem) = 0;
    // Puts a labelled control on row `row` (0 at the top).
    void addRow(int row, const std::string& label, const std::shared_ptr<HXView>& control, double width);
    HXPrintInfo& editedPrintInfo() { return _info; }
    void build();

private:
    void prepare(const HXPrintInfo& info);
    void announce();
    void finish(long code);

    std::string _okTitle;
    int _rows;
    HXPrintInfo _info;
    bool _built = false;
    bool _running = false;
    bool _asSheet = false;
    std::shared_ptr<HXButton> _okButton;
    std::shared_ptr<HXButton> _cancelButton;
};

// Where to print and how many copies.
class HXPrintPanel : public HXPrintingPanel {
public:
    HXPrintPanel();
    static std::shared_ptr<HXPrintPanel> printPanel();

    std::shared_ptr<HXPopUpButton> printerPopUp();
    std::shared_ptr<HXTextField> copiesField();
    // The paper, orientation and scale the page will be printed with.
    std::shared_ptr<HXTextField> summaryField();

protected:
    void buildControls() override;
    void showPrintInfo() override;
    bool readControls(HXPrintInfo& info, std::string& problem) override;

private:
    std::vector<std::string> _printers;
    std::shared_ptr<HXPopUpButton> _printerPopUp;
    std::shared_ptr<HXTextField> _copiesField;
    std::shared_ptr<HXTextField> _summaryField;
};

// A number typed by the user: digits with an optional fraction, spaces and one trailing "%" allowed.
// Nothing when the text is not such a number.
std::optional<double> HXParseTypedNumber(const std::string& text);
