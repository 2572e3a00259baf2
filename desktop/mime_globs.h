#pragma once
// What the shared MIME database says about file extensions. Its "globs2" file lists one glob a line,
// "weight:type:pattern[:flags]", heaviest first; comments start with '#'.
#include <string>
#include <vector>

// The types that the database's globs2 text gives the extensions ("mov", no dot), in the order of the
// extensions, each type once. An extension gets every type of its heaviest matching "*.<extension>" glob
// (patterns compared without regard to case unless flagged "cs"); text types are left out, since a media
// player never opens text. Extensions the database does not know add nothing.
std::vector<std::string> MVPMIMETypesForExtensions(
    const std::string& globs2, const std::vector<std::string>& extensions);
