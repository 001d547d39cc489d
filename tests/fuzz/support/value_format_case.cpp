// Every literal the converter writes must reach the driver as the value it
// was made from: text byte for byte, numbers to the last bit, timestamps to
// the second. The source values are arbitrary, as a server may hand over
// anything its column type allows and more.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <type_traits>
#include <string_view>

#include "drivers/access/driver_error.h"
#include "drivers/access/sql_parser.h"
#include "drivers/access/values.h"
#include "engine/table_statement.h"
#include "engine/type_mapping.h"
#include "engine/value_format.h"
#include "support/fuzz_case.h"

namespace fuzzcase {
namespace {

using namespace tabulex::access;
using engine::ValueStyle;
using jet::ColumnType;

constexpr int kStyles = int(ValueStyle::TimeText) + 1;

jet::ColumnSpec columnOf(ColumnType type, uint16_t length = 0) {
  jet::ColumnSpec c;
  c.name = "c";
  c.type = type;
  c.length = length;
  if (type == ColumnType::Numeric) {
    c.precision = 28;
    c.scale = 4;
  }
  return c;
}

// The driver's reading of one literal as the converter sends it.
Literal readBack(const std::string& literal, Insert& holder) {
  std::string sql = engine::insertStatement("t", {literal});
  try {
    holder = std::get<Insert>(parseStatement(sql));
  } catch (const DriverError& e) {
    throw Violation("the driver refuses the literal " + literal + ": " + e.what());
  }
  if (holder.values.size() != 1)
    throw Violation("the literal " + literal + " reads as " +
                    std::to_string(holder.values.size()) + " values");
  return holder.values[0];
}

// A conversion the driver may refuse (a value the column cannot hold); what
// it accepts is returned.
std::optional<jet::Value> store(const Literal& literal, const jet::ColumnSpec& column) {
  try {
    return literalToValue(literal, column);
  } catch (const DriverError&) {
    return std::nullopt;
  }
}

void expectText(const std::string& literal, std::string_view source, const Literal& read) {
  if (read.kind != Literal::Kind::String || read.text != source)
    throw Violation("the literal " + literal + " does not read back as its source text");
}

template <typename T>
T fromBytes(std::string_view bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
  return value;
}

void checkTimestamp(std::string_view bytes) {
  struct {
    int16_t year;
    uint8_t month, day, hour, minute, second;
  } t{};
  t.year = fromBytes<int16_t>(bytes);
  if (bytes.size() > 2) std::memcpy(&t.month, bytes.data() + 2, std::min<size_t>(5, bytes.size() - 2));
  std::string literal = engine::sqlTimestamp(t.year, t.month, t.day, t.hour, t.minute, t.second);
  if (literal == engine::kSqlNull) return;
  Insert holder;
  Literal read = readBack(literal, holder);
  ParsedDate parsed;
  if (read.kind != Literal::Kind::String ||
      parseDateText(read.text, false, parsed) != DateParse::Ok || parsed.year != t.year ||
      parsed.month != t.month || parsed.day != t.day || parsed.hour != t.hour ||
      parsed.minute != t.minute || parsed.second != t.second)
    throw Violation("the timestamp literal " + literal + " reads back as another time");
  auto value = store(read, columnOf(ColumnType::DateTime));
  if (!value) throw Violation("the driver refuses the timestamp literal " + literal);
  jet::CivilTime c = jet::fromOleDate(std::get<jet::DateTime>(*value));
  if (c.year != t.year || c.month != t.month || c.day != t.day || c.hour != t.hour ||
      c.minute != t.minute || c.second != t.second)
    throw Violation("the timestamp literal " + literal + " is stored as another time");
}

template <typename T>
void checkFloating(std::string_view bytes, ColumnType type) {
  T source = fromBytes<T>(bytes);
  std::string literal = std::is_same_v<T, float> ? engine::sqlSingle(float(source))
                                                 : engine::sqlDouble(double(source));
  if (literal == engine::kSqlNull) {
    if (std::isfinite(source)) throw Violation("a finite number became NULL");
    return;
  }
  Insert holder;
  Literal read = readBack(literal, holder);
  if (read.kind != Literal::Kind::Number)
    throw Violation("the number literal " + literal + " does not read as a number");
  auto value = store(read, columnOf(type));
  if (!value) throw Violation("the driver refuses the number literal " + literal);
  const double* stored = std::get_if<double>(&*value);
  // A Single column narrows the double on insert.
  if (!stored || T(*stored) != source)
    throw Violation("the number literal " + literal + " is stored as another number");
}

}  // namespace

void valueFormat(const uint8_t* data, size_t size) {
  if (size == 0) return;
  auto style = ValueStyle(data[0] % kStyles);
  std::string_view source(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string literal;
  Insert holder;
  switch (style) {
    case ValueStyle::Text:
    case ValueStyle::NumberText:
    case ValueStyle::TimeText:
    case ValueStyle::DateText: {
      literal = style == ValueStyle::DateText ? engine::sqlDateText(source) : engine::sqlText(source);
      if (literal == engine::kSqlNull && style == ValueStyle::DateText) return;
      Literal read = readBack(literal, holder);
      expectText(literal, source, read);
      store(read, columnOf(ColumnType::Memo));
      store(read, columnOf(ColumnType::Text, 255));
      store(read, columnOf(ColumnType::Numeric));
      store(read, columnOf(ColumnType::DateTime));
      return;
    }
    case ValueStyle::Binary: {
      literal = engine::sqlBinary(source);
      Literal read = readBack(literal, holder);
      auto value = store(read, columnOf(ColumnType::OLE));
      const jet::Bytes* bytes = value ? std::get_if<jet::Bytes>(&*value) : nullptr;
      if (read.kind != Literal::Kind::Hex || !bytes ||
          std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) != source)
        throw Violation("the binary literal " + literal + " is stored as other bytes");
      return;
    }
    case ValueStyle::Number: {
      literal = engine::sqlNumber(source);
      if (literal == engine::kSqlNull) {
        if (!source.empty()) throw Violation("a number became NULL");
        return;
      }
      Literal read = readBack(literal, holder);
      // The driver drops a plus sign and keeps the rest of the number.
      std::string_view digits = source;
      if (read.kind == Literal::Kind::Number && digits[0] == '+') digits.remove_prefix(1);
      if (read.kind == Literal::Kind::Number ? read.text != digits
                                             : read.kind != Literal::Kind::String || read.text != source)
        throw Violation("the number literal " + literal + " does not read back as its digits");
      store(read, columnOf(ColumnType::Long));
      store(read, columnOf(ColumnType::Numeric));
      store(read, columnOf(ColumnType::Currency));
      store(read, columnOf(ColumnType::Double));
      return;
    }
    case ValueStyle::Bit: {
      for (bool b : {false, true}) {
        Literal read = readBack(engine::sqlBit(b), holder);
        auto value = store(read, columnOf(ColumnType::Boolean));
        if (!value || std::get<bool>(*value) != b) throw Violation("a bit is stored as the other");
      }
      return;
    }
    case ValueStyle::Double:
      checkFloating<double>(source, ColumnType::Double);
      return;
    case ValueStyle::Single:
      checkFloating<float>(source, ColumnType::Single);
      return;
    case ValueStyle::Timestamp:
      checkTimestamp(source);
      return;
  }
}

}  // namespace fuzzcase
