#pragma once

#include "console/RunLog.h"

// The run log on Windows. The default log is %WINDIR%\Logs\Tessaline\tessaline-clean.log for an
// elevated run or SYSTEM, and %LOCALAPPDATA%\Tessaline\tessaline-clean.log for a standard user;
// its folder is made when missing, as --backup-dir makes the backup's. A log given by name must
// be in a folder that exists. Either way the folder must pass the rule of a backup's folder and
// is held while the run goes on, and the log is either made new, or is a file that exists as
// itself, with one name, that only the trusted may change.
class WindowsLogPlatform : public LogPlatform {
 public:
  std::unique_ptr<LogFile> Open(const std::string& path, std::string* why) override;
  UtcTime Now() override;
  Runner Who() override;
};
