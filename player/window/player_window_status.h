#pragma once
// What the running player tells about a document's player window when asked over its request socket
// (the "documents" request): the kind of window, the movie's time, rate and duration, and where the
// window, the movie and the controls are on the screen (bottom-left screen coordinates, rectangles as
// [x, y, width, height]).
#include "platform/basekit/property_list.h"

class MVPMovieDocument;

HXPropertyList::Dictionary MVPPlayerWindowStatus(const MVPMovieDocument& document);
