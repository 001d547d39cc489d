#include "jet/row.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "jet/bytes.h"
#include "jet/long_value.h"
#include "jet/text.h"

namespace jet {

namespace {

[[noreturn]] void fail(Error::Code code, const ColumnDef& c, const std::string& what) {
  throw Error(code, "column '" + c.name + "': " + what, c.name);
}

using u128 = unsigned __int128;

u128 pow10(unsigned n) {
  u128 r = 1;
  while (n--) r *= 10;
  return r;
}

// Text is scanned on every insert; eight bytes at a time keeps that cheap.
uint64_t word(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// No byte at or above 0x80. Strings of eight bytes or more end with one
// word that overlaps the last full one instead of a byte loop.
bool allAscii(const std::string& s) {
  const char* p = s.data();
  const size_t n = s.size();
  if (n < 8) {
    for (size_t i = 0; i < n; ++i)
      if (uint8_t(p[i]) >= 0x80) return false;
    return true;
  }
  uint64_t any = word(p + n - 8);
  for (size_t i = 0; i + 8 <= n; i += 8) any |= word(p + i);
  return !(any & kHighs);
}

// No byte at or above 0x80 and no NUL.
bool allAsciiWithoutNul(const std::string& s) {
  const char* p = s.data();
  const size_t n = s.size();
  if (n < 8) {
    for (size_t i = 0; i < n; ++i)
      if (uint8_t(p[i]) - 1u >= 0x7Fu) return false;
    return true;
  }
  const auto clean = [](uint64_t w) { return !(w & kHighs) && !((w - kOnes) & ~w & kHighs); };
  if (!clean(word(p + n - 8))) return false;
  for (size_t i = 0; i + 8 <= n; i += 8)
    if (!clean(word(p + i))) return false;
  return true;
}

int64_t integerOf(const ColumnDef& c, const Value& v, int64_t lo, int64_t hi) {
  int64_t x;
  if (auto p = std::get_if<int64_t>(&v)) {
    x = *p;
  } else if (auto d = std::get_if<double>(&v)) {
    if (!std::isfinite(*d) || *d != std::floor(*d) || *d < double(lo) || *d > double(hi))
      fail(Error::Code::OutOfRange, c, "value out of range");
    x = int64_t(*d);
  } else if (auto b = std::get_if<bool>(&v)) {
    x = *b ? -1 : 0;  // Access's True
  } else {
    fail(Error::Code::InvalidValue, c, "a whole number is required");
  }
  if (x < lo || x > hi) fail(Error::Code::OutOfRange, c, "value out of range");
  return x;
}

double realOf(const ColumnDef& c, const Value& v) {
  if (auto d = std::get_if<double>(&v)) return *d;
  if (auto i = std::get_if<int64_t>(&v)) return double(*i);
  fail(Error::Code::InvalidValue, c, "a number is required");
}

const std::string& textOf(const ColumnDef& c, const Value& v) {
  if (auto s = std::get_if<std::string>(&v)) return *s;
  fail(Error::Code::InvalidValue, c, "text is required");
}

uint8_t precisionOf(const ColumnDef& c) { return c.misc[0]; }
uint8_t scaleOf(const ColumnDef& c) { return c.misc[1]; }

}  // namespace

RowLayout makeLayout(const TableDef& def) {
  RowLayout l;
  for (const auto& c : def.columns) {
    if (c.fixed()) {
      if (c.type != ColumnType::Boolean)
        l.fixedSize = std::max<uint32_t>(l.fixedSize, uint32_t(c.fixedOffset) + c.length);
    } else {
      l.varSlots = std::max<uint32_t>(l.varSlots, uint32_t(c.varIndex) + 1);
    }
  }
  l.maskBytes = uint32_t((def.maxColumns + 7) / 8);
  return l;
}

Value normalizeValue(const ColumnDef& c, const Value& v) {
  if (std::holds_alternative<Null>(v)) {
    if (c.type == ColumnType::Boolean) return false;
    if (c.required) fail(Error::Code::RequiredNull, c, "a value is required");
    return v;
  }
  switch (c.type) {
    case ColumnType::Boolean:
      if (auto b = std::get_if<bool>(&v)) return *b;
      if (auto i = std::get_if<int64_t>(&v)) return *i != 0;
      fail(Error::Code::InvalidValue, c, "a yes/no value is required");
    case ColumnType::Byte:
      return integerOf(c, v, 0, 255);
    case ColumnType::Integer:
      return integerOf(c, v, INT16_MIN, INT16_MAX);
    case ColumnType::Long:
      return integerOf(c, v, INT32_MIN, INT32_MAX);
    case ColumnType::Currency: {
      if (std::holds_alternative<Currency>(v)) return v;
      if (auto i = std::get_if<int64_t>(&v)) {
        if (*i > INT64_MAX / 10000 || *i < INT64_MIN / 10000)
          fail(Error::Code::OutOfRange, c, "value out of range");
        return Currency{*i * 10000};
      }
      double d = realOf(c, v) * 10000.0;
      if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) fail(Error::Code::OutOfRange, c, "value out of range");
      return Currency{std::llround(d)};
    }
    case ColumnType::Single: {
      double d = realOf(c, v);
      if (std::isnan(d)) return double(std::numeric_limits<float>::quiet_NaN());
      // Anything that rounds to a finite float fits: the shortest text of
      // the largest float ("3.4028235e+38") reads as a double above it.
      if (!(std::fabs(d) < double(FLT_MAX) + 0x1p103))
        fail(Error::Code::OutOfRange, c, "value out of range");
      return double(float(d));
    }
    case ColumnType::Double:
      return realOf(c, v);
    case ColumnType::DateTime: {
      double d;
      if (auto t = std::get_if<DateTime>(&v))
        d = t->days;
      else
        d = realOf(c, v);
      if (!inAccessDateRange(d))
        fail(Error::Code::OutOfRange, c, "date out of range");
      return DateTime{d};
    }
    case ColumnType::Binary:
    case ColumnType::OLE: {
      size_t n;
      if (auto b = std::get_if<Bytes>(&v))
        n = b->size();
      else if (auto s = std::get_if<std::string>(&v))
        n = s->size();
      else
        fail(Error::Code::InvalidValue, c, "binary data is required");
      if (c.type == ColumnType::Binary && n > c.length)
        fail(Error::Code::StringTooLong, c, "data longer than the column");
      if (auto s = std::get_if<std::string>(&v)) return Bytes(s->begin(), s->end());
      return v;
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      const std::string& s = textOf(c, v);
      bool ascii = true;
      for (char ch : s)
        if (uint8_t(ch) >= 0x80) {
          ascii = false;
          break;
        }
      size_t units = s.size();
      if (!ascii) {
        try {
          std::u16string u = utf8ToUtf16(s);
          units = u.size();
          // Stored bytes of text starting with U+FEFF need a check of their own.
          if (!u.empty() && u[0] == 0xFEFF) encodeText(u, c.ext & kColCompressedUnicode);
        } catch (const Error& e) {
          fail(e.code(), c, e.what());
        }
      }
      if (c.type == ColumnType::Text && units * 2 > c.length)
        fail(Error::Code::StringTooLong, c, "text longer than the column");
      return v;
    }
    case ColumnType::GUID:
      if (std::holds_alternative<Guid>(v)) return v;
      fail(Error::Code::InvalidValue, c, "a GUID is required");
    case ColumnType::Numeric: {
      Numeric n;
      if (auto p = std::get_if<Numeric>(&v)) {
        n = *p;
      } else if (auto i = std::get_if<int64_t>(&v)) {
        n.negative = *i < 0;
        n.magnitude = *i < 0 ? u128(-(*i + 1)) + 1 : u128(*i);
      } else {
        fail(Error::Code::InvalidValue, c, "a decimal number is required");
      }
      uint8_t scale = scaleOf(c);
      if (n.scale > 38) fail(Error::Code::OutOfRange, c, "value out of range");
      if (n.scale < scale) {
        u128 f = pow10(scale - n.scale);
        if (n.magnitude > (~u128(0)) / f) fail(Error::Code::OutOfRange, c, "value out of range");
        n.magnitude *= f;
      } else if (n.scale > scale) {
        u128 f = pow10(n.scale - scale);
        u128 q = n.magnitude / f, r = n.magnitude % f;
        if (r * 2 >= f) ++q;  // half away from zero
        n.magnitude = q;
      }
      n.scale = scale;
      if (n.magnitude >= pow10(precisionOf(c))) fail(Error::Code::OutOfRange, c, "value out of range");
      if (n.magnitude == 0) n.negative = false;
      return n;
    }
  }
  fail(Error::Code::Unsupported, c, "unsupported column type");
}

const std::array<u128, 39> kPowers10 = [] {
  std::array<u128, 39> p{};
  for (unsigned k = 0; k < p.size(); ++k) p[k] = pow10(k);
  return p;
}();

namespace {

// Whether v is already in the form column c stores, so that it can be used
// as it is. Kept free of anything that throws: the full conversion reports
// every refusal.
bool inStoredForm(const ColumnDef& c, const Value& v) {
  switch (v.index()) {
    case 0:  // Null
      return c.type != ColumnType::Boolean && !c.required;
    case 1:  // bool
      return c.type == ColumnType::Boolean;
    case 2: {  // int64_t
      int64_t x = *std::get_if<int64_t>(&v);
      return (c.type == ColumnType::Long && x >= INT32_MIN && x <= INT32_MAX) ||
             (c.type == ColumnType::Integer && x >= INT16_MIN && x <= INT16_MAX) ||
             (c.type == ColumnType::Byte && x >= 0 && x <= 255);
    }
    case 3: {  // double
      double d = *std::get_if<double>(&v);
      if (c.type == ColumnType::Double) return true;
      return c.type == ColumnType::Single && std::isfinite(d) && std::fabs(d) <= double(FLT_MAX) &&
             double(float(d)) == d;
    }
    case 4: {  // text
      if (c.type != ColumnType::Text && c.type != ColumnType::Memo) return false;
      const std::string& s = *std::get_if<std::string>(&v);
      if (c.type == ColumnType::Text && s.size() * 2 > c.length) return false;
      return allAscii(s);
    }
    case 5:  // bytes
      return c.type == ColumnType::OLE ||
             (c.type == ColumnType::Binary && std::get_if<Bytes>(&v)->size() <= c.length);
    case 6:  // Currency
      return c.type == ColumnType::Currency;
    case 7: {  // DateTime
      double d = std::get_if<DateTime>(&v)->days;
      return c.type == ColumnType::DateTime && inAccessDateRange(d);
    }
    case 8: {  // Numeric already at the column's scale and within its precision
      const Numeric& n = *std::get_if<Numeric>(&v);
      return c.type == ColumnType::Numeric && n.scale == scaleOf(c) && precisionOf(c) <= 38 &&
             n.magnitude < kPowers10[precisionOf(c)] && (n.magnitude != 0 || !n.negative);
    }
    case 9:  // Guid
      return c.type == ColumnType::GUID;
    default:
      return false;
  }
}

[[gnu::noinline]] const Value& convertInto(const ColumnDef& c, const Value& v, Value& scratch) {
  scratch = normalizeValue(c, v);
  return scratch;
}

}  // namespace

const Value& normalizeValue(const ColumnDef& c, const Value& v, Value& scratch) {
  // Most values arrive already in their stored form; hand them back without
  // copying and leave every other case to the full conversion.
  if (inStoredForm(c, v)) return v;
  return convertInto(c, v, scratch);
}

void encodeFixed(const ColumnDef& c, const Value& v, uint8_t* out) {
  switch (c.type) {
    case ColumnType::Byte:
      out[0] = uint8_t(std::get<int64_t>(v));
      break;
    case ColumnType::Integer:
      put16(out, uint16_t(std::get<int64_t>(v)));
      break;
    case ColumnType::Long:
      put32(out, uint32_t(std::get<int64_t>(v)));
      break;
    case ColumnType::Currency:
      put64(out, uint64_t(std::get<Currency>(v).scaled));
      break;
    case ColumnType::Single: {
      float f = float(std::get<double>(v));
      std::memcpy(out, &f, 4);
      break;
    }
    case ColumnType::Double: {
      double d = std::get<double>(v);
      std::memcpy(out, &d, 8);
      break;
    }
    case ColumnType::DateTime: {
      double d = std::get<DateTime>(v).days;
      std::memcpy(out, &d, 8);
      break;
    }
    case ColumnType::GUID: {
      const auto& b = std::get<Guid>(v).bytes;
      static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      for (int i = 0; i < 16; ++i) out[i] = b[size_t(order[i])];
      break;
    }
    case ColumnType::Numeric: {
      const auto& n = std::get<Numeric>(v);
      out[0] = n.negative ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) put32(out + 1 + 4 * w, uint32_t(n.magnitude >> (32 * (3 - w))));
      break;
    }
    default:
      break;
  }
}

