// The entry points of the data references pane.
#include "sources_pane.h"

MVP_DECLARE_PANE(MVPSourcesPaneFactory)
