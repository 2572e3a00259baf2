#pragma once
// MVPPropertyInspectorBrowser: the properties window of one movie. Its document adds it as a window
// controller and shows it.
#include "platform/winkit/window_controller.h"

#include <memory>

class MVMovie;

class MVPPropertyInspectorBrowser : public HXWindowController {
public:
    static std::shared_ptr<MVPPropertyInspectorBrowser> browserForMovie(
        const std::shared_ptr<MVMovie>& movie);

    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }
    void loadWindow() override;
    void synchronizeWindowTitleWithDocumentName() override;

private:
    std::weak_ptr<MVMovie> _movie;
};
