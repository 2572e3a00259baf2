// The entry points of the playback options pane.
#include "movie_playback_options_pane.h"

MVP_DECLARE_PANE(MVPPlaybackOptionsPaneFactory)
