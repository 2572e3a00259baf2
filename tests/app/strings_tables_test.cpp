// Every text the program looks up in a strings table is there: the test reads the program's own sources,
// finds each call of a localized-string lookup (the basekit functions, the panes' MVPLocalizedString and
// the small wrappers files define around them), and checks the key it passes against the table that call
// reads, in the bundle it reads it from (the program's Resources, or the pane's own). A missing key would be
// shown to the user as the raw key. Keys of the program's "mv…" form that travel through arrays and
// switches before they reach a lookup are checked against the tables their file reads.
#include "platform/basekit/property_list.h"
#include "platform/basekit/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSource = MOVARA_SOURCE_DIR;
constexpr const char* kMainBundle = "resources";

// ---- a small C++ tokenizer: enough to find calls, their arguments and string literals ---------------------

enum class Kind { Identifier, String, Punct, Number };

struct Token {
    Kind kind;
    std::string text; // for a string literal: its value with escapes resolved
    int line;
};

void appendUTF8(std::string& out, unsigned long c)
{
    std::u16string units;
    if (c >= 0x10000)
        units = { char16_t(0xD800 + ((c - 0x10000) >> 10)), char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)) };
    else
        units = { char16_t(c) };
    out += HXString::utf8FromUTF16(units).value_or("\uFFFD");
}

std::vector<Token> tokenize(const std::string& s)
{
    std::vector<Token> tokens;
    size_t i = 0, n = s.size();
    int line = 1;
    bool lineStart = true;
    auto isIdent = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (i < n) {
        char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
            lineStart = true;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '#' && lineStart) { // preprocessor line, with continuations
            while (i < n && s[i] != '\n') {
                if (s[i] == '\\' && i + 1 < n && s[i + 1] == '\n') {
                    ++line;
                    ++i;
                }
                ++i;
            }
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && s[i + 1] == '/') {
            while (i < n && s[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            i += 2;
            while (i + 1 < n && !(s[i] == '*' && s[i + 1] == '/')) {
                if (s[i] == '\n')
                    ++line;
                ++i;
            }
            i += 2;
            continue;
        }
        if (c == 'R' && i + 1 < n && s[i + 1] == '"') { // raw string literal
            size_t open = s.find('(', i + 2);
            std::string close = ")" + s.substr(i + 2, open - i - 2) + "\"";
            size_t end = s.find(close, open);
            if (open == std::string::npos || end == std::string::npos)
                break;
            std::string value = s.substr(open + 1, end - open - 1);
            tokens.push_back({ Kind::String, value, line });
            line += int(std::count(value.begin(), value.end(), '\n'));
            i = end + close.size();
            continue;
        }
        if (c == '"' || c == '\'') {
            char quote = c;
            std::string value;
            ++i;
            while (i < n && s[i] != quote) {
                if (s[i] == '\\' && i + 1 < n) {
                    char e = s[++i];
                    if (e == 'n')
                        value += '\n';
                    else if (e == 't')
                        value += '\t';
                    else if (e == 'u' || e == 'U') {
                        size_t digits = e == 'u' ? 4 : 8;
                        appendUTF8(value, std::stoul(s.substr(i + 1, digits), nullptr, 16));
                        i += digits;
                    } else if (e == 'x') {
                        size_t j = i + 1;
                        while (j < n && std::isxdigit(static_cast<unsigned char>(s[j])))
                            ++j;
                        value += char(std::stoul(s.substr(i + 1, j - i - 1), nullptr, 16));
                        i = j - 1;
                    } else
                        value += e;
                    ++i;
                    continue;
                }
                value += s[i++];
            }
            ++i;
            if (quote == '"')
                tokens.push_back({ Kind::String, value, line });
            else
                tokens.push_back({ Kind::Number, value, line });
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < n && (isIdent(s[j]) || s[j] == '.' || s[j] == '\''))
                ++j;
            tokens.push_back({ Kind::Number, s.substr(i, j - i), line });
            i = j;
            continue;
        }
        if (isIdent(c)) {
            size_t j = i;
            while (j < n && isIdent(s[j]))
                ++j;
            std::string word = s.substr(i, j - i);
            // Literal prefixes: u8"…", L"…", u"…", U"…".
            if (j < n && s[j] == '"' && (word == "u8" || word == "L" || word == "u" || word == "U")) {
                i = j;
                continue;
            }
            tokens.push_back({ Kind::Identifier, word, line });
            i = j;
            continue;
        }
        if ((c == '-' && i + 1 < n && s[i + 1] == '>') || (c == ':' && i + 1 < n && s[i + 1] == ':')) {
            tokens.push_back({ Kind::Punct, s.substr(i, 2), line });
            i += 2;
            continue;
        }
        tokens.push_back({ Kind::Punct, std::string(1, c), line });
        ++i;
    }
    return tokens;
}

