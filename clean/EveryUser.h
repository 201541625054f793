#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clean/ControlFiles.h"
#include "clean/TargetWalk.h"
#include "users/ProfileHives.h"

// Every user of the machine: the hives loaded under HKEY_USERS and, through profiles, the hives
// of the profiles whose users are not logged on, mounted one at a time.
class EveryUser : public UsersHives {
 public:
  // Without profiles, only the hives that are loaded. With privateCopies, private copies of the
  // profiles' hives are mounted, for a run that only reads; withTemplate adds the template of new
  // users' profiles.
  explicit EveryUser(ProfileHives* profiles = nullptr, bool privateCopies = false,
                     bool withTemplate = false)
      : profiles_(profiles), privateCopies_(privateCopies), withTemplate_(withTemplate) {}

  // A clean that names the control's files: each counterpart found is told to them before it
  // goes, read through the very handle it is deleted through.
  void NameFilesTo(ControlFiles* files) { files_ = files; }

  std::vector<std::string> Sweep() override;
  std::vector<CleanTarget> TargetsInOrder(RegistryReads& api) override;
  bool TakeCounterpart(RegistryReads& api, std::uint32_t access, const CleanTarget& counterpart,
                       TargetAction& action) override;
  bool DeleteCounterpart(RegistryReads& api, RegHandle key, const CleanTarget& counterpart,
                         DeletionGuard* guard, std::string* why, GuardedDeletion* guarded) override;
  bool WalkProfiles(RegistryReads& api, std::uint32_t access, TargetAction& action,
                    std::vector<ProfileReport>& reports) override;

 private:
  ProfileHives* profiles_;
  bool privateCopies_;
  bool withTemplate_;
  ControlFiles* files_ = nullptr;
};
