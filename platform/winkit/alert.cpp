#include "platform/winkit/alert.h"

#include "platform/winkit/application.h"
#include "platform/winkit/image_view.h"
#include "platform/winkit/text_drawing.h"

#include <algorithm>

namespace {

constexpr double kAlertWidth = 420;
constexpr double kMargin = 20;
constexpr double kButtonHeight = 28;
constexpr double kIconSide = 64;

std::function<void(HXAlert&)>& didAppearHandler()
{
    static std::function<void(HXAlert&)> handler;
    return handler;
}

HXUnattendedAlerts*& innermostUnattended()
{
    static HXUnattendedAlerts* scope = nullptr;
    return scope;
}

std::weak_ptr<HXAlert>& currentAlertSlot()
{
    static std::weak_ptr<HXAlert> alert;
    return alert;
}

// The alert's texts.
class AlertTextView : public HXView {
public:
    AlertTextView(HXRect frame, std::string message, std::string informative)
        : HXView(frame)
        , _message(std::move(message))
        , _informative(std::move(informative))
    {
    }
    bool isFlipped() const override { return true; }
    void drawRect(HXRect) override
    {
        winkit::TextStyle bold;
        bold.bold = true;
        bold.wrap = true;
        double width = bounds().size.width;
        HXSize messageSize = winkit::measureText(_message, bold, width);
        winkit::drawText(_message, { { 0, 0 }, { width, messageSize.height } }, bold);
        winkit::TextStyle plain;
        plain.wrap = true;
        plain.size = 11;
        HXSize infoSize = winkit::measureText(_informative, plain, width);
        winkit::drawText(_informative, { { 0, messageSize.height + 8 }, { width, infoSize.height } }, plain);
    }

private:
    std::string _message;
    std::string _informative;
};

}  // namespace

HXAlert::HXAlert()
{
    setActionHandler("alertButtonPressed:", [this](HXObject* sender) {
        auto* button = dynamic_cast<HXButton*>(sender);
        if (!button)
            return;
        for (size_t i = 0; i < _buttons.size(); ++i) {
            if (_buttons[i].get() == button)
                buttonPressed(_codes[i]);
        }
    });
}

std::shared_ptr<HXAlert> HXAlert::alertWithError(const HXError& error)
{
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(error.localizedDescription());
    std::string info = error.localizedFailureReason();
    std::string suggestion = error.localizedRecoverySuggestion();
    if (!suggestion.empty())
        info = info.empty() ? suggestion : info + "\n" + suggestion;
    alert->setInformativeText(info);
    auto options = error.userInfo().find(HXLocalizedRecoveryOptionsErrorKey);
    bool added = false;
    if (options != error.userInfo().end() && options->second.isArray()) {
        for (const auto& option : options->second.arrayValue()) {
            if (option.isString()) {
                alert->addButtonWithTitle(option.stringValue());
                added = true;
            }
        }
    }
    if (!added)
        alert->addButtonWithTitle("OK");
    return alert;
}

std::shared_ptr<HXAlert> HXAlert::alertWithMessageText(const std::string& message, const std::string& defaultButton,
    const std::string& alternateButton, const std::string& otherButton, const std::string& informativeText)
{
    auto alert = std::make_shared<HXAlert>();
    alert->_classicCodes = true;
    alert->setMessageText(message);
    alert->setInformativeText(informativeText);
    alert->addButtonWithTitle(defaultButton.empty() ? "OK" : defaultButton);
    alert->_codes.back() = HXAlertDefaultReturn;
    if (!alternateButton.empty()) {
        alert->addButtonWithTitle(alternateButton);
        alert->_codes.back() = HXAlertAlternateReturn;
    }
    if (!otherButton.empty()) {
        alert->addButtonWithTitle(otherButton);
        alert->_codes.back() = HXAlertOtherReturn;
    }
    return alert;
}

