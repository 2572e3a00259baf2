// movara-script: sends one script request to the running player and prints the reply (see kHelp).
#include "app/request_server.h"
#include "platform/basekit/property_list.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

constexpr const char* kUsage
    = "usage: movara-script [--xml] [--timeout SECONDS] VERB ...   (movara-script --help tells more)";

constexpr const char* kHelp = R"(movara-script: drives the running Movara Player with script requests.

usage: movara-script [--xml] [--timeout SECONDS] VERB ARGUMENTS...
       movara-script [--xml] [--timeout SECONDS] --request < REQUEST.plist

Verbs:
  get PATH                    the value PATH names
  set PATH VALUE              writes a property
  count PATH                  how many objects or values PATH names
  exists PATH                 whether PATH names something
  make PATH KEY VALUE [N]     makes VALUE an element KEY of the object PATH (at position N); prints it
  delete PATH                 removes the element PATH names
  keys [PATH]                 the properties, elements and commands of the object PATH (the application
                              without one)
  do COMMAND [PATH] [--direct VALUE] [Key=VALUE]...
                              sends COMMAND to the object PATH (the application without one)
  open FILE...                opens files in the player

PATH: keys joined by dots, each a property ("currentTime"), an element by position from 1
  ("movies[1]", "tracks[-1]" the last), by name ("favorites[\"Film\"]"), by identifier
  ("orderedDocuments{3}") or all of them ("movies[*]"); "application" (or nothing) is the application.
VALUE: true, false, a number, a four-character code in single quotes ('norm'), a text (in double quotes
  or bare), a list [a, b, c], a record {key: value, ...}, or @PATH for the object PATH names. Points and
  sizes are lists vertical first ([height, width], [v, h]); colours are [red, green, blue] (0...65535).
  Relative file paths are taken from the current folder.

Answers: objects print as paths, codes as 'code', points and sizes as [v, h], rectangles as
  [top, left, bottom, right], colours as [red, green, blue], other data as hexadecimal bytes.

Options:
  --xml               prints the whole reply as an XML property list
  --timeout SECONDS   gives up when the player says nothing for that long (default 60; 0 waits as long
                      as the player runs); a player busy with a long command (an export) keeps saying
                      that it works, so the wait follows the request

Exit status: 0 done; 1 the player answered an error (printed as "error NUMBER: text", NUMBER being the
scripting error number); 2 the command line is wrong; 3 no player answered.

Examples:
  movara-script get 'movies[1].tracks[*].name'
  movara-script set 'movies[1].tracks[2].soundVolume' 128
  movara-script make 'movies[1]' annotationElements '{name: "Copyright", fullText: "2024 Us"}'
  movara-script do export 'movies[1]' As=mpg4 Destination=clip.mp4
)";

struct UsageError {
    std::string text;
};

std::optional<int64_t> parseInteger(std::string_view text)
{
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return v;
}

std::optional<double> parseReal(std::string_view text)
{
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return v;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && std::isspace(uint8_t(text.front())))
        text.erase(text.begin());
    while (!text.empty() && std::isspace(uint8_t(text.back())))
        text.pop_back();
    return text;
}

std::string unquoted(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return std::string(text.substr(1, text.size() - 2));
    return std::string(text);
}

// Splits at `separator` outside quotes and brackets.
std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::string current;
    int depth = 0;
    bool quoted = false;
    for (char ch : text) {
        if (ch == '"')
            quoted = !quoted;
        else if (!quoted && (ch == '[' || ch == '{'))
            ++depth;
        else if (!quoted && (ch == ']' || ch == '}'))
            --depth;
        if (ch == separator && depth == 0 && !quoted) {
            parts.push_back(current);
            current.clear();
        } else {
            current += ch;
        }
    }
    parts.push_back(current);
    return parts;
}

bool isIdentifier(std::string_view text)
{
    if (text.empty() || !(std::isalpha(uint8_t(text[0])) || text[0] == '_'))
        return false;
    for (char ch : text)
        if (!std::isalnum(uint8_t(ch)) && ch != '_')
            return false;
    return true;
}

std::optional<HXPropertyList> parsePath(const std::string& path);

