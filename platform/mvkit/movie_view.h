#pragma once
// MVMovieView: a view that shows a movie — its current pictures drawn into the movie bounds, a
// controller strip along the bottom when asked for, the editing actions, and the keys a movie
// viewer answers.
//
// Texts of enabled text tracks (subtitles, captions) are drawn over the pictures.
// The view plays the movie through the movie's MVMoviePlayback (which it holds while it shows the
// movie). A movie of one upright picture (the usual case) is not drawn with Cairo: the view hands its
// window the decoded picture as a video layer (video_layer.h) and leaves the movie's rectangle clear in
// its drawing, so a new picture costs no drawing at all; pictures go in their own YUV format where the
// window's renderer scales them, and otherwise come converted to the size shown on the decode thread.
// Texts and whatever is drawn over the movie stay in the drawing. The pictures of several visual tracks
// are composed by their matrices, layers and graphics modes (picture_compositor.h) and drawn. Before a
// picture is drawn the image hook may replace it (full-screen filters); with a hook the view draws too.
// Edits go through the movie, which registers their undo with the view's undo manager.
//
// A panorama (VR) movie shows the view from its current node instead (panorama_controller.h): dragging
// looks around, a click on a hot spot triggers it, the arrow keys nudge the view; it is not edited.
#include "platform/basekit/notification_center.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/frame_converter.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/picture_compositor.h"
#include "platform/winkit/view.h"

#include <functional>
#include <map>
#include <memory>

class HXUndoManager;
class MVHotspot;

class MVMovieView : public HXView {
public:
    // The height of the controller strip, in points.
    static constexpr double kControllerHeight = 16;

    explicit MVMovieView(HXRect frame = HXZeroRect);
    ~MVMovieView() override;

    std::shared_ptr<MVMovie> movie() const { return _movie; }
    void setMovie(const std::shared_ptr<MVMovie>& movie);
    // The playback the view drives (null without a movie).
    const std::shared_ptr<MVMoviePlayback>& playback() const { return _playback; }

    // Look.
    HXColor fillColor() const { return _fillColor; }
    void setFillColor(const HXColor& color);
    bool preservesAspectRatio() const { return _preservesAspectRatio; }
    void setPreservesAspectRatio(bool flag);
    bool isControllerVisible() const { return _controllerVisible; }
    void setControllerVisible(bool flag);
    bool isEditable() const { return _editable; }
    void setEditable(bool flag) { _editable = flag; }
    bool drawsWithTessalineCompatibleColors() const { return _compatibleColors; }
    void setDrawsWithTessalineCompatibleColors(bool flag) { _compatibleColors = flag; }
    // The aperture mode the pictures are drawn in: the movie's (MVMovieApertureModeAttribute), followed
    // as it changes; clean for a movie that names none.
    MVApertureMode apertureMode() const { return _apertureMode; }
    void setApertureMode(MVApertureMode mode);
    // High quality and deinterlacing for every track; a track's own MVTrackHighQualityVideoAttribute,
    // MVTrackDeinterlaceVideoAttribute and MVTrackSingleFieldVideoAttribute add to these.
    bool highQuality() const { return _highQuality; }
    void setHighQuality(bool flag);
    bool deinterlace() const { return _deinterlace; }
    void setDeinterlace(bool flag);

    // The rectangle the movie occupies: the bounds above the controller strip, fitted to the movie's
    // shape (centred) when the aspect ratio is preserved.
    HXRect movieBounds() const;
    HXRect controllerBounds() const;
    // The size of the movie's picture (its natural size, or the first picture's display size).
    HXSize naturalMovieSize() const;

    // The image hook: called with every picture before it is drawn; its answer is drawn instead.
    std::function<std::shared_ptr<HXImage>(MVMovieView& view, const std::shared_ptr<HXImage>& image)>
        willDisplayImage;

    // The movie's current pictures as one image at the movie's size (also for the hook's callers).
    std::shared_ptr<HXImage> currentFrameImage();
    // The picture at any time (posters, thumbnails), at the movie's size.
    std::shared_ptr<HXImage> frameImageAtTime(MVTime time);

    // Undo.
    HXUndoManager* undoManager() const { return _undoManager; }
    void setUndoManager(HXUndoManager* manager);

    // Actions (also reachable by selector: "cut:", "copy:", "paste:", "delete:", ...).
    void cut(HXObject* sender = nullptr);
    void copy(HXObject* sender = nullptr);
    void paste(HXObject* sender = nullptr);
    void delete_(HXObject* sender = nullptr); // "delete:"
    void trim(HXObject* sender = nullptr);
    void add(HXObject* sender = nullptr);
    void addScaled(HXObject* sender = nullptr);
    void replace(HXObject* sender = nullptr);
    void selectAll(HXObject* sender = nullptr);
    void selectNone(HXObject* sender = nullptr);
    void gotoBeginning(HXObject* sender = nullptr);
    void gotoEnd(HXObject* sender = nullptr);
    void gotoPosterFrame(HXObject* sender = nullptr);
    void play(HXObject* sender = nullptr);
    void pause(HXObject* sender = nullptr);
    // Brings the movie back to `state`, undoably.
    void restoreMovieEditState(const MVMovieEditState& state);
    // Skins are not supported: every movie is rectangular.
    void applySkinClip() { }

