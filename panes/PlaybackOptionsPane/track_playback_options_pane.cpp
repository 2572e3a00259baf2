#include "track_playback_options_pane.h"

#include "pane_views.h"
#include "track_languages.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track.h"

namespace {

constexpr uint32_t kChapterReference = MVFourCC("chap");
constexpr uint32_t kTextType = MVFourCC("text");

std::shared_ptr<MVTrack> alternateOf(const MVTrack& track)
{
    auto movie = track.movie();
    if (!movie || track.alternateGroup() == 0)
        return nullptr;
    // The next track of the group, in track order, coming round to the first.
    const auto& tracks = movie->tracks();
    int self = track.index() - 1;
    for (size_t step = 1; step < tracks.size(); ++step) {
        const auto& t = tracks[(size_t(self) + step) % tracks.size()];
        if (t->alternateGroup() == track.alternateGroup())
            return t;
    }
    return nullptr;
}

} // namespace

MVPTrackPlaybackOptionsPane::MVPTrackPlaybackOptionsPane(
    std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host)
    : MVPKeyValuePane(track->movie())
    , _track(std::move(track))
    , _bundle(std::move(bundle))
    , _host(host)
{
}

MVPTrackPlaybackOptionsPane::~MVPTrackPlaybackOptionsPane()
{
    stopInspection();
}

HXPropertyList MVPTrackPlaybackOptionsPane::valueForKey(const std::string& key) const
{
    if (key == "chapterTrackID") {
        auto chapters = _track->referenceTrack(kChapterReference, 1);
        return int64_t(chapters ? chapters->trackID() : 0);
    }
    if (key == "alternateTrackID") {
        auto alternate = alternateOf(*_track);
        return int64_t(alternate && alternate != _track ? alternate->trackID() : 0);
    }
    if (key == "language")
        return int64_t(_track->language());
    if (key == "cacheHint")
        return _track->attributeForKey(MVTrackNeverPurgeTrackAttribute).boolValue();
    if (key == "preload")
        return _track->attributeForKey(MVTrackPreloadTrackAttribute).boolValue();
    return {};
}

bool MVPTrackPlaybackOptionsPane::validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current)
{
    if (current.isNull() || !(value.isNumber() || value.isBoolean()))
        return false;
    MVPKeyValuePane::validateValue(value, key, current);
    auto movie = _track->movie();
    if (key == "chapterTrackID" || key == "alternateTrackID") {
        int64_t id = value.integerValue();
        if (id == 0)
            return true;
        auto other = movie && id > 0 && id <= 0xFFFFFFFF ? movie->trackByID(uint32_t(id)) : nullptr;
        if (!other || other == _track)
            return false;
        return key == "alternateTrackID" || other->mediaType() == kTextType;
    }
    if (key == "language")
        return value.integerValue() >= 0 && value.integerValue() <= 0xFFFF;
    return true;
}

void MVPTrackPlaybackOptionsPane::takeValueForKey(const HXPropertyList& value, const std::string& key)
{
    auto movie = _track->movie();
    if (key == "chapterTrackID") {
        auto chapters = value.integerValue() && movie ? movie->trackByID(uint32_t(value.integerValue())) : nullptr;
        if (_track->referenceCount(kChapterReference) == 0 && !chapters)
            return;
        _track->setReference(chapters, kChapterReference, 1);
        if (movie)
            movie->setChanged(true);
    } else if (key == "alternateTrackID") {
        auto other = value.integerValue() && movie ? movie->trackByID(uint32_t(value.integerValue())) : nullptr;
        if (!other) {
            _track->setAlternateGroup(0);
        } else {
            int16_t group = other->alternateGroup();
            if (group == 0) {
                for (const auto& t : movie->tracks())
                    group = std::max(group, t->alternateGroup());
                ++group;
                other->setAlternateGroup(group);
            }
            _track->setAlternateGroup(group);
        }
    } else if (key == "language") {
        setLanguage(uint16_t(value.integerValue()));
    } else if (key == "cacheHint") {
        _track->setAttributeForKey(value.boolValue(), MVTrackNeverPurgeTrackAttribute);
    } else if (key == "preload") {
        _track->setAttributeForKey(value.boolValue(), MVTrackPreloadTrackAttribute);
    }
}

void MVPTrackPlaybackOptionsPane::setLanguage(uint16_t code)
{
    _track->setLanguage(code);
    // Readers take an extended language atom before the header's code: one naming another language
    // would hide the new one, so it goes (undo brings it back).
    const auto& media = _track->media();
    const std::string tag = _track->extendedLanguageTagString();
    if (media && !tag.empty() && MVPISOLanguageForTag(tag) != MVPISOLanguageForCode(code)) {
        auto& description = media->storedDescription();
        auto before = std::make_pair(description.childOrder, description.unknownChildren);
        auto& children = description.unknownChildren;
        auto it = std::find_if(children.begin(), children.end(),
            [](const MVRawAtom& atom) { return atom.type == MVFourCC("elng"); });
        // In the child order 0 stands for the next unknown child: the atom's own 0 goes with it.
        auto unknownIndex = it - children.begin();
        auto& order = description.childOrder;
        for (auto o = order.begin(); o != order.end(); ++o)
            if (*o == 0 && unknownIndex-- == 0) {
                order.erase(o);
                break;
            }
        children.erase(it);
        if (auto* manager = undoManager())
            manager->registerUndo(this, [this, before] {
                if (const auto& m = _track->media()) {
                    m->storedDescription().childOrder = before.first;
                    m->storedDescription().unknownChildren = before.second;
                }
                setupLanguageMenu();
            });
    }
    setupLanguageMenu();
}

