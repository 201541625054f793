#include "backup/BackupName.h"

#include <cstdio>

std::string BackupFileName(const UtcTime& time, unsigned long processId) {
  char name[64];
  std::snprintf(name, sizeof(name), "tessaline-backup-%04u%02u%02uT%02u%02u%02uZ-%lu.reg",
                time.year, time.month, time.day, time.hour, time.minute, time.second, processId);
  return name;
}
