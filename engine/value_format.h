// SQL literals for the row inserts. Pure: the row copy reads the values and
// these functions write them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

inline const std::string kSqlNull = "NULL";

// 'text' with every quote doubled.
std::string sqlText(std::string_view text);

// 0x followed by two hexadecimal digits per byte.
std::string sqlBinary(std::string_view bytes);

// The shortest text that reads back as the same double (or float); NULL for
// values no database column holds (NaN, infinities).
std::string sqlDouble(double value);
std::string sqlSingle(float value);

// The driver's digits for an integer or decimal column; NULL when empty
// (the text read of a NULL). Text that is not a plain number is quoted.
std::string sqlNumber(std::string_view digits);

// A date and time of day as 'D/M/YYYY H:MM:SS'; NULL for a year outside
// Access's 100..9999, a zero date, or a day the month does not have.
std::string sqlTimestamp(int year, unsigned month, unsigned day, unsigned hour,
                         unsigned minute, unsigned second);

// A date and time as the driver writes it ("YYYY-MM-DD HH:MM:SS", maybe
// with fractions of a second) as 'D/M/YYYY H:MM:SS[.ffffff]'; NULL for
// what Access cannot hold: a year outside 100..9999, a zero date, a zero
// month or day, a day the month does not have, text of another form.
std::string sqlTimestampText(std::string_view text);

// A date kept as text ("YYYY-MM-DD"), quoted as it comes: the zero date and
// dates with a zero month or day are legal MySQL values and stay as they are.
std::string sqlDateText(std::string_view text);

// Bit values: 0 or 1, whatever byte or text the driver delivered.
std::string sqlBit(bool value);

}  // namespace engine
