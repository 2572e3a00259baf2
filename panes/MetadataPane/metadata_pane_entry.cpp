// The entry points of the annotations pane.
#include "metadata_pane.h"

MVP_DECLARE_PANE(MVPMetadataPaneFactory)
