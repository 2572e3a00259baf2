// The commands a script sends to a movie: playback, editing, selection, geometry, presenting, finding,
// saving and closing.
#include "document/find_text_controller.h"
#include "document/movie_document.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/notification_queue.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/scripting_coercion.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "player/window/movie_view.h"
#include "player/window/window_controller.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/panorama_scripting.h"
#include "scripting/script_values.h"
#include "scripting/scripted_export.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace MVPMovieDocScripting {

using Doc = MVPMovieDocument;
using V = HXScriptValue;
using MVPScriptValues::fourCC;

namespace {

// The name of the notification that tells the windows a movie's size or shape changed.
constexpr const char* kMovieSizeDidChangeNotification = "MVMovieSizeDidChangeNotification";

std::shared_ptr<Doc> sharedDocument(Doc& d)
{
    return std::static_pointer_cast<Doc>(d.shared_from_this());
}

V self(Doc& d)
{
    return V(reference(sharedDocument(d)));
}

// The movie view of the window showing the document (the full-screen one while presenting).
std::shared_ptr<MVPMovieView> movieView(Doc& d)
{
    auto* controller = dynamic_cast<MVPWindowController*>(d.currentWindowController().get());
    return controller ? controller->movieView() : nullptr;
}

std::shared_ptr<MVMoviePlayback> playback(Doc& d)
{
    auto view = movieView(d);
    return view ? view->playback() : nullptr;
}

// ---- Playback

void step(Doc& d, int64_t frames)
{
    if (frames == 0 || !d.movie())
        return;
    // One step call however many frames: a huge count cannot hold the player up.
    frames = std::clamp<int64_t>(frames, -INT32_MAX, INT32_MAX);
    if (auto p = playback(d)) {
        p->step(int(frames));
        return;
    }
    MVMovie& m = *d.movie();
    int64_t time = MVPScriptValues::timeValue(m, m.currentTime());
    for (int64_t i = 0, n = std::min<int64_t>(std::abs(frames), 100000); i < n; ++i) {
        int64_t next = m.nextInterestingTime(time, MVNextTimeStep, {}, frames > 0 ? 1.0 : -1.0);
        if (next < 0 || next == time)
            break;
        time = next;
    }
    m.setCurrentTime(MVPScriptValues::timeFromValue(m, time));
}

V stepCommand(Doc& d, HXScriptCommand& command, int direction)
{
    auto n = command.integerArgument("NumberOfSteps");
    if (!command.failed())
        step(d, direction * n.value_or(1));
    return {};
}

void play(Doc& d)
{
    if (auto p = playback(d))
        p->play();
    else if (d.movie())
        d.movie()->play();
}

void stop(Doc& d)
{
    if (auto p = playback(d))
        p->stop();
    if (d.movie())
        d.movie()->stop();
}

// ---- Editing: what the Edit menu does, then the movie counts as changed.

enum class Edit { Cut, Copy, Paste, Clear, Replace, Trim, Add, AddScaled };

void edit(Doc& d, Edit operation)
{
    if (!d.movie())
        return;
    if (auto view = movieView(d)) {
        switch (operation) {
        case Edit::Cut:
            view->cut();
            break;
        case Edit::Copy:
            view->copy();
            break;
        case Edit::Paste:
            view->paste();
            break;
        case Edit::Clear:
            view->delete_();
            break;
        case Edit::Replace:
            view->replace();
            break;
        case Edit::Trim:
            view->trim();
            break;
        case Edit::Add:
            view->add();
            break;
        case Edit::AddScaled:
            view->addScaled();
            break;
        }
    } else {
        MVMovie& m = *d.movie();
        auto& board = MVMoviePasteboard::generalPasteboard();
        switch (operation) {
        case Edit::Cut:
            board.setMovie(m.cut());
            break;
        case Edit::Copy:
            board.setMovie(m.copy());
            break;
        case Edit::Paste:
        case Edit::Replace:
            if (board.movie())
                m.paste(board.movie());
            break;
        case Edit::Clear:
            m.clear();
            break;
        case Edit::Trim:
            m.trim();
            break;
        case Edit::Add:
            if (board.movie())
                m.add(board.movie());
            break;
        case Edit::AddScaled:
            if (board.movie())
                m.addScaled(board.movie());
            break;
        }
    }
    if (operation != Edit::Copy)
        movieChanged(d);
}

// ---- Selection

void selectRange(MVMovie& m, int64_t start, int64_t duration)
{
    m.setSelection(MVMakeTimeRange(
        MVPScriptValues::timeFromValue(m, start), MVPScriptValues::timeFromValue(m, duration)));
}

V selectCommand(Doc& d, HXScriptCommand& command)
{
    auto at = command.integerArgument("At");
    auto to = command.integerArgument("To");
    if (command.failed() || !d.movie())
        return {};
    MVMovie& m = *d.movie();
    if (!at && !to) {
        selectRange(m, 0, m.durationValue());
        return {};
    }
    // A selection has no negative length: the earlier time starts it. A lone "At" selects nothing there.
    int64_t a = at.value_or(0), b = to.value_or(a);
    selectRange(m, std::min(a, b), MVPScriptValues::timeDifference(std::max(a, b), std::min(a, b)));
    return {};
}

// ---- Geometry: the movie's matrix, points mapped as x' = a·x + c·y + tx, y' = b·x + d·y + ty.

struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    Affine then(const Affine& t) const
    {
        return { a * t.a + b * t.c, a * t.b + b * t.d, c * t.a + d * t.c, c * t.b + d * t.d,
            tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty };
    }
    static Affine translation(double x, double y) { return { 1, 0, 0, 1, x, y }; }
    // `t` applied around the point (x, y).
    static Affine around(const Affine& t, double x, double y)
    {
        return translation(-x, -y).then(t).then(translation(x, y));
    }
};

