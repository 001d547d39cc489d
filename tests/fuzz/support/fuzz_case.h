// The bodies of the fuzz targets, shared by the libFuzzer executables and by
// the test that replays every input that once failed. Each body takes any
// bytes; the failures it expects (a refused statement, a damaged file) are
// caught inside it. What escapes is a fault: a Violation for a broken
// promise between two parts of the code, anything else for a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace fuzzcase {

struct Violation : std::logic_error {
  using std::logic_error::logic_error;
};

// SQL text through the driver's two parsers, then run against a small
// database of every column type.
void sqlText(const uint8_t* data, size_t size);

// Bytes opened as a database: every table, row and long value read, then
// the structural check (which walks every index).
void databaseFile(const uint8_t* data, size_t size);

// The converter's value literals from arbitrary source values, read back by
// the driver: the first byte picks the kind of value, the rest is the value.
void valueFormat(const uint8_t* data, size_t size);

// A private folder for the files a body writes, removed when the process
// ends.
std::string scratchPath(const std::string& name);

}  // namespace fuzzcase
