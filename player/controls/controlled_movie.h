#pragma once
// MVPControlledMovie: the movie as the transport controls see it — the movie's own stored settings
// (rate, play modes) plus what the controls ask of the media layer beyond them: the kind of movie
// (local, loading, live or stored stream), chapters, and the navigation of VR movies.
//
// The default answers come from the MVMovie: a file (or a movie made in memory) plays locally, a web
// address is a progressive download, any other address a stored stream when it has a duration and a
// live broadcast when it has none. A panorama's navigation is the movie's own. Whoever knows better (a
// document that streams, a test) subclasses and overrides.
#include "platform/mvkit/movie.h"

#include <memory>
#include <optional>

class MVPControlledMovie {
public:
    // What `movieType` answers.
    enum MovieType : unsigned {
        NoMovieType = 0,
        LocalPlayback = 1,
        FastStart = 2, // a progressive download
        LiveStream = 3, // a broadcast: no beginning or end to go to
        StoredStream = 4, // a stream with a duration: ends, but no fast play
    };

    explicit MVPControlledMovie(std::shared_ptr<MVMovie> movie);
    virtual ~MVPControlledMovie() = default;
    MVPControlledMovie(const MVPControlledMovie&) = delete;
    MVPControlledMovie& operator=(const MVPControlledMovie&) = delete;

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }

    virtual unsigned movieType() const;
    // The kind of a movie read from `url` (none: made in memory), with or without a duration.
    static unsigned movieTypeForURL(const std::optional<HXURL>& url, bool hasDuration);

    // Playing (the movie's stored rate; its playback follows).
    virtual float rate() const;
    virtual void setRate(float rate);
    virtual bool isPlaying() const;
    virtual void play();
    virtual void stop();
    virtual bool playsAllFrames() const;
    virtual void setPlaysAllFrames(bool flag);
    virtual bool loops() const;
    virtual bool loopsBackAndForth() const;
    // To the start (or the end) of what plays: the selection when only it plays, else the movie. Going to
    // the end stops the movie there.
    virtual void gotoBeginning();
    virtual void gotoEnd();

    // Chapters. The chapter mode (1: the controls work chapter by chapter) follows the movie's chapter
    // track unless the owner sets one.
    virtual int chapterMode() const;
    void setChapterMode(int mode) { _chapterMode = mode; }
    virtual bool hasChapters() const;
    virtual int chapterCount() const;
    // 1-based: the chapter the current time is in (0 before the first one or without chapters).
    virtual int currentChapterIndex() const;
    virtual void setCurrentChapterIndex(int index);

    // VR movies.
    virtual bool hasVRController() const { return _movie && _movie->hasVRController(); }
    virtual void gotoPreviousNode()
    {
        if (_movie)
            _movie->gotoPreviousNode();
    }
    // Zooms continuously at `speed` (positive out, negative in; 0 stops).
    virtual void zoom(float speed)
    {
        if (_movie)
            _movie->zoom(speed);
    }
    virtual bool hotspotsVisible() const { return _movie && _movie->hotspotsVisible(); }
    virtual void setHotspotsVisible(bool visible)
    {
        if (_movie)
            _movie->setHotspotsVisible(visible);
    }
    virtual int hotspotCount() const { return _movie ? _movie->hotspotCount() : 0; }

private:
    std::shared_ptr<MVMovie> _movie;
    std::optional<int> _chapterMode;
};
