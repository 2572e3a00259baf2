#pragma once
// ViewController: a share pane — an object that owns one view (made by its interface) and, given a
// movie, builds the parameters of the job that shares it. A pane that cannot build them answers
// {"ErrorTitle", "ErrorMessage"} instead.
//
// Panes tell the share sheet whether Share may be pressed by posting
// "ShareButtonEnableStateNotification" with themselves as object and {"enabled": bool}.
#include "platform/basekit/property_list.h"
#include "platform/winkit/responder.h"

#include <memory>

class HXView;
class HXWindowController;
class MVMovie;

inline constexpr const char* ShareButtonEnableStateNotification = "ShareButtonEnableStateNotification";

class ViewController : public HXResponder {
public:
    std::shared_ptr<HXView> view() const { return _view; }
    void setView(std::shared_ptr<HXView> view) { _view = std::move(view); }
    HXWindowController* parent() const { return _parent; }
    void setParent(HXWindowController* parent) { _parent = parent; }

    virtual void setMVMovie(const std::shared_ptr<MVMovie>& movie) = 0;
    virtual HXPropertyList::Dictionary parameters() = 0;
    // After the interface made the pane and its views.
    virtual void awakeFromInterface() { }

protected:
    // Tells the sheet whether Share may be pressed.
    void postSharingEnabled(bool enabled);

private:
    HXWindowController* _parent = nullptr; // the sheet, which owns the pane
    std::shared_ptr<HXView> _view;
};
