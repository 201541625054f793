#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "registry/Utf16.h"

// Passes every call on to another registry and writes down what was asked and answered, e.g.
// "Open(HKCU,'a\b',0x20009)=0 -> h1", "Open(h1,'x',link,0xF003F)=0 -> h2" (opened as itself),
// "Enum(h1,2,21)=0 'x'", "Close(h1)", "DeleteOpen(h2)=0".
// Handles are named h1, h2, ... in the order the registry hands them out.
class RecordingRegistry : public RegistryApi {
 public:
  explicit RecordingRegistry(RegistryApi& inner) : inner_(inner) {}

  RegStatus OpenKey(RegHandle base, const char* subKey, std::uint32_t options, std::uint32_t access,
                    RegHandle* result) override {
    const RegStatus status = inner_.OpenKey(base, subKey, options, access, result);
    const std::string optionsText =
        options == 0 ? "" : (options == kRegOptionOpenLink ? "link," : Hex(options) + ",");
    std::string line = "Open(" + Name(base) + ",'" + subKey + "'," + optionsText + Hex(access) +
                       ")=" + std::to_string(status);
    if (status == kErrorSuccess) {
      line += " -> " + Name(*result);
    }
    calls.push_back(line);
    return status;
  }

  RegStatus CloseKey(RegHandle key) override {
    calls.push_back("Close(" + Name(key) + ")");
    return inner_.CloseKey(key);
  }

  RegStatus QueryInfoKey(RegHandle key, const KeyInfoOut& out) override {
    const RegStatus status = inner_.QueryInfoKey(key, out);
    calls.push_back("Query(" + Name(key) + ")=" + std::to_string(status));
    return status;
  }

  RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                    std::uint32_t* nameLength) override {
    const std::uint32_t given = *nameLength;
    const RegStatus status = inner_.EnumKey(key, index, name, nameLength);
    std::string line = "Enum(" + Name(key) + "," + std::to_string(index) + "," +
                       std::to_string(given) + ")=" + std::to_string(status);
    if (status == kErrorSuccess) {
      line += " '" + std::string(name) + "'";
    }
    calls.push_back(line);
    return status;
  }

  RegStatus DeleteOpenKey(RegHandle key) override {
    const RegStatus status = inner_.DeleteOpenKey(key);
    calls.push_back("DeleteOpen(" + Name(key) + ")=" + std::to_string(status));
    return status;
  }

  RegStatus EnumValue(RegHandle key, std::uint32_t index, RegValue* value) override {
    const RegStatus status = inner_.EnumValue(key, index, value);
    calls.push_back("Value(" + Name(key) + "," + std::to_string(index) +
                    ")=" + std::to_string(status));
    return status;
  }

  RegStatus QueryKeyName(RegHandle key, std::string* name) override {
    const RegStatus status = inner_.QueryKeyName(key, name);
    calls.push_back("Name(" + Name(key) + ")=" + std::to_string(status));
    return status;
  }

  RegStatus OpenKeyW(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override {
    const RegStatus status = inner_.OpenKeyW(base, subKey, options, access, result);
    std::string line = "OpenW(" + Name(base) + ",'" + Utf16ToUtf8(subKey) + "'," +
                       (options == kRegOptionOpenLink ? "link," : "") + Hex(access) +
                       ")=" + std::to_string(status);
    if (status == kErrorSuccess) {
      line += " -> " + Name(*result);
    }
    calls.push_back(line);
    return status;
  }

  RegStatus EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) override {
    const RegStatus status = inner_.EnumKeyW(key, index, name);
    std::string line =
        "EnumW(" + Name(key) + "," + std::to_string(index) + ")=" + std::to_string(status);
    if (status == kErrorSuccess) {
      line += " '" + Utf16ToUtf8(*name) + "'";
    }
    calls.push_back(line);
    return status;
  }

  // Writing, for restore: "Create(HKLM,'a\b',link,0x20006)=0 -> h1", "Set(h1,'name',1,4)=0"
  // (the type and the count of bytes).
  RegStatus CreateKey(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                      std::uint32_t access, RegHandle* result, bool* created) override {
    const RegStatus status = inner_.CreateKey(base, subKey, options, access, result, created);
    const std::string optionsText = options == 0                      ? ""
                                    : options == kRegOptionCreateLink ? "link,"
                                    : options == kRegOptionOpenLink   ? "openlink,"
                                                                      : Hex(options) + ",";
    std::string line = "Create(" + Name(base) + ",'" + Utf16ToUtf8(subKey) + "'," + optionsText +
                       Hex(access) + ")=" + std::to_string(status);
    if (status == kErrorSuccess) {
      line += " -> " + Name(*result);
    }
    calls.push_back(line);
    return status;
  }

  RegStatus SetValue(RegHandle key, const RegValue& value) override {
    const RegStatus status = inner_.SetValue(key, value);
    calls.push_back("Set(" + Name(key) + ",'" + Utf16ToUtf8(value.name) + "'," +
                    std::to_string(value.type) + "," + std::to_string(value.data.size()) +
                    ")=" + std::to_string(status));
    return status;
  }

  // The recorded calls whose text starts with the given call name.
  std::vector<std::string> Only(const std::string& call) const {
    std::vector<std::string> found;
    for (const std::string& line : calls) {
      if (line.rfind(call + "(", 0) == 0) {
        found.push_back(line);
      }
    }
    return found;
  }

  std::vector<std::string> calls;

 private:
  static std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
  }

  std::string Name(RegHandle handle) {
    switch (handle) {
      case kNoHandle:
        return "0";
      case kHkeyClassesRoot:
        return "HKCR";
      case kHkeyCurrentUser:
        return "HKCU";
      case kHkeyLocalMachine:
        return "HKLM";
      case kHkeyUsers:
        return "HKU";
    }
    auto it = names_.find(handle);
    if (it == names_.end()) {
      it = names_.emplace(handle, "h" + std::to_string(names_.size() + 1)).first;
    }
    return it->second;
  }

  RegistryApi& inner_;
  std::map<RegHandle, std::string> names_;
};
