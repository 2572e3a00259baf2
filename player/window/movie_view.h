#pragma once
// MVPMovieView: the view that shows a document's movie in the player window (and, borrowed, full
// screen). On top of the keys the media layer's movie view answers (space, arrows, Home, End) it takes
// I and O for the selection, K with J and L for shuttling and frame stepping, Delete for deleting the
// selection, the scroll wheel for stepping, swipes for chapters and the two-finger jog gesture.
//
// The key-up of K reaches it through the application's key notification, so that frame stepping ends
// even when another view had the keyboard when K went up.
#include "player/window/movie_view_navigation.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/accessibility.h"

#include <memory>

class HXWindow;

// Posted (object: the window) on the first draw after the view's window came back from the Dock.
inline constexpr const char* MVPWindowWillDeminiaturizeNotification = "MVPWindowWillDeminiaturizeNotification";

// The begin-gesture subtype of a two-finger horizontal drag: the jog gesture.
inline constexpr int16_t MVPJogGestureSubtype = 6;
// How long the jog gesture waits for its next event before it counts as over.
inline constexpr double MVPJogGestureTimeout = 1.0;

class MVPMovieView : public MVMovieView, public HXAccessibilityElement, private MVPMovieViewNavigationTarget {
public:
    explicit MVPMovieView(HXRect frame = HXZeroRect);
    ~MVPMovieView() override;

    // The media layer's keys first, then the player's (I, O, J, K, L, Delete). True when consumed.
    bool handleKeyDown(const HXEvent& event);
    // Every key event of the application (key-down and key-up notifications): the key-up of K.
    void keyEventNotification(const HXEvent& event);
    bool holdKeyReleased() const { return _navigation.holdKeyReleased(); }

    void setSelectionStart(MVTime time) { _navigation.setSelectionStart(time); }
    void setSelectionEnd(MVTime time) { _navigation.setSelectionEnd(time); }
    void deleteSelection() { _navigation.deleteSelection(); }
    void gotoNextChapter(HXObject* sender = nullptr);
    void gotoPreviousChapter(HXObject* sender = nullptr);
    MVTime lastTimeBeforeChapterChange() const { return _navigation.lastTimeBeforeChapterChange(); }

    // The size the movie is drawn at, in window coordinates.
    HXSize displayedMovieSize() const;

    // The jog gesture: runs its own event loop until the gesture ends. True when it ran.
    bool handleBeginGestureWithEvent(const HXEvent& event);

    // HXView and HXResponder.
    void keyDown(const HXEvent& event) override;
    void scrollWheel(const HXEvent& event) override;
    void swipeWithEvent(const HXEvent& event) override;
    void beginGestureWithEvent(const HXEvent& event) override;
    void viewWillMoveToWindow(HXWindow* newWindow) override;
    void drawRect(HXRect dirtyRect) override;
    // A panorama takes its own clicks (hot spots) and drags (looking around).
    bool mouseDownCanMoveWindow() const override { return movie() != nullptr && !movie()->isVRMovie(); }
    bool validateMenuItem(HXMenuItem& item) override;

    // Accessibility: an enabled image titled as a movie, placed and sized as the movie is drawn; a view
    // that draws no movie (empty movie bounds) is left out.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsIgnored() const override;

private:
    // MVPMovieViewNavigationTarget: the movie through its playback.
    MVTime currentTime() const override;
    void setCurrentTime(MVTime time) override;
    MVTime duration() const override;
    float rate() const override;
    void setRate(float rate) override;
    MVTimeRange selection() const override;
    void setSelection(MVTimeRange selection) override;
    bool hasTimeCodeTrack() const override;
    void stepForward() override { step(1); }
    void stepBackward() override { step(-1); }
    void stepFrameForward() override { step(1); }
    void stepFrameBackward() override { step(-1); }
    void step(int frames) override;
    bool hasChapters() const override;
    int chapterCount() const override;
    int chapterIndexForTime(MVTime time) const override;
    MVTime startTimeOfChapter(int index) const override;
    void gotoBeginning() override { MVMovieView::gotoBeginning(this); }
    void gotoEnd() override { MVMovieView::gotoEnd(this); }
    void deleteSelectedSegment() override { MVMovieView::delete_(this); }

    MVPMovieViewNavigation _navigation { *this };
    bool _inDock = false;
    HXObserverToken _keyDownObserver = 0;
    HXObserverToken _keyUpObserver = 0;
    HXObserverToken _miniaturizeObserver = 0;
};
