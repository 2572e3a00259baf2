#pragma once
// FSPresentationWindow: the borderless window a movie is presented in. It may cover the whole screen
// (its frame is never constrained), can become key and main, counts as a document window, and offers
// every event to its delegate first: an event the delegate uses goes no further.
#include "platform/winkit/window.h"

#include <memory>

// What the full-screen window (and the heads-up panel) ask their delegate before handling an event.
class FSPresentationEventHandler {
public:
    virtual ~FSPresentationEventHandler() = default;
    // True when the event was used and goes no further.
    virtual bool handleEvent(const HXEvent& event) = 0;
};

class FSPresentationWindow : public HXWindow {
public:
    FSPresentationWindow();

    HXRect constrainFrameRect(HXRect frame, const std::optional<HXScreen>& screen) const override;
    bool canBecomeKeyWindow() const override { return true; }
    bool canBecomeMainWindow() const override { return true; }

    // The window's event delegate (not owned); null drops every event.
    FSPresentationEventHandler* eventDelegate() const { return _eventDelegate; }
    void setEventDelegate(FSPresentationEventHandler* delegate) { _eventDelegate = delegate; }

    void sendEvent(const HXEvent& event) override;
    // A key the delegate handles (Escape, Command-W ...) is consumed here, so that it does not go on to
    // the menus as well: Command-W would otherwise close the player window the presentation returned to.
    bool performKeyEquivalent(const HXEvent& event) override;

private:
    FSPresentationEventHandler* _eventDelegate = nullptr;
};
