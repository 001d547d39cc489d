// The insert path hands values that are already in stored form straight
// through; every value must come out exactly as the full conversion makes
// it, or be refused with the same error.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "jet/row.h"

namespace {

using jet::ColumnDef;
using jet::ColumnType;
using jet::Value;

ColumnDef column(ColumnType type, uint16_t length = 0, bool required = false) {
  ColumnDef c;
  c.name = "c";
  c.type = type;
  c.length = length;
  c.required = required;
  if (type == ColumnType::Numeric) c.misc = {10, 2, 0, 0};  // precision 10, scale 2
  if (type == ColumnType::Text || type == ColumnType::Memo) c.ext = jet::kColCompressedUnicode;
  return c;
}

struct Outcome {
  std::optional<Value> value;
  std::optional<jet::Error::Code> error;
};

template <class F>
Outcome run(F&& f) {
  Outcome o;
  try {
    o.value = f();
  } catch (const jet::Error& e) {
    o.error = e.code();
  }
  return o;
}

bool sameBits(const Value& a, const Value& b) {
  // NaN and signed zero compare by their stored bits, not by ==.
  auto da = std::get_if<double>(&a), db = std::get_if<double>(&b);
  if (da && db) return std::memcmp(da, db, sizeof(double)) == 0;
  return a == b;
}

TEST(RowValues, QuickPathAgreesWithTheFullConversion) {
  using jet::Currency;
  using jet::DateTime;
  using jet::Numeric;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<ColumnDef> columns = {
      column(ColumnType::Boolean),       column(ColumnType::Byte),
      column(ColumnType::Integer),       column(ColumnType::Long),
      column(ColumnType::Long, 0, true), column(ColumnType::Currency),
      column(ColumnType::Single),        column(ColumnType::Double),
      column(ColumnType::DateTime),      column(ColumnType::Text, 10),
      column(ColumnType::Memo),          column(ColumnType::Binary, 4),
      column(ColumnType::OLE),           column(ColumnType::GUID),
      column(ColumnType::Numeric)};
  Numeric atScale{false, 12345, 2}, negativeZero{true, 0, 2}, tooWide{false, 10000000000, 2},
      otherScale{false, 5, 0};
  std::vector<Value> values = {jet::Null{},
                               true,
                               int64_t(0),
                               int64_t(-1),
                               int64_t(255),
                               int64_t(256),
                               int64_t(32768),
                               int64_t(INT32_MAX),
                               int64_t(int64_t(INT32_MAX) + 1),
                               0.5,
                               -0.0,
                               0.1,  // not a float: must be narrowed
                               double(FLT_MAX) * 2,
                               3.4028235e38,  // the largest float's shortest text, read as a double
                               nan,
                               inf,
                               std::string("abcde"),
                               std::string("abcdef"),  // twelve bytes: too long for 10
                               std::string("caf\xc3\xa9"),
                               std::string("a\0b", 3),
                               jet::Bytes{1, 2, 3},
                               jet::Bytes{1, 2, 3, 4, 5},
                               Currency{125},
                               DateTime{40000.25},
                               DateTime{3000000.0},
                               DateTime{nan},
                               atScale,
                               negativeZero,
                               tooWide,
                               otherScale,
                               jet::Guid{}};
  for (const auto& c : columns) {
    for (const auto& v : values) {
      SCOPED_TRACE("column type " + std::to_string(int(c.type)) + ", value alternative " +
                   std::to_string(v.index()));
      Outcome full = run([&] { return jet::normalizeValue(c, v); });
      Value scratch;
      Outcome quick = run([&] { return jet::normalizeValue(c, v, scratch); });
      ASSERT_EQ(full.error.has_value(), quick.error.has_value());
      if (full.error) {
        EXPECT_EQ(*full.error, *quick.error);
        continue;
      }
      ASSERT_EQ(full.value->index(), quick.value->index());
      EXPECT_TRUE(sameBits(*full.value, *quick.value));
    }
  }
}

// A float written with the fewest digits that read back as the same float
// may lie just outside the float range as a double; it still narrows to it.
TEST(RowValues, SingleTakesTheLargestFloatAsWritten) {
  ColumnDef single = column(ColumnType::Single);
  EXPECT_EQ(std::get<double>(jet::normalizeValue(single, 3.4028235e38)), double(FLT_MAX));
  EXPECT_EQ(std::get<double>(jet::normalizeValue(single, -3.4028235e38)), -double(FLT_MAX));
  try {
    jet::normalizeValue(single, 3.40283e38);
    ADD_FAILURE() << "a double that rounds to infinity was taken";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::Error::Code::OutOfRange);
  }
}

}  // namespace
