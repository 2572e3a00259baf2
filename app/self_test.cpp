#include "app/self_test.h"

#include "app/application_delegate.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>

namespace MVPSelfTest {

namespace {

namespace fs = std::filesystem;

LogFunction& logSlot()
{
    static LogFunction function
        = [](int, const std::string& line) { std::cerr << "MVPSelfTest: " << line << std::endl; };
    return function;
}

double wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void runLoopFor(double seconds)
{
    HXRunLoop::main().runUntilDate(HXRunLoop::main().now() + seconds);
}

std::vector<std::string> filesIn(
    const std::vector<std::string>& folders, const std::vector<std::string>& extensions)
{
    std::vector<std::string> found;
    for (const auto& folder : folders) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            std::string extension = it->path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
            if (it->is_regular_file(ec)
                && std::find(extensions.begin(), extensions.end(), extension) != extensions.end())
                found.push_back(it->path().string());
        }
    }
    std::sort(found.begin(), found.end());
    if (found.size() > 10)
        found.resize(10);
    return found;
}

std::shared_ptr<MVPMovieDocument> documentForFile(const std::string& path)
{
    for (auto& document : HXDocumentController::sharedDocumentController()->documents())
        if (document->fileName() == path)
            return std::dynamic_pointer_cast<MVPMovieDocument>(document);
    return nullptr;
}

bool hasDocuments()
{
    return !HXDocumentController::sharedDocumentController()->documents().empty();
}

// One turn through a list of ten files: the next file, and whether the turn came back to the first.
struct Turn {
    int index = -1;
    bool advance(size_t count)
    {
        int size = int(std::max<size_t>(count, 1));
        bool wrapped = index == size - 1 && index >= 0;
        index = (index + 1) % size;
        return wrapped && size > 1;
    }
};

class Run {
public:
    Run(MVPApplicationDelegate& delegate, const LogFunction& log, const Files& files)
        : _delegate(delegate)
        , _log(log)
        , _files(files)
    {
    }

    // False when the test number is unknown.
    bool step(int test)
    {
        ++_iteration;
        switch (test) {
        case 1:
            movie();
            break;
        case 2:
            picture();
            break;
        case 3:
            sound();
            break;
        default:
            _log(0, "ERROR: unknown test " + std::to_string(test) + "; aborting");
            return false;
        }
        runLoopFor(1.0);
        return true;
    }

private:
    void running(int test, const char* what, const std::string& path)
    {
        _log(0,
            "Iteration:" + std::to_string(_iteration) + " Message: Running test " + std::to_string(test)
                + " [" + what + " " + path + "]");
    }
    std::shared_ptr<MVPMovieDocument> open(const std::string& path)
    {
        // The route without an alert: a file that does not open is logged, and the run goes on.
        _delegate.createMovieDocumentWithFile(path, true);
        auto document = documentForFile(path);
        if (!document)
            _log(0, "ERROR: Failed to open file [" + path + "]");
        return document;
    }
    void closeAllAtWrap(bool wrapped)
    {
        if (wrapped && hasDocuments()) {
            _log(0, "Iteration:" + std::to_string(_iteration) + " Message: Closing all open movies");
            _delegate.closeAll(nullptr);
        }
    }
    void movie()
    {
        // Opened once; later passes let it play on.
        if (_movieOpened)
            return;
        _movieOpened = true;
        running(1, "Open and loop movie file", _files.introductionMovie);
        if (auto document = open(_files.introductionMovie); document && document->movie()) {
            document->movie()->setLoopingMode(MVMovieLoopingMode::Loop);
            document->movie()->setRate(1.0f);
            document->setCloseWhenDone(true);
        }
    }
    void picture()
    {
        closeAllAtWrap(_pictures.advance(_files.pictures.size()));
        std::string path = _files.pictures.empty() ? std::string() : _files.pictures[size_t(_pictures.index)];
        running(2, "Open image file", path);
        auto document = open(path);
        runLoopFor(1.0);
        if (document)
            document->close();
    }
    void sound()
    {
        closeAllAtWrap(_sounds.advance(_files.sounds.size()));
        std::string path = _files.sounds.empty() ? std::string() : _files.sounds[size_t(_sounds.index)];
        running(3, "Open audio file", path);
        if (auto document = open(path); document && document->movie()) {
            document->movie()->setRate(1.0f);
            document->setCloseWhenDone(true);
        }
    }

    MVPApplicationDelegate& _delegate;
    const LogFunction& _log;
    const Files& _files;
    int _iteration = 0;
    bool _movieOpened = false;
    Turn _pictures, _sounds;
};

} // namespace

LogFunction testLogFunction()
{
    return logSlot();
}

void setTestLogFunction(LogFunction function)
{
    logSlot() = std::move(function);
}

Files systemFiles()
{
    Files files;
    files.introductionMovie = HXBundle::mainBundle()->pathForResource("tvbutton", "mov");
    files.pictures = filesIn({ "/usr/share/backgrounds", "/usr/share/wallpapers", "/usr/share/pixmaps" },
        { ".png", ".jpg", ".jpeg" });
    files.sounds = filesIn({ "/usr/share/sounds" }, { ".wav", ".oga", ".ogg", ".aiff", ".flac" });
    return files;
}

void runTest(MVPApplicationDelegate& delegate, int test, double duration, const Files& files)
{
    LogFunction log = testLogFunction();
    if (!log) {
        std::cerr << "Error: unable to get HFLogTest function pointer; aborting" << std::endl;
        return;
    }
    std::srand(unsigned(std::time(nullptr)));
    double started = wallSeconds();
    Run run(delegate, log, files);
    // Mixed with no duration runs each test once, in order.
    const bool sequential = test == 0 && duration == 0;
    int next = 1;
    do {
        int current = test;
        if (test == 0)
            current = sequential ? next++ : std::rand() % 3 + 1;
        if (!run.step(current))
            return;
    } while (sequential ? next <= 3 : duration > wallSeconds() - started);
    log(0, "End of test: closing all open movies");
    delegate.closeAll(nullptr);
}

bool scheduleFromEnvironment(MVPApplicationDelegate& delegate)
{
    const char* value = std::getenv("MVPLAYERSELFTEST");
    int test = 0;
    double duration = 0;
    if (!value || std::sscanf(value, "%d %lf", &test, &duration) < 1)
        return false;
    HXRunLoop::main().perform(
        [&delegate, test, duration] {
            runTest(delegate, test, duration);
            if (HXApplication::hasSharedApplication())
                HXApplication::sharedApplication()->terminate();
        },
        0, { HXDefaultRunLoopMode });
    return true;
}

} // namespace MVPSelfTest