bool isPunct(const Token& t, const char* p)
{
    return t.kind == Kind::Punct && t.text == p;
}

// The index of the bracket closing the one at `open`, or tokens.size().
size_t matching(const std::vector<Token>& tokens, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].kind != Kind::Punct)
            continue;
        const std::string& p = tokens[i].text;
        if (p == "(" || p == "[" || p == "{")
            ++depth;
        else if (p == ")" || p == "]" || p == "}") {
            if (--depth == 0)
                return i;
        }
    }
    return tokens.size();
}

struct Range {
    size_t begin, end; // [begin, end)
    size_t size() const { return end - begin; }
};

// The top-level, comma-separated arguments between the bracket at `open` and its match.
std::vector<Range> arguments(const std::vector<Token>& tokens, size_t open)
{
    std::vector<Range> result;
    size_t close = matching(tokens, open);
    if (close == tokens.size())
        return result;
    int depth = 0;
    size_t start = open + 1;
    for (size_t i = open + 1; i < close; ++i) {
        const Token& t = tokens[i];
        if (t.kind != Kind::Punct)
            continue;
        if (t.text == "(" || t.text == "[" || t.text == "{")
            ++depth;
        else if (t.text == ")" || t.text == "]" || t.text == "}")
            --depth;
        else if (t.text == "," && depth == 0) {
            result.push_back({ start, i });
            start = i + 1;
        }
    }
    if (close > start || !result.empty())
        result.push_back({ start, close });
    return result;
}

// ---- lookups ---------------------------------------------------------------------------------------------

// How a function reaches a strings table: which argument is the key, which names the table (or the fixed
// table), and whether the table belongs to the calling pane's bundle rather than the program's.
struct Lookup {
    size_t keyArgument = 0;
    std::optional<size_t> tableArgument;
    std::string table = "Localizable"; // when there is no table argument, or it is empty
    bool tableRequired = false; // the table argument has no default
    bool paneBundle = false;
};

const std::map<std::string, Lookup>& basicLookups()
{
    static const std::map<std::string, Lookup> lookups {
        { "HXLocalizedString", { 0, std::nullopt, "Localizable", false, false } },
        { "HXLocalizedStringFromTable", { 0, 1, "Localizable", true, false } },
        { "HXLocalizedStringFromTableInBundle", { 0, 1, "Localizable", true, false } },
        { "localizedStringForKey", { 0, 2, "Localizable", false, false } },
        { "MVPLocalizedString", { 1, 2, "Localizable", false, true } },
    };
    return lookups;
}

struct Failure {
    std::string where;
    std::string what;
};

struct SourceFile {
    fs::path path;
    std::string relative;
    std::string pane; // the pane bundle the file belongs to, empty for the program
    std::vector<Token> tokens;
    std::map<std::string, Lookup> wrappers;
    std::set<std::string> defined; // functions and lambdas the file defines
};

class StringsScan {
public:
    StringsScan()
    {
        readTables();
        readSources();
        collectConstants();
        for (auto& file : _files)
            findWrappers(file);
        for (auto& file : _files)
            checkFile(file);
    }

