#pragma once
// The document's Share command: the share sheet on the player window and, when the user confirms, the
// current pane's parameters queued as a job with the movie and its name (or the pane's error shown).
#include "platform/basekit/property_list.h"

#include <functional>
#include <memory>
#include <string>

class HXWindow;
class MVMovie;
class PublishWindow;

class MVPPublishSupport {
public:
    // `share:`. `fileName` is the document's file ("" when it has none).
    static std::shared_ptr<PublishWindow> share(const std::shared_ptr<MVMovie>& movie,
        const std::string& fileName, const std::shared_ptr<HXWindow>& window);
    // The end of the sheet: with 1, the job for the pane's parameters is queued, or the pane's error shown.
    static void shareSheetDidEnd(PublishWindow& sheet, long returnCode, const std::shared_ptr<MVMovie>& movie,
        const std::string& fileName, const std::shared_ptr<HXWindow>& window);
    // The job: the movie's format representation, the source name, then every pane parameter (a pane's
    // entry wins). Nullopt when the pane answered an error.
    static std::optional<HXPropertyList::Dictionary> jobForParameters(
        const HXPropertyList::Dictionary& parameters, const MVMovie& movie, const std::string& fileName);
    // Registers the interfaces of the sheet's panes (once).
    static void registerPanes();
};
