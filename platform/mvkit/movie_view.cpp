#include "platform/mvkit/movie_view.h"

#include "platform/basekit/undo_manager.h"
#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/graphics_context.h"
#include "platform/mvkit/aperture.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/panorama/panorama_controller.h"
#include "platform/mvkit/playback/image_buffer_pool.h"
#include "platform/mvkit/track_geometry.h"
#include "platform/winkit/event.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

MVMovieView::MVMovieView(HXRect frame)
    : HXView(frame)
{
    registerActions();
}

MVMovieView::~MVMovieView()
{
    if (_playback) {
        _playback->player().onPictureChange = nullptr;
        if (_preparer)
            _playback->player().setPreparer(_preparerKey.trackID, nullptr);
    }
    if (_panoramaObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_panoramaObserver);
    if (_apertureObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_apertureObserver);
}

void MVMovieView::registerActions()
{
    struct Entry {
        const char* selector;
        void (MVMovieView::*method)(HXObject*);
    };
    static const Entry entries[] = {
        { "cut:", &MVMovieView::cut },
        { "copy:", &MVMovieView::copy },
        { "paste:", &MVMovieView::paste },
        { "delete:", &MVMovieView::delete_ },
        { "trim:", &MVMovieView::trim },
        { "add:", &MVMovieView::add },
        { "addScaled:", &MVMovieView::addScaled },
        { "replace:", &MVMovieView::replace },
        { "selectAll:", &MVMovieView::selectAll },
        { "selectNone:", &MVMovieView::selectNone },
        { "gotoBeginning:", &MVMovieView::gotoBeginning },
        { "gotoEnd:", &MVMovieView::gotoEnd },
        { "gotoPosterFrame:", &MVMovieView::gotoPosterFrame },
        { "play:", &MVMovieView::play },
        { "pause:", &MVMovieView::pause },
    };
    for (const auto& e : entries)
        setActionHandler(
            e.selector, [this, method = e.method](HXObject* sender) { (this->*method)(sender); });
}

void MVMovieView::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    if (movie == _movie)
        return;
    if (_playback) {
        _playback->player().onPictureChange = nullptr;
        if (_preparer)
            _playback->player().setPreparer(_preparerKey.trackID, nullptr);
    }
    _preparer = nullptr;
    _preparerKey = {};
    _converted = nullptr;
    _movie = movie;
    _playback = movie ? MVMoviePlayback::playbackForMovie(movie) : nullptr;
    if (_movie && _undoManager)
        _movie->setUndoManager(_undoManager);
    if (_playback) {
        _playback->player().onPictureChange = [this] { pictureDidChange(); };
        _converter.setAdjustments(_playback->visualAdjustments());
    }
    observePanorama();
    followApertureMode();
    setNeedsDisplay(true);
}

void MVMovieView::followApertureMode()
{
    // The pictures are drawn in the movie's aperture mode, and again whenever it changes.
    auto& center = HXNotificationCenter::defaultCenter();
    if (_apertureObserver)
        center.removeObserver(_apertureObserver);
    _apertureObserver = 0;
    if (!_movie)
        return;
    auto apply = [this] {
        HXPropertyList mode = _movie->attributeForKey(MVMovieApertureModeAttribute);
        if (mode.isString())
            setApertureMode(MVApertureModeForName(mode.stringValue()));
    };
    apply();
    _apertureObserver = center.addObserver(
        MVMovieApertureModeDidChangeNotification, _movie.get(), [apply](const HXNotification&) { apply(); });
}

void MVMovieView::observePanorama()
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_panoramaObserver)
        center.removeObserver(_panoramaObserver);
    _panoramaObserver = 0;
    if (_movie)
        _panoramaObserver = center.addObserver(MVMoviePanoramaViewDidChangeNotification, _movie.get(),
            [this](const HXNotification&) { setNeedsDisplay(true); });
}

void MVMovieView::setFillColor(const HXColor& color)
{
    _fillColor = color;
    setNeedsDisplay(true);
}

void MVMovieView::setPreservesAspectRatio(bool flag)
{
    _preservesAspectRatio = flag;
    setNeedsDisplay(true);
}

void MVMovieView::setControllerVisible(bool flag)
{
    _controllerVisible = flag;
    setNeedsDisplay(true);
}

void MVMovieView::setApertureMode(MVApertureMode mode)
{
    _apertureMode = mode;
    setNeedsDisplay(true);
}

void MVMovieView::setHighQuality(bool flag)
{
    _highQuality = flag;
    setNeedsDisplay(true);
}

void MVMovieView::setDeinterlace(bool flag)
{
    _deinterlace = flag;
    setNeedsDisplay(true);
}

void MVMovieView::setUndoManager(HXUndoManager* manager)
{
    _undoManager = manager;
    if (_movie)
        _movie->setUndoManager(manager);
}

