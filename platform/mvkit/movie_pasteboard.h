#pragma once
// MVMoviePasteboard: the program's clipboard for movie segments. Copy and cut put the segment (a movie
// whose tracks share the source's media) here; paste takes it into any movie.
#include <memory>

class MVMovie;

class MVMoviePasteboard {
public:
    static MVMoviePasteboard& generalPasteboard();
    std::shared_ptr<MVMovie> movie() const { return _movie; }
    void setMovie(std::shared_ptr<MVMovie> movie) { _movie = std::move(movie); }
    void clear() { _movie.reset(); }

private:
    std::shared_ptr<MVMovie> _movie;
};
