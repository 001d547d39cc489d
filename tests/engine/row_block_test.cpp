// A block of fetched rows made ready for the parameter arrays: what is
// stored for each value must be what the row-by-row statement's literal
// stores, and the skipped-rows list must name a row as that path does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "engine/row_block.h"

using namespace engine;

namespace {

BlockColumn textColumn(ValueStyle style, SQLLEN width) {
  BlockColumn c;
  c.style = style;
  c.width = c.storeWidth = width;
  return c;
}

BlockColumn fixedColumn(ValueStyle style, SQLSMALLINT fetchType, SQLSMALLINT storeType, SQLLEN width) {
  BlockColumn c;
  c.style = style;
  c.fetchType = fetchType;
  c.storeType = storeType;
  c.width = c.storeWidth = width;
  return c;
}

void putText(RowBlock& block, const BlockLayout& layout, std::size_t column, std::size_t row,
             const std::string& text) {
  std::memcpy(block.fetched(column) + static_cast<SQLLEN>(row) * layout.columns[column].width, text.data(),
              text.size());
  block.fetchedIndicators(column)[row] = static_cast<SQLLEN>(text.size());
}

template <typename T>
void putFixed(RowBlock& block, std::size_t column, std::size_t row, T value) {
  std::memcpy(block.fetched(column) + row * sizeof(T), &value, sizeof(T));
  block.fetchedIndicators(column)[row] = sizeof(T);
}

std::string storedText(const RowBlock& block, const BlockLayout& layout, std::size_t column, std::size_t row) {
  SQLLEN length = block.storedIndicators(column)[row];
  if (length == SQL_NULL_DATA) return "NULL";
  return std::string(block.stored(column) + static_cast<SQLLEN>(row) * layout.columns[column].storeWidth,
                     static_cast<std::size_t>(length));
}

}  // namespace

