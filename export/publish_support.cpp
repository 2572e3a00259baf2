#include "export/publish_support.h"

#include "export/document_export.h"
#include "export/publish_window.h"
#include "export/share_mail_controller.h"
#include "export/share_quillon_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/window.h"

void MVPPublishSupport::registerPanes()
{
    if (!HXInterfaceLoader::hasInterface("ShareMail"))
        ShareMailController::registerInterface();
    if (!HXInterfaceLoader::hasInterface("ShareCastworks"))
        ShareQuillonController::registerInterface();
}

std::optional<HXPropertyList::Dictionary> MVPPublishSupport::jobForParameters(
    const HXPropertyList::Dictionary& parameters, const MVMovie& movie, const std::string& fileName)
{
    if (parameters.count("ErrorTitle"))
        return std::nullopt;
    HXPropertyList::Dictionary job = {
        { "MVExpMovieIn", HXData(movie.movieFormatRepresentation()) },
        { "MVExpSourceName",
            fileName.empty()
                ? HXBundle::mainBundle()->localizedStringForKey("mvpShareDefaultName", "My Movie", "Export")
                : HXString::stringByDeletingPathExtension(HXString::lastPathComponent(fileName)) },
    };
    for (const auto& [key, value] : parameters)
        job[key] = value;
    return job;
}

std::shared_ptr<PublishWindow> MVPPublishSupport::share(const std::shared_ptr<MVMovie>& movie,
    const std::string& fileName, const std::shared_ptr<HXWindow>& window)
{
    registerPanes();
    auto sheet = std::make_shared<PublishWindow>();
    sheet->setMVMovie(movie);
    // The sheet keeps itself alive until it ends.
    auto keep = std::make_shared<std::shared_ptr<PublishWindow>>(sheet);
    sheet->modalForWindow(
        window, [keep, movie, fileName, window](const std::shared_ptr<HXWindow>& s, long code) {
            auto self = std::move(*keep);
            if (s)
                s->orderOut();
            if (self)
                shareSheetDidEnd(*self, code, movie, fileName, window);
        });
    return sheet;
}

void MVPPublishSupport::shareSheetDidEnd(PublishWindow& sheet, long returnCode,
    const std::shared_ptr<MVMovie>& movie, const std::string& fileName,
    const std::shared_ptr<HXWindow>& window)
{
    if (returnCode != 1 || !movie)
        return;
    auto parameters = sheet.parameters();
    auto job = jobForParameters(parameters, *movie, fileName);
    if (!job) {
        auto alert = HXAlert::alertWithMessageText(HXPropertyList(parameters)["ErrorTitle"].stringValue(),
            HXBundle::mainBundle()->localizedStringForKey("mvpOK", "OK", "Export"), {}, {},
            HXPropertyList(parameters)["ErrorMessage"].stringValue());
        if (window)
            alert->beginSheetModalForWindow(window, [](long) {});
        else
            alert->runModal();
        return;
    }
    MVPDocumentExport::queueJob(*job);
}
