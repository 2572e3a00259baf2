// Icons of files and folders: the user's icon theme first, the system's next, a drawn one last.
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/image.h"
#include "platform/winkit/file_icon.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using movara::test::TempDir;


void writeSolidPNG(const std::filesystem::path& path, int size, HXRGBAPixel pixel)
{
    std::filesystem::create_directories(path.parent_path());
    auto rep = HXBitmapImageRep::initWithSize(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            rep->setPixel(pixel, x, y);
    ASSERT_TRUE(rep->writeToFile(path.string()));
}

HXRGBAPixel centre(const std::shared_ptr<HXImage>& image)
{
    auto rep = image->bitmapImageRep();
    return rep ? rep->pixelAt(rep->pixelsWide() / 2, rep->pixelsHigh() / 2) : HXRGBAPixel {};
}

TEST(FileIconTest, ThemesAreSearchedUserFirstThenSystemThenDrawn)
{
    TempDir user, system, empty, folder;
    auto file = folder / "notes.txt";
    movara::test::writeFile(file, "x");
    const HXRGBAPixel red { 255, 0, 0, 255 }, green { 0, 255, 0, 255 };
    writeSolidPNG(user / "icons/hicolor/16x16/places/folder.png", 16, red);
    writeSolidPNG(system / "icons/Adwaita/32x32/places/folder.png", 32, green);
    writeSolidPNG(system / "icons/Adwaita/48x48/mimetypes/text-x-generic.png", 48, green);

    struct Case {
        const char* name;
        std::string dataHome, dataDirs, path;
        std::optional<HXRGBAPixel> themed; // nullopt: drawn
    };
    const Case cases[] = {
        { "user theme wins", user.path().string(), system.path().string(), folder.path().string(), red },
        { "system theme, larger size scaled", empty.path().string(), system.path().string(),
            folder.path().string(), green },
        { "file icon from the mime types", empty.path().string(), system.path().string(), file.string(),
            green },
        { "no theme: drawn folder", empty.path().string(), empty.path().string(), folder.path().string(),
            std::nullopt },
        { "missing file: drawn page", empty.path().string(), empty.path().string(),
            (folder / "gone").string(), std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movara::test::EnvironmentGuard env;
        env.set("XDG_DATA_HOME", c.dataHome);
        env.set("XDG_DATA_DIRS", c.dataDirs);
        auto icon = HXIconForFile(c.path, 16);
        ASSERT_TRUE(icon);
        EXPECT_TRUE(icon->isValid());
        EXPECT_EQ(icon->size(), (HXSize { 16, 16 }));
        if (c.themed)
            EXPECT_EQ(centre(icon), *c.themed);
        else
            EXPECT_NE(centre(icon).a, 0) << "the drawn icon is not empty";
    }
}

TEST(FileIconTest, PopUpShowsTheSelectedItemsImage)
{
    auto popUp = std::make_shared<HXPopUpButton>(HXRect { { 0, 0 }, { 200, 24 } }, false);
    popUp->addItemWithTitle("Plain");
    auto withImage = std::make_shared<HXMenuItem>("Movies", HXSelector(), "");
    auto icon = HXImage::initWithSize({ 16, 16 });
    withImage->setImage(icon);
    popUp->menu()->insertItem(withImage, 0);
    popUp->selectItemAtIndex(0);
    EXPECT_EQ(popUp->image(), icon);
    popUp->selectItemAtIndex(1);
    EXPECT_EQ(popUp->image(), nullptr) << "an item without a picture shows none";
    EXPECT_EQ(popUp->titleOfSelectedItem(), "Plain");
}

} // namespace
