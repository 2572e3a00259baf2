#include "pane_views.h"

#include "platform/basekit/strings.h"
#include "platform/basekit/task.h"
#include "platform/basekit/url.h"

#include <filesystem>

std::shared_ptr<HXTextField> MVPMakeLabel(HXRect frame, const std::string& text, int alignment)
{
    auto label = std::make_shared<HXTextField>(frame);
    label->setEditable(false);
    label->setSelectable(false);
    label->setBezeled(false);
    label->setBordered(false);
    label->setDrawsBackground(false);
    label->setAlignment(HXTextAlignment(alignment));
    label->setStringValue(text);
    return label;
}

std::shared_ptr<HXButton> MVPMakeCheckBox(HXRect frame, const std::string& title)
{
    auto box = std::make_shared<HXButton>(frame, title);
    box->setButtonType(HXSwitchButton);
    return box;
}

std::shared_ptr<HXButton> MVPMakePushButton(HXRect frame, const std::string& title)
{
    auto button = std::make_shared<HXButton>(frame, title);
    button->setBezelStyle(HXRoundedBezelStyle);
    return button;
}

std::shared_ptr<HXTableView> MVPMakeTable(const std::shared_ptr<HXView>& parent, HXRect frame,
    const std::vector<std::string>& identifiers, const std::vector<std::string>& titles)
{
    auto scroll = std::make_shared<HXScrollView>(frame);
    scroll->setHasVerticalScroller(true);
    auto table = std::make_shared<HXTableView>(HXRect { {}, frame.size });
    double width = (frame.size.width - 20) / double(std::max<size_t>(identifiers.size(), 1));
    for (size_t i = 0; i < identifiers.size(); ++i) {
        auto column = std::make_shared<HXTableColumn>(identifiers[i]);
        column->setTitle(i < titles.size() ? titles[i] : identifiers[i]);
        column->setWidth(width);
        table->addTableColumn(column);
    }
    scroll->setDocumentView(table);
    scroll->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    parent->addSubview(scroll);
    return table;
}

HXTableColumn* MVPTableColumn(HXTableView& table, const std::string& identifier)
{
    return table.tableColumnWithIdentifier(identifier).get();
}

std::string MVPLocalizedString(const std::shared_ptr<HXBundle>& bundle, const std::string& key, const std::string& table)
{
    return bundle ? bundle->localizedStringForKey(key, {}, table) : key;
}

std::string MVPGVariantStringLiteral(const std::string& text)
{
    std::string literal = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            literal += '\\';
        literal += c;
    }
    return literal + "'";
}

bool MVPSelectFileInFileViewer(const std::string& path)
{
    namespace fs = std::filesystem;
    auto task = [](const std::string& program, std::vector<std::string> arguments) -> std::shared_ptr<HXTask> {
        if (!fs::exists(program))
            return nullptr;
        auto task = HXTask::task();
        task->setLaunchPath(program);
        task->setArguments(std::move(arguments));
        task->setStandardInput(HXTaskStream::Null);
        task->setStandardOutput(HXTaskStream::Null);
        task->setStandardError(HXTaskStream::Null);
        return task->launch() ? task : nullptr;
    };
    // The file manager's ShowItems call answers at once when no file manager offers it; a call still
    // running after a while has reached one (which may be starting up).
    constexpr double kCallWait = 2.0;
    std::string uri = HXURL::fileURLWithPath(path).absoluteString();
    if (auto call = task("/usr/bin/gdbus",
            { "call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                "/org/freedesktop/FileManager1", "--method", "org.freedesktop.FileManager1.ShowItems",
                "[" + MVPGVariantStringLiteral(uri) + "]", "''" })) {
        if (!call->waitUntilExit(kCallWait)
            || (call->terminationReason() == HXTaskTerminationReason::Exit && call->terminationStatus() == 0))
            return true;
    }
    return task("/usr/bin/xdg-open", { fs::path(path).parent_path().string() }) != nullptr;
}
