#pragma once
// MVPPlayerPaneHost: what the player does for its panes (see MVPPaneHost): the full-screen settings of a
// movie's document, opening data references, and the properties window's column values.
#include "inspectors/pane_interface.h"

class MVPMovieDocument;

class MVPPlayerPaneHost : public MVPPaneHost {
public:
    // The one host of the process, handed to every pane class it loads.
    static MVPPlayerPaneHost& shared();

    std::optional<HXPropertyList> persistentFullscreenSettingForKey(
        const std::shared_ptr<MVMovie>& movie, const std::string& key) override;
    bool setPersistentFullscreenSetting(
        const std::shared_ptr<MVMovie>& movie, const HXPropertyList& value, const std::string& key) override;
    bool createMovieDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer) override;
    HXPropertyList valueForKey(const MVPInspectedObject& object, const std::string& key) override;

    // The open movie document whose movie is `movie`, or null.
    static std::shared_ptr<MVPMovieDocument> documentForMovie(const std::shared_ptr<MVMovie>& movie);
};
