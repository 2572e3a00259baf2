#include "app/open_url_panel.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/image.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"
#include "player/controls/image_pop_up_button.h"

#include <algorithm>
#include <cctype>

namespace {

const HXSelector kSelectURL("selectURL:");
const HXSelector kClearURLs("clearURLs:");
const HXSelector kOpenURL("openURL:");

const MVPNetService* serviceOf(const HXMenuItem& item)
{
    return std::any_cast<MVPNetService>(&item.representedObject());
}

// Escapes the characters that may not stand in a URL as they are; delimiters and escapes stay.
std::string addingURLEscapes(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    static const std::string_view kept = "-._~:/?#[]@!$&'()*+,;=";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || kept.find(char(c)) != std::string_view::npos) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

std::shared_ptr<OpenURLPanel> OpenURLPanel::openURLPanelWithUserDefaultsKey(const std::string& key)
{
    return std::make_shared<OpenURLPanel>(key);
}

OpenURLPanel::OpenURLPanel(const std::string& userDefaultsKey)
    : _userDefaultsKey(userDefaultsKey)
{
    _urlArray.reserve(10);
    for (auto& value : HXUserDefaults::standardUserDefaults().arrayForKey(userDefaultsKey)) {
        if (value.isString() && _urlArray.size() < kMaximumURLs)
            _urlArray.push_back(historyStringForURLString(value.stringValue()));
    }
    setActionHandler(kSelectURL, [this](HXObject* sender) { selectURL(sender); });
    setActionHandler(kClearURLs, [this](HXObject* sender) { clearURLs(sender); });
    setActionHandler(kOpenURL, [this](HXObject* sender) {
        auto* control = dynamic_cast<HXValidatedUserInterfaceItem*>(sender);
        openURL(control ? control->tag() : 0);
    });
}

OpenURLPanel::~OpenURLPanel()
{
    cancelResolve();
    _mvtpBrowser.reset();
    _rtspBrowser.reset();
    // The sheet does not outlive the object that answers its buttons.
    if (_panel) {
        auto sheet = _panel;
        if (auto parent = sheet->sheetParent())
            parent->endSheet(sheet);
        sheet->orderOut();
    }
    writeURLs();
}

void OpenURLPanel::setURLArray(std::vector<std::string> urls)
{
    _urlArray = std::move(urls);
}

// ---- The sheet ---------------------------------------------------------------------------------------

void OpenURLPanel::loadPanel()
{
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 480, 112), HXTitledWindowMask);
    panel->setTitle(HXLocalizedString("mvpOpenURLTitle"));
    auto content = panel->contentView();
    auto self = shared_from_this();
    content->addSubview(
        HXTextField::labelWithString(HXLocalizedString("mvpOpenURLLabel"), HXMakeRect(18, 76, 300, 18)));
    _urlTextField = std::make_shared<HXTextField>(HXMakeRect(20, 48, 408, 22));
    _urlTextField->setDelegate(std::dynamic_pointer_cast<HXTextFieldDelegate>(self));
    content->addSubview(_urlTextField);
    _urlPopUpButton = ImagePopUpButton::imagePopUpButtonWithFrame(HXMakeRect(434, 48, 28, 22));
    _urlPopUpButton->setTarget(self);
    _urlPopUpButton->setAction(kSelectURL);
    _urlPopUpButton->setAutoenablesItems(false);
    content->addSubview(_urlPopUpButton);
    auto cancel = std::make_shared<HXButton>(HXMakeRect(282, 10, 90, 28), HXLocalizedString("cancelTitle"));
    cancel->setTag(0);
    cancel->setTarget(self);
    cancel->setAction(kOpenURL);
    cancel->setKeyEquivalent("\x1b");
    content->addSubview(cancel);
    _okButton = std::make_shared<HXButton>(HXMakeRect(376, 10, 90, 28), "OK");
    _okButton->setTag(1);
    _okButton->setTarget(self);
    _okButton->setAction(kOpenURL);
    _okButton->setKeyEquivalent("\r");
    content->addSubview(_okButton);
    panel->setInitialFirstResponder(_urlTextField);
    _panel = panel;
    _urlPopUpButton->setImage(HXImage::imageNamed("doublearrows.tif"));
}

