#include "desktop/mime_globs.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

struct Glob {
    int weight = 0;
    std::string type;
    std::string pattern;
    bool caseSensitive = false;
};

std::string lowercase(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

std::vector<Glob> readGlobs(const std::string& globs2)
{
    std::vector<Glob> globs;
    std::istringstream in(globs2);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        auto fields = split(line, ':');
        if (fields.size() < 3 || fields[0].empty() || fields[1].empty()
            || !std::all_of(
                fields[0].begin(), fields[0].end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        Glob glob;
        glob.weight = std::stoi(fields[0].substr(0, 6));
        glob.type = fields[1];
        glob.pattern = fields[2];
        if (fields.size() > 3) {
            for (const auto& flag : split(fields[3], ','))
                glob.caseSensitive = glob.caseSensitive || flag == "cs";
        }
        globs.push_back(std::move(glob));
    }
    return globs;
}

} // namespace

std::vector<std::string> MVPMIMETypesForExtensions(
    const std::string& globs2, const std::vector<std::string>& extensions)
{
    auto globs = readGlobs(globs2);
    std::vector<std::string> types;
    for (const auto& extension : extensions) {
        if (extension.empty())
            continue;
        std::string pattern = "*." + extension;
        int heaviest = -1;
        std::vector<std::string> found;
        for (const auto& glob : globs) {
            bool matches = glob.caseSensitive ? glob.pattern == pattern
                                              : lowercase(glob.pattern) == lowercase(pattern);
            if (!matches || glob.type.rfind("text/", 0) == 0 || glob.weight < heaviest)
                continue;
            if (glob.weight > heaviest) {
                heaviest = glob.weight;
                found.clear();
            }
            found.push_back(glob.type);
        }
        for (const auto& type : found)
            if (std::find(types.begin(), types.end(), type) == types.end())
                types.push_back(type);
    }
    return types;
}
