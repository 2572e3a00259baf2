#include "player/window/image_for_current_os.h"

#include "platform/drawing/image.h"
#include "player/controls/button_image_set.h"

std::shared_ptr<HXImage> MVPImageByNameForCurrentOS(const std::string& name)
{
    if (MVPToolkitVersionNumber > 905.0) {
        if (auto newer = HXImage::imageNamed(name + "-Kestrel"))
            return newer;
    }
    return HXImage::imageNamed(name);
}