void OpenURLPanel::rebuildPopUp()
{
    _urlPopUpButton->removeAllItems();
    for (auto& url : _urlArray)
        _urlPopUpButton->addItemWithTitle(url);
    if (!_urlArray.empty()) {
        _urlPopUpButton->selectItemAtIndex(0);
        setURLString(_urlArray.front());
        _urlPopUpButton->menu()->addItem(HXMenuItem::separatorItem());
        auto clear = _urlPopUpButton->menu()->addItemWithTitle(HXLocalizedString("mvpClearMenu"), kClearURLs);
        clear->setTarget(shared_from_this());
    }
    _urlPopUpButton->setEnabled(_urlPopUpButton->numberOfItems() > 0);
}

void OpenURLPanel::beginSheetWithWindow(const std::shared_ptr<HXWindow>& window, DidEnd didEnd)
{
    _isSheet = window != nullptr;
    _didEnd = std::move(didEnd);
    if (!_panel)
        loadPanel();
    rebuildPopUp();

    auto self = std::static_pointer_cast<OpenURLPanel>(shared_from_this());
    std::weak_ptr<OpenURLPanel> weak = self;
    auto makeBrowser = [&weak](const char* type) {
        auto browser = std::make_unique<MVPNetServiceBrowser>();
        browser->didFindService = [weak](const MVPNetService& service, bool more) {
            if (auto panel = weak.lock())
                panel->netServiceBrowserDidFindService(service, more);
        };
        browser->didRemoveService = [weak](const MVPNetService& service, bool more) {
            if (auto panel = weak.lock())
                panel->netServiceBrowserDidRemoveService(service, more);
        };
        // Without a discovery service the pop-up lists the history alone.
        browser->searchForServicesOfType(type, "");
        return browser;
    };
    _mvtpBrowser = makeBrowser(kMVTPServiceType);
    _rtspBrowser = makeBrowser(kRTSPServiceType);

    setURLString(urlString().value_or(""));
    _urlTextField->selectText();
    _awaitingEnd = true;
    _sheetWindow = window;
    if (window) {
        window->beginSheet(_panel, nullptr);
    } else {
        // Without a window to hang from, the panel comes up in the middle of the screen.
        _panel->center();
        _panel->makeKeyAndOrderFront();
    }
}

void OpenURLPanel::close()
{
    _mvtpBrowser.reset();
    _rtspBrowser.reset();
    // A resolve still running would open a location after the user has moved on.
    cancelResolve();
    _awaitingEnd = false;
    if (!_panel)
        return;
    auto sheet = _panel;
    if (auto parent = sheet->sheetParent())
        parent->endSheet(sheet);
    _sheetWindow = nullptr;
    _panel->orderOut();
}

// ---- The location -------------------------------------------------------------------------------------

std::optional<std::string> OpenURLPanel::urlString() const
{
    if (!_urlTextField)
        return std::nullopt;
    std::string text = HXString::trimWhitespace(_urlTextField->stringValue());
    if (text.empty())
        return std::nullopt;
    return text;
}

void OpenURLPanel::setURLString(const std::string& string)
{
    if (!_urlTextField)
        return;
    _urlTextField->setStringValue(string);
    if (_okButton)
        _okButton->setEnabled(!string.empty());
}

void OpenURLPanel::controlTextDidChange(HXTextField&)
{
    if (_okButton)
        _okButton->setEnabled(urlString().has_value());
}

std::optional<HXURL> OpenURLPanel::url() const
{
    auto string = urlString();
    if (!string)
        return std::nullopt;
    // The query and the fragment are kept as typed; only what comes before them is escaped, once.
    size_t tail = string->find_first_of("?#");
    std::string head = string->substr(0, tail);
    std::string rest = tail == std::string::npos ? std::string() : string->substr(tail);
    auto unescaped = HXURL::removingPercentEscapes(head);
    if (!unescaped)
        return std::nullopt;
    auto url = HXURL::URLWithString(addingURLEscapes(*unescaped) + rest);
    if (!url || url->scheme().empty())
        return std::nullopt;
    return url;
}

