// MVPlayerHelper: carries out one background job of the player, then ends.
//
//   MVPlayerHelper <port>
//
// It connects to 127.0.0.1:<port>, proves it is the worker the player started with the secret read from
// the descriptor named by MVPLAYERHELPER_SECRET_FD, reads the job's parameters as the first message,
// performs the job and reports on the same connection. Exit status: 0 when the job completed or was
// canceled, 1 when it failed (the reason went to the player first), 2 when it could not reach the player.
// Status 42 is never used: the player reads it as "the worker could not be started".
#include "export/helper/export_job.h"
#include "export/helper/flatten_job.h"
#include "export/helper/helper_connection.h"
#include "export/helper/publish_job.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr double kParametersTimeout = 60; // seconds to wait for the job after proving ourselves

bool parsePort(const char* text, uint16_t* port)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > 65535)
        return false;
    *port = uint16_t(value);
    return true;
}

std::string readSecret()
{
    const char* fdText = std::getenv("MVPLAYERHELPER_SECRET_FD");
    if (!fdText)
        return {};
    char* end = nullptr;
    long fd = std::strtol(fdText, &end, 10);
    if (*end != '\0' || fd < 3 || fd > 1 << 20)
        return {};
    std::string secret;
    char buffer[256];
    while (secret.size() < 4096) {
        ssize_t n = ::read(int(fd), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        secret.append(buffer, size_t(n));
    }
    ::close(int(fd));
    ::unsetenv("MVPLAYERHELPER_SECRET_FD");
    return secret;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "MVPlayerHelper: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Jobs yield to the player and to the rest of the desktop.
    ::setpriority(PRIO_PROCESS, 0, ::getpriority(PRIO_PROCESS, 0) + 3);

    uint16_t port = 0;
    if (argc != 2 || !parsePort(argv[1], &port))
        return fail("usage: MVPlayerHelper <port>");
    std::string secret = readSecret();
    if (secret.empty())
        return fail("no secret was handed over; this program is started by the player");

    std::string error;
    auto player = HelperConnection::connectToPort(port, &error);
    if (!player)
        return fail(error);
    if (!player->send(HXPropertyList::Dictionary { { "MVHelperSecret", secret } }))
        return fail("the player closed the connection");
    auto first = player->receive(kParametersTimeout);
    if (!first || !first->isDictionary())
        return fail("the player sent no job");
    const auto& params = first->dictionaryValue();

    std::string kind = params.count("MVExpType") ? params.at("MVExpType").stringValue() : std::string();
    bool publishes = params.count("MVPublishStep") != 0;
    HelperJobResult result = HelperJobResult::Complete;
    if (kind == "Flatten") {
        result = performFlattenJob(*player, params);
    } else if (kind == "Export") {
        result = performExportJob(*player, params);
    } else if (kind == "ExportSession") {
        result = performExportSessionJob(*player, params);
    } else if (!kind.empty()) {
        HelperReportError(
            *player, HelperUnimplementedError, "MVPlayerHelper cannot perform \"" + kind + "\" jobs.");
        result = HelperJobResult::Failed;
    } else if (!publishes) {
        HelperReportError(*player, HelperParameterError, "The job does not say what to do (\"MVExpType\").");
        result = HelperJobResult::Failed;
    }
    // A publishing step (the share sheet's) follows the movie's writing, or is the whole job when the
    // movie is published from its own file.
    if (result == HelperJobResult::Complete && publishes)
        result = performPublishStep(*player, params);
    player.reset(); // closes the connection before the process ends
    return result == HelperJobResult::Failed ? 1 : 0;
}
