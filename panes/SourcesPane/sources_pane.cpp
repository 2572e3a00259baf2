#include "sources_pane.h"

#include "pane_views.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/media.h"

#include <cfloat>

MVPSourcesPane::MVPSourcesPane(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host)
    : selectFileInFileViewer(MVPSelectFileInFileViewer)
    , _bundle(std::move(bundle))
    , _host(host)
{
    if (object.isTrack()) {
        if (const auto& media = object.track()->media())
            _dataRefs = media->dataReferences();
    } else if (object.movie()) {
        _dataRefs = object.movie()->dataReferences();
    }
}

std::shared_ptr<HXView> MVPSourcesPane::view()
{
    if (_view)
        return _view;
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    _view->setAutoresizesSubviews(true);
    _table = MVPMakeTable(_view, HXRect { { 8, 40 }, { 528, 207 } }, { "name", "source" },
        { MVPLocalizedString(_bundle, "name"), MVPLocalizedString(_bundle, "source") });
    _table->setAllowsMultipleSelection(true);
    auto self = shared_from_this();
    _table->setDataSource(std::dynamic_pointer_cast<MVPSourcesPane>(self));
    _table->setTarget(self);
    _table->setDoubleAction("open:");
    setActionHandler("open:", [this](HXObject* sender) { open(sender); });
    setActionHandler("reveal:", [this](HXObject* sender) { reveal(sender); });

    auto button = MVPMakePushButton(HXRect { { 8, 8 }, { 140, 24 } }, MVPLocalizedString(_bundle, "Show in Folder"));
    button->setTarget(self);
    button->setAction("reveal:");
    _view->addSubview(button);
    _table->reloadData();
    return _view;
}

HXSize MVPSourcesPane::maxViewSize()
{
    return { FLT_MAX, FLT_MAX };
}

std::string MVPSourcesPane::kindName(const MVDataReference& ref) const
{
    const char* kind = "Unknown";
    switch (ref.kind()) {
    case MVDataReference::Kind::File: kind = "File"; break;
    case MVDataReference::Kind::URL: kind = "URL"; break;
    case MVDataReference::Kind::Memory: kind = "Handle"; break;
    case MVDataReference::Kind::Other:
    case MVDataReference::Kind::None: break;
    }
    return MVPLocalizedString(_bundle, kind);
}

std::string MVPSourcesPane::sourceForReference(const MVDataReference& ref) const
{
    std::string file = ref.referenceFilePath();
    if (!file.empty())
        return file;
    if (auto url = ref.referenceURL())
        return url->relativeString();
    if (!ref.MIMEType().empty())
        return ref.MIMEType();
    return kindName(ref);
}

std::string MVPSourcesPane::nameForReference(const MVDataReference& ref) const
{
    if (!ref.name().empty())
        return ref.name();
    std::string file = ref.referenceFilePath();
    if (ref.kind() == MVDataReference::Kind::File && !file.empty())
        return HXFileManager::defaultManager().displayNameAtPath(file);
    if (ref.kind() == MVDataReference::Kind::URL) {
        if (auto url = ref.referenceURL()) {
            std::string last = HXString::lastPathComponent(url->relativeString());
            if (!last.empty())
                return last;
        }
    }
    return MVPLocalizedString(_bundle, "Unavailable");
}

void MVPSourcesPane::open(HXObject*)
{
    if (!_table || !_host)
        return;
    for (long row : _table->selectedRowIndexes()) {
        if (row >= 0 && size_t(row) < _dataRefs.size())
            _host->createMovieDocumentWithDataRef(_dataRefs[size_t(row)], true);
    }
}

void MVPSourcesPane::reveal(HXObject*)
{
    if (!_table || !selectFileInFileViewer)
        return;
    for (long row : _table->selectedRowIndexes()) {
        if (row < 0 || size_t(row) >= _dataRefs.size())
            continue;
        std::string file = _dataRefs[size_t(row)].referenceFilePath();
        if (!file.empty())
            selectFileInFileViewer(file);
    }
}

long MVPSourcesPane::numberOfRowsInTableView(HXTableView&)
{
    return long(_dataRefs.size());
}

HXPropertyList MVPSourcesPane::objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row)
{
    if (!column || row < 0 || size_t(row) >= _dataRefs.size())
        return HXPropertyList(std::string());
    const auto& ref = _dataRefs[size_t(row)];
    if (column->identifier() == "source")
        return HXPropertyList(sourceForReference(ref));
    if (column->identifier() == "name")
        return HXPropertyList(nameForReference(ref));
    return HXPropertyList(std::string());
}

std::shared_ptr<MVPPropertyInspector> MVPSourcesPaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (!object)
        return nullptr;
    return std::make_shared<MVPSourcesPane>(object, bundle(), host());
}
