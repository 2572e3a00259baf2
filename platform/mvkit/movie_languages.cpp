// Languages, alternate groups and subtitles of a movie's tracks.
#include "platform/mvkit/movie.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie_links.h"
#include "platform/mvkit/playback/closed_caption_reader.h"
#include "platform/mvkit/playback/media_sample_source.h"

#include <algorithm>

uint32_t MVTrack::isoLanguageCode() const
{
    uint16_t packed = language();
    if (packed < 0x400)
        return 0;
    uint32_t code = 0;
    for (int i = 0; i < 3; ++i)
        code |= uint32_t(((packed >> (10 - 5 * i)) & 0x1F) + 0x60) << (24 - 8 * i);
    return code;
}

std::string MVTrack::extendedLanguageTagString() const
{
    if (!_media)
        return {};
    for (auto& atom : _media->storedDescription().unknownChildren) {
        if (atom.type != MVFourCC("elng") || atom.payload.size() < 4)
            continue;
        // Version and flags, then a NUL-terminated tag.
        std::string tag(atom.payload.begin() + 4, atom.payload.end());
        return tag.substr(0, tag.find('\0'));
    }
    return {};
}

std::vector<std::shared_ptr<MVTrack>> MVMovie::audioLanguageTracks() const
{
    auto sound = std::vector<std::shared_ptr<MVTrack>>();
    for (auto& t : _tracks)
        if (t->hasAudio())
            sound.push_back(t);
    if (sound.size() < 2)
        return {};
    return sound;
}

std::vector<std::shared_ptr<MVTrack>> MVMovie::alternateTracks() const
{
    std::vector<std::shared_ptr<MVTrack>> out;
    for (auto& t : _tracks)
        if (t->alternateGroup() != 0)
            out.push_back(t);
    return out;
}

std::vector<std::shared_ptr<MVTrack>> MVMovie::subtitleTracks() const
{
    // Text shown over the picture: subtitle media and text tracks, except those that hold chapters or links.
    std::vector<std::shared_ptr<MVTrack>> chapters;
    for (auto& t : _tracks)
        for (int i = 1; i <= t->referenceCount(MVFourCC("chap")); ++i)
            if (auto c = t->referenceTrack(MVFourCC("chap"), i))
                chapters.push_back(c);
    std::vector<std::shared_ptr<MVTrack>> out;
    for (auto& t : _tracks) {
        // Neither are chapter names nor the links of an href track.
        if (std::find(chapters.begin(), chapters.end(), t) != chapters.end() || MVTrackIsHrefTrack(*t))
            continue;
        uint32_t type = t->mediaType();
        if (type == MVFourCC("sbtl") || type == MVFourCC("subt") || type == MVFourCC("text"))
            out.push_back(t);
    }
    return out;
}

bool MVMovie::subtitlesVisible() const
{
    auto list = subtitleTracks();
    return std::any_of(list.begin(), list.end(), [](auto& t) { return t->isEnabled(); });
}

void MVMovie::setSubtitlesVisible(bool visible)
{
    auto list = subtitleTracks();
    if (list.empty())
        return;
    if (!visible) {
        for (auto& t : list)
            t->setEnabled(false);
    } else if (!subtitlesVisible()) {
        list.front()->setEnabled(true);
    }
}

std::shared_ptr<MVTrack> MVMovie::closedCaptionTrack() const
{
    for (const auto& t : _tracks)
        if (t->mediaType() == MVClosedCaptionMediaType && t->isEnabled())
            return t;
    for (const auto& t : _tracks) {
        if (t->mediaType() != MVFourCC("vide") || !t->isEnabled() || !t->media())
            continue;
        auto known = std::find_if(_captionCarriers.begin(), _captionCarriers.end(),
            [&](const auto& entry) { return entry.first.lock() == t; });
        if (known == _captionCarriers.end()) {
            MVMediaSampleSource source(*t);
            _captionCarriers.emplace_back(t, MVClosedCaptionReader::picturesCarryCaptions(source));
            known = std::prev(_captionCarriers.end());
        }
        if (known->second)
            return t;
    }
    return nullptr;
}

bool MVMovie::closedCaptionsVisible() const
{
    auto track = closedCaptionTrack();
    return track && track->attributeForKey(MVTrackClosedCaptionDisplayAttribute).boolValue();
}

void MVMovie::setClosedCaptionsVisible(bool visible)
{
    auto track = closedCaptionTrack();
    if (!track || track->attributeForKey(MVTrackClosedCaptionDisplayAttribute).boolValue() == visible)
        return;
    track->setAttributeForKey(visible, MVTrackClosedCaptionDisplayAttribute);
    postNotification(MVMovieClosedCaptionsDidChangeNotification);
}

void MVMovie::setMovieLanguage(const std::shared_ptr<MVTrack>& track)
{
    if (!track || track->movie().get() != this)
        return;
    for (auto& t : _tracks) {
        bool sameGroup = track->alternateGroup() != 0 ? t->alternateGroup() == track->alternateGroup()
                                                      : t->hasAudio() && track->hasAudio();
        if (sameGroup)
            t->setEnabled(t == track);
    }
}

void MVMovie::setLanguage(int64_t language)
{
    std::vector<int16_t> groups;
    for (auto& t : _tracks)
        if (t->alternateGroup() != 0
            && std::find(groups.begin(), groups.end(), t->alternateGroup()) == groups.end())
            groups.push_back(t->alternateGroup());
    for (auto group : groups) {
        for (auto& t : _tracks) {
            if (t->alternateGroup() == group && t->language() == language) {
                setMovieLanguage(t);
                break;
            }
        }
    }
}

void MVMovie::setSubtitles(const std::shared_ptr<MVTrack>& track)
{
    for (auto& t : subtitleTracks())
        t->setEnabled(t == track);
}

void MVMovie::setSubtitlesLanguage(int64_t language)
{
    for (auto& t : subtitleTracks()) {
        if (t->language() == language) {
            setSubtitles(t);
            return;
        }
    }
}
