#pragma once
// Small helpers the panes build their views with, and the desktop calls they share.
#include "platform/basekit/bundle.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/button.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/table_column.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/text_field.h"

#include <memory>
#include <string>
#include <vector>

// A non-editable, borderless label.
std::shared_ptr<HXTextField> MVPMakeLabel(HXRect frame, const std::string& text, int alignment = 0);
// A check box titled `title`.
std::shared_ptr<HXButton> MVPMakeCheckBox(HXRect frame, const std::string& title);
// A push button titled `title`.
std::shared_ptr<HXButton> MVPMakePushButton(HXRect frame, const std::string& title);

// A table with one column per identifier (titles from `titles`, same order), inside a scroll view of
// `frame` that is added to `parent`. Answers the table.
std::shared_ptr<HXTableView> MVPMakeTable(const std::shared_ptr<HXView>& parent, HXRect frame,
    const std::vector<std::string>& identifiers, const std::vector<std::string>& titles);
HXTableColumn* MVPTableColumn(HXTableView& table, const std::string& identifier);

// The bundle's string for `key` in `table` ("Localizable" when empty); the key itself without a bundle.
std::string MVPLocalizedString(const std::shared_ptr<HXBundle>& bundle, const std::string& key,
    const std::string& table = {});

// Shows `path` selected in the desktop's file manager (its ShowItems call on the session bus; when no file
// manager answers it, the folder holding it opened). False when neither could be started.
bool MVPSelectFileInFileViewer(const std::string& path);
// `text` as a GVariant string literal: in single quotes, with quotes and backslashes escaped.
std::string MVPGVariantStringLiteral(const std::string& text);
