#include "app/service_discovery.h"

#include "platform/basekit/strings.h"
#include "platform/basekit/timer.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

void logLine(const char* format, int value)
{
    std::fprintf(stderr, format, value);
    std::fputc('\n', stderr);
}

DNSServiceErrorType systemBrowse(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interfaceIndex,
    const char* type, const char* domain, DNSServiceBrowseReply callBack, void* context)
{
    return DNSServiceBrowse(ref, flags, interfaceIndex, type, domain, callBack, context);
}

DNSServiceErrorType systemResolve(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interfaceIndex,
    const char* name, const char* type, const char* domain, DNSServiceResolveReply callBack, void* context)
{
    return DNSServiceResolve(ref, flags, interfaceIndex, name, type, domain, callBack, context);
}

int systemRefSockFD(DNSServiceRef ref)
{
    return DNSServiceRefSockFD(ref);
}

DNSServiceErrorType systemProcessResult(DNSServiceRef ref)
{
    return DNSServiceProcessResult(ref);
}

void systemRefDeallocate(DNSServiceRef ref)
{
    DNSServiceRefDeallocate(ref);
}

std::string serviceKey(const std::string& name, const std::string& type, const std::string& domain)
{
    return name + '\0' + type + '\0' + domain;
}

std::string lowercased(const std::string& s)
{
    std::string out = s;
    for (auto& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isPrintableASCIIKey(const std::string& key)
{
    if (key.empty())
        return false;
    for (unsigned char c : key)
        if (c < 0x20 || c >= 0x7F)
            return false;
    return true;
}

// A TXT value as UTF-8 text: empty when missing, when it is the lone 0 byte of "key=", or when it is not
// valid UTF-8.
std::string textValue(const MVPTXTDictionary& txt, const std::string& key)
{
    auto it = txt.find(key);
    if (it == txt.end() || it->second == std::string(1, '\0'))
        return {};
    return HXString::isValidUTF8(it->second) ? it->second : std::string();
}

// Escapes everything but the characters that may stand in a URL's user information as they are.
std::string escapedUserInfo(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || std::string_view("-._~!$&'()*+,;=").find(char(c)) != std::string_view::npos) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void resolveReply(DNSServiceRef, DNSServiceFlags, uint32_t, DNSServiceErrorType error, const char*,
    const char* hostTarget, uint16_t port, uint16_t txtLength, const unsigned char* txtRecord, void* context)
{
    auto* state = static_cast<MyDNSServiceState*>(context);
    if (!state || state->answered || state->error != kDNSServiceErr_NoError)
        return;
    if (error != kDNSServiceErr_NoError) {
        logLine("MyResolveCallBack returned %d", int(error));
        state->error = error;
        return;
    }
    state->answered = true;
    state->answer.txt = MVPTXTRecordDictionary(txtRecord, txtLength);
    state->answer.hostName = hostTarget ? hostTarget : "";
    state->answer.portString = std::to_string(ntohs(port));
}

// Ends the resolve and tells its completion. The state is freed first; the completion may destroy it.
void finish(MyDNSServiceState& state, bool withAnswer)
{
    MyDNSServiceFree(state);
    auto completion = std::move(state.completion);
    state.completion = nullptr;
    if (!completion)
        return;
    if (withAnswer) {
        auto answer = std::move(state.answer);
        completion(&answer);
    } else {
        completion(nullptr);
    }
}

void MySocketCallBack(MyDNSServiceState& state)
{
    DNSServiceErrorType error = MVPDNSServiceCallTable().processResult(state.service);
    if (error != kDNSServiceErr_NoError) {
        logLine("DNSServiceProcessResult returned %d", int(error));
        finish(state, false);
        return;
    }
    // The reply was read: one answer (or failure) ends the resolve.
    if (state.answered)
        finish(state, true);
    else if (state.error != kDNSServiceErr_NoError)
        finish(state, false);
}

void MyTimerCallBack(MyDNSServiceState& state)
{
    // A resolve that has not answered in time is abandoned without a word.
    finish(state, false);
}

} // namespace

MVPDNSServiceCalls MVPSystemDNSServiceCalls()
{
    return { systemBrowse, systemResolve, systemRefSockFD, systemProcessResult, systemRefDeallocate };
}

MVPDNSServiceCalls& MVPDNSServiceCallTable()
{
    // The DNS-SD compatibility library warns on stderr at every first use unless told not to.
    static MVPDNSServiceCalls table = [] {
        setenv("AVAHI_COMPAT_NOWARN", "1", 0);
        return MVPSystemDNSServiceCalls();
    }();
    return table;
}

// ---- Browser ---------------------------------------------------------------------------------------

bool MVPNetServiceBrowser::searchForServicesOfType(const std::string& type, const std::string& domain)
{
    stop();
    auto& calls = MVPDNSServiceCallTable();
    DNSServiceRef ref = nullptr;
    DNSServiceErrorType error = calls.browse(&ref, 0, kDNSServiceInterfaceIndexAny, type.c_str(),
        domain.empty() ? nullptr : domain.c_str(), &MVPNetServiceBrowser::browseReply, this);
    if (error != kDNSServiceErr_NoError || !ref)
        return false;
    int fd = calls.refSockFD(ref);
    if (fd < 0) {
        calls.refDeallocate(ref);
        return false;
    }
    _ref = ref;
    _source = HXRunLoop::main().addFileDescriptor(
        fd, HXFileDescriptorReadable, [this](int, uint32_t) { socketReadable(); }, { HXRunLoopCommonModes });
    return true;
}

void MVPNetServiceBrowser::stop()
{
    if (_source)
        HXRunLoop::main().removeSource(_source);
    _source = 0;
    if (_ref)
        MVPDNSServiceCallTable().refDeallocate(_ref);
    _ref = nullptr;
    _announcements.clear();
}

void MVPNetServiceBrowser::socketReadable()
{
    if (!_ref)
        return;
    if (MVPDNSServiceCallTable().processResult(_ref) != kDNSServiceErr_NoError) {
        // The daemon went away: nothing more will come.
        if (_source)
            HXRunLoop::main().removeSource(_source);
        _source = 0;
    }
}

void MVPNetServiceBrowser::browseReply(DNSServiceRef, DNSServiceFlags flags, uint32_t interfaceIndex,
    DNSServiceErrorType error, const char* name, const char* type, const char* domain, void* context)
{
    auto* browser = static_cast<MVPNetServiceBrowser*>(context);
    if (!browser || error != kDNSServiceErr_NoError || !name || !type)
        return;
    MVPNetService service { name, type, domain ? domain : "", interfaceIndex };
    bool moreComing = flags & kDNSServiceFlagsMoreComing;
    std::string key = serviceKey(service.name, service.type, service.domain);
    if (flags & kDNSServiceFlagsAdd) {
        if (browser->_announcements[key]++ == 0 && browser->didFindService)
            browser->didFindService(service, moreComing);
    } else {
        auto it = browser->_announcements.find(key);
        if (it == browser->_announcements.end())
            return;
        if (--it->second > 0)
            return;
        browser->_announcements.erase(it);
        if (browser->didRemoveService)
            browser->didRemoveService(service, moreComing);
    }
}

// ---- TXT records -------------------------------------------------------------------------------------

bool MyDictionaryKeyEqualCallBack(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && lowercased(a) == lowercased(b);
}

size_t MyDictionaryKeyHashCallBack(const std::string& key)
{
    std::string text = lowercased(key);
    size_t length = text.size();
    size_t h = 0;
    auto take = [&h](unsigned char c) { h = h * 257 + c; };
    if (length <= 4) {
        for (unsigned char c : text)
            take(c);
    } else {
        take(static_cast<unsigned char>(text[0]));
        take(static_cast<unsigned char>(text[1]));
        take(static_cast<unsigned char>(text[length - 2]));
        take(static_cast<unsigned char>(text[length - 1]));
    }
    return (h << (length % 32)) + h;
}

MVPTXTDictionary MVPTXTRecordDictionary(const unsigned char* record, size_t length)
{
    MVPTXTDictionary dictionary;
    if (!record)
        return dictionary;
    size_t at = 0;
    while (at < length) {
        size_t entryLength = record[at++];
        if (entryLength > length - at)
            break;
        std::string entry(reinterpret_cast<const char*>(record + at), entryLength);
        at += entryLength;
        size_t equals = entry.find('=');
        std::string key = entry.substr(0, equals);
        if (!isPrintableASCIIKey(key))
            continue;
        std::string value;
        if (equals != std::string::npos) {
            value = entry.substr(equals + 1);
            if (value.empty())
                value = std::string(1, '\0');
        }
        dictionary.emplace(std::move(key), std::move(value));
    }
    return dictionary;
}

std::string MVPServiceURLString(const std::string& type, const std::string& hostName,
    const std::string& portString, const MVPTXTDictionary& txt, bool withCredentials)
{
    bool rtsp = type.rfind("_rtsp", 0) == 0;
    std::string url = rtsp ? "rtsp://" : "http://";
    if (withCredentials) {
        std::string user = textValue(txt, "u");
        std::string password = textValue(txt, "p");
        if (!user.empty()) {
            url += escapedUserInfo(user);
            if (!password.empty())
                url += ":" + escapedUserInfo(password);
            url += "@";
        }
    }
    std::string host = hostName;
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    url += host;
    if (portString != (rtsp ? "554" : "80"))
        url += ":" + portString;
    std::string path = textValue(txt, "path");
    if (path.empty() || path.front() != '/')
        path = "/" + path;
    url += path;
    return url;
}

// ---- Resolving ---------------------------------------------------------------------------------------

std::unique_ptr<MyDNSServiceState> MVPResolveNetService(const MVPNetService& service, HXTimeInterval timeout,
    std::function<void(const MyDNSServiceState::Answer* answer)> completion)
{
    auto state = std::make_unique<MyDNSServiceState>();
    state->type = service.type;
    state->completion = std::move(completion);
    DNSServiceErrorType error
        = MVPDNSServiceCallTable().resolve(&state->service, 0, kDNSServiceInterfaceIndexAny,
            service.name.c_str(), service.type.c_str(), service.domain.c_str(), resolveReply, state.get());
    if (error != kDNSServiceErr_NoError || !state->service) {
        logLine("MyDNSServiceResolveWithTimeout returned %d", int(error));
        state->service = nullptr;
        return nullptr;
    }
    MyDNSServiceAddServiceToRunLoop(*state, timeout);
    return state;
}

void MyDNSServiceAddServiceToRunLoop(MyDNSServiceState& state, HXTimeInterval timeout)
{
    // The DNS-SD reference owns the descriptor: it is watched here, never closed.
    state.socket = MVPDNSServiceCallTable().refSockFD(state.service);
    MyDNSServiceState* target = &state;
    if (state.socket >= 0) {
        state.source = HXRunLoop::main().addFileDescriptor(state.socket, HXFileDescriptorReadable,
            [target](int, uint32_t) { MySocketCallBack(*target); }, { HXRunLoopCommonModes });
    }
    if (timeout > 0) {
        state.timer = HXTimer::timer(timeout, false, [target](HXTimer&) { MyTimerCallBack(*target); });
        HXRunLoop::main().addTimer(state.timer, HXRunLoopCommonModes);
    }
}

void MyDNSServiceFree(MyDNSServiceState& state)
{
    if (state.source)
        HXRunLoop::main().removeSource(state.source);
    state.source = 0;
    state.socket = -1;
    if (state.service)
        MVPDNSServiceCallTable().refDeallocate(state.service);
    state.service = nullptr;
    if (state.timer)
        state.timer->invalidate();
    state.timer = nullptr;
}
