#pragma once
// HXSDLWindowRenderer: shows one SDL window's pixels through SDL's renderer, composing the window's
// drawing over its video layers (video_layer.h).
//
// The drawing lives in textures updated only where it changed. Video pictures go into textures of
// their own pixel format and are scaled to their place by the renderer. Each present draws the drawing
// around the pictures as it is, the pictures, and then, over the pictures, only the tiles of the drawing
// that hold something (texts over a movie): a window playing a movie costs one picture upload and
// copies of what the screen needs, never a full-window blend.
//
// The renderer uses the GPU when there is one. Without one (a GL that rasterises on the processor is
// none), the window's own pixels are composed here instead, and only what changed is copied and put on
// the screen: SDL's software renderer would redraw and put the whole window for every picture. Pictures
// are then wanted in BGRA at the size they are shown (converted by their producer, off the main thread),
// so that presenting a picture is copying it once. SDL_RENDER_DRIVER chooses a renderer explicitly;
// SDL_FRAMEBUFFER_ACCELERATION=0 asks for software.
#include "platform/winkit/video_layer.h"

#include <cairo.h>

#include <memory>
#include <vector>

struct SDL_Renderer;
struct SDL_Surface;
struct SDL_Texture;
struct SDL_Window;

class HXSDLWindowRenderer {
public:
    // Null when SDL can make no renderer for the window.
    static std::unique_ptr<HXSDLWindowRenderer> create(SDL_Window* window);
    ~HXSDLWindowRenderer();
    HXSDLWindowRenderer(const HXSDLWindowRenderer&) = delete;
    HXSDLWindowRenderer& operator=(const HXSDLWindowRenderer&) = delete;

    // Whether the process renders in software (decided once, with a probe of the GL).
    static bool rendersInSoftware();
    bool isSoftware() const { return _software; }
    HXVideoLayerSupport support() const { return { !_software, !_software }; }

    void present(cairo_surface_t* surface, const std::vector<HXPixelRect>& damage,
        const std::vector<HXPlacedVideoLayer>& layers);

private:
    HXSDLWindowRenderer() = default;
    struct VideoTexture {
        SDL_Texture* texture = nullptr;
        HXVideoPixelFormat format = HXVideoPixelFormat::BGRA;
        int width = 0, height = 0;
        bool bt709 = false, fullRange = false;
        uint64_t serial = 0;
        const void* owner = nullptr;
    };
    bool ensureDrawingTexture(int width, int height);
    void uploadDrawing(cairo_surface_t* surface, SDL_Texture* texture, const HXPixelRect& rect, bool straight);
    void scanOverlay(cairo_surface_t* surface, const HXPixelRect& rect, const HXPixelRect& visible);
    bool uploadPicture(VideoTexture& slot, const HXVideoPicture& picture);
    void presentToSurface(cairo_surface_t* drawing, const std::vector<HXPixelRect>& damage,
        const std::vector<HXPlacedVideoLayer>& layers);
    void copyDrawing(cairo_surface_t* drawing, SDL_Surface* target, const HXPixelRect& rect);
    void composeLayer(cairo_surface_t* drawing, SDL_Surface* target, const HXPlacedVideoLayer& placed,
        const HXPixelRect& rect);

    SDL_Renderer* _renderer = nullptr; // through SDL's renderer (a GPU)
    SDL_Window* _window = nullptr; // or into the window's own pixels (no GPU)
    SDL_Surface* _lastTarget = nullptr;
    bool _software = false;
    // The drawing, opaque (copied around the pictures), and over the pictures with straight alpha
    // (blended where the tiles say it holds something).
    SDL_Texture* _drawing = nullptr;
    SDL_Texture* _overlay = nullptr;
    uint32_t _opaqueFormat = 0;
    int _width = 0, _height = 0;
    std::vector<VideoTexture> _videos;
    std::vector<HXPixelRect> _lastLayerRects;
    // Per tile of kTile × kTile pixels: whether the drawing there has anything that is not transparent.
    static constexpr int kTile = 32;
    int _tilesAcross = 0, _tilesDown = 0;
    std::vector<uint8_t> _tiles;
};
