#include "platform/basekit/error.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>

#include <unistd.h>

HXError HXError::withDescription(std::string domain, int64_t code, const std::string& description)
{
    return HXError(std::move(domain), code, { { HXLocalizedDescriptionKey, HXPropertyList(description) } });
}

HXError HXError::posix(int err, const std::string& context)
{
    std::string text = std::strerror(err);
    if (!context.empty())
        text = context + ": " + text;
    HXError error = withDescription(HXPOSIXErrorDomain, err, text);
    if (!context.empty())
        error._userInfo[HXFilePathErrorKey] = HXPropertyList(context);
    return error;
}

static std::string stringFor(const HXPropertyList::Dictionary& info, const char* key)
{
    auto it = info.find(key);
    if (it == info.end() || !it->second.isString())
        return {};
    return it->second.stringValue();
}

std::string HXError::localizedDescription() const
{
    std::string text = stringFor(_userInfo, HXLocalizedDescriptionKey);
    if (!text.empty())
        return text;
    return "The operation couldn't be completed. (" + _domain + " error " + std::to_string(_code) + ".)";
}

std::string HXError::localizedFailureReason() const { return stringFor(_userInfo, HXLocalizedFailureReasonErrorKey); }

std::string HXError::localizedRecoverySuggestion() const
{
    return stringFor(_userInfo, HXLocalizedRecoverySuggestionErrorKey);
}

bool HXError::hasUnderlyingError() const
{
    auto it = _userInfo.find(HXUnderlyingErrorKey);
    return it != _userInfo.end() && it->second.isDictionary();
}

HXError HXError::underlyingError() const
{
    auto it = _userInfo.find(HXUnderlyingErrorKey);
    return it == _userInfo.end() ? HXError() : fromArchive(it->second);
}

void HXError::setUnderlyingError(const HXError& error) { _userInfo[HXUnderlyingErrorKey] = error.archived(); }

HXPropertyList HXError::archived() const
{
    HXPropertyList::Dictionary d;
    d["domain"] = HXPropertyList(_domain);
    d["code"] = HXPropertyList(_code);
    d["userInfo"] = HXPropertyList(_userInfo);
    return HXPropertyList(std::move(d));
}

HXError HXError::fromArchive(const HXPropertyList& archive)
{
    if (!archive.isDictionary())
        return {};
    HXError error;
    error._domain = archive["domain"].stringValue();
    error._code = archive["code"].integerValue();
    if (archive["userInfo"].isDictionary())
        error._userInfo = archive["userInfo"].dictionaryValue();
    return error;
}

void HXLog(const std::string& message)
{
    static std::mutex lock;
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    const char* name = program_invocation_short_name;
    std::lock_guard guard(lock);
    std::cerr << stamp << ' ' << name << '[' << getpid() << "] " << message << '\n';
}