std::shared_ptr<HXButton> HXAlert::addButtonWithTitle(const std::string& title)
{
    auto button = std::make_shared<HXButton>(HXZeroRect, title);
    button->setAction("alertButtonPressed:");
    button->setTarget(std::static_pointer_cast<HXObject>(shared_from_this()));
    if (_buttons.empty())
        button->setKeyEquivalent("\r");
    else if (title == "Cancel" || title == "Don't Save")
        button->setKeyEquivalent(title == "Cancel" ? "\x1b" : "");
    button->setTag(long(HXAlertFirstButtonReturn + long(_buttons.size())));
    _buttons.push_back(button);
    _codes.push_back(HXAlertFirstButtonReturn + long(_codes.size()));
    return button;
}

std::shared_ptr<HXPanel> HXAlert::window()
{
    if (!_panel) {
        _panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, kAlertWidth, 140), HXTitledWindowMask);
        _panel->setHidesOnDeactivate(false);
        _panel->setExcludedFromWindowsMenu(true);
        _panel->setLevel(HXModalPanelWindowLevel);
        layout();
    }
    return _panel;
}

void HXAlert::layout()
{
    if (!_panel)
        return;
    if (_buttons.empty())
        addButtonWithTitle("OK");
    // An icon stands at the top left, the texts to its right.
    const double iconSide = _icon ? kIconSide : 0;
    const double textLeft = kMargin + (_icon ? iconSide + kMargin : 0);
    double textWidth = kAlertWidth - textLeft - kMargin;
    winkit::TextStyle bold;
    bold.bold = true;
    bold.wrap = true;
    winkit::TextStyle plain;
    plain.wrap = true;
    plain.size = 11;
    double textHeight = winkit::measureText(_messageText, bold, textWidth).height + 8
        + winkit::measureText(_informativeText, plain, textWidth).height;
    // The accessory view stands under the texts, above the buttons.
    double accessoryHeight = _accessoryView ? _accessoryView->frame().size.height + 12 : 0;
    double height = kMargin + std::max(textHeight, iconSide) + accessoryHeight + 16 + kButtonHeight + kMargin;
    _panel->setContentSize({ kAlertWidth, height });
    auto content = std::make_shared<HXView>(HXRect { {}, { kAlertWidth, height } });
    content->addSubview(std::make_shared<AlertTextView>(
        HXRect { { textLeft, height - kMargin - textHeight }, { textWidth, textHeight } }, _messageText, _informativeText));
    if (_icon) {
        auto iconView = std::make_shared<HXImageView>(HXRect { { kMargin, height - kMargin - iconSide }, { iconSide, iconSide } });
        iconView->setImageScaling(HXImageScaleProportionallyUpOrDown);
        iconView->setImage(_icon);
        content->addSubview(iconView);
    }
    if (_accessoryView) {
        if (_accessoryView->superview())
            _accessoryView->removeFromSuperview();
        HXSize size = _accessoryView->frame().size;
        _accessoryView->setFrameOrigin({ textLeft, kMargin + kButtonHeight + 16 });
        _accessoryView->setFrameSize({ std::min(size.width, textWidth), size.height });
        content->addSubview(_accessoryView);
    }
    // Buttons from the right: the first (default) button rightmost.
    double x = kAlertWidth - kMargin;
    for (auto& button : _buttons) {
        double width = button->naturalWidth();
        x -= width;
        if (button->superview())
            button->removeFromSuperview();
        button->setFrame({ { x, kMargin }, { width, kButtonHeight } });
        content->addSubview(button);
        x -= 10;
    }
    _panel->setContentView(content);
}

void HXAlert::setAlertDidAppearHandler(std::function<void(HXAlert&)> handler) { didAppearHandler() = std::move(handler); }

std::shared_ptr<HXAlert> HXAlert::currentAlert() { return currentAlertSlot().lock(); }

HXUnattendedAlerts::HXUnattendedAlerts(Report report)
    : _report(std::move(report))
    , _outer(innermostUnattended())
{
    innermostUnattended() = this;
}

HXUnattendedAlerts::~HXUnattendedAlerts()
{
    innermostUnattended() = _outer;
}

bool HXUnattendedAlerts::isActive()
{
    return innermostUnattended() != nullptr;
}

