#include "registry/KeyTree.h"

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/TRegistry.h"
#include "registry/Utf16.h"

bool IsLinkValue(const RegValue& value) {
  return value.type == kRegLink && SameIgnoringAsciiCase(value.name, u"SymbolicLinkValue");
}

bool IsOpenedLink(RegistryReads& api, RegHandle key, RegHandle parent, const std::u16string& name,
                  std::uint32_t view) {
  RegHandle plain = kNoHandle;
  if (api.OpenKeyW(parent, name, 0, kProbeAccess | view, &plain) != kErrorSuccess) {
    return true;
  }
  const KeyHandle followed(api, plain);
  std::string asItself;
  std::string reached;
  return api.QueryKeyName(key, &asItself) != kErrorSuccess ||
         api.QueryKeyName(followed.get(), &reached) != kErrorSuccess || asItself != reached;
}

bool LeadsToNoKey(RegistryReads& api, RegHandle parent, const std::u16string& name,
                  std::uint32_t view) {
  RegHandle plain = kNoHandle;
  const RegStatus status = api.OpenKeyW(parent, name, 0, kProbeAccess | view, &plain);
  const KeyHandle followed(api, plain);
  return status == kErrorFileNotFound;
}

namespace {

class TreeReader {
 public:
  TreeReader(RegistryReads& api, const std::function<bool(const TreeKey&)>& visit,
             std::uint32_t view)
      : api_(api), visit_(visit), view_(view) {}

  bool Read(RegHandle base, const std::string& name, const std::string& path) {
    RegHandle opened = kNoHandle;
    if (api_.OpenKey(base, name.c_str(), kRegOptionOpenLink, kProbeAccess | view_, &opened) !=
        kErrorSuccess) {
      return false;
    }
    const KeyHandle key(api_, opened);
    TreeKey record;
    record.path = path;
    std::uint32_t subkeys = 0;
    std::uint32_t values = 0;
    if (!Count(key.get(), &subkeys, &values) || !ReadValues(key.get(), values, record)) {
      return false;
    }
    // A link opened as itself shows no subkeys and its target value alone, or nothing when it
    // was never given one; an ordinary key that merely holds such a value is read as it is.
    if (subkeys == 0 && record.values.size() == 1 && IsLinkValue(record.values[0]) &&
        IsOpenedLink(api_, key.get(), base, Utf8ToUtf16(name), view_)) {
      record.link = true;
      record.linkTarget = Utf16ToUtf8(Utf16FromLeBytes(record.values[0].data));
      record.values.clear();
    } else if (subkeys == 0 && record.values.empty()) {
      record.link = LeadsToNoKey(api_, base, Utf8ToUtf16(name), view_);
    }
    if (!visit_(record)) {
      return false;
    }
    std::vector<char> childName(kLargestNameBytes);
    for (std::uint32_t index = 0; index < subkeys; ++index) {
      std::uint32_t length = kLargestNameBytes;
      const RegStatus status = api_.EnumKey(key.get(), index, childName.data(), &length);
      if (status == kErrorNoMoreItems) {
        break;
      }
      if (status != kErrorSuccess) {
        return false;
      }
      const std::string child(childName.data(), length);
      if (!Read(key.get(), child, path.empty() ? child : path + "\\" + child)) {
        return false;
      }
    }
    return true;
  }

 private:
  // Reads as many values as the key was counted to hold, so that no call is spent to learn
  // there are no more; fewer, should some go meanwhile.
  bool ReadValues(RegHandle key, std::uint32_t count, TreeKey& record) {
    for (std::uint32_t index = 0; index < count; ++index) {
      RegValue value;
      const RegStatus status = api_.EnumValue(key, index, &value);
      if (status == kErrorNoMoreItems) {
        return true;
      }
      if (status != kErrorSuccess) {
        return false;
      }
      record.values.push_back(std::move(value));
    }
    return true;
  }

  bool Count(RegHandle key, std::uint32_t* subkeys, std::uint32_t* values) {
    return api_.QueryInfoKey(key, {subkeys, nullptr, values, nullptr, nullptr, nullptr}) ==
           kErrorSuccess;
  }

  RegistryReads& api_;
  const std::function<bool(const TreeKey&)>& visit_;
  const std::uint32_t view_;
};

}  // namespace

bool ReadTree(RegistryReads& api, RegHandle root, const std::string& path,
              const std::function<bool(const TreeKey&)>& visit, std::uint32_t view) {
  return TreeReader(api, visit, view).Read(root, BelowRoot(path), "");
}
