#pragma once
// FindTextController: the Find Text panel. It searches the text tracks of one movie document (captions,
// subtitles, chapter text) for a string, forward or backward, with or without case and wrap-around, and
// moves the movie to the time of the hit. It keeps the place of the last hit (track, time and character
// offset) so that the next search starts past it. The shared controller serves the Find menu commands of
// the front movie document; scripting makes a private instance and calls the search directly.
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/time.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <string>

class HXButton;
class HXTextField;
class MVMovie;
class MVPMovieDocument;

class FindTextController : public HXWindowController {
public:
    // The search flags handed to the movie's text search.
    static constexpr int kCaseSensitiveFlag = 2;
    static constexpr int kReverseFlag = 4;
    static constexpr int kWrapAroundFlag = 8;

    // The shared controller, made on first use.
    static std::shared_ptr<FindTextController> findTextController();
    // The shared controller, or null when none was made.
    static std::shared_ptr<FindTextController> existingFindTextController();

    // A controller of its own (scripting's); its panel is built only when asked for.
    FindTextController();
    ~FindTextController() override;

    // The document searched. A new one resets the search position. The controller does not keep the
    // document alive: one that goes away is simply no longer searched.
    void setMovieDocument(const std::shared_ptr<MVPMovieDocument>& document);
    std::shared_ptr<MVPMovieDocument> movieDocument() const { return _movieDocument.lock(); }

    // Track 1, offset 0, time zero in the time scale of the movie's current time.
    void resetFindNextState();
    // Moves the offset of the last hit, so that the next search starts past it.
    void bumpOffset(int32_t step) { _foundOffset += step; }

    // The panel's commands: search with the panel's text and options and move the movie to the hit.
    void doFindNextText(HXObject* sender = nullptr)
    {
        (void)sender;
        doFindText(true);
    }
    void doFindPreviousText(HXObject* sender = nullptr)
    {
        (void)sender;
        doFindText(false);
    }
    void doFindText(bool forward);
    // The time of the next hit, or the indefinite time when there is none (nothing changes then).
    MVTime findTextTime(const std::string& text, bool ignoreCase, bool wrapAround, bool searchForward);

    void showWindow(HXObject* sender = nullptr) override;
    void closeWindow(HXObject* sender = nullptr);
    void loadWindow() override;

    // The panel's controls (built with the window).
    std::shared_ptr<HXTextField> findTextTextField() const { return findTextTextField_; }
    std::shared_ptr<HXButton> ignoreCaseCheckBox() const { return ignoreCaseCheckBox_; }
    std::shared_ptr<HXButton> wrapAroundCheckBox() const { return wrapAroundCheckBox_; }

    // The search position.
    int32_t foundTrackIndex() const { return _foundTrackIndex; }
    MVTime foundTime() const { return _foundTime; }
    int32_t foundOffset() const { return _foundOffset; }

    void documentSetMovieNotification(const HXNotification& notification);
    void documentWillCloseNotification(const HXNotification& notification);

private:
    // Whether `movie` shows at `time` the text sample of the last hit.
    bool showsTextOfLastHit(const MVMovie& movie, MVTime time) const;

    std::shared_ptr<HXTextField> findTextTextField_;
    std::shared_ptr<HXButton> ignoreCaseCheckBox_;
    std::shared_ptr<HXButton> wrapAroundCheckBox_;
    int32_t _foundTrackIndex = 1;
    MVTime _foundTime = MVMakeTime(0, 600);
    int32_t _foundOffset = 0;
    bool _hasHit = false; // whether the position above is that of a hit (not a reset one)
    std::weak_ptr<MVPMovieDocument> _movieDocument;
    HXObserverToken _willCloseObserver = 0;
    HXObserverToken _setMovieObserver = 0;
};
