#pragma once
// The export jobs of the worker:
//   "ExportSession": the serialised export session in "MVExportSession", performed as it says.
//   "Export": the movie in "MVExpMovieIn" exported to "MVExpNameOut" by the exporter that the component
//             numbers "MVExpComponentType", "MVExpComponentSubType", "MVExpComponentManufacture",
//             "MVExpComponentFlags" and "MVExpComponentFlagsMask" find (MPEG-4 when the job names none),
//             with the job's other keys as the exporter settings.
#include "export/helper/flatten_job.h"

HelperJobResult performExportSessionJob(HelperConnection& player, const HXPropertyList::Dictionary& params);
HelperJobResult performExportJob(HelperConnection& player, const HXPropertyList::Dictionary& params);
