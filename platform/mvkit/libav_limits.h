#pragma once

// libavformat and libavcodec take many of the sizes a file claims at their word and allocate them
// before reading a byte of what they describe. No single buffer a real movie needs comes near the limit
// set here (an 8K picture with an alpha channel is 140 MB), so a larger claim fails as a damaged file
// would, instead of exhausting memory. Called before any libav* call that reads a file's contents.
void MVLimitLibavAllocations();
