#include "logging/KVDataObjectsFactory.h"

#include "logging/KVLogging.h"

namespace kv {

IKVFileLoggerSettingsPtr TKVDataObjectsFactory::CreateDefaultFileLoggerSettings() {
  auto settings = std::make_shared<TKVFileLoggerSettings>();
  settings->SetMaxSize(-1);
  settings->SetMaxCount(-1);
  return settings;
}

}  // namespace kv
