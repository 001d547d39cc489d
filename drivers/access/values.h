// Mapping between the SQL text world and Jet values: type words to column
// specs, literals to typed values (with Jet's checks), values to text.
#pragma once

#include <string>
#include <string_view>

#include "drivers/access/sql_parser.h"
#include "jet/database.h"

namespace tabulex::access {

// Fills type, length, precision, scale and autoNumber of a column from its
// type words. Throws DriverError 42000 for an unknown word or a bad size.
void applyTypeName(const TypeName& type, jet::ColumnSpec& column);

// Converts one literal for a column, checking it as Jet does. Errors name
// the column: 22001 too long, 22003 out of range, 22007 bad date or time,
// 22018 a value of the wrong kind.
jet::Value literalToValue(const Literal& literal, const jet::ColumnSpec& column);

// The same into a value kept from an earlier row: text reuses the room of
// the text that was there.
void assignLiteral(const Literal& literal, const jet::ColumnSpec& column, jet::Value& out);

// The value a column's DefaultValue gives a row that leaves the column
// out: constants, Now() and Date() (the local time). False, with out
// untouched, for an expression that is none of these (it is then left to
// Access). Throws as literalToValue does when the constant does not suit
// the column.
bool defaultValueOf(const jet::ColumnSpec& column, jet::Value& out);

// Date and time text: 'D/M/YYYY[ H:MM[:SS[.fff]]]' (day first, as the
// converter writes), 'YYYY-MM-DD[ hh:mm[:ss[.fff]]]', a time alone.
// monthFirst selects the US order of #...# literals. Returns false for text
// that is no date.
struct ParsedDate {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  double fraction = 0;  // of a second, 0 <= fraction < 1
  jet::DateTime value() const {
    return jet::toOleDate(year, month, day, hour, minute, second + fraction);
  }
};
enum class DateParse { Ok, NotADate, Impossible };
DateParse parseDateText(std::string_view text, bool monthFirst, ParsedDate& out);

// Canonical text of a value as a reader sees it through SQL_C_CHAR.
std::string valueToText(const jet::Value& value, const jet::ColumnSpec& column);

// UTF-8 and UTF-16 (the wide ODBC entry points' SQLWCHAR text).
std::u16string utf8ToUtf16(const std::string& text);
std::string utf16ToUtf8(const char16_t* text, size_t length);

// Number of Unicode characters in UTF-8 text.
size_t utf8Length(std::string_view text);
// Number of UTF-16 units of UTF-8 text (two for a character beyond U+FFFF).
size_t utf16Length(std::string_view text);

}  // namespace tabulex::access
