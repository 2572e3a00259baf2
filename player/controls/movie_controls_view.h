#pragma once
// MVPMovieControlsView: the transport bar — five image buttons in a row under the movie (style 0, the
// player window) or in the full-screen panel (style 1, "FS" pictures): go to the beginning (or the
// chapter's start), rewind while held, play or pause, fast forward while held, go to the end (or the next
// chapter). A VR movie gets back, zoom out, play (disabled), zoom in and a hot-spot toggle instead.
//
// The bar follows its movie: a rate change swaps Play and Pause (fast key-frame play counts as
// playing), an edit re-enables the buttons by the kind of movie. Styles 2 and above show nothing usable.
//
// Making one: MVPMovieControlsView::create(frame, movie, style) — it observes the movie and builds its
// buttons; the owner calls update() again after changing the movie (setMovie) or the style, and puts
// the buttons in its key-view loop with appendKeyViewsTo. Making the buttons posts "MVAKeyLoopChanged"
// with the bar's window as object.
#include "platform/basekit/notification_center.h"
#include "platform/winkit/view.h"
#include "player/controls/controlled_movie.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class ImageButton;
class MVMovie;

class MVPMovieControlsView : public HXView {
public:
    enum Position { LeftButton = 0, LeftCenterButton, CenterButton, RightCenterButton, RightButton };

    // 218 × 41 for styles 0 and 1; nothing for others.
    static HXSize naturalSize(unsigned style);

    // A bar showing `movie` (null: none yet) in `style`, built and laid out.
    static std::shared_ptr<MVPMovieControlsView> create(
        HXRect frame, std::shared_ptr<MVMovie> movie = nullptr, unsigned style = 0);
    static std::shared_ptr<MVPMovieControlsView> create(
        HXRect frame, std::shared_ptr<MVPControlledMovie> movie, unsigned style);
    static std::shared_ptr<MVPMovieControlsView> create(HXRect frame, std::nullptr_t, unsigned style)
    {
        return create(frame, std::shared_ptr<MVMovie>(), style);
    }
    explicit MVPMovieControlsView(HXRect frame = HXZeroRect);
    ~MVPMovieControlsView() override;

    // Follows `movie` (and its notifications) from now on; the buttons change on the next update().
    void setMovie(std::shared_ptr<MVMovie> movie);
    // The same with the owner's own view of the movie (chapter mode, streams, VR).
    void setMovie(std::shared_ptr<MVPControlledMovie> movie);
    // None: the bar lets go of its movie.
    void setMovie(std::nullptr_t) { setMovie(std::shared_ptr<MVPControlledMovie>()); }
    std::shared_ptr<MVMovie> movie() const { return _movie ? _movie->movie() : nullptr; }
    const std::shared_ptr<MVPControlledMovie>& controlledMovie() const { return _movie; }

    unsigned style() const { return _style; }
    void setStyle(unsigned style) { _style = style; }
    unsigned state() const { return _state; }
    void setState(unsigned state) { _state = state; }
    bool peelOffMode() const { return _peelOffMode; }
    bool isPlaying() const { return _isPlaying; }
    bool isVRMovie() const { return _isVRMovie; }
    bool isChapterModeClip() const { return _isChapterModeClip; }

    // Builds the buttons the first time, then sets them up for the movie and style, lays them out and
    // sets their enabled states.
    void update();
    void updateButtonState();
    // Passed on to the buttons, which draw by their window's main state regardless.
    void setAlwaysActive(bool flag);
    // Links the buttons, left to right, after `view` in the key-view chain; answers the last one linked.
    std::shared_ptr<HXView> appendKeyViewsTo(const std::shared_ptr<HXView>& view);

    // The button at `position` (null before the first update).
    std::shared_ptr<ImageButton> button(Position position) const { return _buttons[position]; }
    // The image set's base name of a button for the style and movie ("" for none).
    std::string imageNameForButton(const ImageButton* button) const;

    // Actions (each sent by its button).
    void gotoBeginning(HXObject* sender);
    void gotoBeginningOfChapter(HXObject* sender);
    void rewind(HXObject* sender);
    void fastForward(HXObject* sender);
    void play(HXObject* sender);
    void pause(HXObject* sender);
    void gotoEnd(HXObject* sender);
    void gotoNextChapter(HXObject* sender);
    void goBack(HXObject* sender);
    void zoomOut(HXObject* sender);
    void zoomIn(HXObject* sender);
    void toggleHotSpots(HXObject* sender);

    // Notifications of the movie.
    void rateChanged(const HXNotification& notification);
    void movieEdited(const HXNotification& notification);
    void timeChanged(const HXNotification& notification);

private:
    std::shared_ptr<ImageButton> imageButton();
    void setUpImageButton(const std::shared_ptr<ImageButton>& button, bool sendActionOnHighlightChange,
        bool toggles, HXSelector action);
    void setAccessibilityTitles();
    void setCenterAccessibilityTitle();
    void registerActions();
    void stopObservingMovie();
    // Play or Pause by whether the movie plays (or only appears to).
    void showPlayingState(bool playing);
    // The modifier flags of the event being handled now (0 when none).
    static uint32_t currentModifierFlags();
    bool isButtonHighlighted(HXObject* sender) const;

    std::array<std::shared_ptr<ImageButton>, 5> _buttons;
    std::shared_ptr<MVPControlledMovie> _movie;
    std::vector<uint64_t> _observers;
    float _originalRate = 0;
    unsigned _style = 0;
    unsigned _state = 0;
    bool _isVRMovie = false;
    bool _isPlaying = false;
    bool _peelOffMode = false;
    bool _autoOffPlaysAllFrames = false;
    bool _isChapterModeClip = false;
};
