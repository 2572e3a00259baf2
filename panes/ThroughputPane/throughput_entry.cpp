// The entry points of the streaming statistics pane.
#include "throughput_pane.h"

MVP_DECLARE_PANE(MVPThroughputPaneFactory)
