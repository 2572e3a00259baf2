#pragma once
// Artwork lookup that prefers the newer pictures ("<name>-Kestrel") where the toolkit's look is the newer
// one (above 905.0), and falls back to the image of the plain name.
#include <memory>
#include <string>

class HXImage;

std::shared_ptr<HXImage> MVPImageByNameForCurrentOS(const std::string& name);
