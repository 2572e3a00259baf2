#pragma once
// MVURLProbe: asks the server of a network location whose name says nothing ("http://host/live",
// "rtsp://host/camera") whether it sends something the player plays, before a movie is made of it.
//
// Over HTTP(S) the probe connects, reads the response's content type and its first bytes and lets
// libavformat recognise them (a playlist, a transport stream, a movie file ...); over RTSP libavformat
// asks the server to describe the stream (and sets it up paused). Everything ends at a deadline, so a
// server that does not answer costs that long and no longer; a refusal says why: the connection was
// refused, the server has nothing there, what it sends is not a movie, it did not answer in time.
//
// start() asks on a thread of its own and tells the outcome on the main thread; dropping the probe
// (or cancel()) ends the question, and nothing is told afterwards.
#include "platform/basekit/error.h"
#include "platform/mvkit/streaming/network_deadline.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

class MVURLProbe : public std::enable_shared_from_this<MVURLProbe> {
public:
    // How long a probe waits for a server unless told otherwise.
    static constexpr double kDefaultTimeout = 8;
    // How much of an HTTP response is read to recognise it.
    static constexpr int kProbeBytes = 256 * 1024;

    enum class Outcome {
        Plays,
        Refused, // the server refused the connection
        NotFound, // the server has nothing at that location
        NotAMovie, // what the server sends is nothing the player plays
        NoAnswer, // no answer within the deadline
        Unreachable, // no such host, no route to it
        Failed, // any other refusal (told in the error)
    };
    struct Result {
        Outcome outcome = Outcome::Failed;
        std::string formatName; // libavformat's name for what it recognised ("hls", "mpegts", "rtsp")
        std::string contentType; // the HTTP response's, when there was one
        HXError error; // why it does not play (HXOSStatusErrorDomain, the location under HXURLErrorKey)
        bool plays() const { return outcome == Outcome::Plays; }
    };
    using Completion = std::function<void(const Result& result)>;

    static std::shared_ptr<MVURLProbe> start(const std::string& url, double timeout, Completion completion);
    // The same question answered on the calling thread (not the main thread: it waits on the network).
    static Result probe(const std::string& url, double timeout, MVNetworkDeadline& network);

    ~MVURLProbe();
    void cancel();
    const std::string& url() const { return _url; }

private:
    MVURLProbe(std::string url, Completion completion);

    const std::string _url;
    Completion _completion; // main thread
    MVNetworkDeadline _network;
    std::thread _thread;
};
