#pragma once
// HXFormatter: turns a cell's object value into the text it shows and back, and judges text while it is
// typed. Subclasses answer the three questions; the text field asks them as the user edits.
#include "platform/basekit/property_list.h"

#include <string>

class HXFormatter {
public:
    virtual ~HXFormatter() = default;

    // The text shown for `value` (empty for a value the formatter does not know).
    virtual std::string stringForObjectValue(const HXPropertyList& value) const = 0;
    // The text put in the field editor when editing starts (the shown text unless overridden).
    virtual std::string editingStringForObjectValue(const HXPropertyList& value) const
    {
        return stringForObjectValue(value);
    }
    // Reads `string` into `value`; false (with a reason in `errorDescription`) when it is not a value.
    virtual bool getObjectValue(HXPropertyList& value, const std::string& string, std::string* errorDescription) const = 0;
    // Judges text being typed. False refuses the change; a refusal may propose `newString` to show instead.
    virtual bool isPartialStringValid(const std::string& partialString, std::string* newString,
        std::string* errorDescription) const
    {
        (void)partialString;
        (void)newString;
        (void)errorDescription;
        return true;
    }
};
