#pragma once
// The track matte ('matt'): the mask image of a visual track as the movie file keeps it. Its one child,
// 'kmat', is a full atom holding an image description (a sample description entry: size, format,
// reserved, data reference index and the video fields) followed by the compressed image itself.
//
// We write the mask as a PNG image ('png ' description); a matte compressed as JPEG reads back too.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>

// The payload of a 'matt' atom holding `image`, a PNG image `width` × `height` pixels.
MVBytes MVTrackMattePayload(const MVBytes& image, uint16_t width, uint16_t height);

// The image bytes of a 'matt' payload; nothing when it holds no 'kmat', its description does not fit
// or its image is of a format we do not read.
std::optional<MVBytes> MVTrackMatteImage(const MVBytes& payload);
