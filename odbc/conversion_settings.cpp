#include "odbc/conversion_settings.h"

ConversionSettings& conversionSettings() {
  static ConversionSettings settings;
  return settings;
}
