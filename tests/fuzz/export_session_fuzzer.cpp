// Feeds arbitrary bytes to the reading of export-session files, as the worker reads the session a job
// carries: the property list, its fields, and the movie held inside it.
#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HXError error;
    auto session = MVExportSession::createFromSerialization(HXData(std::string_view(reinterpret_cast<const char*>(data), size)), &error);
    if (!session)
        return 0;
    (void)session->targetName();
    (void)session->movie()->duration();
    return 0;
}
