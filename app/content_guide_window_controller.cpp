#include "app/content_guide_window_controller.h"

#include "app/application_delegate.h"
#include "document/movie_document.h"
#include "player/window/movie_ui_window.h"
#include "player/window/movie_view.h"

#include "platform/basekit/user_defaults.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/screen.h"

#include <algorithm>

void MVPContentGuideWindowController::installDocumentWindowMaker()
{
    MVPDocumentPlayerWindow::setMaker(
        MVPPlayerWindowKind::Featured, [] { return std::make_shared<MVPContentGuideWindowController>(); });
}

MVPContentGuideWindowController::MVPContentGuideWindowController()
    : MVPContentGuideWindowController(std::make_shared<MVPMovieUIWindow>(HXRect { { 0, 0 }, { 1, 1 } },
        HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask))
{
}

MVPContentGuideWindowController::MVPContentGuideWindowController(const std::shared_ptr<HXWindow>& w)
    : MVPWindowController(w)
{
    w->setReleasedWhenClosed(false);
    w->setContentMinSize({ minimumMovieSide, minimumMovieSide });
    auto view = std::make_shared<MVPMovieView>();
    view->setFillColor(HXColor::clearColor());
    view->setControllerVisible(false);
    view->setPreservesAspectRatio(true);
    w->setContentView(view);
    w->setInitialFirstResponder(view);
    setMovieView(view);
    setShouldCloseDocument(true);
    // The window is placed by showWindow, from where it was last closed; the toolkit's cascade would move it.
    setShouldCascadeWindows(false);
    _willCloseObserver = HXNotificationCenter::defaultCenter().addObserver(HXWindowWillCloseNotification,
        w.get(), [this](const HXNotification& notification) { windowWillGoAway(notification); });
}

MVPContentGuideWindowController::~MVPContentGuideWindowController()
{
    HXNotificationCenter::defaultCenter().removeObserver(_willCloseObserver);
}

void MVPContentGuideWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    MVPWindowController::setDocument(document);
    // A document's window gains the menu bar: the minimum is of the content below it.
    if (auto w = window())
        w->setContentMinSize({ minimumMovieSide, minimumMovieSide });
    syncToNewMovie();
}

void MVPContentGuideWindowController::syncToNewMovie()
{
    if (auto view = movieView()) {
        view->setMovie(movie());
        if (auto doc = document())
            view->setUndoManager(doc->undoManager());
    }
    syncToChangeInMovieContent();
}

void MVPContentGuideWindowController::syncToChangeInMovieContent()
{
    auto doc = movieDocument();
    auto w = window();
    if (!doc || !doc->movie() || !w)
        return;
    HXRect content = w->contentRectForFrameRect(w->frame());
    HXSize natural = doc->naturalSize();
    HXSize size;
    if (natural.width < minimumMovieSide || natural.height < minimumMovieSide) {
        // Too small to follow: the window keeps its size, but never stays below its minimum (a window
        // still at its first 1 × 1 would be all but invisible).
        HXSize minimum = w->contentMinSize();
        if (content.size.width >= minimum.width && content.size.height >= minimum.height)
            return;
        size = { std::max(content.size.width, minimum.width), std::max(content.size.height, minimum.height) };
    } else {
        size = movieView() ? movieView()->convertSizeToView(natural, nullptr) : natural;
    }
    content.origin.y += content.size.height - size.height;
    content.size = size;
    w->setFrame(w->frameRectForContentRect(content), true);
    synchronizeWindowTitleWithDocumentName();
}

void MVPContentGuideWindowController::showWindow(HXObject* sender)
{
    auto w = window();
    if (w && !w->isVisible()) {
        std::string saved
            = HXUserDefaults::standardUserDefaults().stringForKey(MVPContentGuideWindowLocation);
        bool placed = false;
        if (!saved.empty()) {
            HXRect frame = HXRectFromString(saved);
            w->setFrameTopLeftPoint({ frame.origin.x, frame.origin.y + frame.size.height });
            w->setFrame(w->constrainFrameRect(w->frame(), w->screen()), true);
            // A place saved on a screen that is gone does not count: the window would open out of sight.
            for (const auto& screen : HXScreen::screens())
                placed = placed || HXIntersectsRect(screen.frame(), w->frame());
        }
        auto screen = HXScreen::mainScreen();
        if (!placed && screen) {
            HXRect visible = screen->visibleFrame();
            HXPoint topLeft = w->cascadeTopLeftFromPoint({ visible.origin.x, HXMaxY(visible) });
            w->setFrameTopLeftPoint(topLeft);
        }
    }
    // The player window's own placement does not apply here.
    HXWindowController::showWindow(sender);
}

void MVPContentGuideWindowController::windowWillGoAway(const HXNotification&)
{
    if (auto w = window())
        saveFrameOfWindow(*w);
}

std::shared_ptr<HXWindow> MVPContentGuideWindowController::contentGuideWindow()
{
    auto delegate = MVPApplicationDelegate::sharedDelegate();
    if (!delegate)
        return nullptr;
    auto guide = delegate->contentGuide();
    if (!guide || guide->windowControllers().empty())
        return nullptr;
    auto& first = guide->windowControllers().front();
    return first->isWindowLoaded() ? first->window() : nullptr;
}

void MVPContentGuideWindowController::saveWindowState()
{
    if (auto w = contentGuideWindow())
        saveFrameOfWindow(*w);
}

void MVPContentGuideWindowController::saveFrameOfWindow(const HXWindow& window)
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(HXStringFromRect(window.frame())), MVPContentGuideWindowLocation);
}
