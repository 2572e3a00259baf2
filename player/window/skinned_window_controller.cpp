#include "player/window/skinned_window_controller.h"

#include "document/movie_document.h"
#include "player/window/controllerless_window_controller.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller_resizing.h"
#include "player/window/skinned_window.h"

#include "platform/mvkit/skin_media.h"
#include "platform/mvkit/track.h"

MVPSkinWindowController::MVPSkinWindowController()
    : MVPSkinWindowController(
        std::make_shared<MVPSkinWindow>(HXZeroRect, HXClosableWindowMask | HXMiniaturizableWindowMask))
{
}

MVPSkinWindowController::MVPSkinWindowController(const std::shared_ptr<HXWindow>& w)
    : MVPWindowController(w)
{
    auto view = std::make_shared<MVPMovieView>();
    view->setFillColor(HXColor::clearColor());
    view->setControllerVisible(false);
    // The window is hooked up to the controller on first use; until then it is set up directly.
    w->setReleasedWhenClosed(false);
    w->setOpaque(false);
    w->setExcludedFromWindowsMenu(false);
    w->setHasShadow(true);
    w->setContentView(view);
    w->setInitialFirstResponder(view);
    setMovieView(view);
    setShouldCloseDocument(true);
}

std::shared_ptr<MVPSkinWindow> MVPSkinWindowController::skinWindow()
{
    return std::dynamic_pointer_cast<MVPSkinWindow>(window());
}

void MVPSkinWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    auto w = window();
    MVPWindowController::setDocument(document);
    // The shape is the whole window: no menu bar inside it.
    w->setStyleMask(w->styleMask() & ~HXMenuBarWindowMask);
    syncToNewMovie();
}

void MVPSkinWindowController::syncToNewMovie()
{
    if (auto view = movieView()) {
        view->setMovie(movie());
        if (auto doc = document())
            view->setUndoManager(doc->undoManager());
    }
    syncToChangeInMovieContent();
}

void MVPSkinWindowController::syncToChangeInMovieContent()
{
    auto w = skinWindow();
    auto doc = movieDocument();
    auto m = movie();
    std::optional<HXRegion> clip, drag;
    if (m)
        if (auto track = MVMovieLastTrackWithMediaCharacteristic(*m, MVMediaCharacteristicHasSkinData);
            track && track->media()) {
            clip = MVMediaCopySkinClipRegion(*track->media());
            drag = MVMediaCopySkinDragRegion(*track->media());
        }
    HXSize natural = doc ? doc->naturalSize() : HXSize {};
    w->setClipRegion(clip, drag, HXRect { {}, natural });
    if (auto view = movieView())
        view->applySkinClip();
    if (m && doc) {
        HXRect content = w->contentRectForFrameRect(w->frame());
        HXSize size = doc->userSize();
        content.origin.y += content.size.height - size.height;
        content.size = size;
        w->setFrame(w->frameRectForContentRect(content), true);
    }
    synchronizeWindowTitleWithDocumentName();
}

void MVPSkinWindowController::setScale(const HXSize& factors, bool animate)
{
    auto doc = movieDocument();
    if (!doc)
        return;
    auto w = window();
    HXRect current = w->frame();
    HXSize natural = doc->naturalSize();
    HXSize content = MVPScaledMovieSize(natural, factors);
    doc->setUserSize(content);
    HXSize size = w->frameRectForContentRect(HXRect { {}, content }).size;
    w->setFrame(MVPRectForScaledWindow(current, size, w->screen()), true, animate);
}

void MVPSkinWindowController::showWindow(HXObject* sender)
{
    if (shouldCascadeWindows() && !window()->isVisible())
        cascadeWindow();
    MVPWindowController::showWindow(sender);
}