int32_t fixed(double value, double one)
{
    double v = std::round(value * one);
    return int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
}

void transform(Doc& d, const Affine& t, bool notifySize)
{
    if (!d.movie())
        return;
    MVMovie& m = *d.movie();
    auto v = m.matrix().values;
    Affine current { v[0] / 65536.0, v[1] / 65536.0, v[3] / 65536.0, v[4] / 65536.0, v[6] / 65536.0,
        v[7] / 65536.0 };
    Affine r = current.then(t);
    MVMatrixRecord record = m.matrix();
    record.values[0] = fixed(r.a, 65536), record.values[1] = fixed(r.b, 65536);
    record.values[3] = fixed(r.c, 65536), record.values[4] = fixed(r.d, 65536);
    record.values[6] = fixed(r.tx, 65536), record.values[7] = fixed(r.ty, 65536);
    m.setMatrix(record);
    if (notifySize)
        HXNotificationQueue::defaultQueue().enqueueNotification(
            HXNotification(kMovieSizeDidChangeNotification, d.movie().get()), HXPostASAP,
            HXNotificationCoalescingOnName, {});
}

std::pair<double, double> centerPoint(Doc& d)
{
    return { d.naturalSize().width / 2, d.naturalSize().height / 2 };
}

// A point argument as (x, y), or `fallback` when absent; nothing (and the command fails) when unusable.
std::optional<std::pair<double, double>> pointArgument(
    HXScriptCommand& command, const std::string& key, std::optional<std::pair<double, double>> fallback)
{
    if (!command.hasArgument(key))
        return fallback;
    auto p = MVPScriptValues::pointFromValue(command.argument(key));
    if (!p) {
        command.fail(HXScriptCoercionError, "The argument \u201c" + key + "\u201d is a point.");
        return std::nullopt;
    }
    return std::pair { double(p->second), double(p->first) };
}

V rotate(Doc& d, double degrees, std::pair<double, double> around, bool notifySize)
{
    double r = degrees * M_PI / 180;
    transform(d,
        Affine::around(
            { std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0 }, around.first, around.second),
        notifySize);
    return {};
}

// ---- Presenting

V present(Doc& d, HXScriptCommand& command)
{
    FSPresentationSettings settings = d.persistentFullscreenSettings();
    auto scale = command.codeArgument("Scale");
    auto mode = command.codeArgument("Mode");
    if (command.failed())
        return {};
    if (scale)
        settings.size = presentationSizeForCode(*scale);
    if (mode && *mode == fourCC("pmss"))
        settings.slideShowMode = true;
    if (command.hasArgument("Display")) {
        auto n
            = HXScriptCoercionHandler::sharedCoercionHandler().coerce(command.argument("Display"), "integer");
        auto screens = HXScreen::screens();
        if (n && n->propertyList().integerValue() >= 1
            && n->propertyList().integerValue() <= int64_t(screens.size()))
            settings.screen = screens[size_t(n->propertyList().integerValue() - 1)];
    }
    if (command.hasArgument("BackgroundColor"))
        settings.color = MVPScriptValues::colorFromValue(command.argument("BackgroundColor"));
    d.enterFullScreenWithSettings(settings);
    return self(d);
}

// ---- Finding

V find(Doc& d, HXScriptCommand& command)
{
    static std::shared_ptr<FindTextController> finder = std::make_shared<FindTextController>();
    auto text = command.stringArgument("SearchString");
    auto backwards = command.booleanArgument("SearchBackwards");
    if (command.failed())
        return {};
    if (!finder || !text || !d.movie())
        return V(int64_t(-1));
    finder->setMovieDocument(sharedDocument(d));
    bool forward = !backwards.value_or(false);
    if (forward)
        finder->bumpOffset(1);
    MVTime found = finder->findTextTime(*text, true, true, forward);
    if (!MVTimeIsNumeric(found))
        return V(int64_t(-1));
    d.movie()->setCurrentTime(found);
    return V(MVPScriptValues::timeValue(*d.movie(), found));
}