// ---- Geometry

HXRect MVMovieView::controllerBounds() const
{
    if (!_controllerVisible)
        return HXZeroRect;
    HXRect b = bounds();
    double h = std::min(kControllerHeight, b.size.height);
    return HXMakeRect(b.origin.x, isFlipped() ? b.origin.y + b.size.height - h : b.origin.y, b.size.width, h);
}

HXSize MVMovieView::naturalMovieSize() const
{
    if (!_movie)
        return HXZeroSize;
    auto [w, h] = _movie->naturalSize();
    if (w > 0 && h > 0)
        return HXMakeSize(w, h);
    if (_playback)
        for (const auto& p : _playback->player().presentedPictures())
            if (p.picture.frame) {
                auto g = geometryFor(p.trackID, *p.picture.frame);
                return HXMakeSize(g.displayWidth, g.displayHeight);
            }
    return HXZeroSize;
}

HXRect MVMovieView::movieBounds() const
{
    HXRect area = bounds();
    if (_controllerVisible) {
        double h = std::min(kControllerHeight, area.size.height);
        area.size.height -= h;
        if (!isFlipped())
            area.origin.y += h;
    }
    HXSize natural = naturalMovieSize();
    if (!_preservesAspectRatio || natural.width <= 0 || natural.height <= 0 || area.size.width <= 0
        || area.size.height <= 0)
        return area;
    double scale = std::min(area.size.width / natural.width, area.size.height / natural.height);
    double w = natural.width * scale, h = natural.height * scale;
    return HXMakeRect(
        area.origin.x + (area.size.width - w) / 2, area.origin.y + (area.size.height - h) / 2, w, h);
}

MVApertureGeometry MVMovieView::geometryFor(uint32_t trackID, const MVDecodedFrame& frame) const
{
    std::optional<MVSampleDescription> description;
    if (_movie)
        if (auto track = _movie->trackByID(trackID);
            track && track->media() && !track->media()->sampleDescriptions().empty())
            description = track->media()->sampleDescriptions().front();
    if (!description) {
        MVApertureGeometry g;
        g.cropWidth = g.displayWidth = frame.width();
        g.cropHeight = g.displayHeight = frame.height();
        return g;
    }
    return MVApertureGeometryForDescription(*description, frame.width(), frame.height(), _apertureMode);
}

// ---- Pictures

MVPictureBox MVMovieView::movieBox() const
{
    MVPictureBox box;
    if (_movie)
        for (const auto& track : _movie->tracks())
            if (track->isVisual() && track->isEnabled())
                box = MVPictureBoxUnion(box,
                    MVPictureBoxForTrack(
                        track->width(), track->height(), MVAffineForMatrixRecord(track->matrix())));
    return box;
}

