// The console program's check against the clean in the in-memory store, on module-usage lists of
// 2,000, 8,000 and 16,000 matching entries: the time a key must not grow with the number of
// entries, and check must cost no more a key than the clean it foretells.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Median.h"
#include "clean/CheckProcedure.h"
#include "clean/CleanProcedure.h"
#include "registry/memory/MemoryRegistry.h"

namespace {

constexpr int kRepetitions = 5;
constexpr const char* kModuleUsage = "software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";

void Seed(MemoryRegistry& store, int entries) {
  for (int i = 0; i < entries; ++i) {
    store.SeedKey(kHkeyLocalMachine, std::string(kModuleUsage) + "\\C:/Program Files/App " +
                                         std::to_string(i) + "/TessalineWeb_EN.ocx");
  }
}

struct PerKey {
  double check;
  double clean;
};

PerKey Measure(int entries) {
  std::vector<double> check;
  std::vector<double> clean;
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    MemoryRegistry store;
    Seed(store, entries);
    std::size_t found = 0;
    check.push_back(SecondsOf([&] { found = RunCheck(store, {}).keys.size(); }));
    CleanResult result;
    clean.push_back(SecondsOf([&] { result = RunClean(store); }));
    if (result.outcome != CleanOutcome::kDone) {
      std::fprintf(stderr, "the clean stopped: %s\n", result.notice.c_str());
      std::exit(1);
    }
    if (found != static_cast<std::size_t>(entries) || !RunCheck(store, {}).keys.empty()) {
      std::fprintf(stderr, "check found %zu of %d entries, or the clean left keys\n", found,
                   entries);
      std::exit(1);
    }
  }
  return {Median(check) * 1e6 / entries, Median(clean) * 1e6 / entries};
}

}  // namespace

int main() {
  std::printf("check and clean in the in-memory store, microseconds a key (median of %d):\n",
              kRepetitions);
  std::printf("  %8s %10s %10s\n", "entries", "check", "clean");
  for (int entries : {2000, 8000, 16000}) {
    const PerKey perKey = Measure(entries);
    std::printf("  %8d %10.2f %10.2f\n", entries, perKey.check, perKey.clean);
  }
  return 0;
}
