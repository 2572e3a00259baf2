#include "player/window/movie_view.h"

#include "core/notification_names.h"
#include "document/movie_document.h"
#include "player/controls/movie_jog_shuttle.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/chapters.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <cmath>

namespace {

constexpr uint32_t kTimeCodeMediaType = 0x746D6364; // 'tmcd'

// Every gesture kind the jog loop reads, and the same with the scroll wheel (what it discards at the end).
constexpr HXEventMask kGestureMask = HXEventMaskFromType(HXEventTypeRotate)
    | HXEventMaskFromType(HXEventTypeBeginGesture) | HXEventMaskFromType(HXEventTypeEndGesture)
    | HXEventMaskFromType(HXEventTypeGesture) | HXEventMaskFromType(HXEventTypeMagnify)
    | HXEventMaskFromType(HXEventTypeSwipe);
constexpr HXEventMask kGestureAndWheelMask = kGestureMask | HXScrollWheelMask;

// The horizontal travel of one gesture event (its translation is in deltaX and deltaY).
float gestureTravel(const HXEvent& event)
{
    if (event.type() != HXEventTypeGesture)
        return 0;
    return MVPRelativeXTranslation(event.deltaX(), event.deltaY());
}

} // namespace

MVPMovieView::MVPMovieView(HXRect frame)
    : MVMovieView(frame)
{
    setFillColor(HXColor::blackColor());
    setControllerVisible(false);
    // The background view keeps the proportions; the movie fills whatever it is given.
    setPreservesAspectRatio(false);
    auto& center = HXNotificationCenter::defaultCenter();
    auto onKey = [this](const HXNotification& note) {
        if (const auto* event = static_cast<const HXEvent*>(note.object()))
            keyEventNotification(*event);
    };
    _keyDownObserver = center.addObserver(this, MVPKeyDownEventNotification, nullptr, onKey);
    _keyUpObserver = center.addObserver(this, MVPKeyUpNotification, nullptr, onKey);
    setActionHandler("gotoNextChapter:", [this](HXObject* sender) { gotoNextChapter(sender); });
    setActionHandler("gotoPreviousChapter:", [this](HXObject* sender) { gotoPreviousChapter(sender); });
}

MVPMovieView::~MVPMovieView()
{
    auto& center = HXNotificationCenter::defaultCenter();
    center.removeObserver(_keyDownObserver);
    center.removeObserver(_keyUpObserver);
    if (_miniaturizeObserver)
        center.removeObserver(_miniaturizeObserver);
}

// ---- Keys ----

bool MVPMovieView::handleKeyDown(const HXEvent& event)
{
    if (MVMovieView::handleKeyDown(event))
        return true;
    if (!movie())
        return false;
    return _navigation.handleKeyDown(event);
}

void MVPMovieView::keyEventNotification(const HXEvent& event)
{
    _navigation.keyEventNotification(event);
}

void MVPMovieView::keyDown(const HXEvent& event)
{
    if (!handleKeyDown(event))
        HXView::keyDown(event);
}

// ---- Chapters ----

void MVPMovieView::gotoNextChapter(HXObject*)
{
    if (movie())
        _navigation.gotoNextChapter();
}

void MVPMovieView::gotoPreviousChapter(HXObject*)
{
    if (movie())
        _navigation.gotoPreviousChapter();
}

// ---- Wheel and gestures ----

void MVPMovieView::scrollWheel(const HXEvent& event)
{
    auto movie = this->movie();
    if (!movie)
        return;
    // A panorama looks around: the horizontal delta pans, the vertical one tilts.
    if (movie->isVRMovie()) {
        if (event.deltaX() != 0)
            movie->setPanAngle(float(movie->panAngle() + event.deltaX()));
        if (event.deltaY() != 0)
            movie->setTiltAngle(float(movie->tiltAngle() + event.deltaY()));
        return;
    }
    double sumX = event.deltaX(), sumY = event.deltaY();
    // A burst of wheel events becomes one step of the movie.
    if (auto window = this->window()) {
        while (auto next = window->nextEventMatchingMask(
                   HXScrollWheelMask, HXRunLoop::main().now(), HXEventTrackingRunLoopMode, true)) {
            sumX += next->deltaX();
            sumY += next->deltaY();
        }
    }
    _navigation.scrollWheel(sumX, sumY);
}