std::shared_ptr<HXImage> MVMovieView::imageForPictures(
    const std::vector<MVMoviePlayer::PresentedPicture>& pictures, HXSize size)
{
    const int width = int(std::lround(size.width)), height = int(std::lround(size.height));
    if (width < 1 || height < 1)
        return nullptr;
    if (_playback)
        _converter.setAdjustments(_playback->visualAdjustments());

    // Where each picture goes in movie space.
    struct Layer {
        const MVMoviePlayer::PresentedPicture* picture;
        std::shared_ptr<MVTrack> track;
        MVApertureGeometry geometry;
        MVCompositedPicture composed;
        MVPictureBox box;
    };
    std::vector<Layer> layers;
    MVPictureBox pictureBox;
    for (const auto& p : pictures) { // back to front
        if (!p.picture.frame)
            continue;
        Layer layer { &p, _movie ? _movie->trackByID(p.trackID) : nullptr,
            geometryFor(p.trackID, *p.picture.frame), {}, {} };
        MVCompositedPicture& c = layer.composed;
        c.trackWidth
            = layer.track && layer.track->width() > 0 ? layer.track->width() : layer.geometry.displayWidth;
        c.trackHeight
            = layer.track && layer.track->height() > 0 ? layer.track->height() : layer.geometry.displayHeight;
        if (layer.track) {
            c.matrix = MVAffineForMatrixRecord(layer.track->matrix());
            auto mode = layer.track->attributeForKey(MVTrackTransferModeAttribute);
            if (mode.isInteger())
                c.graphicsMode = uint16_t(mode.integerValue());
            auto color = layer.track->attributeForKey(MVTrackOperationColorAttribute);
            if (color.isArray() && color.count() == 3)
                for (size_t k = 0; k < 3; ++k)
                    c.opColor[k] = uint16_t(color[k].integerValue());
            c.mask = maskFor(*layer.track);
        }
        layer.box = MVPictureBoxForTrack(c.trackWidth, c.trackHeight, c.matrix);
        if (layer.box.isEmpty())
            continue;
        pictureBox = MVPictureBoxUnion(pictureBox, layer.box);
        layers.push_back(std::move(layer));
    }
    if (layers.empty())
        return nullptr;
    MVPictureBox box = movieBox();
    if (box.isEmpty())
        box = pictureBox;

    auto rep = HXBitmapImageRep::initWithSize(width, height);
    if (!rep)
        return nullptr;
    auto prepare = [&](const Layer& layer) { prepareConverter(_converter, layer.track); };

    // One upright picture covering the whole movie and simply copied: converted straight to its place.
    const Layer& only = layers.front();
    const uint16_t onlyMode = only.composed.graphicsMode;
    if (layers.size() == 1 && only.composed.matrix.isUprightScale() && only.box == box && !only.composed.mask
        && (onlyMode == MVGraphicsModeCopy || onlyMode == MVGraphicsModeDitherCopy
            || onlyMode == MVGraphicsModeComposition)) {
        MVImageBuffer buffer;
        prepare(only);
        if (!_converter.convert(*only.picture->picture.frame, only.geometry, width, height, buffer))
            return nullptr;
        unsigned char* pixels = rep->bitmapData();
        const size_t rowBytes = rep->bytesPerRow();
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels + size_t(y) * rowBytes,
                buffer.pixels.data() + size_t(y) * size_t(buffer.bytesPerRow), size_t(width) * 4);
        rep->markDirty();
        return HXImage::initWithBitmapImageRep(rep);
    }

    // Each picture converted at about the size it takes on the canvas, then placed.
    std::vector<MVImageBuffer> buffers(layers.size());
    std::vector<MVCompositedPicture> composed;
    const double scaleX = width / box.width, scaleY = height / box.height;
    for (size_t k = 0; k < layers.size(); ++k) {
        Layer& layer = layers[k];
        const MVAffine& m = layer.composed.matrix;
        auto side = [](double length) { return int(std::clamp(std::lround(length), 1L, 8192L)); };
        const int w = side(layer.composed.trackWidth * std::hypot(m.a, m.b) * scaleX);
        const int h = side(layer.composed.trackHeight * std::hypot(m.c, m.d) * scaleY);
        prepare(layer);
        if (!_converter.convert(*layer.picture->picture.frame, layer.geometry, w, h, buffers[k]))
            continue;
        layer.composed.image = &buffers[k];
        composed.push_back(layer.composed);
    }
    if (composed.empty())
        return nullptr;
    MVComposePictures(rep->cairoSurface(), box, composed);
    rep->markDirty();
    return HXImage::initWithBitmapImageRep(rep);
}

const MVImageBuffer* MVMovieView::maskFor(const MVTrack& track)
{
    auto data = MVTrackMaskData(track);
    if (!data) {
        _masks.erase(track.trackID());
        return nullptr;
    }
    Mask& mask = _masks[track.trackID()];
    if (mask.image.bytes != data->bytes) {
        mask.image = *data;
        mask.pixels.reset();
        if (auto rep = HXBitmapImageRep::imageRepWithData(*data)) {
            auto pixels = std::make_shared<MVImageBuffer>();
            pixels->width = rep->pixelsWide();
            pixels->height = rep->pixelsHigh();
            pixels->bytesPerRow = int(rep->bytesPerRow());
            const uint8_t* bytes = rep->bitmapData();
            pixels->pixels.assign(bytes, bytes + rep->bytesPerRow() * size_t(rep->pixelsHigh()));
            mask.pixels = std::move(pixels);
        }
    }
    return mask.pixels.get();
}

std::shared_ptr<HXImage> MVMovieView::currentFrameImage()
{
    if (!_playback)
        return nullptr;
    return imageForPictures(_playback->player().presentedPictures(), naturalMovieSize());
}

std::shared_ptr<HXImage> MVMovieView::frameImageAtTime(MVTime time)
{
    if (!_playback)
        return nullptr;
    return imageForPictures(_playback->picturesAtTime(time), naturalMovieSize());
}

void MVMovieView::drawForPrinting()
{
    _fillColor.setFill();
    HXRectFill(bounds());
    HXRect target = movieBounds();
    if (drawPanorama(target) || !_playback)
        return;
    if (auto image = imageForPictures(_playback->player().presentedPictures(), naturalMovieSize()))
        image->drawInRect(target);
    drawTexts(target);
}

