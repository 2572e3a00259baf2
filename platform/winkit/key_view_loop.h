#pragma once
// Full keyboard access: links every view under `root` that can take the keyboard focus into one key-view
// loop, in reading order (top to bottom, then left to right, as seen on screen), and makes the first one
// the window's initial first responder. Views hidden now are linked too; the loop skips them while hidden.
#include <memory>

class HXView;
class HXWindow;

void HXRecalculateKeyViewLoop(HXView& root);
void HXRecalculateKeyViewLoop(HXWindow& window);
