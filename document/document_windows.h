#pragma once
// The movie document's windows as the document sees them. The windows are made above the document: the
// player window in player/ (the featured movie's window in app/), the full-screen presentation and its
// settings sheet in fullscreen/, the properties window in inspectors/. Each of those layers installs its
// makers with setMaker() when the program starts (the application delegate does it for the program; see
// docs/LAYERS.md). A window controller the document holds is reached through these interfaces with a
// dynamic cast; a window of a kind whose maker is not installed is not made.
#include "document/presentation_settings.h"
#include "platform/basekit/property_list.h"
#include "platform/drawing/geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class HXView;
class HXWindow;
class HXWindowController;
class MVMovie;

// The kinds of window that show a movie (MVPMovieDocument::PlayerWindowKind).
enum class MVPPlayerWindowKind { Skinned, ControllerLess, Featured, Standard };

// The player window's controller (MVPWindowController and the kinds derived from it).
class MVPDocumentPlayerWindow {
public:
    virtual ~MVPDocumentPlayerWindow() = default;

    virtual MVPPlayerWindowKind playerWindowKind() const { return MVPPlayerWindowKind::Standard; }
    // The document installed another movie, or its movie's content (edits, size) changed.
    virtual void syncToNewMovie() = 0;
    virtual void syncToChangeInMovieContent() = 0;
    // Drawing stops while a presentation borrows the movie, and starts again after it.
    virtual void startWindowUpdates() = 0;
    virtual void stopWindowUpdates() = 0;
    // The movie and volume controls catch up with the movie (after a presentation).
    virtual void updateMovieAndVolumeControls() { }
    // Sizes the window to the movie's natural size times the two factors.
    virtual void setScale(const HXSize& factors, bool animate) = 0;
    // The size the movie is drawn at; zero while the movie view is in no window.
    virtual HXSize displayedMovieSize() const = 0;
    // The save panel's accessory of Save As: a reference or a self-contained movie, with their sizes.
    virtual std::shared_ptr<HXView> saveAsAccessoryView(int64_t normalFileSize, int64_t selfContainedFileSize)
        = 0;

    using Maker = std::function<std::shared_ptr<HXWindowController>()>;
    static void setMaker(MVPPlayerWindowKind kind, Maker maker);
    // A new controller of `kind`: made by the kind's maker, else by the standard kind's; null when neither
    // is installed.
    static std::shared_ptr<HXWindowController> make(MVPPlayerWindowKind kind);
};

// The full-screen presentation (FSPresentationWindowController). Its states are posted under the
// FSPresentation...StateNotification names of core/notification_names.h with the window controller as
// object.
class MVPDocumentPresentation {
public:
    virtual ~MVPDocumentPresentation() = default;

    // Merges `settings` into the presentation's own; settings it lacks come from the preferences.
    virtual void setPresentationSettings(const FSPresentationSettings& settings) = 0;
    virtual void setPresentationSettingsToDefaults() = 0;
    virtual const FSPresentationSettings& presentationSettings() const = 0;
    // A setting by key: the presentation's own, else the preference of the same name.
    virtual HXPropertyList presentationSettingForKey(const std::string& key) = 0;
    virtual void syncToNewMovie() = 0;
    virtual void syncToChangeInMovieContent() = 0;
    virtual void enterFullScreen() = 0;
    // True from the start of the entry until the exit has completed.
    virtual bool isFullscreen() const = 0;
    virtual void exitFullScreen() = 0;

    using Maker = std::function<std::shared_ptr<HXWindowController>()>;
    static void setMaker(Maker maker);
    // A new presentation's window controller; null when no maker is installed.
    static std::shared_ptr<HXWindowController> make();
    // Whether a screen is free to present on (no screen is, while no check is installed).
    static void setScreensAvailableCheck(std::function<bool()> check);
    static bool screensAvailable();
};

// The sheet of the present-movie command that chooses the presentation's settings
// (FSPresentationSettingsWindowController).
class MVPDocumentPresentationSettingsSheet {
public:
    virtual ~MVPDocumentPresentationSettingsSheet() = default;

    // The tags the sheet ends with: the play button confirms, the cancel button does not.
    static constexpr long kPlayTag = 1;
    static constexpr long kCancelTag = 0;

    virtual void setPresentationSettings(const FSPresentationSettings& settings) = 0;
    virtual const FSPresentationSettings& presentationSettings() const = 0;
    using DidEnd = std::function<void(MVPDocumentPresentationSettingsSheet& sheet, long returnCode)>;
    // Runs the sheet on `window` for `movie`; `didEnd` is told how it ended.
    virtual void beginSettingsSheetWithMovie(
        const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<HXWindow>& window, DidEnd didEnd)
        = 0;

    using Maker = std::function<std::shared_ptr<HXWindowController>()>;
    static void setMaker(Maker maker);
    // A new sheet's window controller; null when no maker is installed.
    static std::shared_ptr<HXWindowController> make();
};

// The movie's properties window (MVPPropertyInspectorBrowser): the document only shows, hides and closes
// it, as any window controller.
class MVPDocumentPropertiesWindow {
public:
    using Maker = std::function<std::shared_ptr<HXWindowController>(const std::shared_ptr<MVMovie>& movie)>;
    static void setMaker(Maker maker);
    // The properties window of `movie`; null for no movie or when no maker is installed.
    static std::shared_ptr<HXWindowController> windowForMovie(const std::shared_ptr<MVMovie>& movie);
};
