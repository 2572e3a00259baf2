#include "inspectors/property_inspector_browser.h"

#include "platform/mvkit/movie.h"
#include "platform/winkit/document.h"

std::shared_ptr<MVPPropertyInspectorBrowser> MVPPropertyInspectorBrowser::browserForMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    auto browser = std::make_shared<MVPPropertyInspectorBrowser>();
    browser->_movie = movie;
    // The properties window never closes its document.
    browser->setShouldCloseDocument(false);
    browser->loadWindow();
    return browser;
}

void MVPPropertyInspectorBrowser::loadWindow()
{
    auto window = std::make_shared<HXWindow>(
        HXRect { { 0, 0 }, { 420, 360 } }, HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask);
    window->setReleasedWhenClosed(false);
    setWindow(window);
    synchronizeWindowTitleWithDocumentName();
}

void MVPPropertyInspectorBrowser::synchronizeWindowTitleWithDocumentName()
{
    if (!isWindowLoaded())
        return;
    auto doc = document();
    std::string name = doc ? doc->displayName() : (movie() ? movie()->displayName() : std::string());
    window()->setTitle(name);
}
