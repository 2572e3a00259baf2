#pragma once
// Silence in the setup of a sound track's own samples: what a saved movie puts where other programs,
// reading a time when the track has nothing to play, would otherwise play the start of its sound.
#include "platform/mvkit/media.h"

#include <cstdint>
#include <memory>

// A media of `source`'s kind and time scale holding silence, for at least `length` media units, in the
// setup of `source`'s description `descriptionIndex` (1-based): zero samples for PCM, else packets from
// the codec's encoder, set up so that the track's decoder reads them as they are. Null where nothing
// here can make such silence (no encoder for the codec, another setup than the encoder's).
std::shared_ptr<MVMedia> MVEncodedSilence(const MVMedia& source, uint32_t descriptionIndex, int64_t length);
