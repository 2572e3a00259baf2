#include "picture_pane.h"

#include "pane_views.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/track_geometry.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/window.h"

#include <cmath>
#include <map>

namespace {

// Keys a matrix change moves.
void announceGeometry(MVPKeyValuePane& pane)
{
    for (const char* key : { "currentWidth", "currentHeight", "horizontalOffset", "verticalOffset", "displayedWidth",
             "displayedHeight" })
        pane.didChangeValueForKey(key);
}

bool isBooleanKey(const std::string& key)
{
    return key == "deinterlace" || key == "singleField" || key == "highQuality" || key == "preserveAspectRatio";
}

const char* attributeForFlag(const std::string& key)
{
    if (key == "deinterlace")
        return MVTrackDeinterlaceVideoAttribute;
    if (key == "singleField")
        return MVTrackSingleFieldVideoAttribute;
    if (key == "highQuality")
        return MVTrackHighQualityVideoAttribute;
    return nullptr;
}

} // namespace

const std::vector<MVPGraphicsMode>& MVPPicturePane::getGraphicsModeDictionaries(const std::shared_ptr<HXBundle>& bundle)
{
    static std::map<std::string, std::vector<MVPGraphicsMode>> lists;
    std::string path = bundle ? bundle->pathForResource("GraphicsModes", "plist") : std::string();
    auto it = lists.find(path);
    if (it != lists.end())
        return it->second;
    std::vector<MVPGraphicsMode> modes;
    if (auto list = path.empty() ? std::nullopt : HXPropertyList::readFromFile(path); list && list->isArray()) {
        for (const auto& entry : list->arrayValue()) {
            if (!entry.isDictionary())
                continue;
            const auto& d = entry.dictionaryValue();
            auto get = [&](const char* key) {
                auto found = d.find(key);
                return found == d.end() ? HXPropertyList() : found->second;
            };
            if (!get("Mode").isNumber())
                continue;
            modes.push_back({ get("Mode").integerValue(), get("Name").stringValue(), get("Deprecated").boolValue(),
                get("Transparent").boolValue() });
        }
    }
    return lists.emplace(path, std::move(modes)).first->second;
}

MVPPicturePane::MVPPicturePane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle)
    : MVPKeyValuePane(track->movie())
    , _track(std::move(track))
    , _bundle(std::move(bundle))
{
}

MVPPicturePane::~MVPPicturePane()
{
    stopInspection();
}

const MVPGraphicsMode* MVPPicturePane::currentMode() const
{
    int64_t mode = _track->attributeForKey(MVTrackTransferModeAttribute).integerValue();
    for (const auto& m : getGraphicsModeDictionaries(_bundle))
        if (m.mode == mode)
            return &m;
    return nullptr;
}

double MVPPicturePane::unitScale(bool width) const
{
    if (_sizeMode != MVPSizeUnitPercent)
        return 1.0;
    double natural = width ? _track->width() : _track->height();
    return natural > 0 ? 100.0 / natural : 1.0;
}

HXPropertyList MVPPicturePane::valueForKey(const std::string& key) const
{
    MVTrackBox box = MVTrackDisplayedBox(*_track);
    if (key == "trackLayer")
        return int64_t(_track->layer());
    if (key == "transferMode")
        return _track->attributeForKey(MVTrackTransferModeAttribute).integerValue();
    if (key == "transparency")
        return MVTrackPlayerTransparency(*_track);
    if (key == "operationColor") {
        HXPropertyList color = _track->attributeForKey(MVTrackOperationColorAttribute);
        return color.isArray() ? color : HXPropertyList(HXPropertyList::Array { int64_t(0), int64_t(0), int64_t(0) });
    }
    if (key == "transparencySliderVisible") {
        const auto* mode = currentMode();
        return mode && mode->transparent;
    }
    if (const char* attribute = attributeForFlag(key))
        return _track->attributeForKey(attribute).boolValue();
    if (key == "currentWidth")
        return box.width * unitScale(true);
    if (key == "currentHeight")
        return box.height * unitScale(false);
    if (key == "unitIndex")
        return _sizeMode;
    if (key == "preserveAspectRatio")
        return _preserveAspect;
    if (key == "displayedWidth")
        return box.width;
    if (key == "displayedHeight")
        return box.height;
    if (key == "naturalWidth")
        return _track->width();
    if (key == "naturalHeight")
        return _track->height();
    if (key == "horizontalOffset")
        return box.x;
    if (key == "verticalOffset")
        return box.y;
    if (key == "maskImage") {
        auto data = MVTrackMaskData(*_track);
        return data ? HXPropertyList(*data) : HXPropertyList(HXData {});
    }
    return {};
}

