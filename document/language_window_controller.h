#pragma once
// The language choosers of a movie document: the sorted lists of a movie's tracks that the Language
// (audio) and Subtitles menus offer, kept up to date as the movie is edited, and the switch to a chosen
// track. MVPLanguageWindowController keeps the audio-language tracks, MVPSubtitlesController
// (subtitles_controller.h) the subtitle tracks; both share MVPLanguageChooser.
//
// Track names come from the track's extended language tag, else from its language code, in the
// words of the user's language.
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The name of a language tag ("fr-CA", "zh_Hant_TW"): the tag is split at '-' and '_'; with two parts
// the first is the language when 2 letters long and the second the country (2 letters) or the script (4);
// with three, language (2), script (4) and country (2); with any other count only a first part of 2
// letters is taken, as the language. Nothing when no language results or it has no name.
std::optional<std::string> localeNameForLanguageTag(const std::string& tag);
// The same, with the localized "mvpSoundUnknown" when there is no name.
std::string stringForLanguageTag(const std::string& tag);
// The name of a language code: 1 to 1023 a classic language number, any other value three ISO 639
// letters in its three high bytes ("eng" = 0x656E6700). Nothing when there is no name.
std::optional<std::string> stringForLanguageCode(int64_t code);
// Orders tracks by the names of their language tags when both have one and either name exists, else by
// the names of their ISO language codes; case-insensitive. True when `a` goes before `b`.
bool languageTrackSort(const std::shared_ptr<MVTrack>& a, const std::shared_ptr<MVTrack>& b);

class MVPLanguageChooser {
public:
    virtual ~MVPLanguageChooser();

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // Follows `movie` (null: none): observes its edits and rebuilds the lists.
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    // The tracks that take part in automatic selection, and those the movie excludes from it; sorted.
    const std::vector<std::shared_ptr<MVTrack>>& languageTracks() const { return _languageTracks; }
    const std::vector<std::shared_ptr<MVTrack>>& excludedTracks() const { return _excludedTracks; }
    void setLanguageTracks(std::vector<std::shared_ptr<MVTrack>> tracks)
    {
        _languageTracks = std::move(tracks);
    }
    void setExcludedTracks(std::vector<std::shared_ptr<MVTrack>> tracks)
    {
        _excludedTracks = std::move(tracks);
    }
    // The last enabled track of the lists; null when none is enabled.
    const std::shared_ptr<MVTrack>& currentLanguageTrack() const { return _selectedLanguageTrack; }
    bool needsUpdate() const { return _updateLanguages; }

    void movieEdited();
    void updateLanguages();

    std::string localeStringForLanguageTrack(const MVTrack& track) const;
    std::optional<std::string> localeStringForLanguageCode(int64_t code) const
    {
        return stringForLanguageCode(code);
    }
    std::string localeStringForLanguageTag(const std::string& tag) const { return stringForLanguageTag(tag); }

    // Plays or shows `track` and tells the movie's observers that the movie changed.
    virtual void setLanguageFromTrack(const std::shared_ptr<MVTrack>& track) = 0;
    virtual void setLanguage(int64_t language) = 0;

protected:
    MVPLanguageChooser() = default;
    // The tracks the lists are made of, in movie order.
    virtual std::vector<std::shared_ptr<MVTrack>> tracksToScan() const = 0;
    void postMovieEdited();

private:
    void stopObserving();

    std::shared_ptr<MVMovie> _movie;
    std::vector<std::shared_ptr<MVTrack>> _languageTracks;
    std::vector<std::shared_ptr<MVTrack>> _excludedTracks;
    bool _updateLanguages = false;
    std::shared_ptr<MVTrack> _selectedLanguageTrack;
    HXObserverToken _editObserver = 0;
};

class MVPLanguageWindowController : public MVPLanguageChooser {
public:
    static std::shared_ptr<MVPLanguageWindowController> languageWindowControllerWithMovie(
        const std::shared_ptr<MVMovie>& movie);
    ~MVPLanguageWindowController() override;

    // With subtitles in the movie the track is played among its alternates; otherwise the movie plays
    // the language of the track.
    void setLanguageFromTrack(const std::shared_ptr<MVTrack>& track) override;
    void setLanguage(int64_t language) override;

protected:
    // The sound tracks offered by language, else the tracks of the alternate groups.
    std::vector<std::shared_ptr<MVTrack>> tracksToScan() const override;
};
