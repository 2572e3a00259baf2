#include "document/lcd_movie_time.h"

#include "platform/mvkit/playback/movie_playback.h"

MVTime MVPLCDMovieCurrentTime(const MVMovie& movie)
{
    auto playback = MVMoviePlayback::existingPlaybackForMovie(&movie);
    if (playback && playback->movie().get() == &movie && playback->isPlaying())
        return playback->currentTime();
    return movie.currentTime();
}
