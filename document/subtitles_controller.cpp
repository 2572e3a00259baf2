#include "document/subtitles_controller.h"

std::shared_ptr<MVPSubtitlesController> MVPSubtitlesController::subtitlesControllerWithMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    auto controller = std::make_shared<MVPSubtitlesController>();
    controller->setMovie(movie);
    return controller;
}

MVPSubtitlesController::~MVPSubtitlesController() = default;

std::vector<std::shared_ptr<MVTrack>> MVPSubtitlesController::tracksToScan() const
{
    return movie()->subtitleTracks();
}

void MVPSubtitlesController::setLanguageFromTrack(const std::shared_ptr<MVTrack>& track)
{
    if (!movie() || !track || track->movie() != movie())
        return;
    movie()->setSubtitles(track);
    postMovieEdited();
}

void MVPSubtitlesController::setLanguage(int64_t language)
{
    if (!movie())
        return;
    movie()->setSubtitlesLanguage(language);
    postMovieEdited();
}
