// The podcast server's password in a real keyring: gnome-keyring-daemon on a private session bus that the
// test starts (dbus-run-session), and nothing of the user's own session.
#include "test_support.h"

#include "export/password_store.h"
#include "export/share_quillon_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/secret_store.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/secure_text_field.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace movara::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kInsideVariable = "MOVARA_PRIVATE_KEYRING_SESSION";
constexpr const char* kPassword = "pod-s3cret-\u00e9t\u00e9";

bool anyFileHolds(const fs::path& folder, const std::string& text)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && readFile(entry.path()).find(text) != std::string::npos)
            return true;
    return false;
}

TEST(SecretServicePeerTest, ThePodcastPasswordLivesInTheKeyringAndInNoFile)
{
    if (!haveProgram("dbus-run-session") || !haveProgram("gnome-keyring-daemon") || !haveProgram("dbus-send"))
        GTEST_SKIP() << "needs dbus-run-session, dbus-send and gnome-keyring-daemon";
    TempDir temp;
    EnvironmentGuard env;
    env.set("HOME", temp.path().string());
    env.set("XDG_DATA_HOME", (temp / "data").string());
    env.set("XDG_CONFIG_HOME", (temp / "config").string());
    env.set("XDG_CACHE_HOME", (temp / "cache").string());
    env.set("XDG_RUNTIME_DIR", (temp / "run").string());
    env.set("TMPDIR", (temp / "tmp").string());
    env.set(kInsideVariable, "1");
    for (const char* f : { "data", "config", "cache", "run", "tmp" })
        fs::create_directories(temp / f);
    fs::permissions(temp / "run", fs::perms::owner_all);

    // A login keyring unlocked with a password of its own, the test run again inside the session, and the
    // keyring ended with it.
    const std::string script = R"(
printf keyring-login | gnome-keyring-daemon --foreground --unlock --components=secrets >"$HOME/keyring.log" 2>&1 &
keyring=$!
i=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.secrets 2>/dev/null | grep -q true; do
  i=$((i + 1)); [ $i -gt 100 ] && break; sleep 0.1
done
"$0" --gtest_filter='SecretServiceSessionTest.*' --gtest_also_run_disabled_tests
status=$?
kill $keyring; wait $keyring
exit $status
)";
    auto self = fs::read_symlink("/proc/self/exe").string();
    auto r = runCommand({ "timeout", "120", "dbus-run-session", "--", "sh", "-c", script, self });
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("SKIPPED"), std::string::npos) << r.output;
    // The keyring keeps its own file, enciphered; no file shows the password.
    EXPECT_FALSE(anyFileHolds(temp.path(), kPassword));
    EXPECT_FALSE(fs::exists(MVPPasswordStore::defaultPath()));
}

// Runs only inside the private session above.
TEST(SecretServiceSessionTest, StoresAndReturnsThePodcastPassword)
{
    if (!std::getenv(kInsideVariable))
        GTEST_SKIP() << "runs inside the private session of SecretServicePeerTest";
    ASSERT_TRUE(HXSecretStore::isRunning());
    auto& store = MVPPasswordStore::defaultStore();
    MVPInternetPasswordItem item { "https://pods.example.org", "ann", "", 0 };

    // A copy an earlier version kept in the file goes once the keyring has it.
    MVPPasswordStore file(MVPPasswordStore::defaultPath(), false);
    ASSERT_TRUE(file.addInternetPassword(item, "old"));

    EXPECT_FALSE(store.findInternetPassword(item));
    HXError error;
    ASSERT_TRUE(store.addInternetPassword(item, kPassword, &error)) << error.localizedDescription();
    EXPECT_EQ(store.findInternetPassword(item), std::optional<std::string>(kPassword));
    EXPECT_FALSE(file.findInternetPassword(item));
    // Another account, port or server is another item.
    for (auto other : { MVPInternetPasswordItem { "https://pods.example.org", "bob", "", 0 },
             MVPInternetPasswordItem { "https://pods.example.org", "ann", "", 8443 },
             MVPInternetPasswordItem { "https://other.example.org", "ann", "", 0 } })
        EXPECT_FALSE(store.findInternetPassword(other)) << other.server << " " << other.account;
    // Storing again replaces the item.
    ASSERT_TRUE(store.addInternetPassword(item, kPassword, &error));
    std::string found;
    EXPECT_EQ(HXSecretStore::lookupPassword(MVPPasswordStore::keyringSchema,
                  { { "server", item.server }, { "account", item.account }, { "protocol", "htps" },
                      { "authenticationType", "dflt" }, { "port", "0" }, { "path", "" } },
                  found),
        HXSecretStore::Status::Done);
    EXPECT_EQ(found, kPassword);

    // The podcast pane finds it for the stored account and shows it as bullets.
    auto server = HXHeadlessWindowServer::install();
    auto pane = ShareQuillonController::make(HXBundle::bundleWithPath("/"));
    EXPECT_EQ(pane->findQuillonPasswordInKeyChain("pods.example.org", "ann"), std::optional<std::string>(kPassword));
    EXPECT_EQ(pane->passwordTextField()->stringValue(), kPassword);
    EXPECT_TRUE(std::dynamic_pointer_cast<HXSecureTextField>(pane->passwordTextField()));
}

} // namespace