void encodeVariable(const ColumnDef& c, const Value& v, std::vector<uint8_t>& out) {
  if (auto b = std::get_if<Bytes>(&v)) {
    out.assign(b->begin(), b->end());
    return;
  }
  const std::string& s = std::get<std::string>(v);
  bool compress = c.ext & kColCompressedUnicode;
  if (compress && s.size() >= 3 && (c.type != ColumnType::Memo || s.size() <= 1024)) {
    // Plain ASCII without NUL: the compressed form is the bytes themselves.
    // Resizing from the previous row's field, about as long, spares
    // clearing it and filling it with zeros first.
    if (allAsciiWithoutNul(s)) {
      out.resize(2 + s.size());
      out[0] = 0xFF;
      out[1] = 0xFE;
      std::memcpy(out.data() + 2, s.data(), s.size());
      return;
    }
  }
  // Long memos stay uncompressed, as Access keeps them.
  auto u = utf8ToUtf16(s);
  if (c.type == ColumnType::Memo && u.size() > 1024) compress = false;
  auto enc = encodeText(u, compress);
  out.assign(enc.begin(), enc.end());
}

void assembleRow(const TableDef& def, const RowLayout& layout, const std::vector<uint8_t>& fixed,
                 const std::vector<std::vector<uint8_t>>& varFields,
                 const std::vector<uint8_t>& present, std::vector<uint8_t>& out) {
  size_t nvar = layout.varSlots;
  size_t data = 0;
  for (size_t i = 0; i < nvar; ++i) data += varFields[i].size();
  size_t varAt = 2 + layout.fixedSize;
  size_t tableAt = varAt + data;
  size_t maskAt = tableAt + (nvar > 0 ? 2 * (nvar + 2) : 0);
  // Sized once and filled in place: rows are built for every insert.
  out.resize(maskAt + layout.maskBytes);
  uint8_t* o = out.data();
  put16(o, def.maxColumns);
  if (layout.fixedSize) std::memcpy(o + 2, fixed.data(), layout.fixedSize);
  if (nvar > 0) {
    size_t at = varAt;
    for (size_t i = 0; i < nvar; ++i) {
      put16(o + tableAt + 2 * (nvar - i), uint16_t(at));
      const auto& f = varFields[i];
      if (!f.empty()) std::memcpy(o + at, f.data(), f.size());
      at += f.size();
    }
    put16(o + tableAt, uint16_t(tableAt));  // end of the variable data
    put16(o + tableAt + 2 * (nvar + 1), uint16_t(nvar));
  }
  uint8_t* mask = o + maskAt;
  const uint8_t* isPresent = present.data();
  const ColumnDef* columns = def.columns.data();
  const size_t count = present.size();
  if (layout.maskBytes <= 8) {
    // Up to 64 column numbers: gather the bits in a register.
    uint64_t bits = 0;
    for (size_t k = 0; k < count; ++k) bits |= uint64_t(isPresent[k] != 0) << (columns[k].number & 63);
    for (uint32_t b = 0; b < layout.maskBytes; ++b) mask[b] = uint8_t(bits >> (8 * b));
  } else {
    std::memset(mask, 0, layout.maskBytes);
    for (size_t k = 0; k < count; ++k) {
      if (!isPresent[k]) continue;
      const uint16_t n = columns[k].number;
      mask[n / 8] |= uint8_t(1u << (n & 7));
    }
  }
}

