#include "platform/basekit/url.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"

#include <cctype>
#include <cstring>

namespace {

bool isUnreserved(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelimiter(char c)
{
    return c && std::strchr("!$&'()*+,;=", c);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent escapes decoded to bytes; std::nullopt for a malformed escape.
std::optional<std::string> decodeBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += char(hi << 4 | lo);
        i += 2;
    }
    return out;
}

// RFC 3986, 5.2.4.
std::string removeDotSegments(std::string_view input)
{
    std::string in(input), out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.replace(0, 3, "/");
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in == "/.." ? "/" : in.substr(3);
            size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            size_t next = in.find('/', in.front() == '/' ? 1 : 0);
            if (next == std::string::npos)
                next = in.size();
            out += in.substr(0, next);
            in.erase(0, next);
        }
    }
    return out;
}

} // namespace

bool HXURL::parse(std::string_view s)
{
    // Every character must be one a URL may hold; escapes must be well formed.
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size())
                return false;
            if (hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0)
                return false;
            continue;
        }
        if (!(isUnreserved(c) || isSubDelimiter(c) || std::strchr(":/?#[]@", c)))
            return false;
    }
    _string = std::string(s);
    std::string_view rest = s;

    size_t colon = rest.find(':');
    size_t firstDelimiter = rest.find_first_of("/?#");
    if (colon != std::string_view::npos && colon > 0
        && (firstDelimiter == std::string_view::npos || colon < firstDelimiter)
        && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        std::string_view scheme = rest.substr(0, colon);
        bool valid = true;
        for (char c : scheme)
            valid
                = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.');
        if (valid) {
            _scheme = HXString::lowercaseString(scheme);
            rest.remove_prefix(colon + 1);
        }
    }
    size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        _hasFragment = true;
        _fragment = std::string(rest.substr(hash + 1));
        if (_fragment.find('#') != std::string::npos)
            return false;
        rest = rest.substr(0, hash);
    }
    size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        _hasQuery = true;
        _query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        _hasAuthority = true;
        rest.remove_prefix(2);
        size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            _userInfo = std::string(authority.substr(0, at));
            authority.remove_prefix(at + 1);
        }
        std::string_view hostPort = authority;
        std::string_view portText;
        if (!hostPort.empty() && hostPort.front() == '[') {
            size_t close = hostPort.find(']');
            if (close == std::string_view::npos)
                return false;
            _host = std::string(hostPort.substr(1, close - 1));
            std::string_view after = hostPort.substr(close + 1);
            if (!after.empty()) {
                if (after.front() != ':')
                    return false;
                portText = after.substr(1);
            }
        } else {
            size_t portColon = hostPort.rfind(':');
            if (portColon != std::string_view::npos) {
                portText = hostPort.substr(portColon + 1);
                hostPort = hostPort.substr(0, portColon);
            }
            if (hostPort.find_first_of("[]") != std::string_view::npos)
                return false;
            _host = std::string(hostPort);
        }
        if (!portText.empty()) {
            int port = 0;
            for (char c : portText) {
                if (c < '0' || c > '9' || port > 65535)
                    return false;
                port = port * 10 + (c - '0');
            }
            if (port > 65535)
                return false;
            _port = port;
        }
    }
    if (rest.find_first_of("[]") != std::string_view::npos)
        return false;
    _path = std::string(rest);
    return true;
}

std::optional<HXURL> HXURL::URLWithString(std::string_view string)
{
    HXURL url;
    if (string.empty() || !url.parse(string))
        return std::nullopt;
    return url;
}

std::optional<HXURL> HXURL::URLWithString(std::string_view string, const HXURL& base)
{
    HXURL relative;
    if (!relative.parse(string))
        return std::nullopt;
    if (base.isEmpty() || !relative._scheme.empty())
        return relative;
    HXURL url = resolved(relative, base.absoluteURL());
    url._string = std::string(string);
    url._base = std::make_shared<const HXURL>(base.absoluteURL());
    return url;
}

