#pragma once
// MVMovieDelegate: what a movie asks of the object that shows it — following a link the viewer chose
// inside the movie, and showing a diagnosis of a network problem the movie ran into. A movie does not
// keep its delegate alive (MVMovie::setDelegate).
#include "platform/basekit/error.h"
#include "platform/basekit/url.h"

#include <memory>
#include <string>

class MVMovie;

// In the user info of a movie's load error: true when the movie's server could not be reached at all (no
// connection, no route, no such host, no answer). The movie then asks its delegate to show a network
// diagnosis before it reports the error.
inline constexpr const char* MVNetworkUnreachableErrorKey = "MVNetworkUnreachable";

// A network problem of a movie, handed to the delegate to diagnose: where the movie was loading from and
// what went wrong. The platform's diagnosis services, when there are any, take it as it is.
class MVNetDiagnostic {
public:
    MVNetDiagnostic(HXURL url, HXError error)
        : _url(std::move(url))
        , _error(std::move(error))
    {
    }
    const HXURL& url() const { return _url; }
    const HXError& error() const { return _error; }

private:
    HXURL _url;
    HXError _error;
};

class MVMovieDelegate {
public:
    virtual ~MVMovieDelegate() = default;
    // A link inside the movie was chosen. True when the delegate took care of it; otherwise the movie
    // leaves it alone.
    virtual bool movieLinkToURL(MVMovie& movie, const HXURL& url)
    {
        (void)movie;
        (void)url;
        return false;
    }
    // The movie would like a network diagnosis shown for `diagnostic`. True when the delegate showed
    // (or deliberately ignored) it.
    virtual bool moviePostNetworkDiagnosticUI(
        MVMovie& movie, const std::shared_ptr<MVNetDiagnostic>& diagnostic)
    {
        (void)movie;
        (void)diagnostic;
        return false;
    }
};
