#include "RegistryContract.h"
#include "registry/memory/MemoryRegistry.h"

namespace {

class MemoryWorld : public RegistryWorld {
 public:
  MemoryWorld() { store_.SeedKey(kHkeyCurrentUser, kScratch); }
  // Whatever a case does, it must leave no key open.
  ~MemoryWorld() override {
    EXPECT_EQ(store_.OpenHandleCount(), 0u);
    EXPECT_EQ(store_.WatchCount(), 0u);
  }

  RegistryApi& Api() override { return store_; }
  KeyWatches& Watches() override { return store_; }
  void Create(const std::string& path) override { store_.SeedKey(kHkeyCurrentUser, Below(path)); }
  bool Exists(const std::string& path) override {
    return store_.KeyExists(kHkeyCurrentUser, Below(path));
  }
  void MakeReadOnly(const std::string& path) override {
    store_.SeedAccess(kHkeyCurrentUser, Below(path), kKeyRead);
  }
  void DenyAll(const std::string& path) override {
    store_.SeedAccess(kHkeyCurrentUser, Below(path), 0);
  }
  void CreateLink(const std::string& path, const std::string& target) override {
    store_.SeedLink(kHkeyCurrentUser, Below(path), kHkeyCurrentUser, Below(target));
  }
  void SetValue(const std::string& path, const RegValue& value) override {
    store_.SeedValue(kHkeyCurrentUser, Below(path), value);
  }

 private:
  static std::string Below(const std::string& path) { return std::string(kScratch) + "\\" + path; }

  MemoryRegistry store_;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RegistryContract, MemoryWorld);

// Windows checks the right to make a key below another on that key (KEY_CREATE_SUB_KEY); Wine
// makes it regardless, so this holds for the store and Windows only.
TEST(MemoryRegistryWrites, AKeyIsMadeOnlyBelowOneThatGrantsTheRight) {
  MemoryRegistry store;
  store.SeedKey(kHkeyLocalMachine, "Software\\readonly");
  store.SeedAccess(kHkeyLocalMachine, "Software\\readonly", kKeyRead);
  RegHandle made = kNoHandle;
  EXPECT_EQ(store.CreateKey(kHkeyLocalMachine, u"Software\\readonly\\new\\deeper", 0, kKeyRead,
                            &made, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(made, kNoHandle);
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, "Software\\readonly\\new"));
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}