bool MVPPicturePane::validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current)
{
    static const std::vector<std::string> readOnly { "transparencySliderVisible", "displayedWidth", "displayedHeight",
        "naturalWidth", "naturalHeight" };
    if (current.isNull() || std::find(readOnly.begin(), readOnly.end(), key) != readOnly.end())
        return false;
    if (key == "maskImage")
        return value.isData() || value.isNull();
    if (key == "operationColor") {
        if (!value.isArray() || value.arrayValue().size() != 3)
            return false;
        HXPropertyList::Array color;
        for (const auto& c : value.arrayValue()) {
            if (!c.isNumber() || c.realValue() < 0 || c.realValue() > 65535)
                return false;
            color.push_back(int64_t(std::llround(c.realValue())));
        }
        value = color;
        return true;
    }
    MVPKeyValuePane::validateValue(value, key, current);
    if (!value.isNumber() && !value.isBoolean())
        return false;
    if (isBooleanKey(key))
        return true;
    double v = value.realValue();
    if (!std::isfinite(v))
        return false;
    if (key == "trackLayer")
        return v >= -32768 && v <= 32767;
    if (key == "transferMode") {
        for (const auto& m : getGraphicsModeDictionaries(_bundle))
            if (m.mode == value.integerValue())
                return true;
        return false;
    }
    if (key == "transparency")
        return v >= 0 && v <= 1;
    if (key == "currentWidth" || key == "currentHeight")
        return v > 0;
    if (key == "unitIndex")
        return value.integerValue() == MVPSizeUnitPixels || value.integerValue() == MVPSizeUnitPercent;
    return true;
}

void MVPPicturePane::takeValueForKey(const HXPropertyList& value, const std::string& key)
{
    if (key == "trackLayer") {
        _track->setLayer(int16_t(value.integerValue()));
    } else if (key == "transferMode") {
        _track->setAttributeForKey(value.integerValue(), MVTrackTransferModeAttribute);
        didChangeValueForKey("transparencySliderVisible");
        showTransparencySlider();
    } else if (key == "transparency") {
        // The transparency is the operation colour's weight, a grey. Undo brings back the very colour it
        // replaced (which gives the old transparency, so undoing that as well changes nothing more).
        HXPropertyList color = valueForKey("operationColor");
        MVTrackSetPlayerTransparency(*_track, value.realValue());
        if (auto* manager = undoManager())
            manager->registerUndo(this, [this, color] { setValueForKey(color, "operationColor"); });
        didChangeValueForKey("operationColor");
    } else if (key == "operationColor") {
        _track->setAttributeForKey(value, MVTrackOperationColorAttribute);
        didChangeValueForKey("transparency");
    } else if (const char* attribute = attributeForFlag(key)) {
        _track->setAttributeForKey(value.boolValue(), attribute);
    } else if (key == "currentWidth") {
        MVTrackSetDisplayedWidth(*_track, value.realValue() / unitScale(true), _preserveAspect);
        announceGeometry(*this);
    } else if (key == "currentHeight") {
        MVTrackSetDisplayedHeight(*_track, value.realValue() / unitScale(false), _preserveAspect);
        announceGeometry(*this);
    } else if (key == "unitIndex") {
        _sizeMode = value.integerValue();
        didChangeValueForKey("currentWidth");
        didChangeValueForKey("currentHeight");
    } else if (key == "preserveAspectRatio") {
        _preserveAspect = value.boolValue();
    } else if (key == "horizontalOffset" || key == "verticalOffset") {
        MVTrackBox box = MVTrackDisplayedBox(*_track);
        MVTrackSetOffset(*_track, key == "horizontalOffset" ? value.realValue() : box.x,
            key == "verticalOffset" ? value.realValue() : box.y);
        announceGeometry(*this);
    } else if (key == "maskImage") {
        setMaskData(value.isData() && !value.dataValue().bytes.empty() ? std::optional<HXData>(value.dataValue()) : std::nullopt);
    }
}

void MVPPicturePane::setNilValueForKey(const std::string& key)
{
    setValueForKey(int64_t(0), key);
}

void MVPPicturePane::setMatrixData(const MVBytes& data)
{
    MVBytes old = MVTrackCurrentMatrixAsData(*_track);
    if (data == old || !MVMatrixFromData(data))
        return;
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this, old] { setMatrixData(old); });
    MVTrackSetMatrixData(*_track, data);
    announceGeometry(*this);
}

