#pragma once
// The share sheet. ParentingWindowController loads each share pane from an interface of its own on first
// use and keeps it for the sheet's life; PublishWindow shows the panes under a toolbar of targets (mail,
// podcast server, ...), swaps the chosen one in and resizes the sheet to it. Share (1) and Cancel (0) end
// the sheet; the document then asks for the current pane's parameters and queues the job.
#include "export/view_controller.h"
#include "platform/winkit/window_controller.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class HXButton;
class HXView;

class ParentingWindowController : public HXWindowController {
public:
    using HXWindowController::HXWindowController;
    // The pane the interface `name` makes (made once, then kept); null when the interface does not set
    // `child`.
    std::shared_ptr<ViewController> childForInterfaceName(const std::string& name);
    // Set by a pane's interface: the pane it made.
    void setChild(std::shared_ptr<ViewController> child) { _child = std::move(child); }

private:
    std::shared_ptr<ViewController> _child;
    std::map<std::string, std::shared_ptr<ViewController>> _children;
};

class PublishWindow : public ParentingWindowController {
public:
    PublishWindow();
    ~PublishWindow() override;

    void setMVMovie(const std::shared_ptr<MVMovie>& movie);
    // Begins the sheet on `window`; `didEnd` gets the sheet's window and 1 (Share) or 0 (Cancel).
    void modalForWindow(const std::shared_ptr<HXWindow>& window,
        std::function<void(const std::shared_ptr<HXWindow>& sheet, long returnCode)> didEnd);
    void share(HXObject* sender);
    void cancel(HXObject* sender);
    // The current pane's parameters (empty without a pane).
    HXPropertyList::Dictionary parameters();
    // Toolbar buttons: shows the pane of the sender's tag.
    void buttonAction(HXObject* sender);
    void sharingEnabled(const HXPropertyList::Dictionary& userInfo, const void* object);
    std::shared_ptr<HXButton> shareButton() { return (void)window(), _shareButton; }
    std::shared_ptr<ViewController> currentPane() const { return _currentPane; }
    std::shared_ptr<HXButton> toolbarButton(long tag);

    // Interface names by toolbar tag.
    static const std::vector<std::string>& tagToInterfaceMap();

    void windowDidLoad() override;

private:
    void buildWindow();
    void chooseInterfaceNamed(const std::string& name);
    void endSheet(long returnCode);

    std::shared_ptr<HXView> _contentView;
    std::shared_ptr<HXButton> _shareToDiscwrightButton, _shareToMailButton, _shareToQuillonButton;
    std::shared_ptr<HXButton> _shareButton;
    std::map<std::string, std::shared_ptr<HXButton>> _interfaceToButtonMap;
    std::shared_ptr<HXView> _toolbarBackgroundView, _toolbarHighlightView;
    std::shared_ptr<ViewController> _currentPane;
    std::shared_ptr<MVMovie> _movie;
    size_t _enableObserver = 0;
    std::function<void(const std::shared_ptr<HXWindow>&, long)> _didEnd;
};
