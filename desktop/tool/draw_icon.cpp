// draw-icon: draws the program's icon for the desktop's icon theme: a dark screen with a film strip along
// its edges and a play triangle, as PNG files of the usual sizes and as one scalable SVG file.
//
//   draw-icon <output folder>   ->  <folder>/<size>x<size>/apps/movara-player.png,
//   <folder>/scalable/apps/movara-player.svg
#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

constexpr const char* kIconName = "movara-player";
constexpr int kSizes[] = { 16, 24, 32, 48, 64, 128, 256, 512 };

void roundedRectangle(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Draws the icon in a square of side `size` at the origin.
void draw(cairo_t* cr, double size)
{
    double u = size / 64.0; // the drawing is laid out on a 64-unit grid

    // The body: a rounded square, deep blue to near black.
    roundedRectangle(cr, 2 * u, 2 * u, 60 * u, 60 * u, 12 * u);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 2 * u, 0, 62 * u);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.16, 0.27, 0.52);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.05, 0.08, 0.18);
    cairo_set_source(cr, body);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(body);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
    cairo_set_line_width(cr, std::max(1.0, 1.0 * u));
    cairo_stroke(cr);

    // The film strip's perforations along the top and bottom edges (left out where they would blur).
    if (size >= 32) {
        cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
        for (int i = 0; i < 6; ++i) {
            double x = (10 + i * 8.5) * u;
            roundedRectangle(cr, x, 7 * u, 4.5 * u, 4 * u, 1 * u);
            roundedRectangle(cr, x, 53 * u, 4.5 * u, 4 * u, 1 * u);
        }
        cairo_fill(cr);
    }

    // The picture area and the play triangle.
    roundedRectangle(cr, 8 * u, 15 * u, 48 * u, 34 * u, 4 * u);
    cairo_set_source_rgb(cr, 0.93, 0.95, 0.98);
    cairo_fill(cr);
    cairo_move_to(cr, 26 * u, 21 * u);
    cairo_line_to(cr, 44 * u, 32 * u);
    cairo_line_to(cr, 26 * u, 43 * u);
    cairo_close_path(cr);
    cairo_pattern_t* play = cairo_pattern_create_linear(0, 21 * u, 0, 43 * u);
    cairo_pattern_add_color_stop_rgb(play, 0, 1.0, 0.62, 0.18);
    cairo_pattern_add_color_stop_rgb(play, 1, 0.90, 0.36, 0.06);
    cairo_set_source(cr, play);
    cairo_fill(cr);
    cairo_pattern_destroy(play);
}

bool writePNG(const std::filesystem::path& folder, int size)
{
    auto dir = folder / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    std::filesystem::create_directories(dir);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    draw(cr, size);
    cairo_destroy(cr);
    auto path = dir / (std::string(kIconName) + ".png");
    bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

bool writeSVG(const std::filesystem::path& folder)
{
    auto dir = folder / "scalable" / "apps";
    std::filesystem::create_directories(dir);
    auto path = dir / (std::string(kIconName) + ".svg");
    cairo_surface_t* surface = cairo_svg_surface_create(path.c_str(), 64, 64);
    cairo_t* cr = cairo_create(surface);
    draw(cr, 64);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: draw-icon <output folder>\n";
        return 2;
    }
    std::filesystem::path folder = argv[1];
    bool ok = writeSVG(folder);
    for (int size : kSizes)
        ok = writePNG(folder, size) && ok;
    if (!ok)
        std::cerr << "draw-icon: could not write the icon into " << folder.string() << "\n";
    return ok ? 0 : 1;
}
