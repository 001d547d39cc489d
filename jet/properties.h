// Object property blobs ("MR2" format) kept in MSysObjects.LvProp: Access
// holds column properties such as Required there, not in the TDEF.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace jet {

// A blob giving each named column Required = Yes (valid with none too).
std::vector<uint8_t> makePropertyBlob(const std::vector<std::string>& requiredColumns);

// Names of the columns whose Required property is Yes (case as stored).
// Unreadable blobs yield an empty set: properties never block reading rows.
std::set<std::string> requiredColumnsOf(const std::vector<uint8_t>& blob);

}  // namespace jet
