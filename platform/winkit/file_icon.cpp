#include "platform/winkit/file_icon.h"

#include "platform/basekit/file_manager.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// The folders icon themes live in: $XDG_DATA_HOME/icons, then each of $XDG_DATA_DIRS.
std::vector<std::string> iconFolders()
{
    std::vector<std::string> folders;
    for (const auto& data : HXSearchPathForDirectoriesInDomains(
             HXLibraryDirectory, HXUserDomainMask | HXLocalDomainMask, true))
        folders.push_back(data + "/icons");
    return folders;
}

// The first PNG of a themed icon name at the size or, failing that, the nearest larger one.
std::string themedIconPath(const std::vector<std::string>& names, int size)
{
    static constexpr std::array kThemes { "Adwaita", "hicolor" };
    static constexpr std::array kContexts { "places", "mimetypes" };
    static constexpr std::array kSizes { 16, 22, 24, 32, 48, 64, 128, 256, 512 };
    std::error_code ec;
    for (const auto& folder : iconFolders())
        for (const char* theme : kThemes)
            for (int candidate : kSizes) {
                if (candidate < size)
                    continue;
                std::string dimension = std::to_string(candidate) + "x" + std::to_string(candidate);
                for (const char* context : kContexts)
                    for (const auto& name : names) {
                        auto path = folder + "/" + theme + "/" + dimension + "/" + context + "/" + name + ".png";
                        if (std::filesystem::is_regular_file(path, ec))
                            return path;
                    }
            }
    return {};
}

// A plain folder (a tab on a box) or a page with a folded corner, drawn when no theme has an icon.
std::shared_ptr<HXImage> drawnIcon(bool folder, double size)
{
    auto image = HXImage::initWithSize({ size, size });
    image->drawInto([&] {
        double u = size / 16;
        if (folder) {
            HXColor::colorWithCalibratedRed(0.36, 0.56, 0.82).setFill();
            HXBezierPath::bezierPathWithRoundedRect({ { 1 * u, 3 * u }, { 14 * u, 9 * u } }, u, u).fill();
            HXBezierPath::bezierPathWithRoundedRect({ { 1 * u, 10 * u }, { 6 * u, 3 * u } }, u, u).fill();
        } else {
            HXColor::colorWithCalibratedWhite(0.97).setFill();
            auto page = HXBezierPath::bezierPath();
            page.moveToPoint({ 3 * u, 1 * u });
            page.lineToPoint({ 13 * u, 1 * u });
            page.lineToPoint({ 13 * u, 11 * u });
            page.lineToPoint({ 9 * u, 15 * u });
            page.lineToPoint({ 3 * u, 15 * u });
            page.closePath();
            page.fill();
            HXColor::colorWithCalibratedWhite(0.45).setStroke();
            page.setLineWidth(u);
            page.stroke();
        }
    });
    return image;
}

} // namespace

std::shared_ptr<HXImage> HXIconForFile(const std::string& path, double size)
{
    if (size <= 0)
        size = 16;
    std::error_code ec;
    bool folder = std::filesystem::is_directory(path, ec);
    std::vector<std::string> names = folder ? std::vector<std::string> { "folder", "inode-directory" }
                                            : std::vector<std::string> { "text-x-generic", "application-x-generic" };
    if (auto file = themedIconPath(names, int(size)); !file.empty()) {
        if (auto image = HXImage::initWithContentsOfFile(file)) {
            image->setSize({ size, size });
            return image;
        }
    }
    return drawnIcon(folder, size);
}
