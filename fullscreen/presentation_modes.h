#pragma once
// The sizing rules of a full-screen presentation, free of windows: how a movie is classified by its shape,
// which mode a class presents in, how a mode sizes the movie view on a screen, which mode a scale request
// stands for, the heads-up panel's alternate mode, and the timing and steps of an animated frame change.
#include "document/presentation_settings.h"
#include "platform/basekit/property_list.h"
#include "platform/basekit/run_loop.h"
#include "platform/drawing/geometry.h"
#include "platform/mvkit/time.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class MVMovie;
class HXView;

enum FSPresentationMovieClass : uint16_t {
    FSPresentationMovieClassOther = 0,
    FSPresentationMovieClassStandard = 1, // aspect 1.25 to 1.5
    FSPresentationMovieClassWidescreen = 2, // aspect above 1.5 up to 3
    FSPresentationMovieClassNone = 0xFFFF, // no movie
};

// What the classification looks at.
struct FSPresentationMovieShape {
    bool isLinear = true;
    MVTime duration;
    HXSize naturalSize;
};

FSPresentationMovieClass FSPresentationGetMovieClassification(
    const std::optional<FSPresentationMovieShape>& movie);
// Every movie of ours plays linearly (there are no interactive or panorama-node movies).
FSPresentationMovieClass FSPresentationGetMovieClassification(const MVMovie* movie);

// Reads a full-screen preference by key (Null when it has no value).
using FSPresentationPreferenceReader = std::function<HXPropertyList(const std::string& key)>;
// The preferences' own store is FSPresentationPreference (document/presentation_settings.h).

// The mode a class presents in: its preference ("FullscreenPreferenceStandardSize",
// "FullscreenPreferenceWidescreenSize" or "FullscreenPreferenceSize"), never 3 or 0xFFFF, and 19 only
// where image filters are accelerated; letterbox (16) otherwise.
uint16_t FSPresentationGetModeForClass(FSPresentationMovieClass movieClass,
    const FSPresentationPreferenceReader& preference, bool filtersAccelerated);
uint16_t FSPresentationGetModeForClass(FSPresentationMovieClass movieClass);

// Whether image filtering keeps up with playback; asked once per process and cached. The panoramic
// stretch is our own separable remap, which runs a 1080p frame in a few milliseconds on one core.
bool FSPresentationImageFiltersAreAccelerated();
// Whether the movie's pictures pass through the movie view's image hook, where the panoramic filter
// works: every movie with a video track.
bool FSPresentationMovieUsesVisualContext(const MVMovie* movie);

// The movie view size of a mode (3 must have been resolved to the movie's default mode by the caller):
// N natural size, U user size, S screen size in points. Any mode not in the table sizes like 0.
HXSize FSPresentationMovieViewSize(uint16_t mode, HXSize natural, HXSize user, HXSize screen);
// `size` centred in a screen of `screen` size, unrounded (a larger movie gets a negative origin).
HXRect FSPresentationCentredFrame(HXSize size, HXSize screen);

// What a scale request (sx, sy) stands for: a mode, or (no mode) a frame of the natural size times the
// scale, centred. `screen` is the presenting screen's frame size.
struct FSPresentationScaleChoice {
    std::optional<uint16_t> mode;
    HXRect frame;
};
FSPresentationScaleChoice FSPresentationChooseModeForScale(
    HXSize scale, HXSize userScale, HXSize natural, HXSize screen);

// The mode the heads-up panel's toggle switches to: letterbox from any other mode; from letterbox, crop
// when the movie is at least as wide as the display, else panoramic stretch.
uint16_t FSPresentationAlternateMode(uint16_t current, HXSize content, HXSize display);

// An animated frame change: its duration for the largest change d of x, y, width or height
// (ln(1 + d / 100) × 181 / 750 seconds), and its frame at the fraction u of that time.
double FSPresentationFrameAnimationDuration(const HXRect& from, const HXRect& to);
HXRect FSPresentationFrameAnimationStep(const HXRect& from, const HXRect& to, double u);

// Sets the view's frame to `target` made integral, animated when asked: the steps follow the run loop's
// clock, each waiting 10 ms in the default mode, and the call returns when the final frame is set. The
// superview redraws what each step uncovers. `onStep` (for tests and the frame's followers) sees every
// intermediate frame.
void FSPresentationSetViewFrame(HXView& view, HXRect target, bool animate, HXRunLoop& runLoop,
    const std::function<void(const HXRect&)>& onStep = {});
