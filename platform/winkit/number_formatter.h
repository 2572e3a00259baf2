#pragma once
// HXNumberFormatter: numbers as plain decimal text, with optional limits and a fixed number of fraction
// digits. Partial text is accepted while it can still become a number (a lone "-" or "1." is fine).
#include "platform/winkit/formatter.h"

#include <optional>

class HXNumberFormatter : public HXFormatter {
public:
    std::optional<double> minimum() const { return _minimum; }
    void setMinimum(std::optional<double> value) { _minimum = value; }
    std::optional<double> maximum() const { return _maximum; }
    void setMaximum(std::optional<double> value) { _maximum = value; }
    bool allowsFloats() const { return _allowsFloats; }
    void setAllowsFloats(bool flag) { _allowsFloats = flag; }
    int minimumFractionDigits() const { return _minimumFractionDigits; }
    void setMinimumFractionDigits(int digits) { _minimumFractionDigits = digits; }
    int maximumFractionDigits() const { return _maximumFractionDigits; }
    void setMaximumFractionDigits(int digits) { _maximumFractionDigits = digits; }

    std::string stringForObjectValue(const HXPropertyList& value) const override;
    bool getObjectValue(HXPropertyList& value, const std::string& string, std::string* errorDescription) const override;
    bool isPartialStringValid(const std::string& partialString, std::string* newString,
        std::string* errorDescription) const override;

private:
    std::optional<double> _minimum;
    std::optional<double> _maximum;
    bool _allowsFloats = true;
    int _minimumFractionDigits = 0;
    int _maximumFractionDigits = 3;
};
