// The entry points of the hint track pane.
#include "packet_info_pane.h"

MVP_DECLARE_PANE(MVPPacketInfoPaneFactory)