StoredRow::StoredRow(const uint8_t* row, size_t size, const RowLayout& layout) : row_(row) {
  auto corrupt = [] { throw Error(Error::Code::Corrupt, "a row does not fit its table definition"); };
  if (size < 2) corrupt();
  ncols_ = get16(row);
  const uint32_t maskBytes = (ncols_ + 7) / 8;
  if (size < 2 + maskBytes) corrupt();
  mask_ = row + size - maskBytes;
  tableEnd_ = size - maskBytes;
  if (layout.varSlots > 0) {
    if (tableEnd_ < 4) corrupt();
    nvar_ = get16(row + tableEnd_ - 2);
    if (tableEnd_ < 2 + 2 * (size_t(nvar_) + 1) + 2) corrupt();
  }
}

const uint8_t* StoredRow::fixed(const ColumnDef& c) const {
  if (2 + size_t(c.fixedOffset) + c.length > tableEnd_)
    throw Error(Error::Code::Corrupt, "a row does not fit its table definition");
  return row_ + 2 + c.fixedOffset;
}

std::span<const uint8_t> StoredRow::variable(const ColumnDef& c) const {
  const uint32_t vi = c.varIndex;
  if (vi >= nvar_) return {};
  auto varOffset = [&](uint32_t i) { return uint32_t(get16(row_ + tableEnd_ - 4 - 2 * i)); };
  const uint32_t start = varOffset(vi);
  const uint32_t end = vi + 1 < nvar_ ? varOffset(vi + 1) : uint32_t(get16(row_ + tableEnd_ - 4 - 2 * nvar_));
  if (start > end || end > tableEnd_)
    throw Error(Error::Code::Corrupt, "a row does not fit its table definition");
  return {row_ + start, end - start};
}