    const std::vector<Failure>& failures() const { return _failures; }
    size_t checkedKeys() const { return _checked; }
    const std::map<std::string, std::map<std::string, std::set<std::string>>>& tables() const
    {
        return _tables;
    }

private:
    void readTables()
    {
        auto readFolder = [this](const std::string& bundle, const fs::path& folder) {
            if (!fs::is_directory(folder))
                return;
            for (auto& entry : fs::directory_iterator(folder)) {
                std::string name = entry.path().filename().string();
                const std::string suffix = ".strings.plist";
                if (name.size() <= suffix.size()
                    || name.compare(name.size() - suffix.size(), suffix.size(), suffix))
                    continue;
                std::string table = name.substr(0, name.size() - suffix.size());
                auto value = HXPropertyList::readFromFile(entry.path().string());
                auto& keys = _tables[bundle][table];
                if (!value || !value->isDictionary()) {
                    _failures.push_back({ entry.path().string(), "the strings table is not a dictionary" });
                    continue;
                }
                for (auto& [key, text] : value->dictionaryValue()) {
                    if (!text.isString() || text.stringValue().empty())
                        _failures.push_back({ entry.path().string(), "\"" + key + "\" has no text" });
                    else if (text.stringValue() == key && key.rfind("mv", 0) == 0)
                        _failures.push_back({ entry.path().string(), "\"" + key + "\" shows its key" });
                    keys.insert(key);
                }
            }
        };
        readFolder(kMainBundle, kSource / "resources");
        for (auto& pane : fs::directory_iterator(kSource / "panes"))
            if (pane.is_directory())
                readFolder(pane.path().filename().string(), pane.path() / "Resources");
    }

    void readSources()
    {
        const char* folders[] = { "app", "document", "player", "fullscreen", "inspectors", "scripting",
            "export", "recording", "diagnostics", "launcher", "panes", "platform" };
        for (const char* folder : folders) {
            if (!fs::is_directory(kSource / folder))
                continue;
            for (auto& entry : fs::recursive_directory_iterator(kSource / folder)) {
                auto ext = entry.path().extension();
                if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
                    continue;
                SourceFile file;
                file.path = entry.path();
                file.relative = fs::relative(entry.path(), kSource).string();
                if (file.relative.rfind("panes/", 0) == 0) {
                    std::string pane = file.relative.substr(6, file.relative.find('/', 6) - 6);
                    if (pane != "PaneKit")
                        file.pane = pane;
                }
                std::ifstream in(entry.path());
                std::stringstream text;
                text << in.rdbuf();
                file.tokens = tokenize(text.str());
                _files.push_back(std::move(file));
            }
        }
        std::sort(_files.begin(), _files.end(), [](auto& a, auto& b) { return a.relative < b.relative; });
    }

    // Named table names: `constexpr const char* kMovieInfoTable = "MovieInfo";` and the like.
    void collectConstants()
    {
        for (auto& file : _files) {
            auto& t = file.tokens;
            for (size_t i = 0; i + 2 < t.size(); ++i) {
                if (t[i].kind != Kind::Identifier)
                    continue;
                size_t j = i + 1;
                if (j + 1 < t.size() && isPunct(t[j], "[") && isPunct(t[j + 1], "]"))
                    j += 2;
                if (j + 1 < t.size() && (isPunct(t[j], "=") || isPunct(t[j], "{") || isPunct(t[j], "("))
                    && t[j + 1].kind == Kind::String)
                    _constants[t[i].text].insert(t[j + 1].text);
            }
        }
    }

    static bool isKeyword(const std::string& word)
    {
        static const std::set<std::string> keywords { "if", "for", "while", "switch", "catch", "return",
            "sizeof", "alignof", "decltype", "static_assert", "noexcept", "requires" };
        return keywords.count(word) > 0;
    }

    // The lookup `name` means in `file`: its own wrapper, a basic lookup, or a wrapper another file exports.
    const Lookup* lookupNamed(const SourceFile& file, const std::string& name, bool memberCall) const
    {
        if (auto it = file.wrappers.find(name); it != file.wrappers.end())
            return memberCall ? nullptr : &it->second;
        if (auto it = basicLookups().find(name); it != basicLookups().end())
            return &it->second;
        if (memberCall || file.defined.count(name))
            return nullptr;
        if (auto it = _exported.find(name); it != _exported.end())
            return &it->second;
        return nullptr;
    }

