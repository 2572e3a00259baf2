#include "track_audio_inspector.h"

#include "pane_views.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/track.h"

namespace {

constexpr uint32_t kSoundType = MVFourCC("soun");

std::vector<uint32_t> labelList(bool eightChannelLayouts)
{
    if (eightChannelLayouts)
        return { 42, 1, 2, 3, 4, 5, 6, 7, 8, 9, 33, 34, 38, 39 };
    return { 42, 1, 2, 3, 4, 5, 6, 38, 39 };
}

std::shared_ptr<HXMenu> copyOfMenu(const HXMenu& menu)
{
    auto copy = std::make_shared<HXMenu>();
    for (const auto& item : menu.itemArray()) {
        if (item->isSeparatorItem()) {
            copy->addItem(HXMenuItem::separatorItem());
            continue;
        }
        auto c = std::make_shared<HXMenuItem>(item->title(), item->action(), "");
        c->setTag(item->tag());
        copy->addItem(c);
    }
    return copy;
}

} // namespace

MVPTrackAudioInspector::MVPTrackAudioInspector(
    const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle, const MVMediaKeys& mediaKeys)
    : MVPAudioInspector(object, std::move(bundle))
    , _offerEightChannelLayouts(mediaKeys.boolForType("OfferEightChannelLayouts", true))
{
    // The discrete channels offered: as many as the sound device or the movie has, whichever is more.
    const auto& movie = _object.movie();
    int deviceChannels = movie ? MVMoviePlayback::outputDeviceChannelCount(*movie) : 0;
    _discreteChannels = std::max(deviceChannels, numMovieAudioChannels());

    const auto& track = _object.track();
    auto channels = track ? MVTrackAudioChannelCount(*track) : std::nullopt;
    if (!channels || *channels <= 0)
        return;
    int count = *channels;
    auto layout = MVTrackAudioChannelLayout(*track);
    if (!layout && count == 1)
        layout = MVAudioChannelLayoutForTag(MVChannelLayoutTagMono);
    else if (!layout && count == 2)
        layout = MVAudioChannelLayoutForTag(MVChannelLayoutTagStereo);
    if (layout && int(layout->descriptions.size()) != count && layout->tag != MVChannelLayoutTagUseChannelDescriptions) {
        layout = layout->tag == MVChannelLayoutTagUseChannelBitmap ? MVAudioChannelLayoutForBitmap(layout->bitmap)
                                                                   : MVAudioChannelLayoutForTag(layout->tag);
    }
    if (!layout) {
        layout = MVAudioChannelLayout {};
        layout->descriptions.assign(size_t(count), { MVChannelLabelMono, 0, {} });
    }
    // A stored layout may describe fewer channels than the track has: the rest count as mono.
    if (int(layout->descriptions.size()) < count)
        layout->descriptions.resize(size_t(count), { MVChannelLabelMono, 0, {} });

    for (int i = 0; i < count; ++i) {
        auto cell = std::make_shared<HXPopUpButtonCell>();
        cell->setBordered(false);
        long selected = -1;
        cell->setMenu(channelAssignmentsMenu(_discreteChannels, layout->descriptions[size_t(i)].label, &selected));
        _channelIndexes.push_back(selected);
        if (selected >= 0)
            cell->selectItemAtIndex(selected);
        _popupsArray.push_back(cell);
    }
}

MVPTrackAudioInspector::~MVPTrackAudioInspector()
{
    // Solo never outlives the pane.
    if (_solo)
        takeValueForKey(false, "solo");
}

int MVPTrackAudioInspector::numMovieAudioChannels() const
{
    int sum = 0;
    if (const auto& movie = _object.movie()) {
        for (const auto& t : movie->tracks())
            if (t->isEnabled() && t->mediaType() == kSoundType)
                sum += MVTrackAudioChannelCount(*t).value_or(0);
    }
    return sum;
}

