#include "fullscreen/presentation_modes.h"

#include "platform/mvkit/movie.h"
#include "platform/winkit/view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

FSPresentationMovieClass FSPresentationGetMovieClassification(
    const std::optional<FSPresentationMovieShape>& movie)
{
    if (!movie)
        return FSPresentationMovieClassNone;
    if (!movie->isLinear)
        return FSPresentationMovieClassOther;
    if (MVTimeCompare(movie->duration, MVMakeTime(1, 1)) < 0)
        return FSPresentationMovieClassOther;
    // Cross-multiplied, so that the bounds 1.25, 1.5 and 3 are exact.
    double w = movie->naturalSize.width;
    double h = movie->naturalSize.height;
    if (5 * h > 4 * w)
        return FSPresentationMovieClassOther;
    if (w > 3 * h)
        return FSPresentationMovieClassOther;
    if (2 * w > 3 * h)
        return FSPresentationMovieClassWidescreen;
    return FSPresentationMovieClassStandard;
}

FSPresentationMovieClass FSPresentationGetMovieClassification(const MVMovie* movie)
{
    if (!movie)
        return FSPresentationGetMovieClassification(std::nullopt);
    auto [width, height] = movie->naturalSize();
    return FSPresentationGetMovieClassification(
        FSPresentationMovieShape { true, movie->duration(), { width, height } });
}

uint16_t FSPresentationGetModeForClass(FSPresentationMovieClass movieClass,
    const FSPresentationPreferenceReader& preference, bool filtersAccelerated)
{
    const char* key = nullptr;
    switch (movieClass) {
    case FSPresentationMovieClassStandard:
        key = "FullscreenPreferenceStandardSize";
        break;
    case FSPresentationMovieClassWidescreen:
        key = "FullscreenPreferenceWidescreenSize";
        break;
    case FSPresentationMovieClassOther:
        key = FullscreenPreferenceSize;
        break;
    default:
        return FSPresentationModeLetterbox;
    }
    HXPropertyList value = preference ? preference(key) : HXPropertyList();
    if (value.isNull())
        return FSPresentationModeLetterbox;
    auto mode = uint16_t(uint64_t(value.integerValue()) & 0xFFFF);
    if (mode == FSPresentationModeNone || mode == FSPresentationModeDefault)
        return FSPresentationModeLetterbox;
    if (mode == FSPresentationModePanoramic && !filtersAccelerated)
        return FSPresentationModeLetterbox;
    return mode;
}

uint16_t FSPresentationGetModeForClass(FSPresentationMovieClass movieClass)
{
    return FSPresentationGetModeForClass(
        movieClass, FSPresentationPreference, FSPresentationImageFiltersAreAccelerated());
}

bool FSPresentationImageFiltersAreAccelerated()
{
    // Our remap needs no graphics hardware to keep up, so the answer is the same on every machine.
    static const bool accelerated = true;
    return accelerated;
}

bool FSPresentationMovieUsesVisualContext(const MVMovie* movie)
{
    return movie && movie->hasVideo();
}

HXSize FSPresentationMovieViewSize(uint16_t mode, HXSize natural, HXSize user, HXSize screen)
{
    switch (mode) {
    case FSPresentationModeDoubleSize:
        return { 2 * natural.width, 2 * natural.height };
    case FSPresentationModeHalfSize:
        return { 0.5 * natural.width, 0.5 * natural.height };
    case FSPresentationModeCurrentSize:
        return user;
    case FSPresentationModeLetterbox:
    case FSPresentationModeCrop: {
        // A movie without a picture size has nothing to scale.
        if (!(natural.width > 0 && natural.height > 0))
            return natural;
        double kx = screen.width / natural.width;
        double ky = screen.height / natural.height;
        double k = mode == FSPresentationModeLetterbox ? std::min(kx, ky) : std::max(kx, ky);
        return { k * natural.width, k * natural.height };
    }
    case FSPresentationModeStretch:
    case FSPresentationModePanoramic:
        return screen;
    default:
        return natural;
    }
}

