// Makes the logging module's data objects with their defaults.
#pragma once

#include "logging/KVLoggingIntf.h"

namespace kv {

class TKVDataObjectsFactory {
 public:
  // No size limit, no count limit (both -1), every other setting empty or off.
  static IKVFileLoggerSettingsPtr CreateDefaultFileLoggerSettings();
};

}  // namespace kv
