#pragma once
// MVPPasswordStore: the internet passwords the share panes keep for the user (the podcast server's
// account), one item per protocol, server, port, path and account.
//
// The items live in the desktop's keyring (the session's Secret Service). Where no Secret Service runs,
// they live in a property list in the user's data folder, "$XDG_DATA_HOME/movara-player/Passwords.plist"
// (~/.local/share when the variable is unset), readable by the user alone (folder 0700, file 0600),
// written atomically; the log says so when one is written there. A keyring that runs but refuses (the
// user would not unlock it) keeps nothing: the password never goes to the file then.
#include "platform/basekit/error.h"

#include <optional>
#include <string>

struct MVPInternetPasswordItem {
    std::string server; // the server name as given
    std::string account;
    std::string path;
    int port = 0;
    uint32_t protocol = 0x68747073; // 'htps'
    uint32_t authenticationType = 0x64666c74; // 'dflt'
};

class MVPPasswordStore {
public:
    static MVPPasswordStore& defaultStore();
    static std::string defaultPath();
    // `useKeyring` false keeps every item in the file (tests of the file store).
    explicit MVPPasswordStore(std::string path, bool useKeyring = true);

    std::optional<std::string> findInternetPassword(const MVPInternetPasswordItem& item) const;
    bool addInternetPassword(
        const MVPInternetPasswordItem& item, const std::string& password, HXError* error = nullptr);
    const std::string& path() const { return _path; }

    // The keyring's schema name for these items.
    static constexpr const char* keyringSchema = "com.zantrel.movaraplayer.InternetPassword";

private:
    std::optional<std::string> findInFile(const std::string& key) const;
    bool addToFile(const std::string& key, const std::optional<std::string>& password, HXError* error);

    std::string _path;
    bool _useKeyring;
};
