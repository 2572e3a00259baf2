#include "fullscreen/presentation_screen_view.h"

#include "fullscreen/presentation_manager.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"

#include <algorithm>

std::optional<HXAffineTransform> FSPresentationScreenViewTransform(
    const std::vector<HXRect>& frames, const HXRect& bounds)
{
    if (frames.empty())
        return std::nullopt;
    HXRect area = HXInsetRect(bounds, 8, 8);
    HXRect all = frames.front();
    for (const auto& frame : frames)
        all = HXUnionRect(all, frame);
    if (all.size.width <= 0 || all.size.height <= 0 || area.size.width <= 0 || area.size.height <= 0)
        return std::nullopt;
    double s = std::min(area.size.width / all.size.width, area.size.height / all.size.height);
    HXAffineTransform transform;
    transform.scaleBy(s);
    transform.translateXBy((bounds.size.width - s * all.size.width) / (2 * s) - all.origin.x,
        (bounds.size.height - s * all.size.height) / (2 * s) - all.origin.y);
    return transform;
}

FSPresentationScreenView::FSPresentationScreenView(HXRect frame)
    : HXView(frame)
{
}

void FSPresentationScreenView::setScreens(std::vector<HXScreen> screens)
{
    _screens = std::move(screens);
    _affineTransform.reset();
    setNeedsDisplay(true);
}

void FSPresentationScreenView::setSelectedScreen(const std::optional<HXScreen>& screen)
{
    _selectedScreen = screen;
    setNeedsDisplay(true);
}

void FSPresentationScreenView::updateScreens()
{
    _screens = FSPresentationManager::fsPresentationManager().availableScreens();
    if (!_selectedScreen || std::find(_screens.begin(), _screens.end(), *_selectedScreen) == _screens.end())
        _selectedScreen = _screens.empty() ? std::nullopt : std::optional<HXScreen>(_screens.front());
    _highlightedScreen.reset();
    _affineTransform.reset();
    setNeedsDisplay(true);
}

HXColor FSPresentationScreenView::screenBackgroundColor()
{
    return HXColor::colorWithCalibratedRed(0.32, 0.54, 0.8, 1.0);
}

void FSPresentationScreenView::ensureTransform()
{
    if (_affineTransform)
        return;
    std::vector<HXRect> frames;
    for (const auto& screen : _screens)
        frames.push_back(screen.frame());
    _affineTransform = FSPresentationScreenViewTransform(frames, bounds());
}

std::optional<HXScreen> FSPresentationScreenView::screenAtPoint(HXPoint point)
{
    ensureTransform();
    if (!_affineTransform)
        return std::nullopt;
    HXAffineTransform inverse = *_affineTransform;
    if (!inverse.invert())
        return std::nullopt;
    HXPoint onScreen = inverse.transformPoint(point);
    for (const auto& screen : _screens) {
        if (HXPointInRect(onScreen, screen.frame()))
            return screen;
    }
    return std::nullopt;
}

void FSPresentationScreenView::drawRect(HXRect)
{
    ensureTransform();
    HXColor::whiteColor().setFill();
    HXRectFill(bounds());
    HXColor::colorWithCalibratedWhite(0.5, 1).setFill();
    HXFrameRect(bounds());
    // Without screens (or with nothing of size) only the empty background shows.
    if (!_affineTransform)
        return;
    for (size_t i = 0; i < _screens.size(); ++i) {
        const HXScreen& screen = _screens[i];
        HXRect frame = screen.frame();
        HXPoint origin = _affineTransform->transformPoint(frame.origin);
        HXSize size = _affineTransform->transformSize(frame.size);
        HXRect r = HXIntegralRect({ origin, size });
        HXColor fill = screenBackgroundColor();
        if (_highlightedScreen == screen)
            fill = fill.blendedColorWithFraction(0.25, HXColor::blackColor());
        fill.setFill();
        HXRectFill(r);
        HXColor::blackColor().setFill();
        HXFrameRect(r);
        if (i == 0) {
            HXColor::whiteColor().setFill();
            HXRectFill(HXInsetRect({ { r.origin.x, r.origin.y + r.size.height - 5 }, { r.size.width, 5 } }, 1, 1));
        }
        if (_selectedScreen == screen) {
            HXColor::alternateSelectedControlColor().setFill();
            HXFrameRectWithWidth(HXInsetRect(r, 1, 1), 2);
            if (auto logo = HXImage::imageNamed("smallMLogo.tif")) {
                HXSize s = logo->size();
                logo->compositeToPoint({ r.origin.x + (r.size.width - s.width) / 2,
                                           r.origin.y + (r.size.height - s.height) / 2 },
                    HXCompositeSourceOver);
            }
        }
    }
}

void FSPresentationScreenView::mouseDown(const HXEvent& event)
{
    _highlightedScreen = screenAtPoint(convertPointFromView(event.locationInWindow(), nullptr));
    setNeedsDisplay(true);
}

void FSPresentationScreenView::mouseDragged(const HXEvent& event)
{
    mouseDown(event);
}

void FSPresentationScreenView::mouseUp(const HXEvent& event)
{
    _highlightedScreen.reset();
    auto screen = screenAtPoint(convertPointFromView(event.locationInWindow(), nullptr));
    if (screen) {
        _selectedScreen = screen;
        HXSelector selector = event.clickCount() == 2 ? _doubleAction : _action;
        if (selector && HXApplication::hasSharedApplication())
            HXApplication::sharedApplication()->sendAction(selector, target().get(), this);
    }
    setNeedsDisplay(true);
}