Value StoredRow::value(PageStore& store, const ColumnDef& c) const {
  if (c.type == ColumnType::Boolean) return present(c.number);
  if (!present(c.number)) return Null{};
  if (c.fixed()) {
    const uint8_t* f = fixed(c);
    switch (c.type) {
      case ColumnType::Byte: return int64_t(f[0]);
      case ColumnType::Integer: return int64_t(int16_t(get16(f)));
      case ColumnType::Long: return int64_t(int32_t(get32(f)));
      case ColumnType::Currency: return Currency{int64_t(get64(f))};
      case ColumnType::Single: {
        float x;
        std::memcpy(&x, f, 4);
        return double(x);
      }
      case ColumnType::Double:
      case ColumnType::DateTime: {
        double x;
        std::memcpy(&x, f, 8);
        if (c.type == ColumnType::Double) return x;
        return DateTime{x};
      }
      case ColumnType::GUID: {
        Guid g;
        static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i) g.bytes[size_t(order[i])] = f[i];
        return g;
      }
      case ColumnType::Numeric: {
        Numeric n;
        n.negative = f[0] & 0x80;
        for (int w = 0; w < 4; ++w) n.magnitude = (n.magnitude << 32) | get32(f + 1 + 4 * w);
        n.scale = c.misc[1];
        return n;
      }
      default:
        return Null{};
    }
  }
  if (c.varIndex >= nvar_) return Null{};
  const std::span<const uint8_t> f = variable(c);
  switch (c.type) {
    case ColumnType::Text:
      return utf16ToUtf8(decodeText(f.data(), f.size()));
    case ColumnType::Memo: {
      auto data = readLongValue(store, f.data(), f.size());
      return utf16ToUtf8(decodeText(data.data(), data.size()));
    }
    case ColumnType::OLE:
      return readLongValue(store, f.data(), f.size());
    default:
      return Bytes(f.begin(), f.end());
  }
}

std::vector<Value> decodeRow(PageStore& store, const TableDef& def, const RowLayout& layout,
                             const uint8_t* row, size_t size, const std::vector<char>* only) {
  const StoredRow stored(row, size, layout);
  std::vector<Value> out(def.columns.size());
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (!only || (*only)[k]) out[k] = stored.value(store, def.columns[k]);
  return out;
}

}  // namespace jet