std::string OpenURLPanel::historyStringForURLString(const std::string& string)
{
    size_t scheme = string.find("://");
    if (scheme == std::string::npos)
        return string;
    size_t authority = scheme + 3;
    size_t end = string.find_first_of("/?#", authority);
    std::string_view host
        = std::string_view(string).substr(authority, end == std::string::npos ? end : end - authority);
    size_t at = host.rfind('@');
    if (at == std::string_view::npos)
        return string;
    return string.substr(0, authority) + string.substr(authority + at + 1);
}

// ---- Finishing ----------------------------------------------------------------------------------------

void OpenURLPanel::addToHistory(const std::string& string)
{
    bool known = std::find(_urlArray.begin(), _urlArray.end(), string) != _urlArray.end();
    if (!known) {
        while (_urlArray.size() >= kMaximumURLs) {
            long last = historyCount() - 1;
            _urlArray.pop_back();
            if (_urlPopUpButton && last < _urlPopUpButton->numberOfItems())
                _urlPopUpButton->removeItemAtIndex(last);
        }
    }
    if (_urlPopUpButton) {
        if (known) {
            _urlPopUpButton->removeItemAtIndex(
                long(std::find(_urlArray.begin(), _urlArray.end(), string) - _urlArray.begin()));
        } else if (_urlArray.empty()) {
            // The first entry brings the separator and the Clear item, and the services' separator when
            // services are listed.
            bool services = _urlPopUpButton->numberOfItems() > 0;
            auto menu = _urlPopUpButton->menu();
            menu->insertItem(HXMenuItem::separatorItem(), 0);
            auto clear = std::make_shared<HXMenuItem>(HXLocalizedString("mvpClearMenu"), kClearURLs, "");
            clear->setTarget(shared_from_this());
            menu->insertItem(clear, 1);
            if (services)
                menu->insertItem(HXMenuItem::separatorItem(), 2);
        }
        _urlPopUpButton->menu()->insertItem(std::make_shared<HXMenuItem>(string, HXSelector(), ""), 0);
        _urlPopUpButton->selectItemAtIndex(0);
        _urlPopUpButton->setEnabled(true);
    }
    std::erase(_urlArray, string);
    _urlArray.insert(_urlArray.begin(), string);
}

void OpenURLPanel::openURL(long tag)
{
    if (tag == 1) {
        auto location = url();
        if (!location) {
            std::string message = HXLocalizedString("mvpInvalidURLError");
            if (_isSheet || !_panel) {
                HXRunAlertPanel(message, "", "OK");
            } else {
                auto alert = HXAlert::alertWithMessageText(message, "OK", "", "", "");
                alert->beginSheetModalForWindow(_panel, [](long) {});
            }
            return;
        }
        addToHistory(historyStringForURLString(*urlString()));
    }
    if (!_awaitingEnd)
        return;
    _awaitingEnd = false;
    if (_didEnd) {
        // The continuation may close and drop this panel.
        auto keep = shared_from_this();
        auto didEnd = _didEnd;
        didEnd(*this, tag);
    }
}

// ---- History pop-up -----------------------------------------------------------------------------------

void OpenURLPanel::selectURL(HXObject* sender)
{
    if (!_urlPopUpButton)
        return;
    std::shared_ptr<HXMenuItem> item;
    if (auto* chosen = dynamic_cast<HXMenuItem*>(sender))
        item = std::static_pointer_cast<HXMenuItem>(chosen->shared_from_this());
    else
        item = _urlPopUpButton->selectedItem();
    if (!item)
        return;
    if (item->action() == kClearURLs) {
        clearURLs();
        return;
    }
    if (auto service = serviceOf(*item))
        resolveNetService(*service);
    else
        setURLString(item->title());
}

void OpenURLPanel::clearURLs(HXObject*)
{
    auto alert = HXAlert::alertWithMessageText(
        HXLocalizedString("clearURLsConfirmation"), "OK", HXLocalizedString("cancelTitle"), "", "");
    std::weak_ptr<OpenURLPanel> weak = std::static_pointer_cast<OpenURLPanel>(shared_from_this());
    auto answer = [weak](long code) {
        if (auto panel = weak.lock())
            panel->sheetDidEnd(code == HXAlertDefaultReturn ? 1 : 0);
    };
    if (_panel && _panel->isVisible())
        alert->beginSheetModalForWindow(_panel, answer);
    else
        answer(alert->runModal());
}

