// A column's default as MariaDB's catalogue gives it (COLUMN_DEFAULT),
// turned into the literal Access's own SQL takes in a column definition.
// Pure text work.
#pragma once

#include <optional>
#include <string>

#include "engine/type_mapping.h"

namespace engine {

struct AccessDefault {
  std::string literal;  // "12", "\"it's\"", "#2020-01-02 03:04:05#", "Now()"; empty: none
  std::string leftOut;  // why a default the source has is not carried; empty when carried or none
};

// `columnDefault` is COLUMN_DEFAULT (nothing when the server gives NULL).
// MariaDB quotes string literals ('it''s'), gives numbers and expressions
// bare (5, current_timestamp(), concat('a','b')) and a default of NULL as
// the word NULL; the Access literal follows the column's Access type.
AccessDefault accessDefault(const SourceColumn& column,
                            const std::optional<std::string>& columnDefault);

}  // namespace engine
