#include "document/language_window_controller.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/locale.h"

#include <algorithm>
#include <cctype>

namespace {

std::vector<std::string> splitTag(const std::string& tag)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : tag) {
        if (c == '-' || c == '_') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

std::string lowercased(std::string text)
{
    for (auto& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string uppercased(std::string text)
{
    for (auto& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string capitalized(std::string text)
{
    text = lowercased(std::move(text));
    if (!text.empty())
        text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

bool lessIgnoringCase(const std::optional<std::string>& a, const std::optional<std::string>& b)
{
    return lowercased(a.value_or(std::string())) < lowercased(b.value_or(std::string()));
}

bool isLetters(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalpha(c); });
}

} // namespace

std::optional<std::string> localeNameForLanguageTag(const std::string& tag)
{
    auto parts = splitTag(tag);
    std::map<std::string, std::string> components;
    auto take = [&components](const char* key, const std::string& part, size_t length) {
        if (part.size() == length && isLetters(part))
            components[key] = part;
    };
    if (parts.size() == 2) {
        take(HXLocaleLanguageCode, parts[0], 2);
        take(HXLocaleCountryCode, parts[1], 2);
        take(HXLocaleScriptCode, parts[1], 4);
    } else if (parts.size() == 3) {
        take(HXLocaleLanguageCode, parts[0], 2);
        take(HXLocaleScriptCode, parts[1], 4);
        take(HXLocaleCountryCode, parts[2], 2);
    } else {
        take(HXLocaleLanguageCode, parts[0], 2);
    }
    if (components.count(HXLocaleLanguageCode))
        components[HXLocaleLanguageCode] = lowercased(components[HXLocaleLanguageCode]);
    if (components.count(HXLocaleCountryCode))
        components[HXLocaleCountryCode] = uppercased(components[HXLocaleCountryCode]);
    if (components.count(HXLocaleScriptCode))
        components[HXLocaleScriptCode] = capitalized(components[HXLocaleScriptCode]);
    std::string identifier = HXLocale::localeIdentifierFromComponents(components);
    if (identifier.empty())
        return std::nullopt;
    return HXLocale::displayNameForIdentifier(identifier);
}

std::string stringForLanguageTag(const std::string& tag)
{
    if (auto name = localeNameForLanguageTag(tag))
        return *name;
    return HXLocalizedString("mvpSoundUnknown");
}

std::optional<std::string> stringForLanguageCode(int64_t code)
{
    std::string identifier;
    if (code >= 1 && code <= 1023) {
        auto classic = HXLocale::canonicalLocaleIdentifierFromLanguageCode(int(code), HXLocaleAnyRegion);
        if (!classic)
            return std::nullopt;
        identifier = *classic;
    } else {
        auto packed = uint32_t(code);
        identifier = { char(packed >> 24), char(packed >> 16), char(packed >> 8) };
        // Code 0 (and anything else that is no three letters) names no language.
        if (!isLetters(identifier))
            return std::nullopt;
        identifier = lowercased(identifier);
    }
    return HXLocale::displayNameForIdentifier(identifier);
}

bool languageTrackSort(const std::shared_ptr<MVTrack>& a, const std::shared_ptr<MVTrack>& b)
{
    std::string tagA = a->extendedLanguageTagString();
    std::string tagB = b->extendedLanguageTagString();
    if (!tagA.empty() && !tagB.empty()) {
        auto nameA = localeNameForLanguageTag(tagA);
        auto nameB = localeNameForLanguageTag(tagB);
        if (nameA || nameB)
            return lessIgnoringCase(nameA, nameB);
    }
    return lessIgnoringCase(
        stringForLanguageCode(a->isoLanguageCode()), stringForLanguageCode(b->isoLanguageCode()));
}

// ---- MVPLanguageChooser ----

MVPLanguageChooser::~MVPLanguageChooser()
{
    stopObserving();
}

void MVPLanguageChooser::stopObserving()
{
    if (_editObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_editObserver);
    _editObserver = 0;
}

void MVPLanguageChooser::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    stopObserving();
    _movie = movie;
    if (_movie) {
        _editObserver = HXNotificationCenter::defaultCenter().addObserver(
            this, MVMovieEditedNotification, _movie.get(), [this](const HXNotification&) { movieEdited(); });
    }
    updateLanguages();
}

void MVPLanguageChooser::movieEdited()
{
    _updateLanguages = true;
    updateLanguages();
}

void MVPLanguageChooser::updateLanguages()
{
    // Nothing is kept of the last scan: with no enabled track there is no current one.
    _selectedLanguageTrack.reset();
    std::vector<std::shared_ptr<MVTrack>> languages;
    std::vector<std::shared_ptr<MVTrack>> excluded;
    languages.reserve(5);
    excluded.reserve(5);
    if (_movie) {
        for (const auto& track : tracksToScan()) {
            if (track->isEnabled())
                _selectedLanguageTrack = track;
            (track->isExcludedFromAutoSelection() ? excluded : languages).push_back(track);
        }
    }
    if (languages.size() > 1)
        std::stable_sort(languages.begin(), languages.end(), languageTrackSort);
    if (excluded.size() > 1)
        std::stable_sort(excluded.begin(), excluded.end(), languageTrackSort);
    setLanguageTracks(std::move(languages));
    setExcludedTracks(std::move(excluded));
    _updateLanguages = false;
}

std::string MVPLanguageChooser::localeStringForLanguageTrack(const MVTrack& track) const
{
    if (std::string tag = track.extendedLanguageTagString(); !tag.empty())
        if (auto name = localeNameForLanguageTag(tag))
            return *name;
    int64_t code
        = track.language() >= 1 && track.language() <= 1023 ? track.language() : track.isoLanguageCode();
    if (auto name = localeStringForLanguageCode(code))
        return *name;
    return HXLocalizedString("mvpSoundUnknown");
}

void MVPLanguageChooser::postMovieEdited()
{
    if (_movie)
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVMovieEditedNotification, _movie.get()));
}

// ---- MVPLanguageWindowController ----

std::shared_ptr<MVPLanguageWindowController> MVPLanguageWindowController::languageWindowControllerWithMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    auto controller = std::make_shared<MVPLanguageWindowController>();
    controller->setMovie(movie);
    return controller;
}

MVPLanguageWindowController::~MVPLanguageWindowController() = default;

std::vector<std::shared_ptr<MVTrack>> MVPLanguageWindowController::tracksToScan() const
{
    auto tracks = movie()->audioLanguageTracks();
    return tracks.empty() ? movie()->alternateTracks() : tracks;
}

void MVPLanguageWindowController::setLanguageFromTrack(const std::shared_ptr<MVTrack>& track)
{
    if (!movie() || !track || track->movie() != movie())
        return;
    if (movie()->hasSubtitles()) {
        movie()->setMovieLanguage(track);
    } else {
        movie()->setLanguage(track->language());
        // Another track of the same language may have been chosen (or none, for tracks outside alternate
        // groups): the track asked for is the one that plays.
        if (!track->isEnabled())
            movie()->setMovieLanguage(track);
    }
    postMovieEdited();
}

void MVPLanguageWindowController::setLanguage(int64_t language)
{
    if (!movie())
        return;
    movie()->setLanguage(language);
    postMovieEdited();
}