std::shared_ptr<HXMenu> MVPTrackAudioInspector::channelAssignmentsMenu(int numDiscreteChannels, uint32_t label, long* selectedIndex)
{
    long found = -1;
    if (!_vanillaChannelLabelsMenu) {
        _vanillaChannelLabelsMenu = std::make_shared<HXMenu>();
        std::vector<uint32_t> labels = labelList(_offerEightChannelLayouts);
        for (int n = 0; n < numDiscreteChannels; ++n)
            labels.push_back(MVChannelLabelDiscrete0 + uint32_t(n));
        labels.push_back(MVChannelLabelUnused);
        for (uint32_t l : labels) {
            auto name = MVAudioChannelLabelName(l);
            if (!name)
                continue;
            auto item = std::make_shared<HXMenuItem>(*name, HXSelector(), "");
            item->setTag(long(l));
            _vanillaChannelLabelsMenu->addItem(item);
        }
    }
    auto menu = copyOfMenu(*_vanillaChannelLabelsMenu);
    found = menu->indexOfItemWithTag(long(label));
    if (found < 0) {
        auto name = MVAudioChannelLabelName(label);
        if (!name)
            name = MVAudioChannelLabelName(MVChannelLabelUnknown);
        if (name) {
            menu->addItem(HXMenuItem::separatorItem());
            auto item = std::make_shared<HXMenuItem>(*name, HXSelector(), "");
            item->setTag(long(label));
            menu->addItem(item);
            found = menu->numberOfItems() - 1;
        }
    }
    if (selectedIndex)
        *selectedIndex = found;
    return menu;
}

void MVPTrackAudioInspector::setValueForChannel(long index, long channel, bool display)
{
    if (channel < 0 || size_t(channel) >= _channelIndexes.size())
        return;
    const auto& cell = _popupsArray[size_t(channel)];
    if (index < 0 || index >= cell->numberOfItems() || cell->itemAtIndex(index)->isSeparatorItem())
        return; // not an item of the channel's menu
    long old = _channelIndexes[size_t(channel)];
    _channelIndexes[size_t(channel)] = index;
    cell->selectItemAtIndex(index);

    MVAudioChannelLayout layout;
    for (size_t row = 0; row < _popupsArray.size(); ++row) {
        auto item = _popupsArray[row]->itemAtIndex(_channelIndexes[row]);
        // A channel whose label could not be named keeps the unknown label.
        uint32_t label = item ? uint32_t(item->tag()) : MVChannelLabelUnknown;
        layout.descriptions.push_back({ label, 0, {} });
    }
    if (layout.descriptions.size() > 1 || layout.descriptions[0].label == MVChannelLabelMono) {
        if (auto tag = MVAudioChannelLayoutTagForDescriptions(layout.descriptions))
            layout.tag = *tag;
    }
    MVTrackSetAudioChannelLayout(*_object.track(), layout);
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this, old, channel] { setValueForChannel(old, channel, true); });
    if (display && _table)
        _table->setNeedsDisplay(true);
}

HXPropertyList MVPTrackAudioInspector::valueForKey(const std::string& key) const
{
    if (key == "solo")
        return isSolo();
    return MVPAudioInspector::valueForKey(key);
}

bool MVPTrackAudioInspector::validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current)
{
    if (key == "solo") {
        if (!value.isBoolean() && !value.isNumber())
            return false;
        value = MVPCoerceLike(value, current);
        return true;
    }
    return MVPAudioInspector::validateValue(value, key, current);
}

void MVPTrackAudioInspector::takeValueForKey(const HXPropertyList& value, const std::string& key)
{
    if (key == "solo")
        setSolo(value.boolValue());
    else
        MVPAudioInspector::takeValueForKey(value, key);
}