void MVMovieView::drawRect(HXRect dirtyRect)
{
    (void)dirtyRect;
    if (auto context = HXGraphicsContext::currentContext(); context && !context->isDrawingToScreen()) {
        drawForPrinting();
        return;
    }
    _fillColor.setFill();
    HXRectFill(bounds());
    _drawnAsLayer = false;
    _drawnTexts.clear();
    if (drawPanorama(movieBounds())) {
        // A panorama's view takes the place of the pictures.
    } else if (_playback) {
        HXRect target = movieBounds();
        if (singlePicture()) {
            // The picture is the window's video layer (videoLayer): its rectangle stays clear here.
            _drawnAsLayer = true;
            _drawnVideoRect = videoRect();
            HXRectFillUsingOperation(_drawnVideoRect, HXCompositeClear);
        } else {
            // Converted at the size it is drawn, so scaling happens once, in the converter.
            auto image = imageForPictures(_playback->player().presentedPictures(), target.size);
            if (image && willDisplayImage)
                image = willDisplayImage(*this, image);
            if (image)
                image->drawInRect(target);
        }
        drawTexts(target);
        for (const auto& text : _playback->player().presentedTexts())
            _drawnTexts.push_back(text.text);
    }
    if (_controllerVisible) {
        HXColor::colorWithCalibratedWhite(0.85).setFill();
        HXRect bar = controllerBounds();
        HXRectFill(bar);
        if (_movie && _movie->durationValue() > 0 && _playback) {
            // The played part of the movie as a darker band.
            double fraction = std::clamp(
                double(_playback->player().currentTime()) / double(_movie->durationValue()), 0.0, 1.0);
            HXColor::colorWithCalibratedWhite(0.4).setFill();
            HXRectFill(HXMakeRect(
                bar.origin.x, bar.origin.y + bar.size.height / 2 - 2, bar.size.width * fraction, 4));
        }
    }
}

void MVMovieView::drawTexts(HXRect target)
{
    // Subtitles and other texts: white on a dark band, centred near the bottom of the picture, the
    // frontmost lowest.
    HXStringAttributes attributes;
    attributes.font = HXFont::boldSystemFontOfSize(std::clamp(target.size.height / 12, 10.0, 48.0));
    attributes.foregroundColor = HXColor::whiteColor();
    const double margin = std::max(2.0, target.size.height * 0.04);
    double y = isFlipped() ? target.origin.y + target.size.height - margin : target.origin.y + margin;
    const auto& texts = _playback->player().presentedTexts();
    for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
        if (it->text.empty())
            continue;
        HXSize size = HXStringDrawing::sizeWithAttributes(it->text, attributes);
        double width = std::min(size.width, target.size.width);
        HXRect band = HXMakeRect(target.origin.x + (target.size.width - width) / 2 - 4,
            isFlipped() ? y - size.height : y, width + 8, size.height);
        HXColor::colorWithCalibratedWhite(0, 0.6).setFill();
        HXRectFill(band);
        HXStringDrawing::drawInRect(
            it->text, HXMakeRect(band.origin.x + 4, band.origin.y, width, size.height), attributes);
        y += isFlipped() ? -(size.height + 2) : size.height + 2;
    }
}

// ---- Video layer

namespace {

HXVideoPicture bgraPicture(const std::shared_ptr<const MVImageBuffer>& buffer, uint64_t serial)
{
    HXVideoPicture picture;
    if (!buffer || buffer->pixels.empty())
        return picture;
    picture.format = HXVideoPixelFormat::BGRA;
    picture.width = buffer->width;
    picture.height = buffer->height;
    picture.planes[0] = buffer->pixels.data();
    picture.strides[0] = buffer->bytesPerRow;
    picture.owner = buffer;
    picture.serial = serial;
    return picture;
}

// The frame's planes as they are, cropped to the geometry on whole chroma samples; an invalid picture
// for formats a renderer does not take.
HXVideoPicture yuvPicture(const std::shared_ptr<MVDecodedFrame>& frame, const MVApertureGeometry& g)
{
    HXVideoPicture picture;
    const AVFrame* f = frame->avFrame();
    const bool nv12 = f->format == AV_PIX_FMT_NV12;
    if (!nv12 && f->format != AV_PIX_FMT_YUV420P && f->format != AV_PIX_FMT_YUVJ420P)
        return picture;
    if (f->width < 2 || f->height < 2 || f->linesize[0] <= 0 || f->linesize[1] <= 0 || (!nv12 && f->linesize[2] <= 0))
        return picture;
    int x = 0, y = 0, w = f->width, h = f->height;
    if (g.cropWidth > 0 && g.cropHeight > 0) {
        x = std::clamp(int(g.cropX) & ~1, 0, f->width - 2);
        y = std::clamp(int(g.cropY) & ~1, 0, f->height - 2);
        w = std::clamp(int(std::lround(g.cropWidth)), 2, f->width - x);
        h = std::clamp(int(std::lround(g.cropHeight)), 2, f->height - y);
    }
    picture.format = nv12 ? HXVideoPixelFormat::NV12 : HXVideoPixelFormat::I420;
    picture.width = w;
    picture.height = h;
    picture.planes[0] = f->data[0] + ptrdiff_t(y) * f->linesize[0] + x;
    picture.strides[0] = f->linesize[0];
    picture.planes[1] = f->data[1] + ptrdiff_t(y / 2) * f->linesize[1] + (nv12 ? x : x / 2);
    picture.strides[1] = f->linesize[1];
    if (!nv12) {
        picture.planes[2] = f->data[2] + ptrdiff_t(y / 2) * f->linesize[2] + x / 2;
        picture.strides[2] = f->linesize[2];
    }
    picture.bt709 = f->colorspace == AVCOL_SPC_BT709;
    picture.fullRange = f->format == AV_PIX_FMT_YUVJ420P || f->color_range == AVCOL_RANGE_JPEG;
    picture.owner = frame;
    picture.serial = frame->serial();
    return picture;
}

} // namespace

