#pragma once
// OpenURLPanel: the sheet in which the user types or picks a network location to open. It keeps a history
// of the locations opened from it in the user defaults, offers that history in a pop-up together with the
// streaming services announced on the local network, and, when a discovered service is picked, resolves
// it to host, port and TXT record, builds its URL and opens it at once. Whoever begins the sheet hears the
// outcome through the did-end continuation (return code 1 for OK) and then closes the sheet.
#include "app/service_discovery.h"
#include "platform/basekit/url.h"
#include "platform/winkit/text_field.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXButton;
class HXPanel;
class HXWindow;
class ImagePopUpButton;

inline constexpr const char* MVPOpenURLPanelUserDefaultsKey = "MVPOpenURLPanelUserDefaultsKey";

class OpenURLPanel : public HXObject, public HXTextFieldDelegate {
public:
    // The most locations the history keeps.
    static constexpr size_t kMaximumURLs = 20;
    // How long a picked service may take to resolve.
    static constexpr HXTimeInterval kResolveTimeout = 10.0;
    // The service types browsed while the sheet is up.
    static constexpr const char* kMVTPServiceType = "_mvtp._tcp";
    static constexpr const char* kRTSPServiceType = "_rtsp._tcp";

    // Told when the sheet ends: the panel and the tag of the button (1 OK, 0 Cancel).
    using DidEnd = std::function<void(OpenURLPanel& panel, long returnCode)>;

    static std::shared_ptr<OpenURLPanel> openURLPanelWithUserDefaultsKey(const std::string& key);
    explicit OpenURLPanel(const std::string& userDefaultsKey);
    ~OpenURLPanel() override;

    // Shows the sheet on `window` (or, without one, as a panel of its own) and starts browsing.
    void beginSheetWithWindow(const std::shared_ptr<HXWindow>& window, DidEnd didEnd);
    // OK (tag 1), Cancel (any other tag), or a resolved service (tag 1).
    void openURL(long tag);
    // The location as a URL: the part before the query and fragment escaped once, the query and the
    // fragment as typed; none when it cannot be made.
    std::optional<HXURL> url() const;
    // The field's text trimmed of white space; none when that leaves nothing.
    std::optional<std::string> urlString() const;
    void setURLString(const std::string& string);
    void controlTextDidChange(HXTextField& control) override;
    // The pop-up's action: a service is resolved, a history entry goes into the field.
    void selectURL(HXObject* sender = nullptr);
    // Asks, on the panel, whether to forget the history; sheetDidEnd carries the answer.
    void clearURLs(HXObject* sender = nullptr);
    void sheetDidEnd(long returnCode);
    // Stops browsing, abandons a resolve in progress, ends the sheet and closes the panel.
    void close();
    // Stores the history under the panel's key.
    void writeURLs();

    // Discovery.
    void netServiceBrowserDidFindService(const MVPNetService& service, bool moreComing);
    void netServiceBrowserDidRemoveService(const MVPNetService& service, bool moreComing);
    void resolveNetService(const MVPNetService& service);
    void setURLTextFieldWithType(const std::string& type, const std::string& hostName,
        const std::string& portString, const MVPTXTDictionary& txt);

    const std::string& userDefaultsKey() const { return _userDefaultsKey; }
    void setUserDefaultsKey(const std::string& key) { _userDefaultsKey = key; }
    const std::vector<std::string>& urlArray() const { return _urlArray; }
    void setURLArray(std::vector<std::string> urls);

    // The sheet's parts (made when it is first begun).
    std::shared_ptr<HXPanel> panel() const { return _panel; }
    std::shared_ptr<HXTextField> urlTextField() const { return _urlTextField; }
    std::shared_ptr<ImagePopUpButton> urlPopUpButton() const { return _urlPopUpButton; }
    std::shared_ptr<HXButton> okButton() const { return _okButton; }
    bool isSheet() const { return _isSheet; }
    // Whether a resolve is in progress.
    bool isResolving() const { return _resolveRef != nullptr; }

    // What the history keeps of a location: the text without any user name or password.
    static std::string historyStringForURLString(const std::string& string);

private:
    void loadPanel();
    void rebuildPopUp();
    void resolveDidEnd(MyDNSServiceState* state, const MyDNSServiceState::Answer* answer);
    void cancelResolve();
    void addToHistory(const std::string& string);
    long historyCount() const { return long(_urlArray.size()); }
    long serviceItemCount() const;

    std::shared_ptr<HXPanel> _panel;
    std::shared_ptr<HXTextField> _urlTextField;
    std::shared_ptr<ImagePopUpButton> _urlPopUpButton;
    std::shared_ptr<HXButton> _okButton;
    std::shared_ptr<HXWindow> _sheetWindow;
    DidEnd _didEnd;
    std::vector<std::string> _urlArray;
    bool _isSheet = false;
    // Whether the sheet is up and has not told its did-end yet: nothing is told twice.
    bool _awaitingEnd = false;
    std::string _userDefaultsKey;
    std::unique_ptr<MVPNetServiceBrowser> _mvtpBrowser;
    std::unique_ptr<MVPNetServiceBrowser> _rtspBrowser;
    std::unique_ptr<MyDNSServiceState> _resolveRef;
};
