#include "platform/mvkit/streaming/rtp_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word)
        out.push_back(word);
    return out;
}

// The address of a "c=IN IP4 a.b.c.d[/ttl]" line; empty for anything else.
std::string connectionAddress(const std::string& line)
{
    auto w = words(line.substr(2));
    if (w.size() < 3 || w[0] != "IN" || w[1] != "IP4")
        return {};
    return w[2].substr(0, w[2].find('/'));
}

bool isUnicast(const std::string& address)
{
    in_addr a {};
    if (inet_pton(AF_INET, address.c_str(), &a) != 1)
        return false;
    uint32_t host = ntohl(a.s_addr);
    return (host >> 28) != 0xE; // 224.0.0.0/4 is multicast
}

int bindUDP(const std::string& address, int port)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1
        || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int size = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return fd;
}

int boundPort(int fd)
{
    sockaddr_in a {};
    socklen_t length = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    return ntohs(a.sin_port);
}

// An even loopback port whose successor is free too, for the demuxer to bind (RTP and RTCP).
int freePortPair()
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        int fd = bindUDP("127.0.0.1", 0);
        if (fd < 0)
            return 0;
        int port = boundPort(fd);
        ::close(fd);
        if (port <= 0 || port % 2 != 0 || port >= 65535)
            continue;
        int rtp = bindUDP("127.0.0.1", port);
        int rtcp = bindUDP("127.0.0.1", port + 1);
        bool free = rtp >= 0 && rtcp >= 0;
        if (rtp >= 0)
            ::close(rtp);
        if (rtcp >= 0)
            ::close(rtcp);
        if (free)
            return port;
    }
    return 0;
}

} // namespace

std::vector<MVRTPRelay::Media> MVRTPRelay::mediaOfDescription(const std::string& sdp)
{
    std::vector<Media> media;
    std::string sessionAddress;
    bool inMedia = false;
    for (const auto& line : lines(sdp)) {
        if (line.rfind("c=", 0) == 0) {
            std::string address = connectionAddress(line);
            if (address.empty() || !isUnicast(address))
                return {};
            if (inMedia)
                media.back().address = address;
            else
                sessionAddress = address;
        } else if (line.rfind("m=", 0) == 0) {
            auto w = words(line.substr(2));
            if (w.size() < 3 || w[2].rfind("RTP/", 0) != 0)
                return {};
            int port = std::atoi(w[1].c_str());
            if (port <= 0 || port >= 65535 || w[1].find('/') != std::string::npos)
                return {};
            media.push_back({ sessionAddress, port, port + 1 });
            inMedia = true;
        } else if (inMedia && line.rfind("a=rtcp:", 0) == 0) {
            int port = std::atoi(line.c_str() + 7);
            if (port > 0 && port < 65536)
                media.back().rtcpPort = port;
        }
    }
    for (const auto& m : media)
        if (m.address.empty())
            return {};
    return media;
}

std::string MVRTPRelay::rewriteDescription(const std::string& sdp, const std::vector<int>& ports)
{
    std::string out;
    size_t medium = 0;
    for (const auto& line : lines(sdp)) {
        if (line.rfind("c=", 0) == 0) {
            out += "c=IN IP4 127.0.0.1\r\n";
        } else if (line.rfind("m=", 0) == 0 && medium < ports.size()) {
            auto w = words(line.substr(2));
            std::string rewritten = "m=" + (w.empty() ? std::string() : w[0]) + " " + std::to_string(ports[medium++]);
            for (size_t i = 2; i < w.size(); ++i)
                rewritten += " " + w[i];
            out += rewritten + "\r\n";
        } else if (line.rfind("a=rtcp:", 0) == 0) {
            continue;
        } else if (!line.empty()) {
            out += line + "\r\n";
        }
    }
    return out;
}

std::unique_ptr<MVRTPRelay> MVRTPRelay::start(const std::vector<Media>& media, HXError* outError)
{
    std::unique_ptr<MVRTPRelay> relay(new MVRTPRelay());
    auto fail = [&](const std::string& text) -> std::unique_ptr<MVRTPRelay> {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, -2014, text);
        return nullptr;
    };
    for (const auto& m : media) {
        int forward = freePortPair();
        if (forward == 0)
            return fail("No port is free to receive the stream on.");
        int rtp = bindUDP(m.address, m.rtpPort);
        if (rtp < 0)
            return fail("The stream's port " + std::to_string(m.rtpPort) + " at " + m.address
                + " cannot be used: " + std::strerror(errno) + ".");
        relay->_sockets.push_back({ rtp, forward, true });
        int rtcp = bindUDP(m.address, m.rtcpPort);
        if (rtcp >= 0)
            relay->_sockets.push_back({ rtcp, forward + 1, false });
        relay->_forwardPorts.push_back(forward);
    }
    relay->_sendFd = bindUDP("127.0.0.1", 0);
    if (relay->_sendFd < 0 || pipe2(relay->_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail("The stream cannot be received.");
    relay->_thread = std::thread([raw = relay.get()] { raw->run(); });
    return relay;
}

MVRTPRelay::~MVRTPRelay()
{
    stop();
}

void MVRTPRelay::stop()
{
    if (_thread.joinable()) {
        char c = 0;
        (void)!::write(_wake[1], &c, 1);
        _thread.join();
    }
    for (auto& s : _sockets)
        if (s.fd >= 0) {
            ::close(s.fd);
            s.fd = -1;
        }
    for (int* fd : { &_sendFd, &_wake[0], &_wake[1] })
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

MVRTPRelay::Counts MVRTPRelay::counts() const
{
    std::lock_guard lock(_mutex);
    Counts c;
    c.bytes = _bytes;
    for (const auto& [ssrc, counter] : _counters) {
        c.expected += counter.expected();
        c.lost += counter.lost();
    }
    return c;
}

void MVRTPRelay::run()
{
    std::vector<pollfd> fds;
    for (const auto& s : _sockets)
        fds.push_back({ s.fd, POLLIN, 0 });
    fds.push_back({ _wake[0], POLLIN, 0 });
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds.back().revents)
            return;
        for (size_t i = 0; i + 1 < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                receiveOn(i);
    }
}

void MVRTPRelay::receiveOn(size_t socketIndex)
{
    const Socket& s = _sockets[socketIndex];
    uint8_t packet[65536];
    for (;;) {
        ssize_t n = ::recv(s.fd, packet, sizeof packet, MSG_DONTWAIT);
        if (n < 0)
            return;
        if (s.rtp && n >= 12 && (packet[0] >> 6) == 2) {
            uint16_t sequence = uint16_t((packet[2] << 8) | packet[3]);
            uint32_t ssrc = (uint32_t(packet[8]) << 24) | (uint32_t(packet[9]) << 16) | (uint32_t(packet[10]) << 8)
                | packet[11];
            std::lock_guard lock(_mutex);
            _bytes += n;
            _counters[ssrc].receive(sequence);
        }
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(s.forwardPort));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(_sendFd, packet, size_t(n), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
}
