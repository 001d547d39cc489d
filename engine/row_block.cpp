#include "engine/row_block.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "engine/value_format.h"

namespace engine {

namespace {

// A block holds about this many bytes, and at most kMaxBlockRows rows: big
// enough that a call per block costs nothing per row, small enough that the
// blocks between the threads keep memory flat.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxBlockRows = 256;
// A column wider than this (long text, blobs) is read a value at a time.
constexpr SQLLEN kMaxBoundWidth = SQLLEN{256} << 10;
// Timestamps are stored as 'D/M/YYYY H:MM:SS.fffffffff' without the quotes.
constexpr SQLLEN kTimestampWidth = 48;

SQLLEN numericAttribute(SQLHSTMT statement, SQLUSMALLINT column, SQLUSMALLINT field) {
  SQLLEN value = 0;
  if (!SQL_SUCCEEDED(SQLColAttribute(statement, column, field, nullptr, 0, nullptr, &value))) return -1;
  return value;
}

bool isBinaryType(SQLLEN type) {
  return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

// Room for a value read as text: its bytes, or their hexadecimal digits
// when the column holds bytes, and the terminator.
SQLLEN textWidth(SQLHSTMT statement, SQLUSMALLINT column) {
  SQLLEN octets = numericAttribute(statement, column, SQL_DESC_OCTET_LENGTH);
  SQLLEN display = numericAttribute(statement, column, SQL_DESC_DISPLAY_SIZE);
  if (octets < 0 && display < 0) return -1;
  SQLLEN width = std::max<SQLLEN>({octets, display, 63});
  if (width > kMaxBoundWidth) return -1;
  if (isBinaryType(numericAttribute(statement, column, SQL_DESC_CONCISE_TYPE))) width *= 2;
  return width + 1;
}

SQLLEN aligned(SQLLEN bytes) { return (bytes + 7) & ~SQLLEN{7}; }

}  // namespace

SQLSMALLINT integerCType(SQLHSTMT statement, SQLUSMALLINT column) {
  const SQLLEN type = numericAttribute(statement, column, SQL_DESC_CONCISE_TYPE);
  const SQLLEN isUnsigned = numericAttribute(statement, column, SQL_DESC_UNSIGNED);
  if (isUnsigned < 0) return 0;  // unknown sign: as text
  switch (type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return SQL_C_SBIGINT;  // unsigned 32 bits fit a signed 64
    case SQL_BIGINT:
      return isUnsigned == SQL_TRUE ? SQL_C_UBIGINT : SQL_C_SBIGINT;
    default:
      return 0;
  }
}

std::optional<BlockLayout> blockLayout(SQLHSTMT statement, const std::vector<ValueStyle>& styles,
                                       short extraColumns) {
  BlockLayout layout;
  layout.tableColumns = styles.size();
  std::size_t rowBytes = 0;
  const std::size_t count = styles.size() + static_cast<std::size_t>(std::max<short>(extraColumns, 0));
  for (std::size_t i = 0; i < count; ++i) {
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    BlockColumn c;
    c.style = i < styles.size() ? styles[i] : ValueStyle::Text;
    switch (c.style) {
      case ValueStyle::Binary: {
        SQLLEN octets = numericAttribute(statement, number, SQL_DESC_OCTET_LENGTH);
        if (octets < 0 || octets > kMaxBoundWidth) return std::nullopt;
        c.fetchType = c.storeType = SQL_C_BINARY;
        c.storeSqlType = SQL_VARBINARY;
        c.width = std::max<SQLLEN>(octets, 1);
        break;
      }
      case ValueStyle::Number: {
        if (const SQLSMALLINT integer = integerCType(statement, number)) {
          c.fetchType = c.storeType = integer;
          c.storeSqlType = SQL_BIGINT;
          c.width = 8;
          break;
        }
        c.width = textWidth(statement, number);
        if (c.width < 0) return std::nullopt;
        break;
      }
      case ValueStyle::Bit:
        // Stored as the number 0 or 1, as the statements spell a bit.
        c.fetchType = SQL_C_BIT;
        c.storeType = SQL_C_STINYINT;
        c.storeSqlType = SQL_TINYINT;
        c.width = 1;
        break;
      case ValueStyle::Double:
        c.fetchType = c.storeType = SQL_C_DOUBLE;
        c.storeSqlType = SQL_DOUBLE;
        c.width = 8;
        break;
      case ValueStyle::Single:
        // Fetched as a double, which holds every float exactly: the
        // connector misplaces the rows of a float array.
        c.fetchType = SQL_C_DOUBLE;
        c.width = 8;
        c.storeType = SQL_C_DOUBLE;
        c.storeSqlType = SQL_DOUBLE;
        c.storeWidth = 8;
        c.converted = true;
        break;
      case ValueStyle::Timestamp:
        c.width = textWidth(statement, number);
        if (c.width < 0) return std::nullopt;
        c.storeWidth = kTimestampWidth;
        c.converted = true;
        break;
      case ValueStyle::Text:
      case ValueStyle::NumberText:
      case ValueStyle::DateText:
      case ValueStyle::TimeText:
        c.width = textWidth(statement, number);
        if (c.width < 0) return std::nullopt;
        break;
    }
    if (!c.converted) c.storeWidth = c.width;
    rowBytes += static_cast<std::size_t>(aligned(c.width) + sizeof(SQLLEN));
    if (c.converted) rowBytes += static_cast<std::size_t>(aligned(c.storeWidth) + sizeof(SQLLEN));
    layout.columns.push_back(c);
  }
  layout.rows = std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows);
  return layout;
}

RowBlock::RowBlock(const BlockLayout& layout) : capacity_(layout.rows) {
  const std::size_t n = layout.columns.size();
  std::size_t at = 0, converted = 0;
  fetchAt_.resize(n);
  storeAt_.resize(n);
  storeIndicatorAt_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const BlockColumn& c = layout.columns[i];
    fetchAt_[i] = at;
    at += static_cast<std::size_t>(aligned(c.width * static_cast<SQLLEN>(capacity_)));
    storeAt_[i] = fetchAt_[i];
    storeIndicatorAt_[i] = i;
    if (c.converted) {
      storeAt_[i] = at;
      at += static_cast<std::size_t>(aligned(c.storeWidth * static_cast<SQLLEN>(capacity_)));
      storeIndicatorAt_[i] = n + converted++;
    }
  }
  data_.assign(at, 0);
  indicators_.assign((n + converted) * capacity_, 0);
  rowStatus_.assign(capacity_, 0);
}

