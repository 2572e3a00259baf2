#include "platform/winkit/sdl_window_renderer.h"

#include "platform/basekit/error.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Whether the GL behind an accelerated renderer is a rasteriser running on the processor.
bool glIsSoftware()
{
    using GetString = const unsigned char* (*)(unsigned);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned kRenderer = 0x1F01; // GL_RENDERER
    const char* name = getString ? reinterpret_cast<const char*>(getString(kRenderer)) : nullptr;
    if (!name)
        return true;
    for (const char* soft : { "llvmpipe", "softpipe", "swrast", "Software" })
        if (std::strstr(name, soft))
            return true;
    return false;
}

// Whether the machine has a GPU the display's GL could use: a DRM render node.
bool hasRenderNode()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
        if (entry.path().filename().string().rfind("renderD", 0) == 0)
            return true;
    return false;
}

SDL_Rect sdlRect(const HXPixelRect& r) { return { r.x, r.y, r.width, r.height }; }

} // namespace

bool HXSDLWindowRenderer::rendersInSoftware()
{
    static int decision = -1;
    if (decision >= 0)
        return decision == 1;
    decision = 1;
    const char* forced = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    const char* framebuffer = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    if (forced && *forced) {
        decision = std::strcmp(forced, "software") == 0 ? 1 : 0;
    } else if (framebuffer && !SDL_GetHintBoolean(SDL_HINT_FRAMEBUFFER_ACCELERATION, SDL_TRUE)) {
        // Acceleration turned off for window pixels: the whole window renders in software.
    } else if (!hasRenderNode()) {
        // No GPU: the GL would be a rasteriser on the processor, which costs more than SDL's software
        // renderer (and tens of megabytes to load).
    } else if (SDL_GL_LoadLibrary(nullptr) != 0) {
        // No GL at all: software.
    } else if (SDL_Window* probe = SDL_CreateWindow("", 0, 0, 16, 16, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL)) {
        // The library loaded above stays loaded (GL windows load and unload it as they come and go; a
        // driver unloaded and loaded again for every window would cost each window its start-up).
        if (SDL_Renderer* renderer = SDL_CreateRenderer(probe, -1, SDL_RENDERER_ACCELERATED)) {
            SDL_RendererInfo info;
            bool software = SDL_GetRendererInfo(renderer, &info) != 0 || (info.flags & SDL_RENDERER_SOFTWARE);
            if (!software && std::strncmp(info.name, "opengl", 6) == 0)
                software = glIsSoftware();
            decision = software ? 1 : 0;
            SDL_DestroyRenderer(renderer);
        }
        SDL_DestroyWindow(probe);
    }
    // The software renderer draws into the window's own pixels: keep SDL from putting those in a GL
    // texture of their own.
    if (decision == 1)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return decision == 1;
}

