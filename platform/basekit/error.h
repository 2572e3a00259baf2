#pragma once
// HXError: an expected failure, as a value: a domain, a code and a dictionary of user info.
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <string>

// Error domains.
inline constexpr const char* HXPOSIXErrorDomain = "HXPOSIXErrorDomain";      // code is an errno value
inline constexpr const char* HXOSStatusErrorDomain = "HXOSStatusErrorDomain";  // code is a media-layer status
inline constexpr const char* HXBaseKitErrorDomain = "HXBaseKitErrorDomain";    // the HXBaseKitError codes below

// Standard user-info keys.
inline constexpr const char* HXLocalizedDescriptionKey = "HXLocalizedDescription";
inline constexpr const char* HXLocalizedFailureReasonErrorKey = "HXLocalizedFailureReason";
inline constexpr const char* HXLocalizedRecoverySuggestionErrorKey = "HXLocalizedRecoverySuggestion";
inline constexpr const char* HXLocalizedRecoveryOptionsErrorKey = "HXLocalizedRecoveryOptions";
inline constexpr const char* HXFilePathErrorKey = "HXFilePath";
inline constexpr const char* HXURLErrorKey = "HXURL";
inline constexpr const char* HXUnderlyingErrorKey = "HXUnderlyingError";  // an archived HXError (dictionary)

enum HXBaseKitError : int64_t {
    HXFileNoSuchFileError = 4,
    HXFileReadUnknownError = 256,
    HXFileReadCorruptFileError = 259,
    HXFileWriteUnknownError = 512,
    HXPropertyListReadCorruptError = 3840,
    HXPropertyListWriteInvalidError = 3851,
    HXMessageFrameError = 4864,  // a short, oversized or garbled message frame
    HXTimeoutError = 4865,
    HXConnectionClosedError = 4866,
};

class HXError {
public:
    HXError() = default;
    HXError(std::string domain, int64_t code, HXPropertyList::Dictionary userInfo = {})
        : _domain(std::move(domain))
        , _code(code)
        , _userInfo(std::move(userInfo))
    {
    }

    static HXError withDescription(std::string domain, int64_t code, const std::string& description);
    // An error in the POSIX domain for errno value `err`, described by strerror and `context` (a path, an action).
    static HXError posix(int err, const std::string& context = {});

    const std::string& domain() const { return _domain; }
    int64_t code() const { return _code; }
    const HXPropertyList::Dictionary& userInfo() const { return _userInfo; }
    HXPropertyList::Dictionary& userInfo() { return _userInfo; }

    // The description for the user: the localized description key when present, else a generic text
    // naming the domain and code.
    std::string localizedDescription() const;
    std::string localizedFailureReason() const;
    std::string localizedRecoverySuggestion() const;

    // The underlying error stored under HXUnderlyingErrorKey, when there is one.
    bool hasUnderlyingError() const;
    HXError underlyingError() const;
    void setUnderlyingError(const HXError& error);

    // An error as a property-list dictionary and back (for user info and for messages between processes).
    HXPropertyList archived() const;
    static HXError fromArchive(const HXPropertyList& archive);

    bool operator==(const HXError& other) const = default;

private:
    std::string _domain;
    int64_t _code = 0;
    HXPropertyList::Dictionary _userInfo;
};

// Writes a line to standard error, prefixed with the program's name and the time (the platform's log).
void HXLog(const std::string& message);
