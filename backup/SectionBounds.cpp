#include "backup/SectionBounds.h"

#include "registry/AsciiCase.h"

void SectionBounds::For(const CleanTarget& target) {
  // Only a counterpart lies in a user's hive; its user's own and classes hives are one profile.
  profile_ = target.hive.loadedAs.empty() ? std::string() : AsciiUpper(target.hive.profile);
}

SectionBound SectionBounds::Next() const {
  if (profile_.empty()) {
    return SectionBound();
  }
  const auto taken = taken_.find(profile_);
  const std::uint64_t left = kProfile - (taken == taken_.end() ? 0 : taken->second);
  if (left < kUserKey) {
    return {left, "would take the backup of its profile's keys past " +
                      std::to_string(kProfile >> 20) + " MB, the most one run takes of a profile"};
  }
  return {kUserKey, "would take more than " + std::to_string(kUserKey >> 20) +
                        " MB of the backup, the most a key of a user's hive may take"};
}

void SectionBounds::Took(std::uint64_t bytes) {
  if (!profile_.empty()) {
    taken_[profile_] += bytes;
  }
}
