#include "app/player_program.h"

#include "app/application.h"
#include "app/application_delegate.h"
#include "app/document_controller.h"
#include "app/main_menu.h"
#include "core/preferences.h"
#include "app/request_server.h"
#include "document/composition_document.h"
#include "document/movie_document.h"
#include "export/mail_attachments.h"
#include "export/processing_document.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/signal_watcher.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/control.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"
#include "player/window/player_window_status.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace MVPPlayerProgram {

namespace {

// Movie files by extension; anything else is tried as a movie under "Anything".
const std::vector<std::string> kMovieExtensions = { "mov", "qt", "mp4", "m4v", "m4a", "3gp", "3g2", "mkv",
    "webm", "avi", "mpg", "mpeg", "mp3", "wav", "aif", "aiff", "flac", "ogg" };

// How long a change of the user defaults may wait for the disk (a crash or a kill loses at most this much).
constexpr double kDefaultsAutosaveDelay = 0.5;

// How long the featured movie shows before the screenshot is taken, and how long to wait for a window.
constexpr double kScreenshotSettleTime = 1.5;
constexpr double kScreenshotWindowTimeout = 30;

HXPropertyList okReply()
{
    return HXPropertyList(HXPropertyList::Dictionary {});
}

HXPropertyList errorReply(const std::string& text)
{
    return HXPropertyList(HXPropertyList::Dictionary { { MVPRequestErrorKey, HXPropertyList(text) } });
}

// Takes the screenshot once a window has been on screen for a moment, then quits.
class ScreenshotTaker {
public:
    explicit ScreenshotTaker(std::string path)
        : _path(std::move(path))
    {
    }
    void start()
    {
        _started = HXRunLoop::main().now();
        _timer = HXTimer::scheduledTimer(0.25, true, [this](HXTimer&) { check(); });
    }
    bool succeeded() const { return _succeeded; }

private:
    void check()
    {
        double now = HXRunLoop::main().now();
        auto windows = HXApp().orderedWindows();
        if (windows.empty()) {
            if (now - _started > kScreenshotWindowTimeout)
                finish(nullptr);
            return;
        }
        if (_firstWindowAt == 0)
            _firstWindowAt = now;
        if (now - _firstWindowAt >= kScreenshotSettleTime)
            finish(windows.front());
    }
    void finish(const std::shared_ptr<HXWindow>& window)
    {
        _timer->invalidate();
        if (window && window->writeRenderedPNG(_path)) {
            _succeeded = true;
            std::cout << "Screenshot saved to " << _path << std::endl;
        } else {
            std::cerr << "movara-player: no window showed up; no screenshot saved" << std::endl;
        }
        HXApp().terminate();
    }

    std::string _path;
    std::shared_ptr<HXTimer> _timer;
    double _started = 0;
    double _firstWindowAt = 0;
    bool _succeeded = false;
};

// A logout, Control-C or a closed terminal: the same quit as the Quit command, on the main run loop. The
// user defaults are written first, so they are on disk whatever the quit then waits for. Without a display
// nobody can answer what the quit asks (edited documents, running jobs): its alerts take their default
// answers while it runs; a quit that is refused all the same leaves the program running.
void quitOnSignal(int number)
{
    HXLog(std::string("Quitting on signal ") + strsignal(number) + ".");
    HXUserDefaults::standardUserDefaults().synchronize();
    auto& app = HXApp();
    if (app.isTerminating() || app.didTerminate())
        return;
    std::unique_ptr<HXUnattendedAlerts> unattended;
    if (app.windowServer().isHeadless())
        unattended
            = std::make_unique<HXUnattendedAlerts>([](const std::string& message, const std::string& answer) {
                  HXLog("Nobody can answer \u201c" + message + "\u201d without a display; answered \u201c"
                      + answer + "\u201d.");
              });
    // An alert shown before the signal came would hold the quit up: it takes its default answer too.
    if (unattended)
        if (auto alert = HXAlert::currentAlert())
            alert->answerWithDefault();
    app.terminate();
    if (!unattended || !app.isTerminating())
        return;
    // The quit goes on over later turns (a document saving, a job stopping): alerts stay unattended until it
    // ends one way or the other.
    auto holder = std::make_shared<std::unique_ptr<HXUnattendedAlerts>>(std::move(unattended));
    HXTimer::scheduledTimer(0.1, true,
        [holder](HXTimer& timer) {
            if (HXApp().isTerminating())
                return;
            holder->reset();
            timer.invalidate();
        },
        { HXRunLoopCommonModes });
}

bool looksLikeURL(const std::string& item)
{
    auto colon = item.find("://");
    return colon != std::string::npos && colon > 0;
}

} // namespace

