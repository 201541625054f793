// How many platform calls a deletion and a sweep make: the cost never grows with anything but
// the number of keys deleted and entries listed.
#include <gtest/gtest.h>

#include <cstdio>

#include "CleanFixture.h"
#include "RecordingRegistry.h"
#include "registry/TRegistry.h"

namespace {

std::size_t CountOf(const RecordingRegistry& recorder, const char* call) {
  return recorder.Only(call).size();
}

TEST(CallCountsTest, TreeDeletionMakesAtMostFiveCallsPerKey) {
  MemoryRegistry store;
  std::size_t keys = 1;
  for (int a = 0; a < 22; ++a) {
    for (int b = 0; b < 22; ++b) {
      for (int c = 0; c < 22; ++c) {
        store.SeedKey(kHkeyCurrentUser, "tree\\" + std::to_string(a) + "\\" + std::to_string(b) +
                                            "\\" + std::to_string(c));
      }
    }
  }
  keys += 22 + 22 * 22 + 22 * 22 * 22;
  RecordingRegistry recorder(store);
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.DeleteTree("\\tree"));
  // Each key: its open, query, close and delete, and its enumeration in its parent; the named key
  // has no parent to enumerate it.
  EXPECT_EQ(recorder.calls.size(), 5 * keys - 1);
  for (const char* call : {"Open", "Query", "Close", "DeleteOpen"}) {
    EXPECT_EQ(CountOf(recorder, call), keys) << call;
  }
  EXPECT_EQ(CountOf(recorder, "Enum"), keys - 1);
  std::printf("tree of %zu keys: %zu calls, %.2f a key\n", keys, recorder.calls.size(),
              static_cast<double>(recorder.calls.size()) / static_cast<double>(keys));
}

TEST(CallCountsTest, SweepCostsOneCallAnEntryAndSixAMatch) {
  constexpr std::size_t kEntries = 10000;
  constexpr std::size_t kMatches = 100;
  MemoryRegistry store;
  for (std::size_t i = 0; i < kEntries; ++i) {
    const bool match = i % (kEntries / kMatches) == 0;
    store.SeedKey(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\C:/" +
                                         std::to_string(i) +
                                         (match ? "/TessalineWeb_EN.ocx" : "/other.ocx"));
  }
  RecordingRegistry recorder(store);
  RecordingWindow window;
  RunCleanInWindow(recorder, window);
  ASSERT_EQ(window.log.size(), 2 * kMatches);
  // Six probes of absent targets; the list key's probe (open, close) and open; a listing: one
  // query, an enumeration an entry and one query more to see it was whole; a match: its open, the
  // release of the key current before it, and its deletion (open, query, close, delete); the list
  // opened again (its open, the release of the last entry's key) and listed again, finding none;
  // at the end the six targets probed again and the list released.
  const std::size_t expected =
      6 + 2 + 1 + (2 + kEntries) + 6 * kMatches + 2 + (2 + kEntries - kMatches) + 6 + 1;
  EXPECT_EQ(recorder.calls.size(), expected);
  EXPECT_EQ(recorder.calls.size(), 2 * kEntries + 5 * kMatches + 22);
  // The list key's figures are asked for twice a listing, not once an entry.
  EXPECT_EQ(recorder.calls[9], "Query(h2)=0");
  EXPECT_EQ(recorder.Only("Query").size(), 4 + kMatches);
  std::printf("sweep of %zu entries with %zu matches: %zu calls (2N + 5M + 22)\n", kEntries,
              kMatches, recorder.calls.size());
}

}  // namespace
