#pragma once
// The press of a mouse button in one of the player's controls, tracked until the button goes up.
//
// Like the toolkit's own tracking, with one difference: no wait for the next mouse event lasts for ever.
// When the events stop (a test ran out of them, the window lost the pointer and its button-up, the
// display went away) the press ends after `idleTimeout` seconds without one: the cell is told the mouse
// went up where it was last seen and the control lets go, so a button held to play fast or rewind gives
// the movie back its rate and a shuttle knob springs back; no click is counted.
#include "platform/winkit/control.h"

inline constexpr double MVPControlTrackingTimeout = 60.0;

// Tracks the press that `event` (a left mouse-down) began in `control`; true when it ended with the
// button going up inside (the action was then sent when the cell sends on mouse-up).
bool MVPTrackMouseInControl(
    HXControl& control, const HXEvent& event, double idleTimeout = MVPControlTrackingTimeout);
