#pragma once

#include <cstdint>
#include <string>

#include "backup/BackupName.h"

// The kinds of record the deployment tools' log viewers tell apart.
enum class LogType { kInformation = 1, kWarning = 2, kError = 3 };

// One record of the run log in the CMTrace format those viewers read, ended by CR LF:
//   <![LOG[text]LOG]!><time="HH:MM:SS.mmm+000" date="MM-DD-YYYY" component="tessaline-clean"
//   context="" type="1" thread="N" file="">
// The time is UTC, so its bias is +000. The text is escaped as the console shows names, and
// "]LOG]", which would end the record's text early, is written "\u005dLOG]": no name can end a
// record or forge one.
std::string CmTraceRecord(const std::string& text, LogType type, const UtcTime& time,
                          std::uint32_t thread);

// The size at which the log rolls over, as the deployment tools' own logs do.
constexpr std::uint64_t kLogRollOverSize = 2621440;  // 2.5 MB

// Whether a record of `adding` bytes begins a new file instead of going to the log of `size`
// bytes: it would take the log past the bound. An empty log takes any record.
bool RollsOver(std::uint64_t size, std::uint64_t adding);

// The name a full log is renamed to as a new one begins: its last character made "_", as
// "tessaline-clean.lo_"; a name that already ends so gets one more.
std::string RolledOverName(const std::string& name);
