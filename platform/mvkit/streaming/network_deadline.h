#pragma once
// MVNetworkDeadline: ends libavformat's network waits. Each blocking call gets a time limit (arm); the
// interrupt callback tells libavformat to stop once the limit passed or the owner cancelled, so no
// wait on the network lasts beyond what the caller allowed.
extern "C" {
#include <libavformat/avio.h>
}

#include <atomic>
#include <string>

class MVNetworkDeadline {
public:
    // The next wait may last `seconds`.
    void arm(double seconds);
    void cancel() { _cancelled = true; }
    bool cancelled() const { return _cancelled; }
    // The last wait ended at its limit.
    bool timedOut() const { return _timedOut; }
    AVIOInterruptCB callback() { return { &MVNetworkDeadline::interrupted, this }; }

    // libavformat's text for an error code.
    static std::string errorText(int code);
    // Whether an opening that failed with `code` never reached the server: no route, refused, timed out,
    // or (EIO from the name lookup) no such host.
    static bool isUnreachable(int code);

private:
    static int interrupted(void* opaque);

    std::atomic<bool> _cancelled { false };
    std::atomic<bool> _timedOut { false };
    std::atomic<double> _limit { 0 };
};
