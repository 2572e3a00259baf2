#pragma once
// Movies with links for the link tests: an href track, or text tracks whose samples carry links.
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_links.h"
#include "platform/mvkit/sample_text_description.h"

#include <memory>
#include <string>
#include <vector>

namespace movara::test::document {

// Adds a text track of `mediaType` showing `samples` (whole sample bytes), one second each.
inline std::shared_ptr<MVTrack> addTextTrack(MVMovie& movie, const std::vector<MVBytes>& samples,
    const char* name = nullptr, uint32_t mediaType = MVFourCC("text"))
{
    auto track = movie.newTrack(mediaType, 600);
    MVBytes description = mediaType == MVFourCC("text") ? MVSerializeTextSampleDescription({})
                                                        : MVSerializeText3GSampleDescription({});
    int64_t at = 0;
    for (const auto& bytes : samples) {
        int64_t mediaTime = track->media()->addSample(bytes, 600, 1, description, 0);
        track->insertMedia(at, mediaTime, 600);
        at += 600;
    }
    if (name)
        track->setAttributeForKey(std::string(name), MVTrackDisplayNameAttribute);
    return track;
}

inline std::shared_ptr<MVMovie> hrefMovie(const std::vector<std::string>& texts)
{
    auto movie = MVMovie::movie();
    std::vector<MVBytes> samples;
    for (const auto& text : texts)
        samples.push_back(MVMakeTextSample(text));
    addTextTrack(*movie, samples, MVHrefTrackName)->setEnabled(false);
    return movie;
}

inline MVTime seconds(double s)
{
    return MVMakeTime(int64_t(s * 600), 600);
}

} // namespace movara::test::document
