#pragma once
// The player's own errors about a movie, and the alert that shows any error.
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* MVPMovieErrorDomain = "MVPMovieErrorDomain";

// Codes of MVPMovieErrorDomain.
enum MVPMovieErrorCode : int64_t {
    MVPMovieErrorCouldNotCreateMovie = 1,
    MVPMovieErrorCouldNotOpenMovie = 2,
    MVPMovieErrorCouldNotSaveMovie = 3,
    MVPMovieErrorCouldNotPaste = 4,
    MVPMovieErrorCouldNotDeleteSelection = 5,
    MVPMovieErrorMightExperiencePlaybackProblems = 6,
};

// User-info keys: the platform's own key strings, so platform code reads them as its own.
inline constexpr const char* MVPUnderlyingErrorKey = "HXUnderlyingError";
inline constexpr const char* MVPLocalizedDescriptionKey = "HXLocalizedDescription";
inline constexpr const char* MVPLocalizedFailureReasonErrorKey = "HXLocalizedFailureReason";
inline constexpr const char* MVPLocalizedRecoverySuggestionErrorKey = "HXLocalizedRecoverySuggestion";
inline constexpr const char* MVPLocalizedRecoveryOptionsErrorKey = "HXLocalizedRecoveryOptions";
inline constexpr const char* MVPRecoveryAttempterErrorKey = "HXRecoveryAttempter";
inline constexpr const char* MVPStringEncodingErrorKey = "HXStringEncoding";
inline constexpr const char* MVPURLErrorKey = "HXURL";
inline constexpr const char* MVPFilePathErrorKey = "HXFilePath";
// The movie the error is about. An error is a value that travels between processes, so it carries the
// movie's display name (empty when the movie has none), not the movie object.
inline constexpr const char* MVPMovieErrorKey = "MVPMovie";

// What an error knows of its movie.
struct MVPMovieErrorSubject {
    std::string displayName; // empty: the movie has no display name
};

// The main strings table key of a code's message ("mvpUnknownError" for codes outside 1-6).
std::string MVPMovieErrorMessageKey(int64_t code);

// An error of MVPMovieErrorDomain with `code`, described by the localized message of the code (naming the
// movie when it has a display name). An underlying error of the player's own domain is answered as it
// is, whatever the code.
HXError MVPMovieErrorWithCode(int64_t code, const std::optional<MVPMovieErrorSubject>& movie,
    const std::optional<HXError>& underlyingError);
// The same for a movie object (none: nullptr), named by its display name.
HXError MVPMovieErrorWithCode(
    int64_t code, const std::shared_ptr<MVMovie>& movie, const std::optional<HXError>& underlyingError);