    // A parameter list's names and default values.
    static std::vector<std::pair<std::string, std::string>> parameters(
        const std::vector<Token>& t, size_t open)
    {
        std::vector<std::pair<std::string, std::string>> result;
        for (auto& range : arguments(t, open)) {
            std::string name, fallback;
            bool afterEquals = false;
            for (size_t i = range.begin; i < range.end; ++i) {
                if (isPunct(t[i], "=")) {
                    afterEquals = true;
                    continue;
                }
                if (afterEquals)
                    fallback += t[i].kind == Kind::String ? "\"" + t[i].text + "\"" : t[i].text;
                else if (t[i].kind == Kind::Identifier)
                    name = t[i].text;
            }
            result.emplace_back(name, fallback);
        }
        return result;
    }

    // Functions and lambdas that hand one of their parameters to a lookup as its key are lookups too.
    void findWrappers(SourceFile& file)
    {
        auto& t = file.tokens;
        for (int pass = 0; pass < 3; ++pass) {
            for (size_t i = 0; i + 1 < t.size(); ++i) {
                if (t[i].kind != Kind::Identifier || isKeyword(t[i].text))
                    continue;
                size_t open = i + 1;
                bool lambda = false;
                // auto name = [captures](parameters) … {
                if (i >= 1 && t[i - 1].kind == Kind::Identifier && t[i - 1].text == "auto" && i + 2 < t.size()
                    && isPunct(t[i + 1], "=") && isPunct(t[i + 2], "[")) {
                    open = matching(t, i + 2) + 1;
                    lambda = true;
                }
                if (open >= t.size() || !isPunct(t[open], "("))
                    continue;
                size_t close = matching(t, open);
                size_t body = close + 1;
                while (body < t.size() && !isPunct(t[body], "{") && !isPunct(t[body], ";")
                    && !isPunct(t[body], "(")
                    && (t[body].kind == Kind::Identifier || isPunct(t[body], "->") || isPunct(t[body], "::")
                        || isPunct(t[body], "&")))
                    ++body;
                if (body >= t.size() || !isPunct(t[body], "{"))
                    continue;
                if (!lambda && i >= 1 && (isPunct(t[i - 1], ".") || isPunct(t[i - 1], "->")))
                    continue;
                file.defined.insert(t[i].text);
                size_t end = matching(t, body);
                if (end - body > 120)
                    continue; // wrappers are short
                auto params = parameters(t, open);
                for (size_t j = body + 1; j + 1 < end; ++j) {
                    if (t[j].kind != Kind::Identifier || !isPunct(t[j + 1], "(") || t[j].text == t[i].text)
                        continue;
                    bool member = j > 0 && (isPunct(t[j - 1], ".") || isPunct(t[j - 1], "->"));
                    const Lookup* inner = lookupNamed(file, t[j].text, member);
                    if (!inner)
                        continue;
                    auto args = arguments(t, j + 1);
                    if (args.size() <= inner->keyArgument || args[inner->keyArgument].size() != 1)
                        continue;
                    const std::string& keyName = t[args[inner->keyArgument].begin].text;
                    auto keyParam = std::find_if(
                        params.begin(), params.end(), [&](auto& p) { return p.first == keyName; });
                    if (keyParam == params.end())
                        continue;
                    Lookup wrapper = *inner;
                    wrapper.keyArgument = size_t(keyParam - params.begin());
                    wrapper.tableArgument.reset();
                    wrapper.paneBundle = inner->paneBundle;
                    if (inner->tableArgument && args.size() > *inner->tableArgument) {
                        Range tableRange = args[*inner->tableArgument];
                        if (tableRange.size() == 1 && t[tableRange.begin].kind == Kind::Identifier) {
                            auto tableParam = std::find_if(params.begin(), params.end(),
                                [&](auto& p) { return p.first == t[tableRange.begin].text; });
                            if (tableParam != params.end()) {
                                wrapper.tableArgument = size_t(tableParam - params.begin());
                                wrapper.tableRequired = tableParam->second.empty();
                                wrapper.table = tableParam->second.size() > 2 && tableParam->second[0] == '"'
                                    ? tableParam->second.substr(1, tableParam->second.size() - 2)
                                    : inner->table;
                            }
                        }
                        if (!wrapper.tableArgument) {
                            auto names = tableNames(t, tableRange, *inner);
                            if (names.size() != 1)
                                continue;
                            wrapper.table = *names.begin();
                        }
                    } else if (inner->tableArgument) {
                        wrapper.table = inner->table;
                    }
                    wrapper.tableRequired = wrapper.tableArgument && wrapper.tableRequired;
                    file.wrappers[t[i].text] = wrapper;
                    if (!lambda && declaredInOwnHeader(file, t[i].text))
                        _exported.emplace(t[i].text, wrapper);
                    break;
                }
            }
        }
    }

