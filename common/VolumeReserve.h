#pragma once

#include <cstdint>

// The free space a run always leaves on a volume it writes to, a backup's or the temp folder a
// check puts its private copies of users' hives in, so that no user can make a run fill a disk.
constexpr std::uint64_t kVolumeReserve = 256ull << 20;
