// The entry points of the audio pane.
#include "audio_inspector.h"

MVP_DECLARE_PANE(MVPAudioInspectorFactory)
