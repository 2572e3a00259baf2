#pragma once
// HXRunLoop: the main thread's event loop. Each pass serves, in the mode it runs in: the work handed over by
// other threads, due timers, queued performs, the event hooks of a window backend, and the file descriptors
// that became ready (poll). Everything it calls runs on the main thread.
//
// The loop belongs to the main thread: only performOnMainThread and wakeUp may be called from other threads.
//
// Times are seconds on the run loop's clock (monotonic; see HXClock). Tests replace the clock with an
// HXManualClock: waiting then moves the manual clock forward instead of sleeping.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class HXTimer;
class HXRunLoop;

using HXTimeInterval = double; // seconds

// Run-loop modes. A source added in "HXRunLoopCommonModes" serves every mode of the common set (the three
// named modes, plus any added with HXRunLoop::addCommonMode).
inline constexpr const char* HXDefaultRunLoopMode = "HXDefaultRunLoopMode";
inline constexpr const char* HXEventTrackingRunLoopMode = "HXEventTrackingRunLoopMode";
inline constexpr const char* HXModalPanelRunLoopMode = "HXModalPanelRunLoopMode";
inline constexpr const char* HXRunLoopCommonModes = "HXRunLoopCommonModes";

// A set of modes, e.g. { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode }.
using HXRunLoopModes = std::vector<std::string>;

// The source of "now" for a run loop: seconds on a monotonic scale.
class HXClock {
public:
    virtual ~HXClock() = default;
    virtual HXTimeInterval now() const = 0;
    // A manual clock is never slept on: when the loop would wait, it moves the clock instead.
    virtual bool isManual() const { return false; }
    // Called by HXRunLoop::setClock with the loop that now reads this clock (nullptr when replaced).
    virtual void attach(HXRunLoop* runLoop) { (void)runLoop; }
};

// The real clock: CLOCK_MONOTONIC, in seconds.
class HXMonotonicClock : public HXClock {
public:
    HXTimeInterval now() const override;
};

// A clock that moves only when told to. advance() steps through every timer and delayed perform that falls
// due on the way, firing each at its own fire date in the attached loop's current mode (the mode of the
// innermost run, or the default mode), then settles at the target time. Nothing sleeps.
class HXManualClock : public HXClock {
public:
    explicit HXManualClock(HXTimeInterval start = 1000.0)
        : _now(start)
    {
    }
    HXTimeInterval now() const override { return _now; }
    bool isManual() const override { return true; }
    void attach(HXRunLoop* runLoop) override { _runLoop = runLoop; }

    void advance(HXTimeInterval seconds);
    // Moves the clock without running anything (used by the run loop while it "waits").
    void setNow(HXTimeInterval now) { _now = now; }

private:
    HXTimeInterval _now;
    HXRunLoop* _runLoop = nullptr;
};

// Readiness of a file descriptor source.
enum HXFileDescriptorEvents : uint32_t {
    HXFileDescriptorReadable = 1u << 0, // also reported on hang-up and error, so a reader sees EOF
    HXFileDescriptorWritable = 1u << 1,
};

// Points in a pass at which observers are called.
enum HXRunLoopActivity : uint32_t {
    HXRunLoopBeforeWaiting
    = 1u << 0, // the loop is about to sleep: nothing else is ready (idle work goes here)
    HXRunLoopPassEnd = 1u << 1, // the end of every pass, after the descriptors were served
    HXRunLoopEntry = 1u << 2, // a run starts (runInMode, runUntilDate, ...)
    HXRunLoopExit = 1u << 3, // a run ends
};

// How a runInMode() call ended.
enum class HXRunLoopRunResult { TimedOut, Stopped, HandledSource };

// Identifies a source, hook or observer added to a run loop; 0 is never used.
using HXRunLoopSourceID = uint64_t;

class HXRunLoop {
public:
    // The main thread's run loop (the only one the program runs).
    static HXRunLoop& main();
    // The loop of the calling thread: the main loop (other threads have none; use performOnMainThread).
    static HXRunLoop& current() { return main(); }
    static bool isMainThread();

    HXRunLoop();
    ~HXRunLoop();
    HXRunLoop(const HXRunLoop&) = delete;
    HXRunLoop& operator=(const HXRunLoop&) = delete;

    // The clock. The default is an HXMonotonicClock; nullptr restores it.
    void setClock(std::shared_ptr<HXClock> clock);
    HXClock& clock() const { return *_clock; }
    HXTimeInterval now() const { return _clock->now(); }

