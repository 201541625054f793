#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>

#include "clean/CleanTargets.h"

// The most bytes a key's section may take, and what is said of a key whose section would take
// more, after its name.
struct SectionBound {
  std::uint64_t bytes = std::numeric_limits<std::uint64_t>::max();
  std::string passing;
};

// How much of the backup the keys of users' hives may take, which their users can fill: a few MB
// a key and a few tens of MB a profile in one run, far beyond the control's own few values, so
// that no user can make a run, or a deployment's retries, fill the backup's folder with values
// of their own. The machine's keys, which only administrators can write, are bounded by their
// volume's reserve alone.
class SectionBounds {
 public:
  static constexpr std::uint64_t kUserKey = 4ull << 20;
  static constexpr std::uint64_t kProfile = 32ull << 20;

  // The next sections are of the target's tree.
  void For(const CleanTarget& target);
  // The bound of the next section.
  SectionBound Next() const;
  // The last section took that many bytes of the file.
  void Took(std::uint64_t bytes);

 private:
  std::string profile_;  // the target's profile, upper-cased; empty for a key of the machine's
  std::map<std::string, std::uint64_t> taken_;  // by profile: the bytes its sections took
};
