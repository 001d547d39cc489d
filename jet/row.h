// Row layout (Jet 4): column count, fixed area, variable data, the reversed
// variable-offset table, and the null mask (which also holds Booleans).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/tdef.h"

namespace jet {

struct RowLayout {
  uint32_t fixedSize = 0;  // bytes of the fixed area
  uint32_t varSlots = 0;   // entries in the variable-offset table
  uint32_t maskBytes = 0;
};
RowLayout makeLayout(const TableDef& def);

// Checks v against column c and returns it in the form it is stored in
// (Single narrowed, Numeric at the column's scale, Null Booleans false).
// Throws Error naming the column.
Value normalizeValue(const ColumnDef& c, const Value& v);
// The same check without a copy when v is already in stored form: returns v
// itself, or scratch holding the converted value.
const Value& normalizeValue(const ColumnDef& c, const Value& v, Value& scratch);

// Writes a normalized non-null value of a fixed column.
void encodeFixed(const ColumnDef& c, const Value& v, uint8_t* out);
// Replaces out with the bytes of a normalized variable value (Memo/OLE: the
// value itself, before long-value storage).
void encodeVariable(const ColumnDef& c, const Value& v, std::vector<uint8_t>& out);

// Assembles a row from per-column pieces: fixed values already in fixed
// (fixedSize bytes), variable fields in varFields (by var index, empty =
// null or empty), null mask bits in present (by column position).
void assembleRow(const TableDef& def, const RowLayout& layout, const std::vector<uint8_t>& fixed,
                 const std::vector<std::vector<uint8_t>>& varFields,
                 const std::vector<uint8_t>& present, std::vector<uint8_t>& out);

// Decodes a stored row into typed values (long values fetched from store).
// With only, the columns whose position it flags false are left Null
// without being read.
std::vector<Value> decodeRow(PageStore& store, const TableDef& def, const RowLayout& layout,
                             const uint8_t* row, size_t size, const std::vector<char>* only = nullptr);

// One stored row, its header read once, for reading single columns without
// decoding the others. The bytes must outlive it. Throws Error::Corrupt
// when the row does not fit the table's layout.
class StoredRow {
 public:
  StoredRow(const uint8_t* row, size_t size, const RowLayout& layout);
  // A Boolean column's value; for other columns, false means NULL.
  bool present(uint32_t number) const { return number < ncols_ && ((mask_[number / 8] >> (number & 7)) & 1); }
  // NULL as value() reads it (a Boolean is never NULL).
  bool isNull(const ColumnDef& c) const {
    if (c.type == ColumnType::Boolean) return false;
    return !present(c.number) || (!c.fixed() && c.varIndex >= nvar_);
  }
  // The bytes of a fixed column.
  const uint8_t* fixed(const ColumnDef& c) const;
  // The stored bytes of a variable column (empty when it has none).
  std::span<const uint8_t> variable(const ColumnDef& c) const;
  // The column's value as decodeRow gives it.
  Value value(PageStore& store, const ColumnDef& c) const;

 private:
  const uint8_t* row_;
  const uint8_t* mask_ = nullptr;
  size_t tableEnd_ = 0;
  uint32_t ncols_ = 0;
  uint32_t nvar_ = 0;
};

}  // namespace jet
