#pragma once
// JobView: one row of the processing window, 62 points high: the job's title, a progress bar, a status
// line with the time estimate, the elapsed time and a stop button. The row sends its action to its target
// (with itself as sender) when the button is clicked; the row carries its job.
#include "platform/basekit/run_loop.h"
#include "platform/drawing/color.h"
#include "platform/winkit/control.h"

#include <memory>
#include <optional>
#include <string>

class Job;
class HXTimer;
class RollOverButton;

class JobView : public HXControl {
public:
    static constexpr double rowHeight = 62;

    // Use make, which also puts the parts in place.
    explicit JobView(HXRect frame);
    static std::shared_ptr<JobView> make(HXRect frame);
    ~JobView() override;

    std::shared_ptr<Job> job() const { return _job.lock(); }
    void setJob(const std::shared_ptr<Job>& job) { _job = job; }

    // Elapsed time: runs from start, pauses keep what was counted, stop clears it.
    void startElapsedTime();
    void pauseElapsedTime();
    void stopElapsedTime();
    void updateElapsedTime();
    bool isElapsedTimeRunning() const { return _elapsedTimer != nullptr; }
    // "Elapsed time: mm:ss", or "Elapsed time: hh:mm:ss" from one hour on.
    static std::string elapsedTimeString(int64_t seconds);

    const HXColor& backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const HXColor& color);
    void setProgressHidden(bool hidden);
    bool isProgressHidden() const { return _progressHidden; }
    // An indeterminate bar that shows in a window moves (its stripes run along it) on a timer.
    void setIndeterminate(bool indeterminate);
    bool isIndeterminate() const { return _indeterminate; }
    bool isAnimating() const { return _barTimer != nullptr; }
    long animationPhase() const { return _barPhase; }
    void setProgress(double value);
    double progress() const { return _progress; }
    void setStatus(const std::string& status);
    const std::string& status() const { return _statusText; }
    void setTitle(const std::string& title);
    const std::string& title() const { return _titleText; }
    const std::string& elapsedText() const { return _elapsedText; }
    std::shared_ptr<RollOverButton> actionButton() const { return _actionButton; }

    // The button's action: the row's action goes to the row's target.
    void fireAction();

    void drawRect(HXRect dirtyRect) override;
    bool isOpaque() const override;
    void viewWillMoveToWindow(HXWindow* newWindow) override;
    void viewDidMoveToWindow() override;

private:
    void setUp();
    void dropTimer();
    // Starts or stops the bar's animation as the bar now needs it.
    void updateBarAnimation();
    HXRect barRect() const;

    std::string _titleText;
    std::string _statusText;
    std::string _elapsedText;
    std::shared_ptr<RollOverButton> _actionButton;
    double _progress = 0;
    bool _indeterminate = true;
    bool _progressHidden = true;
    HXColor _backgroundColor = HXColor::whiteColor();
    bool _hasBackgroundColor = false;
    std::shared_ptr<HXTimer> _elapsedTimer;
    std::shared_ptr<HXTimer> _barTimer;
    long _barPhase = 0;
    std::optional<HXTimeInterval> _startTime;
    double _timeAccumulator = 0;
    std::weak_ptr<Job> _job;
};
