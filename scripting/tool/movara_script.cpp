// movara-script: sends one script request to the running player and prints the reply.
//
//   movara-script get PATH                 the value PATH names
//   movara-script set PATH VALUE           writes a property
//   movara-script count PATH | exists PATH
//   movara-script make PATH KEY VALUE [INDEX]   adds VALUE to the elements KEY of the object PATH
//   movara-script delete PATH
//   movara-script do COMMAND [PATH] [--direct VALUE] [Key=VALUE]...
//   movara-script open FILE...             opens files in the player
//   movara-script --request                reads a whole request (an XML property list) from stdin
// Option --xml prints the whole reply as an XML property list.
//
// PATH: keys joined by dots, each a property ("currentTime"), an element by position from 1 ("movies[1]",
// "tracks[-1]" the last), by name ("favorites[\"Film\"]"), by identifier ("orderedDocuments{3}") or all
// of them ("movies[*]"); "application" (or nothing) is the application itself.
// VALUE: true, false, a number, a four-character code in single quotes ('norm'), a text (in double quotes
// or bare), a list "[a, b, c]", or "@PATH" for the object PATH names.
#include "app/request_server.h"
#include "platform/basekit/property_list.h"

#include <cctype>
#include <charconv>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

constexpr double kReplyTimeout = 60;

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

std::optional<HXPropertyList> parsePath(const std::string& path);

HXPropertyList parseValue(const std::string& raw)
{
    std::string text = raw;
    while (!text.empty() && std::isspace(uint8_t(text.front())))
        text.erase(text.begin());
    while (!text.empty() && std::isspace(uint8_t(text.back())))
        text.pop_back();
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
        if (inner.find_first_not_of(" \t") != std::string::npos)
            for (const auto& item : split(inner, ','))
                list.push_back(parseValue(item));
        return HXPropertyList(std::move(list));
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
        return prefix + key + "[" + std::to_string(value.integerValue() >= 0 ? value.integerValue() + 1 : value.integerValue()) + "]";
    if (form == "name")
        return prefix + key + "[\"" + value.stringValue() + "\"]";
    if (form == "id")
        return prefix + key + "{" + (value.isString() ? value.stringValue() : std::to_string(value.integerValue())) + "}";
    if (form == "every")
        return prefix + key + "[*]";
    return prefix + key;
}

std::string render(const HXPropertyList& value)
{
    switch (value.type()) {
    case HXPropertyList::Type::Null:
        return "";
    case HXPropertyList::Type::String:
        return value.stringValue();
    case HXPropertyList::Type::Integer:
        return std::to_string(value.integerValue());
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
        static const char* hex = "0123456789abcdef";
        std::string out = "<";
        for (uint8_t b : value.dataValue().bytes)
            out += std::string { hex[b >> 4], hex[b & 15] };
        return out + ">";
    }
    case HXPropertyList::Type::Array: {
        std::string out = "[";
        for (size_t i = 0; i < value.count(); ++i)
            out += (i ? ", " : "") + render(value[i]);
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
            } else if (auto eq = a.find('='); eq != std::string::npos && eq > 0) {
                arguments[a.substr(0, eq)] = parseValue(a.substr(eq + 1));
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

constexpr const char* kUsage = "usage: movara-script [--xml] get|set|count|exists|make|delete|do|open ... | --request";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool xml = false;
    if (!args.empty() && args[0] == "--xml") {
        xml = true;
        args.erase(args.begin());
    }
    HXPropertyList request;
    try {
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

    HXError error;
    auto reply = MVPRequestServer::sendRequest(request, kReplyTimeout, &error);
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
        std::cout << render((*reply)["result"]) << std::endl;
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
