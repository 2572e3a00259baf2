#include "document/find_text_controller.h"

#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/button.h"
#include "platform/winkit/text_field.h"

namespace {

std::weak_ptr<FindTextController>& sharedController()
{
    static std::weak_ptr<FindTextController> shared;
    return shared;
}

// The shared controller lives for the rest of the process once made.
std::shared_ptr<FindTextController>& sharedOwner()
{
    static auto* owner = new std::shared_ptr<FindTextController>();
    return *owner;
}

std::shared_ptr<HXButton> checkBox(HXRect frame, const std::string& title)
{
    auto box = std::make_shared<HXButton>(frame, title);
    box->setButtonType(HXSwitchButton);
    return box;
}

} // namespace

std::shared_ptr<FindTextController> FindTextController::findTextController()
{
    if (auto existing = sharedController().lock())
        return existing;
    auto controller = std::make_shared<FindTextController>();
    sharedOwner() = controller;
    sharedController() = controller;
    return controller;
}

std::shared_ptr<FindTextController> FindTextController::existingFindTextController()
{
    return sharedController().lock();
}

// The panel is built here, in loadWindow, under the interface's name.
FindTextController::FindTextController()
    : HXWindowController(std::string("FindText"))
{
    auto& center = HXNotificationCenter::defaultCenter();
    _willCloseObserver = center.addObserver(this, MVPMovieDocumentWillCloseNotification, nullptr,
        [this](const HXNotification& n) { documentWillCloseNotification(n); });
    _setMovieObserver = center.addObserver(this, MVPMovieDocumentSetMovieNotification, nullptr,
        [this](const HXNotification& n) { documentSetMovieNotification(n); });
    setActionHandler("doFindNextText:", [this](HXObject* sender) { doFindNextText(sender); });
    setActionHandler("doFindPreviousText:", [this](HXObject* sender) { doFindPreviousText(sender); });
    setActionHandler("closeWindow:", [this](HXObject* sender) { closeWindow(sender); });
}

FindTextController::~FindTextController()
{
    auto& center = HXNotificationCenter::defaultCenter();
    center.removeObserver(_willCloseObserver);
    center.removeObserver(_setMovieObserver);
}

void FindTextController::loadWindow()
{
    // Text to find above the two options; Previous and Next at the bottom right, Next the default.
    auto panel = std::make_shared<HXPanel>(
        HXMakeRect(0, 0, 380, 118), HXTitledWindowMask | HXClosableWindowMask | HXUtilityWindowMask);
    panel->setTitle(HXLocalizedString("mvpFindTextTitle"));
    panel->setHidesOnDeactivate(true);
    auto content = panel->contentView();
    auto label
        = HXTextField::labelWithString(HXLocalizedString("mvpFindTextLabel"), HXMakeRect(16, 84, 60, 18));
    content->addSubview(label);
    findTextTextField_ = std::make_shared<HXTextField>(HXMakeRect(80, 82, 284, 22));
    content->addSubview(findTextTextField_);
    ignoreCaseCheckBox_ = checkBox(HXMakeRect(78, 56, 140, 18), HXLocalizedString("mvpFindTextIgnoreCase"));
    ignoreCaseCheckBox_->setState(1);
    content->addSubview(ignoreCaseCheckBox_);
    wrapAroundCheckBox_ = checkBox(HXMakeRect(222, 56, 140, 18), HXLocalizedString("mvpFindTextWrapAround"));
    wrapAroundCheckBox_->setState(1);
    content->addSubview(wrapAroundCheckBox_);
    auto self = shared_from_this();
    auto previous
        = std::make_shared<HXButton>(HXMakeRect(170, 12, 96, 28), HXLocalizedString("mvpFindTextPrevious"));
    previous->setTarget(self);
    previous->setAction(HXSelector("doFindPreviousText:"));
    content->addSubview(previous);
    auto next = std::make_shared<HXButton>(HXMakeRect(270, 12, 96, 28), HXLocalizedString("mvpFindTextNext"));
    next->setTarget(self);
    next->setAction(HXSelector("doFindNextText:"));
    next->setKeyEquivalent("\r");
    content->addSubview(next);
    panel->setInitialFirstResponder(findTextTextField_);
    setWindow(panel);
}