TEST(RowBlock, ValuesAreStoredAsTheirLiteralsWouldBe) {
  BlockLayout layout;
  layout.columns = {textColumn(ValueStyle::Text, 16), textColumn(ValueStyle::Number, 16),
                    textColumn(ValueStyle::DateText, 16),
                    fixedColumn(ValueStyle::Bit, SQL_C_BIT, SQL_C_STINYINT, 1),
                    fixedColumn(ValueStyle::Double, SQL_C_DOUBLE, SQL_C_DOUBLE, 8)};
  BlockColumn single = fixedColumn(ValueStyle::Single, SQL_C_DOUBLE, SQL_C_DOUBLE, 8);
  single.converted = true;
  BlockColumn stamp = textColumn(ValueStyle::Timestamp, 32);
  stamp.storeWidth = 48;
  stamp.converted = true;
  layout.columns.push_back(single);
  layout.columns.push_back(stamp);
  layout.tableColumns = layout.columns.size();
  layout.rows = 4;
  RowBlock block(layout);
  block.rows = 3;
  block.firstRow = 11;

  putText(block, layout, 0, 0, "it's");
  putText(block, layout, 0, 1, "");
  block.fetchedIndicators(0)[2] = SQL_NULL_DATA;
  putText(block, layout, 1, 0, "-12.50");
  putText(block, layout, 1, 1, "");  // the text read of a NULL
  putText(block, layout, 1, 2, "7");
  putText(block, layout, 2, 0, "0000-00-00");
  putText(block, layout, 2, 1, "");
  putText(block, layout, 2, 2, "2020-02-29");
  putFixed<unsigned char>(block, 3, 0, 1);
  putFixed<unsigned char>(block, 3, 1, 0);
  putFixed<unsigned char>(block, 3, 2, 2);
  putFixed(block, 4, 0, 0.1);
  putFixed(block, 4, 1, std::numeric_limits<double>::quiet_NaN());
  putFixed(block, 4, 2, -std::numeric_limits<double>::infinity());
  putFixed(block, 5, 0, static_cast<double>(0.1f));
  putFixed(block, 5, 1, static_cast<double>(-3.4028234e38f));
  block.fetchedIndicators(5)[2] = SQL_NULL_DATA;
  putText(block, layout, 6, 0, "2009-03-07 14:05:09.250000");
  putText(block, layout, 6, 1, "0000-00-00 00:00:00");
  putText(block, layout, 6, 2, "2019-02-29 00:00:00");

  std::vector<uint64_t> setToNull(layout.tableColumns);
  prepareBlock(block, layout, setToNull);

  // Text and dates kept as text stay as they came, the empty ones too.
  EXPECT_EQ(storedText(block, layout, 0, 0), "it's");
  EXPECT_EQ(storedText(block, layout, 0, 1), "");
  EXPECT_EQ(storedText(block, layout, 0, 2), "NULL");
  EXPECT_EQ(storedText(block, layout, 1, 0), "-12.50");
  EXPECT_EQ(storedText(block, layout, 1, 1), "NULL");
  EXPECT_EQ(storedText(block, layout, 2, 0), "0000-00-00");
  EXPECT_EQ(storedText(block, layout, 2, 1), "NULL");
  // Bits are 0 or 1 whatever byte came.
  EXPECT_EQ(static_cast<int>(block.stored(3)[2]), 1);
  // No database column holds NaN or infinities.
  EXPECT_NE(block.storedIndicators(4)[0], SQL_NULL_DATA);
  EXPECT_EQ(block.storedIndicators(4)[1], SQL_NULL_DATA);
  EXPECT_EQ(block.storedIndicators(4)[2], SQL_NULL_DATA);
  // A float goes as the double its shortest digits spell.
  double stored;
  std::memcpy(&stored, block.stored(5), 8);
  EXPECT_EQ(stored, 0.1);
  std::memcpy(&stored, block.stored(5) + 8, 8);
  EXPECT_EQ(stored, -3.4028235e38);
  EXPECT_EQ(block.storedIndicators(5)[2], SQL_NULL_DATA);
  // Timestamps in the statements' form; what Access cannot hold is NULL
  // and counted.
  EXPECT_EQ(storedText(block, layout, 6, 0), "7/3/2009 14:05:09.25");
  EXPECT_EQ(storedText(block, layout, 6, 1), "NULL");
  EXPECT_EQ(storedText(block, layout, 6, 2), "NULL");
  EXPECT_EQ(setToNull[6], 2u);

  // The skipped-rows list names values as the statements spell them.
  EXPECT_EQ(blockLiteral(block, layout, 0, 0), "'it''s'");
  EXPECT_EQ(blockLiteral(block, layout, 0, 2), "NULL");
  EXPECT_EQ(blockLiteral(block, layout, 1, 0), "-12.50");
  EXPECT_EQ(blockLiteral(block, layout, 3, 0), "1");
  EXPECT_EQ(blockLiteral(block, layout, 5, 0), "0.1");
  EXPECT_EQ(blockLiteral(block, layout, 6, 0), "'7/3/2009 14:05:09.25'");
}

TEST(RowBlock, AValueLongerThanItsColumnFailsTheBlockWithItsRow) {
  BlockLayout layout;
  layout.columns = {fixedColumn(ValueStyle::Number, SQL_C_SBIGINT, SQL_C_SBIGINT, 8),
                    textColumn(ValueStyle::Text, 4)};
  layout.tableColumns = 2;
  layout.rows = 2;
  RowBlock block(layout);
  block.rows = 2;
  block.firstRow = 41;
  putFixed<SQLBIGINT>(block, 0, 0, -9223372036854775807LL - 1);
  putFixed<SQLBIGINT>(block, 0, 1, 2);
  putText(block, layout, 1, 0, "abc");
  block.fetchedIndicators(1)[1] = 9;  // the connector's whole length, cut to fit
  EXPECT_EQ(blockLiteral(block, layout, 0, 0), "-9223372036854775808");
  std::vector<uint64_t> setToNull(2);
  try {
    prepareBlock(block, layout, setToNull);
    FAIL() << "a value cut short was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("row 42"), std::string::npos) << e.what();
  }
}
