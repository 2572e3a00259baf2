#include "player/controls/movie_jog_shuttle_view.h"

#include "player/controls/control_tracking.h"
#include "player/controls/movie_jog_shuttle.h"

void MVPMovieJogShuttleSliderCell::stopTracking(
    HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp)
{
    AccessibilityTitledSliderCell::stopTracking(lastPoint, stopPoint, controlView, mouseIsUp);
    if (mouseIsUp)
        setDoubleValue(0);
}

HXCellFactory& MVPMovieJogShuttleView::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<MVPMovieJogShuttleSliderCell>(); };
    return factory;
}

MVPMovieJogShuttleView::MVPMovieJogShuttleView(HXRect frame)
    : AccessibilityTitledSlider(std::static_pointer_cast<AccessibilityTitledSliderCell>(cellClass()()), frame)
{
    setActionHandler("shuttle:", [this](HXObject* sender) { shuttle(sender); });
}

void MVPMovieJogShuttleView::setMovie(std::shared_ptr<MVMovie> movie)
{
    if (_jogShuttle)
        _jogShuttle->reset();
    _jogShuttle = movie ? std::make_shared<MVPMovieJogShuttle>(std::move(movie)) : nullptr;
    if (!_jogShuttle)
        return;
    setMinValue(-maximumRate);
    setMaxValue(maximumRate);
    setDoubleValue(0);
    setContinuous(true);
    setTarget(shared_from_this());
    setAction("shuttle:");
}

std::shared_ptr<MVMovie> MVPMovieJogShuttleView::movie() const
{
    return _jogShuttle ? _jogShuttle->movie() : nullptr;
}

void MVPMovieJogShuttleView::shuttle(HXObject*)
{
    if (!_jogShuttle)
        return;
    float rate = floatValue();
    // Back in the middle (the knob sprang back): the shuttle is over.
    if (rate == 0 && !cell()->isHighlighted()) {
        _jogShuttle->reset();
        return;
    }
    _jogShuttle->setRate(rate);
}

void MVPMovieJogShuttleView::mouseDown(const HXEvent& event)
{
    MVPTrackMouseInControl(*this, event);
    // The knob is back at 0: end the shuttle even when the release sent no action.
    if (_jogShuttle && floatValue() == 0 && _jogShuttle->isInUse())
        _jogShuttle->reset();
}
