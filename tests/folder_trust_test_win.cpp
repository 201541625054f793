// The folder decision on descriptors the platform builds and reads (Wine or Windows): the same
// SDDL cases as on Linux, read through the adapter the program uses, and what the platform
// reports for folders it makes.
#include <windows.h>

#include <gtest/gtest.h>

#include "FolderTrustCases.h"
#include "WhyOf.h"
#include "backup/FolderTrust.h"
#include "backup/TrustedFolder_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"

namespace {

TEST(FolderTrustOnThePlatform, TheSameCasesReadThroughThePlatformDecideAlike) {
  for (const FolderCase& folder : FolderCases()) {
    const LocalDescriptor descriptor = DescriptorFromSddl(folder.sddl);
    ASSERT_TRUE(descriptor) << folder.what;
    const std::string refusal =
        WhyOf(FolderTrusted, ReadSecurityModel(descriptor.get()), folder.account);
    EXPECT_EQ(refusal.empty(), folder.trusted) << folder.what << ": " << refusal;
  }
}

TEST(FolderTrustOnThePlatform, AnEntryReadBackKeepsItsTypeFlagsRightsAndSid) {
  const LocalDescriptor descriptor =
      DescriptorFromSddl("O:BAD:(D;OICIIO;0x116;;;BU)(A;;GA;;;S-1-5-21-1-2-3-1001)");
  ASSERT_TRUE(descriptor);
  const SecurityModel model = ReadSecurityModel(descriptor.get());
  EXPECT_EQ(model.owner, "S-1-5-32-544");
  ASSERT_TRUE(model.daclPresent);
  ASSERT_EQ(model.dacl.size(), 2u);
  EXPECT_EQ(model.dacl[0].type, ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(model.dacl[0].flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE);
  EXPECT_EQ(model.dacl[0].mask, 0x116u);
  EXPECT_EQ(model.dacl[0].sid, "S-1-5-32-545");
  EXPECT_EQ(model.dacl[1].mask, static_cast<std::uint32_t>(GENERIC_ALL));
  EXPECT_EQ(model.dacl[1].sid, "S-1-5-21-1-2-3-1001");
  EXPECT_FALSE(ReadSecurityModel(DescriptorFromSddl("O:SY").get()).daclPresent);
}

// Wine keeps no real file security: it reports a folder as its one user's, with rights from
// the Unix mode bits. This shows what it reports for a folder made with the program's own
// access list, and that the program's account may then use it.
TEST(FolderTrustOnThePlatform, AFolderTheProgramMakesPassesItsOwnCheck) {
  ProcessIdentity identity;
  ASSERT_TRUE(CurrentIdentity(&identity));
  const LocalDescriptor own =
      DescriptorFromSddl(OwnAccessList(identity.elevated, identity.account));
  ASSERT_TRUE(own);
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring folder =
      std::wstring(temp) + L"folder-trust-" + std::to_wstring(GetCurrentProcessId());
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), own.get(), FALSE};
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), &attributes));
  HANDLE opened = CreateFileW(folder.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(opened, INVALID_HANDLE_VALUE);
  SecurityModel model;
  const bool read = ReadSecurityModel(opened, &model);
  CloseHandle(opened);
  RemoveDirectoryW(folder.c_str());
  ASSERT_TRUE(read);
  std::string entries;
  for (const AccessEntry& entry : model.dacl) {
    entries += " (" + std::to_string(entry.type) + ";" + std::to_string(entry.flags) + ";" +
               std::to_string(entry.mask) + ";" + entry.sid + ")";
  }
  std::printf("account %s elevated %d; folder owner %s dacl %d%s\n", identity.account.c_str(),
              identity.elevated, model.owner.c_str(), model.daclPresent, entries.c_str());
  EXPECT_EQ(WhyOf(FolderTrusted, model, identity.account), "");
}

// A folder held for a backup keeps its name until the hold goes: nobody can move the backup's
// place away between the check and the write.
TEST(FolderTrustOnThePlatform, AHeldFolderCannotBeRenamedUntilItIsReleased) {
  ProcessIdentity identity;
  ASSERT_TRUE(CurrentIdentity(&identity));
  const LocalDescriptor own =
      DescriptorFromSddl(OwnAccessList(identity.elevated, identity.account));
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const FileHandle tempFolder(CreateFileW(temp, FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::wstring folder =
      FinalName(tempFolder.get()) + L"\\held-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring moved = folder + L"-moved";
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), own.get(), FALSE};
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), &attributes));
  FileHandle held;
  std::string failure;
  const bool opened = OpenTrustedFolder(folder, identity.account, "for a backup", &held, &failure);
  const bool movedWhileHeld = MoveFileW(folder.c_str(), moved.c_str());
  held = FileHandle();
  const bool movedAfter = !movedWhileHeld && MoveFileW(folder.c_str(), moved.c_str());
  RemoveDirectoryW(moved.c_str());
  RemoveDirectoryW(folder.c_str());
  ASSERT_TRUE(opened) << failure;
  EXPECT_FALSE(movedWhileHeld);
  EXPECT_TRUE(movedAfter);
}

// The checks on a file just made, which catch a link or a second name planted in a race: here
// the second name and the other way in are made by the test itself.
TEST(NewFileCheckOnThePlatform, AFileWithAnotherNameOrReachedElsewhereIsRefused) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring folder =
      std::wstring(temp) + L"new-file-check-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring file = folder + L"\\made.reg";
  const std::wstring second = folder + L"\\second.reg";
  HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  const std::string alone = WhyOf(NewFileSound, made, file);
  const std::string elsewhere = WhyOf(NewFileSound, made, folder + L"\\other.reg");
  const bool linked = CreateHardLinkW(second.c_str(), file.c_str(), nullptr);
  const std::string twoNames = WhyOf(NewFileSound, made, file);
  CloseHandle(made);
  DeleteFileW(second.c_str());
  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
  EXPECT_EQ(alone, "");
  EXPECT_NE(elsewhere.find("other.reg leads elsewhere through a link"), std::string::npos)
      << elsewhere;
  ASSERT_TRUE(linked);
  EXPECT_NE(twoNames.find("made.reg has another name as well"), std::string::npos) << twoNames;
}

}  // namespace
