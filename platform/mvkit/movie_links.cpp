// Links inside a movie: href tracks and timed-text link modifiers, and handing them to the delegate.
#include "platform/mvkit/movie_links.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie_delegate.h"
#include "platform/mvkit/sample_text_description.h"

#include <algorithm>
#include <cctype>

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
            [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// The text inside the angle brackets that start at `open`; nothing without a closing bracket.
std::optional<std::string> bracketed(const std::string& text, size_t open)
{
    if (open >= text.size() || text[open] != '<')
        return std::nullopt;
    size_t close = text.find('>', open + 1);
    if (close == std::string::npos)
        return std::nullopt;
    return text.substr(open + 1, close - open - 1);
}

std::string trimmed(const std::string& text)
{
    size_t start = 0, end = text.size();
    while (start < end && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(start, end - start);
}

// The bytes of the sample `track` shows at movie units `time`; nothing in an empty segment or outside.
std::optional<MVBytes> sampleShownAt(const MVTrack& track, int64_t time)
{
    if (!track.media())
        return std::nullopt;
    int64_t mediaTime = track.trackTimeToMediaTime(time);
    if (mediaTime < 0)
        return std::nullopt;
    auto sample = track.media()->getSample(mediaTime);
    if (!sample)
        return std::nullopt;
    return sample->bytes;
}

bool isTextMedia(uint32_t type)
{
    return type == MVFourCC("text") || type == MVFourCC("sbtl") || type == MVFourCC("subt");
}

} // namespace

std::optional<MVMovieLink> MVParseHrefSampleText(const std::string& text)
{
    std::string body = trimmed(text);
    // An automatic link ("A<url>") is followed like a chosen one when it is chosen.
    size_t open = body.rfind('A', 0) == 0 ? 1 : 0;
    auto url = bracketed(body, open);
    if (!url || trimmed(*url).empty())
        return std::nullopt;
    MVMovieLink link { trimmed(*url), {} };
    size_t after = body.find('>', open) + 1;
    if (after < body.size() && (body[after] == 'T' || body[after] == 't'))
        if (auto target = bracketed(body, after + 1))
            link.target = trimmed(*target);
    return link;
}

std::optional<std::string> MVTextSampleLinkURL(const MVBytes& sample)
{
    auto atom = MVTextSampleAtom(sample, MVFourCC("hlnk"));
    // Header (8), start and end character (2 each), then the URL's length (1) and the URL.
    if (!atom || atom->size() < 13)
        return std::nullopt;
    size_t length = (*atom)[12];
    if (length == 0 || atom->size() < 13 + length)
        return std::nullopt;
    return std::string(atom->begin() + 13, atom->begin() + 13 + std::ptrdiff_t(length));
}

MVBytes MVMakeTextLinkAtom(uint16_t start, uint16_t end, const std::string& url)
{
    std::string text = url.substr(0, 255);
    uint32_t size = uint32_t(8 + 4 + 1 + text.size() + 1);
    MVBytes atom
        = { uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size), 'h', 'l', 'n', 'k',
              uint8_t(start >> 8), uint8_t(start), uint8_t(end >> 8), uint8_t(end), uint8_t(text.size()) };
    atom.reserve(size);
    atom.insert(atom.end(), text.begin(), text.end());
    atom.push_back(0); // no alternative text
    return atom;
}

bool MVTrackIsHrefTrack(const MVTrack& track)
{
    return isTextMedia(track.mediaType())
        && equalsIgnoringCase(
            track.attributeForKey(MVTrackDisplayNameAttribute).stringValue(), MVHrefTrackName);
}

std::optional<MVMovieLink> MVMovieLinkAtTime(const MVMovie& movie, MVTime time)
{
    if (!MVTimeIsNumeric(time))
        return std::nullopt;
    int64_t units = MVTimeInScaleFloor(time, movie.timeScale()).timeValue;
    for (const auto& track : movie.tracks()) {
        if (!MVTrackIsHrefTrack(*track))
            continue;
        if (auto bytes = sampleShownAt(*track, units))
            if (auto text = MVTextSampleString(*bytes))
                if (auto link = MVParseHrefSampleText(*text))
                    return link;
    }
    for (const auto& track : movie.tracks()) {
        if (!track->isEnabled() || !isTextMedia(track->mediaType()) || MVTrackIsHrefTrack(*track))
            continue;
        if (auto bytes = sampleShownAt(*track, units))
            if (auto url = MVTextSampleLinkURL(*bytes))
                return MVMovieLink { *url, {} };
    }
    return std::nullopt;
}

std::optional<HXURL> MVMovieURLForLink(const MVMovie& movie, const MVMovieLink& link)
{
    std::string text = link.url;
    if (!link.target.empty() && text.find('#') == std::string::npos)
        text += "#" + HXURL::addingPercentEscapes(link.target, HXURL::EscapeKind::Fragment);
    // A link to a place in the movie itself stays as it is: it is the movie's own business.
    if (text.rfind('#', 0) == 0)
        return HXURL::URLWithString(text);
    if (auto base = movie.URL())
        if (auto resolved = HXURL::URLWithString(text, *base))
            return resolved->absoluteURL();
    return HXURL::URLWithString(text);
}

bool MVMovieFollowLink(MVMovie& movie, const MVMovieLink& link)
{
    // A link that begins with "#" is the movie's own: a request to the window that shows it, or nothing.
    if (!link.url.empty() && link.url.front() == '#') {
        std::string command = link.url.substr(1);
        std::transform(command.begin(), command.end(), command.begin(),
            [](unsigned char c) { return char(std::tolower(c)); });
        if (command == "close")
            movie.requestCloseWindow();
        else if (command == "fullscreen")
            movie.requestEnterFullScreen();
        else if (command == "exitfullscreen")
            movie.requestExitFullScreen();
        else
            return false;
        return true;
    }
    auto delegate = movie.delegate();
    auto url = MVMovieURLForLink(movie, link);
    if (!delegate || !url)
        return false;
    return delegate->movieLinkToURL(movie, *url);
}

bool MVMovieFollowLinkAtTime(MVMovie& movie, MVTime time)
{
    auto link = MVMovieLinkAtTime(movie, time);
    return link && MVMovieFollowLink(movie, *link);
}
