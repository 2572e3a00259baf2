#pragma once
// What the properties window's tests share: the program's bundle (for its strings and column lists),
// in-process pane classes that log what the host does to them, and small movies made in memory.
#include "inspectors/pane_interface.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/button.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace movara::test::inspectors {

// The bundle is fixed on first use: point it at the built program before any test runs.
inline const bool kBundleChosen = (::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0), true);

// "start A1", "stop A1", "free A1": what happened to which pane instance.
using PaneLog = std::vector<std::string>;

class LoggingPane : public MVPPropertyInspector {
public:
    LoggingPane(std::string name, PaneLog& log, HXSize size)
        : _name(std::move(name))
        , _log(log)
        , _view(std::make_shared<HXView>(HXRect { {}, size }))
        , _button(std::make_shared<HXButton>(HXRect { { 10, 10 }, { 80, 20 } }, "Press"))
    {
        _view->addSubview(_button);
    }
    ~LoggingPane() override { _log.push_back("free " + _name); }
    std::shared_ptr<HXView> view() override { return _view; }
    void startInspection() override { _log.push_back("start " + _name); }
    void stopInspection() override { _log.push_back("stop " + _name); }
    const std::shared_ptr<HXButton>& button() const { return _button; }

private:
    std::string _name;
    PaneLog& _log;
    std::shared_ptr<HXView> _view;
    std::shared_ptr<HXButton> _button;
};

// A pane class named `className`, labelled `label`, offered where `accepts` says; its instances are
// numbered ("A1", "A2" ...).
class LoggingPaneClass : public MVPPropertyInspectorFactory {
public:
    LoggingPaneClass(std::string className, std::string label, PaneLog& log,
        std::function<bool(const MVPInspectedObject&)> accepts = {}, HXSize size = { 200, 100 })
        : _className(std::move(className))
        , _label(std::move(label))
        , _log(log)
        , _accepts(std::move(accepts))
        , _size(size)
    {
    }
    std::string className() const override { return _className; }
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject&) override
    {
        auto pane = std::make_shared<LoggingPane>(_label + std::to_string(++_made), _log, _size);
        last = pane;
        return pane;
    }
    bool canInspectObject(const MVPInspectedObject& object) override { return !_accepts || _accepts(object); }
    std::string propertyInspectorNameForObject(const MVPInspectedObject&) override { return _label; }

    std::weak_ptr<LoggingPane> last;

private:
    std::string _className;
    std::string _label;
    PaneLog& _log;
    std::function<bool(const MVPInspectedObject&)> _accepts;
    HXSize _size;
    int _made = 0;
};

// A movie with one unnamed track of each type (in order), each showing from 0 for `seconds`.
inline std::shared_ptr<MVMovie> movieWithTracks(const std::vector<uint32_t>& types, double seconds = 2)
{
    auto movie = MVMovie::movie();
    for (uint32_t type : types) {
        auto track = movie->newTrack(
            type, 600, type == MVFourCC("vide") ? 320 : 0, type == MVFourCC("vide") ? 240 : 0);
        track->setEdits({ { int64_t(seconds * 600), 0, 0x10000 } });
    }
    return movie;
}

} // namespace movara::test::inspectors
