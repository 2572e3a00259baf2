#pragma once
// How an element of the accessibility model reads to the desktop's assistive software (AT-SPI): its role
// number, its name and description, its state bits, its actions' names and its place on the screen. The
// accessibility bridge serves these over D-Bus; they are plain functions of the model, so they can be
// checked without a bus.
#include "platform/drawing/geometry.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class HXObject;

namespace HXATSPI {

// Role numbers of the AT-SPI protocol (the subset the toolkit's roles map onto).
enum Role : uint32_t {
    RoleCheckBox = 7,
    RoleColorChooser = 9,
    RoleComboBox = 11,
    RoleDialog = 16,
    RoleFiller = 20,
    RoleFrame = 23,
    RoleImage = 27,
    RoleLabel = 29,
    RolePageTabList = 38,
    RolePanel = 39,
    RoleProgressBar = 42,
    RolePushButton = 43,
    RoleRadioButton = 44,
    RoleScrollBar = 48,
    RoleScrollPane = 49,
    RoleSlider = 51,
    RoleTable = 55,
    RoleText = 61,
    RoleToolBar = 63,
    RoleTreeTable = 66,
    RoleUnknown = 67,
    RoleApplication = 75,
    RoleEntry = 79,
    RoleTableRow = 90,
    RoleGrouping = 99,
};

// State bits of the protocol.
enum State : uint32_t {
    StateActive = 1,
    StateChecked = 4,
    StateEditable = 7,
    StateEnabled = 8,
    StateFocusable = 11,
    StateFocused = 12,
    StateHorizontal = 14,
    StateModal = 16,
    StateSelected = 23,
    StateSensitive = 24,
    StateShowing = 25,
    StateSingleLine = 26,
    StateVertical = 29,
    StateVisible = 30,
    StateIndeterminate = 32,
    StateCheckable = 41,
};

// Coordinate kinds of the component requests.
enum CoordinateType : uint32_t { CoordinatesScreen = 0, CoordinatesWindow = 1, CoordinatesParent = 2 };

// Layers of the component requests.
enum Layer : uint32_t { LayerWidget = 3, LayerWindow = 7 };

uint32_t role(HXObject& element);
// The protocol's English name of a role ("push button").
std::string roleName(uint32_t role);
// The name a screen reader speaks: a window's title; else the title, else the description, else what a
// label shows.
std::string name(HXObject& element);
// The help text, else the description when the name came from the title.
std::string description(HXObject& element);
// The two 32-bit words of the state set.
std::array<uint32_t, 2> states(HXObject& element);
bool hasState(const std::array<uint32_t, 2>& set, State state);

// Whether the element has a numeric value with bounds (sliders, value indicators, progress).
bool hasValue(HXObject& element);
// The spoken form of the value ("AXValueDescription"), empty when the element has none.
std::string valueText(HXObject& element);

// The model's actions as the protocol names them ("AXPress" is "click").
std::string actionName(const std::string& action);
// The model's action for a protocol name (either form is accepted); empty when unknown.
std::string modelAction(const std::string& name);

// The element's frame in X coordinates (origin at the top left of the first screen, y down), given the top
// edge of the first screen in the toolkit's coordinates (y up).
HXRect screenExtents(HXObject& element, double primaryScreenTop);
// The same relative to `origin` (another frame in X coordinates: the window's or the parent's).
HXRect relativeExtents(const HXRect& extents, const HXRect& origin);
// The top edge of the first screen in the toolkit's coordinates (0 without screens).
double primaryScreenTop();

} // namespace HXATSPI
