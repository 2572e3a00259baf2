#pragma once
// The movie view's own keys, selection by key, chapter jumps, wheel stepping and the jog gesture's
// arithmetic: the rules the player's movie view applies on top of the keys the media layer's movie view
// already answers.
//
// Keys: I and O set the selection's start and end at the current time; K stops, and while K is held J
// and L step one frame back or forward; otherwise J and L lower or raise the rate by 1 within −3 … 3;
// Delete deletes the selection. Chapter jumps remember the time they left, so that the opposite command
// comes back to it.
#include "platform/mvkit/time.h"

class HXEvent;

// What the rules read and do of the movie; the movie view answers from its movie and its playback.
class MVPMovieViewNavigationTarget {
public:
    virtual ~MVPMovieViewNavigationTarget() = default;

    virtual MVTime currentTime() const = 0;
    virtual void setCurrentTime(MVTime time) = 0;
    virtual MVTime duration() const = 0;
    virtual float rate() const = 0;
    virtual void setRate(float rate) = 0;
    virtual MVTimeRange selection() const = 0;
    virtual void setSelection(MVTimeRange selection) = 0;

    virtual bool hasTimeCodeTrack() const = 0;
    virtual void stepForward() = 0;
    virtual void stepBackward() = 0;
    virtual void stepFrameForward() = 0;
    virtual void stepFrameBackward() = 0;
    // Steps by `frames` frames (negative: back).
    virtual void step(int frames) = 0;

    virtual bool hasChapters() const = 0;
    virtual int chapterCount() const = 0;
    // The 0-based index of the chapter holding `time`.
    virtual int chapterIndexForTime(MVTime time) const = 0;
    virtual MVTime startTimeOfChapter(int index) const = 0;

    // The view's own actions of the same names.
    virtual void gotoBeginning() = 0;
    virtual void gotoEnd() = 0;
    virtual void deleteSelectedSegment() = 0; // "delete:"
};

class MVPMovieViewNavigation {
public:
    explicit MVPMovieViewNavigation(MVPMovieViewNavigationTarget& target)
        : _target(target)
    {
    }

    // The key table, for a key the view's own key handling did not use. True when the key was used; a key
    // with any modifier (Shift, Caps Lock, Control, Option, Command, ...) is left to others.
    bool handleKeyDown(const HXEvent& event);
    // Every key event of the application passes here: the key-up of K ends frame stepping, whichever view
    // had the keyboard.
    void keyEventNotification(const HXEvent& event);
    bool holdKeyReleased() const { return _holdKeyReleased; }

    // The selection keeps its end when the start moves before it, else it becomes empty at `time`.
    void setSelectionStart(MVTime time);
    // The selection keeps its start when the end moves after it, else it becomes empty at `time`.
    void setSelectionEnd(MVTime time);
    // Deletes the selection when it is not empty.
    void deleteSelection();

    void gotoNextChapter();
    void gotoPreviousChapter();
    // The time the last chapter jump left, or the indefinite time.
    MVTime lastTimeBeforeChapterChange() const { return _lastTimeBeforeChapterChange; }

    // A swipe to the left goes to the next chapter, to the right to the previous one.
    void swipe(double deltaX);
    // A burst of wheel events, their deltas summed: the larger of the negated horizontal and the vertical
    // sum steps the movie, at least one frame.
    void scrollWheel(double sumDeltaX, double sumDeltaY);

private:
    MVPMovieViewNavigationTarget& _target;
    bool _holdKeyReleased = true;
    MVTime _lastTimeBeforeChapterChange = MVIndefiniteTime;
};

// Frames to step for a wheel or gesture amount: rounded to the nearest whole number after its size is
// raised to at least 1, the sign kept; 0 for 0.
int MVPStepCountForAmount(double amount);
// The horizontal travel a gesture event adds: none when it moves more vertically than horizontally;
// otherwise the horizontal translation, negated.
float MVPRelativeXTranslation(double translationX, double translationY);
// Shuttling with the jog gesture: `travel` accumulates a hundredth of each summed translation within
// −5 … 5 (a value that is not a number counts as −5); the rate is 2 to the power of its size, with its
// sign (1× to 32× either way).
float MVPJogShuttleRate(float& travel, float sum);
// Scrubbing with the jog gesture: the frames a summed translation steps.
int MVPJogScrubStepCount(float sum);