    // A wrapper other files call: declared in the header beside the file that defines it.
    bool declaredInOwnHeader(const SourceFile& file, const std::string& name) const
    {
        if (file.path.extension() != ".cpp")
            return false;
        auto header = fs::path(file.path).replace_extension(".h");
        for (auto& other : _files) {
            if (other.path != header)
                continue;
            for (size_t i = 0; i + 1 < other.tokens.size(); ++i)
                if (other.tokens[i].kind == Kind::Identifier && other.tokens[i].text == name
                    && isPunct(other.tokens[i + 1], "("))
                    return true;
        }
        return false;
    }

    // The tables a table argument names; empty when it cannot be told.
    std::set<std::string> tableNames(const std::vector<Token>& t, Range range, const Lookup& lookup) const
    {
        if (range.size() == 0 || (range.size() == 2 && isPunct(t[range.begin], "{")))
            return { lookup.table };
        if (range.size() == 1 && t[range.begin].kind == Kind::String)
            return { t[range.begin].text.empty() ? lookup.table : t[range.begin].text };
        const Token& last = t[range.end - 1];
        if (last.kind == Kind::Identifier) {
            if (auto it = _constants.find(last.text); it != _constants.end())
                return it->second;
        }
        return {};
    }

    // The keys an argument passes: its literals, unless the key is built at run time.
    static std::vector<std::string> literalKeys(const std::vector<Token>& t, Range range)
    {
        std::vector<std::string> keys;
        for (size_t i = range.begin; i < range.end; ++i)
            if (isPunct(t[i], "+"))
                return {};
        // A literal is a key when it is the whole argument or one branch of a choice, not a part of an
        // expression that computes the key (an index, a comparison).
        auto opens = [&](size_t i) {
            return i == range.begin || isPunct(t[i - 1], "?") || isPunct(t[i - 1], ":")
                || (isPunct(t[i - 1], "(")
                    && (i - 1 == range.begin || isPunct(t[i - 2], "?") || isPunct(t[i - 2], ":")));
        };
        for (size_t i = range.begin; i < range.end; ++i) {
            if (t[i].kind != Kind::String || !opens(i))
                continue;
            std::string key = t[i].text;
            while (i + 1 < range.end && t[i + 1].kind == Kind::String)
                key += t[++i].text;
            bool closes = i + 1 == range.end || isPunct(t[i + 1], ":") || isPunct(t[i + 1], ")");
            if (closes)
                keys.push_back(key);
        }
        return keys;
    }

