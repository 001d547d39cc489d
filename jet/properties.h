// Object property blobs ("MR2" format) kept in MSysObjects.LvProp: Access
// holds a table's Description and its columns' Required, DefaultValue and
// Description there, not in the TDEF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

struct ColumnProperties {
  std::string name;
  bool required = false;
  std::string defaultValue;  // an Access expression; empty for none
  std::string description;

  bool empty() const { return !required && defaultValue.empty() && description.empty(); }
};

struct ObjectProperties {
  std::string description;  // the object's own
  std::vector<ColumnProperties> columns;  // only those with a property
};

// The blob for these properties (valid with none too).
std::vector<uint8_t> makePropertyBlob(const ObjectProperties& properties);

// The properties this library knows from a blob written by it or by Access;
// others are passed over. nullopt when the blob does not hold together
// (callers then treat the object as having none: properties never block
// reading rows). An empty blob is a valid one with no properties.
std::optional<ObjectProperties> readPropertyBlob(const std::vector<uint8_t>& blob);

}  // namespace jet
