#pragma once
// The parameters of this program's own sample description ('MVav', codec_parameters_description.h) to
// and from libavcodec's.
#include "platform/mvkit/atoms/codec_parameters_description.h"

struct AVCodecParameters;

// What a sound or picture stream of an imported file needs to be decoded again. `aspectNumerator` and
// `aspectDenominator` are the container's pixel shape, which wins over the codec's when it states one.
MVCodecParameters MVCodecParametersOfStream(
    const AVCodecParameters& stream, int aspectNumerator = 0, int aspectDenominator = 0);

// Fills `out` (freshly allocated) with `parameters`; false when libavcodec has no codec of that name, or
// the kind of codec is not the kind of the media.
bool MVFillAVCodecParameters(const MVCodecParameters& parameters, AVCodecParameters* out);