Options parseArguments(const std::vector<std::string>& arguments)
{
    Options options;
    options.applicationArguments.push_back(arguments.empty() ? "movara-player" : arguments.front());
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "--screenshot") {
            if (i + 1 >= arguments.size()) {
                options.error = "--screenshot needs a file name";
                return options;
            }
            options.screenshotPath = arguments[++i];
        } else if (arg.rfind("--screenshot=", 0) == 0) {
            options.screenshotPath = arg.substr(13);
        } else if (arg == "--no-featured-movie" || arg == "--featured-movie=no") {
            options.featuredMovie = false;
        } else if (arg == "--featured-movie" || arg == "--featured-movie=yes") {
            options.featuredMovie = true;
        } else if (!arg.empty() && arg[0] == '-') {
            options.error = "unknown option " + arg;
            return options;
        } else {
            options.items.push_back(arg);
            options.applicationArguments.push_back(arg);
        }
    }
    return options;
}

void registerDocumentTypes(HXDocumentController& controller)
{
    auto factory = [] { return std::shared_ptr<HXDocument>(MVPMovieDocument::document(nullptr)); };
    controller.registerDocumentType({ "Movie", kMovieExtensions, "Editor", factory });
    controller.registerDocumentType({ MVPAnythingDocumentType, {}, "Viewer", factory });
    controller.registerDocumentType({ MVPVitrelCompositionDocumentType, { MVPVitrelCompositionExtension }, "Viewer",
        [] { return std::shared_ptr<HXDocument>(std::make_shared<MVPVitrelCompDocument>()); } });
}

HXPropertyList documentList()
{
    HXPropertyList::Array list;
    for (auto& doc : HXDocumentController::sharedDocumentController()->documents()) {
        HXPropertyList::Dictionary entry;
        entry["displayName"] = HXPropertyList(doc->displayName());
        entry["fileName"] = HXPropertyList(doc->fileName());
        entry["edited"] = HXPropertyList(doc->isDocumentEdited());
        if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc)) {
            entry["kind"] = HXPropertyList(std::string("movie"));
            entry["reelspot"] = HXPropertyList(movieDoc->isReelspot());
            if (auto movie = movieDoc->movie()) {
                entry["movieFileName"] = HXPropertyList(movie->fileName());
                if (auto url = movie->URL())
                    entry["movieURL"] = HXPropertyList(url->absoluteString());
                entry["muted"] = HXPropertyList(movie->isMuted());
            }
            entry["playerWindow"] = HXPropertyList(MVPPlayerWindowStatus(*movieDoc));
        } else if (std::dynamic_pointer_cast<ProcessingDocument>(doc)) {
            entry["kind"] = HXPropertyList(std::string("processing"));
            entry["jobCount"]
                = HXPropertyList(int64_t(std::static_pointer_cast<ProcessingDocument>(doc)->jobCount()));
        } else {
            entry["kind"] = HXPropertyList(std::string("other"));
        }
        list.push_back(HXPropertyList(std::move(entry)));
    }
    return HXPropertyList(HXPropertyList::Dictionary { { "documents", HXPropertyList(std::move(list)) } });
}

void installRequestHandlers(MVPRequestServer& server, const std::shared_ptr<MVPApplicationDelegate>& delegate)
{
    std::weak_ptr<MVPApplicationDelegate> weak = delegate;
    server.setHandler("open", [weak](const HXPropertyList& request) {
        auto d = weak.lock();
        if (!d)
            return errorReply("The player is quitting.");
        std::vector<std::string> items;
        for (auto& item : request["items"].arrayValue()) {
            if (!item.isString() || item.stringValue().empty())
                return errorReply("Items to open are non-empty texts.");
            items.push_back(item.stringValue());
        }
        bool newPlayer = request.contains("newPlayer")
            ? request["newPlayer"].boolValue()
            : MVPPreferences::preferences().preference(kGeneralPreferenceOpenMoviesInNewPlayers).boolValue();
        // Opening may run an alert; the reply goes out first, the opening follows on the next turn of the
        // main loop (not inside an alert or sheet the user is answering).
        HXRunLoop::main().perform(
            [weak, items, newPlayer] {
                if (auto d = weak.lock()) {
                    HXApp().activateIgnoringOtherApps(true);
                    d->openItems(items, newPlayer);
                }
            },
            0, { HXDefaultRunLoopMode });
        return okReply();
    });
    server.setHandler("documents", [](const HXPropertyList&) { return documentList(); });
    server.setHandler("answerAlert", [](const HXPropertyList& request) {
        auto alert = HXAlert::currentAlert();
        if (!alert)
            return errorReply("No alert is shown.");
        std::string title = request["button"].stringValue();
        for (auto& button : alert->buttons()) {
            if (button->title() == title) {
                HXRunLoop::main().perform([button] { button->performClick(); });
                HXPropertyList::Dictionary reply { { "message", HXPropertyList(alert->messageText()) } };
                return HXPropertyList(std::move(reply));
            }
        }
        std::string titles;
        for (auto& button : alert->buttons())
            titles += (titles.empty() ? "\u201c" : ", \u201c") + button->title() + "\u201d";
        return errorReply("The alert \u201c" + alert->messageText() + "\u201d has no button \u201c" + title
            + "\u201d (its buttons: " + titles + ").");
    });
    // A menu command by its action ("undo:", "redo:" ...), sent along the responder chain as the menu
    // item would send it.
    server.setHandler("performAction", [](const HXPropertyList& request) {
        std::string action = request["action"].stringValue();
        if (action.empty() || action.back() != ':')
            return errorReply("No action is named.");
        if (!HXApp().sendAction(HXSelector(action), nullptr, nullptr))
            return errorReply("Nothing takes \u201c" + action + "\u201d now.");
        return okReply();
    });
    server.setHandler("quit", [](const HXPropertyList&) {
        HXRunLoop::main().perform([] { HXApp().terminate(); }, 0, { HXDefaultRunLoopMode });
        return okReply();
    });
}

