// desktop-entries: writes the desktop entries of the player and the launcher, each listing the MIME types it
// opens. The types are those the shared MIME database gives the file extensions the player reads, so the
// entries follow the player's list of formats.
//
//   desktop-entries <globs2 of the MIME database> <output folder> <player template> <launcher template>
//
// Each template "<name>.desktop.in" becomes "<output folder>/<name>.desktop" with "@MIME_TYPES@" replaced by
// the types, each followed by ';'. The launcher hands movies to players: its entry leaves out pictures.
#include "app/document_controller.h"
#include "desktop/mime_globs.h"
#include "document/composition_document.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeIfChanged(const std::filesystem::path& path, const std::string& text)
{
    if (std::filesystem::exists(path) && readAll(path) == text)
        return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out);
}

std::string joined(const std::vector<std::string>& types)
{
    std::string list;
    for (const auto& type : types)
        list += type + ";";
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr
            << "usage: desktop-entries <globs2> <output folder> <player template> <launcher template>\n";
        return 2;
    }
    std::ifstream globsFile(argv[1]);
    if (!globsFile) {
        std::cerr << "desktop-entries: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream globs;
    globs << globsFile.rdbuf();

    std::vector<std::string> extensions = MVPMovieDocumentController::movieFileTypes();
    extensions.push_back(MVPVitrelCompositionExtension);
    auto types = MVPMIMETypesForExtensions(globs.str(), extensions);
    if (types.empty()) {
        std::cerr << "desktop-entries: the MIME database knows none of the player's file extensions\n";
        return 1;
    }
    std::vector<std::string> movieTypes;
    for (const auto& type : types)
        if (type.rfind("image/", 0) != 0)
            movieTypes.push_back(type);

    std::filesystem::path folder = argv[2];
    std::filesystem::create_directories(folder);
    for (int i = 3; i < argc; ++i) {
        std::filesystem::path source = argv[i];
        bool isPlayer = i == 3;
        std::string text = readAll(source);
        std::string name = source.filename().string();
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".in") == 0)
            name.resize(name.size() - 3);
        std::string list = joined(isPlayer ? types : movieTypes);
        for (auto at = text.find("@MIME_TYPES@"); at != std::string::npos; at = text.find("@MIME_TYPES@"))
            text.replace(at, 12, list);
        if (!writeIfChanged(folder / name, text)) {
            std::cerr << "desktop-entries: cannot write " << (folder / name).string() << "\n";
            return 1;
        }
    }
    return 0;
}
