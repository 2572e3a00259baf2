#pragma once
// The player window's tests: a headless application on a manual clock with one 1440×900 screen, the
// shared document controller, and movie documents made from small in-memory movies.
#include "document/movie_document.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller.h"
#include "timeline_test_movies.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace movara::test {

// A picture-only movie of `frames` frames at 30 per second, `width` × `height`.
inline std::shared_ptr<MVMovie> windowTestMovie(double width = 160, double height = 120, int frames = 30)
{
    auto movie = MVMovie::movie();
    movie->setTimeScale(600);
    auto track = movie->newTrack(MVFourCC("vide"), 600, width, height);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample(MVBytes(size_t(frames), 0), 20, frames, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, int64_t(frames) * 20);
    return movie;
}

class PlayerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install();
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        MVPWindowController::resetCascade();
    }

    void TearDown() override
    {
        for (auto& doc : std::vector(documents))
            doc->close();
        documents.clear();
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    // A document with its standard player window, shown.
    std::shared_ptr<MVPMovieDocument> openDocument(std::shared_ptr<MVMovie> movie)
    {
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        documents.push_back(doc);
        return doc;
    }

    static std::shared_ptr<MVPMovieWindowController> controllerOf(const std::shared_ptr<MVPMovieDocument>& doc)
    {
        return std::dynamic_pointer_cast<MVPMovieWindowController>(doc->playerWindowController());
    }

    static HXSize contentSize(const std::shared_ptr<HXWindow>& window)
    {
        return window->contentRectForFrameRect(window->frame()).size;
    }

    std::shared_ptr<HXManualClock> clock;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::vector<std::shared_ptr<MVPMovieDocument>> documents;
};

} // namespace movara::test
