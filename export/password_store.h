#pragma once
// MVPPasswordStore: the internet passwords the share panes keep for the user (the podcast server's
// account), one item per protocol, server, port, path and account.
//
// There is no system keychain here: the items live in a property list in the user's data folder,
// "$XDG_DATA_HOME/movara-player/Passwords.plist" (~/.local/share when the variable is unset), readable by
// the user alone (folder 0700, file 0600), written atomically.
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
    explicit MVPPasswordStore(std::string path);

    std::optional<std::string> findInternetPassword(const MVPInternetPasswordItem& item) const;
    bool addInternetPassword(
        const MVPInternetPasswordItem& item, const std::string& password, HXError* error = nullptr);
    const std::string& path() const { return _path; }

private:
    std::string _path;
};
