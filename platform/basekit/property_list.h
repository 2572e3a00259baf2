#pragma once
// HXPropertyList: one value of a property list — string, 64-bit integer, real, boolean, date, data,
// array or dictionary — with reading and writing of the XML form.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class HXError;

// A point in time, as seconds since 2001-01-01 00:00:00 UTC (the property-list reference date).
struct HXDate {
    double secondsSinceReferenceDate = 0;
    static HXDate now();
    static HXDate fromUnixTime(double seconds) { return { seconds - 978307200.0 }; }
    double unixTime() const { return secondsSinceReferenceDate + 978307200.0; }
    auto operator<=>(const HXDate&) const = default;
};

// Raw bytes, distinct from text.
struct HXData {
    std::vector<uint8_t> bytes;
    HXData() = default;
    explicit HXData(std::vector<uint8_t> b)
        : bytes(std::move(b))
    {
    }
    explicit HXData(std::string_view s)
        : bytes(s.begin(), s.end())
    {
    }
    std::string_view view() const { return { reinterpret_cast<const char*>(bytes.data()), bytes.size() }; }
    size_t size() const { return bytes.size(); }
    bool operator==(const HXData&) const = default;
};

class HXPropertyList {
public:
    enum class Type { Null, String, Integer, Real, Boolean, Date, Data, Array, Dictionary };
    using Array = std::vector<HXPropertyList>;
    using Dictionary = std::map<std::string, HXPropertyList>;

    HXPropertyList() = default; // Null: "no value" (never written; reading a missing key gives it)
    HXPropertyList(std::string s)
        : _v(std::move(s))
    {
    }
    HXPropertyList(const char* s)
        : _v(std::string(s))
    {
    }
    HXPropertyList(std::string_view s)
        : _v(std::string(s))
    {
    }
    HXPropertyList(int64_t i)
        : _v(i)
    {
    }
    HXPropertyList(int i)
        : _v(int64_t(i))
    {
    }
    HXPropertyList(unsigned i)
        : _v(int64_t(i))
    {
    }
    HXPropertyList(long long i)
        : _v(int64_t(i))
    {
    }
    HXPropertyList(unsigned long i)
        : _v(int64_t(i))
    {
    }
    HXPropertyList(double d)
        : _v(d)
    {
    }
    HXPropertyList(bool b)
        : _v(b)
    {
    }
    HXPropertyList(HXDate d)
        : _v(d)
    {
    }
    HXPropertyList(HXData d)
        : _v(std::move(d))
    {
    }
    HXPropertyList(Array a)
        : _v(std::move(a))
    {
    }
    HXPropertyList(Dictionary d)
        : _v(std::move(d))
    {
    }

    Type type() const { return Type(_v.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isString() const { return type() == Type::String; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isBoolean() const { return type() == Type::Boolean; }
    bool isDate() const { return type() == Type::Date; }
    bool isData() const { return type() == Type::Data; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed reads. A value of another type gives the type's zero value, as a lenient reader of user
    // data would; numbers convert between integer, real and boolean; a string is parsed as a number.
    std::string stringValue() const;
    int64_t integerValue() const;
    double realValue() const;
    bool boolValue() const;
    HXDate dateValue() const;
    HXData dataValue() const;
    const Array& arrayValue() const;
    const Dictionary& dictionaryValue() const;
    Array& mutableArray(); // turns a Null value into an empty array first
    Dictionary& mutableDictionary(); // turns a Null value into an empty dictionary first

    // Dictionary member (Null when absent or when this is no dictionary) and array element.
    const HXPropertyList& operator[](const std::string& key) const;
    const HXPropertyList& operator[](size_t index) const;
    bool contains(const std::string& key) const;
    size_t count() const; // elements of an array or dictionary, else 0

    // XML form: "<?xml ...?>" then the plist element; no document type declaration. Null values
    // inside arrays and dictionaries are left out; NUL characters in strings are dropped (XML has
    // no way to carry them).
    std::string toXML() const;
    // The same, but a string or key holding a NUL character, or a Null value at the top, is an
    // HXPropertyListWriteInvalidError instead of a changed document.
    std::optional<std::string> xmlData(HXError* error = nullptr) const;
    // Reads the XML form (binary property lists are accepted too). Malformed or truncated input
    // gives std::nullopt and, when `error` is given, an HXPropertyListReadCorruptError. Input
    // larger than maximumInputSize, nested deeper than maximumNestingDepth, or (binary) expanding
    // to more than maximumNodeCount values through shared references is refused the same way.
    static constexpr size_t maximumInputSize = size_t(256) << 20;
    static constexpr int maximumNestingDepth = 512;
    static constexpr size_t maximumNodeCount = 1'000'000;
    static std::optional<HXPropertyList> fromXML(std::string_view bytes, HXError* error = nullptr);
    // Whole files; writing is atomic (a temporary file in the same folder, synced, renamed over the
    // target). Reading a missing file gives HXFileNoSuchFileError, an unreadable one
    // HXFileReadUnknownError (both with the POSIX error underneath), a malformed one
    // HXPropertyListReadCorruptError; errors carry the path under HXFilePathErrorKey.
    static std::optional<HXPropertyList> readFromFile(const std::string& path, HXError* error = nullptr);
    bool writeToFile(const std::string& path, HXError* error = nullptr) const;

    bool operator==(const HXPropertyList& other) const;

private:
    std::variant<std::monostate, std::string, int64_t, double, bool, HXDate, HXData, Array, Dictionary> _v;
};
