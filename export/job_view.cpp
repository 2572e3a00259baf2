#include "export/job_view.h"

#include "export/roll_over_button.h"
#include "platform/basekit/timer.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/image.h"
#include "platform/winkit/text_drawing.h"

#include <cmath>
#include <cstdio>

namespace {

// The longest prefix-and-suffix cut of `text` with an ellipsis between that fits `width`.
std::string truncateMiddle(const std::string& text, const winkit::TextStyle& style, double width)
{
    if (width <= 0 || winkit::measureText(text, style).width <= width)
        return text;
    // Work on whole UTF-8 characters.
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    }
    size_t keep = starts.size();
    while (keep > 1) {
        --keep;
        size_t head = (keep + 1) / 2;
        size_t tail = keep - head;
        std::string cut = text.substr(0, starts[head]) + "\u2026"
            + (tail ? text.substr(starts[starts.size() - tail]) : std::string());
        if (winkit::measureText(cut, style).width <= width)
            return cut;
    }
    return "\u2026";
}

} // namespace

JobView::JobView(HXRect frame)
    : HXControl(frame)
{
}

std::shared_ptr<JobView> JobView::make(HXRect frame)
{
    auto view = std::make_shared<JobView>(frame);
    view->setUp();
    return view;
}

JobView::~JobView()
{
    dropTimer();
    if (_barTimer)
        _barTimer->invalidate();
}

void JobView::setUp()
{
    double width = frame().size.width;
    _actionButton = std::make_shared<RollOverButton>(HXMakeRect(width - 20, 23, 15, 15));
    _actionButton->setImage(HXImage::imageNamed("ExportStop"));
    _actionButton->setImageOver(HXImage::imageNamed("ExportStopRollover"));
    _actionButton->setAlternateImage(HXImage::imageNamed("ExportStopPressed"));
    _actionButton->setAutoresizingMask(HXViewMinXMargin);
    auto self = std::static_pointer_cast<JobView>(shared_from_this());
    std::weak_ptr<JobView> weak = self;
    _actionButton->setTarget(self);
    _actionButton->setAction("fireAction:");
    setActionHandler("fireAction:", [weak](HXObject*) {
        if (auto row = weak.lock())
            row->fireAction();
    });
    addSubview(_actionButton);
    setAutoresizingMask(HXViewWidthSizable);
}

void JobView::fireAction()
{
    sendAction(action(), target().get());
}

// ---- elapsed time ---------------------------------------------------------------------------------------

std::string JobView::elapsedTimeString(int64_t seconds)
{
    char text[64];
    int64_t hours = seconds / 3600;
    if (hours != 0)
        std::snprintf(text, sizeof text, "Elapsed time: %02lld:%02lld:%02lld", static_cast<long long>(hours),
            static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "Elapsed time: %02lld:%02lld", static_cast<long long>(seconds / 60),
            static_cast<long long>(seconds % 60));
    return text;
}

void JobView::startElapsedTime()
{
    if (!_startTime)
        _startTime = HXRunLoop::main().now();
    if (!_elapsedTimer) {
        std::weak_ptr<JobView> weak = std::static_pointer_cast<JobView>(shared_from_this());
        _elapsedTimer = HXTimer::scheduledTimer(1.0, true,
            [weak](HXTimer&) {
                if (auto row = weak.lock())
                    row->updateElapsedTime();
            },
            { HXRunLoopCommonModes });
    }
    updateElapsedTime();
}

void JobView::updateElapsedTime()
{
    double seconds = _timeAccumulator;
    if (_startTime)
        seconds += HXRunLoop::main().now() - *_startTime;
    std::string text = elapsedTimeString(int64_t(std::max(0.0, seconds)));
    if (text != _elapsedText) {
        _elapsedText = text;
        setNeedsDisplay(true);
    }
}

void JobView::pauseElapsedTime()
{
    dropTimer();
    if (_startTime)
        _timeAccumulator += HXRunLoop::main().now() - *_startTime;
    _startTime.reset();
}

void JobView::stopElapsedTime()
{
    dropTimer();
    _startTime.reset();
    _timeAccumulator = 0;
}

void JobView::dropTimer()
{
    if (_elapsedTimer) {
        _elapsedTimer->invalidate();
        _elapsedTimer.reset();
    }
}

void JobView::viewWillMoveToWindow(HXWindow* newWindow)
{
    HXControl::viewWillMoveToWindow(newWindow);
    if (!newWindow)
        dropTimer();
}

void JobView::viewDidMoveToWindow()
{
    HXControl::viewDidMoveToWindow();
    updateBarAnimation();
}