// RFC 3986, 5.2.2: the components of `relative` resolved against an absolute `base`.
HXURL HXURL::resolved(const HXURL& r, const HXURL& base)
{
    HXURL t;
    t._scheme = base._scheme;
    if (r._hasAuthority) {
        t._hasAuthority = true;
        t._userInfo = r._userInfo, t._host = r._host, t._port = r._port;
        t._path = removeDotSegments(r._path);
        t._query = r._query, t._hasQuery = r._hasQuery;
    } else {
        t._hasAuthority = base._hasAuthority;
        t._userInfo = base._userInfo, t._host = base._host, t._port = base._port;
        if (r._path.empty()) {
            t._path = base._path;
            t._hasQuery = r._hasQuery || base._hasQuery;
            t._query = r._hasQuery ? r._query : base._query;
        } else {
            if (r._path.front() == '/') {
                t._path = removeDotSegments(r._path);
            } else {
                std::string merged;
                if (base._hasAuthority && base._path.empty())
                    merged = "/" + r._path;
                else {
                    size_t slash = base._path.rfind('/');
                    merged = (slash == std::string::npos ? std::string() : base._path.substr(0, slash + 1))
                        + r._path;
                }
                t._path = removeDotSegments(merged);
            }
            t._query = r._query, t._hasQuery = r._hasQuery;
        }
    }
    t._fragment = r._fragment, t._hasFragment = r._hasFragment;
    return t;
}

HXURL HXURL::fileURLWithPath(const std::string& path)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/')
        absolute = HXString::stringByAppendingPathComponent(
            HXFileManager::defaultManager().currentDirectoryPath(), path);
    return fileURLWithPath(absolute, HXFileManager::defaultManager().isDirectoryAtPath(absolute));
}

HXURL HXURL::fileURLWithPath(const std::string& path, bool isDirectory)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/')
        absolute = HXString::stringByAppendingPathComponent(
            HXFileManager::defaultManager().currentDirectoryPath(), path);
    absolute = removeDotSegments(absolute);
    while (absolute.size() > 1 && absolute.back() == '/')
        absolute.pop_back();
    if (absolute.empty())
        absolute = "/";
    std::string text = "file://" + addingPercentEscapes(absolute, EscapeKind::Path);
    if (isDirectory && absolute != "/")
        text += '/';
    HXURL url;
    url.parse(text);
    return url;
}

bool HXURL::isFileURL() const
{
    return _scheme == "file";
}

std::string HXURL::user() const
{
    std::string_view info = _userInfo;
    auto decoded = decodeBytes(info.substr(0, info.find(':')));
    return decoded ? *decoded : std::string(info.substr(0, info.find(':')));
}

std::string HXURL::password() const
{
    size_t colon = _userInfo.find(':');
    if (colon == std::string::npos)
        return {};
    auto decoded = decodeBytes(std::string_view(_userInfo).substr(colon + 1));
    return decoded ? *decoded : _userInfo.substr(colon + 1);
}