void MVPTrackPlaybackOptionsPane::setupLanguageMenu()
{
    if (!languagePopup)
        return;
    const uint16_t current = _track->language();
    const std::string tag = _track->extendedLanguageTagString();
    auto menu = std::make_shared<HXMenu>();
    for (const auto& language : MVPLanguageItems(current, MVPLocalizedString(_bundle, "Unspecified"))) {
        std::string title = language.title;
        // The extended tag names the track's language more closely ("French (Canada)").
        if (language.code == current && !tag.empty())
            if (auto name = MVPLanguageTagName(tag); !name.empty())
                title = name;
        auto item = std::make_shared<HXMenuItem>(title, HXSelector(), "");
        item->setTag(long(language.code));
        menu->addItem(item);
    }
    languagePopup->setMenu(menu);
    languagePopup->selectItemWithTag(long(current));
}

void MVPTrackPlaybackOptionsPane::fillTrackMenu(
    HXPopUpButton& popup, const std::vector<std::shared_ptr<MVTrack>>& tracks, uint32_t selected)
{
    auto menu = std::make_shared<HXMenu>();
    auto none = std::make_shared<HXMenuItem>(MVPLocalizedString(_bundle, "None"), HXSelector(), "");
    none->setTag(0);
    menu->addItem(none);
    menu->addItem(HXMenuItem::separatorItem());
    for (const auto& t : tracks) {
        HXPropertyList title = _host ? _host->valueForKey(MVPInspectedObject(t), "verboseStringForList") : HXPropertyList();
        std::string text = title.isString() ? title.stringValue() : "Track " + std::to_string(t->trackID());
        auto item = std::make_shared<HXMenuItem>(text, HXSelector(), "");
        item->setTag(long(t->trackID()));
        menu->addItem(item);
    }
    popup.setMenu(menu);
    popup.setEnabled(!tracks.empty());
    if (!popup.selectItemWithTag(long(selected)))
        popup.selectItemAtIndex(0);
}

void MVPTrackPlaybackOptionsPane::setupChapterMenu()
{
    auto movie = _track->movie();
    if (!chapterPopup || !movie)
        return;
    fillTrackMenu(*chapterPopup, movie->tracksOfMediaType(kTextType), uint32_t(valueForKey("chapterTrackID").integerValue()));
}

void MVPTrackPlaybackOptionsPane::setupAlternateMenu()
{
    auto movie = _track->movie();
    if (!alternatePopup || !movie)
        return;
    std::vector<std::shared_ptr<MVTrack>> others;
    for (const auto& t : movie->tracks())
        if (t != _track)
            others.push_back(t);
    fillTrackMenu(*alternatePopup, others, uint32_t(valueForKey("alternateTrackID").integerValue()));
}

std::shared_ptr<HXView> MVPTrackPlaybackOptionsPane::view()
{
    if (_view)
        return _view;
    auto text = [this](const char* key) { return MVPLocalizedString(_bundle, key); };
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    struct Row {
        const char* label;
        std::shared_ptr<HXPopUpButton>* popup;
        const char* key;
    } rows[] = { { "Chapters", &chapterPopup, "chapterTrackID" }, { "Alternate", &alternatePopup, "alternateTrackID" },
        { "Language", &languagePopup, "language" } };
    double y = 216;
    for (const auto& row : rows) {
        _view->addSubview(MVPMakeLabel(HXRect { { 8, y + 4 }, { 120, 18 } }, text(row.label), 1));
        *row.popup = std::make_shared<HXPopUpButton>(HXRect { { 134, y }, { 260, 24 } });
        _view->addSubview(*row.popup);
        y -= 32;
    }
    setupLanguageMenu();
    auto cache = MVPMakeCheckBox(HXRect { { 134, y }, { 260, 18 } }, text("Cache Hint"));
    auto preload = MVPMakeCheckBox(HXRect { { 134, y - 24 }, { 260, 18 } }, text("Preload"));
    _view->addSubview(cache);
    _view->addSubview(preload);
    for (const auto& row : rows)
        bindControl(*row.popup, row.key);
    bindControl(cache, "cacheHint");
    bindControl(preload, "preload");
    return _view;
}

void MVPTrackPlaybackOptionsPane::startInspection()
{
    view();
    setupAlternateMenu();
    setupChapterMenu();
    setupLanguageMenu();
    setBindingsActive(true);
    if (!_observers.empty())
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    for (const char* name : { MVMovieChapterListDidChangeNotification, MVMovieEditedNotification })
        _observers.push_back(center.addObserver(name, undoMovie().get(), [this](const HXNotification&) { setupChapterMenu(); }));
}

void MVPTrackPlaybackOptionsPane::stopInspection()
{
    for (auto token : _observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _observers.clear();
    setBindingsActive(false);
}
