// The Open URL sheet with real service discovery, kept off the machine's network: the test runs itself
// again in new network and mount namespaces, where it mounts a private /run, brings up loopback and a veth
// pair, starts a system message bus and the discovery daemon, and publishes an RTSP service. The sheet
// lists the service, resolves it when the user picks it, and opens its URL (the owner's did-end stands in
// for opening the document, so nothing connects). Every process the test starts is ended before it
// returns. Without the right to make namespaces, or without the tools, the test is skipped.
#include "app/open_url_panel.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"
#include "player/controls/image_pop_up_button.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

using movara::test::haveProgram;
using movara::test::runCommand;

constexpr const char* kChildSwitch = "MOVARA_OPEN_URL_NAMESPACE_CHILD";
constexpr const char* kServiceName = "Movara Test Camera";

// The processes started inside the namespace, ended in reverse order however the test leaves.
class Processes {
public:
    ~Processes()
    {
        for (auto it = _pids.rbegin(); it != _pids.rend(); ++it)
            stop(*it);
    }
    void add(pid_t pid, bool child) { _pids.push_back({ pid, child }); }

private:
    struct Entry {
        pid_t pid;
        bool child;
    };
    static void stop(const Entry& e)
    {
        if (e.pid <= 0)
            return;
        ::kill(e.pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (e.child ? ::waitpid(e.pid, nullptr, WNOHANG) == e.pid : ::kill(e.pid, 0) != 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(e.pid, SIGKILL);
        if (e.child)
            ::waitpid(e.pid, nullptr, 0);
    }
    std::vector<Entry> _pids;
};

pid_t spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    return pid;
}

pid_t pidFromFile(const std::string& path)
{
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(path);
        long pid = 0;
        if (in >> pid && pid > 0)
            return pid_t(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

bool run(const std::vector<std::string>& argv)
{
    auto result = runCommand(argv);
    EXPECT_EQ(result.status, 0) << argv[0] << " " << (argv.size() > 1 ? argv[1] : "");
    return result.status == 0;
}

// Runs the main loop until `done` or `seconds` pass.
template<class F> bool runUntil(F done, double seconds)
{
    auto& loop = HXRunLoop::main();
    double end = loop.now() + seconds;
    while (!done() && loop.now() < end)
        loop.runInMode(HXDefaultRunLoopMode, 0.05, true);
    return done();
}

// Inside the namespaces: the private network, the daemons, the service and the sheet.
void discoverInsideTheNamespace()
{
    ASSERT_EQ(::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755"), 0) << "a private /run";
    std::filesystem::create_directories("/run/dbus");
    std::filesystem::create_directories("/run/avahi-daemon");
    ASSERT_TRUE(run({ "ip", "link", "set", "lo", "up" }));
    ASSERT_TRUE(run({ "ip", "link", "add", "d0", "type", "veth", "peer", "name", "d1" }));
    ASSERT_TRUE(run({ "ip", "link", "set", "d0", "multicast", "on" }));
    ASSERT_TRUE(run({ "ip", "link", "set", "d1", "multicast", "on" }));
    ASSERT_TRUE(run({ "ip", "addr", "add", "10.231.7.1/24", "dev", "d0" }));
    ASSERT_TRUE(run({ "ip", "link", "set", "d0", "up" }));
    ASSERT_TRUE(run({ "ip", "link", "set", "d1", "up" }));

    Processes processes;
    auto bus = runCommand({ "dbus-daemon", "--system", "--fork", "--print-pid" });
    ASSERT_EQ(bus.status, 0) << "the system message bus starts";
    processes.add(pid_t(std::atol(bus.output.c_str())), false);
    ASSERT_EQ(runCommand({ "avahi-daemon", "-D", "--no-drop-root", "--no-chroot" }).status, 0);
    pid_t daemon = pidFromFile("/run/avahi-daemon/pid");
    ASSERT_GT(daemon, 0) << "the discovery daemon runs";
    processes.add(daemon, false);
    pid_t publisher = spawn({ "avahi-publish", "-s", kServiceName, "_rtsp._tcp", "554", "path=/live" });
    ASSERT_GT(publisher, 0);
    processes.add(publisher, true);

    HXHeadlessWindowServer::install();
    HXApplication::setSharedApplication(std::make_shared<HXApplication>());
    auto parent = std::make_shared<HXWindow>(HXMakeRect(100, 100, 600, 400), HXTitledWindowMask);
    parent->makeKeyAndOrderFront();
    auto panel = OpenURLPanel::openURLPanelWithUserDefaultsKey("OpenURLDiscoveryTestHistory");
    std::vector<std::string> opened;
    panel->beginSheetWithWindow(parent, [&opened](OpenURLPanel& p, long code) {
        if (code == 1)
            opened.push_back(p.url() ? p.url()->absoluteString() : "<none>");
        p.close();
    });

    // The service appears in the pop-up, found by the browser.
    auto popUp = panel->urlPopUpButton();
    ASSERT_TRUE(runUntil([&] { return popUp->itemWithTitle(kServiceName) != nullptr; }, 30))
        << "the published service is listed";
    EXPECT_TRUE(opened.empty()) << "listing opens nothing";

    // The user picks it: it resolves and opens.
    auto item = popUp->itemWithTitle(kServiceName);
    popUp->selectItem(item);
    panel->selectURL(item.get());
    ASSERT_TRUE(runUntil([&] { return !opened.empty(); }, OpenURLPanel::kResolveTimeout + 5))
        << "the service resolves";
    ASSERT_EQ(opened.size(), 1u);
    const std::string& url = opened.front();
    EXPECT_EQ(url.rfind("rtsp://", 0), 0u) << url;
    EXPECT_NE(url.find(".local/live"), std::string::npos)
        << url << ": the host, the default port left out, the path";
    EXPECT_EQ(url.find(":554"), std::string::npos) << url;
    EXPECT_EQ(panel->urlArray(), std::vector<std::string> { url }) << "it enters the history";
    EXPECT_FALSE(panel->isResolving());

    // The service going away takes its item with it.
    panel->beginSheetWithWindow(parent, [](OpenURLPanel& p, long) { p.close(); });
    ASSERT_TRUE(runUntil([&] { return popUp->itemWithTitle(kServiceName) != nullptr; }, 30));
    ::kill(publisher, SIGTERM);
    EXPECT_TRUE(runUntil([&] { return popUp->itemWithTitle(kServiceName) == nullptr; }, 30))
        << "the withdrawn service is removed";
    panel->close();
    panel.reset();
    parent->close();
    HXApplication::setSharedApplication(nullptr);
}

TEST(OpenURLDiscovery, ListsResolvesAndOpensAServiceOnAPrivateNetwork)
{
    if (std::getenv(kChildSwitch)) {
        discoverInsideTheNamespace();
        return;
    }
    for (const char* tool : { "unshare", "ip", "dbus-daemon", "avahi-daemon", "avahi-publish" })
        if (!haveProgram(tool))
            GTEST_SKIP() << tool << " is not installed: the discovery test needs it";
    if (runCommand({ "unshare", "-n", "-m", "true" }).status != 0)
        GTEST_SKIP() << "unshare is not permitted here: no private network and mount namespaces for the "
                        "discovery daemon, so the test does not run";
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    auto result
        = runCommand({ "timeout", "120", "unshare", "-n", "-m", "env", std::string(kChildSwitch) + "=1", self,
            "--gtest_filter=OpenURLDiscovery.ListsResolvesAndOpensAServiceOnAPrivateNetwork" });
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
}

} // namespace