std::unique_ptr<HXSDLWindowRenderer> HXSDLWindowRenderer::create(SDL_Window* window)
{
    if (!window)
        return nullptr;
    const bool software = rendersInSoftware();
    const char* forced = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    if (software && !(forced && *forced)) {
        // Without a GPU the window's own pixels are composed here, only where something changed.
        std::unique_ptr<HXSDLWindowRenderer> result(new HXSDLWindowRenderer);
        result->_window = window;
        result->_software = true;
        return result;
    }
    Uint32 flags = (forced && *forced) ? 0 : software ? SDL_RENDERER_SOFTWARE : SDL_RENDERER_ACCELERATED;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, flags);
    if (!renderer && !software)
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) {
        HXLog(std::string("SDL: no renderer: ") + SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<HXSDLWindowRenderer> result(new HXSDLWindowRenderer);
    result->_renderer = renderer;
    SDL_RendererInfo info;
    result->_software = SDL_GetRendererInfo(renderer, &info) != 0 || (info.flags & SDL_RENDERER_SOFTWARE)
        || (std::strncmp(info.name, "opengl", 6) == 0 && software);
    // Opaque pixels (the drawing around the pictures, converted pictures) in the window's own format
    // when it is 32-bit RGB, so that copying them is copying memory: Cairo's and our BGRA pixels are
    // that format with the padding byte used for alpha.
    const Uint32 windowFormat = SDL_GetWindowPixelFormat(window);
    result->_opaqueFormat = windowFormat == SDL_PIXELFORMAT_RGB888 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_ARGB8888;
    return result;
}

HXSDLWindowRenderer::~HXSDLWindowRenderer()
{
    for (auto& v : _videos)
        if (v.texture)
            SDL_DestroyTexture(v.texture);
    if (_drawing)
        SDL_DestroyTexture(_drawing);
    if (_overlay)
        SDL_DestroyTexture(_overlay);
    if (_renderer)
        SDL_DestroyRenderer(_renderer);
}

bool HXSDLWindowRenderer::ensureDrawingTexture(int width, int height)
{
    if (_drawing && width == _width && height == _height)
        return false;
    if (_drawing)
        SDL_DestroyTexture(_drawing);
    if (_overlay)
        SDL_DestroyTexture(_overlay);
    _overlay = nullptr;
    _drawing = SDL_CreateTexture(_renderer, _opaqueFormat, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (_drawing)
        SDL_SetTextureBlendMode(_drawing, SDL_BLENDMODE_NONE);
    _width = width;
    _height = height;
    _tilesAcross = (width + kTile - 1) / kTile;
    _tilesDown = (height + kTile - 1) / kTile;
    _tiles.assign(size_t(_tilesAcross) * size_t(_tilesDown), 0);
    _lastLayerRects.clear();
    return true;
}

// Copies `rect` of the drawing into `texture`; `straight`: with the premultiplied pixels divided out
// (the renderers blend straight alpha).
void HXSDLWindowRenderer::uploadDrawing(cairo_surface_t* surface, SDL_Texture* texture, const HXPixelRect& rect, bool straight)
{
    HXPixelRect r = HXIntersectionPixelRect(rect, { 0, 0, _width, _height });
    if (r.isEmpty() || !texture)
        return;
    void* pixels = nullptr;
    int pitch = 0;
    SDL_Rect area = sdlRect(r);
    if (SDL_LockTexture(texture, &area, &pixels, &pitch) != 0)
        return;
    const uint8_t* source = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < r.height; ++y) {
        auto* row = static_cast<uint8_t*>(pixels) + size_t(y) * size_t(pitch);
        std::memcpy(row, source + size_t(r.y + y) * size_t(stride) + size_t(r.x) * 4, size_t(r.width) * 4);
        if (!straight)
            continue;
        auto* p32 = reinterpret_cast<uint32_t*>(row);
        for (int x = 0; x < r.width; ++x) {
            uint32_t& p = p32[x];
            const uint32_t a = p >> 24;
            if (a == 0 || a == 255)
                continue;
            auto un = [a](uint32_t c) { return std::min(255u, (c * 255 + a / 2) / a); };
            p = (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
        }
    }
    SDL_UnlockTexture(texture);
}

// Marks the tiles `rect` touches by whether the drawing has anything inside `visible` there.
void HXSDLWindowRenderer::scanOverlay(cairo_surface_t* surface, const HXPixelRect& rect, const HXPixelRect& visible)
{
    HXPixelRect r = HXIntersectionPixelRect(HXIntersectionPixelRect(rect, visible), { 0, 0, _width, _height });
    if (r.isEmpty())
        return;
    const uint8_t* source = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int ty = r.y / kTile; ty <= (r.y + r.height - 1) / kTile; ++ty)
        for (int tx = r.x / kTile; tx <= (r.x + r.width - 1) / kTile; ++tx) {
            const int x0 = std::max(tx * kTile, visible.x), y0 = std::max(ty * kTile, visible.y);
            const int x1 = std::min({ _width, tx * kTile + kTile, visible.x + visible.width });
            const int y1 = std::min({ _height, ty * kTile + kTile, visible.y + visible.height });
            bool any = false;
            for (int y = y0; y < y1 && !any; ++y) {
                auto* row = reinterpret_cast<const uint32_t*>(source + size_t(y) * size_t(stride));
                for (int x = x0; x < x1; ++x)
                    if (row[x] >> 24) {
                        any = true;
                        break;
                    }
            }
            _tiles[size_t(ty) * size_t(_tilesAcross) + size_t(tx)] = any;
        }
}

bool HXSDLWindowRenderer::uploadPicture(VideoTexture& slot, const HXVideoPicture& picture)
{
    if (slot.texture && slot.serial == picture.serial && slot.owner == picture.owner.get() && slot.format == picture.format
        && slot.width == picture.width && slot.height == picture.height)
        return true;
    if (!slot.texture || slot.format != picture.format || slot.width != picture.width || slot.height != picture.height
        || (picture.isYUV() && (slot.bt709 != picture.bt709 || slot.fullRange != picture.fullRange))) {
        if (slot.texture)
            SDL_DestroyTexture(slot.texture);
        Uint32 format = picture.format == HXVideoPixelFormat::I420 ? Uint32(SDL_PIXELFORMAT_IYUV)
            : picture.format == HXVideoPixelFormat::NV12           ? Uint32(SDL_PIXELFORMAT_NV12)
                                                                   : _opaqueFormat;
        // The YUV matrix is taken when the texture is made.
        SDL_SetYUVConversionMode(picture.fullRange ? SDL_YUV_CONVERSION_JPEG
                : picture.bt709                    ? SDL_YUV_CONVERSION_BT709
                                                   : SDL_YUV_CONVERSION_BT601);
        slot = {};
        slot.texture = SDL_CreateTexture(_renderer, format, SDL_TEXTUREACCESS_STREAMING, picture.width, picture.height);
        if (!slot.texture)
            return false;
        SDL_SetTextureBlendMode(slot.texture, SDL_BLENDMODE_NONE);
        SDL_SetTextureScaleMode(slot.texture, SDL_ScaleModeLinear);
        slot.format = picture.format;
        slot.width = picture.width;
        slot.height = picture.height;
        slot.bt709 = picture.bt709;
        slot.fullRange = picture.fullRange;
    }
    int status = -1;
    switch (picture.format) {
    case HXVideoPixelFormat::I420:
        status = SDL_UpdateYUVTexture(slot.texture, nullptr, picture.planes[0], picture.strides[0], picture.planes[1],
            picture.strides[1], picture.planes[2], picture.strides[2]);
        break;
    case HXVideoPixelFormat::NV12:
        status = SDL_UpdateNVTexture(
            slot.texture, nullptr, picture.planes[0], picture.strides[0], picture.planes[1], picture.strides[1]);
        break;
    case HXVideoPixelFormat::BGRA:
        status = SDL_UpdateTexture(slot.texture, nullptr, picture.planes[0], picture.strides[0]);
        break;
    }
    slot.serial = picture.serial;
    slot.owner = picture.owner.get();
    return status == 0;
}

// ---- Composing into the window's own pixels (no GPU)

namespace {

bool sameLayout(const SDL_Surface* target)
{
    return target->format->BytesPerPixel == 4
        && (target->format->format == SDL_PIXELFORMAT_RGB888 || target->format->format == SDL_PIXELFORMAT_ARGB8888);
}

// `s` (premultiplied) over `d` (opaque), both 0xAARRGGBB.
inline uint32_t over(uint32_t s, uint32_t d)
{
    const uint32_t a = s >> 24;
    if (a == 255)
        return s;
    const uint32_t k = 255 - a;
    auto channel = [&](int shift) {
        const uint32_t v = ((s >> shift) & 0xFF) + (((d >> shift) & 0xFF) * k + 127) / 255;
        return std::min(255u, v) << shift;
    };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

} // namespace

void HXSDLWindowRenderer::copyDrawing(cairo_surface_t* drawing, SDL_Surface* target, const HXPixelRect& r)
{
    const uint8_t* source = cairo_image_surface_get_data(drawing);
    const int stride = cairo_image_surface_get_stride(drawing);
    if (sameLayout(target)) {
        auto* pixels = static_cast<uint8_t*>(target->pixels);
        for (int y = r.y; y < r.y + r.height; ++y)
            std::memcpy(pixels + size_t(y) * size_t(target->pitch) + size_t(r.x) * 4,
                source + size_t(y) * size_t(stride) + size_t(r.x) * 4, size_t(r.width) * 4);
        return;
    }
    SDL_Surface* wrapped = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(source),
        cairo_image_surface_get_width(drawing), cairo_image_surface_get_height(drawing), 32, stride,
        SDL_PIXELFORMAT_ARGB8888);
    if (!wrapped)
        return;
    SDL_SetSurfaceBlendMode(wrapped, SDL_BLENDMODE_NONE);
    SDL_Rect area = sdlRect(r);
    SDL_BlitSurface(wrapped, &area, target, &area);
    SDL_FreeSurface(wrapped);
}

// The picture into `r` (a part of its visible rectangle), then the drawing's tiles that hold something
// there, over it.
void HXSDLWindowRenderer::composeLayer(
    cairo_surface_t* drawing, SDL_Surface* target, const HXPlacedVideoLayer& placed, const HXPixelRect& r)
{
    const HXVideoPicture& picture = placed.layer->picture;
    const HXPixelRect& full = placed.rect;
    if (picture.format == HXVideoPixelFormat::BGRA) {
        if (sameLayout(target) && picture.width == full.width && picture.height == full.height) {
            auto* pixels = static_cast<uint8_t*>(target->pixels);
            for (int y = r.y; y < r.y + r.height; ++y)
                std::memcpy(pixels + size_t(y) * size_t(target->pitch) + size_t(r.x) * 4,
                    picture.planes[0] + size_t(y - full.y) * size_t(picture.strides[0]) + size_t(r.x - full.x) * 4,
                    size_t(r.width) * 4);
        } else if (SDL_Surface* wrapped = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(picture.planes[0]),
                       picture.width, picture.height, 32, picture.strides[0], target->format->format)) {
            // A picture of another size (the producer has not caught up with a new size yet): scaled.
            SDL_SetSurfaceBlendMode(wrapped, SDL_BLENDMODE_NONE);
            SDL_Rect source { 0, 0, picture.width, picture.height };
            SDL_Rect destination = sdlRect(full);
            SDL_Rect clip = sdlRect(r);
            SDL_SetClipRect(target, &clip);
            if (SDL_SoftStretchLinear(wrapped, &source, target, &destination) != 0)
                SDL_BlitScaled(wrapped, &source, target, &destination);
            SDL_SetClipRect(target, nullptr);
            SDL_FreeSurface(wrapped);
        }
    }
    if (!sameLayout(target))
        return;
    const uint8_t* source = cairo_image_surface_get_data(drawing);
    const int stride = cairo_image_surface_get_stride(drawing);
    auto* pixels = static_cast<uint8_t*>(target->pixels);
    for (int ty = r.y / kTile; ty <= (r.y + r.height - 1) / kTile; ++ty)
        for (int tx = r.x / kTile; tx <= (r.x + r.width - 1) / kTile; ++tx) {
            if (!_tiles[size_t(ty) * size_t(_tilesAcross) + size_t(tx)])
                continue;
            const HXPixelRect tile = HXIntersectionPixelRect({ tx * kTile, ty * kTile, kTile, kTile }, r);
            for (int y = tile.y; y < tile.y + tile.height; ++y) {
                auto* from = reinterpret_cast<const uint32_t*>(source + size_t(y) * size_t(stride));
                auto* to = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(target->pitch));
                for (int x = tile.x; x < tile.x + tile.width; ++x)
                    if (from[x] >> 24)
                        to[x] = over(from[x], to[x]);
            }
        }
}

