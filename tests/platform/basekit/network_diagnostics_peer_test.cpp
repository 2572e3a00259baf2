// The network service's view of the connection, read from a stand-in of the service on a D-Bus daemon of
// the test's own (pointed at as the system bus): the state in words, a diagnosis that has the connection
// tested and lists the devices, and nothing at all where no bus or no service answers.
#include "platform/basekit/network_diagnostics.h"

#include "network_manager_standin.h"
#include "private_bus.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace movara::test;

TEST(NetworkDiagnostics, StatesInWords)
{
    struct Case {
        long state, connectivity;
        const char* connection;
        const char* expected;
    };
    const Case cases[] = {
        { 10, 0, "", "Networking is turned off." },
        { 20, 1, "", "The computer is not connected to any network." },
        { 40, 0, "Home", "The computer is still connecting to a network (Home)." },
        { 50, 3, "Wired", "The computer is connected to the local network only (Wired): the internet cannot be reached." },
        { 60, 3, "Wired", "The computer is connected to a network (Wired) from which the internet cannot be reached." },
        { 70, 2, "Cafe", "The network (Cafe) asks for a sign-in page before it lets anything reach the internet." },
        { 70, 4, "", "The computer is connected to the internet: the movie's server may be down, or it refuses the connection." },
        { 0, 0, "", "The state of the network is not known." },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HXNetworkDiagnostics::describe(c.state, c.connectivity, c.connection), c.expected) << c.state;
}

TEST(NetworkDiagnostics, WithoutABusOrAServiceNothingAnswersAndNothingWaits)
{
    TempDir dir;
    EnvironmentGuard environment;
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir / "no-bus").string());
    EXPECT_FALSE(HXNetworkDiagnostics::copyNetworkStatusPassively());
    EXPECT_FALSE(HXNetworkDiagnostics::diagnoseProblem());

    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(HXNetworkDiagnostics::copyNetworkStatusPassively()) << "a bus without the service";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "and no wait for it";
}

TEST(NetworkDiagnostics, StatusAndDiagnosisFromTheService)
{
    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    EnvironmentGuard environment;
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    NetworkManagerStandIn service(bus.address());
    ASSERT_TRUE(service.ready());
    service.setState(60, 3, "Wired connection 1");
    service.setDevices({ { "lo", 32, 100 }, { "eth0", 1, 100 }, { "wlan0", 2, 20 } });

    auto status = HXNetworkDiagnostics::copyNetworkStatusPassively();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->state, 60);
    EXPECT_EQ(status->connectivity, 3);
    EXPECT_EQ(status->primaryConnection, "Wired connection 1");
    EXPECT_EQ(status->description, HXNetworkDiagnostics::describe(60, 3, "Wired connection 1"));
    EXPECT_EQ(service.checks(), 0) << "reading the status tests nothing";

    service.setConnectivityAfterCheck(4);
    auto diagnosis = HXNetworkDiagnostics::diagnoseProblem();
    ASSERT_TRUE(diagnosis);
    EXPECT_EQ(service.checks(), 1);
    EXPECT_EQ(diagnosis->status.state, 70) << "the state after the test";
    EXPECT_EQ(diagnosis->status.connectivity, 4);
    ASSERT_EQ(diagnosis->devices.size(), 2u) << "the loopback device is left out";
    EXPECT_EQ(diagnosis->devices[0].description, "eth0 (Ethernet): connected");
    EXPECT_EQ(diagnosis->devices[1].description,
        "wlan0 (Wi-Fi): unavailable (no cable, no network in reach, or switched off)");
    EXPECT_EQ(diagnosis->report, diagnosis->status.description + "\n" + diagnosis->devices[0].description + "\n"
            + diagnosis->devices[1].description);
}
