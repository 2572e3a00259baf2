#include "platform/mvkit/movie_pasteboard.h"

#include "platform/mvkit/movie.h"

MVMoviePasteboard& MVMoviePasteboard::generalPasteboard()
{
    static MVMoviePasteboard pasteboard;
    return pasteboard;
}
