#pragma once
// JPEG images of bitmaps (posters of exported movies), encoded with libavcodec.
#include "platform/basekit/property_list.h"

#include <optional>

class HXBitmapImageRep;

// The bitmap as JPEG bytes; `compression` from 0 (smallest) to 1 (best). Nullopt when it cannot be
// encoded.
std::optional<HXData> MVJPEGRepresentationOfBitmap(const HXBitmapImageRep& bitmap, double compression);