HXRect FSPresentationCentredFrame(HXSize size, HXSize screen)
{
    return { { 0.5 * (screen.width - size.width), 0.5 * (screen.height - size.height) }, size };
}

FSPresentationScaleChoice FSPresentationChooseModeForScale(
    HXSize scale, HXSize userScale, HXSize natural, HXSize screen)
{
    auto is = [&](double x, double y) { return scale.width == x && scale.height == y; };
    if (is(0.5, 0.5))
        return { FSPresentationModeHalfSize, {} };
    if (is(1, 1))
        return { FSPresentationModeActualSize, {} };
    if (is(2, 2))
        return { FSPresentationModeDoubleSize, {} };
    if (is(userScale.width, userScale.height))
        return { FSPresentationModeCurrentSize, {} };
    double rx = screen.width / natural.width;
    double ry = screen.height / natural.height;
    double low = std::min(rx, ry);
    double high = std::max(rx, ry);
    if (is(low, low))
        return { FSPresentationModeLetterbox, {} };
    if (is(high, high))
        return { FSPresentationModeCrop, {} };
    if (is(rx, ry))
        return { FSPresentationModeStretch, {} };
    return { std::nullopt,
        FSPresentationCentredFrame({ natural.width * scale.width, natural.height * scale.height }, screen) };
}

uint16_t FSPresentationAlternateMode(uint16_t current, HXSize content, HXSize display)
{
    if (current != FSPresentationModeLetterbox)
        return FSPresentationModeLetterbox;
    return content.width * display.height >= content.height * display.width ? FSPresentationModeCrop
                                                                            : FSPresentationModePanoramic;
}

double FSPresentationFrameAnimationDuration(const HXRect& from, const HXRect& to)
{
    double d = std::max({ std::fabs(to.origin.x - from.origin.x), std::fabs(to.origin.y - from.origin.y),
        std::fabs(to.size.width - from.size.width), std::fabs(to.size.height - from.size.height) });
    return std::log(1 + d / 100) * 181 / 750;
}

HXRect FSPresentationFrameAnimationStep(const HXRect& from, const HXRect& to, double u)
{
    double s = std::sin(u * std::numbers::pi / 2);
    s *= s;
    auto mix = [s](double end, double start) { return s * end + (1 - s) * start; };
    HXRect frame { { std::ceil(mix(to.origin.x, from.origin.x)), std::ceil(mix(to.origin.y, from.origin.y)) },
        { std::floor(mix(to.size.width, from.size.width)),
            std::floor(mix(to.size.height, from.size.height)) } };
    return HXIntegralRect(frame);
}

namespace {

void setFrameAndRedraw(HXView& view, const HXRect& frame)
{
    auto superview = view.superview();
    if (superview) {
        superview->setNeedsDisplayInRect(view.frame());
        superview->setNeedsDisplayInRect(frame);
    }
    view.setFrame(frame);
    if (superview)
        superview->displayIfNeeded();
}

} // namespace

void FSPresentationSetViewFrame(HXView& view, HXRect target, bool animate, HXRunLoop& runLoop,
    const std::function<void(const HXRect&)>& onStep)
{
    target = HXIntegralRect(target);
    if (animate) {
        const HXRect start = view.frame();
        const double duration = FSPresentationFrameAnimationDuration(start, target);
        const HXTimeInterval t0 = runLoop.now();
        const HXTimeInterval end = t0 + duration;
        HXTimeInterval step = t0 + 0.01;
        while (step < end) {
            HXRect frame = FSPresentationFrameAnimationStep(start, target, (step - t0) / duration);
            setFrameAndRedraw(view, frame);
            if (onStep)
                onStep(frame);
            // Let the default mode run (timers, drawing) until 10 ms after this step.
            const HXTimeInterval limit = step + 0.01;
            while (runLoop.now() < limit)
                runLoop.runMode(HXDefaultRunLoopMode, limit);
            step = runLoop.now();
        }
    }
    setFrameAndRedraw(view, target);
    if (onStep)
        onStep(target);
}