HXPropertyList parseValue(const std::string& raw)
{
    std::string text = trimmed(raw);
    if (text == "true" || text == "false")
        return HXPropertyList(text == "true");
    if (auto i = parseInteger(text))
        return HXPropertyList(*i);
    if (auto d = parseReal(text))
        return HXPropertyList(*d);
    if (text.size() >= 2 && text.size() <= 6 && text.front() == '\'' && text.back() == '\'') {
        std::string code = text.substr(1, text.size() - 2);
        code.resize(4, ' ');
        uint32_t v = 0;
        for (char ch : code)
            v = (v << 8) | uint8_t(ch);
        return HXPropertyList(int64_t(v));
    }
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        Array list;
        std::string inner = text.substr(1, text.size() - 2);
        if (!trimmed(inner).empty())
            for (const auto& item : split(inner, ','))
                list.push_back(parseValue(item));
        return HXPropertyList(std::move(list));
    }
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
        // A record: {key: value, ...}.
        Dict record;
        std::string inner = text.substr(1, text.size() - 2);
        if (!trimmed(inner).empty())
            for (const auto& field : split(inner, ',')) {
                auto parts = split(field, ':');
                std::string key = unquoted(trimmed(parts.front()));
                if (parts.size() < 2 || key.empty())
                    throw UsageError { "\u201c" + trimmed(field)
                        + "\u201d is no field of a record (key: value)." };
                std::string value = field.substr(field.find(':') + 1);
                record[key] = parseValue(value);
            }
        return HXPropertyList(std::move(record));
    }
    if (text.size() > 1 && text.front() == '@') {
        auto objectSpec = parsePath(text.substr(1));
        if (!objectSpec)
            throw UsageError { "\u201c" + text + "\u201d names nothing." };
        return HXPropertyList(Dict { { "$specifier", *objectSpec } });
    }
    return HXPropertyList(unquoted(text));
}

// One step of a path as a specifier dictionary (its container added by the caller).
Dict parseStep(const std::string& step)
{
    auto open = step.find_first_of("[{");
    if (open == std::string::npos || open == 0)
        return { { "form", HXPropertyList("property") }, { "key", HXPropertyList(step) } };
    char close = step[open] == '[' ? ']' : '}';
    if (step.back() != close)
        throw UsageError { "\u201c" + step + "\u201d is not a path step." };
    Dict s { { "key", HXPropertyList(step.substr(0, open)) } };
    std::string inside = step.substr(open + 1, step.size() - open - 2);
    if (close == '}') {
        s["form"] = HXPropertyList("id");
        auto i = parseInteger(inside);
        s["value"] = i ? HXPropertyList(*i) : HXPropertyList(unquoted(inside));
    } else if (inside == "*") {
        s["form"] = HXPropertyList("every");
    } else if (auto i = parseInteger(inside)) {
        if (*i == 0)
            throw UsageError { "Positions count from 1 (or from -1 at the end)." };
        s["form"] = HXPropertyList("index");
        s["value"] = HXPropertyList(*i > 0 ? *i - 1 : *i);
    } else {
        s["form"] = HXPropertyList("name");
        s["value"] = HXPropertyList(unquoted(inside));
    }
    return s;
}

std::optional<HXPropertyList> parsePath(const std::string& path)
{
    if (path.empty() || path == "application")
        return std::nullopt;
    std::optional<HXPropertyList> objectSpec;
    for (const auto& step : split(path, '.')) {
        if (step.empty())
            throw UsageError { "\u201c" + path + "\u201d has an empty step." };
        Dict s = parseStep(step);
        if (objectSpec)
            s["container"] = *objectSpec;
        objectSpec = HXPropertyList(std::move(s));
    }
    return objectSpec;
}

// A specifier as a path again, for printing objects.
std::string pathOf(const HXPropertyList& objectSpec)
{
    std::string prefix = objectSpec.contains("container") ? pathOf(objectSpec["container"]) + "." : "";
    std::string key = objectSpec["key"].stringValue();
    std::string form = objectSpec["form"].stringValue();
    const auto& value = objectSpec["value"];
    if (form == "index")
        return prefix + key + "["
            + std::to_string(value.integerValue() >= 0 ? value.integerValue() + 1 : value.integerValue())
            + "]";
    if (form == "name")
        return prefix + key + "[\"" + value.stringValue() + "\"]";
    if (form == "id")
        return prefix + key + "{"
            + (value.isString() ? value.stringValue() : std::to_string(value.integerValue())) + "}";
    if (form == "every")
        return prefix + key + "[*]";
    return prefix + key;
}

