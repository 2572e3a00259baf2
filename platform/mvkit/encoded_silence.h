#pragma once
// Silence in the setup of a sound or text track's own samples (for text: a text of no characters): what a
// saved movie puts where other programs, reading a time when the track has nothing to play or show, would
// otherwise play or show the start of the track.
#include "platform/mvkit/media.h"

#include <cstdint>
#include <memory>

// A media of `source`'s kind and time scale holding silence, for at least `length` media units, in the
// setup of `source`'s description `descriptionIndex` (1-based): zero samples for PCM, else packets from
// the codec's encoder, set up so that the track's decoder reads them as they are; one empty text for
// text. Null where nothing
// here can make such silence (no encoder for the codec, another setup than the encoder's).
std::shared_ptr<MVMedia> MVEncodedSilence(const MVMedia& source, uint32_t descriptionIndex, int64_t length);