namespace {

std::string_view textAt(const RowBlock& block, const BlockColumn& c, std::size_t column,
                        std::size_t row) {
  SQLLEN length = block.fetchedIndicators(column)[row];
  return {block.fetched(column) + static_cast<SQLLEN>(row) * c.width,
          static_cast<std::size_t>(std::max<SQLLEN>(length, 0))};
}

[[noreturn]] void cutShort(const RowBlock& block, std::size_t column, std::size_t row) {
  throw std::runtime_error("row " + std::to_string(block.firstRow + row) + ": the value of column " +
                           std::to_string(column + 1) + " is longer than the source said its column holds");
}

}  // namespace

void prepareBlock(RowBlock& block, const BlockLayout& layout, std::vector<uint64_t>& setToNull) {
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const BlockColumn& c = layout.columns[i];
    SQLLEN* fetchedNull = block.fetchedIndicators(i);
    if (c.fetchType == SQL_C_CHAR || c.fetchType == SQL_C_BINARY) {
      const SQLLEN room = c.fetchType == SQL_C_CHAR ? c.width - 1 : c.width;
      for (std::size_t r = 0; r < block.rows; ++r)
        if (fetchedNull[r] != SQL_NULL_DATA && (fetchedNull[r] < 0 || fetchedNull[r] > room))
          cutShort(block, i, r);
    }
    if (i >= layout.tableColumns) continue;
    switch (c.style) {
      case ValueStyle::Number:
        if (c.fetchType != SQL_C_CHAR) break;
        [[fallthrough]];
      case ValueStyle::DateText:
        // The text read of a NULL.
        for (std::size_t r = 0; r < block.rows; ++r)
          if (fetchedNull[r] == 0) fetchedNull[r] = SQL_NULL_DATA;
        break;
      case ValueStyle::Bit: {
        auto* bits = reinterpret_cast<unsigned char*>(block.fetched(i));
        for (std::size_t r = 0; r < block.rows; ++r) bits[r] = bits[r] != 0;
        break;
      }
      case ValueStyle::Double: {
        const char* values = block.fetched(i);
        for (std::size_t r = 0; r < block.rows; ++r) {
          double v;
          std::memcpy(&v, values + r * 8, 8);
          if (fetchedNull[r] != SQL_NULL_DATA && !std::isfinite(v)) fetchedNull[r] = SQL_NULL_DATA;
        }
        break;
      }
      case ValueStyle::Single: {
        // The float's shortest digits read as a double: the value the
        // statements' literal gives a Double column.
        const char* values = block.fetched(i);
        char* out = block.stored(i);
        SQLLEN* storedNull = block.storedIndicators(i);
        for (std::size_t r = 0; r < block.rows; ++r) {
          double fetched;
          std::memcpy(&fetched, values + r * 8, 8);
          const auto f = static_cast<float>(fetched);
          storedNull[r] = SQL_NULL_DATA;
          if (fetchedNull[r] == SQL_NULL_DATA || !std::isfinite(f)) continue;
          char digits[64];
          auto end = std::to_chars(digits, digits + sizeof digits, f).ptr;
          double d = 0;
          std::from_chars(digits, end, d);
          std::memcpy(out + r * 8, &d, 8);
          storedNull[r] = 8;
        }
        break;
      }
      case ValueStyle::Timestamp: {
        char* out = block.stored(i);
        SQLLEN* storedNull = block.storedIndicators(i);
        for (std::size_t r = 0; r < block.rows; ++r) {
          storedNull[r] = SQL_NULL_DATA;
          if (fetchedNull[r] == SQL_NULL_DATA) continue;
          std::string literal = sqlTimestampText(textAt(block, c, i, r));
          if (literal == kSqlNull) {
            ++setToNull[i];
            continue;
          }
          // Without its quotes; it never holds one.
          const std::size_t length = literal.size() - 2;
          if (static_cast<SQLLEN>(length) >= c.storeWidth) cutShort(block, i, r);
          std::memcpy(out + static_cast<SQLLEN>(r) * c.storeWidth, literal.data() + 1, length);
          storedNull[r] = static_cast<SQLLEN>(length);
        }
        break;
      }
      case ValueStyle::Text:
      case ValueStyle::NumberText:
      case ValueStyle::TimeText:
      case ValueStyle::Binary:
        break;
    }
  }
}

