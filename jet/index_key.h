// Index key encoding: the bytes Jet 4 stores for a column value in an index
// entry (General legacy sort order for text).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/row.h"

namespace jet {

using KeyBytes = std::vector<uint8_t>;

// Appends the key bytes of one column value (flag byte included) to out.
// type is the column type; value is already checked against the column.
void appendIndexKey(KeyBytes& out, ColumnType type, const Value& value,
                    bool descending);

// Appends the key bytes of a column of a stored row, the same bytes as
// appendIndexKey gives for the value decodeRow reads, without building that
// value for text. scratch is room reused from call to call. Returns false
// when the value is NULL.
bool appendStoredKey(KeyBytes& out, PageStore& store, const StoredRow& row, const ColumnDef& column,
                     ColumnType type, bool descending, std::u16string& scratch);

// The key of a whole index entry: each column's key in index column order.
KeyBytes encodeIndexKey(const std::vector<ColumnType>& types,
                        const std::vector<const Value*>& values,
                        const std::vector<bool>& descending);

// Leaf entry = key + 3-byte big-endian data page + 1-byte row.
KeyBytes makeLeafEntry(const KeyBytes& key, uint32_t dataPage, uint8_t row);

// Text of up to 255 characters that Access treats as equal for a unique
// index yields equal keys; this says whether text is encoded exactly as
// Access does (false: a consistent fallback was used).
bool textKeyIsExact(const std::string& utf8);

}  // namespace jet