std::string HXURL::path() const
{
    auto decoded = decodeBytes(_path);
    std::string p = decoded ? *decoded : _path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string HXURL::absoluteString() const
{
    if (!_base)
        return _string;
    std::string s;
    if (!_scheme.empty())
        s = _scheme + ":";
    if (_hasAuthority) {
        s += "//";
        if (!_userInfo.empty())
            s += _userInfo + "@";
        s += _host.find(':') != std::string::npos ? "[" + _host + "]" : _host;
        if (_port)
            s += ":" + std::to_string(*_port);
    }
    s += _path;
    if (_hasQuery)
        s += "?" + _query;
    if (_hasFragment)
        s += "#" + _fragment;
    return s;
}

std::string HXURL::relativeString() const
{
    return _string;
}

std::string HXURL::resourceSpecifier() const
{
    std::string s = absoluteString();
    return _scheme.empty() ? s : s.substr(_scheme.size() + 1);
}

HXURL HXURL::absoluteURL() const
{
    if (!_base)
        return *this;
    HXURL url;
    url.parse(absoluteString());
    return url;
}

std::string HXURL::lastPathComponent() const
{
    return HXString::lastPathComponent(path());
}

std::string HXURL::pathExtension() const
{
    return HXString::pathExtension(path());
}

bool HXURL::hasDirectoryPath() const
{
    return !_path.empty() && _path.back() == '/';
}

namespace {

// Rebuilds `url` with another (escaped) path, keeping everything else.
std::string withPath(const HXURL& url, const std::string& escapedPath)
{
    HXURL absolute = url.absoluteURL();
    std::string s = absolute.absoluteString();
    std::string head = absolute.scheme().empty() ? std::string() : s.substr(0, absolute.scheme().size() + 1);
    std::string rest = s.substr(head.size());
    size_t pathStart = 0;
    if (rest.rfind("//", 0) == 0) {
        pathStart = rest.find_first_of("/?#", 2);
        if (pathStart == std::string::npos)
            pathStart = rest.size();
    }
    size_t pathEnd = rest.find_first_of("?#", pathStart);
    if (pathEnd == std::string::npos)
        pathEnd = rest.size();
    return head + rest.substr(0, pathStart) + escapedPath + rest.substr(pathEnd);
}

std::string rawPath(const HXURL& url)
{
    // The escaped path of the absolute form.
    std::string s = url.absoluteURL().absoluteString();
    std::string rest = url.scheme().empty() ? s : s.substr(url.scheme().size() + 1);
    size_t start = 0;
    if (rest.rfind("//", 0) == 0) {
        start = rest.find_first_of("/?#", 2);
        if (start == std::string::npos)
            return {};
    }
    size_t end = rest.find_first_of("?#", start);
    return rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace

HXURL HXURL::URLByAppendingPathComponent(std::string_view component) const
{
    std::string path = rawPath(*this);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += addingPercentEscapes(component, EscapeKind::Path);
    HXURL url;
    url.parse(withPath(*this, path));
    return url;
}

HXURL HXURL::URLByDeletingLastPathComponent() const
{
    std::string path = rawPath(*this);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    HXURL url;
    url.parse(withPath(*this, path));
    return url;
}

HXURL HXURL::URLByAppendingPathExtension(std::string_view extension) const
{
    std::string path = rawPath(*this);
    bool directory = path.size() > 1 && path.back() == '/';
    if (directory)
        path.pop_back();
    path += "." + addingPercentEscapes(extension, EscapeKind::Component);
    if (directory)
        path += '/';
    HXURL url;
    url.parse(withPath(*this, path));
    return url;
}

HXURL HXURL::URLByDeletingPathExtension() const
{
    std::string path = rawPath(*this);
    bool directory = path.size() > 1 && path.back() == '/';
    if (directory)
        path.pop_back();
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        path.erase(dot);
    if (directory)
        path += '/';
    HXURL url;
    url.parse(withPath(*this, path));
    return url;
}

bool HXURL::operator==(const HXURL& other) const
{
    return absoluteString() == other.absoluteString();
}

std::string HXURL::addingPercentEscapes(std::string_view text, EscapeKind kind)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        bool keep = isUnreserved(c);
        if (!keep && kind != EscapeKind::Component) {
            keep = isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
            if (kind != EscapeKind::Path && c == '?')
                keep = true;
        }
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += hex[static_cast<uint8_t>(c) >> 4];
            out += hex[static_cast<uint8_t>(c) & 15];
        }
    }
    return out;
}

std::optional<std::string> HXURL::removingPercentEscapes(std::string_view text)
{
    auto decoded = decodeBytes(text);
    if (!decoded || !HXString::isValidUTF8(*decoded))
        return std::nullopt;
    return decoded;
}
