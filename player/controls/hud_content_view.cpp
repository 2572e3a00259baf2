#include "player/controls/hud_content_view.h"

#include "player/controls/hud_window.h"
#include "platform/drawing/attributed_string.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "platform/winkit/button.h"
#include "platform/winkit/window.h"

#include <algorithm>

namespace {

// A close button without its artwork keeps a size that can still be clicked.
constexpr HXSize kFallbackCloseButtonSize { 13, 13 };

std::shared_ptr<HXImage> closeImage(unsigned styleMask)
{
    return HXImage::imageNamed(
        styleMask & HUDUtilityWindowMask ? "hud_inspectortitlebar-close" : "hud_titlebar-close");
}

} // namespace

HUDContentView::HUDContentView(HXRect frame, unsigned styleMask)
    : HXView(frame)
    , _styleMask(styleMask)
{
    _closeButton = std::make_shared<HXButton>(HXRect { { 0, 0 }, kFallbackCloseButtonSize });
    _closeButton->setButtonType(HXMomentaryChangeButton);
    _closeButton->setBordered(false);
    _closeButton->setAction(HXSelector("closeButtonPressed:"));
    setActionHandler(
        HXSelector("closeButtonPressed:"), [this](HXObject* sender) { closeButtonPressed(sender); });
    setStyleMask(styleMask);
    setNeedsDisplay(true);
}

std::shared_ptr<HUDContentView> HUDContentView::initWithFrame(HXRect frame, unsigned styleMask)
{
    auto view = std::make_shared<HUDContentView>(frame, styleMask);
    view->addCloseButton();
    return view;
}

void HUDContentView::addCloseButton()
{
    if (_closeButton->superview().get() == this)
        return;
    addSubview(_closeButton);
    _closeButton->setTarget(shared_from_this());
}

void HUDContentView::setDividedSubViews(bool flag)
{
    _divideSubviews = flag;
    setNeedsDisplay(true);
}

void HUDContentView::setBackgroundOpacity(float opacity)
{
    _opacity = opacity;
    setNeedsDisplay(true);
}

void HUDContentView::setStyleMask(unsigned styleMask)
{
    _styleMask = styleMask;
    auto image = closeImage(styleMask);
    _closeButton->setImage(image);
    _closeButton->setFrameSize(image && image->size().width > 0 ? image->size() : kFallbackCloseButtonSize);
    placeCloseButton();
}

void HUDContentView::closeButtonPressed(HXObject* sender)
{
    auto w = window();
    if (!w)
        return;
    // A heads-up panel closes by its own rule.
    if (auto* hud = dynamic_cast<HUDWindow*>(w.get()))
        hud->performClose(sender);
    else
        w->performClose(sender);
}

void HUDContentView::viewDidMoveToWindow()
{
    HXView::viewDidMoveToWindow();
    addCloseButton();
}

void HUDContentView::placeCloseButton()
{
    _closeButton->setFrame(closeButtonFrame(bounds(), _closeButton->frame().size, _styleMask));
}

HXRect HUDContentView::contentRect() const
{
    HXRect r = bounds();
    r.size.height = std::max(0.0, r.size.height - titleBarHeight(_styleMask));
    return r;
}

HXRect HUDContentView::closeButtonFrame(HXRect bounds, HXSize buttonSize, unsigned styleMask)
{
    // 2 points below the top with the inspector bar, 3 with the regular one.
    double below = styleMask & HUDUtilityWindowMask ? 2 : 3;
    return { { bounds.origin.x + 3, bounds.origin.y + bounds.size.height - buttonSize.height - below },
        buttonSize };
}

HXRect HUDContentView::titleRect(HXSize size, HXSize textSize, unsigned styleMask)
{
    double T = styleMask & HUDUtilityWindowMask ? 16 : 19;
    return { { size.width * 0.5 - textSize.width * 0.5, size.height - T + 2 }, textSize };
}

HXBezierPath HUDContentView::titleBarPath(HXSize size, unsigned styleMask)
{
    const double W = size.width, H = size.height;
    if (styleMask & HUDUtilityWindowMask)
        return HXBezierPath::bezierPathWithRect({ { 0, H - 14 }, { W, 14 } });
    const double B = 19;
    HXBezierPath path;
    path.moveToPoint({ 0, H - B });
    path.lineToPoint({ 0, H - 6 });
    path.curveToPoint({ 6, H }, { 0, H - 3 }, { 3, H });
    path.lineToPoint({ W - 6, H });
    path.curveToPoint({ W, H - 6 }, { W - 3, H }, { W, H - 3 });
    path.lineToPoint({ W, H - B });
    path.closePath();
    return path;
}

HXBezierPath HUDContentView::mainBoxPath(HXSize size, unsigned styleMask)
{
    const double W = size.width, H = size.height;
    if (styleMask & HUDUtilityWindowMask)
        return HXBezierPath::bezierPathWithRect({ { 0, 0 }, { W, std::max(0.0, H - 14) } });
    HXBezierPath path;
    path.moveToPoint({ 6, 0 });
    path.curveToPoint({ 0, 6 }, { 3, 0 }, { 0, 3 });
    path.lineToPoint({ 0, H - 19 });
    path.lineToPoint({ W, H - 19 });
    path.lineToPoint({ W, 6 });
    path.curveToPoint({ W - 6, 0 }, { W, 3 }, { W - 3, 0 });
    path.closePath();
    return path;
}

std::vector<HXRect> HUDContentView::dividerRects() const
{
    std::vector<HXRect> rects;
    if (!_divideSubviews)
        return rects;
    const double W = bounds().size.width;
    const double B = titleBarHeight(_styleMask);
    for (const auto& subview : subviews()) {
        if (dynamic_cast<HXButton*>(subview.get()))
            continue;
        double y = subview->frame().origin.y;
        if (y > B)
            rects.push_back({ { 14, y - 5 }, { W - 28, 1 } });
    }
    return rects;
}

void HUDContentView::drawRect(HXRect)
{
    const HXSize size = bounds().size;
    HXColor::clearColor().setFill();
    HXBezierPath::fillRect(bounds());

    auto w = window();
    bool main = w && w->isMainWindow();
    (main ? HXColor::colorWithCalibratedWhite(48.0 / 255, 0.85)
          : HXColor::colorWithCalibratedWhite(64.0 / 255, 0.75))
        .setFill();
    titleBarPath(size, _styleMask).fill();
    HXColor::colorWithCalibratedWhite(31.0 / 255, _opacity).setFill();
    mainBoxPath(size, _styleMask).fill();

    if (w && !w->title().empty()) {
        HXStringAttributes attributes;
        attributes.font = HXFont::systemFontOfSize(11);
        attributes.foregroundColor = HXColor::whiteColor();
        attributes.paragraphStyle = HXParagraphStyle { HXCenterTextAlignment, HXLineBreakByTruncatingTail };
        attributes.shadow = HXShadow { { 0, -1 }, 1, std::nullopt };
        HXAttributedString title(w->title(), attributes);
        HXRect r = titleRect(size, title.size(), _styleMask);
        title.drawInRect(r);
    }

    // The dividers in a light tone of the panel.
    HXColor::colorWithCalibratedWhite(1.0, 0.15).setFill();
    for (const auto& r : dividerRects())
        HXBezierPath::fillRect(r);
    placeCloseButton();
}
