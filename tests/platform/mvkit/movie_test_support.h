#pragma once
// Movies built in memory for the model's unit tests: one video track of numbered one-byte samples.
#include "platform/mvkit/movie.h"

#include <memory>

namespace movara::test::movie {

inline MVBytes videoDescription(uint32_t format = MVFourCC("mp4v"))
{
    MVSampleDescription d;
    d.format = format;
    d.data = { 0, 0, 0, 0 };
    return MVSampleDescriptionBytes(d);
}

// `frames` samples of 60 units at media scale 600 (0.1 s each), sample i holding the byte i; every
// `syncEvery`-th sample is a sync sample. The track shows the whole media from time 0.
inline std::shared_ptr<MVTrack> addVideoTrack(
    MVMovie& movie, int frames, int syncEvery = 1, uint8_t firstByte = 0)
{
    auto track = movie.newTrack(MVFourCC("vide"), 600, 160, 120);
    auto desc = videoDescription();
    for (int i = 0; i < frames; ++i)
        track->media()->addSample(
            { uint8_t(firstByte + i) }, 60, 1, desc, i % syncEvery ? MVMediaSampleNotSync : 0);
    track->insertMedia(0, 0, int64_t(frames) * 60);
    return track;
}

inline std::shared_ptr<MVMovie> videoMovie(int frames, int syncEvery = 1, uint8_t firstByte = 0)
{
    auto m = MVMovie::movie();
    addVideoTrack(*m, frames, syncEvery, firstByte);
    m->setChanged(false);
    return m;
}

// The byte of the sample shown at each 0.1 s step of the track (−1 for empty time).
inline std::vector<int> shownBytes(const MVTrack& track)
{
    std::vector<int> out;
    for (int64_t t = 0; t < track.duration(); t += 60) {
        int64_t media = track.trackTimeToMediaTime(t);
        if (media < 0) {
            out.push_back(-1);
            continue;
        }
        auto s = track.media()->getSample(media);
        out.push_back(s && !s->bytes.empty() ? s->bytes[0] : -2);
    }
    return out;
}

} // namespace movara::test::movie
