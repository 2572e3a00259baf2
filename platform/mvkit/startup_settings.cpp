#include "platform/mvkit/startup_settings.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"

#include <array>

namespace {

constexpr const char* kConformedAttribute = "MVMovieConformedAttribute";
constexpr std::array<uint32_t, 4> kApertureCodes { MVFourCC("clas"), MVFourCC("clea"), MVFourCC("prod"),
    MVFourCC("enco") };
constexpr std::array<const char*, 4> kApertureNames { "classic", "clean", "production", "encodedPixels" };

bool flagItem(const MVMovie& movie, uint32_t type)
{
    auto item = MVUserDataGetItem(movie.userData(), type, 1);
    return item && !item->empty() && (*item)[0] != 0;
}

void setFlagItem(MVMovie& movie, uint32_t type, bool flag)
{
    if (!MVUserDataSetItem(movie.userData(), type, 1, MVBytes { uint8_t(flag ? 1 : 0) }))
        MVUserDataAddItem(movie.userData(), type, MVBytes { uint8_t(flag ? 1 : 0) });
    movie.setChanged(true);
}

} // namespace

bool MVMovieAutoPlay(const MVMovie& movie) { return flagItem(movie, MVFourCC("play")); }
void MVMovieSetAutoPlay(MVMovie& movie, bool flag) { setFlagItem(movie, MVFourCC("play"), flag); }
bool MVMovieAutoCloseWhenDone(const MVMovie& movie) { return flagItem(movie, MVFourCC("aclo")); }
void MVMovieSetAutoCloseWhenDone(MVMovie& movie, bool flag) { setFlagItem(movie, MVFourCC("aclo"), flag); }
bool MVMovieAutoQuitWhenDone(const MVMovie& movie) { return flagItem(movie, MVFourCC("aqui")); }
void MVMovieSetAutoQuitWhenDone(MVMovie& movie, bool flag) { setFlagItem(movie, MVFourCC("aqui"), flag); }

uint32_t MVMoviePlayerApertureMode(const MVMovie& movie)
{
    if (auto item = MVUserDataGetItem(movie.userData(), MVFourCC("apmd"), 1); item && item->size() >= 4) {
        uint32_t code = (uint32_t((*item)[0]) << 24) | (uint32_t((*item)[1]) << 16) | (uint32_t((*item)[2]) << 8)
            | uint32_t((*item)[3]);
        for (size_t i = 0; i < kApertureCodes.size(); ++i)
            if (kApertureCodes[i] == code)
                return uint32_t(i);
    }
    if (movie.trackCount() == 0 || MVMovieConformed(movie))
        return MVPlayerApertureModeClean;
    return MVPlayerApertureModeClassic;
}

bool MVMovieSetPlayerApertureMode(MVMovie& movie, uint32_t mode)
{
    if (mode >= kApertureCodes.size())
        return false;
    uint32_t code = kApertureCodes[mode];
    MVBytes bytes { uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code) };
    if (!MVUserDataSetItem(movie.userData(), MVFourCC("apmd"), 1, bytes))
        MVUserDataAddItem(movie.userData(), MVFourCC("apmd"), bytes);
    movie.setAttributeForKey(std::string(kApertureNames[mode]), MVMovieApertureModeAttribute);
    movie.setChanged(true);
    return true;
}

bool MVMovieConformed(const MVMovie& movie)
{
    HXPropertyList flag = movie.attributeForKey(kConformedAttribute);
    if (flag.isBoolean())
        return flag.boolValue();
    for (const auto& track : movie.tracks()) {
        if (!track->isVisual())
            continue;
        for (const auto& atom : track->storedDescription().unknownChildren)
            if (atom.type == MVFourCC("tapt"))
                return true;
    }
    return false;
}

void MVMovieSetConformed(MVMovie& movie, bool flag)
{
    movie.setAttributeForKey(flag, kConformedAttribute);
}