void FindTextController::setMovieDocument(const std::shared_ptr<MVPMovieDocument>& document)
{
    if (document == _movieDocument.lock())
        return;
    _movieDocument = document;
    resetFindNextState();
}

void FindTextController::resetFindNextState()
{
    _foundTrackIndex = 1;
    _foundOffset = 0;
    _hasHit = false;
    auto document = _movieDocument.lock();
    auto movie = document ? document->movie() : nullptr;
    MVTime current = movie ? movie->currentTime() : MVMakeTime(0, 600);
    _foundTime = current;
    _foundTime.timeValue = 0;
}

void FindTextController::doFindText(bool forward)
{
    auto document = _movieDocument.lock();
    if (!document || !document->movie() || !findTextTextField_)
        return;
    std::string text = findTextTextField_->stringValue();
    if (text.empty())
        return;
    MVTime time
        = findTextTime(text, ignoreCaseCheckBox_->state() == 1, wrapAroundCheckBox_->state() == 1, forward);
    if (!MVTimeIsIndefinite(time))
        document->movie()->setCurrentTime(time);
}

MVTime FindTextController::findTextTime(
    const std::string& text, bool ignoreCase, bool wrapAround, bool searchForward)
{
    auto document = _movieDocument.lock();
    auto movie = document ? document->movie() : nullptr;
    if (!movie)
        return MVIndefiniteTime;
    MVTime start = movie->currentTime();
    // The offset counts in the text of the last hit. Anywhere else (no hit yet, or the movie moved to
    // another text since) the search starts at the beginning of the text shown: a hit there is found
    // going forward, and going backward the search starts before it.
    bool atLastHit = _hasHit && showsTextOfLastHit(*movie, start);
    int32_t offset = !atLastHit ? 0 : searchForward ? _foundOffset + 1 : _foundOffset;
    int flags = 0;
    if (!ignoreCase)
        flags |= kCaseSensitiveFlag;
    if (wrapAround)
        flags |= kWrapAroundFlag;
    if (!searchForward)
        flags |= kReverseFlag;
    auto hit = movie->findText(text, _foundTrackIndex, start, offset, flags);
    if (MVTimeIsIndefinite(hit.time))
        return hit.time;
    // Both ways the hit's time is the start of the text sample that holds it. (The start of the movie's
    // frame there would be that of whatever enabled track has the latest sample start, a sound's for a
    // subtitle track that is not shown, landing short of the text.)
    MVTime time = hit.time;
    _foundTime = time;
    _foundTrackIndex = hit.trackIndex;
    _foundOffset = hit.offset;
    _hasHit = true;
    return time;
}

bool FindTextController::showsTextOfLastHit(const MVMovie& movie, MVTime time) const
{
    auto track = movie.trackAtIndex(_foundTrackIndex);
    if (!track)
        return false;
    int64_t at = MVTimeInScaleFloor(time, movie.timeScale()).timeValue;
    auto sample = track->nextInterestingTime(at, MVNextTimeMediaSample | MVNextTimeEdgeOK, -1.0);
    return sample.time >= 0 && MVTimeEqual(MVMakeTime(sample.time, movie.timeScale()), _foundTime);
}

void FindTextController::showWindow(HXObject*)
{
    if (auto panel = window())
        panel->makeKeyAndOrderFront();
}

void FindTextController::closeWindow(HXObject*)
{
    if (isWindowLoaded())
        window()->close();
}

namespace {

// Whether `notification` comes from `document` (posted as the document or as one of its bases).
bool isFrom(const HXNotification& notification, const std::shared_ptr<MVPMovieDocument>& document)
{
    return document
        && (notification.object() == document.get()
            || notification.object() == static_cast<const HXObject*>(document.get()));
}

} // namespace

void FindTextController::documentSetMovieNotification(const HXNotification& notification)
{
    if (isFrom(notification, _movieDocument.lock()))
        resetFindNextState();
}

void FindTextController::documentWillCloseNotification(const HXNotification& notification)
{
    if (isFrom(notification, _movieDocument.lock()))
        setMovieDocument(nullptr);
}
