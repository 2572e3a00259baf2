#include "scripting/script_values.h"

#include "platform/basekit/scripting_coercion.h"
#include "platform/mvkit/movie.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace MVPScriptValues {

int64_t timeValue(const MVMovie& movie, MVTime time)
{
    if (!MVTimeIsNumeric(time))
        return 0;
    return MVTimeInScale(time, movie.timeScale()).timeValue;
}

MVTime timeFromValue(const MVMovie& movie, int64_t value)
{
    return MVMakeTime(std::clamp(value, -kLongestScriptTime, kLongestScriptTime), movie.timeScale());
}

bool mayGrowBy(const MVMovie& movie, int64_t added)
{
    return added <= kLongestScriptTime && movie.durationValue() <= kLongestScriptTime - added;
}

int64_t timeDifference(int64_t later, int64_t earlier)
{
    int64_t difference = 0;
    if (__builtin_sub_overflow(later, earlier, &difference))
        return later > earlier ? INT64_MAX : INT64_MIN;
    return difference;
}

int16_t int16Truncating(double value)
{
    if (std::isnan(value))
        return 0;
    return int16_t(std::clamp(std::trunc(value), -32768.0, 32767.0));
}

HXPropertyList record(double vertical, double horizontal)
{
    int16_t v[2] = { int16Truncating(vertical), int16Truncating(horizontal) };
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), v, 4);
    return HXPropertyList(HXData(std::move(bytes)));
}

HXScriptValue pointValue(double vertical, double horizontal)
{
    return HXScriptValue::typed(record(vertical, horizontal), "point");
}

HXScriptValue sizeValue(double height, double width)
{
    return HXScriptValue::typed(record(height, width), "size");
}

HXScriptValue rectangleValue(int16_t top, int16_t left, int16_t bottom, int16_t right)
{
    int16_t v[4] = { top, left, bottom, right };
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), v, 8);
    return HXScriptValue::typed(HXPropertyList(HXData(std::move(bytes))), "rectangle");
}

std::optional<std::pair<int16_t, int16_t>> pointFromValue(const HXScriptValue& value)
{
    if (value.isPropertyList() && value.propertyList().isData()) {
        const auto& bytes = value.propertyList().dataValue().bytes;
        if (bytes.size() != 4)
            return std::nullopt;
        int16_t v[2];
        std::memcpy(v, bytes.data(), 4);
        return std::pair { v[0], v[1] };
    }
    auto list = HXScriptCoercionHandler::sharedCoercionHandler().coerce(value, "list");
    if (!list || list->list().size() != 2)
        return std::nullopt;
    int16_t v[2];
    for (size_t i = 0; i < 2; ++i) {
        auto n = HXScriptCoercionHandler::sharedCoercionHandler().coerce(list->list()[i], "real");
        if (!n)
            return std::nullopt;
        v[i] = int16Truncating(n->propertyList().realValue());
    }
    return std::pair { v[0], v[1] };
}

HXPropertyList colorRecord(const HXColor& color)
{
    HXColor rgb = color.colorUsingSpace(HXColor::Space::CalibratedRGB);
    uint16_t c[3];
    double components[3] = { rgb.redComponent(), rgb.greenComponent(), rgb.blueComponent() };
    for (int i = 0; i < 3; ++i)
        c[i] = uint16_t(std::clamp(components[i], 0.0, 1.0) * 65535);
    std::vector<uint8_t> bytes(6);
    std::memcpy(bytes.data(), c, 6);
    return HXPropertyList(HXData(std::move(bytes)));
}

HXScriptValue colorValue(const HXColor& color)
{
    return HXScriptValue::typed(colorRecord(color), "color");
}

HXScriptValue colorValue(const std::array<uint16_t, 3>& rgb)
{
    std::vector<uint8_t> bytes(6);
    std::memcpy(bytes.data(), rgb.data(), 6);
    return HXScriptValue::typed(HXPropertyList(HXData(std::move(bytes))), "color");
}

std::optional<std::array<uint16_t, 3>> rgbFromValue(const HXScriptValue& value)
{
    std::array<uint16_t, 3> rgb {};
    if (value.isPropertyList() && value.propertyList().isData()) {
        // A colour as it was read: the record itself.
        const auto& bytes = value.propertyList().dataValue().bytes;
        if (bytes.size() != 6)
            return std::nullopt;
        std::memcpy(rgb.data(), bytes.data(), 6);
        return rgb;
    }
    HXScriptValue::List items;
    if (value.isList())
        items = value.list();
    else if (value.isPropertyList() && value.propertyList().isArray())
        for (const auto& e : value.propertyList().arrayValue())
            items.emplace_back(e);
    if (items.size() != 3)
        return std::nullopt;
    for (size_t i = 0; i < 3; ++i) {
        auto n = HXScriptCoercionHandler::sharedCoercionHandler().coerce(items[i], "integer");
        if (!n)
            return std::nullopt;
        rgb[i] = uint16_t(n->propertyList().integerValue());
    }
    return rgb;
}

HXColor colorFromValue(const HXScriptValue& value)
{
    auto rgb = rgbFromValue(value).value_or(std::array<uint16_t, 3> {});
    return HXColor::colorWithCalibratedRed(rgb[0] / 65535.0, rgb[1] / 65535.0, rgb[2] / 65535.0, 1);
}

uint32_t fourCC(const char (&text)[5])
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16)
        | (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}

HXScriptValue code(const char (&text)[5])
{
    return codeValue(fourCC(text));
}

HXScriptValue codeValue(uint32_t code)
{
    return HXScriptValue::typed(HXPropertyList(int64_t(code)), "code");
}

std::optional<uint32_t> codeFromValue(const HXScriptValue& value)
{
    auto c = HXScriptCoercionHandler::sharedCoercionHandler().coerce(value, "code");
    if (!c || !c->isPropertyList())
        return std::nullopt;
    return uint32_t(c->propertyList().integerValue());
}

} // namespace MVPScriptValues
