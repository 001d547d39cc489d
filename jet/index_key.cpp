#include "jet/index_key.h"

#include <bit>
#include <cstring>

#include "jet/collation.h"
#include "jet/text.h"

namespace jet {
namespace {

constexpr uint8_t kAscendingFlag = 0x7F;
constexpr uint8_t kDescendingFlag = 0x80;
constexpr uint8_t kAscendingNull = 0x00;
constexpr uint8_t kDescendingNull = 0xFF;

[[noreturn]] void wrongKind(ColumnType type) {
  throw Error(Error::Code::InvalidValue,
              "index key: value does not match column type " +
                  std::to_string(int(type)));
}

int64_t asInteger(ColumnType type, const Value& value) {
  if (const auto* v = std::get_if<int64_t>(&value)) return *v;
  if (const auto* v = std::get_if<bool>(&value)) return *v ? -1 : 0;
  wrongKind(type);
}

double asReal(ColumnType type, const Value& value) {
  if (const auto* v = std::get_if<double>(&value)) return *v;
  if (const auto* v = std::get_if<int64_t>(&value)) return double(*v);
  if (const auto* v = std::get_if<DateTime>(&value)) return v->days;
  wrongKind(type);
}

void invert(KeyBytes& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = uint8_t(~out[i]);
}

// Two's complement big-endian with the sign bit flipped sorts as unsigned.
void appendSigned(KeyBytes& out, int64_t v, unsigned bytes) {
  const uint64_t u = uint64_t(v) ^ (uint64_t(1) << (8 * bytes - 1));
  for (unsigned i = bytes; i-- > 0;) out.push_back(uint8_t(u >> (8 * i)));
}

// IEEE big-endian: non-negative values get the sign bit set, negative ones
// are inverted whole, so the bytes sort as the numbers do.
void appendReal(KeyBytes& out, uint64_t bits, unsigned bytes) {
  const uint64_t sign = uint64_t(1) << (8 * bytes - 1);
  const uint64_t mask = bytes == 8 ? ~uint64_t(0) : (sign << 1) - 1;
  bits = (bits & sign) ? (~bits & mask) : (bits | sign);
  for (unsigned i = bytes; i-- > 0;) out.push_back(uint8_t(bits >> (8 * i)));
}

// Binary and GUID values go in 8-byte segments, each followed by a count:
// 9 when more segments follow, else the number of bytes used. Descending
// inverts the data but leaves the "more follows" counts as they are.
void appendSegmented(KeyBytes& out, const uint8_t* data, size_t size,
                     bool descending) {
  const uint8_t flip = descending ? 0xFF : 0x00;
  size_t pos = 0;
  while (size - pos > 8) {
    for (size_t i = 0; i < 8; ++i) out.push_back(data[pos + i] ^ flip);
    out.push_back(9);
    pos += 8;
  }
  if (size - pos == 0) return;
  const size_t last = size - pos;
  for (size_t i = 0; i < 8; ++i)
    out.push_back(uint8_t((i < last ? data[pos + i] : 0) ^ flip));
  out.push_back(uint8_t(last ^ flip));
}

// Jet 4 orders Decimal keys the way Access 2000 does: a sign byte FF for
// zero and positive values and 00 for negative ones, then the magnitude
// (big-endian, 16 bytes), inverted when the value is negative in an
// ascending index or positive in a descending one.
void appendNumeric(KeyBytes& out, const Numeric& n, bool descending) {
  const bool negative = n.negative && n.magnitude != 0;
  const uint8_t flip = (negative != descending) ? 0xFF : 0x00;
  out.push_back(negative ? 0x00 : 0xFF);
  for (unsigned i = 16; i-- > 0;)
    out.push_back(uint8_t(uint8_t(n.magnitude >> (8 * i)) ^ flip));
}

}  // namespace

void appendIndexKey(KeyBytes& out, ColumnType type, const Value& value,
                    bool descending) {
  const bool isNull = std::holds_alternative<Null>(value);
  if (type == ColumnType::Boolean) {
    // Yes/No columns have no NULL in the index: NULL is indexed as No.
    const bool yes = !isNull && asInteger(type, value) != 0;
    out.push_back(descending ? kDescendingFlag : kAscendingFlag);
    out.push_back(uint8_t((yes ? 0x00 : 0xFF) ^ (descending ? 0xFF : 0x00)));
    return;
  }
  if (isNull) {
    out.push_back(descending ? kDescendingNull : kAscendingNull);
    return;
  }
  out.push_back(descending ? kDescendingFlag : kAscendingFlag);
  const size_t start = out.size();
  switch (type) {
    case ColumnType::Byte:
      out.push_back(uint8_t(asInteger(type, value)));
      break;
    case ColumnType::Integer:
      appendSigned(out, asInteger(type, value), 2);
      break;
    case ColumnType::Long:
      appendSigned(out, asInteger(type, value), 4);
      break;
    case ColumnType::Currency: {
      const auto* c = std::get_if<Currency>(&value);
      appendSigned(out, c ? c->scaled : asInteger(type, value) * 10000, 8);
      break;
    }
    case ColumnType::Single:
      appendReal(out, std::bit_cast<uint32_t>(float(asReal(type, value))), 4);
      break;
    case ColumnType::Double:
    case ColumnType::DateTime:
      appendReal(out, std::bit_cast<uint64_t>(asReal(type, value)), 8);
      break;
    case ColumnType::Numeric: {
      const auto* n = std::get_if<Numeric>(&value);
      if (!n) wrongKind(type);
      appendNumeric(out, *n, descending);
      return;  // the descending rule is part of the encoding
    }
    case ColumnType::GUID: {
      const auto* g = std::get_if<Guid>(&value);
      if (!g) wrongKind(type);
      appendSegmented(out, g->bytes.data(), g->bytes.size(), descending);
      return;
    }
    case ColumnType::Binary: {
      const auto* b = std::get_if<Bytes>(&value);
      if (!b) wrongKind(type);
      appendSegmented(out, b->data(), b->size(), descending);
      return;
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      const auto* s = std::get_if<std::string>(&value);
      if (!s) wrongKind(type);
      std::u16string units;
      collation::toUtf16(*s, units);
      collation::appendTextKey(out, units, descending);
      return;
    }
    default:
      throw Error(Error::Code::Unsupported,
                  "columns of type " + std::to_string(int(type)) +
                      " cannot be indexed");
  }
  if (descending) invert(out, start);
}

bool appendStoredKey(KeyBytes& out, PageStore& store, const StoredRow& row, const ColumnDef& column,
                     ColumnType type, bool descending, std::u16string& scratch) {
  if (type != ColumnType::Text || column.type != ColumnType::Text) {
    const Value value = row.value(store, column);
    appendIndexKey(out, type, value, descending);
    return !std::holds_alternative<Null>(value);
  }
  // Text straight from its stored form: the detour through UTF-8 that a
  // Value takes costs more than the key itself.
  if (row.isNull(column)) {
    out.push_back(descending ? kDescendingNull : kAscendingNull);
    return false;
  }
  const std::span<const uint8_t> stored = row.variable(column);
  decodeText(stored.data(), stored.size(), scratch);
  // A lone surrogate reads back as U+FFFD, as it does through UTF-8.
  for (size_t i = 0; i < scratch.size(); ++i) {
    const char16_t u = scratch[i];
    if (u < 0xD800 || u >= 0xE000) continue;
    if (u < 0xDC00 && i + 1 < scratch.size() && scratch[i + 1] >= 0xDC00 && scratch[i + 1] < 0xE000)
      ++i;
    else
      scratch[i] = u'\uFFFD';
  }
  out.push_back(descending ? kDescendingFlag : kAscendingFlag);
  collation::appendTextKey(out, scratch, descending);
  return true;
}

KeyBytes encodeIndexKey(const std::vector<ColumnType>& types,
                        const std::vector<const Value*>& values,
                        const std::vector<bool>& descending) {
  if (types.size() != values.size())
    throw Error(Error::Code::InvalidDefinition,
                "index key: column and value counts differ");
  KeyBytes key;
  key.reserve(8 * types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    const bool desc = i < descending.size() && descending[i];
    appendIndexKey(key, types[i], *values[i], desc);
  }
  return key;
}

KeyBytes makeLeafEntry(const KeyBytes& key, uint32_t dataPage, uint8_t row) {
  KeyBytes entry;
  entry.reserve(key.size() + 4);
  entry.assign(key.begin(), key.end());
  entry.push_back(uint8_t(dataPage >> 16));
  entry.push_back(uint8_t(dataPage >> 8));
  entry.push_back(uint8_t(dataPage));
  entry.push_back(row);
  return entry;
}

bool textKeyIsExact(const std::string& utf8) {
  // The character table covers every UTF-16 code unit; only the codes of
  // surrogate pairs (characters past U+FFFF) are derived from a rule that
  // has not been checked against Access, and malformed UTF-8 has no Access
  // counterpart at all.
  std::u16string units;
  if (!collation::toUtf16(utf8, units)) return false;
  for (const char16_t u : units)
    if (u >= 0xD800 && u <= 0xDFFF) return false;
  return true;
}

}  // namespace jet
