#pragma once
// A movie's transformation matrix as nested arrays of numbers, for the inspectors and scripting.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/atoms/movie_file_description.h"

namespace HXArray_Additions {

// Three row arrays of three reals. The first two columns of each row are 16.16 fixed point, the third
// column 2.30 fixed point.
HXPropertyList::Array arrayForMatrixRecord(const MVMatrixRecord& matrix);

} // namespace HXArray_Additions
