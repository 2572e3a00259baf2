#include "inspectors/pane_host.h"

#include "core/application_services.h"
#include "document/movie_document.h"
#include "inspectors/property_column_values.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"

MVPPlayerPaneHost& MVPPlayerPaneHost::shared()
{
    static auto* host = new MVPPlayerPaneHost();
    return *host;
}

std::shared_ptr<MVPMovieDocument> MVPPlayerPaneHost::documentForMovie(const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return nullptr;
    for (const auto& document : HXDocumentController::sharedDocumentController()->documents())
        if (auto movieDocument = std::dynamic_pointer_cast<MVPMovieDocument>(document))
            if (movieDocument->movie() == movie)
                return movieDocument;
    return nullptr;
}

std::optional<HXPropertyList> MVPPlayerPaneHost::persistentFullscreenSettingForKey(
    const std::shared_ptr<MVMovie>& movie, const std::string& key)
{
    auto document = documentForMovie(movie);
    if (!document)
        return std::nullopt;
    HXPropertyList value = document->persistentFullscreenSettingForKey(key);
    if (value.isNull())
        return std::nullopt;
    return value;
}

bool MVPPlayerPaneHost::setPersistentFullscreenSetting(
    const std::shared_ptr<MVMovie>& movie, const HXPropertyList& value, const std::string& key)
{
    auto document = documentForMovie(movie);
    if (!document)
        return false;
    document->setPersistentFullscreenSetting(value, key);
    return true;
}

bool MVPPlayerPaneHost::createMovieDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer)
{
    auto services = MVPApplicationServices::shared();
    return services && services->createMovieDocumentWithDataRef(dataRef, openInNewPlayer);
}

HXPropertyList MVPPlayerPaneHost::valueForKey(const MVPInspectedObject& object, const std::string& key)
{
    return MVPPropertyValueForKey(object, key);
}