void HXSDLWindowRenderer::presentToSurface(
    cairo_surface_t* drawing, const std::vector<HXPixelRect>& damage, const std::vector<HXPlacedVideoLayer>& layers)
{
    SDL_Surface* target = SDL_GetWindowSurface(_window);
    if (!target || SDL_LockSurface(target) != 0)
        return;
    const int width = std::min(target->w, cairo_image_surface_get_width(drawing));
    const int height = std::min(target->h, cairo_image_surface_get_height(drawing));
    const HXPixelRect all { 0, 0, width, height };
    const bool fresh = target != _lastTarget || target->w != _width || target->h != _height;
    if (fresh) {
        _lastTarget = target;
        _width = target->w;
        _height = target->h;
        _tilesAcross = (_width + kTile - 1) / kTile;
        _tilesDown = (_height + kTile - 1) / kTile;
        _tiles.assign(size_t(_tilesAcross) * size_t(_tilesDown), 0);
        _lastLayerRects.clear();
        _videos.clear();
    }
    std::vector<HXPixelRect> changed = fresh ? std::vector<HXPixelRect> { all } : damage;
    std::vector<HXPixelRect> layerRects;
    for (const auto& placed : layers)
        layerRects.push_back(placed.visible);
    if (layerRects != _lastLayerRects) {
        changed.insert(changed.end(), _lastLayerRects.begin(), _lastLayerRects.end());
        changed.insert(changed.end(), layerRects.begin(), layerRects.end());
        _lastLayerRects = layerRects;
    }
    std::vector<SDL_Rect> update;
    for (auto r : changed) {
        r = HXIntersectionPixelRect(r, all);
        if (r.isEmpty())
            continue;
        copyDrawing(drawing, target, r);
        update.push_back(sdlRect(r));
    }
    // Each picture where it is new or where the drawing over it changed.
    _videos.resize(layers.size());
    for (size_t i = 0; i < layers.size(); ++i) {
        const HXPlacedVideoLayer& placed = layers[i];
        const HXPixelRect visible = HXIntersectionPixelRect(placed.visible, all);
        for (const auto& r : changed)
            scanOverlay(drawing, r, visible);
        const HXVideoPicture& picture = placed.layer->picture;
        VideoTexture& shown = _videos[i];
        const bool newPicture = shown.serial != picture.serial || shown.owner != picture.owner.get();
        shown.serial = picture.serial;
        shown.owner = picture.owner.get();
        if (newPicture) {
            composeLayer(drawing, target, placed, visible);
            update.push_back(sdlRect(visible));
            continue;
        }
        for (const auto& r : changed) {
            const HXPixelRect part = HXIntersectionPixelRect(r, visible);
            if (!part.isEmpty())
                composeLayer(drawing, target, placed, part);
        }
    }
    SDL_UnlockSurface(target);
    if (!update.empty())
        SDL_UpdateWindowSurfaceRects(_window, update.data(), int(update.size()));
}