// ---- Saving

// Why the folder of `path` cannot take a file (a missing folder, one not writable, a read-only disk);
// nothing when it can.
std::optional<std::string> folderRefusal(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    if (!HXFileManager::defaultManager().isDirectoryAtPath(folder.string()))
        return std::string(std::strerror(ENOENT));
    if (access(folder.c_str(), W_OK) != 0)
        return std::string(std::strerror(errno));
    return std::nullopt;
}

V saveSelfContained(Doc& d, HXScriptCommand& command)
{
    auto destination = command.stringArgument("DestinationFile");
    if (command.failed())
        return {};
    if (!destination || destination->empty()) {
        command.fail(HXScriptMissingParameterError, "Save self-contained needs a destination file.");
        return {};
    }
    std::string path = command.absolutePath(*destination);
    const std::string failure = "The movie could not be written to \u201c" + path + "\u201d.";
    // A folder that cannot take the file is reported to the script, not in an alert nobody asked for.
    if (auto refusal = folderRefusal(path)) {
        command.fail(-36, failure + " " + *refusal + ".");
        return self(d);
    }
    bool flatten = d.flatten();
    d.setFlatten(true);
    d.setForceSynchronousSave(true);
    bool saved = false;
    d.writeToURL(HXURL::fileURLWithPath(path), HXSaveAsOperation, [&saved](Doc&, bool ok) { saved = ok; });
    d.setForceSynchronousSave(false);
    if (!saved)
        command.fail(-36, failure);
    d.setFlatten(flatten);
    return self(d);
}

V save(Doc& d, HXScriptCommand& command)
{
    auto in = command.stringArgument("In");
    if (command.failed())
        return {};
    bool flatten = d.flatten();
    d.setFlatten(false);
    d.setForceSynchronousSave(true);
    if (in && !in->empty()) {
        std::string path = command.absolutePath(*in);
        if (auto refusal = folderRefusal(path))
            command.fail(-36, "The movie could not be saved in \u201c" + path + "\u201d. " + *refusal + ".");
        else
            d.saveToURL(
                HXURL::fileURLWithPath(path), d.fileType(), HXSaveAsOperation, [&command](Doc&, bool ok) {
                    if (!ok)
                        command.fail(HXScriptFailedError, "The movie could not be saved.");
                });
    } else if (d.fileURL().isEmpty()) {
        // An untitled movie has no file to go to, and a script is no one to choose one in a panel.
        command.fail(
            HXScriptMissingParameterError, "An untitled movie is saved with In (the path of a file).");
    } else {
        d.saveDocument(nullptr);
        // A save that did not happen (an error shown, a question answered no) leaves the movie edited.
        if (d.isDocumentEdited())
            command.fail(HXScriptFailedError, "The movie could not be saved.");
    }
    d.setForceSynchronousSave(false);
    d.setFlatten(flatten);
    return {};
}

V close(Doc& d, HXScriptCommand& command)
{
    auto saving = command.codeArgument("Saving");
    if (command.failed())
        return {};
    auto doc = sharedDocument(d);
    if (saving && *saving == fourCC("yes ")) {
        save(d, command);
        if (command.failed())
            return {};
        // Saved once: the close does not ask or save again.
        doc->close();
    } else if (saving && *saving == fourCC("no  ")) {
        doc->close();
    } else if (!doc->isDocumentEdited()) {
        doc->close();
    } else {
        // Asking is the user's to answer, as when they close the window; a script cannot answer for them
        // (and must not save or drop their changes by a default button). It has its answer first.
        std::weak_ptr<Doc> weak = doc;
        HXRunLoop::main().perform(
            [weak] {
                if (auto d = weak.lock())
                    d->canCloseDocument([d](bool shouldClose) {
                        if (shouldClose)
                            d->close();
                    });
            },
            0, { HXDefaultRunLoopMode });
    }
    return {};
}

} // namespace

