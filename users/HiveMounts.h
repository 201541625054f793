#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "users/MountJournal.h"
#include "users/ProfileHives.h"

// Loading profiles' hives under HKEY_USERS and unloading them, as ProfileHives promises, on a
// platform that offers the pieces below.

// A hive file checked where it lies, and held so that no folder on its way can be renamed or
// replaced until this goes; with a private copy of it and its logs, the copy is removed then.
class HeldHive {
 public:
  virtual ~HeldHive() = default;
  // The file to load: the user's, or the private copy.
  virtual const std::string& Path() const = 0;
  // Whether the file loaded from Path() is the one checked; false, with why, when the file there
  // now is another, or no longer meets the rules, or `listed` (the file the platform's list of
  // loaded hives names for it, where there is one) is another file.
  virtual bool Unchanged(const std::string* listed, std::string* why) = 0;
};

// What loading and unloading hives takes of the platform.
class HivePlatform {
 public:
  virtual ~HivePlatform() = default;
  // A profile folder's recorded value as the platform expands it ("%SystemDrive%\Users\bob").
  virtual std::string Expand(const std::string& value) = 0;
  // kUnpredictableDigits hex digits from the platform's cryptographic random source, new at each
  // call, for a private name nobody can know before its hive is mounted; empty when the source
  // gave none.
  virtual std::string Unpredictable() = 0;
  // Whether the privileges that loading and unloading a hive take can be enabled.
  virtual bool MayLoadHives() = 0;
  // The place of a new private copy of the hive file, not made yet: the copy's file in a folder
  // of its own in the temp folder, named so that nobody can guess it; empty when none can be
  // named.
  virtual std::string NewCopyPlace(const HiveFile& file) = 0;
  // Checks the hive file and the folders on its way as ProfileHives::Load says, and holds them;
  // with a copy place, the copy is made there; null, with *loading and *why, when the file is not
  // there (kMissing), cannot be read for the copy while another program holds it (kInUse) or is
  // not one to load (kRefused).
  virtual std::unique_ptr<HeldHive> Hold(const HiveFile& file, const std::string& copyPlace,
                                         HiveLoading* loading, std::string* why) = 0;
  // The platform's load of the file as HKEY_USERS\<as>, and unload of HKEY_USERS\<as>, with the
  // privileges they take enabled for the call alone; ERROR_NOT_ALL_ASSIGNED (1300) when they
  // could not be.
  virtual RegStatus LoadHive(const std::string& as, const std::string& file) = 0;
  virtual RegStatus UnloadHive(const std::string& as) = 0;
  // Removes what is left of a private copy of a hive, the file a record names and its logs and
  // folder, where that folder is one of this program's private copy folders; a file anywhere
  // else, a user's own hive above all, is left alone.
  virtual void RemoveCopyLeft(const std::string& file) = 0;
  // Waits a little before an unload is tried again.
  virtual void Pause() = 0;
  // This run, named so that RunGoing can tell whether it still goes.
  virtual std::string RunName() = 0;
  // Whether the run so named may still go; true when it cannot be told.
  virtual bool RunGoing(const std::string& run) = 0;
};

// The mounts of profiles' hives a run makes, as ProfileHives promises: each recorded in the
// journal before its load and the record dropped once unloaded; a name is loaded only where
// HKEY_USERS holds nothing by it, and only one with its unpredictable part. The sweep of what
// killed runs left is here alone: it finds their mounts by the names their records give.
class HiveMounts : public ProfileHives {
 public:
  HiveMounts(RegistryApi& registry, HivePlatform& platform)
      : registry_(registry), platform_(platform), journal_(registry) {}
  HiveMounts(const HiveMounts&) = delete;
  HiveMounts& operator=(const HiveMounts&) = delete;
  // Unloads what is still loaded, and releases what it holds, whether or not the unload took.
  ~HiveMounts() override;

  std::string Expand(const std::string& value) override { return platform_.Expand(value); }
  std::vector<std::string> Sweep() override;
  std::string NewMountName(const std::string& profile, HiveKind kind) override;
  HiveLoading Load(const HiveFile& file, bool copy, const std::string& as,
                   std::string* why) override;
  bool Unload(const std::string& as, std::string* why) override;

 private:
  // The platform's unload, tried again a few times while a handle keeps the hive loaded.
  RegStatus UnloadTrying(const std::string& as);
  bool UserKeyPresent(const std::string& name);

  RegistryApi& registry_;
  HivePlatform& platform_;
  MountJournal journal_;
  std::map<std::string, std::unique_ptr<HeldHive>> loaded_;
};

// Why the hives of profiles cannot be loaded by a run without the privileges it takes.
extern const char* const kHivePrivilegesMissing;
