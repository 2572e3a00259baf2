#pragma once
// Links inside a movie, and following them.
//
// A movie carries links in two ways:
// - an href track: a text track named "HREFTrack" (usually disabled, so it is never drawn) whose samples
//   hold, for the time they cover, a URL in angle brackets, optionally followed by a target in the same
//   form after a 'T' ("<other.mov>T<myself>");
// - timed text with link modifiers: a 'tx3g' sample may carry 'hlnk' atoms (start and end character,
//   the URL as a counted string, then a counted alternative text) over the text it shows.
// The link shown at a time is the href track's, else the first link of the text an enabled text track
// shows then. Following a link resolves it against the movie's own location and asks the movie's
// delegate (MVMovieDelegate::movieLinkToURL); the target, when there is one, becomes the URL's fragment.
#include "platform/basekit/url.h"
#include "platform/mvkit/movie.h"

#include <optional>
#include <string>

inline constexpr const char* MVHrefTrackName = "HREFTrack";

struct MVMovieLink {
    std::string url; // as written in the movie (often relative)
    std::string target; // empty when none
    bool operator==(const MVMovieLink&) const = default;
};

// An href sample's text: "<url>" with an optional "T<target>" after it. Nothing when the text holds no
// URL in angle brackets.
std::optional<MVMovieLink> MVParseHrefSampleText(const std::string& text);
// The URL of the first 'hlnk' atom of a text sample; nothing when it has none or the atom is cut short.
std::optional<std::string> MVTextSampleLinkURL(const MVBytes& sample);
// The atom a text sample carries for a link over characters [start, end).
MVBytes MVMakeTextLinkAtom(uint16_t start, uint16_t end, const std::string& url);

bool MVTrackIsHrefTrack(const MVTrack& track);
// The link the movie shows at `time`; nothing when there is none.
std::optional<MVMovieLink> MVMovieLinkAtTime(const MVMovie& movie, MVTime time);
// The URL a link leads to: resolved against the movie's location, the target as its fragment (a
// fragment written in the link wins). Nothing for a link that is no URL.
std::optional<HXURL> MVMovieURLForLink(const MVMovie& movie, const MVMovieLink& link);
// Hands the link to the movie's delegate. True when the delegate followed it. A link that begins with
// "#" never reaches the delegate: "#close", "#fullscreen" and "#exitfullscreen" (in any case) are the
// movie's requests to close its window, present it full screen and end that (movie.h); others do nothing.
bool MVMovieFollowLink(MVMovie& movie, const MVMovieLink& link);
// Follows the link shown at `time` (a click on the movie). False when there is none or nobody followed it.
bool MVMovieFollowLinkAtTime(MVMovie& movie, MVTime time);
