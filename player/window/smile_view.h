#pragma once
// MVPSmileView: the soft curved shade across the top of the controls strip, with an optional label
// (the environment variable MOVARA_PLAYER_SHOW_LABEL, read once per process) for builds shown to testers.
#include "platform/winkit/view.h"

#include <optional>
#include <string>

class MVPSmileView : public HXView {
public:
    explicit MVPSmileView(HXRect frame = HXZeroRect);

    void drawRect(HXRect dirtyRect) override;

    // The label drawn in the corner, if any.
    static const std::optional<std::string>& label();

private:
    static std::optional<std::string>& storedLabel();
};
