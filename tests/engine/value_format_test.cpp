// Literals written into the row inserts: every digit, every byte, every
// second, and NULL where the value has no Access form.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <limits>

#include "engine/value_format.h"

using namespace engine;

TEST(ValueFormat, TextAndBytesAreExact) {
  EXPECT_EQ(sqlText("it's"), "'it''s'");
  EXPECT_EQ(sqlText("a\\b\nc\t''"), "'a\\b\nc\t'''''");
  EXPECT_EQ(sqlText(std::string("a\0b", 3)), std::string("'a\0b'", 5));
  EXPECT_EQ(sqlBinary(std::string("\x00\xFF\x10'", 4)), "0x00FF1027");
  EXPECT_EQ(sqlBinary(""), "0x");
}

TEST(ValueFormat, DoublesAndFloatsReadBackBitForBit) {
  const double doubles[] = {0.1, -2.75, 1.0 / 3.0, 123456789.123456789, DBL_MAX, -DBL_MAX,
                            DBL_MIN, 4.9e-324, 2147483648.5, -0.0, 1e300};
  for (double d : doubles) {
    std::string text = sqlDouble(d);
    double back = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
  }
  EXPECT_EQ(sqlDouble(-2.75), "-2.75");
  const float floats[] = {16777216.0f, 0.1f, FLT_MAX, FLT_MIN, -3.4028234e38f, 1.17549435e-38f};
  for (float f : floats) {
    std::string text = sqlSingle(f);
    float back = std::strtof(text.c_str(), nullptr);
    EXPECT_EQ(back, f) << text;
  }
  EXPECT_EQ(sqlSingle(16777216.0f), "16777216");
  EXPECT_EQ(sqlDouble(std::numeric_limits<double>::quiet_NaN()), "NULL");
  EXPECT_EQ(sqlDouble(std::numeric_limits<double>::infinity()), "NULL");
}

TEST(ValueFormat, TimestampsKeepTheTimeOfDayAndRefuseWhatAccessCannotHold) {
  EXPECT_EQ(sqlTimestamp(2009, 3, 7, 14, 5, 0), "'7/3/2009 14:05:00'");
  EXPECT_EQ(sqlTimestamp(1000, 1, 1, 0, 0, 0), "'1/1/1000 0:00:00'");
  EXPECT_EQ(sqlTimestamp(9999, 12, 31, 23, 59, 59), "'31/12/9999 23:59:59'");
  EXPECT_EQ(sqlTimestamp(100, 1, 1, 0, 0, 0), "'1/1/100 0:00:00'");
  EXPECT_EQ(sqlTimestamp(99, 12, 31, 0, 0, 0), "NULL");
  EXPECT_EQ(sqlTimestamp(0, 0, 0, 0, 0, 0), "NULL");
  EXPECT_EQ(sqlTimestamp(2009, 0, 7, 0, 0, 0), "NULL");
  EXPECT_EQ(sqlTimestamp(2009, 2, 31, 0, 0, 0), "NULL");
  EXPECT_EQ(sqlTimestamp(2008, 2, 29, 0, 0, 0), "'29/2/2008 0:00:00'");
  EXPECT_EQ(sqlTimestamp(1900, 2, 29, 0, 0, 0), "NULL");
}

TEST(ValueFormat, NumbersDatesAndBits) {
  EXPECT_EQ(sqlNumber("-9223372036854775808"), "-9223372036854775808");
  EXPECT_EQ(sqlNumber(""), "NULL");
  EXPECT_EQ(sqlNumber("-.5e+3"), "-.5e+3");
  // Digits that are not a number can never become SQL.
  EXPECT_EQ(sqlNumber("1) ; DROP TABLE t"), "'1) ; DROP TABLE t'");
  EXPECT_EQ(sqlNumber("1e"), "'1e'");
  EXPECT_EQ(sqlNumber("."), "'.'");
  EXPECT_EQ(sqlDateText("2009-03-07"), "'2009-03-07'");
  // Zero and partial dates are legal MySQL values; kept as text, exactly.
  EXPECT_EQ(sqlDateText("0000-00-00"), "'0000-00-00'");
  EXPECT_EQ(sqlDateText("2009-00-07"), "'2009-00-07'");
}

// Dates and times read as the driver's text: fractions of a second survive,
// and what Access cannot hold (zero, partial or too early) becomes NULL.
TEST(ValueFormat, TimestampTextKeepsFractionsAndRefusesWhatAccessCannotHold) {
  EXPECT_EQ(sqlTimestampText("2009-03-07 14:05:09"), "'7/3/2009 14:05:09'");
  EXPECT_EQ(sqlTimestampText("2009-03-07 14:05:09.123456"), "'7/3/2009 14:05:09.123456'");
  EXPECT_EQ(sqlTimestampText("2009-03-07 14:05:09.500000"), "'7/3/2009 14:05:09.5'");
  EXPECT_EQ(sqlTimestampText("2009-03-07 14:05:09.000"), "'7/3/2009 14:05:09'");
  EXPECT_EQ(sqlTimestampText("0100-01-01 10:00:00"), "'1/1/100 10:00:00'");
  for (const char* lost : {"0000-00-00 00:00:00", "2020-00-15 10:00:00", "2020-05-00 01:02:03",
                           "0050-01-01 00:00:00.123456", "0099-12-31 23:59:59", "2009-02-29 00:00:00",
                           "2009-03-07", "2009-03-07 14:05:09.", "2009-03-07 14:05:09.5x", ""})
    EXPECT_EQ(sqlTimestampText(lost), "NULL") << lost;
}
