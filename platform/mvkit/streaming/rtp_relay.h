#pragma once
// MVRTPRelay: receives the RTP and RTCP packets of a stream sent to this machine, counts them by their
// sequence numbers (per RTP source) and hands them on over loopback to the demuxer, which is given a
// description that names the relay's ports instead. This is how a stream received without a control
// connection (an SDP description, an rtp:// location) learns its packet loss.
#include "platform/basekit/error.h"
#include "platform/mvkit/streaming/rtp_sequence_counter.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MVRTPRelay {
public:
    struct Media {
        std::string address; // where the packets are sent: an address of this machine
        int rtpPort = 0;
        int rtcpPort = 0;
    };
    struct Counts {
        int64_t bytes = 0; // RTP payload and headers received
        int64_t expected = 0; // RTP packets, from the sequence numbers
        int64_t lost = 0;
    };

    // The media an SDP text announces; empty when some medium is not plain unicast IPv4 RTP (the
    // demuxer then receives it itself).
    static std::vector<Media> mediaOfDescription(const std::string& sdp);
    // The SDP text with every connection address set to 127.0.0.1, the media ports replaced by `ports`
    // in order and explicit RTCP ports left out (they follow their RTP port).
    static std::string rewriteDescription(const std::string& sdp, const std::vector<int>& ports);

    // Binds the media's ports and starts forwarding; null (with `outError`) when a port cannot be had.
    static std::unique_ptr<MVRTPRelay> start(const std::vector<Media>& media, HXError* outError);
    ~MVRTPRelay();
    MVRTPRelay(const MVRTPRelay&) = delete;
    MVRTPRelay& operator=(const MVRTPRelay&) = delete;

    // The loopback RTP port each medium is handed on to (its RTCP goes to the port after it).
    const std::vector<int>& forwardPorts() const { return _forwardPorts; }
    Counts counts() const;
    // Stops receiving and lets the ports go; the counts stay.
    void stop();

private:
    MVRTPRelay() = default;
    void run();
    void receiveOn(size_t socketIndex);

    struct Socket {
        int fd = -1;
        int forwardPort = 0;
        bool rtp = true;
    };
    std::vector<Socket> _sockets;
    std::vector<int> _forwardPorts;
    int _sendFd = -1;
    int _wake[2] = { -1, -1 };
    mutable std::mutex _mutex;
    std::map<uint32_t, MVRTPSequenceCounter> _counters; // by synchronisation source
    int64_t _bytes = 0;
    std::thread _thread;
};
