#include "document/document_info_panel.h"

namespace {

MVPDocumentInfoPanel::Maker& installedMaker()
{
    static MVPDocumentInfoPanel::Maker maker;
    return maker;
}

} // namespace

void MVPDocumentInfoPanel::setMaker(Maker maker)
{
    installedMaker() = std::move(maker);
}

std::shared_ptr<MVPDocumentInfoPanel> MVPDocumentInfoPanel::panelForDocument(
    const std::shared_ptr<HXDocument>& document)
{
    const auto& maker = installedMaker();
    return maker && document ? maker(document) : nullptr;
}
