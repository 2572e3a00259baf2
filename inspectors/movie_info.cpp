#include "inspectors/movie_info.h"

#include "fullscreen/presentation_manager.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"

std::shared_ptr<MovieInfo> MovieInfo::movieInfoForDocument(const std::shared_ptr<HXDocument>& document)
{
    auto info = std::shared_ptr<MovieInfo>(new MovieInfo);
    info->_document = document;
    return info;
}

std::shared_ptr<MovieInfo> MovieInfo::movieInspector()
{
    // Kept for the whole process (never torn down after the window server is gone).
    static auto* inspector = new std::shared_ptr<MovieInfo>([] {
        auto info = std::shared_ptr<MovieInfo>(new MovieInfo);
        info->_isInspector = true;
        return info;
    }());
    return *inspector;
}

MovieInfo::~MovieInfo()
{
    if (_panel)
        _panel->orderOut();
}

void MovieInfo::makePanel()
{
    _panel = std::make_shared<HXPanel>(
        HXRect { { 0, 0 }, { 300, 320 } }, HXTitledWindowMask | HXClosableWindowMask | HXUtilityWindowMask);
    _panel->setFloatingPanel(true);
}

void MovieInfo::showHidePanel()
{
    if (!_panel)
        makePanel();
    if (_panel->isVisible()) {
        if (_isInspector)
            _panel->orderOut();
        else
            _panel->orderFront();
        return;
    }
    if (_isInspector && HXDocumentController::hasSharedDocumentController()) {
        auto controller = HXDocumentController::sharedDocumentController();
        auto current = controller->currentDocument();
        if (!current && !controller->documents().empty())
            current = controller->documents().front();
        _document = current;
    }
    auto doc = document();
    _panel->setTitle(doc ? doc->displayName() : std::string());
    _panel->orderFront();
}

void MovieInfo::hidePanel()
{
    if (_panel)
        _panel->orderOut();
}

bool MovieInfo::isVisible() const
{
    return _panel && _panel->isVisible();
}

bool MovieInfo::shouldMenuItemBeValid() const
{
    return _isInspector || !FSPresentationManager::fsPresentationManager().isPresenting();
}