    static bool looksLikeKey(const std::string& s)
    {
        // The program's keys: "mv", a short lower-case prefix, then a capital ("mvpFitToScreen", "mvKit…").
        if (s.size() < 4 || s.compare(0, 2, "mv") != 0)
            return false;
        size_t i = 2;
        while (i < s.size() && i < 6 && std::islower(static_cast<unsigned char>(s[i])))
            ++i;
        if (i >= s.size() || !std::isupper(static_cast<unsigned char>(s[i])))
            return false;
        return std::all_of(s.begin(), s.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
    }

    bool has(const std::string& bundle, const std::string& table, const std::string& key) const
    {
        auto b = _tables.find(bundle);
        if (b == _tables.end())
            return false;
        auto tb = b->second.find(table);
        return tb != b->second.end() && tb->second.count(key);
    }

    void checkFile(const SourceFile& file)
    {
        auto& t = file.tokens;
        std::set<std::pair<std::string, std::string>> tablesRead; // bundle, table
        std::set<size_t> checkedHere; // tokens passed straight to a lookup
        for (size_t i = 0; i + 1 < t.size(); ++i) {
            if (t[i].kind != Kind::Identifier || !isPunct(t[i + 1], "("))
                continue;
            bool member = i > 0 && (isPunct(t[i - 1], ".") || isPunct(t[i - 1], "->"));
            const Lookup* lookup = lookupNamed(file, t[i].text, member);
            if (!lookup)
                continue;
            auto args = arguments(t, i + 1);
            if (args.size() <= lookup->keyArgument)
                continue; // a declaration without parameters, or a call through a pointer
            // Definitions and declarations of the lookups themselves pass parameter declarations.
            Range keyRange = args[lookup->keyArgument];
            bool declaration = false;
            for (size_t k = keyRange.begin; k < keyRange.end; ++k)
                if (t[k].kind == Kind::Identifier && (t[k].text == "const" || t[k].text == "std"))
                    declaration = true;
            if (declaration)
                continue;
            std::string bundle = lookup->paneBundle ? file.pane : kMainBundle;
            if (lookup->paneBundle && file.pane.empty())
                continue; // the pane kit's own code: the key comes from the pane that calls it
            std::set<std::string> tables { lookup->table };
            if (lookup->tableArgument) {
                if (args.size() > *lookup->tableArgument) {
                    tables = tableNames(t, args[*lookup->tableArgument], *lookup);
                    if (tables.empty()) {
                        bool forwarded = args[*lookup->tableArgument].size() == 1;
                        if (!forwarded)
                            _failures.push_back({ file.relative + ":" + std::to_string(t[i].line),
                                "cannot tell which strings table " + t[i].text + " reads" });
                        continue;
                    }
                } else if (lookup->tableRequired) {
                    continue;
                }
            }
            for (auto& table : tables)
                tablesRead.insert({ bundle, table });
            for (size_t k = keyRange.begin; k < keyRange.end; ++k)
                checkedHere.insert(k);
            for (auto& key : literalKeys(t, keyRange)) {
                ++_checked;
                bool found = std::any_of(
                    tables.begin(), tables.end(), [&](auto& table) { return has(bundle, table, key); });
                if (!found)
                    _failures.push_back({ file.relative + ":" + std::to_string(t[i].line),
                        "\"" + key + "\" is not in " + bundle + "/" + *tables.begin() + ".strings.plist" });
            }
        }
        // Keys that reach a lookup through a table of the file's own or a function's answer.
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].kind != Kind::String || !looksLikeKey(t[i].text) || checkedHere.count(i))
                continue;
            if (i + 1 < t.size() && isPunct(t[i + 1], "+"))
                continue; // the start of a key made at run time
            ++_checked;
            bool found = false;
            if (tablesRead.empty()) {
                for (auto& [table, keys] : _tables.at(kMainBundle))
                    found = found || keys.count(t[i].text);
            } else {
                for (auto& [bundle, table] : tablesRead)
                    found = found || has(bundle, table, t[i].text);
            }
            if (!found)
                _failures.push_back({ file.relative + ":" + std::to_string(t[i].line),
                    "\"" + t[i].text + "\" is in none of the strings tables this file reads" });
        }
    }

    std::map<std::string, std::map<std::string, std::set<std::string>>> _tables; // bundle → table → keys
    std::vector<SourceFile> _files;
    std::map<std::string, std::set<std::string>> _constants;
    std::map<std::string, Lookup> _exported;
    std::vector<Failure> _failures;
    size_t _checked = 0;
};

const StringsScan& scan()
{
    static StringsScan result;
    return result;
}

// The scanner itself finds the lookups it must, so that an empty list of failures means something.
TEST(StringsTables, TheScanFindsTheLookupsOfTheProgram)
{
    // Keys the program is known to show, each through another kind of lookup: a basic call, a file's
    // wrapper with a table of its own, a member wrapper, a pane's lookup, and a key kept in an array.
    EXPECT_GT(scan().checkedKeys(), 400u);
    EXPECT_TRUE(scan().tables().at(kMainBundle).count("Localizable"));
    EXPECT_TRUE(scan().tables().at(kMainBundle).count("Export"));
    EXPECT_TRUE(scan().tables().count("PicturePane"));
}

TEST(StringsTables, EveryKeyTheProgramLooksUpIsInItsTable)
{
    std::string report;
    for (auto& failure : scan().failures())
        report += failure.where + ": " + failure.what + "\n";
    EXPECT_TRUE(scan().failures().empty()) << scan().failures().size() << " problems:\n" << report;
}

} // namespace
