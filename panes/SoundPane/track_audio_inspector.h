#pragma once
// MVPTrackAudioInspector: the audio settings of one track, its solo switch (every other track of the
// movie silenced while the pane shows it) and, for a sound track, the speaker assignment of each channel.
#include "audio_inspector.h"

#include "platform/mvkit/audio_channel_layout.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button_cell.h"
#include "platform/winkit/table_column.h"
#include "platform/winkit/table_view.h"

#include <map>
#include <optional>

// A table column that asks its delegate for the data cell of each row.
class MVPUniqueCellTableColumn : public HXTableColumn {
public:
    using HXTableColumn::HXTableColumn;
    std::function<std::shared_ptr<HXCell>(long row)> delegate;
    std::shared_ptr<HXCell> dataCellForRow(long row) const override
    {
        return delegate ? delegate(row) : HXTableColumn::dataCellForRow(row);
    }
};

class MVPTrackAudioInspector : public MVPAudioInspector, public HXTableViewDataSource {
public:
    // `mediaKeys` says whether eight-channel labels are offered ("OfferEightChannelLayouts").
    MVPTrackAudioInspector(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle,
        const MVMediaKeys& mediaKeys = MVMediaKeys::mediaKeys());
    ~MVPTrackAudioInspector() override;

    void stopInspection() override;
    HXPropertyList valueForKey(const std::string& key) const override;

    bool isSolo() const { return _solo.has_value(); }
    void setSolo(bool solo);
    // Channels of the movie's enabled sound tracks.
    int numMovieAudioChannels() const;

    // The label menu for `numDiscreteChannels` discrete channels with `label` selected (its index in
    // `selectedIndex`, -1 when the label could not be named).
    std::shared_ptr<HXMenu> channelAssignmentsMenu(int numDiscreteChannels, uint32_t label, long* selectedIndex);
    // Assigns the item at `index` of the channel's menu to the channel (undoable).
    void setValueForChannel(long index, long channel, bool display);

    const std::vector<long>& channelIndexes() const { return _channelIndexes; }
    const std::vector<std::shared_ptr<HXPopUpButtonCell>>& popups() const { return _popupsArray; }
    const std::shared_ptr<HXTableView>& table() const { return _table; }
    std::shared_ptr<HXCell> dataCellForRow(long row) const;

    long numberOfRowsInTableView(HXTableView& table) override;
    HXPropertyList objectValueForTableColumn(HXTableView& table, HXTableColumn* column, long row) override;
    void setObjectValue(HXTableView& table, const HXPropertyList& value, HXTableColumn* column, long row) override;

protected:
    void takeValueForKey(const HXPropertyList& value, const std::string& key) override;
    bool validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current) override;
    void buildView() override;
    void didLoadView() override;

private:
    int _discreteChannels = 0;
    bool _offerEightChannelLayouts = true;
    std::vector<long> _channelIndexes;
    std::shared_ptr<HXMenu> _vanillaChannelLabelsMenu;
    std::vector<std::shared_ptr<HXPopUpButtonCell>> _popupsArray;
    // While solo is on: each track's identifier and its former muted flag.
    std::optional<std::map<uint32_t, bool>> _solo;
    std::shared_ptr<HXTableView> _table;
};