void HXUnattendedAlerts::noteAnswered(const std::string& message, const std::string& answer)
{
    if (auto* scope = innermostUnattended(); scope && scope->_report)
        scope->_report(message, answer);
}

// What an alert said, for whoever answers it without seeing it: the message and the reason under it.
std::string HXAlert::reportedText() const
{
    return _informativeText.empty() ? _messageText : _messageText + " " + _informativeText;
}

long HXAlert::answerUnattended()
{
    if (_buttons.empty())
        addButtonWithTitle("OK");
    HXUnattendedAlerts::noteAnswered(reportedText(), _buttons.front()->title());
    return _codes.front();
}

void HXAlert::answerWithDefault()
{
    if (_buttons.empty() || !_panel || !_panel->isVisible())
        return;
    HXUnattendedAlerts::noteAnswered(reportedText(), _buttons.front()->title());
    buttonPressed(_codes.front());
}

void HXAlert::dismiss()
{
    if (!_panel || !_panel->isVisible())
        return;
    auto keep = shared_from_this();
    if (_asSheet) {
        if (auto parent = _panel->sheetParent())
            parent->endSheet(_panel, HXModalResponseAbort);
    } else {
        HXApplication::sharedApplication()->stopModalForWindow(_panel, HXModalResponseAbort);
    }
}

long HXAlert::runModal()
{
    if (HXUnattendedAlerts::isActive())
        return answerUnattended();
    auto self = std::static_pointer_cast<HXAlert>(shared_from_this());
    auto panel = window();
    layout();  // the texts or buttons may have changed since the panel was made
    panel->center();
    _asSheet = false;
    currentAlertSlot() = self;
    std::weak_ptr<HXAlert> weak = self;
    HXRunLoop::main().perform(
        [weak] {
            auto alert = weak.lock();
            if (alert && didAppearHandler())
                didAppearHandler()(*alert);
        },
        0, { HXModalPanelRunLoopMode });
    long code = HXApplication::sharedApplication()->runModalForWindow(panel);
    panel->orderOut();
    currentAlertSlot().reset();
    return code;
}

void HXAlert::beginSheetModalForWindow(const std::shared_ptr<HXWindow>& window, std::function<void(long)> handler)
{
    if (!window || HXUnattendedAlerts::isActive()) {
        long code = runModal();
        if (handler)
            handler(code);
        return;
    }
    auto self = std::static_pointer_cast<HXAlert>(shared_from_this());
    auto panel = this->window();
    layout();
    _asSheet = true;
    currentAlertSlot() = self;
    window->beginSheet(panel, [self, handler = std::move(handler)](long code) {
        currentAlertSlot().reset();
        if (handler)
            handler(code);
    });
    if (window->attachedSheet() != panel)
        return;  // the window already had a sheet
    std::weak_ptr<HXAlert> weak = self;
    HXRunLoop::main().perform(
        [weak] {
            auto alert = weak.lock();
            if (alert && didAppearHandler() && alert->_panel && alert->_panel->isVisible())
                didAppearHandler()(*alert);
        },
        0, { HXRunLoopCommonModes });
}

void HXAlert::buttonPressed(long code)
{
    if (!_panel)
        return;
    auto keep = shared_from_this();
    if (_asSheet) {
        if (auto parent = _panel->sheetParent())
            parent->endSheet(_panel, code);
    } else {
        HXApplication::sharedApplication()->stopModalWithCode(code);
    }
}

long HXRunAlertPanel(const std::string& title, const std::string& message, const std::string& defaultButton,
    const std::string& alternateButton, const std::string& otherButton)
{
    auto alert = HXAlert::alertWithMessageText(title, defaultButton, alternateButton, otherButton, message);
    return alert->runModal();
}

void HXBeginAlertSheet(const std::string& title, const std::string& defaultButton, const std::string& alternateButton,
    const std::string& otherButton, const std::shared_ptr<HXWindow>& docWindow, std::function<void(long)> handler,
    const std::string& message)
{
    auto alert = HXAlert::alertWithMessageText(title, defaultButton, alternateButton, otherButton, message);
    alert->beginSheetModalForWindow(docWindow, std::move(handler));
}