std::string blockLiteral(const RowBlock& block, const BlockLayout& layout, std::size_t column,
                         std::size_t row) {
  const BlockColumn& c = layout.columns[column];
  if (c.converted ? block.storedIndicators(column)[row] == SQL_NULL_DATA
                  : block.fetchedIndicators(column)[row] == SQL_NULL_DATA)
    return kSqlNull;
  const char* value = block.fetched(column) + static_cast<SQLLEN>(row) * c.width;
  switch (c.fetchType) {
    case SQL_C_SBIGINT: {
      SQLBIGINT v;
      std::memcpy(&v, value, 8);
      return std::to_string(v);
    }
    case SQL_C_UBIGINT: {
      SQLUBIGINT v;
      std::memcpy(&v, value, 8);
      return std::to_string(v);
    }
    case SQL_C_BIT:
      return sqlBit(*value != 0);
    case SQL_C_DOUBLE: {
      double v;
      std::memcpy(&v, value, 8);
      return c.style == ValueStyle::Single ? sqlSingle(static_cast<float>(v)) : sqlDouble(v);
    }
    case SQL_C_BINARY:
      return sqlBinary(textAt(block, c, column, row));
    default:
      break;
  }
  if (c.style == ValueStyle::Timestamp) {
    const char* stored = block.stored(column) + static_cast<SQLLEN>(row) * c.storeWidth;
    return "'" + std::string(stored, static_cast<std::size_t>(block.storedIndicators(column)[row])) + "'";
  }
  if (c.style == ValueStyle::Number) return sqlNumber(textAt(block, c, column, row));
  return sqlText(textAt(block, c, column, row));
}

}  // namespace engine
