// A movie whose server cannot be reached (a loopback port nobody listens on) offers the network
// diagnosis sheet instead of the bare error. The status and the diagnosis come from the desktop's network
// service: here a stand-in of it on a D-Bus daemon of the test's own, pointed at as the system bus. Where
// no service answers, the sheet still shows, without a status and with its "Diagnose" button off.
#include "movie_document_test_support.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/network_diagnostics.h"
#include "platform/winkit/button.h"
#include "platform/winkit/window.h"
#include "network_manager_standin.h"
#include "private_bus.h"
#include "test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace movara::test;
using namespace movara::test::document;

namespace {

// A loopback port that was free a moment ago: connecting to it is refused.
int closedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class NetworkDiagnosisTest : public DocumentTest {
protected:
    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        if (doc)
            doc->close();
        doc.reset();
        DocumentTest::TearDown();
    }

    // Opens a movie from a port nobody listens on, in its window, the way the player does.
    void openUnreachableMovie()
    {
        int port = closedPort();
        ASSERT_GT(port, 0);
        HXError error;
        doc = MVPMovieDocument::documentWithContentsOfURL(
            *HXURL::URLWithString("http://127.0.0.1:" + std::to_string(port) + "/clip.mov"), "Movie", &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        doc->runAlert = [this](const std::string& message, const std::string&, const std::string&, const std::string&) {
            errorAlerts.push_back(message);
            return long(HXAlertAlternateReturn);
        };
    }

    std::shared_ptr<MVPMovieDocument> doc;
    std::vector<std::string> errorAlerts;
    EnvironmentGuard environment;
    TempDir dir;
};

} // namespace

TEST_F(NetworkDiagnosisTest, AServerThatCannotBeReachedOffersTheServicesStatusAndDiagnosis)
{
    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "dbus-daemon could not be started";
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    NetworkManagerStandIn service(bus.address());
    ASSERT_TRUE(service.ready());
    service.setState(60, 3, "Wired connection 1");
    service.setDevices({ { "eth0", 1, 100 }, { "wlan0", 2, 30 } });

    std::vector<std::string> messages, informative;
    std::vector<bool> diagnoseEnabled;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        messages.push_back(alert.messageText());
        informative.push_back(alert.informativeText());
        if (messages.size() == 1) {
            // The sheet: Diagnose…
            diagnoseEnabled.push_back(alert.buttons().size() == 2 && alert.buttons()[1]->isEnabled());
            alert.buttons().back()->performClick();
        } else {
            alert.buttons().front()->performClick();
        }
    });
    openUnreachableMovie();
    ASSERT_TRUE(runUntil([&] { return messages.size() >= 2; }, 20)) << "load state " << doc->movie()->loadState();
    EXPECT_EQ(doc->movie()->loadState(), MVMovieLoadStateError);
    EXPECT_EQ(messages[0], HXLocalizedString("netDiagnosticsSheetMessage"));
    EXPECT_EQ(informative[0], HXNetworkDiagnostics::describe(60, 3, "Wired connection 1") + " (60)");
    ASSERT_EQ(diagnoseEnabled, std::vector<bool> { true }) << "the service answers: the diagnosis can run";
    EXPECT_EQ(service.checks(), 1) << "the diagnosis had the connection tested";
    EXPECT_EQ(messages[1], HXLocalizedString("netDiagnosticsResultMessage"));
    EXPECT_NE(informative[1].find("eth0 (Ethernet): connected"), std::string::npos) << informative[1];
    EXPECT_NE(informative[1].find("wlan0 (Wi-Fi): disconnected"), std::string::npos) << informative[1];
    EXPECT_NE(informative[1].find("127.0.0.1"), std::string::npos) << "names the movie's server";
    EXPECT_TRUE(errorAlerts.empty()) << "the sheet takes the place of the bare error";
    EXPECT_FALSE(doc->netDiagnosticSheetVisible());
}

TEST_F(NetworkDiagnosisTest, WhereNoServiceAnswersTheSheetHasNoStatusAndCannotDiagnose)
{
    environment.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir / "no-bus").string());
    std::vector<std::string> messages, informative;
    std::vector<bool> diagnoseEnabled;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        messages.push_back(alert.messageText());
        informative.push_back(alert.informativeText());
        diagnoseEnabled.push_back(alert.buttons().size() == 2 && alert.buttons()[1]->isEnabled());
        alert.buttons().front()->performClick();
    });
    openUnreachableMovie();
    ASSERT_TRUE(runUntil([&] { return !messages.empty() && !doc->netDiagnosticSheetVisible(); }, 20));
    EXPECT_EQ(messages, std::vector<std::string> { HXLocalizedString("netDiagnosticsSheetMessage") });
    EXPECT_EQ(informative[0], "");
    EXPECT_EQ(diagnoseEnabled, std::vector<bool> { false });
    EXPECT_TRUE(errorAlerts.empty());
}
