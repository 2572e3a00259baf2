// Printing a movie document: Page Setup edits the document's print info; Print puts the frame its window
// shows on a page and sends it to the printer chosen in the print panel.
#include "document/movie_document.h"

#include "platform/mvkit/movie_view.h"
#include "platform/winkit/print_operation.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

namespace {

// The movie view of a window: the first one found going down its views.
std::shared_ptr<MVMovieView> movieViewIn(const std::shared_ptr<HXView>& view)
{
    if (!view)
        return nullptr;
    if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(view))
        return movieView;
    for (const auto& sub : view->subviews())
        if (auto found = movieViewIn(sub))
            return found;
    return nullptr;
}

} // namespace

void MVPMovieDocument::registerPrintingActions()
{
    setActionHandler("runPageLayout:", [this](HXObject* sender) { runPageLayout(sender); });
    setActionHandler("printDocument:", [this](HXObject* sender) { printDocument(sender); });
}

void MVPMovieDocument::printShowingPrintPanel(bool showPanels)
{
    auto controller = currentWindowController();
    auto window = controller ? controller->window() : nullptr;
    auto view = window ? movieViewIn(window->contentView()) : nullptr;
    if (!view)
        return;
    auto operation = HXPrintOperation::printOperationWithView(view, printInfo());
    operation->setShowsPrintPanel(showPanels);
    operation->setJobTitle(displayName());
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    operation->runOperationModalForWindow(window, [weak, operation](bool printed) {
        auto document = weak.lock();
        if (!document)
            return;
        // The choices of the print panel stay with the document for its next print.
        document->setPrintInfo(operation->printInfo());
        if (!printed && !operation->error().domain().empty())
            document->presentError(operation->error());
    });
}
