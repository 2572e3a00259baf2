#pragma once
// HXAlert: a message with an informative text and buttons, run as a modal panel or as a sheet on a window.
// The first button added answers HXAlertFirstButtonReturn (Return chooses it), the second
// HXAlertSecondButtonReturn, and so on; a button titled "Cancel" also answers Escape.
#include "platform/basekit/error.h"
#include "platform/winkit/control.h"
#include "platform/winkit/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

enum HXAlertStyle { HXWarningAlertStyle = 0, HXInformationalAlertStyle = 1, HXCriticalAlertStyle = 2 };

class HXAlert : public HXObject {
public:
    HXAlert();
    // An alert telling the error's description, failure reason and recovery suggestion, with one button per
    // recovery option (or "OK").
    static std::shared_ptr<HXAlert> alertWithError(const HXError& error);
    // The classic form: default (returns HXAlertDefaultReturn), alternate (HXAlertAlternateReturn) and other
    // (HXAlertOtherReturn) buttons; empty titles are left out, and an empty default is "OK".
    static std::shared_ptr<HXAlert> alertWithMessageText(const std::string& message, const std::string& defaultButton,
        const std::string& alternateButton, const std::string& otherButton, const std::string& informativeText);

    HXAlertStyle alertStyle() const { return _style; }
    void setAlertStyle(HXAlertStyle style) { _style = style; }
    const std::string& messageText() const { return _messageText; }
    void setMessageText(const std::string& text) { _messageText = text; }
    const std::string& informativeText() const { return _informativeText; }
    void setInformativeText(const std::string& text) { _informativeText = text; }

    // A view of the caller's shown between the texts and the buttons (settings an alert asks for).
    const std::shared_ptr<HXView>& accessoryView() const { return _accessoryView; }
    void setAccessoryView(std::shared_ptr<HXView> view) { _accessoryView = std::move(view); }
    // The picture beside the texts (none by default).
    const std::shared_ptr<HXImage>& icon() const { return _icon; }
    void setIcon(std::shared_ptr<HXImage> icon) { _icon = std::move(icon); }

    std::shared_ptr<HXButton> addButtonWithTitle(const std::string& title);
    const std::vector<std::shared_ptr<HXButton>>& buttons() const { return _buttons; }

    // The panel the alert shows in (made on first use). Showing the alert lays it out again for the texts
    // and buttons it has then; call layout after changing them while it is on screen.
    std::shared_ptr<HXPanel> window();
    void layout();

    long runModal();
    void beginSheetModalForWindow(const std::shared_ptr<HXWindow>& window, std::function<void(long returnCode)> handler);

    // Called when the alert is on screen (modal or as a sheet): tests and scripts answer it with this.
    static void setAlertDidAppearHandler(std::function<void(HXAlert&)> handler);
    // The alert on screen now, if any.
    static std::shared_ptr<HXAlert> currentAlert();
    // Ends the alert that shows as though its default (first) button were pressed, reported like an
    // unattended alert: a quit that nobody can attend does not wait for one shown before it began.
    void answerWithDefault();
    // Takes the alert off the screen without an answer (its owner went): runModal returns
    // HXModalResponseAbort, a sheet's handler gets it too.
    void dismiss();

private:
    void buttonPressed(long code);
    // Unattended: notes the alert and answers the default button's code.
    long answerUnattended();
    std::string reportedText() const;

    HXAlertStyle _style = HXWarningAlertStyle;
    std::string _messageText;
    std::string _informativeText;
    std::shared_ptr<HXView> _accessoryView;
    std::shared_ptr<HXImage> _icon;
    std::vector<std::shared_ptr<HXButton>> _buttons;
    std::vector<long> _codes;
    bool _classicCodes = false;
    std::shared_ptr<HXPanel> _panel;
    bool _asSheet = false;
};

// While one of these is alive nobody is there to answer (a script request runs, a signal asked the program
// to quit without a display): an alert that would be shown answers itself at once with its default (first)
// button, and the innermost scope's `report` learns the alert's message and the button's title. Save panels
// are cancelled the same way.
class HXUnattendedAlerts {
public:
    using Report = std::function<void(const std::string& message, const std::string& answer)>;
    explicit HXUnattendedAlerts(Report report);
    ~HXUnattendedAlerts();
    HXUnattendedAlerts(const HXUnattendedAlerts&) = delete;
    HXUnattendedAlerts& operator=(const HXUnattendedAlerts&) = delete;

    static bool isActive();
    // Tells the innermost scope that `message` was answered with `answer`.
    static void noteAnswered(const std::string& message, const std::string& answer);

private:
    Report _report;
    HXUnattendedAlerts* _outer;
};

// Classic alert panels: 1 (default), 0 (alternate), -1 (other).
long HXRunAlertPanel(const std::string& title, const std::string& message, const std::string& defaultButton,
    const std::string& alternateButton = {}, const std::string& otherButton = {});
void HXBeginAlertSheet(const std::string& title, const std::string& defaultButton, const std::string& alternateButton,
    const std::string& otherButton, const std::shared_ptr<HXWindow>& docWindow, std::function<void(long returnCode)> handler,
    const std::string& message);
