#pragma once

#include <string>

// A moment in UTC, as the platform's clock gives it.
struct UtcTime {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The name of the file --backup-dir makes, unique to the run: its time and its process.
// "tessaline-backup-20261209T031500Z-4242.reg".
std::string BackupFileName(const UtcTime& time, unsigned long processId);