void MVPTrackAudioInspector::setSolo(bool solo)
{
    const auto& movie = _object.movie();
    if (!movie || solo == isSolo())
        return;
    if (solo) {
        std::map<uint32_t, bool> former;
        for (const auto& t : movie->tracks()) {
            former[t->trackID()] = t->isMuted();
            t->setMuted(true);
        }
        _object.track()->setMuted(false);
        _solo = std::move(former);
    } else {
        for (const auto& [trackID, muted] : *_solo)
            if (auto t = movie->trackByID(trackID))
                t->setMuted(muted);
        _solo.reset();
    }
    didChangeValueForKey("muted");
}

void MVPTrackAudioInspector::stopInspection()
{
    setValueForKey(false, "solo");
    MVPAudioInspector::stopInspection();
}

std::shared_ptr<HXCell> MVPTrackAudioInspector::dataCellForRow(long row) const
{
    if (row < 0 || size_t(row) >= _popupsArray.size())
        return nullptr;
    return _popupsArray[size_t(row)];
}

long MVPTrackAudioInspector::numberOfRowsInTableView(HXTableView&)
{
    return long(_channelIndexes.size());
}

HXPropertyList MVPTrackAudioInspector::objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row)
{
    if (!column || row < 0 || size_t(row) >= _channelIndexes.size())
        return {};
    if (column->identifier() == "label")
        return int64_t(row + 1);
    if (column->identifier() == "assignment")
        return int64_t(_channelIndexes[size_t(row)]);
    return {};
}

void MVPTrackAudioInspector::setObjectValue(HXTableView&, const HXPropertyList& value, HXTableColumn* column, long row)
{
    if (!column || column->identifier() != "assignment" || row < 0 || size_t(row) >= _channelIndexes.size()
        || !value.isNumber())
        return;
    if (value.integerValue() != _channelIndexes[size_t(row)])
        setValueForChannel(long(value.integerValue()), row, false);
}

void MVPTrackAudioInspector::buildView()
{
    MVPAudioInspector::buildView();
    auto solo = MVPMakeCheckBox(HXRect { { 84, 35 }, { 160, 18 } }, MVPLocalizedString(_bundle, "Solo"));
    _view->addSubview(solo);
    bindControl(solo, "solo");

    auto scroll = std::make_shared<HXView>(HXRect { { 260, 8 }, { 276, 239 } });
    _view->addSubview(scroll);
    _table = MVPMakeTable(scroll, HXRect { {}, { 276, 239 } }, {}, {});
    auto label = std::make_shared<HXTableColumn>("label");
    label->setTitle(MVPLocalizedString(_bundle, "label"));
    label->setWidth(60);
    _table->addTableColumn(label);
    auto assignment = std::make_shared<MVPUniqueCellTableColumn>("assignment");
    assignment->setTitle(MVPLocalizedString(_bundle, "assignment"));
    assignment->setWidth(190);
    assignment->setEditable(true);
    _table->addTableColumn(assignment);
    _table->setDataSource(std::dynamic_pointer_cast<MVPTrackAudioInspector>(shared_from_this()));
}

void MVPTrackAudioInspector::didLoadView()
{
    const auto& track = _object.track();
    if (track && track->mediaType() == kSoundType) {
        if (auto column = std::dynamic_pointer_cast<MVPUniqueCellTableColumn>(_table->tableColumnWithIdentifier("assignment")))
            column->delegate = [this](long row) { return dataCellForRow(row); };
        _table->reloadData();
        return;
    }
    // No channel table for other media: the pane narrows to the controls left of it.
    std::shared_ptr<HXView> holder = _table;
    while (holder && holder->superview() != _view)
        holder = holder->superview();
    if (!holder)
        return;
    double left = holder->frame().origin.x;
    holder->removeFromSuperview();
    HXRect bounds = _view->bounds();
    _view->setAutoresizesSubviews(false);
    _view->setFrameSize({ _view->frame().size.width - (bounds.origin.x + bounds.size.width - left), _view->frame().size.height });
    _view->setAutoresizesSubviews(true);
    _table.reset();
}
