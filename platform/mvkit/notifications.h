#pragma once
// Names of the notifications movies post (object: the movie) and the keys of their user info.
inline constexpr const char* MVMovieEditedNotification = "MVMovieEditedNotification";
inline constexpr const char* MVMovieLoadStateDidChangeNotification = "MVMovieLoadStateDidChangeNotification";
inline constexpr const char* MVMovieRateDidChangeNotification = "MVMovieRateDidChangeNotification";
inline constexpr const char* MVMovieTimeDidChangeNotification = "MVMovieTimeDidChangeNotification";
inline constexpr const char* MVMovieSelectionDidChangeNotification = "MVMovieSelectionDidChangeNotification";
inline constexpr const char* MVMovieVolumeDidChangeNotification = "MVMovieVolumeDidChangeNotification";
inline constexpr const char* MVMovieMutedDidChangeNotification = "MVMovieMutedDidChangeNotification";
inline constexpr const char* MVMovieBalanceDidChangeNotification = "MVMovieBalanceDidChangeNotification";
inline constexpr const char* MVMovieBassDidChangeNotification = "MVMovieBassDidChangeNotification";
inline constexpr const char* MVMovieTrebleDidChangeNotification = "MVMovieTrebleDidChangeNotification";
inline constexpr const char* MVMovieGainDidChangeNotification = "MVMovieGainDidChangeNotification";
inline constexpr const char* MVMovieVisualAdjustmentsDidChangeNotification
    = "MVMovieVisualAdjustmentsDidChangeNotification";
inline constexpr const char* MVMovieLoopingDidChangeNotification = "MVMovieLoopingDidChangeNotification";
// The movie's aperture mode changed (MVMovieApertureModeAttribute): its pictures are drawn another way.
inline constexpr const char* MVMovieApertureModeDidChangeNotification = "MVMovieApertureModeDidChangeNotification";
// The movie's closed captions were shown or hidden (MVMovie::setClosedCaptionsVisible).
inline constexpr const char* MVMovieClosedCaptionsDidChangeNotification
    = "MVMovieClosedCaptionsDidChangeNotification";
// The movie was made editable or read-only (MVMovie::setEditable with another value).
inline constexpr const char* MVMovieEditabilityDidChangeNotification = "MVMovieEditabilityDidChangeNotification";
inline constexpr const char* MVMovieControllerDidChangeNotification
    = "MVMovieControllerDidChangeNotification";
inline constexpr const char* MVMovieStatusStringPostedNotification = "MVMovieStatusStringPostedNotification";
inline constexpr const char* MVMovieCloseWindowRequestNotification = "MVMovieCloseWindowRequestNotification";
inline constexpr const char* MVMovieEnterFullScreenRequestNotification
    = "MVMovieEnterFullScreenRequestNotification";
inline constexpr const char* MVMovieExitFullScreenRequestNotification
    = "MVMovieExitFullScreenRequestNotification";
inline constexpr const char* MVMovieNaturalSizeDidChangeNotification
    = "MVMovieNaturalSizeDidChangeNotification";
inline constexpr const char* MVMovieSizeDidChangeNotification = "MVMovieSizeDidChangeNotification";
inline constexpr const char* MVMovieChapterListDidChangeNotification
    = "MVMovieChapterListDidChangeNotification";
inline constexpr const char* MVMovieDidEndNotification = "MVMovieDidEndNotification";
// A stream finished its preroll: it holds what it needs to start playing (user info: the error, 0 when
// it is ready, under MVMovieErrorNotificationParameter).
inline constexpr const char* MVMoviePrerollCompleteNotification = "MVMoviePrerollCompleteNotification";
// The view of a panorama movie changed: its node, pan, tilt, field of view or the hot spots' visibility.
inline constexpr const char* MVMoviePanoramaViewDidChangeNotification
    = "MVMoviePanoramaViewDidChangeNotification";

inline constexpr const char* MVMovieRateDidChangeNotificationParameter
    = "MVMovieRateDidChangeNotificationParameter";
inline constexpr const char* MVMovieLoadStateNotificationParameter = "MVMovieLoadStateNotificationParameter";
inline constexpr const char* MVMovieErrorNotificationParameter = "MVMovieErrorNotificationParameter";

// The flags of MVMovieStatusStringPostedNotification (its user info keys are below).
inline constexpr long MVMovieStatusFlagStreaming = 4;
inline constexpr long MVMovieStatusFlagHasCode = 8;
inline constexpr long MVMovieStatusFlagError = 16;

// The codes of the streaming statuses a movie posts (flags streaming and has-code) while it connects to
// a network movie and plays it. The text comes with the code.
enum MVMovieStreamingStatus : long {
    MVMovieStreamingStatusPlaying = 0, // data flows and the movie plays (an empty text gives the display back)
    MVMovieStreamingStatusConnecting = 1,
    MVMovieStreamingStatusNegotiating = 3,
    MVMovieStreamingStatusReady = 4, // enough has arrived; the movie is not playing
    MVMovieStreamingStatusBuffering = 12, // filling the buffer before playing
    MVMovieStreamingStatusWaiting = 17, // playing waits for data that stopped coming
    // The stream dropped and is being connected again (a buffering status: a repeated one stays in place).
    MVMovieStreamingStatusReconnecting = 51,
};

// Posted by a track (object: the track) when one of its sound settings changes. The parameter names
// the setting by its audio property code: "volu", "mute", "bala", "bass", "trbl" or "gain".
inline constexpr const char* MVTrackAudioPropertyDidChangeNotification
    = "MVTrackAudioPropertyDidChangeNotification";
inline constexpr const char* MVTrackAudioPropertyParameter = "MVTrackAudioPropertyParameter";

// Posted by a track (object: the track) when a setting that decides whether and how it plays changes. The
// parameter (MVTrackPropertyParameter) names it: "enab" enabled, "layr" layer, "matr" matrix, "dims"
// dimensions, "gmod" graphics mode or operation colour, "matt" mask, "vflg" a video flag.
inline constexpr const char* MVTrackPropertyDidChangeNotification = "MVTrackPropertyDidChangeNotification";
inline constexpr const char* MVTrackPropertyParameter = "MVTrackPropertyParameter";

// The user info of MVMovieStatusStringPostedNotification (streaming and playback problems, the node a
// panorama shows): the flags (bit 4 a streaming status, bit 8 the code is valid, bit 16 an error text),
// the text and the code.
inline constexpr const char* MVMovieStatusFlagsNotificationParameter
    = "MVMovieStatusFlagsNotificationParameter";
inline constexpr const char* MVMovieStatusStringNotificationParameter
    = "MVMovieStatusStringNotificationParameter";
inline constexpr const char* MVMovieStatusCodeNotificationParameter
    = "MVMovieStatusCodeNotificationParameter";
