#include "document/movie_importing.h"

#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/import/movie_importer.h"

namespace MVPMovie {

void setProgressProc(MVMovie& movie, MVMovieProgressProc proc)
{
    movie.setProgressProc(std::move(proc));
}

std::shared_ptr<MVMovie> movieWithImporter(const MVDataReference& reference, HXError* outError)
{
    if (reference.kind() != MVDataReference::Kind::File) {
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusParameterError, "Only files can be imported.");
        return nullptr;
    }
    return movieWithImporterFromFile(reference.referenceFilePath(), outError);
}

std::shared_ptr<MVMovie> movieWithImporterFromFile(const std::string& path, HXError* outError)
{
    HXError error;
    auto imported = MVImportMovieFile(path, &error);
    if (!imported) {
        if (outError) {
            *outError = error.domain() == HXOSStatusErrorDomain && error.code() != 0
                ? error
                : HXError::withDescription(HXOSStatusErrorDomain, MVStatusUnsupportedImport,
                    error.localizedDescription().empty() ? "The file cannot be imported."
                                                         : error.localizedDescription());
        }
        return nullptr;
    }
    return MVMovie::movieWithDescription(imported->file, path);
}

int64_t convertToDataRef(MVMovie& movie, const MVDataReference& reference)
{
    HXError error;
    if (movie.writeToDataReference(reference, { { MVMovieFlatten, true } }, &error))
        return 0;
    return error.code() != 0 ? error.code() : MVStatusParameterError;
}

} // namespace MVPMovie
