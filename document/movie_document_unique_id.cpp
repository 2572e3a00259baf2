#include "document/movie_document.h"

namespace {

// One counter for every document of the process; documents are made on the main thread only.
uint64_t documentUniqueIDCounter = 0;

} // namespace

uint64_t MVPMovieDocument::newDocumentUniqueID()
{
    return documentUniqueIDCounter++;
}

uint64_t MVPMovieDocument::uniqueID()
{
    if (!_customUniqueID)
        _customUniqueID = newDocumentUniqueID();
    return *_customUniqueID;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::documentWithContentsOfFile(
    const std::string& path, const std::string& type, uint64_t uniqueID, HXError* outError)
{
    auto doc = documentWithContentsOfFile(path, type, false, outError);
    if (doc)
        doc->_customUniqueID = uniqueID;
    return doc;
}
