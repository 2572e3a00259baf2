#pragma once
// Service discovery for the Open URL sheet: a browser of DNS-SD services of one type on the main run loop,
// the resolve of one picked service (with its time-out), the TXT record read into a dictionary whose keys
// compare without case, and the URL made from a resolved service.
//
// The DNS-SD calls go through a table that tests may point at stand-ins; the program uses the system's
// DNS-SD client library.
#include "platform/basekit/run_loop.h"

#include <dns_sd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

class HXTimer;

// The DNS-SD calls the browser and the resolve make.
struct MVPDNSServiceCalls {
    DNSServiceErrorType (*browse)(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interfaceIndex,
        const char* type, const char* domain, DNSServiceBrowseReply callBack, void* context);
    DNSServiceErrorType (*resolve)(DNSServiceRef* ref, DNSServiceFlags flags, uint32_t interfaceIndex,
        const char* name, const char* type, const char* domain, DNSServiceResolveReply callBack,
        void* context);
    int (*refSockFD)(DNSServiceRef ref);
    DNSServiceErrorType (*processResult)(DNSServiceRef ref);
    void (*refDeallocate)(DNSServiceRef ref);
};
// The table in use (the system's calls unless a test replaced them).
MVPDNSServiceCalls& MVPDNSServiceCallTable();
// The system's calls.
MVPDNSServiceCalls MVPSystemDNSServiceCalls();

// A service found by a browser: what a resolve needs.
struct MVPNetService {
    std::string name;
    std::string type; // "_rtsp._tcp." as announced
    std::string domain; // "local."
    uint32_t interfaceIndex = 0;

    bool operator==(const MVPNetService& other) const
    {
        return name == other.name && type == other.type && domain == other.domain;
    }
};

// Browses the services of one type in one domain ("" for the default domains) while it runs. Found and
// removed services are reported on the main thread; a service announced on several interfaces is reported
// found once and removed when the last of its announcements goes.
class MVPNetServiceBrowser {
public:
    std::function<void(const MVPNetService& service, bool moreComing)> didFindService;
    std::function<void(const MVPNetService& service, bool moreComing)> didRemoveService;

    MVPNetServiceBrowser() = default;
    ~MVPNetServiceBrowser() { stop(); }
    MVPNetServiceBrowser(const MVPNetServiceBrowser&) = delete;
    MVPNetServiceBrowser& operator=(const MVPNetServiceBrowser&) = delete;

    // Starts browsing; false (and nothing happens) when the DNS-SD service cannot be reached.
    bool searchForServicesOfType(const std::string& type, const std::string& domain);
    void stop();
    bool isSearching() const { return _ref != nullptr; }

private:
    static void browseReply(DNSServiceRef ref, DNSServiceFlags flags, uint32_t interfaceIndex,
        DNSServiceErrorType error, const char* name, const char* type, const char* domain, void* context);
    void socketReadable();

    DNSServiceRef _ref = nullptr;
    HXRunLoopSourceID _source = 0;
    // Announcements seen per service (name, type, domain).
    std::unordered_map<std::string, int> _announcements;
};

// ---- TXT records -------------------------------------------------------------------------------------

// The key callbacks of the TXT dictionary: keys compare without case; the hash reads the lower-cased key.
bool MyDictionaryKeyEqualCallBack(const std::string& a, const std::string& b);
size_t MyDictionaryKeyHashCallBack(const std::string& key);

struct MVPTXTKeyHash {
    size_t operator()(const std::string& key) const { return MyDictionaryKeyHashCallBack(key); }
};
struct MVPTXTKeyEqual {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return MyDictionaryKeyEqualCallBack(a, b);
    }
};
// Key -> value bytes.
using MVPTXTDictionary = std::unordered_map<std::string, std::string, MVPTXTKeyHash, MVPTXTKeyEqual>;

// Reads a TXT record (entries of a length byte and that many bytes, "key=value"). An entry without "="
// has an empty value; "key=" gets a one-byte value 0. The first occurrence of a key wins. Entries whose
// key is empty or not printable ASCII are skipped, and a record whose last entry runs past its end ends
// there: this is what other machines on the network sent.
MVPTXTDictionary MVPTXTRecordDictionary(const unsigned char* record, size_t length);

// The location of a resolved service: "rtsp://" for types beginning "_rtsp", else "http://"; the user
// ("u") and password ("p") of the TXT record, escaped, when `withCredentials`; the host without a trailing
// dot (bracketed when it is an IPv6 address); the port unless it is the scheme's default (554, 80); the
// "path" with a leading "/".
std::string MVPServiceURLString(const std::string& type, const std::string& hostName,
    const std::string& portString, const MVPTXTDictionary& txt, bool withCredentials = true);

// ---- Resolving one service -------------------------------------------------------------------------

// One resolve in progress: the DNS-SD reference, the run-loop source of its socket, the one-shot time-out
// and the type of the service resolved. The callback is told once, on the main thread, with the answer or
// the failure; the state is freed by whoever ends it (MyDNSServiceFree), exactly once.
struct MyDNSServiceState {
    struct Answer {
        std::string hostName;
        std::string portString;
        MVPTXTDictionary txt;
    };
    DNSServiceRef service = nullptr;
    HXRunLoopSourceID source = 0;
    int socket = -1;
    std::shared_ptr<HXTimer> timer;
    std::string type;
    // Set by the resolve's reply; read once the reply has been processed.
    bool answered = false;
    DNSServiceErrorType error = kDNSServiceErr_NoError;
    Answer answer;
    // Called when the resolve ends: with the answer, or with none (failure or time-out). The state is
    // already freed then.
    std::function<void(const Answer* answer)> completion;
};

// Starts resolving `service`; answers null (after logging the error) when it cannot start.
std::unique_ptr<MyDNSServiceState> MVPResolveNetService(const MVPNetService& service, HXTimeInterval timeout,
    std::function<void(const MyDNSServiceState::Answer* answer)> completion);
// Watches the state's socket on the main run loop (common modes) and, for a positive time-out, adds the
// one-shot timer that abandons it.
void MyDNSServiceAddServiceToRunLoop(MyDNSServiceState& state, HXTimeInterval timeout);
// Stops watching, invalidates the timer and deallocates the reference. The state object itself belongs to
// the caller.
void MyDNSServiceFree(MyDNSServiceState& state);
