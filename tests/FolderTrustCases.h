#pragma once

#include <string>
#include <vector>

// Folders a backup might be asked to go in, as SDDL, with the account the program runs as and
// whether the folder may hold the backup.
struct FolderCase {
  const char* what;
  const char* sddl;
  const char* account;
  bool trusted;
};

constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr const char* kOtherUserSid = "S-1-5-21-1004336348-1177238915-682003330-1002";

inline std::vector<FolderCase> FolderCases() {
  const std::string user = kUserSid;
  const std::string other = kOtherUserSid;
  static const std::vector<std::string> texts = {
      // %ProgramData% as Windows sets it up: Users may create files and folders in it.
      "O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
      "(A;CI;DCLCRPCR;;;BU)",
      // A folder another user made first in %ProgramData%: theirs, and they may do anything.
      "O:" + other + "G:" + other + "D:AI(A;ID;FA;;;" + other +
          ")(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)",
      // An administrator's folder that lets Users write.
      "O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)",
      // The protected folder the program makes.
      "O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
      // %ProgramFiles%: TrustedInstaller's; Users may only read.
      "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI"
      "(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
      "(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
      "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)",
      // No DACL: everyone may do everything.
      "O:SYG:SY",
      // Generic rights, mapped for files: GW and GA for Everyone.
      "O:SYD:P(A;;FA;;;SY)(A;;GW;;;WD)",
      "O:SYD:P(A;;FA;;;SY)(A;;GA;;;AU)",
      // Rights for Users that reach only what is made inside, never the folder itself.
      "O:SYD:P(A;;FA;;;SY)(A;OICIIO;GA;;;BU)",
      // A denying entry grants nothing; an allowing one after it still counts.
      "O:SYD:P(D;;FA;;;BU)(A;;FA;;;SY)",
      "O:SYD:P(D;;FA;;;BU)(A;;FA;;;BU)",
      // Taking ownership or changing the DACL alone is enough to change everything.
      "O:SYD:P(A;;FA;;;SY)(A;;WO;;;BU)",
      "O:SYD:P(A;;FA;;;SY)(A;;WD;;;BU)",
      // Another user's folder that grants only SYSTEM and Administrators: its owner may still
      // change its DACL.
      "O:" + other + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
      // A standard user's own folder, theirs alone.
      "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")",
  };
  return {
      {"ProgramData", texts[0].c_str(), kSystemSid, false},
      {"made first by another user", texts[1].c_str(), kSystemSid, false},
      {"granting Users write", texts[2].c_str(), kSystemSid, false},
      {"protected", texts[3].c_str(), kSystemSid, true},
      {"protected, for a standard user", texts[3].c_str(), kUserSid, true},
      {"Program Files", texts[4].c_str(), kSystemSid, true},
      {"no DACL", texts[5].c_str(), kSystemSid, false},
      {"generic write for Everyone", texts[6].c_str(), kSystemSid, false},
      {"generic all for Authenticated Users", texts[7].c_str(), kSystemSid, false},
      {"inherit-only rights", texts[8].c_str(), kSystemSid, true},
      {"denied", texts[9].c_str(), kSystemSid, true},
      {"denied, then allowed", texts[10].c_str(), kSystemSid, false},
      {"take ownership", texts[11].c_str(), kSystemSid, false},
      {"change the DACL", texts[12].c_str(), kSystemSid, false},
      {"owned by another user", texts[13].c_str(), kSystemSid, false},
      {"the user's own, for the user", texts[14].c_str(), kUserSid, true},
      {"the user's own, for SYSTEM", texts[14].c_str(), kSystemSid, false},
      {"the user's own, for another user", texts[14].c_str(), kOtherUserSid, false},
  };
}
