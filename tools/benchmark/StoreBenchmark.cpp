// Listing and deleting flat keys in the in-memory store, with 1,000 and with 100,000 subkeys a
// key: the time a subkey must not grow with the number of its siblings. Each sample handles
// 100,000 subkeys either way (a hundred keys of 1,000, or one of 100,000), so both figures are
// measured over the same amount of work.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Median.h"
#include "registry/TRegistry.h"
#include "registry/memory/MemoryRegistry.h"

namespace {

constexpr int kRepetitions = 7;
constexpr int kSubkeysASample = 100000;

struct PerKey {
  double list;
  double remove;
};

PerKey Measure(int subkeys) {
  const int keys = kSubkeysASample / subkeys;
  std::vector<double> list;
  std::vector<double> remove;
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    MemoryRegistry store;
    for (int key = 0; key < keys; ++key) {
      for (int i = 0; i < subkeys; ++i) {
        store.SeedKey(kHkeyCurrentUser,
                      "flat" + std::to_string(key) + "\\entry-" + std::to_string(i));
      }
    }
    TRegistry registry(store);
    std::size_t listed = 0;
    list.push_back(SecondsOf([&] {
      for (int key = 0; key < keys; ++key) {
        TStringList names;
        registry.OpenPath("\\flat" + std::to_string(key));
        registry.ListSubkeyNames(names);
        listed += names.Count();
      }
      registry.CloseCurrent();
    }));
    remove.push_back(SecondsOf([&] {
      for (int key = 0; key < keys; ++key) {
        registry.DeleteTree("\\flat" + std::to_string(key));
      }
    }));
    if (listed != kSubkeysASample || !store.AllKeys().empty()) {
      std::fprintf(stderr, "the store did not list or delete every key\n");
      std::exit(1);
    }
  }
  return {Median(list) * 1e6 / kSubkeysASample, Median(remove) * 1e6 / kSubkeysASample};
}

}  // namespace

int main() {
  const PerKey small = Measure(1000);
  const PerKey large = Measure(100000);
  std::printf("in-memory store, microseconds a subkey (median of %d):\n", kRepetitions);
  std::printf("  list    1,000: %.3f  100,000: %.3f  ratio %.2f (target <= 1.30)\n", small.list,
              large.list, large.list / small.list);
  std::printf("  delete  1,000: %.3f  100,000: %.3f  ratio %.2f (target <= 1.30)\n", small.remove,
              large.remove, large.remove / small.remove);
  return 0;
}
