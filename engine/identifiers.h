// Quoting of names on both sides, and the Access names given to tables and
// columns whose MySQL names Access cannot hold.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace engine {

// `name` with every backtick doubled, for MySQL statements.
std::string quoteMySql(std::string_view name);

// [name] for Access statements. Brackets never occur inside an Access name
// (accessName() replaces them), so no escaping is needed.
std::string quoteAccess(std::string_view name);

// The longest name Access holds, in characters.
inline constexpr std::size_t kAccessNameLimit = 64;

// A name Access can hold: the characters . ! ` [ ] and control characters
// become "_", leading blanks go, the name is cut to 64 characters (whole
// UTF-8 sequences), and an empty result becomes "_".
std::string accessName(std::string_view name);

// Hands out valid names that are unique without regard to letter case, as
// Access compares them. A name that had to change is reported by the caller.
class NameAllocator {
 public:
  // The Access name for `wanted` (already a preferred name, e.g. "countr").
  std::string allocate(std::string_view wanted);

 private:
  std::set<std::string> taken_;  // folded names already handed out
};

// Letter-case folding used for Access name comparisons (ASCII and Latin-1
// letters; other characters compare as they are).
std::string foldName(std::string_view name);

}  // namespace engine
