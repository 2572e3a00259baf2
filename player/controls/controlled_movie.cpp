#include "player/controls/controlled_movie.h"

#include "platform/mvkit/chapters.h"

MVPControlledMovie::MVPControlledMovie(std::shared_ptr<MVMovie> movie)
    : _movie(std::move(movie))
{
}

unsigned MVPControlledMovie::movieType() const
{
    if (!_movie)
        return NoMovieType;
    return unsigned(_movie->movieType());
}

unsigned MVPControlledMovie::movieTypeForURL(const std::optional<HXURL>& url, bool hasDuration)
{
    if (!url || url->isFileURL())
        return LocalPlayback;
    const std::string& scheme = url->scheme();
    if (scheme == "http" || scheme == "https")
        return FastStart;
    return hasDuration ? StoredStream : LiveStream;
}

float MVPControlledMovie::rate() const
{
    return _movie ? _movie->rate() : 0;
}

void MVPControlledMovie::setRate(float rate)
{
    if (_movie)
        _movie->setRate(rate);
}

bool MVPControlledMovie::isPlaying() const
{
    return _movie && _movie->isPlaying();
}

void MVPControlledMovie::play()
{
    if (_movie)
        _movie->play();
}

void MVPControlledMovie::stop()
{
    if (_movie)
        _movie->stop();
}

bool MVPControlledMovie::playsAllFrames() const
{
    return _movie && _movie->playsAllFrames();
}

void MVPControlledMovie::setPlaysAllFrames(bool flag)
{
    if (_movie)
        _movie->setPlaysAllFrames(flag);
}

bool MVPControlledMovie::loops() const
{
    return _movie && _movie->loopingMode() != MVMovieLoopingMode::None;
}

bool MVPControlledMovie::loopsBackAndForth() const
{
    return _movie && _movie->loopingMode() == MVMovieLoopingMode::BackAndForth;
}

void MVPControlledMovie::gotoBeginning()
{
    if (!_movie)
        return;
    MVTimeRange selection = _movie->selection();
    if (_movie->playsSelectionOnly() && selection.duration.timeValue > 0)
        _movie->setCurrentTime(selection.time);
    else
        _movie->setCurrentTime(MVMakeTime(0, _movie->timeScale()));
}

void MVPControlledMovie::gotoEnd()
{
    if (!_movie)
        return;
    _movie->stop();
    MVTimeRange selection = _movie->selection();
    if (_movie->playsSelectionOnly() && selection.duration.timeValue > 0)
        _movie->setCurrentTime(MVTimeAdd(selection.time, selection.duration));
    else
        _movie->setCurrentTime(_movie->duration());
}

int MVPControlledMovie::chapterMode() const
{
    if (_chapterMode)
        return *_chapterMode;
    return _movie ? MVMovieChapterMode(*_movie) : MVMovieChapterModeNone;
}

bool MVPControlledMovie::hasChapters() const
{
    return _movie && MVMovieHasChapters(*_movie);
}

int MVPControlledMovie::chapterCount() const
{
    return _movie ? int(MVMovieChapters(*_movie).size()) : 0;
}

int MVPControlledMovie::currentChapterIndex() const
{
    if (!_movie)
        return 0;
    MVTime now = _movie->currentTime();
    int index = 0;
    for (const auto& chapter : MVMovieChapters(*_movie)) {
        if (MVTimeCompare(chapter.startTime, now) > 0)
            break;
        ++index;
    }
    return index;
}

void MVPControlledMovie::setCurrentChapterIndex(int index)
{
    if (!_movie)
        return;
    auto chapters = MVMovieChapters(*_movie);
    if (index < 1 || index > int(chapters.size()))
        return;
    _movie->setCurrentTime(chapters[size_t(index - 1)].startTime);
}
