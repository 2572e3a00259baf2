#pragma once
// Notifications that a layer posts and a layer below it observes: the names live here, below both, so that
// the observer needs nothing of the poster.

// Every key event the application object fetches (MVPApplication, app/); the movie view listens.
inline constexpr const char* MVPKeyDownEventNotification = "KeyDownEventNotification";
inline constexpr const char* MVPKeyUpNotification = "KeyUpNotification";

// The states a full-screen presentation goes through (FSPresentationWindowController, fullscreen/); the
// movie document and the inspector panels follow them.
inline constexpr const char* FSPresentationEnteringFullScreenStateNotification
    = "FSPresentationEnteringFullScreenStateNotification";
inline constexpr const char* FSPresentationFullScreenStateNotification
    = "FSPresentationFullScreenStateNotification";
inline constexpr const char* FSPresentationExitingFullScreenStateNotification
    = "FSPresentationExitingFullScreenStateNotification";
inline constexpr const char* FSPresentationInactiveStateNotification
    = "FSPresentationInactiveStateNotification";