// The 16-bit fields of a record in the player's byte order (the same machine's).
template<class T> std::string fieldsOf(const std::vector<uint8_t>& bytes)
{
    std::string out = "[";
    for (size_t at = 0; at + sizeof(T) <= bytes.size(); at += sizeof(T)) {
        T v;
        std::memcpy(&v, bytes.data() + at, sizeof(T));
        out += (at ? ", " : "") + std::to_string(v);
    }
    return out + "]";
}

std::string codeText(int64_t value)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((uint64_t(value) >> shift) & 0xFF);
        if (uint8_t(c) == 0xA9) {
            text += "\u00a9";
            continue;
        }
        if (!std::isprint(uint8_t(c)) || c == '\'')
            return std::to_string(value); // no readable code: the number
        text += c;
    }
    return "'" + text + "'";
}

std::string render(const HXPropertyList& value, const HXPropertyList& type = {})
{
    const std::string kind = type.isString() ? type.stringValue() : std::string();
    switch (value.type()) {
    case HXPropertyList::Type::Null:
        return "";
    case HXPropertyList::Type::String:
        return value.stringValue();
    case HXPropertyList::Type::Integer:
        return kind == "code" ? codeText(value.integerValue()) : std::to_string(value.integerValue());
    case HXPropertyList::Type::Real: {
        std::ostringstream out;
        out << value.realValue();
        return out.str();
    }
    case HXPropertyList::Type::Boolean:
        return value.boolValue() ? "true" : "false";
    case HXPropertyList::Type::Date:
        return std::to_string(value.dateValue().unixTime());
    case HXPropertyList::Type::Data: {
        const auto& bytes = value.dataValue().bytes;
        if (kind == "point" || kind == "size" || kind == "rectangle")
            return fieldsOf<int16_t>(bytes);
        if (kind == "color")
            return fieldsOf<uint16_t>(bytes);
        static const char* hex = "0123456789abcdef";
        std::string out = "<";
        for (size_t i = 0; i < bytes.size() && i < 64; ++i)
            out += std::string(i && i % 4 == 0 ? " " : "") + hex[bytes[i] >> 4] + hex[bytes[i] & 15];
        if (bytes.size() > 64)
            out += " ... " + std::to_string(bytes.size()) + " bytes";
        return out + ">";
    }
    case HXPropertyList::Type::Array: {
        std::string out = "[";
        for (size_t i = 0; i < value.count(); ++i)
            out += (i ? ", " : "")
                + render(value[i], type.isArray() && i < type.count() ? type[i] : HXPropertyList());
        return out + "]";
    }
    case HXPropertyList::Type::Dictionary:
        if (value.contains("$class"))
            return value.contains("$specifier") ? pathOf(value["$specifier"]) : value["$class"].stringValue();
        std::string out = "{";
        bool first = true;
        for (const auto& [k, v] : value.dictionaryValue()) {
            out += (first ? "" : ", ") + k + ": " + render(v);
            first = false;
        }
        return out + "}";
    }
    return "";
}

// What "keys" answers, a line for each kind of key.
std::string renderKeys(const HXPropertyList& keys)
{
    std::string out = "class: " + keys["class"].stringValue() + "\n";
    for (const char* part : { "properties", "elements", "commands" }) {
        out += std::string(part) + ":";
        for (const auto& k : keys[part].arrayValue())
            out += " " + k.stringValue();
        out += "\n";
    }
    return out;
}

// Key=VALUE of a command, unless the text is something else (a path holding '=').
std::optional<std::pair<std::string, std::string>> argumentOf(const std::string& text)
{
    auto eq = text.find('=');
    if (eq == std::string::npos || !isIdentifier(std::string_view(text).substr(0, eq)))
        return std::nullopt;
    return std::pair { text.substr(0, eq), text.substr(eq + 1) };
}

