#include "document/document_windows.h"

#include "platform/winkit/window_controller.h"

#include <map>

namespace {

std::map<MVPPlayerWindowKind, MVPDocumentPlayerWindow::Maker>& playerWindowMakers()
{
    static std::map<MVPPlayerWindowKind, MVPDocumentPlayerWindow::Maker> makers;
    return makers;
}

MVPDocumentPresentation::Maker& presentationMaker()
{
    static MVPDocumentPresentation::Maker maker;
    return maker;
}

std::function<bool()>& screensAvailableCheck()
{
    static std::function<bool()> check;
    return check;
}

MVPDocumentPresentationSettingsSheet::Maker& settingsSheetMaker()
{
    static MVPDocumentPresentationSettingsSheet::Maker maker;
    return maker;
}

MVPDocumentPropertiesWindow::Maker& propertiesWindowMaker()
{
    static MVPDocumentPropertiesWindow::Maker maker;
    return maker;
}

} // namespace

void MVPDocumentPlayerWindow::setMaker(MVPPlayerWindowKind kind, Maker maker)
{
    playerWindowMakers()[kind] = std::move(maker);
}

std::shared_ptr<HXWindowController> MVPDocumentPlayerWindow::make(MVPPlayerWindowKind kind)
{
    const auto& makers = playerWindowMakers();
    for (auto candidate : { kind, MVPPlayerWindowKind::Standard }) {
        auto found = makers.find(candidate);
        if (found != makers.end() && found->second)
            return found->second();
    }
    return nullptr;
}

void MVPDocumentPresentation::setMaker(Maker maker)
{
    presentationMaker() = std::move(maker);
}

std::shared_ptr<HXWindowController> MVPDocumentPresentation::make()
{
    const auto& maker = presentationMaker();
    return maker ? maker() : nullptr;
}

void MVPDocumentPresentation::setScreensAvailableCheck(std::function<bool()> check)
{
    screensAvailableCheck() = std::move(check);
}

bool MVPDocumentPresentation::screensAvailable()
{
    const auto& check = screensAvailableCheck();
    return check && check();
}

void MVPDocumentPresentationSettingsSheet::setMaker(Maker maker)
{
    settingsSheetMaker() = std::move(maker);
}

std::shared_ptr<HXWindowController> MVPDocumentPresentationSettingsSheet::make()
{
    const auto& maker = settingsSheetMaker();
    return maker ? maker() : nullptr;
}

void MVPDocumentPropertiesWindow::setMaker(Maker maker)
{
    propertiesWindowMaker() = std::move(maker);
}

std::shared_ptr<HXWindowController> MVPDocumentPropertiesWindow::windowForMovie(const std::shared_ptr<MVMovie>& movie)
{
    const auto& maker = propertiesWindowMaker();
    return maker && movie ? maker(movie) : nullptr;
}
