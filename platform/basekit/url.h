#pragma once
// HXURL: a URL as a value: parsed into scheme, user, password, host, port, path, query and fragment,
// optionally relative to a base URL.
//
// Components are kept as written (percent escapes included) except path(), user() and password(),
// which are unescaped. A string with a character that may not appear in a URL (a blank, a
// non-ASCII byte, a malformed '%' escape) is no URL: URLWithString gives std::nullopt.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class HXURL {
public:
    HXURL() = default; // the empty URL (isEmpty())

    static std::optional<HXURL> URLWithString(std::string_view string);
    // `string` resolved against `base` (RFC 3986); relativeString() keeps `string`.
    static std::optional<HXURL> URLWithString(std::string_view string, const HXURL& base);
    // A "file://" URL. A relative path is taken from the current folder; the path is standardized
    // and escaped. isDirectory adds a trailing '/'.
    static HXURL fileURLWithPath(const std::string& path);
    static HXURL fileURLWithPath(const std::string& path, bool isDirectory);

    bool isEmpty() const { return _string.empty() && !_base; }
    bool isFileURL() const;
    const std::string& scheme() const { return _scheme; } // lower case, "" when relative
    std::string user() const;
    std::string password() const;
    const std::string& host() const { return _host; } // brackets of IPv6 addresses removed
    std::optional<int> port() const { return _port; }
    std::string path() const; // unescaped; "" when there is none
    const std::string& query() const { return _query; } // without '?'
    const std::string& fragment() const { return _fragment; } // without '#'
    bool hasQuery() const { return _hasQuery; }
    bool hasFragment() const { return _hasFragment; }
    std::string resourceSpecifier() const; // everything after "scheme:"

    std::string absoluteString() const; // resolved against the base
    std::string relativeString() const; // as given
    const HXURL* baseURL() const { return _base.get(); }
    HXURL absoluteURL() const;

    std::string lastPathComponent() const;
    std::string pathExtension() const;
    bool hasDirectoryPath() const; // path ends with '/'
    HXURL URLByAppendingPathComponent(std::string_view component) const; // component is escaped
    HXURL URLByDeletingLastPathComponent() const;
    HXURL URLByAppendingPathExtension(std::string_view extension) const;
    HXURL URLByDeletingPathExtension() const;

    // Equal when the absolute strings are equal.
    bool operator==(const HXURL& other) const;

    // Percent escapes. `kind` chooses which characters stay as they are: Path keeps '/' and the
    // characters allowed in path segments; Component keeps only letters, digits and "-._~" (every
    // delimiter escaped, as for one path segment or query value). Text is taken as UTF-8 bytes.
    enum class EscapeKind { Path, Query, Fragment, Component };
    static std::string addingPercentEscapes(std::string_view text, EscapeKind kind = EscapeKind::Path);
    // std::nullopt when an escape is malformed or the result is not valid UTF-8.
    static std::optional<std::string> removingPercentEscapes(std::string_view text);

private:
    bool parse(std::string_view string);
    static HXURL resolved(const HXURL& relative, const HXURL& base);

    std::string _string; // as given
    std::string _scheme, _userInfo, _host, _path, _query, _fragment;
    bool _hasAuthority = false, _hasQuery = false, _hasFragment = false;
    std::optional<int> _port;
    std::shared_ptr<const HXURL> _base;
};