    // The usual keys: space plays or stops, the arrows step (Option: to the ends) and change the
    // volume, Home and End go to the ends. True when the key was used. Keys with Command or Control
    // and the letter keys are left to others.
    bool handleKeyDown(const HXEvent& event);

    // The rectangle the picture takes on screen: movieBounds on whole pixels.
    HXRect videoRect() const;
    // The panorama's hot spot at `point` (in the view's coordinates); null for none or another movie.
    std::shared_ptr<MVHotspot> hotspotAtPoint(HXPoint point);

    // HXView.
    void drawRect(HXRect dirtyRect) override;
    std::optional<HXVideoLayer> videoLayer(const HXVideoLayerSupport& support) override;
    void keyDown(const HXEvent& event) override;
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;
    void mouseUp(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return _movie != nullptr; }
    bool isOpaque() const override { return true; }
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;

private:
    // The one picture shown, when the movie is one upright picture copied into the movie's box.
    struct SinglePicture {
        MVMoviePlayer::PresentedPicture picture;
        std::shared_ptr<MVTrack> track;
        MVApertureGeometry geometry;
    };
    std::optional<SinglePicture> singlePicture() const;
    void pictureDidChange();
    // The converter settings a track shows with (the view's and the track's own video flags).
    void prepareConverter(MVFrameConverter& converter, const std::shared_ptr<MVTrack>& track) const;
    // Keeps the decode thread converting the track's pictures to `width` × `height` (or not, at 0 × 0).
    void updatePreparer(const SinglePicture& single, int width, int height);
    void registerActions();
    bool canEdit() const;
    bool hasSelection() const;
    std::shared_ptr<HXImage> imageForPictures(
        const std::vector<MVMoviePlayer::PresentedPicture>& pictures, HXSize size);
    MVApertureGeometry geometryFor(uint32_t trackID, const MVDecodedFrame& frame) const;
    // The track's mask as pixels, read once for each mask the track is given; null without one.
    const MVImageBuffer* maskFor(const MVTrack& track);
    // The part of movie space the movie's enabled visual tracks cover.
    MVPictureBox movieBox() const;
    void drawTexts(HXRect target);
    // On paper: the current picture at its full size into the movie's rectangle, with its texts.
    void drawForPrinting();
    // The panorama's view drawn in `target`; false when the movie is no panorama or cannot be shown.
    bool drawPanorama(HXRect target);
    bool handlePanoramaKey(const HXEvent& event);
    void observePanorama();
    void followApertureMode();

    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<MVMoviePlayback> _playback;
    HXColor _fillColor = HXColor::blackColor();
    bool _preservesAspectRatio = true;
    bool _controllerVisible = false;
    bool _editable = true;
    bool _compatibleColors = false;
    MVApertureMode _apertureMode = MVApertureMode::Clean;
    MVFrameConverter _converter;
    struct Mask {
        HXData image; // as the track keeps it
        std::shared_ptr<MVImageBuffer> pixels; // null when it is no image we read
    };
    std::map<uint32_t, Mask> _masks; // by track ID
    // Video layers: whether the last drawing left the picture to the layer, and what it drew over it.
    bool _drawnAsLayer = false;
    std::vector<std::string> _drawnTexts;
    HXRect _drawnVideoRect = HXZeroRect;
    // The decode thread's conversion and what it converts for.
    std::shared_ptr<const MVVideoDecodeWorker::Preparer> _preparer;
    struct PreparerKey {
        uint32_t trackID = 0;
        int width = 0, height = 0;
        MVPictureAdjustments adjustments;
        bool highQuality = false, deinterlace = false, singleField = false;
        MVApertureMode aperture = MVApertureMode::Clean;
        bool operator==(const PreparerKey&) const = default;
    } _preparerKey;
    // A picture converted here while the decode thread catches up with a new size.
    std::shared_ptr<MVImageBuffer> _converted;
    uint64_t _convertedSerial = 0;
    bool _highQuality = false;
    bool _deinterlace = false;
    HXUndoManager* _undoManager = nullptr;
    // Panoramas: the view's observation of its changes, and the mouse since it went down.
    HXObserverToken _panoramaObserver {};
    HXObserverToken _apertureObserver {};
    HXPoint _mouseDownPoint {};
    bool _panoramaDragged = false;
    bool _panoramaMouseDown = false;
};
