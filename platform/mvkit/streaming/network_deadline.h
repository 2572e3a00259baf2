#pragma once
// MVNetworkDeadline: ends libavformat's network waits. Each blocking call gets a time limit (arm); the
// interrupt callback tells libavformat to stop once the limit passed or the owner cancelled, so no
// wait on the network lasts beyond what the caller allowed.
extern "C" {
#include <libavformat/avio.h>
}

#include <atomic>
#include <optional>
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
    // "the server at host:port" as `url` names it, or "the server" where it names no host.
    static std::string serverOf(const std::string& url);
    // "1 second", "2.5 seconds".
    static std::string secondsText(double seconds);
    // Why opening `url` failed with `code`, as the words after a colon in a sentence, naming the server:
    // "the server at 127.0.0.1:8000 refused the connection". `timedOut` when the wait of `timeout`
    // seconds ran out first; `what` is what the location was to hold ("movie", "stream"). Every place
    // that opens a location says it with these words, so a failure reads the same wherever it shows.
    static std::string openFailureReason(
        int code, bool timedOut, double timeout, const std::string& url, const std::string& what = "movie");
    // The same, or nothing where the player has no words of its own for `code` (openFailureReason then
    // gives libavformat's text).
    static std::optional<std::string> openFailureWords(
        int code, bool timedOut, double timeout, const std::string& url, const std::string& what = "movie");
    // libavformat's text for `code`, to follow a colon: "connection reset by peer".
    static std::string errorClause(int code);

private:
    static int interrupted(void* opaque);

    std::atomic<bool> _cancelled { false };
    std::atomic<bool> _timedOut { false };
    std::atomic<double> _limit { 0 };
};
