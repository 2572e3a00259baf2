#include "player/window/controllerless_window_controller.h"

#include "document/movie_document.h"
#include "player/window/movie_ui_window.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller_resizing.h"

#include "platform/winkit/screen.h"

#include <algorithm>

HXRect MVPRectForScaledWindow(
    const HXRect& current, const HXSize& size, const std::optional<HXScreen>& screen)
{
    HXRect result { { current.origin.x + (current.size.width - size.width) * 0.5,
                        current.origin.y + current.size.height - size.height },
        size };
    if (!screen)
        return result;
    std::optional<HXRect> area;
    HXRect visible = HXInsetRect(screen->visibleFrame(), 4, 4);
    HXRect whole = HXInsetRect(screen->frame(), 4, 4);
    if (HXContainsRect(visible, current))
        area = visible;
    else if (HXContainsRect(whole, current))
        area = whole;
    if (!area)
        return result;
    double& x = result.origin.x;
    double& y = result.origin.y;
    y = std::max(area->origin.y, y);
    if (y + size.height > HXMaxY(*area))
        y = HXMaxY(*area) - size.height;
    if (x + size.width > HXMaxX(*area))
        x = HXMaxX(*area) - size.width;
    x = std::max(area->origin.x, x);
    return result;
}

MVPNoneWindowController::MVPNoneWindowController()
    : MVPNoneWindowController(std::make_shared<MVPMovieUIWindow>(
        HXZeroRect, HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask))
{
}

MVPNoneWindowController::MVPNoneWindowController(const std::shared_ptr<HXWindow>& w)
    : MVPWindowController(w)
{
    auto view = std::make_shared<MVPMovieView>();
    view->setFillColor(HXColor::clearColor());
    view->setControllerVisible(false);
    view->setPreservesAspectRatio(false);
    // The window is hooked up to the controller on first use; until then it is set up directly.
    w->setReleasedWhenClosed(false);
    w->setContentView(view);
    // Keys go to the movie view: the controller itself is not a view the window could start with.
    w->setInitialFirstResponder(view);
    setMovieView(view);
    setShouldCloseDocument(true);
}

void MVPNoneWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    MVPWindowController::setDocument(document);
    syncToNewMovie();
}

void MVPNoneWindowController::syncToNewMovie()
{
    syncToChangeInMovieContent();
    if (auto view = movieView()) {
        view->setMovie(movie());
        if (auto doc = document())
            view->setUndoManager(doc->undoManager());
    }
}

void MVPNoneWindowController::syncToChangeInMovieContent()
{
    auto w = window();
    if (auto doc = movieDocument()) {
        HXRect content = w->contentRectForFrameRect(w->frame());
        HXSize size = doc->userSize();
        content.origin.y += content.size.height - size.height;
        content.size = size;
        w->setFrame(w->frameRectForContentRect(content), true);
    }
    synchronizeWindowTitleWithDocumentName();
}

void MVPNoneWindowController::setScale(const HXSize& factors, bool animate)
{
    auto doc = movieDocument();
    if (!doc)
        return;
    auto w = window();
    HXRect content = w->contentRectForFrameRect(w->frame());
    HXSize natural = doc->naturalSize();
    HXSize size = MVPScaledMovieSize(natural, factors);
    HXRect placed = MVPRectForScaledWindow(content, size, w->screen());
    doc->setUserSize(size);
    w->setFrame(w->frameRectForContentRect(placed), true, animate);
}

void MVPNoneWindowController::showWindow(HXObject* sender)
{
    if (shouldCascadeWindows() && !window()->isVisible())
        cascadeWindow();
    MVPWindowController::showWindow(sender);
}
