// The registry object and the sweep on the real registry (under Wine), against the platform's
// own tree deletion and against a pass that only enumerates. Methods are interleaved and each
// figure is the median of its repetitions; run pinned to one CPU with the wineserver.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Median.h"
#include "clean/CleanProcedure.h"
#include "registry/LocaleSource_win.h"
#include "registry/TRegistry.h"
#include "registry/WindowsRegistry_win.h"

namespace {

constexpr int kRepetitions = 7;
constexpr const char* kScratch = "Software\\TessalineCleanerBenchmark";
constexpr const char* kModuleUsage = "Software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "benchmark: %s\n", message.c_str());
  std::exit(1);
}

HKEY Create(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    Fail("cannot create " + name);
  }
  return key;
}

// A tree below HKCU\scratch\name: `fanOut` subkeys a key, `depth` levels below the key.
void CreateTree(HKEY parent, const std::string& name, int depth, int fanOut) {
  HKEY key = Create(parent, name);
  for (int i = 0; depth > 0 && i < fanOut; ++i) {
    CreateTree(key, "k" + std::to_string(i), depth - 1, fanOut);
  }
  RegCloseKey(key);
}

struct Comparison {
  std::vector<double> ours;
  std::vector<double> theirs;
  double Ratio() const { return Median(ours) / Median(theirs); }

  // Times both; who goes first alternates, so neither always meets a warmer registry.
  template <typename Ours, typename Theirs>
  void Measure(int repetition, Ours&& runOurs, Theirs&& runTheirs) {
    if (repetition % 2 == 0) {
      ours.push_back(SecondsOf(runOurs));
      theirs.push_back(SecondsOf(runTheirs));
    } else {
      theirs.push_back(SecondsOf(runTheirs));
      ours.push_back(SecondsOf(runOurs));
    }
  }
};

// Our deletion and the platform's, each of a fresh copy of the same tree, in turns.
Comparison CompareDeletion(WindowsRegistry& platform, int depth, int fanOut) {
  Comparison comparison;
  HKEY scratch = Create(HKEY_CURRENT_USER, kScratch);
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    CreateTree(scratch, "ours", depth, fanOut);
    CreateTree(scratch, "theirs", depth, fanOut);
    auto ours = [&] {
      TRegistry registry(platform);
      if (!registry.DeleteTree("\\" + std::string(kScratch) + "\\ours")) {
        Fail("our deletion failed");
      }
    };
    auto theirs = [&] {
      // With a subkey named, the platform deletes that key too.
      if (RegDeleteTreeA(scratch, "theirs") != ERROR_SUCCESS) {
        Fail("the platform's deletion failed");
      }
    };
    comparison.Measure(repetition, ours, theirs);
  }
  RegCloseKey(scratch);
  return comparison;
}

// The whole clean run on a module-usage list of `entries` with `matches` of the control's,
// against opening the list and enumerating every entry.
Comparison CompareSweep(WindowsRegistry& platform, int entries, int matches) {
  Comparison comparison;
  HKEY list = Create(HKEY_LOCAL_MACHINE, kModuleUsage);
  const int every = entries / matches;
  for (int i = 0; i < entries; ++i) {
    if (i % every != 0) {
      RegCloseKey(Create(list, "C:/dir-" + std::to_string(i) + "/other.ocx"));
    }
  }
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    for (int i = 0; i < entries; i += every) {
      RegCloseKey(Create(list, "C:/dir-" + std::to_string(i) + "/TessalineWeb_EN.ocx"));
    }
    auto sweep = [&] {
      const CleanResult result = RunClean(platform);
      if (result.outcome != CleanOutcome::kDone) {
        Fail("the sweep stopped: " + result.notice);
      }
    };
    auto enumerate = [&] {
      HKEY key = nullptr;
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, kModuleUsage, 0, KEY_ALL_ACCESS, &key);
      DWORD count = 0;
      DWORD longest = 0;
      RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr);
      std::string name(longest + 1, '\0');
      TStringList names;
      for (DWORD index = 0; index < count; ++index) {
        DWORD length = longest + 1;
        if (RegEnumKeyExA(key, index, &name[0], &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
          names.Add(name.c_str());
        }
      }
      RegCloseKey(key);
    };
    comparison.Measure(repetition, sweep, enumerate);
  }
  RegCloseKey(list);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kModuleUsage);
  return comparison;
}

// Our deletion of flat keys of two sizes, in turns: microseconds a key at each.
Comparison CompareScaling(WindowsRegistry& platform, int small, int large) {
  Comparison comparison;
  HKEY scratch = Create(HKEY_CURRENT_USER, kScratch);
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    CreateTree(scratch, "small", 1, small);
    CreateTree(scratch, "large", 1, large);
    TRegistry registry(platform);
    const std::string base = "\\" + std::string(kScratch) + "\\";
    comparison.theirs.push_back(SecondsOf([&] { registry.DeleteTree(base + "small"); }) * 1e6 /
                                small);
    comparison.ours.push_back(SecondsOf([&] { registry.DeleteTree(base + "large"); }) * 1e6 /
                              large);
  }
  RegCloseKey(scratch);
  return comparison;
}

void Report(const char* what, const Comparison& comparison, const char* ours, const char* theirs,
            double target) {
  std::printf("%s\n  %s %.4f s, %s %.4f s: ratio %.2f (target <= %.2f)\n", what, ours,
              Median(comparison.ours), theirs, Median(comparison.theirs), comparison.Ratio(),
              target);
}

}  // namespace

int main() {
  InitPlatformLocale(WindowsLocaleSource());
  WindowsRegistry platform;
  RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
  std::printf("real registry under Wine, median of %d interleaved repetitions\n", kRepetitions);
  Report("flat key with 10,000 subkeys", CompareDeletion(platform, 1, 10000), "DeleteTree",
         "RegDeleteTreeA", 1.0);
  Report("tree of depth 3, fan-out 22 (11,155 keys)", CompareDeletion(platform, 3, 22),
         "DeleteTree", "RegDeleteTreeA", 1.0);
  Report("module-usage list of 10,000 entries, 100 matching", CompareSweep(platform, 10000, 100),
         "clean run", "enumeration only", 1.15);
  const Comparison scaling = CompareScaling(platform, 1000, 50000);
  std::printf(
      "flat deletion, microseconds a key\n  at 1,000: %.2f, at 50,000: %.2f: ratio %.2f "
      "(target <= 1.50)\n",
      Median(scaling.theirs), Median(scaling.ours), scaling.Ratio());
  RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
  RegDeleteKeyA(HKEY_CURRENT_USER, kScratch);
  return 0;
}
