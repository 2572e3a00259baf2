#pragma once
// What a movie asks of the player when it is opened, kept in the movie's user data: play at once
// ('play'), close and quit when done ('aclo', 'aqui'), and the aperture mode pictures are shown in
// ('apmd', a four-char code); and whether the movie is conformed (its pictures carry aperture sizes),
// which a user may also set for this session.
//
// Setting any of them marks the movie changed.
#include <cstdint>

class MVMovie;

bool MVMovieAutoPlay(const MVMovie& movie);
void MVMovieSetAutoPlay(MVMovie& movie, bool flag);
bool MVMovieAutoCloseWhenDone(const MVMovie& movie);
void MVMovieSetAutoCloseWhenDone(MVMovie& movie, bool flag);
bool MVMovieAutoQuitWhenDone(const MVMovie& movie);
void MVMovieSetAutoQuitWhenDone(MVMovie& movie, bool flag);

// Aperture modes as the player's pop-up numbers them.
enum MVPlayerApertureMode : uint32_t {
    MVPlayerApertureModeClassic = 0, // 'clas'
    MVPlayerApertureModeClean = 1, // 'clea'
    MVPlayerApertureModeProduction = 2, // 'prod'
    MVPlayerApertureModeEncodedPixels = 3, // 'enco'
};
// The stored mode; without one, clean for a conformed movie (or one without tracks), else classic.
uint32_t MVMoviePlayerApertureMode(const MVMovie& movie);
// Stores the mode and shows the movie in it; unknown modes are refused (false).
bool MVMovieSetPlayerApertureMode(MVMovie& movie, uint32_t mode);

// Conformed: the flag set for the movie, else whether a video track carries aperture sizes ('tapt').
bool MVMovieConformed(const MVMovie& movie);
void MVMovieSetConformed(MVMovie& movie, bool flag);
