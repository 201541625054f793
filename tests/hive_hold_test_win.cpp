// The platform's side of loading a profile's hive, on the platform (Wine or Windows): what a hold
// keeps from moving, the private copy check loads and the folder it goes to, the check of the
// file once loaded, the privileges put back as they were, and the random part of a mount's name.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "WhyOf.h"
#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"
#include "users/HiveFileHold_win.h"
#include "users/HivePrivileges_win.h"
#include "users/ProfileHives_win.h"
#include "users/UserHive.h"

namespace {

std::string Contents(const std::wstring& file) {
  std::ifstream input(file.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), {});
}

void Write(const std::wstring& file, const std::string& text) {
  std::ofstream(file.c_str(), std::ios::binary) << text;
}

// A profile's folder of its own in the temp folder, with a user hive and a classes hive.
class HiveHoldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CurrentIdentity(&identity));
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const FileHandle tempFolder(CreateFileW(temp, FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    folder = FinalName(tempFolder.get()) + L"\\hive-hold-" + std::to_wstring(GetCurrentProcessId());
    std::wstring made = folder;
    for (const wchar_t* below : {L"", L"\\AppData", L"\\Local", L"\\Microsoft", L"\\Windows"}) {
      made += below;
      ASSERT_TRUE(CreateDirectoryW(made.c_str(), nullptr));
    }
    classes = made + L"\\UsrClass.dat";
    Write(folder + L"\\NTUSER.DAT", "user hive");
    Write(classes, "classes hive");
  }

  void TearDown() override {
    for (const std::wstring& file : {folder + L"\\NTUSER.DAT", folder + L"\\NTUSER.DAT.LOG1",
                                     folder + L"\\NTUSER.DAT.new", classes}) {
      DeleteFileW(file.c_str());
    }
    std::wstring below = classes.substr(0, classes.rfind(L'\\'));
    while (below.size() >= folder.size()) {
      RemoveDirectoryW(below.c_str());
      below = below.substr(0, below.rfind(L'\\'));
    }
  }

  // Why the held hive is no longer the file checked, or "" where it is.
  static std::string Change(HeldHive& held, const std::string* listed) {
    return WhyOf(
        [&](const std::string* list, std::string* why) { return held.Unchanged(list, why); },
        listed);
  }

  std::unique_ptr<HeldHive> Hold(const std::string& relative, bool copy) {
    const HiveFile file{Utf8(folder), relative, identity.account};
    return HoldHiveFile(file, copy ? NewHiveCopyPlace(file) : std::string(), identity.account,
                        &loading, &why);
  }

  ProcessIdentity identity;
  std::wstring folder;
  std::wstring classes;
  HiveLoading loading = HiveLoading::kLoaded;
  std::string why;
};

TEST_F(HiveHoldTest, NoFolderOnTheWayCanBeRenamedWhileTheHiveIsHeld) {
  std::unique_ptr<HeldHive> held = Hold("AppData\\Local\\Microsoft\\Windows\\UsrClass.dat", false);
  ASSERT_TRUE(held) << why;
  EXPECT_EQ(held->Path(), Utf8(classes));
  for (const wchar_t* below : {L"", L"\\AppData", L"\\AppData\\Local\\Microsoft\\Windows"}) {
    const std::wstring name = folder + below;
    EXPECT_FALSE(MoveFileW(name.c_str(), (name + L"-moved").c_str())) << Utf8(name);
  }
  held.reset();
  const std::wstring windows = folder + L"\\AppData\\Local\\Microsoft\\Windows";
  ASSERT_TRUE(MoveFileW(windows.c_str(), (windows + L"-moved").c_str()));
  ASSERT_TRUE(MoveFileW((windows + L"-moved").c_str(), windows.c_str()));
}

