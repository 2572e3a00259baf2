#include "core/matrix_array_additions.h"

namespace HXArray_Additions {

HXPropertyList::Array arrayForMatrixRecord(const MVMatrixRecord& matrix)
{
    HXPropertyList::Array rows;
    for (size_t row = 0; row < 3; ++row) {
        HXPropertyList::Array columns;
        for (size_t column = 0; column < 3; ++column) {
            double raw = matrix.values[row * 3 + column];
            columns.emplace_back(column == 2 ? raw / double(1 << 30) : raw / 65536.0);
        }
        rows.emplace_back(std::move(columns));
    }
    return rows;
}

} // namespace HXArray_Additions