    // Modes.
    const std::string& currentMode() const; // the innermost running mode; empty when not running
    void addCommonMode(const std::string& mode);
    bool isCommonMode(const std::string& mode) const;

    // Running. runInMode runs passes in `mode` for at most `seconds` (0: one pass without waiting), ending
    // early on stop() or, when `returnAfterSourceHandled`, after the first pass that handled something.
    // runMode runs one pass in `mode`, waiting until `limitDate` at most, and tells whether something was
    // handled. runUntilDate runs the default mode until the date; run() runs it until stop().
    HXRunLoopRunResult runInMode(
        const std::string& mode, HXTimeInterval seconds, bool returnAfterSourceHandled = false);
    bool runMode(const std::string& mode, HXTimeInterval limitDate);
    void runUntilDate(HXTimeInterval limitDate);
    void run();
    // Ends the innermost run after its current pass.
    void stop();
    // Nesting depth of runs in progress (0 when the loop does not run).
    int runDepth() const;

    // Timers (the loop keeps scheduled timers alive until they are invalidated).
    void addTimer(const std::shared_ptr<HXTimer>& timer, const std::string& mode);
    void addTimer(const std::shared_ptr<HXTimer>& timer, const HXRunLoopModes& modes);

    // Performs. `target` is an opaque identity used only to cancel; `name` optionally tells requests of one
    // target apart (the action they stand for). A delayed perform of 0 seconds runs on a later pass.
    void performAfterDelay(const void* target, HXTimeInterval delay, std::function<void()> fn,
        const HXRunLoopModes& modes = { HXDefaultRunLoopMode });
    void performAfterDelay(const void* target, const std::string& name, HXTimeInterval delay,
        std::function<void()> fn, const HXRunLoopModes& modes = { HXDefaultRunLoopMode });
    void cancelPerformRequests(const void* target);
    void cancelPerformRequests(const void* target, const std::string& name);
    // Runs `fn` on the next pass in one of `modes`, lower `order` first (equal orders in queueing order).
    void perform(std::function<void()> fn, int order = 0,
        const HXRunLoopModes& modes = { HXRunLoopCommonModes }, const void* target = nullptr);

    // Thread-safe: runs `fn` on the main thread, in one of `modes`. From the main thread with `wait` it runs
    // at once; otherwise it is queued and the loop woken. With `wait` from another thread the caller blocks
    // until `fn` has run.
    static void performOnMainThread(
        std::function<void()> fn, bool wait = false, const HXRunLoopModes& modes = { HXRunLoopCommonModes });
    // Thread-safe: makes a waiting pass return.
    void wakeUp();

    // File-descriptor sources: `callback` gets the ready events (HXFileDescriptorEvents). The descriptor
    // stays owned by the caller; remove the source before closing it.
    using FileDescriptorCallback = std::function<void(int fd, uint32_t events)>;
    HXRunLoopSourceID addFileDescriptor(int fd, uint32_t events, FileDescriptorCallback callback,
        const HXRunLoopModes& modes = { HXRunLoopCommonModes });
    void setFileDescriptorEvents(HXRunLoopSourceID source, uint32_t events);
    void removeSource(HXRunLoopSourceID source); // also removes hooks and observers by their id

    // An event source for a window backend that has no descriptor: `dispatch` is called once in every pass in
    // `modes`, before the loop waits, and answers whether it handled something (then the pass does not
    // sleep). While it is installed the loop sleeps at most `maximumWait` seconds at a time (negative: no
    // limit).
    HXRunLoopSourceID addEventHook(std::function<bool()> dispatch, HXTimeInterval maximumWait = -1,
        const HXRunLoopModes& modes = { HXRunLoopCommonModes });

    // Observers of pass activities (HXRunLoopActivity bits).
    HXRunLoopSourceID addObserver(uint32_t activities, std::function<void(HXRunLoopActivity)> callback,
        const HXRunLoopModes& modes = { HXRunLoopCommonModes });

    // The earliest fire date of a timer or delayed perform that serves `mode`, or +infinity.
    HXTimeInterval nextFireDate(const std::string& mode) const;

    struct State;

private:
    friend class HXTimer;
    friend class HXManualClock;
    void timerDidChange(HXTimer& timer);
    void timerDidInvalidate(HXTimer& timer);
    bool runPass(const std::string& mode, HXTimeInterval limitDate);

    std::shared_ptr<HXClock> _clock;
    std::unique_ptr<State> _state;
};
