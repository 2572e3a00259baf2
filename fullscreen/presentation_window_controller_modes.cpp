// FSPresentationWindowController: where the settings come from when they are not set, and how the modes
// size the movie view.
#include "document/movie_document.h"
#include "fullscreen/panoramic_stretch_filter.h"
#include "fullscreen/presentation_modes.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/run_loop.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"

HXPropertyList FSPresentationWindowController::presentationSettingForKey(const std::string& key)
{
    if (key == FSPresentationScreenSetting) {
        auto screen = presentationScreenSetting();
        return screen ? HXPropertyList(int64_t(screen->screenNumber())) : HXPropertyList();
    }
    if (key == FSPresentationColorSetting) {
        auto color = presentationColorSetting();
        return color ? HXPropertyList(color->archivedData()) : HXPropertyList();
    }
    HXPropertyList value = _settings.valueForKey(key);
    if (!value.isNull() || key == FullscreenPreferenceSize)
        return value;
    HXPropertyList preference = FSPresentationPreference(key);
    if (preference.isNull())
        return {};
    // What the preferences said holds for the rest of the presentation.
    _settings.setValueForKey(preference, key);
    value = _settings.valueForKey(key);
    return value.isNull() ? preference : value;
}

std::optional<HXScreen> FSPresentationWindowController::presentationScreenSetting()
{
    if (_settings.screen)
        return _settings.screen;
    std::optional<HXScreen> screen;
    HXPropertyList number = FSPresentationPreference("FullscreenPreferenceScreenNumber");
    if (number.isNumber() && number.integerValue() >= 0 && number.integerValue() <= int64_t(UINT32_MAX))
        screen = HXScreen::screenWithNumber(uint32_t(number.integerValue()));
    if (!screen)
        screen = HXScreen::mainScreen();
    _settings.screen = screen;
    return screen;
}

std::optional<HXColor> FSPresentationWindowController::presentationColorSetting()
{
    if (!_settings.color) {
        HXPropertyList data = FSPresentationPreference("FullscreenPreferenceBackgroundColorData");
        if (data.isData())
            _settings.color = HXColor::colorWithArchivedData(data.dataValue());
    }
    return _settings.color;
}

uint16_t FSPresentationWindowController::presentationMode() const
{
    return _settings.size ? uint16_t(uint64_t(*_settings.size) & 0xFFFF) : 0;
}

void FSPresentationWindowController::setPresentationMode(uint16_t mode, bool animate)
{
    _settings.size = int64_t(mode);
    if (presentationModeDidChange)
        presentationModeDidChange(mode);
    if (_fsPresentationHUDWindowController && _fsPresentationHUDWindowController->delegate() == this)
        _fsPresentationHUDWindowController->update();
    HXRect frame;
    getMovieViewFrame(&frame, nullptr, mode);
    if (mode != FSPresentationModePanoramic) {
        setMovieViewFrame(frame, animate);
        if (_movieView)
            _movieView->willDisplayImage = nullptr;
        _doPanoramicStretch = false;
        return;
    }
    _doPanoramicStretch = true;
    if (_movieView) {
        // The view belongs to the controller while it presents; the hook goes before the view does.
        _movieView->willDisplayImage = [this](MVMovieView& view, const std::shared_ptr<HXImage>& image) {
            return viewWillDisplayImage(view, image);
        };
    }
    setMovieViewFrame(frame, animate);
}

void FSPresentationWindowController::getMovieViewFrame(
    HXRect* movieViewFrame, HXRect* windowFrame, uint16_t mode)
{
    auto screen = presentationScreenSetting();
    HXRect screenFrame = screen ? screen->frame() : HXZeroRect;
    if (windowFrame)
        *windowFrame = screenFrame;
    if (!movieViewFrame)
        return;
    double factor = screen && screen->userSpaceScaleFactor() > 0 ? 1 / screen->userSpaceScaleFactor() : 1;
    HXSize S { factor * screenFrame.size.width, factor * screenFrame.size.height };
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    HXSize N = contentSize();
    HXSize U = doc ? doc->userSize() : N;
    if (mode == FSPresentationModeDefault)
        mode = defaultPresentationModeForMovie(movie().get(), screen);
    *movieViewFrame = FSPresentationCentredFrame(FSPresentationMovieViewSize(mode, N, U, S), S);
}

