#include "backup/FolderTrust.h"

#include <algorithm>
#include <initializer_list>

#include "common/FailWith.h"
#include "common/PlatformTexts.h"

namespace {

constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

constexpr std::uint8_t kInheritOnly = 0x08;

// The rights over a folder that let someone else change what it holds or who may: add a file
// or folder, delete a child, delete or rename the folder itself, write its attributes or
// extended attributes, its access list or its owner. MAXIMUM_ALLOWED in an entry is all of them.
constexpr std::uint32_t kChangingRights =
    0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 | 0x00010000 | 0x00040000 | 0x00080000 | 0x02000000;

// Generic rights as the platform maps them for files and folders.
std::uint32_t FileRights(std::uint32_t mask) {
  constexpr std::uint32_t kGenericAll = 0x10000000;
  constexpr std::uint32_t kGenericWrite = 0x40000000;
  constexpr std::uint32_t kFileAllAccess = 0x001F01FF;
  constexpr std::uint32_t kFileGenericWrite = 0x00120116;
  if (mask & kGenericAll) {
    mask |= kFileAllAccess;
  }
  if (mask & kGenericWrite) {
    mask |= kFileGenericWrite;
  }
  return mask;
}

// Denying entries only ever take rights away; a decision that reads them as absent can only
// refuse more, never less.
bool Denies(std::uint8_t type) {
  return type == 1 || type == 6 || type == 10 || type == 12;
}

bool IsOneOf(const std::string& sid, std::initializer_list<const char*> sids) {
  return std::any_of(sids.begin(), sids.end(), [&](const char* one) { return sid == one; });
}

}  // namespace

bool FolderTrusted(const SecurityModel& folder, const std::string& account, std::string* why) {
  if (!IsOneOf(folder.owner, {kSystem, kAdministrators, kTrustedInstaller}) &&
      folder.owner != account) {
    return FailWith(why, "it belongs to " + folder.owner);
  }
  if (!folder.daclPresent) {
    return FailWith(why, "it grants everyone full control");
  }
  for (const AccessEntry& entry : folder.dacl) {
    if (Denies(entry.type) || (entry.flags & kInheritOnly) != 0 ||
        IsOneOf(entry.sid, {kSystem, kAdministrators, kTrustedInstaller}) || entry.sid == account) {
      continue;
    }
    if ((FileRights(entry.mask) & kChangingRights) != 0) {
      return FailWith(why, WithAccountName(entry.sid) + " may change what it holds");
    }
  }
  return true;
}

std::string OwnAccessList(bool elevated, const std::string& account) {
  std::string sddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  if (!elevated) {
    sddl += "(A;OICI;FA;;;" + account + ")";
  }
  return sddl;
}
