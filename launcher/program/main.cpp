// player-chooser: hands each file it is asked to open to Movara Player or to the newer player, and quits
// by itself 10 seconds after the last request. The files of a request are its arguments.
#include "launcher/brannock.h"
#include "platform/basekit/run_loop.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// How long the launcher stays after a request (or after starting without one).
constexpr double kTerminateDelay = 10.0;

} // namespace

int main(int argc, char** argv)
{
    // The players run on their own; the launcher does not wait for them.
    std::signal(SIGCHLD, SIG_IGN);

    MVPLauncherSystemWorkspace workspace;
    Brannock delegate(workspace);
    HXRunLoop& loop = HXRunLoop::main();
    static const int terminateTarget = 0;
    auto scheduleTerminate = [&loop] {
        loop.cancelPerformRequests(&terminateTarget, "terminate");
        loop.performAfterDelay(&terminateTarget, "terminate", kTerminateDelay, [&loop] { loop.stop(); },
            { HXRunLoopCommonModes });
    };
    scheduleTerminate();

    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        auto absolute = std::filesystem::absolute(argv[i], ec);
        files.push_back(ec ? std::string(argv[i]) : absolute.string());
    }
    bool allOpened = true;
    if (!files.empty()) {
        loop.perform([&] {
            allOpened = delegate.openFiles(files);
            scheduleTerminate();
        });
    }
    loop.run();
    return allOpened ? 0 : 1;
}