int run(int argc, char** argv)
{
    auto options = parseArguments(std::vector<std::string>(argv, argv + argc));
    if (!options.error.empty()) {
        std::cerr << "movara-player: " << options.error
                  << "\nusage: movara-player [--screenshot FILE] [--featured-movie=yes|no] [FILE|URL]..."
                  << std::endl;
        return 2;
    }

    // A player already running takes the files and URLs; this start ends there.
    if (options.screenshotPath.empty()) {
        HXPropertyList::Array items;
        for (auto& item : options.items) {
            std::error_code ec;
            auto absolute = looksLikeURL(item) ? item : std::filesystem::absolute(item, ec).string();
            items.push_back(HXPropertyList(absolute));
        }
        HXPropertyList request(
            HXPropertyList::Dictionary { { MVPRequestCommandKey, HXPropertyList(std::string("open")) },
                { "items", HXPropertyList(items) } });
        HXError error;
        if (auto reply = MVPRequestServer::sendRequest(request, 10, &error)) {
            if (reply->contains(MVPRequestErrorKey)) {
                std::cerr << "movara-player: " << (*reply)[MVPRequestErrorKey].stringValue() << std::endl;
                return 1;
            }
            return 0;
        }
        // Nothing is handed to a socket we cannot trust, and a player of our own could not listen there
        // either.
        if (error.code() == MVPRequestRefusedError) {
            std::cerr << "movara-player: " << error.localizedDescription() << std::endl;
            return 1;
        }
    }

    // Mail attachments are removed when their job goes or the player quits; a player that crashed left
    // its own behind, and the mail program has long had them by now.
    MVPMailAttachments::removeOld();

    auto app = std::make_shared<MVPApplication>();
    HXApplication::setSharedApplication(app);
    HXUserDefaults::standardUserDefaults().setAutosaveDelay(kDefaultsAutosaveDelay);
    HXSignalWatcher::start({ SIGTERM, SIGINT, SIGHUP }, quitOnSignal);
    auto delegate = std::make_shared<MVPApplicationDelegate>();
    app->setDelegateOwned(delegate);
    if (options.featuredMovie)
        app->setLaunchEventParameters({ { MVPLaunchEventFeaturedMovieKey, HXPropertyList(*options.featuredMovie) } });
    HXDocumentController::setSharedDocumentController(std::make_shared<MVPMovieDocumentController>());
    app->setMainMenu(MVPMainMenu::build());
    registerDocumentTypes(*HXDocumentController::sharedDocumentController());

    // A screenshot run is a one-off: it leaves the socket to a player the user may be running.
    auto& server = MVPRequestServer::sharedServer();
    if (options.screenshotPath.empty()) {
        HXError error;
        if (server.start(&error))
            installRequestHandlers(server, delegate);
        else
            std::cerr << "movara-player: other programs cannot reach this player: "
                      << error.localizedDescription() << std::endl;
    }

    std::unique_ptr<ScreenshotTaker> screenshot;
    if (!options.screenshotPath.empty()) {
        screenshot = std::make_unique<ScreenshotTaker>(options.screenshotPath);
        screenshot->start();
    }

    std::vector<char*> appArgv;
    for (auto& a : options.applicationArguments)
        appArgv.push_back(const_cast<char*>(a.c_str()));
    appArgv.push_back(nullptr);
    int status = 1;
    try {
        status = HXApplicationMain(int(appArgv.size() - 1), appArgv.data());
    } catch (const std::exception& exception) {
        // Nothing on the way caught it: the user learns why the program ends.
        MVPUncaughtExceptionHandler(exception);
    }

    HXSignalWatcher::stop();
    server.stop();
    if (screenshot && !screenshot->succeeded())
        status = 1;
    return status;
}

} // namespace MVPPlayerProgram