void MVPPicturePane::resetMatrix()
{
    setMatrixData(MVTrackDefaultMatrixAsData());
}

void MVPPicturePane::rotate(double radians)
{
    // The exact matrix comes back on undo, whatever rounding the turn brought.
    setMatrixData([&] {
        MVBytes before = MVTrackCurrentMatrixAsData(*_track);
        MVTrackRotate(*_track, radians);
        MVBytes after = MVTrackCurrentMatrixAsData(*_track);
        MVTrackSetMatrixData(*_track, before);
        return after;
    }());
}

void MVPPicturePane::flipX()
{
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this] { flipX(); });
    MVTrackFlipX(*_track);
    announceGeometry(*this);
}

void MVPPicturePane::flipY()
{
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this] { flipY(); });
    MVTrackFlipY(*_track);
    announceGeometry(*this);
}

std::shared_ptr<HXImage> MVPPicturePane::maskImage()
{
    if (!_mask) {
        if (auto data = MVTrackMaskData(*_track))
            _mask = HXImage::initWithData(*data);
    }
    return _mask;
}

// Mask changes register the mask data they replace (not a cached image, which may not have been read),
// so undo always brings back the mask that was there.
void MVPPicturePane::setMaskData(const std::optional<HXData>& data)
{
    if (data)
        MVTrackSetMaskWithDataRef(*_track,
            MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>(data->bytes)));
    else
        MVTrackClearMask(*_track);
    _mask.reset();
}

bool MVPPicturePane::setMaskWithDataRef(const MVDataReference& reference)
{
    HXPropertyList old = valueForKey("maskImage");
    if (!MVTrackSetMaskWithDataRef(*_track, reference))
        return false;
    _mask.reset();
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this, old] { unsetValueForKey(old, "maskImage"); });
    didChangeValueForKey("maskImage");
    return true;
}

void MVPPicturePane::clearMask()
{
    if (MVTrackHasMask(*_track))
        setValueForKey(HXData {}, "maskImage");
}

void MVPPicturePane::invertMask()
{
    if (!MVTrackInvertMask(*_track))
        return;
    _mask.reset();
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this] { invertMask(); });
    didChangeValueForKey("maskImage");
}

void MVPPicturePane::showTransparencySlider()
{
    if (auto slider = _transparencySlider.lock())
        slider->setHidden(!valueForKey("transparencySliderVisible").boolValue());
}

void MVPPicturePane::chooseMask()
{
    auto window = _view ? _view->window() : nullptr;
    if (!window)
        return;
    auto panel = HXOpenPanel::openPanel();
    panel->setResolvesAliases(true);
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setAllowsMultipleSelection(true);
    std::weak_ptr<HXObject> weak = shared_from_this();
    // The panel runs the handler while it is alive; holding it in the handler would keep it forever.
    HXOpenPanel* running = panel.get();
    panel->beginSheetModalForWindow(window, [weak, running](long code) {
        if (auto self = std::static_pointer_cast<MVPPicturePane>(weak.lock()))
            self->openPanelDidEnd(code, running->filenames());
    });
}

void MVPPicturePane::openPanelDidEnd(long returnCode, const std::vector<std::string>& filenames)
{
    if (returnCode != 0 && !filenames.empty())
        setMaskWithDataRef(MVDataReference::dataReferenceWithReferenceToFile(filenames.front()));
}

