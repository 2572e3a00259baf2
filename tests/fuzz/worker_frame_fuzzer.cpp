// Feeds arbitrary bytes, as the player would send them, to the worker's end of the job connection: the
// frames are read, cancels and resource grants noted, and the other messages handed out, until the
// stream ends or turns out unreadable.
#include "export/helper/helper_connection.h"

#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    // Small inputs fit the socket's buffer whole; larger ones are cut there, as a slow player would.
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    ::shutdown(ends[1], SHUT_WR);
    HelperConnection connection(ends[0]);
    connection.poll();
    connection.waitForResult(0);
    for (int i = 0; i < 10000; ++i) {
        auto message = connection.receive(0);
        if (!message)
            break;
        (void)message->isDictionary();
    }
    (void)connection.shouldStop();
    ::close(ends[1]);
    return 0;
}
