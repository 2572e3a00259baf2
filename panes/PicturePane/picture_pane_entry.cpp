// The entry points of the visual track pane.
#include "picture_pane.h"

MVP_DECLARE_PANE(MVPPicturePaneFactory)