// ---- Composing through SDL's renderer

void HXSDLWindowRenderer::present(
    cairo_surface_t* surface, const std::vector<HXPixelRect>& damage, const std::vector<HXPlacedVideoLayer>& layers)
{
    if (!surface)
        return;
    if (_software) {
        cairo_surface_flush(surface);
        presentToSurface(surface, damage, layers);
        return;
    }
    if (!_renderer)
        return;
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    const bool fresh = ensureDrawingTexture(width, height);
    if (!_drawing)
        return;

    // What to take from the drawing: what changed, and everything where a picture came or went (the
    // pixels there change between straight and premultiplied alpha).
    std::vector<HXPixelRect> changed = fresh ? std::vector<HXPixelRect> { { 0, 0, width, height } } : damage;
    std::vector<HXPixelRect> layerRects;
    for (const auto& placed : layers)
        layerRects.push_back(placed.visible);
    if (layerRects != _lastLayerRects) {
        for (const auto& r : _lastLayerRects)
            changed.push_back(r);
        for (const auto& r : layerRects)
            changed.push_back(r);
        _lastLayerRects = layerRects;
    }
    if (!layers.empty() && !_overlay) {
        _overlay = SDL_CreateTexture(_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (_overlay)
            SDL_SetTextureBlendMode(_overlay, SDL_BLENDMODE_BLEND);
        for (const auto& placed : layers)
            changed.push_back(placed.visible);
    }
    for (const auto& r : changed) {
        uploadDrawing(surface, _drawing, r, false);
        for (const auto& placed : layers) {
            const HXPixelRect over = HXIntersectionPixelRect(r, placed.visible);
            if (over.isEmpty())
                continue;
            uploadDrawing(surface, _overlay, over, true);
            scanOverlay(surface, over, placed.visible);
        }
    }

    // The drawing around the pictures, as it is.
    if (layers.size() == 1) {
        const HXPixelRect v = layers.front().visible;
        const HXPixelRect bands[] = { { 0, 0, width, v.y }, { 0, v.y + v.height, width, height - v.y - v.height },
            { 0, v.y, v.x, v.height }, { v.x + v.width, v.y, width - v.x - v.width, v.height } };
        for (const auto& band : bands)
            if (!band.isEmpty()) {
                SDL_Rect r = sdlRect(band);
                SDL_RenderCopy(_renderer, _drawing, &r, &r);
            }
    } else {
        SDL_RenderCopy(_renderer, _drawing, nullptr, nullptr);
    }

    // The pictures, then the drawing's tiles that hold something over them.
    for (size_t i = layers.size(); i < _videos.size(); ++i)
        if (_videos[i].texture)
            SDL_DestroyTexture(_videos[i].texture);
    _videos.resize(layers.size());
    for (size_t i = 0; i < layers.size(); ++i) {
        const HXPlacedVideoLayer& placed = layers[i];
        const HXVideoPicture& picture = placed.layer->picture;
        if (!uploadPicture(_videos[i], picture))
            continue;
        const HXPixelRect& r = placed.rect;
        const HXPixelRect& v = placed.visible;
        SDL_Rect source { int(int64_t(v.x - r.x) * picture.width / r.width),
            int(int64_t(v.y - r.y) * picture.height / r.height),
            std::max(1, int(int64_t(v.width) * picture.width / r.width)),
            std::max(1, int(int64_t(v.height) * picture.height / r.height)) };
        SDL_Rect target = sdlRect(v);
        SDL_RenderCopy(_renderer, _videos[i].texture, &source, &target);
    }
    for (const auto& placed : layers) {
        if (!_overlay)
            break;
        const HXPixelRect& v = placed.visible;
        for (int ty = v.y / kTile; ty <= (v.y + v.height - 1) / kTile; ++ty) {
            int run = -1;
            for (int tx = v.x / kTile; tx <= (v.x + v.width - 1) / kTile + 1; ++tx) {
                const bool on = tx <= (v.x + v.width - 1) / kTile && _tiles[size_t(ty) * size_t(_tilesAcross) + size_t(tx)];
                if (on && run < 0)
                    run = tx;
                if (!on && run >= 0) {
                    HXPixelRect tiles { run * kTile, ty * kTile, (tx - run) * kTile, kTile };
                    SDL_Rect r = sdlRect(HXIntersectionPixelRect(tiles, v));
                    SDL_RenderCopy(_renderer, _overlay, &r, &r);
                    run = -1;
                }
            }
        }
    }
    SDL_RenderPresent(_renderer);
}
