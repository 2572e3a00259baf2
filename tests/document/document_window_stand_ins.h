#pragma once
// Stand-ins for the movie document's windows, which the layers above the document make
// (document/document_windows.h). The document's tests install them (document_windows_setup.cpp), so that
// what the document does with its windows is checked without the player, full screen or the inspectors;
// the real windows are checked in the tests of their own folders.
#include "core/notification_names.h"
#include "document/document_windows.h"
#include "document/movie_document.h"
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <string>

namespace movara::test::document {

// A plain titled window whose content is a movie view of the movie's natural size times the scale.
class StandInPlayerWindow : public HXWindowController, public MVPDocumentPlayerWindow {
public:
    StandInPlayerWindow()
        : StandInPlayerWindow(std::make_shared<HXWindow>(
              HXMakeRect(0, 0, 320, 240), HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask))
    {
    }

    // Shows the document's movie from the start, as the player's windows do.
    void setDocument(const std::shared_ptr<HXDocument>& document) override
    {
        HXWindowController::setDocument(document);
        if (document)
            syncToNewMovie();
    }
    void syncToNewMovie() override
    {
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
        _movieView->setMovie(doc ? doc->movie() : nullptr);
        fitToMovie();
        synchronizeWindowTitleWithDocumentName();
    }
    void syncToChangeInMovieContent() override { fitToMovie(); }
    void startWindowUpdates() override { _updating = true; }
    void stopWindowUpdates() override { _updating = false; }
    void setScale(const HXSize& factors, bool) override
    {
        _scale = factors;
        fitToMovie();
    }
    HXSize displayedMovieSize() const override
    {
        return _movieView->window() ? _movieView->frame().size : HXSize {};
    }
    std::shared_ptr<HXView> saveAsAccessoryView(int64_t, int64_t) override
    {
        if (!_saveAsAccessoryView)
            _saveAsAccessoryView = std::make_shared<HXView>(HXMakeRect(0, 0, 300, 60));
        return _saveAsAccessoryView;
    }

    // Whether the window draws (off while a presentation borrows the movie).
    bool updating() const { return _updating; }

private:
    // The window is hooked up to the controller on first use (not while it is being made).
    explicit StandInPlayerWindow(const std::shared_ptr<HXWindow>& window)
        : HXWindowController(window)
        , _movieView(std::make_shared<MVMovieView>(HXMakeRect(0, 0, 320, 240)))
    {
        window->setContentView(_movieView);
    }

    void fitToMovie()
    {
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
        HXSize natural = doc ? doc->naturalSize() : HXSize {};
        if (natural.width > 0 && natural.height > 0)
            window()->setContentSize({ natural.width * _scale.width, natural.height * _scale.height });
    }

    std::shared_ptr<MVMovieView> _movieView;
    std::shared_ptr<HXView> _saveAsAccessoryView;
    HXSize _scale { 1, 1 };
    bool _updating = true;
};

// A presentation that covers the first screen with a borderless window and goes through its states at
// once, posting each as the real one does; like the real one it plays the movie once presenting (unless
// in slide-show mode).
class StandInPresentation : public HXWindowController, public MVPDocumentPresentation {
public:
    StandInPresentation()
        : HXWindowController(std::make_shared<HXWindow>(HXMakeRect(0, 0, 640, 480), HXBorderlessWindowMask))
    {
    }

    void setPresentationSettings(const FSPresentationSettings& settings) override { _settings.merge(settings); }
    void setPresentationSettingsToDefaults() override { _settings = {}; }
    const FSPresentationSettings& presentationSettings() const override { return _settings; }
    HXPropertyList presentationSettingForKey(const std::string& key) override
    {
        HXPropertyList value = _settings.valueForKey(key);
        return value.isNull() ? FSPresentationPreference(key) : value;
    }
    void syncToNewMovie() override { }
    void syncToChangeInMovieContent() override { }
    void enterFullScreen() override
    {
        auto screens = HXScreen::screens();
        if (_presenting || screens.empty())
            return;
        _presenting = true;
        post(FSPresentationEnteringFullScreenStateNotification);
        window()->setFrame(screens.front().frame(), false);
        window()->orderFront();
        post(FSPresentationFullScreenStateNotification);
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
        if (doc && doc->movie() && !_settings.slideShowMode.value_or(false))
            doc->movie()->play();
    }
    bool isFullscreen() const override { return _presenting; }
    void exitFullScreen() override
    {
        if (!_presenting)
            return;
        post(FSPresentationExitingFullScreenStateNotification);
        window()->orderOut();
        _presenting = false;
        post(FSPresentationInactiveStateNotification);
    }

private:
    void post(const char* name)
    {
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(name, static_cast<const HXWindowController*>(this)));
    }

    FSPresentationSettings _settings;
    bool _presenting = false;
};

// Installs the stand-ins as the makers of the player window and the presentation; a screen is free to
// present on whenever there is a screen.
inline void installDocumentWindowStandIns()
{
    MVPDocumentPlayerWindow::setMaker(
        MVPPlayerWindowKind::Standard, [] { return std::make_shared<StandInPlayerWindow>(); });
    MVPDocumentPresentation::setMaker([] { return std::make_shared<StandInPresentation>(); });
    MVPDocumentPresentation::setScreensAvailableCheck([] { return !HXScreen::screens().empty(); });
}

} // namespace movara::test::document
