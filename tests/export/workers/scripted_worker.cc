// A worker for the job queue's tests: it connects and proves itself like MVPlayerHelper, then follows the
// steps in its parameters' "script" array, so each test chooses how the worker behaves (and misbehaves).
//
// Steps (dictionaries, one key each):
//   {"send": dict}          sends a message
//   {"raw": data}           writes bytes as they are (broken frames)
//   {"waitFor": "Result"}   waits for a resource grant; {"waitFor": "Cancel"} for a cancel
//   {"sleep": seconds}      sleeps
//   {"writeFile": path}     creates a small file
//   {"exit": status}        closes the connection and exits with that status
//   {"crash": true}         dies of SIGSEGV
//   {"closeAndHang": s}     closes the connection, then keeps running for s seconds
//   {"describeSelf": true}  sends {"argv": [...], "environment": {...}} as the worker sees them
#include "export/helper/helper_connection.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

std::string readSecret()
{
    const char* fdText = std::getenv("MVPLAYERHELPER_SECRET_FD");
    if (!fdText)
        return {};
    int fd = std::atoi(fdText);
    std::string secret;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        secret.append(buffer, size_t(n));
    ::close(fd);
    return secret;
}

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::string error;
    auto player = HelperConnection::connectToPort(uint16_t(std::atoi(argv[1])), &error);
    if (!player)
        return 2;
    player->send(HXPropertyList::Dictionary { { "MVHelperSecret", readSecret() } });
    auto params = player->receive(30);
    if (!params)
        return 2;
    for (const auto& step : (*params)["script"].arrayValue()) {
        if (step.contains("send")) {
            player->send(step["send"]);
        } else if (step.contains("raw")) {
            auto bytes = step["raw"].dataValue();
            if (::send(player->fileDescriptor(), bytes.bytes.data(), bytes.size(), MSG_NOSIGNAL)
                != ssize_t(bytes.size()))
                return 3;
        } else if (step.contains("waitFor")) {
            if (step["waitFor"].stringValue() == "Result") {
                if (!player->waitForResult(30))
                    return 4;
            } else {
                for (int i = 0; i < 3000 && !player->shouldStop(); ++i) {
                    player->poll();
                    sleepFor(0.01);
                }
            }
        } else if (step.contains("sleep")) {
            sleepFor(step["sleep"].realValue());
        } else if (step.contains("writeFile")) {
            std::ofstream(step["writeFile"].stringValue()) << "partial";
        } else if (step.contains("exit")) {
            player.reset();
            return int(step["exit"].integerValue());
        } else if (step.contains("crash")) {
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        } else if (step.contains("describeSelf")) {
            HXPropertyList::Array arguments;
            for (int i = 0; i < argc; ++i)
                arguments.emplace_back(argv[i]);
            HXPropertyList::Dictionary environment;
            for (char** e = environ; *e; ++e) {
                std::string entry = *e;
                auto equals = entry.find('=');
                if (equals != std::string::npos)
                    environment[entry.substr(0, equals)] = entry.substr(equals + 1);
            }
            player->send(
                HXPropertyList::Dictionary { { "argv", arguments }, { "environment", environment } });
        } else if (step.contains("closeAndHang")) {
            player.reset();
            sleepFor(step["closeAndHang"].realValue());
            return 0;
        }
    }
    return 0;
}