void addCommands(HXScriptClass<MVPMovieDocument>& c)
{
    c.command("play", [](Doc& d, HXScriptCommand&) { return play(d), V(); });
    c.command("start", [](Doc& d, HXScriptCommand&) { return play(d), self(d); });
    c.command("pause", [](Doc& d, HXScriptCommand&) { return stop(d), self(d); });
    c.command("stop", [](Doc& d, HXScriptCommand&) {
        if (d.isFullScreen()) {
            stop(d);
            d.exitFullScreen();
        }
        stop(d);
        return V();
    });
    c.command("rewind", [](Doc& d, HXScriptCommand&) {
        if (auto p = playback(d))
            p->gotoBeginning();
        else if (d.movie())
            d.movie()->setCurrentTime(MVMakeTime(0, d.movie()->timeScale()));
        return V();
    });
    c.command("stepForward", [](Doc& d, HXScriptCommand& command) { return stepCommand(d, command, 1); });
    c.command("stepBackward", [](Doc& d, HXScriptCommand& command) { return stepCommand(d, command, -1); });

    const std::pair<const char*, Edit> edits[]
        = { { "cut", Edit::Cut }, { "copy", Edit::Copy }, { "paste", Edit::Paste }, { "clear", Edit::Clear },
              { "replace", Edit::Replace }, { "trim", Edit::Trim } };
    for (auto [name, operation] : edits)
        c.command(name, [operation](Doc& d, HXScriptCommand&) { return edit(d, operation), V(); });
    c.command("add", [](Doc& d, HXScriptCommand& command) {
        auto scaled = command.booleanArgument("Scaled");
        if (!command.failed())
            edit(d, scaled.value_or(false) ? Edit::AddScaled : Edit::Add);
        return V();
    });

    c.command("selectAll", [](Doc& d, HXScriptCommand&) {
        if (d.movie())
            selectRange(*d.movie(), 0, d.movie()->durationValue());
        return V();
    });
    c.command("selectNone", [](Doc& d, HXScriptCommand&) {
        if (d.movie())
            selectRange(*d.movie(), MVPScriptValues::timeValue(*d.movie(), d.movie()->currentTime()), 0);
        return V();
    });
    c.command("select", selectCommand);

    c.command("translate", [](Doc& d, HXScriptCommand& command) {
        auto by = pointArgument(command, "By", std::nullopt);
        if (command.failed())
            return V();
        transform(d, Affine::translation(by ? by->first : 0, by ? by->second : 0), true);
        return V();
    });
    c.command("rotate", [](Doc& d, HXScriptCommand& command) {
        auto degrees = command.realArgument("By");
        auto around = pointArgument(command, "Around", centerPoint(d));
        if (command.failed())
            return V();
        return rotate(d, degrees.value_or(0), *around, true);
    });
    c.command("rotateRight", [](Doc& d, HXScriptCommand&) { return rotate(d, 90, centerPoint(d), false); });
    c.command("rotateLeft", [](Doc& d, HXScriptCommand&) { return rotate(d, -90, centerPoint(d), false); });
    c.command("scale", [](Doc& d, HXScriptCommand& command) {
        auto factor = command.realArgument("By");
        auto around = pointArgument(command, "Around", std::pair { 0.0, 0.0 });
        if (command.failed() || !factor)
            return V();
        transform(d, Affine::around({ *factor, 0, 0, *factor, 0, 0 }, around->first, around->second), false);
        return V();
    });
    c.command("skew", [](Doc& d, HXScriptCommand& command) {
        auto by = pointArgument(command, "By", std::pair { 0.0, 0.0 });
        auto around = pointArgument(command, "Around", std::pair { 0.0, 0.0 });
        if (command.failed())
            return V();
        transform(
            d, Affine::around({ 1, by->second, by->first, 1, 0, 0 }, around->first, around->second), false);
        return V();
    });
    c.command("flipHorizontal", [](Doc& d, HXScriptCommand&) {
        auto [x, y] = centerPoint(d);
        transform(d, Affine::around({ -1, 0, 0, 1, 0, 0 }, x, y), false);
        return V();
    });
    c.command("flipVertical", [](Doc& d, HXScriptCommand&) {
        auto [x, y] = centerPoint(d);
        transform(d, Affine::around({ 1, 0, 0, -1, 0, 0 }, x, y), false);
        return V();
    });

    addPanoramaCommands(c);
    c.command("present", present);
    c.command("find", find);

    c.command("save", save);
    c.command("close", close);
    c.command("saveSelfContained", saveSelfContained);
    c.command("canExport", [](Doc& d, HXScriptCommand& command) {
        if (!command.hasArgument("As"))
            return V(false);
        return V(MVPScriptedExport::CanExport(
            MVPScriptedExport::targetCode(command.argument("As")), d.movie().get(), nullptr)
                     .has_value());
    });
    c.command("export", [](Doc& d, HXScriptCommand& command) {
        MVPScriptedExport::Export(command, d.movie(), nullptr);
        return V();
    });
    c.command("saveExportSettings", [](Doc& d, HXScriptCommand& command) {
        MVPScriptedExport::SaveExporterSettings(command, d.movie());
        return command.failed() ? V() : self(d);
    });
}

} // namespace MVPMovieDocScripting
