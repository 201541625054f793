#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clean/Profiles.h"
#include "clean/TargetWalk.h"

// Every user of the machine: the hives loaded under HKEY_USERS and, through profiles, the hives
// of the profiles whose users are not logged on, loaded one at a time.
class EveryUser : public UsersHives {
 public:
  // Without profiles, only the hives that are loaded. With copies, private copies of the
  // profiles' hives are loaded, for a run that only reads; withTemplate adds the template of new
  // users' profiles.
  explicit EveryUser(ProfileHives* profiles = nullptr, bool copies = false,
                     bool withTemplate = false)
      : profiles_(profiles), copies_(copies), withTemplate_(withTemplate) {}

  std::vector<std::string> Sweep() override;
  std::vector<CleanTarget> TargetsInOrder(RegistryReads& api) override;
  bool TakeCopy(RegistryReads& api, std::uint32_t access, const CleanTarget& copy,
                TargetAction& action) override;
  bool DeleteCopy(RegistryReads& api, RegHandle key, const CleanTarget& copy, DeletionGuard* guard,
                  std::string* why, bool* byGuard) override;
  bool WalkProfiles(RegistryReads& api, std::uint32_t access, TargetAction& action,
                    std::vector<ProfileReport>& reports) override;

 private:
  // Loads the profile's hive of that kind, walks its copies of the fixed targets, and unloads
  // it; false when the action stopped the run.
  bool WalkProfileHive(RegistryReads& api, std::uint32_t access, const Profile& profile,
                       HiveKind kind, TargetAction& action, ProfileReport& report);

  ProfileHives* profiles_;
  bool copies_;
  bool withTemplate_;
};