HXPropertyList buildRequest(const std::vector<std::string>& args)
{
    if (args.empty())
        throw UsageError { "Nothing to do." };
    const std::string& verb = args[0];
    Dict request { { MVPRequestCommandKey, HXPropertyList("script") } };
    auto target = [&](size_t i) {
        if (i < args.size())
            if (auto objectSpec = parsePath(args[i]))
                request["target"] = *objectSpec;
    };
    auto need = [&](size_t n) {
        if (args.size() < n)
            throw UsageError { verb + " needs more arguments." };
    };
    if (verb == "get" || verb == "count" || verb == "exists" || verb == "delete") {
        need(2);
        request["event"] = HXPropertyList(verb);
        target(1);
    } else if (verb == "keys") {
        request["event"] = HXPropertyList(verb);
        target(1);
    } else if (verb == "set") {
        need(3);
        request["event"] = HXPropertyList(verb);
        target(1);
        request["value"] = parseValue(args[2]);
    } else if (verb == "make") {
        need(4);
        request["event"] = HXPropertyList(verb);
        target(1);
        request["key"] = HXPropertyList(args[2]);
        request["data"] = parseValue(args[3]);
        if (args.size() > 4) {
            auto i = parseInteger(args[4]);
            if (!i || *i < 1)
                throw UsageError { "The position to make at counts from 1." };
            request["index"] = HXPropertyList(*i - 1);
        }
    } else if (verb == "do") {
        need(2);
        request["event"] = HXPropertyList(args[1]);
        Dict arguments;
        for (size_t i = 2; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--direct") {
                if (++i >= args.size())
                    throw UsageError { "--direct needs a value." };
                request["direct"] = parseValue(args[i]);
            } else if (auto argument = argumentOf(a)) {
                arguments[argument->first] = parseValue(argument->second);
            } else if (i == 2) {
                target(i);
            } else {
                throw UsageError { "\u201c" + a + "\u201d is neither Key=VALUE nor --direct." };
            }
        }
        if (!arguments.empty())
            request["arguments"] = HXPropertyList(std::move(arguments));
    } else if (verb == "open") {
        need(2);
        request["event"] = HXPropertyList("open");
        Array files;
        for (size_t i = 1; i < args.size(); ++i)
            files.emplace_back(args[i]);
        request["direct"] = HXPropertyList(std::move(files));
    } else {
        throw UsageError { "Unknown verb \u201c" + verb + "\u201d." };
    }
    return HXPropertyList(std::move(request));
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool xml = false;
    double timeout = 60;
    HXPropertyList request;
    try {
        // Options come before the verb.
        while (!args.empty() && args[0].rfind("--", 0) == 0 && args[0] != "--request") {
            if (args[0] == "--help" || args[0] == "-h") {
                std::cout << kHelp;
                return 0;
            }
            if (args[0] == "--xml") {
                xml = true;
            } else if (args[0] == "--timeout") {
                auto seconds = args.size() > 1 ? parseReal(args[1]) : std::nullopt;
                if (!seconds || *seconds < 0)
                    throw UsageError { "--timeout takes a number of seconds (0: no limit)." };
                timeout = *seconds;
                args.erase(args.begin());
            } else {
                throw UsageError { "Unknown option \u201c" + args[0] + "\u201d." };
            }
            args.erase(args.begin());
        }
        if (!args.empty() && args[0] == "--request") {
            std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
            HXError error;
            auto plist = HXPropertyList::fromXML(input, &error);
            if (!plist || !plist->isDictionary()) {
                std::cerr << "movara-script: the request is no property-list dictionary" << std::endl;
                return 2;
            }
            request = *plist;
            if (!request.contains(MVPRequestCommandKey))
                request.mutableDictionary()[MVPRequestCommandKey] = HXPropertyList("script");
        } else {
            request = buildRequest(args);
        }
    } catch (const UsageError& e) {
        std::cerr << "movara-script: " << e.text << "\n" << kUsage << std::endl;
        return 2;
    }
    // Relative paths in the request are this folder's.
    std::error_code ec;
    if (auto here = std::filesystem::current_path(ec); !ec && !request.contains("directory"))
        request.mutableDictionary()["directory"] = HXPropertyList(here.string());

    HXError error;
    auto reply = MVPRequestServer::sendRequest(request, timeout, &error);
    if (!reply) {
        std::cerr << "movara-script: " << error.localizedDescription() << std::endl;
        return 3;
    }
    for (const auto& alert : (*reply)["alerts"].arrayValue())
        std::cerr << "movara-script: the player answered \u201c" << alert["answer"].stringValue()
                  << "\u201d to \u201c" << alert["message"].stringValue() << "\u201d" << std::endl;
    if (xml) {
        std::cout << reply->toXML();
    } else if ((*reply).contains("result")) {
        if (request["event"].stringValue() == "keys")
            std::cout << renderKeys((*reply)["result"]);
        else
            std::cout << render((*reply)["result"], (*reply)["resultType"]) << std::endl;
    }
    if (reply->contains(MVPRequestErrorKey)) {
        std::cerr << "movara-script: error";
        if (reply->contains("errorNumber"))
            std::cerr << " " << (*reply)["errorNumber"].integerValue();
        std::cerr << ": " << (*reply)[MVPRequestErrorKey].stringValue() << std::endl;
        return 1;
    }
    return 0;
}