void MVMovieView::prepareConverter(MVFrameConverter& converter, const std::shared_ptr<MVTrack>& track) const
{
    // The track's own video flags add to the view's.
    auto flag = [&](const char* key) { return track && track->attributeForKey(key).boolValue(); };
    converter.setHighQuality(_highQuality || flag(MVTrackHighQualityVideoAttribute));
    converter.setDeinterlace(_deinterlace || flag(MVTrackDeinterlaceVideoAttribute));
    converter.setSingleField(flag(MVTrackSingleFieldVideoAttribute));
    if (_playback)
        converter.setAdjustments(_playback->visualAdjustments());
}

std::optional<MVMovieView::SinglePicture> MVMovieView::singlePicture() const
{
    if (!_playback || willDisplayImage)
        return std::nullopt;
    const MVMoviePlayer::PresentedPicture* only = nullptr;
    for (const auto& p : _playback->player().presentedPictures()) {
        if (!p.picture.frame)
            continue;
        if (only)
            return std::nullopt;
        only = &p;
    }
    if (!only)
        return std::nullopt;
    SinglePicture single { *only, _movie ? _movie->trackByID(only->trackID) : nullptr, {} };
    single.geometry = geometryFor(only->trackID, *only->picture.frame);
    if (single.track) {
        const MVAffine matrix = MVAffineForMatrixRecord(single.track->matrix());
        auto mode = single.track->attributeForKey(MVTrackTransferModeAttribute);
        const uint16_t graphicsMode = mode.isInteger() ? uint16_t(mode.integerValue()) : uint16_t(MVGraphicsModeCopy);
        // A turned, blended or masked picture is composed here, not handed over as it is.
        if (!matrix.isUprightScale()
            || (graphicsMode != MVGraphicsModeCopy && graphicsMode != MVGraphicsModeDitherCopy
                && graphicsMode != MVGraphicsModeComposition)
            || MVTrackHasMask(*single.track))
            return std::nullopt;
        const double w = single.track->width() > 0 ? single.track->width() : single.geometry.displayWidth;
        const double h = single.track->height() > 0 ? single.track->height() : single.geometry.displayHeight;
        MVPictureBox box = movieBox();
        if (!box.isEmpty() && !(MVPictureBoxForTrack(w, h, matrix) == box))
            return std::nullopt;
    }
    return single;
}

HXRect MVMovieView::videoRect() const
{
    HXRect rect = movieBounds();
    if (!window())
        return HXIntegralRect(rect);
    HXRect base = convertRectToView(rect, nullptr);
    const double x0 = std::round(base.origin.x), y0 = std::round(base.origin.y);
    const double x1 = std::round(HXMaxX(base)), y1 = std::round(HXMaxY(base));
    return convertRectFromView(HXMakeRect(x0, y0, x1 - x0, y1 - y0), nullptr);
}

void MVMovieView::pictureDidChange()
{
    // A new picture of the layer needs no drawing; new texts, or a change of how the movie is shown, do.
    bool sameDrawing = _drawnAsLayer && _playback && singlePicture().has_value() && videoRect() == _drawnVideoRect;
    if (sameDrawing) {
        const auto& texts = _playback->player().presentedTexts();
        sameDrawing = texts.size() == _drawnTexts.size();
        for (size_t i = 0; sameDrawing && i < texts.size(); ++i)
            sameDrawing = texts[i].text == _drawnTexts[i];
    }
    if (sameDrawing)
        setNeedsVideoPresent();
    else
        setNeedsDisplay(true);
}

