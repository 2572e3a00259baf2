#pragma once
// HXIconForFile: the picture the desktop shows for a file or folder, at a size in points. It comes from
// the freedesktop icon themes installed on the machine (the user's and the system's data folders); where
// none has it, a plain folder or page is drawn, so a caller always gets an image to show.
#include <memory>
#include <string>

class HXImage;

std::shared_ptr<HXImage> HXIconForFile(const std::string& path, double size = 16);
