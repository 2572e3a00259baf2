#include "export/publish_window.h"

#include "export/sheet_presentation.h"

#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/window.h"

#include <cmath>
#include <utility>

namespace {

constexpr const char* kInterfaceName = "PublishWindow";
constexpr double kToolbarHeight = 55;
constexpr unsigned kFlexibleBottomMargin = 8;

// The toolbar's band: the window's own colour of toolbars is not ours to borrow, so white.
class CCToolbarBackgroundView : public HXView {
public:
    using HXView::HXView;
    void drawRect(HXRect) override
    {
        HXColor::whiteColor().set();
        HXRectFill(bounds());
    }
};

// The highlight behind the chosen target's button: darker edges, a light body.
class CCToolbarHilightView : public HXView {
public:
    using HXView::HXView;
    void drawRect(HXRect) override
    {
        HXRect b = bounds();
        HXColor::colorWithCalibratedWhite(0, 0.25).set();
        HXRectFillUsingOperation(HXMakeRect(b.origin.x, b.origin.y, 1, b.size.height), HXCompositeSourceOver);
        HXRectFillUsingOperation(
            HXMakeRect(b.origin.x + b.size.width - 1, b.origin.y, 1, b.size.height), HXCompositeSourceOver);
        HXColor::colorWithCalibratedWhite(0, 0.1).set();
        HXRectFillUsingOperation(
            HXMakeRect(b.origin.x + 1, b.origin.y, b.size.width - 2, b.size.height), HXCompositeSourceOver);
    }
};

// Sets a view's frame and, with `display`, redraws where it was and where it is.
void improvedSetFrame(HXView& view, HXRect frame, bool display)
{
    HXRect old = view.frame();
    view.setFrame(frame);
    if (!display
        || (old.origin.x == frame.origin.x && old.origin.y == frame.origin.y
            && old.size.width == frame.size.width && old.size.height == frame.size.height))
        return;
    if (auto superview = view.superview())
        superview->setNeedsDisplayInRect(old);
    view.setNeedsDisplay(true);
}

} // namespace

void ViewController::postSharingEnabled(bool enabled)
{
    HXNotificationCenter::defaultCenter().postNotificationName(
        ShareButtonEnableStateNotification, this, { { "enabled", enabled } });
}

std::shared_ptr<ViewController> ParentingWindowController::childForInterfaceName(const std::string& name)
{
    if (auto cached = _children.find(name); cached != _children.end())
        return cached->second;
    HXInterfaceLoader::loadInterfaceNamed(name, shared_from_this());
    auto child = std::exchange(_child, nullptr);
    if (!child) {
        HXLog("childForInterfaceName:" + name + " -- interface file didn't set parent's _child member");
        return nullptr;
    }
    child->setParent(this);
    _children[name] = child;
    child->awakeFromInterface();
    return child;
}

const std::vector<std::string>& PublishWindow::tagToInterfaceMap()
{
    static const std::vector<std::string> map
        = { "ShareMail", "ShareCastworks", "ShareBluetooth", "ShareDiscwright", "ShareClipcraft" };
    return map;
}

PublishWindow::PublishWindow()
    : ParentingWindowController(kInterfaceName)
{
    if (!HXInterfaceLoader::hasInterface(kInterfaceName)) {
        HXInterfaceLoader::registerInterface(kInterfaceName, [](const std::shared_ptr<HXObject>& owner) {
            auto controller = std::dynamic_pointer_cast<PublishWindow>(owner);
            if (!controller)
                return std::vector<std::shared_ptr<HXObject>> {};
            controller->buildWindow();
            return std::vector<std::shared_ptr<HXObject>> { controller->_contentView->window() };
        });
    }
    setActionHandler("share:", [this](HXObject* s) { share(s); });
    setActionHandler("cancel:", [this](HXObject* s) { cancel(s); });
    setActionHandler("buttonAction:", [this](HXObject* s) { buttonAction(s); });
}

PublishWindow::~PublishWindow()
{
    if (_enableObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_enableObserver);
}

void PublishWindow::buildWindow()
{
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 480, 260), HXTitledWindowMask);
    auto content = sheet->contentView();
    auto self = shared_from_this();
    auto button = [&](const std::string& title, HXRect frame, const char* action, long tag) {
        auto b = std::make_shared<HXButton>(frame);
        b->setTitle(title);
        b->setTarget(self);
        b->setAction(action);
        b->setTag(tag);
        content->addSubview(b);
        return b;
    };
    _shareToMailButton = button("Mail", HXMakeRect(10, 210, 70, 45), "buttonAction:", 0);
    _shareToQuillonButton = button("Podcast", HXMakeRect(80, 210, 70, 45), "buttonAction:", 1);
    _shareToDiscwrightButton = button("Disc", HXMakeRect(150, 210, 70, 45), "buttonAction:", 3);
    _contentView = std::make_shared<HXView>(HXMakeRect(0, 50, 480, 160));
    content->addSubview(_contentView);
    button("Cancel", HXMakeRect(280, 12, 90, 28), "cancel:", 0);
    _shareButton = button("Share", HXMakeRect(380, 12, 90, 28), "share:", 0);
    setWindow(sheet);
}

