#include "console/CmTrace.h"

#include <cstdio>

#include "registry/AsciiCase.h"
#include "registry/ShownText.h"

namespace {

constexpr const char kRecordEnd[] = "]LOG]";
constexpr std::size_t kRecordEndSize = sizeof(kRecordEnd) - 1;

// The shown text with each "]LOG]", in any case, made "\u005dLOG]". What Shown gives holds no
// "\u005d" of its own: a name that spells one is shown as "\u005cu005d".
std::string WithoutRecordEnd(const std::string& shown) {
  std::string text;
  for (std::size_t at = 0; at < shown.size(); ++at) {
    if (shown[at] == ']' && AsciiUpper(shown.substr(at, kRecordEndSize)) == kRecordEnd) {
      text += "\\u005d";
    } else {
      text += shown[at];
    }
  }
  return text;
}

}  // namespace

std::string CmTraceRecord(const std::string& text, LogType type, const UtcTime& time,
                          std::uint32_t thread) {
  char fields[160];
  std::snprintf(fields, sizeof(fields),
                "]LOG]!><time=\"%02u:%02u:%02u.%03u+000\" date=\"%02u-%02u-%04u\" "
                "component=\"tessaline-clean\" context=\"\" type=\"%d\" thread=\"%lu\" "
                "file=\"\">\r\n",
                time.hour, time.minute, time.second, time.millisecond, time.month, time.day,
                time.year, static_cast<int>(type), static_cast<unsigned long>(thread));
  return "<![LOG[" + WithoutRecordEnd(Shown(text)) + fields;
}

bool RollsOver(std::uint64_t size, std::uint64_t adding) {
  return size > 0 && size + adding > kLogRollOverSize;
}

std::string RolledOverName(const std::string& name) {
  if (name.empty() || name.back() == '_') {
    return name + "_";
  }
  return name.substr(0, name.size() - 1) + "_";
}
