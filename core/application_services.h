#pragma once
// What the layers below the application shell ask of the application delegate: opening a movie in a player
// (a link followed in a movie, a data reference a pane opens) and whether the professional applications
// are installed. The delegate (MVPApplicationDelegate, app/) implements it; the layers below reach it
// through the shared application's delegate, so that they need nothing of the shell.
#include "platform/basekit/url.h"
#include "platform/mvkit/data_reference.h"

#include <memory>

class MVPApplicationServices {
public:
    virtual ~MVPApplicationServices() = default;

    virtual bool createMovieDocumentWithURL(const HXURL& url, bool openInNewPlayer) = 0;
    virtual bool createMovieDocumentWithURL(const HXURL& url, bool openInNewPlayer, bool isReelspot) = 0;
    virtual bool createMovieDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer) = 0;
    virtual bool proAppsAreInstalled() = 0;

    // The shared application's delegate when it offers these services; null without an application or
    // with a delegate of another kind (as in most tests).
    static std::shared_ptr<MVPApplicationServices> shared();
};