void PublishWindow::windowDidLoad()
{
    _interfaceToButtonMap = { { "ShareMail", _shareToMailButton },
        { "ShareCastworks", _shareToQuillonButton }, { "ShareDiscwright", _shareToDiscwrightButton } };
    // A target whose pane this program does not have (disc burning) is shown but cannot be chosen.
    for (const auto& [name, button] : _interfaceToButtonMap)
        button->setEnabled(HXInterfaceLoader::hasInterface(name));
    auto content = window()->contentView();
    HXRect bounds = content->bounds();
    _toolbarHighlightView = std::make_shared<CCToolbarHilightView>(HXMakeRect(0, 0, 100, 100));
    _toolbarHighlightView->setAutoresizingMask(kFlexibleBottomMargin);
    content->addSubview(_toolbarHighlightView, false, nullptr);
    HXRect band = HXIntegralRect(HXMakeRect(bounds.origin.x,
        bounds.origin.y + bounds.size.height - kToolbarHeight, bounds.size.width, kToolbarHeight));
    _toolbarBackgroundView = std::make_shared<CCToolbarBackgroundView>(band);
    _toolbarBackgroundView->setAutoresizingMask(kFlexibleBottomMargin);
    content->addSubview(_toolbarBackgroundView, false, nullptr);
    chooseInterfaceNamed("ShareMail");
}

std::shared_ptr<HXButton> PublishWindow::toolbarButton(long tag)
{
    window();
    for (auto* b : { &_shareToMailButton, &_shareToQuillonButton, &_shareToDiscwrightButton })
        if ((*b)->tag() == tag)
            return *b;
    return nullptr;
}

void PublishWindow::chooseInterfaceNamed(const std::string& name)
{
    auto pane = childForInterfaceName(name);
    if (!pane || !pane->view()) {
        // No pane for this target: the sheet stays with the pane it had, and Share is not offered for a
        // target that cannot build a job.
        return;
    }
    if (_enableObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_enableObserver);
    auto previous = _currentPane;
    _currentPane = pane;
    auto view = pane->view();
    auto sheet = window();
    if (view == sheet->contentView())
        return;
    _enableObserver = HXNotificationCenter::defaultCenter().addObserver(ShareButtonEnableStateNotification,
        nullptr, [this](const HXNotification& n) { sharingEnabled(n.userInfo(), n.object()); });
    pane->setMVMovie(_movie);

    double d = view->frame().size.height - _contentView->frame().size.height;
    HXRect frame = sheet->frame();
    frame.origin.y -= d;
    frame.size.height += d;
    view->setFrame(HXMakeRect(0, _contentView->frame().size.height - view->frame().size.height,
        view->frame().size.width, view->frame().size.height));
    if (previous && previous->view() && previous->view() != view)
        previous->view()->removeFromSuperview();
    _contentView->addSubview(view);
    sheet->setFrame(frame, true, true);

    if (auto button = _interfaceToButtonMap.find(name); button != _interfaceToButtonMap.end()) {
        HXRect content = sheet->contentView()->bounds();
        HXRect b = button->second->frame();
        improvedSetFrame(*_toolbarHighlightView,
            HXIntegralRect(HXMakeRect(b.origin.x, content.origin.y + content.size.height - kToolbarHeight,
                b.size.width, kToolbarHeight)),
            true);
    }
}

void PublishWindow::setMVMovie(const std::shared_ptr<MVMovie>& movie)
{
    _movie = movie;
    window();
    if (_currentPane)
        _currentPane->setMVMovie(movie);
}

void PublishWindow::modalForWindow(const std::shared_ptr<HXWindow>& window,
    std::function<void(const std::shared_ptr<HXWindow>& sheet, long returnCode)> didEnd)
{
    _didEnd = std::move(didEnd);
    MVPBeginSheet(this->window(), window);
}

void PublishWindow::endSheet(long returnCode)
{
    auto sheet = window();
    MVPEndSheet(sheet, returnCode);
    if (auto ended = std::exchange(_didEnd, nullptr))
        ended(sheet, returnCode);
}

void PublishWindow::share(HXObject*)
{
    endSheet(1);
}

void PublishWindow::cancel(HXObject*)
{
    endSheet(0);
}

HXPropertyList::Dictionary PublishWindow::parameters()
{
    return _currentPane ? _currentPane->parameters() : HXPropertyList::Dictionary {};
}

void PublishWindow::buttonAction(HXObject* sender)
{
    auto* control = dynamic_cast<HXControl*>(sender);
    long tag = control ? control->tag() : -1;
    if (tag >= 0 && size_t(tag) < tagToInterfaceMap().size())
        chooseInterfaceNamed(tagToInterfaceMap()[size_t(tag)]);
}

void PublishWindow::sharingEnabled(const HXPropertyList::Dictionary& userInfo, const void* object)
{
    if (!_currentPane || object != _currentPane.get())
        return;
    auto enabled = userInfo.find("enabled");
    shareButton()->setEnabled(enabled != userInfo.end() && enabled->second.boolValue());
}