void MVPMovieView::swipeWithEvent(const HXEvent& event)
{
    if (movie())
        _navigation.swipe(event.deltaX());
}

void MVPMovieView::beginGestureWithEvent(const HXEvent& event)
{
    if (!handleBeginGestureWithEvent(event))
        MVMovieView::beginGestureWithEvent(event);
}

bool MVPMovieView::handleBeginGestureWithEvent(const HXEvent& event)
{
    auto movie = this->movie();
    auto window = this->window();
    if (!movie || !window || event.type() != HXEventTypeBeginGesture || event.subtype() != MVPJogGestureSubtype)
        return false;

    const bool wasPlaying = rate() != 0;
    std::unique_ptr<MVPMovieJogShuttle> shuttle;
    if (wasPlaying) {
        shuttle = std::make_unique<MVPMovieJogShuttle>(movie);
        shuttle->setRate(1.0f);
    }
    float travel = 0;
    auto& loop = HXRunLoop::main();
    for (;;) {
        // A gesture whose end never comes (a lost event) ends after a while without events.
        auto next = window->nextEventMatchingMask(
            kGestureMask, loop.now() + MVPJogGestureTimeout, HXEventTrackingRunLoopMode, true);
        if (!next || next->type() == HXEventTypeEndGesture)
            break;
        float sum = gestureTravel(*next);
        bool ended = false;
        while (auto queued = window->nextEventMatchingMask(kGestureMask, loop.now(), HXDefaultRunLoopMode, true)) {
            if (queued->type() == HXEventTypeEndGesture) {
                ended = true;
                break;
            }
            sum += gestureTravel(*queued);
        }
        if (wasPlaying)
            shuttle->setRate(MVPJogShuttleRate(travel, sum));
        else if (sum != 0)
            step(MVPJogScrubStepCount(sum));
        if (ended)
            break;
    }
    if (shuttle)
        shuttle->reset();
    window->discardEventsMatchingMask(kGestureAndWheelMask);
    return true;
}

// ---- Window ----

void MVPMovieView::viewWillMoveToWindow(HXWindow* newWindow)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_miniaturizeObserver)
        center.removeObserver(_miniaturizeObserver);
    _miniaturizeObserver = 0;
    if (newWindow)
        _miniaturizeObserver = center.addObserver(
            this, HXWindowDidMiniaturizeNotification, newWindow, [this](const HXNotification&) { _inDock = true; });
    MVMovieView::viewWillMoveToWindow(newWindow);
}

void MVPMovieView::drawRect(HXRect dirtyRect)
{
    if (_inDock) {
        if (auto window = this->window(); window && !window->isMiniaturized()) {
            _inDock = false;
            HXNotificationCenter::defaultCenter().postNotification(
                HXNotification(MVPWindowWillDeminiaturizeNotification, window.get()));
        }
    }
    MVMovieView::drawRect(dirtyRect);
}

HXSize MVPMovieView::displayedMovieSize() const
{
    return convertSizeToView(movieBounds().size, nullptr);
}

bool MVPMovieView::validateMenuItem(HXMenuItem& item)
{
    // While the document is full screen the menus leave its movie alone.
    if (auto window = this->window()) {
        if (auto controller = window->windowController()) {
            auto document = std::dynamic_pointer_cast<MVPMovieDocument>(controller->document());
            if (document && document->isFullScreen())
                return false;
        }
    }
    return MVMovieView::validateMenuItem(item);
}

// ---- Accessibility ----

