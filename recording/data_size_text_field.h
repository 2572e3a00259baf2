#pragma once
// MVPDataSizeTextField: the recording window's read-only size of the file being recorded, with one
// decimal and a unit ("12.3 MB"), embossed: drawn once in a light colour one point up, then in the text
// colour.
#include "platform/winkit/text_field.h"

#include <cstdint>
#include <memory>
#include <string>

class MVPDataSizeTextField : public HXTextField {
public:
    static std::shared_ptr<MVPDataSizeTextField> dataSizeTextFieldWithFrame(HXRect frame);
    explicit MVPDataSizeTextField(HXRect frame);

    // Shows `bytes`; redraws only when the text changes.
    void setDataSize(uint64_t bytes);
    // The text for `bytes`: whole, tenth (both truncated) and the localized unit.
    static std::string dataSizeString(uint64_t bytes);

    void drawRect(HXRect dirtyRect) override;
};
