#pragma once
// Real servers on loopback for the streaming tests, started and ended by the test: a python HTTP server
// that answers ranges and can send slowly, the ffmpeg command line writing HLS and sending RTP, a python
// relay that drops RTP packets, and GStreamer's RTSP server (through python's GObject bindings). Every
// one binds 127.0.0.1 only and is ended (its whole process group) when the object goes.
#include "test_support.h"

#include "platform/basekit/run_loop.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace movara::test {

// A child process in a process group of its own; its first line of output is kept (a server tells its
// port there). Ended with SIGTERM, then SIGKILL, when the object goes.
class ServerProcess {
public:
    explicit ServerProcess(const std::vector<std::string>& argv, bool readFirstLine = false)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            setpgid(0, 0);
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        setpgid(_pid, _pid);
        close(fds[1]);
        _output = fds[0];
        if (readFirstLine) {
            char c;
            while (read(_output, &c, 1) == 1 && c != '\n')
                firstLine.push_back(c);
        }
    }
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool running() const { return _pid > 0; }
    // Ends the process group at once (a server that dies).
    void kill(int signal = SIGKILL)
    {
        if (_pid <= 0)
            return;
        ::kill(-_pid, signal);
        ::kill(_pid, signal);
        waitpid(_pid, nullptr, 0);
        _pid = -1;
    }
    void stop()
    {
        if (_pid > 0) {
            ::kill(-_pid, SIGTERM);
            ::kill(_pid, SIGTERM);
            for (int i = 0; i < 50; ++i) {
                if (waitpid(_pid, nullptr, WNOHANG) == _pid) {
                    _pid = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            kill();
        }
        if (_output >= 0) {
            close(_output);
            _output = -1;
        }
    }
    // The rest of the output, once the process ended.
    std::string readRest()
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while (_output >= 0 && (n = read(_output, buffer, sizeof buffer)) > 0)
            text.append(buffer, size_t(n));
        return text;
    }
    std::string firstLine;

private:
    pid_t _pid = -1;
    int _output = -1;
};

// An HTTP server over `folder` on 127.0.0.1 that answers byte ranges; each response is sent at
// `bytesPerSecond` (0: at once). A file's content type is application/octet-stream, or the text of a
// file beside it named as it is with ".type" added. A file beside it named as it is with ".stall" added
// holds an offset: no byte from there on is ever sent (the server stops sending without closing); one
// with ".cut" added holds an offset where every response ends, the connection closed. A location with a
// file named as it is with ".status" added is answered with that HTTP status and nothing else (401
// asking for a name and password), whether or not the location's own file is there.
inline const char* kRangeServerScript = R"(
import http.server, os, sys, time
root, rate = sys.argv[1], float(sys.argv[2])
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    def log_message(self, *args):
        pass
    def do_GET(self):
        path = os.path.join(root, self.path.split('?')[0].lstrip('/'))
        if os.path.isfile(path + '.status'):
            with open(path + '.status') as f:
                code = int(f.read().strip())
            self.send_response(code)
            if code == 401:
                self.send_header('WWW-Authenticate', 'Basic realm="movies"')
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        if not os.path.isfile(path):
            self.send_response(404)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        with open(path, 'rb') as f:
            data = f.read()
        size, start, end = len(data), 0, len(data) - 1
        wanted = self.headers.get('Range')
        if wanted and wanted.startswith('bytes='):
            a, _, b = wanted[6:].partition('-')
            start = int(a) if a else 0
            end = min(int(b), size - 1) if b else size - 1
            if start >= size:
                self.send_response(416)
                self.send_header('Content-Range', 'bytes */%d' % size)
                self.send_header('Content-Length', '0')
                self.end_headers()
                return
            self.send_response(206)
            self.send_header('Content-Range', 'bytes %d-%d/%d' % (start, end, size))
        else:
            self.send_response(200)
        self.send_header('Accept-Ranges', 'bytes')
        self.send_header('Content-Length', str(end - start + 1))
        kind = 'application/octet-stream'
        if os.path.isfile(path + '.type'):
            with open(path + '.type') as f:
                kind = f.read().strip()
        self.send_header('Content-Type', kind)
        self.end_headers()
        stall = size
        if os.path.isfile(path + '.stall'):
            with open(path + '.stall') as f:
                stall = int(f.read().strip())
        cut = size
        if os.path.isfile(path + '.cut'):
            with open(path + '.cut') as f:
                cut = int(f.read().strip())
        at = start
        while at <= end:
            if at >= cut:
                self.close_connection = True
                return
            if at >= stall:
                time.sleep(3600)
            piece = data[at:min(end + 1, at + 4096, max(stall, at + 1), max(cut, at + 1))]
            try:
                self.wfile.write(piece)
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                return
            at += len(piece)
            if rate > 0:
                time.sleep(len(piece) / rate)
server = http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[3])), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
)";

class RangeServer {
public:
    // On `onPort`, or on a free one (0).
    RangeServer(const std::filesystem::path& folder, double bytesPerSecond = 0, int onPort = 0)
        : _process({ "python3", "-c", kRangeServerScript, folder.string(), std::to_string(bytesPerSecond),
                       std::to_string(onPort) },
            true)
    {
        port = _process.firstLine.empty() ? 0 : std::stoi(_process.firstLine);
    }
    std::string url(const std::string& name) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + name;
    }
    void kill() { _process.kill(); }
    int port = 0;

private:
    ServerProcess _process;
};

