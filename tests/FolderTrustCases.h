#pragma once

#include <string>
#include <vector>

// Folders a backup might be asked to go in, as SDDL, with the account the program runs as and
// whether the folder may hold the backup.
struct FolderCase {
  const char* what;
  std::string sddl;
  std::string account;
  bool trusted;
};

constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* kOtherUserSid = "S-1-5-21-1004336348-1177238915-682003330-1002";

inline std::vector<FolderCase> FolderCases() {
  const std::string user = kUserSid;
  const std::string other = kOtherUserSid;
  return {
      // %ProgramData% as Windows sets it up: Users may create files and folders in it.
      {"ProgramData",
       "O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
       "(A;CI;DCLCRPCR;;;BU)",
       kSystemSid, false},
      // A folder another user made first in %ProgramData%: theirs, and they may do anything.
      {"made first by another user",
       "O:" + other + "G:" + other + "D:AI(A;ID;FA;;;" + other +
           ")(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)",
       kSystemSid, false},
      // An administrator's folder that lets Users write.
      {"granting Users write", "O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)",
       kSystemSid, false},
      // The protected folder the program makes.
      {"protected", "O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", kSystemSid, true},
      {"protected, for a standard user", "O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", kUserSid,
       true},
      // %ProgramFiles%: TrustedInstaller's; Users may only read.
      {"Program Files",
       "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI"
       "(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       "(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
       "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)",
       kSystemSid, true},
      // A folder SYSTEM made in %ProgramFiles%, with what it inherits.
      {"made by SYSTEM in Program Files",
       "O:SYD:AI(A;OICIID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       "(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIIOID;GA;;;CO)"
       "(A;OICIID;0x1200a9;;;AC)",
       kSystemSid, true},
      // No DACL: everyone may do everything.
      {"no DACL", "O:SYG:SY", kSystemSid, false},
      // Generic rights, mapped for files: GW and GA for Everyone.
      {"generic write for Everyone", "O:SYD:P(A;;FA;;;SY)(A;;GW;;;WD)", kSystemSid, false},
      {"generic all for Authenticated Users", "O:SYD:P(A;;FA;;;SY)(A;;GA;;;AU)", kSystemSid, false},
      // Rights for Users that reach only what is made inside, never the folder itself.
      {"inherit-only rights", "O:SYD:P(A;;FA;;;SY)(A;OICIIO;GA;;;BU)", kSystemSid, true},
      // A denying entry grants nothing; an allowing one after it still counts.
      {"denied", "O:SYD:P(D;;FA;;;BU)(A;;FA;;;SY)", kSystemSid, true},
      {"denied, then allowed", "O:SYD:P(D;;FA;;;BU)(A;;FA;;;BU)", kSystemSid, false},
      // Taking ownership or changing the DACL alone is enough to change everything.
      {"take ownership", "O:SYD:P(A;;FA;;;SY)(A;;WO;;;BU)", kSystemSid, false},
      {"change the DACL", "O:SYD:P(A;;FA;;;SY)(A;;WD;;;BU)", kSystemSid, false},
      // Another user's folder that grants only SYSTEM and Administrators: its owner may still
      // change its DACL.
      {"owned by another user", "O:" + other + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", kSystemSid,
       false},
      // A standard user's own folder, theirs alone.
      {"the user's own, for the user",
       "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")", kUserSid,
       true},
      {"the user's own, for SYSTEM",
       "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")", kSystemSid,
       false},
      {"the user's own, for another user",
       "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")", kOtherUserSid,
       false},
  };
}
