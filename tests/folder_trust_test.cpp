// Which folders may hold a backup, decided over descriptors given as SDDL (the platform's
// documented forms); the Windows test reads the same descriptors through the platform.
#include <gtest/gtest.h>

#include "FolderTrustCases.h"
#include "SddlReader.h"
#include "WhyOf.h"
#include "backup/FolderTrust.h"

namespace {

TEST(FolderTrust, OnlyFoldersNobodyElseCanChangeMayHoldTheBackup) {
  for (const FolderCase& folder : FolderCases()) {
    const std::string refusal = WhyOf(FolderTrusted, ReadSddl(folder.sddl), folder.account);
    EXPECT_EQ(refusal.empty(), folder.trusted) << folder.what << ": " << refusal;
  }
}

TEST(FolderTrust, TheRefusalNamesWhoCouldChangeTheFolder) {
  const std::vector<FolderCase> cases = FolderCases();
  EXPECT_EQ(WhyOf(FolderTrusted, ReadSddl(cases[0].sddl), kSystemSid),
            "S-1-5-32-545 may change what it holds");
  EXPECT_EQ(WhyOf(FolderTrusted, ReadSddl(cases[1].sddl), kSystemSid),
            std::string("it belongs to ") + kOtherUserSid);
  EXPECT_EQ(WhyOf(FolderTrusted, ReadSddl("O:SY"), kSystemSid), "it grants everyone full control");
}

// Each right that changes a folder, granted alone to Users, refuses it; reading rights do not.
TEST(FolderTrust, EachChangingRightAloneRefusesTheFolder) {
  const std::uint32_t changing[] = {0x2,     0x4,     0x10,       0x40,       0x100,     0x10000,
                                    0x40000, 0x80000, 0x02000000, 0x10000000, 0x40000000};
  for (const std::uint32_t right : changing) {
    SecurityModel folder = ReadSddl("O:SYD:P(A;;FA;;;SY)");
    folder.dacl.push_back({0, 0, right, "S-1-5-32-545"});
    EXPECT_FALSE(WhyOf(FolderTrusted, folder, kSystemSid).empty()) << std::hex << right;
    // An object-specific or callback grant counts as a grant.
    folder.dacl.back().type = 9;
    EXPECT_FALSE(WhyOf(FolderTrusted, folder, kSystemSid).empty()) << std::hex << right;
  }
  const std::uint32_t reading[] = {0x1,      0x8,        0x20,       0x80,    0x20000,
                                   0x100000, 0x80000000, 0x20000000, 0x1200a9};
  for (const std::uint32_t right : reading) {
    SecurityModel folder = ReadSddl("O:SYD:P(A;;FA;;;SY)");
    folder.dacl.push_back({0, 0, right, "S-1-5-32-545"});
    EXPECT_EQ(WhyOf(FolderTrusted, folder, kSystemSid), "") << std::hex << right;
  }
}

TEST(FolderTrust, TheProgramsOwnFilesAreForSystemAdministratorsAndTheUserAlone) {
  EXPECT_EQ(OwnAccessList(true, kSystemSid), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  EXPECT_EQ(OwnAccessList(false, kUserSid),
            std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + kUserSid + ")");
  // What the program makes passes its own check, elevated or not.
  EXPECT_EQ(WhyOf(FolderTrusted, ReadSddl(std::string("O:BA") + OwnAccessList(true, kSystemSid)),
                  kSystemSid),
            "");
  EXPECT_EQ(
      WhyOf(FolderTrusted, ReadSddl(std::string("O:") + kUserSid + OwnAccessList(false, kUserSid)),
            kUserSid),
      "");
}

}  // namespace