// An HTTP server on 127.0.0.1 (on the port given, or a free one for 0) that answers every request with
// a live transport stream the ffmpeg command line makes as it is sent (a 320x240 picture at 25 a second
// and a tone), of no told length, like a broadcast; it tells its port. Ending it ends its encoders.
inline const char* kLiveTransportServerScript = R"(
import http.server, subprocess, sys
class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def do_GET(self):
        self.send_response(200)
        self.send_header('Content-Type', 'video/mp2t')
        self.end_headers()
        encoder = subprocess.Popen(['ffmpeg', '-nostdin', '-v', 'error', '-re',
            '-f', 'lavfi', '-i', 'testsrc=size=320x240:rate=25',
            '-f', 'lavfi', '-i', 'sine=frequency=440:sample_rate=44100',
            '-c:v', 'libx264', '-preset', 'ultrafast', '-g', '25', '-pix_fmt', 'yuv420p',
            '-c:a', 'aac', '-f', 'mpegts', 'pipe:1'], stdout=subprocess.PIPE)
        try:
            while True:
                data = encoder.stdout.read1(65536)
                if not data:
                    break
                self.wfile.write(data)
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            encoder.kill()
            encoder.wait()
server = http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
)";

// A relay from one loopback UDP port pair to another that drops each RTP packet with `probability`
// (RTCP passes); at its end it prints "forwarded dropped".
inline const char* kDropRelayScript = R"(
import random, select, signal, socket, sys
inPort, outPort, probability = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
rtp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); rtp.bind(('127.0.0.1', inPort))
rtcp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); rtcp.bind(('127.0.0.1', inPort + 1))
send = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); send.bind(('127.0.0.1', 0))
chance = random.Random(1234)
counts = [0, 0]
def finish(*args):
    print(counts[0], counts[1], flush=True)
    sys.exit(0)
signal.signal(signal.SIGTERM, finish)
print('ready', flush=True)
while True:
    ready, _, _ = select.select([rtp, rtcp], [], [])
    for s in ready:
        data = s.recv(65536)
        if s is rtcp:
            send.sendto(data, ('127.0.0.1', outPort + 1))
        elif chance.random() < probability:
            counts[1] += 1
        else:
            counts[0] += 1
            send.sendto(data, ('127.0.0.1', outPort))
)";

// GStreamer's RTSP server on 127.0.0.1 serving `movie` (H.264 in a movie file) at /test, over the
// lower transports named ("udp", "tcp" or "udp+tcp"); it tells its port.
inline const char* kRTSPServerScript = R"(
import sys
import gi
gi.require_version('Gst', '1.0')
gi.require_version('GstRtsp', '1.0')
gi.require_version('GstRtspServer', '1.0')
from gi.repository import Gst, GstRtsp, GstRtspServer, GLib
Gst.init(None)
movie, transports = sys.argv[1], sys.argv[2]
server = GstRtspServer.RTSPServer()
server.set_address('127.0.0.1')
server.set_service('0')
factory = GstRtspServer.RTSPMediaFactory()
factory.set_launch('( filesrc location="%s" ! qtdemux ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=1 )' % movie)
factory.set_shared(True)
protocols = 0
if 'udp' in transports:
    protocols |= GstRtsp.RTSPLowerTrans.UDP
if 'tcp' in transports:
    protocols |= GstRtsp.RTSPLowerTrans.TCP
factory.set_protocols(GstRtsp.RTSPLowerTrans(protocols))
# The media's UDP ports on loopback too.
pool = GstRtspServer.RTSPAddressPool()
pool.add_range('127.0.0.1', '127.0.0.1', 50000, 60000, 0)
factory.set_address_pool(pool)
server.get_mount_points().add_factory('/test', factory)
server.attach(None)
print(server.get_bound_port(), flush=True)
GLib.MainLoop().run()
)";

// The system's python with GObject's bindings and GStreamer's RTSP server, or empty.
inline std::string pythonWithRTSPServer()
{
    for (const char* python : { "/usr/bin/python3", "python3" }) {
        auto r = runCommand({ python, "-c",
            "import gi; gi.require_version('GstRtspServer', '1.0'); from gi.repository import GstRtspServer" });
        if (r.status == 0)
            return python;
    }
    return {};
}

// A free UDP port on 127.0.0.1 whose successor is free too (for RTP and RTCP).
// Whether a UDP port of 127.0.0.1 can be bound now.
inline bool udpPortIsFree(int port)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return free;
}

inline int freeUDPPortPair()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        int port = ntohs(a.sin_port);
        close(fd);
        if (port % 2 != 0 || port > 65000)
            continue;
        if (udpPortIsFree(port + 1))
            return port;
    }
    return 0;
}

// Runs the main run loop until `done` answers true or `seconds` pass; answers `done()`. The longest
// single pass is kept in `longestPass` when given (a window that answers never waits long).
inline bool runLoopUntil(const std::function<bool()>& done, double seconds, double* longestPass = nullptr)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        auto before = std::chrono::steady_clock::now();
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02);
        double pass = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        if (longestPass)
            *longestPass = std::max(*longestPass, pass);
    }
    return done();
}

// Where a test that receives pushed streams runs: the test runs itself again inside a new network
// namespace whose only interface is loopback, so that nothing the demuxer binds (its RTP ports bind
// every address of the namespace) reaches the machine's network.
enum class PrivateNetwork { Inside, Done, Unavailable };

inline PrivateNetwork runInPrivateNetwork()
{
    static const char kChild[] = "MOVARA_PRIVATE_NETWORK_CHILD";
    if (std::getenv(kChild))
        return PrivateNetwork::Inside;
    if (!haveProgram("unshare") || !haveProgram("ip") || runCommand({ "unshare", "-n", "true" }).status != 0)
        return PrivateNetwork::Unavailable;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    auto result = runCommand({ "timeout", "240", "unshare", "-n", "sh", "-c", "ip link set lo up && exec \"$0\" \"$@\"",
        "env", std::string(kChild) + "=1", self, "--gtest_filter=" + name });
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
    return PrivateNetwork::Done;
}

} // namespace movara::test