std::vector<std::string> MVPMovieView::accessibilityAttributeNames() const
{
    static const std::vector<std::string> names = [] {
        auto list = HXAccessibility::viewAttributeNames();
        for (const char* extra : { HXAccessibilityFocusedAttribute, HXAccessibilityTitleAttribute,
                 HXAccessibilityRoleAttribute, HXAccessibilityParentAttribute, HXAccessibilityPositionAttribute,
                 HXAccessibilitySizeAttribute, HXAccessibilityWindowAttribute, HXAccessibilityEnabledAttribute })
            list.push_back(extra);
        return list;
    }();
    return names;
}

HXAccessibilityValue MVPMovieView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    if (attribute == HXAccessibilityChildrenAttribute)
        return HXAccessibilityValue::Elements {};
    if (attribute == HXAccessibilityParentAttribute || attribute == HXAccessibilityWindowAttribute)
        return HXAccessibilityValue::Element(window());
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityImageRole;
    if (attribute == HXAccessibilityTitleAttribute)
        return HXBundle::mainBundle()->localizedStringForKey("mvMovieViewAccessibilityMovie", {}, "Localizable");
    if (attribute == HXAccessibilitySizeAttribute)
        return movieBounds().size;
    if (attribute == HXAccessibilityPositionAttribute)
        return convertRectToScreen(movieBounds()).origin;
    if (attribute == HXAccessibilityFocusedAttribute) {
        auto w = window();
        return w && w->firstResponder().get() == this;
    }
    return HXAccessibility::viewAttributeValue(*this, attribute);
}

bool MVPMovieView::accessibilityIsIgnored() const
{
    HXRect bounds = movieBounds();
    return bounds.size.width == 0 || bounds.size.height == 0;
}

// ---- The movie, through its playback ----

MVTime MVPMovieView::currentTime() const
{
    if (const auto& p = playback())
        return p->currentTime();
    return movie() ? movie()->currentTime() : MVZeroTime;
}

void MVPMovieView::setCurrentTime(MVTime time)
{
    if (const auto& p = playback())
        p->setCurrentTime(time);
    else if (auto m = movie())
        m->setCurrentTime(time);
}

MVTime MVPMovieView::duration() const
{
    return movie() ? movie()->duration() : MVZeroTime;
}

float MVPMovieView::rate() const
{
    if (const auto& p = playback())
        return p->rate();
    return movie() ? movie()->rate() : 0;
}

void MVPMovieView::setRate(float rate)
{
    if (const auto& p = playback())
        p->setRate(rate);
    else if (auto m = movie())
        m->setRate(rate);
}

MVTimeRange MVPMovieView::selection() const
{
    return movie() ? movie()->selection() : MVTimeRange { MVZeroTime, MVZeroTime };
}

void MVPMovieView::setSelection(MVTimeRange selection)
{
    if (auto m = movie())
        m->setSelection(selection);
}

bool MVPMovieView::hasTimeCodeTrack() const
{
    auto m = movie();
    return m && !m->tracksOfMediaType(kTimeCodeMediaType).empty();
}

void MVPMovieView::step(int frames)
{
    if (const auto& p = playback())
        p->step(frames);
}

bool MVPMovieView::hasChapters() const
{
    auto m = movie();
    return m && MVMovieHasChapters(*m);
}

int MVPMovieView::chapterCount() const
{
    auto m = movie();
    return m ? int(MVMovieChapters(*m).size()) : 0;
}

int MVPMovieView::chapterIndexForTime(MVTime time) const
{
    auto m = movie();
    if (!m)
        return 0;
    auto chapters = MVMovieChapters(*m);
    int index = 0;
    for (size_t i = 0; i < chapters.size(); ++i)
        if (MVTimeCompare(chapters[i].startTime, time) <= 0)
            index = int(i);
    return index;
}

MVTime MVPMovieView::startTimeOfChapter(int index) const
{
    auto m = movie();
    if (!m)
        return MVZeroTime;
    auto chapters = MVMovieChapters(*m);
    if (index < 0 || size_t(index) >= chapters.size())
        return MVZeroTime;
    return chapters[size_t(index)].startTime;
}