void OpenURLPanel::sheetDidEnd(long returnCode)
{
    if (returnCode != 1) {
        if (_urlPopUpButton && _urlTextField)
            _urlPopUpButton->selectItemWithTitle(_urlTextField->stringValue());
        return;
    }
    long n = historyCount();
    if (_urlPopUpButton && n > 0) {
        long remove = _urlPopUpButton->numberOfItems() > n + 2 ? n + 3 : n + 2;
        for (long i = 0; i < remove && _urlPopUpButton->numberOfItems() > 0; ++i)
            _urlPopUpButton->removeItemAtIndex(0);
        _urlPopUpButton->setEnabled(_urlPopUpButton->numberOfItems() > 0);
    }
    _urlArray.clear();
    setURLString("");
}

void OpenURLPanel::writeURLs()
{
    if (_userDefaultsKey.empty())
        return;
    HXPropertyList::Array array;
    for (auto& url : _urlArray)
        array.push_back(HXPropertyList(url));
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setObject(HXPropertyList(array), _userDefaultsKey);
    defaults.synchronize();
}

// ---- Discovered services ------------------------------------------------------------------------------

long OpenURLPanel::serviceItemCount() const
{
    long count = 0;
    if (_urlPopUpButton)
        for (auto& item : _urlPopUpButton->itemArray())
            if (serviceOf(*item))
                ++count;
    return count;
}

void OpenURLPanel::netServiceBrowserDidFindService(const MVPNetService& service, bool)
{
    if (!_urlPopUpButton || _urlPopUpButton->itemWithTitle(service.name))
        return;
    auto item = std::make_shared<HXMenuItem>(service.name, HXSelector(), "");
    item->setRepresentedObject(service);
    long n = historyCount();
    if (n > 0 && _urlPopUpButton->numberOfItems() == n + 2)
        _urlPopUpButton->menu()->addItem(HXMenuItem::separatorItem());
    _urlPopUpButton->menu()->addItem(item);
    _urlPopUpButton->setEnabled(_urlPopUpButton->numberOfItems() > 0);
}

void OpenURLPanel::netServiceBrowserDidRemoveService(const MVPNetService& service, bool)
{
    if (!_urlPopUpButton)
        return;
    auto& items = _urlPopUpButton->itemArray();
    for (long i = 0; i < long(items.size()); ++i) {
        auto* listed = serviceOf(*items[size_t(i)]);
        if (listed && *listed == service) {
            _urlPopUpButton->removeItemAtIndex(i);
            break;
        }
    }
    long n = historyCount();
    if (n > 0 && _urlPopUpButton->numberOfItems() == n + 3)
        _urlPopUpButton->removeItemAtIndex(n + 2);
    _urlPopUpButton->setEnabled(_urlPopUpButton->numberOfItems() > 0);
}

void OpenURLPanel::resolveNetService(const MVPNetService& service)
{
    // A later pick replaces an earlier one that has not answered yet: only the last pick may open.
    cancelResolve();
    std::weak_ptr<OpenURLPanel> weak = std::static_pointer_cast<OpenURLPanel>(shared_from_this());
    auto state = std::make_shared<MyDNSServiceState*>(nullptr);
    _resolveRef = MVPResolveNetService(
        service, kResolveTimeout, [weak, state](const MyDNSServiceState::Answer* answer) {
            if (auto panel = weak.lock())
                panel->resolveDidEnd(*state, answer);
        });
    *state = _resolveRef.get();
}

void OpenURLPanel::cancelResolve()
{
    if (!_resolveRef)
        return;
    MyDNSServiceFree(*_resolveRef);
    _resolveRef.reset();
}

void OpenURLPanel::resolveDidEnd(MyDNSServiceState* state, const MyDNSServiceState::Answer* answer)
{
    if (!state || state != _resolveRef.get())
        return;
    std::string type = state->type;
    // The state was freed when the resolve ended; dropping it here ends it for good.
    auto finished = std::move(_resolveRef);
    if (!answer || !_awaitingEnd)
        return;
    setURLTextFieldWithType(type, answer->hostName, answer->portString, answer->txt);
    openURL(1);
}

void OpenURLPanel::setURLTextFieldWithType(const std::string& type, const std::string& hostName,
    const std::string& portString, const MVPTXTDictionary& txt)
{
    setURLString(MVPServiceURLString(type, hostName, portString, txt));
}
