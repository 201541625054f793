#include "users/ProfileReport.h"

bool AnyUnfinished(const std::vector<ProfileReport>& profiles) {
  for (const ProfileReport& profile : profiles) {
    if (profile.Unfinished()) {
      return true;
    }
  }
  return false;
}
