#pragma once
// MVPMovieJogShuttleView: the shuttle slider. Its knob springs back to the middle (value 0) when the
// mouse goes up. Bound to a movie (setMovie), it shuttles it while dragged: the knob's value is the speed
// (−8 … 8 by default; slow speeds are raised to a quarter, above 3× the movie steps from key frame to key
// frame), and letting go gives the movie back its former rate.
#include "player/controls/accessibility_titled_slider.h"

#include <memory>

class MVMovie;
class MVPMovieJogShuttle;

class MVPMovieJogShuttleSliderCell : public AccessibilityTitledSliderCell {
public:
    using AccessibilityTitledSliderCell::AccessibilityTitledSliderCell;
    void stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp) override;
};

class MVPMovieJogShuttleView : public AccessibilityTitledSlider {
public:
    explicit MVPMovieJogShuttleView(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();

    // Shuttles `movie` (null: none); the range becomes −maximumRate … maximumRate.
    void setMovie(std::shared_ptr<MVMovie> movie);
    std::shared_ptr<MVMovie> movie() const;
    const std::shared_ptr<MVPMovieJogShuttle>& jogShuttle() const { return _jogShuttle; }
    static constexpr double maximumRate = 8.0;

    // The knob moved (the slider's own action while bound to a movie).
    void shuttle(HXObject* sender);

    // Presses end when the mouse events stop (see control_tracking.h).
    void mouseDown(const HXEvent& event) override;

private:
    std::shared_ptr<MVPMovieJogShuttle> _jogShuttle;
};
