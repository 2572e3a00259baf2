#pragma once
// The player program from its command line to its exit: a second start hands its files and URLs to the
// player already running; the first start sets up the application, its delegate, the document types and
// the request socket, and runs the main loop.
//
// Options (everything else names files or URLs to open):
//   --screenshot FILE   once the first window has shown its movie for a moment, saves the front window as a
//                       PNG file and quits (the exit status says whether the file was written).
#include "platform/basekit/property_list.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXDocumentController;
class MVPApplicationDelegate;
class MVPRequestServer;

namespace MVPPlayerProgram {

struct Options {
    std::string screenshotPath;
    // What names something to open, in order.
    std::vector<std::string> items;
    // The arguments the application main loop is given (the program name and the items).
    std::vector<std::string> applicationArguments;
    // --featured-movie=yes|no, --no-featured-movie: the launch request's featured-movie flag.
    std::optional<bool> featuredMovie;
    std::string error; // a malformed command line
};
Options parseArguments(const std::vector<std::string>& arguments);

// The document types the player opens (movie files by extension, and "Anything").
void registerDocumentTypes(HXDocumentController& controller);

// The requests the running player answers: "open" ({"items": [paths or URLs], optional "newPlayer"}),
// "documents" (the open documents), "answerAlert" ({"button": title}) and "quit".
void installRequestHandlers(
    MVPRequestServer& server, const std::shared_ptr<MVPApplicationDelegate>& delegate);
// The reply of "documents": one dictionary per open document, in the document controller's order.
HXPropertyList documentList();

// Runs the program; the exit status.
int run(int argc, char** argv);

} // namespace MVPPlayerProgram