TEST_F(HiveHoldTest, ACheckLoadsACopyOfTheHiveAndItsLogsThatGoesWithTheHold) {
  Write(folder + L"\\NTUSER.DAT.LOG1", "log");
  std::unique_ptr<HeldHive> held = Hold("NTUSER.DAT", true);
  ASSERT_TRUE(held) << why;
  std::wstring copy;
  ASSERT_TRUE(WideFromUtf8(held->Path(), &copy));
  const std::wstring copies = copy.substr(0, copy.rfind(L'\\'));
  EXPECT_NE(copies, folder);
  EXPECT_EQ(copies.substr(copies.rfind(L'\\') + 1, 15), L"TessalineClean-");
  EXPECT_EQ(copies.substr(0, copies.rfind(L'\\')), HiveCopiesFolder());
  EXPECT_EQ(Contents(copy), "user hive");
  EXPECT_EQ(Contents(copy + L".LOG1"), "log");
  EXPECT_EQ(GetFileAttributesW((copy + L".LOG2").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Change(*held, nullptr), "");
  held.reset();
  EXPECT_EQ(GetFileAttributesW(copies.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Contents(folder + L"\\NTUSER.DAT"), "user hive");
}

TEST_F(HiveHoldTest, AHiveThatIsNotThereIsMissingAndNoneIsMade) {
  const std::wstring user = folder + L"\\NTUSER.DAT";
  DeleteFileW(user.c_str());
  for (bool copy : {false, true}) {
    EXPECT_FALSE(Hold("NTUSER.DAT", copy));
    EXPECT_EQ(loading, HiveLoading::kMissing);
    EXPECT_EQ(GetFileAttributesW(user.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  EXPECT_FALSE(Hold("AppData\\Missing\\UsrClass.dat", false));
  EXPECT_EQ(loading, HiveLoading::kMissing);
}

TEST_F(HiveHoldTest, OnlyAFullNameOnALocalDiskIsTaken) {
  for (const std::string& place :
       {Utf8(folder) + "\\AppData\\..", std::string("relative\\bob"),
        std::string("\\\\server\\share\\bob"), std::string("\\\\?\\") + Utf8(folder),
        std::string("%SystemDrive%\\Users\\bob")}) {
    EXPECT_FALSE(
        HoldHiveFile({place, "NTUSER.DAT", identity.account}, "", identity.account, &loading, &why))
        << place;
    EXPECT_EQ(loading, HiveLoading::kRefused) << place;
  }
}

TEST_F(HiveHoldTest, AFileSwappedForAnotherOrListedAsAnotherIsNamed) {
  // A log the platform writes beside a hive loaded in place, swapped once checked, is named.
  const std::wstring log = folder + L"\\NTUSER.DAT.LOG1";
  Write(log, "log");
  std::unique_ptr<HeldHive> logged = Hold("NTUSER.DAT", false);
  ASSERT_TRUE(logged) << why;
  Write(log + L".new", "planted");
  ASSERT_TRUE(MoveFileExW((log + L".new").c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Change(*logged, nullptr), "NTUSER.DAT.LOG1 was replaced while it was loaded");
  // Gone since its check: what the platform opened in its place may have been moved away.
  DeleteFileW(log.c_str());
  EXPECT_NE(Change(*logged, nullptr), "");
  logged.reset();
  DeleteFileW(log.c_str());

  std::unique_ptr<HeldHive> held = Hold("NTUSER.DAT", false);
  ASSERT_TRUE(held) << why;
  const std::wstring user = folder + L"\\NTUSER.DAT";
  std::string device;
  {
    const FileHandle same(CreateFileW(user.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    device = Utf8(DeviceFinalName(same.get()));
  }
  ASSERT_FALSE(device.empty());
  EXPECT_EQ(Change(*held, &device), "");
  const std::string other = "\\Device\\HarddiskVolume9\\Users\\eve\\NTUSER.DAT";
  EXPECT_EQ(Change(*held, &other), "the platform loaded " + other + ", not NTUSER.DAT");
  // Made while the checked one is still there, so it cannot take over its file id.
  Write(user + L".new", "planted");
  ASSERT_TRUE(MoveFileExW((user + L".new").c_str(), user.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Change(*held, nullptr), "NTUSER.DAT was replaced while it was loaded");
}

// Wine gives the prefix's user both privileges, disabled, as Windows gives an administrator.
TEST(HivePrivilegesTest, BothAreEnabledForTheScopeAndPutBackAfterIt) {
  LUID backup;
  LUID restore;
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup));
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &restore));
  const auto enabled = [&] {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
    CloseHandle(token);
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    int count = 0;
    for (DWORD index = 0; index < privileges->PrivilegeCount; ++index) {
      const LUID_AND_ATTRIBUTES& one = privileges->Privileges[index];
      const bool wanted =
          (one.Luid.LowPart == backup.LowPart && one.Luid.HighPart == backup.HighPart) ||
          (one.Luid.LowPart == restore.LowPart && one.Luid.HighPart == restore.HighPart);
      count += wanted && (one.Attributes & SE_PRIVILEGE_ENABLED) != 0 ? 1 : 0;
    }
    return count;
  };
  ASSERT_EQ(enabled(), 0);
  {
    const HivePrivileges privileges;
    EXPECT_TRUE(privileges.Held());
    EXPECT_EQ(enabled(), 2);
  }
  EXPECT_EQ(enabled(), 0);
}

// A mount's name takes its unpredictable part from the platform's cryptographic random source:
// hex digits, new at each call, so that two runs, or two mounts of one run, never share a name
// and none follows from the profile's SID.
TEST(MountNameTest, EachNameHoldsANewPartFromThePlatformsRandomSource) {
  WindowsHivePlatform platform;
  std::set<std::string> names;
  for (int run = 0; run < 8; ++run) {
    const std::string part = platform.Unpredictable();
    EXPECT_EQ(part.size(), kUnpredictableDigits);
    EXPECT_EQ(part.find_first_not_of("0123456789abcdef"), std::string::npos) << part;
    EXPECT_TRUE(names.insert(part).second) << part;
  }
}

}  // namespace
