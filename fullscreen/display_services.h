#pragma once
// FSDisplayServices: what presenting needs of the displays beyond their frames — which display mirrors
// which, the displays that stand for a display that was reconfigured (its aliases), display modes and
// switching between them, keeping the machine awake and hiding the desktop's panels. The shared instance
// answers for a display system that offers none of it (no mirroring, no aliases, no modes to switch to);
// on the SDL2 backend the shared instance is SDL's (sdl_display_services.h), with the X server's mirroring
// and aliases where SDL runs on X (x11_display_services.h); tests install fakes.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct FSDisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitsPerPixel = 24;
    double refreshRate = 0; // Hz; 0 when the display does not say
    bool operator==(const FSDisplayMode&) const = default;
};

class FSDisplayServices {
public:
    virtual ~FSDisplayServices() = default;

    static FSDisplayServices& shared();
    // Replaces the shared instance; null puts the default back.
    static void setShared(std::shared_ptr<FSDisplayServices> services);

    // The display that `display` mirrors, if any.
    virtual std::optional<uint32_t> mirroredDisplay(uint32_t /*display*/) { return std::nullopt; }
    // The displays standing in for `display` (after a reconfiguration), if any.
    virtual std::vector<uint32_t> aliasList(uint32_t /*display*/) { return {}; }
    virtual std::optional<FSDisplayMode> currentMode(uint32_t /*display*/) { return std::nullopt; }
    virtual std::vector<FSDisplayMode> availableModes(uint32_t /*display*/) { return {}; }
    // False when the display cannot be switched (then nothing changed).
    virtual bool switchToMode(uint32_t /*display*/, const FSDisplayMode& /*mode*/) { return false; }
    // Tells the system the user is active (keeps the screen saver and display sleep away).
    virtual void reportUserActivity();
    // The virtual desktop of a window (by window number); nothing when it cannot be told.
    virtual std::optional<uint32_t> workspaceOfWindow(int /*windowNumber*/) { return std::nullopt; }
    virtual void moveWindowsToWorkspace(const std::vector<int>& /*windowNumbers*/, uint32_t /*workspace*/) { }
    // 0 normal; 4 the desktop's panels hidden, shown on demand at the screen edge.
    virtual void setSystemUIMode(int mode) { _systemUIMode = mode; }
    int systemUIMode() const { return _systemUIMode; }

private:
    int _systemUIMode = 0;
};

// The mode to switch to for a picture of width × height pixels: among the modes of the current depth, the
// smallest one that holds the picture, with the current refresh rate when the display has one (else the
// nearest, then the highest). Nothing when no mode is large enough.
std::optional<FSDisplayMode> FSPresentationChooseDisplayMode(
    const std::vector<FSDisplayMode>& modes, const FSDisplayMode& current, uint32_t width, uint32_t height);