void MVMovieView::updatePreparer(const SinglePicture& single, int width, int height)
{
    if (!_playback)
        return;
    if (width <= 0 || height <= 0) {
        if (_preparer)
            _playback->player().setPreparer(_preparerKey.trackID, nullptr);
        _preparer = nullptr;
        _preparerKey = {};
        return;
    }
    auto flag = [&](const char* key) { return single.track && single.track->attributeForKey(key).boolValue(); };
    PreparerKey key { single.picture.trackID, width, height, _playback->visualAdjustments(),
        _highQuality || flag(MVTrackHighQualityVideoAttribute), _deinterlace || flag(MVTrackDeinterlaceVideoAttribute),
        flag(MVTrackSingleFieldVideoAttribute), _apertureMode };
    if (_preparer && key == _preparerKey)
        return;
    // A picture converted here with the settings before (a paused one) is converted again with these.
    _converted = nullptr;
    if (_preparer && _preparerKey.trackID != key.trackID)
        _playback->player().setPreparer(_preparerKey.trackID, nullptr);
    auto converter = std::make_shared<MVFrameConverter>();
    prepareConverter(*converter, single.track);
    std::optional<MVSampleDescription> description;
    if (single.track && single.track->media() && !single.track->media()->sampleDescriptions().empty())
        description = single.track->media()->sampleDescriptions().front();
    // Prepared pictures take megabytes each, over thirty at 4K: the pool keeps them to a budget, so that for
    // large pictures the decode thread waits for the screen to let one go rather than make a third.
    auto pool = MVImageBufferPool::pool();
    const MVApertureMode aperture = _apertureMode;
    _preparer = std::make_shared<const MVVideoDecodeWorker::Preparer>(
        [converter, pool, description, aperture, width, height](const MVDecodedFrame& frame) -> std::shared_ptr<const MVImageBuffer> {
            MVApertureGeometry geometry;
            if (description) {
                geometry = MVApertureGeometryForDescription(*description, frame.width(), frame.height(), aperture);
            } else {
                geometry.cropWidth = geometry.displayWidth = frame.width();
                geometry.cropHeight = geometry.displayHeight = frame.height();
            }
            auto buffer = pool->take(size_t(width) * size_t(height) * 4);
            if (!converter->convert(frame, geometry, width, height, *buffer))
                return nullptr;
            return buffer;
        });
    _preparerKey = key;
    _playback->player().setPreparer(key.trackID, _preparer);
}

std::optional<HXVideoLayer> MVMovieView::videoLayer(const HXVideoLayerSupport& support)
{
    if (!_drawnAsLayer)
        return std::nullopt;
    auto single = singlePicture();
    if (!single)
        return std::nullopt;
    HXVideoLayer layer;
    layer.rect = _drawnVideoRect;
    const HXRect base = convertRectToView(layer.rect, nullptr);
    const int width = int(std::lround(base.size.width)), height = int(std::lround(base.size.height));
    if (width < 1 || height < 1)
        return std::nullopt;
    const auto frame = single->picture.picture.frame;
    const MVApertureGeometry geometry = single->geometry;
    const auto track = single->track;

    // Without a renderer the window composes the picture from this.
    std::weak_ptr<HXObject> weak = weak_from_this();
    layer.rgbPicture = [weak, frame, geometry, track](int w, int h) -> HXVideoPicture {
        auto self = std::dynamic_pointer_cast<MVMovieView>(weak.lock());
        if (!self)
            return {};
        MVFrameConverter converter;
        self->prepareConverter(converter, track);
        auto buffer = std::make_shared<MVImageBuffer>();
        if (!converter.convert(*frame, geometry, w, h, *buffer))
            return {};
        return bgraPicture(buffer, frame->serial());
    };

    // As decoded, where the renderer scales YUV and nothing needs converting; else converted to the size
    // shown, on the decode thread.
    MVFrameConverter probe;
    prepareConverter(probe, track);
    const bool plain = probe.adjustments().isNeutral() && !probe.deinterlace() && !probe.singleField();
    HXVideoPicture picture;
    if (support.yuv && support.scales && plain)
        picture = yuvPicture(frame, geometry);
    if (picture.isValid()) {
        updatePreparer(*single, 0, 0);
        _converted = nullptr;
    } else {
        updatePreparer(*single, width, height);
        const auto& presented = single->picture.picture;
        if (presented.prepared && presented.preparedBy == _preparer.get() && presented.prepared->width == width
            && presented.prepared->height == height) {
            picture = bgraPicture(presented.prepared, frame->serial());
            // The decode thread has caught up: a picture converted here while it had not is of no more use.
            _converted = nullptr;
        } else {
            // The decode thread has not caught up with this size yet: this picture is converted here.
            if (!_converted || _convertedSerial != frame->serial() || _converted->width != width
                || _converted->height != height) {
                auto buffer = std::make_shared<MVImageBuffer>();
                prepareConverter(_converter, track);
                if (_converter.convert(*frame, geometry, width, height, *buffer)) {
                    _converted = buffer;
                    _convertedSerial = frame->serial();
                }
            }
            if (_converted && _convertedSerial == frame->serial())
                picture = bgraPicture(_converted, frame->serial());
        }
    }
    if (!picture.isValid())
        return std::nullopt;
    layer.picture = std::move(picture);
    _playback->player().notePictureDrawn(frame->serial());
    return layer;
}

// ---- Panoramas