std::shared_ptr<HXView> MVPPicturePane::view()
{
    if (_view)
        return _view;
    auto self = shared_from_this();
    auto text = [this](const char* key) { return MVPLocalizedString(_bundle, key); };
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    struct Field {
        const char* label;
        const char* key;
        HXRect frame;
    } fields[] = {
        { "Width", "currentWidth", { { 80, 220 }, { 70, 20 } } },
        { "Height", "currentHeight", { { 80, 194 }, { 70, 20 } } },
        { "Offset", "horizontalOffset", { { 80, 142 }, { 70, 20 } } },
        { nullptr, "verticalOffset", { { 156, 142 }, { 70, 20 } } },
        { "Layer", "trackLayer", { { 80, 110 }, { 70, 20 } } },
    };
    for (const auto& f : fields) {
        if (f.label)
            _view->addSubview(MVPMakeLabel(HXRect { { 8, f.frame.origin.y }, { 66, 18 } }, text(f.label), 1));
        auto field = std::make_shared<HXTextField>(f.frame);
        _view->addSubview(field);
        bindControl(field, f.key);
    }
    auto units = std::make_shared<HXPopUpButton>(HXRect { { 156, 218 }, { 100, 24 } });
    units->addItemWithTitle(text("Pixels"));
    units->itemArray().back()->setTag(MVPSizeUnitPixels);
    units->addItemWithTitle(text("Percent"));
    units->itemArray().back()->setTag(MVPSizeUnitPercent);
    _view->addSubview(units);
    bindControl(units, "unitIndex");
    auto aspect = MVPMakeCheckBox(HXRect { { 80, 168 }, { 200, 18 } }, text("Preserve Aspect Ratio"));
    _view->addSubview(aspect);
    bindControl(aspect, "preserveAspectRatio");

    _view->addSubview(MVPMakeLabel(HXRect { { 262, 220 }, { 118, 18 } }, text("Graphics Mode"), 1));
    modePopup = std::make_shared<HXPopUpButton>(HXRect { { 386, 216 }, { 150, 24 } });
    _view->addSubview(modePopup);
    bindControl(modePopup, "transferMode");
    auto transparency = std::make_shared<HXSlider>(HXRect { { 386, 190 }, { 150, 20 } });
    _transparencySlider = transparency;
    transparency->setMinValue(0);
    transparency->setMaxValue(1);
    _view->addSubview(transparency);
    bindControl(transparency, "transparency");
    double y = 160;
    for (auto [title, key] : { std::pair { "Deinterlace", "deinterlace" }, { "Single Field", "singleField" },
             { "High Quality", "highQuality" } }) {
        auto box = MVPMakeCheckBox(HXRect { { 386, y }, { 150, 18 } }, text(title));
        _view->addSubview(box);
        bindControl(box, key);
        y -= 24;
    }

    struct Action {
        const char* title;
        const char* action;
        std::function<void()> run;
    } actions[] = {
        { "Rotate Left", "rotateCCW90:", [this] { rotateCCW90(); } },
        { "Rotate Right", "rotateCW90:", [this] { rotateCW90(); } },
        { "Flip Horizontal", "flipX:", [this] { flipX(); } },
        { "Flip Vertical", "flipY:", [this] { flipY(); } },
        { "Reset", "resetMatrix:", [this] { resetMatrix(); } },
        { "Choose Mask…", "chooseMask:", [this] { chooseMask(); } },
        { "Clear Mask", "clearMask:", [this] { clearMask(); } },
        { "Invert Mask", "invertMask:", [this] { invertMask(); } },
    };
    // Two rows: the picture's turns and flips above, the mask below.
    double x = 8, row = 40;
    for (auto& a : actions) {
        if (std::string(a.action) == "chooseMask:")
            x = 8, row = 8;
        auto button = MVPMakePushButton(HXRect { { x, row }, { 104, 24 } }, text(a.title));
        button->setTarget(self);
        button->setAction(a.action);
        setActionHandler(a.action, [run = a.run](HXObject*) { run(); });
        _view->addSubview(button);
        x += 106;
    }
    return _view;
}

void MVPPicturePane::startInspection()
{
    view();
    // The pop-up offers the current modes, and a deprecated mode only while the track uses it.
    auto menu = std::make_shared<HXMenu>();
    int64_t current = valueForKey("transferMode").integerValue();
    for (const auto& m : getGraphicsModeDictionaries(_bundle)) {
        if (m.deprecated && m.mode != current)
            continue;
        auto item = std::make_shared<HXMenuItem>(MVPLocalizedString(_bundle, m.name, "GraphicsModes"), HXSelector(), "");
        item->setTag(long(m.mode));
        menu->addItem(item);
    }
    modePopup->setMenu(menu);
    setBindingsActive(true);
    showTransparencySlider();
    if (!_sizeObserver) {
        _sizeObserver = HXNotificationCenter::defaultCenter().addObserver(MVMovieSizeDidChangeNotification,
            undoMovie().get(), [this](const HXNotification&) {
                didChangeValueForKey("displayedWidth");
                didChangeValueForKey("displayedHeight");
            });
    }
}

void MVPPicturePane::stopInspection()
{
    setBindingsActive(false);
    if (_sizeObserver)
        HXNotificationCenter::defaultCenter().removeObserver(*_sizeObserver);
    _sizeObserver.reset();
}

std::shared_ptr<MVPPropertyInspector> MVPPicturePaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (!object.isTrack())
        return nullptr;
    return std::make_shared<MVPPicturePane>(object.track(), bundle());
}
