#include "core/movie_error.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/strings.h"

std::string MVPMovieErrorMessageKey(int64_t code)
{
    switch (code) {
    case MVPMovieErrorCouldNotCreateMovie:
        return "mvpCouldNotCreateMovie";
    case MVPMovieErrorCouldNotOpenMovie:
        return "mvpCouldNotOpenMovie";
    case MVPMovieErrorCouldNotSaveMovie:
        return "mvpCouldNotSaveMovie";
    case MVPMovieErrorCouldNotPaste:
        return "mvpCouldNotPaste";
    case MVPMovieErrorCouldNotDeleteSelection:
        return "mvpCouldNotDeleteSelection";
    case MVPMovieErrorMightExperiencePlaybackProblems:
        return "mvpMightExperiencePlaybackProblems";
    default:
        return "mvpUnknownError";
    }
}

HXError MVPMovieErrorWithCode(int64_t code, const std::optional<MVPMovieErrorSubject>& movie,
    const std::optional<HXError>& underlyingError)
{
    if (underlyingError && underlyingError->domain() == MVPMovieErrorDomain)
        return *underlyingError;

    const std::string key = MVPMovieErrorMessageKey(code);
    std::string message;
    if (movie && !movie->displayName.empty()) {
        // The translated text is a format with one object placeholder; the formatter never reads
        // past its one argument, whatever the translation holds.
        const std::string withNameKey = key + "WithName";
        std::string formatted = HXString::format(
            HXLocalizedString(withNameKey), std::vector<std::string> { movie->displayName });
        if (formatted != withNameKey)
            message = formatted;
    }
    if (message.empty())
        message = HXLocalizedString(key);

    HXPropertyList::Dictionary userInfo;
    if (message != key)
        userInfo[MVPLocalizedDescriptionKey] = HXPropertyList(message);
    if (underlyingError) {
        userInfo[MVPLocalizedRecoverySuggestionErrorKey]
            = HXPropertyList(underlyingError->localizedDescription());
        userInfo[MVPUnderlyingErrorKey] = underlyingError->archived();
    }
    if (movie)
        userInfo[MVPMovieErrorKey] = HXPropertyList(movie->displayName);
    return HXError(MVPMovieErrorDomain, code, std::move(userInfo));
}

HXError MVPMovieErrorWithCode(
    int64_t code, const std::shared_ptr<MVMovie>& movie, const std::optional<HXError>& underlyingError)
{
    std::optional<MVPMovieErrorSubject> subject;
    if (movie)
        subject = MVPMovieErrorSubject { movie->displayName() };
    return MVPMovieErrorWithCode(code, subject, underlyingError);
}
