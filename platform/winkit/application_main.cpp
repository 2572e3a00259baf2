#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/sdl_window_server.h"

#include <string>
#include <vector>

int HXApplicationMain(int argc, char** argv)
{
    auto app = HXApplication::sharedApplication();
    // A real display when there is one; the headless backend otherwise (the program still serves scripts).
    if (app->windowServer().isHeadless()) {
        if (auto sdl = HXSDLWindowServer::create())
            app->setWindowServer(sdl);
    }
    app->finishLaunching();
    if (auto controller = HXDocumentController::sharedDocumentController())
        controller->autoreopenDocuments(app->launchEventParameters());

    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!arg.empty() && arg[0] != '-')
            files.push_back(arg);
    }
    if (!files.empty()) {
        app->openFiles(files);
    } else {
        auto delegate = app->delegate();
        if (!delegate || delegate->applicationShouldOpenUntitledFile(*app)) {
            bool opened = delegate && delegate->applicationOpenUntitledFile(*app);
            auto controller = HXDocumentController::sharedDocumentController();
            if (!opened && !controller->documentTypes().empty()) {
                HXError error;
                if (!controller->openUntitledDocumentAndDisplay(true, &error))
                    controller->presentError(error);
            }
        }
    }
    app->run();
    return 0;
}