bool MVMovieView::drawPanorama(HXRect target)
{
    auto panorama = _movie ? _movie->panoramaController() : nullptr;
    if (!panorama)
        return false;
    const int width = int(std::lround(target.size.width)), height = int(std::lround(target.size.height));
    if (width < 1 || height < 1)
        return true;
    panorama->setViewAspect(double(width) / height);
    MVImageBuffer frame;
    if (!panorama->renderView(width, height, frame))
        return true; // a panorama whose pictures are damaged shows the fill colour
    auto rep = HXBitmapImageRep::initWithSize(width, height);
    if (!rep)
        return true;
    unsigned char* pixels = rep->bitmapData();
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels + size_t(y) * rep->bytesPerRow(),
            frame.pixels.data() + size_t(y) * size_t(frame.bytesPerRow), size_t(width) * 4);
    rep->markDirty();
    auto image = HXImage::initWithBitmapImageRep(rep);
    if (image && willDisplayImage)
        image = willDisplayImage(*this, image);
    if (image)
        image->drawInRect(target);
    return true;
}

std::shared_ptr<MVHotspot> MVMovieView::hotspotAtPoint(HXPoint point)
{
    auto panorama = _movie ? _movie->panoramaController() : nullptr;
    if (!panorama)
        return nullptr;
    HXRect target = movieBounds();
    const int width = int(std::lround(target.size.width)), height = int(std::lround(target.size.height));
    const double x = point.x - target.origin.x;
    const double y = isFlipped() ? point.y - target.origin.y : target.origin.y + target.size.height - point.y;
    return panorama->hotspotAtPoint(width, height, x, y);
}

void MVMovieView::mouseDown(const HXEvent& event)
{
    if (!_movie || !_movie->isVRMovie()) {
        HXView::mouseDown(event);
        return;
    }
    _panoramaMouseDown = true;
    _panoramaDragged = false;
    _mouseDownPoint = convertPointFromView(event.locationInWindow(), nullptr);
}

void MVMovieView::mouseDragged(const HXEvent& event)
{
    auto panorama = _movie ? _movie->panoramaController() : nullptr;
    if (!panorama || !_panoramaMouseDown) {
        HXView::mouseDragged(event);
        return;
    }
    HXPoint point = convertPointFromView(event.locationInWindow(), nullptr);
    double dx = point.x - _mouseDownPoint.x, dy = point.y - _mouseDownPoint.y;
    if (!_panoramaDragged && std::hypot(dx, dy) < 3)
        return;
    _panoramaDragged = true;
    // The picture follows the mouse: dragging it right turns the view left (a higher pan), dragging it up
    // looks down.
    double height = std::max(movieBounds().size.height, 1.0);
    double degreesPerPoint = panorama->fieldOfView() / height;
    if (isFlipped())
        dy = -dy;
    panorama->setPanAngle(float(panorama->panAngle() + dx * degreesPerPoint));
    panorama->setTiltAngle(float(panorama->tiltAngle() - dy * degreesPerPoint));
    _mouseDownPoint = point;
}

void MVMovieView::mouseUp(const HXEvent& event)
{
    if (!_panoramaMouseDown) {
        HXView::mouseUp(event);
        return;
    }
    _panoramaMouseDown = false;
    if (_panoramaDragged)
        return;
    // A click (no drag) on a hot spot triggers it.
    if (auto hotspot = hotspotAtPoint(convertPointFromView(event.locationInWindow(), nullptr)))
        hotspot->triggerHotspot();
}

bool MVMovieView::handlePanoramaKey(const HXEvent& event)
{
    const char32_t key = event.firstCharacterIgnoringModifiers();
    float angle;
    switch (key) {
    case HXRightArrowFunctionKey:
        angle = 0;
        break;
    case HXUpArrowFunctionKey:
        angle = 90;
        break;
    case HXLeftArrowFunctionKey:
        angle = 180;
        break;
    case HXDownArrowFunctionKey:
        angle = 270;
        break;
    default:
        return false;
    }
    _movie->nudge(angle);
    return true;
}

// ---- Editing

bool MVMovieView::canEdit() const
{
    // A panorama's nodes each own their stretch of time: cutting into it would tear nodes apart.
    return _movie && _editable && _movie->isEditable() && !_movie->isVRMovie();
}

bool MVMovieView::hasSelection() const
{
    return _movie && MVTimeCompare(_movie->selection().duration, MVZeroTime) > 0;
}

void MVMovieView::cut(HXObject*)
{
    if (!canEdit() || !hasSelection())
        return;
    if (auto segment = _movie->cut())
        MVMoviePasteboard::generalPasteboard().setMovie(segment);
}

void MVMovieView::copy(HXObject*)
{
    if (!hasSelection())
        return;
    if (auto segment = _movie->copy())
        MVMoviePasteboard::generalPasteboard().setMovie(segment);
}

