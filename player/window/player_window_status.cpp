#include "player/window/player_window_status.h"

#include "document/movie_document.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller.h"

#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/movie_player.h"
#include "platform/winkit/image_view.h"

namespace {

HXPropertyList rectList(const HXRect& r)
{
    return HXPropertyList(HXPropertyList::Array { HXPropertyList(r.origin.x), HXPropertyList(r.origin.y),
        HXPropertyList(r.size.width), HXPropertyList(r.size.height) });
}

double seconds(MVTime time)
{
    double s = 0;
    MVGetTimeInterval(time, &s);
    return s;
}

HXRect screenRect(const HXView& view)
{
    return view.window() ? view.convertRectToScreen(view.bounds()) : HXZeroRect;
}

} // namespace

HXPropertyList::Dictionary MVPPlayerWindowStatus(const MVPMovieDocument& document)
{
    HXPropertyList::Dictionary status;
    auto controller = std::dynamic_pointer_cast<MVPMovieWindowController>(document.playerWindowController());
    status["kind"] = HXPropertyList(std::string(controller ? "standard" : "other"));
    if (auto movie = document.movie()) {
        MVTime now = movie->currentTime();
        if (controller && controller->movieView() && controller->movieView()->playback())
            now = controller->movieView()->playback()->currentTime();
        status["currentTime"] = HXPropertyList(seconds(now));
        status["duration"] = HXPropertyList(seconds(movie->duration()));
        status["rate"] = HXPropertyList(double(movie->rate()));
    }
    if (!controller || !controller->isWindowLoaded())
        return status;
    auto window = controller->window();
    status["windowFrame"] = rectList(window->frame());
    status["visible"] = HXPropertyList(window->isVisible());
    // A sheet over the window (the print panel, a save panel, an alert): its title and where it is.
    if (auto sheet = window->attachedSheet())
        status["sheet"] = HXPropertyList(HXPropertyList::Dictionary {
            { "title", HXPropertyList(sheet->title()) }, { "frame", rectList(sheet->frame()) } });
    if (auto view = controller->movieView()) {
        status["movieRect"] = rectList(view->window() ? view->convertRectToScreen(view->movieBounds()) : HXZeroRect);
        HXSize size = controller->movieSize();
        status["movieSize"]
            = HXPropertyList(HXPropertyList::Array { HXPropertyList(size.width), HXPropertyList(size.height) });
        status["movieViewFocused"] = HXPropertyList(window->firstResponder() == view);
        // The texts drawn over the picture now (subtitles, captions, text tracks).
        if (auto playback = view->playback()) {
            HXPropertyList::Array texts;
            for (const auto& text : playback->player().presentedTexts())
                texts.push_back(HXPropertyList(text.text));
            status["shownTexts"] = HXPropertyList(std::move(texts));
        }
    }
    if (auto movie = document.movie())
        status["closedCaptionsVisible"] = HXPropertyList(movie->closedCaptionsVisible());
    if (controller->controlsStrip())
        status["controlsRect"] = rectList(screenRect(*controller->controlsStrip()));
    if (controller->resizeThumb())
        status["resizeThumbRect"] = rectList(screenRect(*controller->resizeThumb()));
    if (auto play = controller->playButton())
        status["playButtonRect"] = rectList(screenRect(*play));
    // What the transport bar's buttons do, left to right (the outer ones go by chapter in chapter mode).
    if (auto bar = controller->movieControlsView()) {
        HXPropertyList::Array actions;
        for (auto position : { MVPMovieControlsView::LeftButton, MVPMovieControlsView::LeftCenterButton,
                 MVPMovieControlsView::CenterButton, MVPMovieControlsView::RightCenterButton,
                 MVPMovieControlsView::RightButton })
            if (auto button = bar->button(position))
                actions.push_back(
                    HXPropertyList(button->action().isNull() ? std::string() : button->action().name()));
        status["transportActions"] = HXPropertyList(std::move(actions));
        if (auto right = bar->button(MVPMovieControlsView::RightButton))
            status["rightButtonRect"] = rectList(screenRect(*right));
    }
    return status;
}