uint16_t FSPresentationWindowController::defaultPresentationModeForMovie(
    const MVMovie* movie, const std::optional<HXScreen>&) const
{
    uint16_t mode = FSPresentationGetModeForClass(FSPresentationGetMovieClassification(movie));
    if (mode == FSPresentationModePanoramic && !FSPresentationMovieUsesVisualContext(movie))
        return FSPresentationModeLetterbox;
    return mode;
}

uint16_t FSPresentationWindowController::mysteryPresentationMode()
{
    return FSPresentationAlternateMode(presentationMode(), contentSize(), displaySize());
}

bool FSPresentationWindowController::isPanoramicStretchAvailable() const
{
    return imageFiltersAreAccelerated() && FSPresentationMovieUsesVisualContext(movie().get());
}

bool FSPresentationWindowController::imageFiltersAreAccelerated() const
{
    return FSPresentationImageFiltersAreAccelerated();
}

HXSize FSPresentationWindowController::contentSize() const
{
    if (auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document()))
        return doc->naturalSize();
    if (auto m = movie()) {
        auto [width, height] = m->naturalSize();
        return { width, height };
    }
    return {};
}

HXSize FSPresentationWindowController::displaySize()
{
    auto screen = presentationScreenSetting();
    return screen ? screen->frame().size : HXSize {};
}

void FSPresentationWindowController::normalSize(HXObject*)
{
    setPresentationMode(FSPresentationModeActualSize, true);
}
void FSPresentationWindowController::doubleSize(HXObject*)
{
    setPresentationMode(FSPresentationModeDoubleSize, true);
}
void FSPresentationWindowController::halfSize(HXObject*)
{
    setPresentationMode(FSPresentationModeHalfSize, true);
}
void FSPresentationWindowController::fitToScreen(HXObject*)
{
    setPresentationMode(FSPresentationModeDefault, true);
}
void FSPresentationWindowController::letterboxToScreen(HXObject*)
{
    setPresentationMode(FSPresentationModeLetterbox, true);
}
void FSPresentationWindowController::cropToScreen(HXObject*)
{
    setPresentationMode(FSPresentationModeCrop, true);
}
void FSPresentationWindowController::stretchToScreen(HXObject*)
{
    setPresentationMode(FSPresentationModeStretch, true);
}
void FSPresentationWindowController::panoramicStretchToScreen(HXObject*)
{
    setPresentationMode(FSPresentationModePanoramic, true);
}

void FSPresentationWindowController::setMovieViewFrame(HXRect frame, bool animate)
{
    if (_movieView)
        FSPresentationSetViewFrame(*_movieView, frame, animate && _animate, HXRunLoop::current());
}

void FSPresentationWindowController::applyScale(HXSize scale, bool animate)
{
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    HXSize userScale = doc ? doc->userScale() : HXSize { 1, 1 };
    auto choice = FSPresentationChooseModeForScale(scale, userScale, contentSize(), displaySize());
    if (choice.mode)
        setPresentationMode(*choice.mode, animate);
    else
        setMovieViewFrame(choice.frame, animate);
}

std::shared_ptr<HXImage> FSPresentationWindowController::viewWillDisplayImage(
    MVMovieView& view, const std::shared_ptr<HXImage>& image)
{
    if (!_doPanoramicStretch || !image)
        return image;
    auto rep = image->bitmapImageRep();
    if (!rep)
        return image;
    if (!_panoramicFilter)
        _panoramicFilter = std::make_shared<MVPPanoramicStretchFilter>();
    _panoramicFilter->setValueForKey(rep, MVPPanoramicStretchFilterInputImageKey);
    MVPPanoramicStretchSetInputsForFrame(*_panoramicFilter,
        { double(rep->pixelsWide()), double(rep->pixelsHigh()) }, view.bounds().size, naturalSizeForFrames());
    auto output = _panoramicFilter->outputImage();
    _panoramicFilter->setValueForKey(
        std::shared_ptr<HXBitmapImageRep>(), MVPPanoramicStretchFilterInputImageKey);
    if (!output)
        return image;
    auto filtered = HXImage::initWithBitmapImageRep(output);
    if (!filtered)
        return image;
    filtered->setSize(image->size());
    return filtered;
}