void MVMovieView::paste(HXObject*)
{
    auto source = MVMoviePasteboard::generalPasteboard().movie();
    if (canEdit() && source)
        _movie->paste(source);
}

void MVMovieView::delete_(HXObject*)
{
    if (canEdit() && hasSelection())
        _movie->clear();
}

void MVMovieView::trim(HXObject*)
{
    if (canEdit() && hasSelection())
        _movie->trim();
}

void MVMovieView::add(HXObject*)
{
    auto source = MVMoviePasteboard::generalPasteboard().movie();
    if (canEdit() && source)
        _movie->add(source);
}

void MVMovieView::addScaled(HXObject*)
{
    auto source = MVMoviePasteboard::generalPasteboard().movie();
    if (canEdit() && source && hasSelection())
        _movie->addScaled(source);
}

void MVMovieView::replace(HXObject* sender)
{
    // Paste replaces a non-empty selection.
    paste(sender);
}

void MVMovieView::selectAll(HXObject*)
{
    if (_movie)
        _movie->setSelection({ MVMakeTime(0, _movie->timeScale()), _movie->duration() });
}

void MVMovieView::selectNone(HXObject*)
{
    if (_movie && _playback)
        _movie->setSelection({ _playback->currentTime(), MVMakeTime(0, _movie->timeScale()) });
}

void MVMovieView::gotoBeginning(HXObject*)
{
    if (_playback)
        _playback->gotoBeginning();
}

void MVMovieView::gotoEnd(HXObject*)
{
    if (_playback)
        _playback->gotoEnd();
}

void MVMovieView::gotoPosterFrame(HXObject*)
{
    if (_playback)
        _playback->gotoPosterTime();
}

void MVMovieView::play(HXObject*)
{
    if (_playback)
        _playback->play();
}

void MVMovieView::pause(HXObject*)
{
    if (_playback)
        _playback->stop();
}

void MVMovieView::restoreMovieEditState(const MVMovieEditState& state)
{
    if (!_movie)
        return;
    MVMovieEditState before = _movie->newEditState();
    _movie->useEditState(state);
    if (auto* undo = _movie->undoManager() ? _movie->undoManager() : _undoManager) {
        std::weak_ptr<HXObject> weak = weak_from_this();
        undo->registerUndo(this, [weak, before] {
            if (auto self = std::dynamic_pointer_cast<MVMovieView>(weak.lock()))
                self->restoreMovieEditState(before);
        });
    }
    _movie->movieChanged();
}

bool MVMovieView::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    const std::string name(item.action().name());
    const bool pasteboard = MVMoviePasteboard::generalPasteboard().movie() != nullptr;
    if (name == "cut:" || name == "delete:" || name == "trim:")
        return canEdit() && hasSelection();
    if (name == "copy:")
        return hasSelection();
    if (name == "paste:" || name == "add:" || name == "replace:")
        return canEdit() && pasteboard;
    if (name == "addScaled:")
        return canEdit() && pasteboard && hasSelection();
    if (name == "selectAll:" || name == "selectNone:" || name == "gotoBeginning:" || name == "gotoEnd:"
        || name == "gotoPosterFrame:" || name == "play:" || name == "pause:")
        return _movie != nullptr;
    return HXView::validateUserInterfaceItem(item);
}

// ---- Keys

bool MVMovieView::handleKeyDown(const HXEvent& event)
{
    if (!_playback || !_movie)
        return false;
    const uint32_t modifiers = event.modifierFlags();
    if (modifiers & (HXCommandKeyMask | HXControlKeyMask))
        return false;
    if (_movie->isVRMovie())
        return handlePanoramaKey(event);
    const bool option = modifiers & HXAlternateKeyMask;
    const char32_t key = event.firstCharacterIgnoringModifiers();
    switch (key) {
    case U' ':
        if (_playback->isPlaying())
            _playback->stop();
        else
            _playback->play();
        return true;
    case HXRightArrowFunctionKey:
        option ? _playback->gotoEnd() : _playback->stepForward();
        return true;
    case HXLeftArrowFunctionKey:
        option ? _playback->gotoBeginning() : _playback->stepBackward();
        return true;
    case HXUpArrowFunctionKey:
    case HXDownArrowFunctionKey: {
        float volume = _movie->volume() + (key == HXUpArrowFunctionKey ? 0.1f : -0.1f);
        _movie->setVolume(std::clamp(volume, 0.0f, 1.0f));
        return true;
    }
    case HXHomeFunctionKey:
        _playback->gotoBeginning();
        return true;
    case HXEndFunctionKey:
        _playback->gotoEnd();
        return true;
    default:
        return false;
    }
}

void MVMovieView::keyDown(const HXEvent& event)
{
    if (!handleKeyDown(event))
        HXView::keyDown(event);
}