HXRect JobView::barRect() const
{
    return HXMakeRect(10, 22 + 4, bounds().size.width - 40, 7);
}

void JobView::updateBarAnimation()
{
    const bool wanted = _indeterminate && !_progressHidden && window() != nullptr;
    if (wanted == (_barTimer != nullptr))
        return;
    if (!wanted) {
        _barTimer->invalidate();
        _barTimer.reset();
        return;
    }
    std::weak_ptr<JobView> weak = std::static_pointer_cast<JobView>(shared_from_this());
    // The bar moves while a menu or a drag tracks events too.
    _barTimer = HXTimer::scheduledTimer(1.0 / 12, true, [weak](HXTimer& timer) {
        auto self = weak.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        ++self->_barPhase;
        self->setNeedsDisplayInRect(self->barRect());
    }, { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
}

// ---- parts ----------------------------------------------------------------------------------------------

void JobView::setBackgroundColor(const HXColor& color)
{
    _backgroundColor = color;
    _hasBackgroundColor = true;
    setNeedsDisplay(true);
}

bool JobView::isOpaque() const
{
    return _hasBackgroundColor && _backgroundColor.alphaComponent() >= 1.0;
}

void JobView::setProgressHidden(bool hidden)
{
    if (hidden != _progressHidden) {
        _progressHidden = hidden;
        setNeedsDisplay(true);
        updateBarAnimation();
    }
}

void JobView::setIndeterminate(bool indeterminate)
{
    if (indeterminate != _indeterminate) {
        _indeterminate = indeterminate;
        setNeedsDisplay(true);
        // A bar that becomes indeterminate starts moving from the beginning.
        _barPhase = 0;
        updateBarAnimation();
    }
}

void JobView::setProgress(double value)
{
    // A bar cannot show what is not a number.
    if (!std::isfinite(value))
        value = 0;
    value = std::clamp(value, 0.0, 1.0);
    if (value != _progress) {
        _progress = value;
        setNeedsDisplay(true);
    }
}

void JobView::setStatus(const std::string& status)
{
    if (status != _statusText) {
        _statusText = status;
        setNeedsDisplay(true);
    }
}

void JobView::setTitle(const std::string& title)
{
    if (title != _titleText) {
        _titleText = title;
        setNeedsDisplay(true);
    }
}

void JobView::drawRect(HXRect)
{
    double width = bounds().size.width;
    if (_hasBackgroundColor)
        winkit::fillRect(bounds(), _backgroundColor);

    winkit::TextStyle titleStyle;
    titleStyle.size = 11;
    HXRect titleRect = HXMakeRect(10, 40, width - 40, 15);
    winkit::drawText(truncateMiddle(_titleText, titleStyle, titleRect.size.width), titleRect, titleStyle);

    winkit::TextStyle statusStyle;
    statusStyle.size = 9;
    statusStyle.color = HXColor::grayColor();
    winkit::drawText(_statusText, HXMakeRect(10, 5, width - 40, 15), statusStyle);

    if (!_elapsedText.empty()) {
        winkit::TextStyle elapsedStyle = statusStyle;
        elapsedStyle.color = HXColor::lightGrayColor();
        double textWidth = winkit::measureText(_elapsedText, elapsedStyle).width;
        HXRect box = HXMakeRect(width - 150, 5, 120, 15);
        box.origin.x += std::max(0.0, box.size.width - textWidth);
        box.size.width = std::min(box.size.width, textWidth + 1);
        winkit::drawText(_elapsedText, box, elapsedStyle);
    }

    if (!_progressHidden) {
        HXRect bar = barRect();
        auto track = HXBezierPath::bezierPathWithRoundedRect(bar, 3.5, 3.5);
        HXColor::colorWithCalibratedWhite(0.85).setFill();
        track.fill();
        HXColor fill = HXColor::colorWithCalibratedRed(0.25, 0.5, 0.9);
        if (_indeterminate) {
            // Stripes for work of unknown length, running along the bar two points a step.
            fill.setFill();
            const double shift = double((_barPhase * 2) % 12);
            for (double x = bar.origin.x - 12 + shift; x < bar.origin.x + bar.size.width; x += 12) {
                const double left = std::max(x, bar.origin.x);
                const double right = std::min(x + 6, bar.origin.x + bar.size.width);
                if (right > left)
                    HXBezierPath::fillRect(HXMakeRect(left, bar.origin.y, right - left, bar.size.height));
            }
        } else if (_progress > 0) {
            HXRect done = bar;
            done.size.width = std::max(bar.size.height, bar.size.width * _progress);
            fill.setFill();
            HXBezierPath::bezierPathWithRoundedRect(done, 3.5, 3.5).fill();
        }
    }
}
