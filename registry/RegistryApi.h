#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The registry as each of its users needs it: the registry object's calls, the reads of the
// backup and check, the writes of restore. Implemented over the real registry on Windows and by
// an in-memory store everywhere.

using RegHandle = std::uintptr_t;  // 0 means no handle
using RegStatus = long;            // 0 means success; anything else is a failure

constexpr RegHandle kNoHandle = 0;
constexpr RegHandle kHkeyClassesRoot = 0x80000000;
constexpr RegHandle kHkeyCurrentUser = 0x80000001;
constexpr RegHandle kHkeyLocalMachine = 0x80000002;
constexpr RegHandle kHkeyUsers = 0x80000003;

constexpr RegStatus kErrorSuccess = 0;
constexpr RegStatus kErrorFileNotFound = 2;
constexpr RegStatus kErrorAccessDenied = 5;
constexpr RegStatus kErrorInvalidHandle = 6;
constexpr RegStatus kErrorSharingViolation = 32;
// What the platform answers when links lead round in a loop.
constexpr RegStatus kErrorInvalidParameter = 87;
constexpr RegStatus kErrorMoreData = 234;
constexpr RegStatus kErrorNoMoreItems = 259;
constexpr RegStatus kErrorKeyDeleted = 1018;
// What creating a link answers where a key of that name exists.
constexpr RegStatus kErrorAlreadyExists = 183;

// Open options: 0 follows a symbolic link named last in the path; this one opens the link itself.
constexpr std::uint32_t kRegOptionOpenLink = 8;
// Create option: the new key is a symbolic link, its target set afterwards as its one value.
constexpr std::uint32_t kRegOptionCreateLink = 2;
// Create option: the keys made are kept in memory only, and go when the machine restarts.
constexpr std::uint32_t kRegOptionVolatile = 1;

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kKeyNotify = 0x0010;
constexpr std::uint32_t kKeyCreateLink = 0x0020;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
// Registry-view flags (KEY_WOW64_64KEY, KEY_WOW64_32KEY) choose a view; they are no rights.
constexpr std::uint32_t kViewFlags = 0x0300;
// The 64-bit view: the key itself, never the 32-bit copy the platform would redirect a 32-bit
// program to.
constexpr std::uint32_t kKeyWow64_64Key = 0x0100;

// The longest names the platform takes, in UTF-16 units: a key's, and a value's.
constexpr std::size_t kLongestKeyNameLength = 255;
constexpr std::size_t kLongestValueNameLength = 16383;

// Value types the backup names; any other number is kept as it is.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

// One value exactly as stored: its name in UTF-16 (empty for the default value) and its bytes.
struct RegValue {
  std::u16string name;
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;

  // The same name, type and bytes.
  bool operator==(const RegValue& other) const {
    return name == other.name && type == other.type && data == other.data;
  }
};

struct FileTime {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
};

// The key figures of RegQueryInfoKeyA that the cleaner asks for, in the platform's order.
struct KeyInfoOut {
  std::uint32_t* subKeys;
  std::uint32_t* maxSubKeyLength;
  std::uint32_t* values;
  std::uint32_t* maxValueNameLength;
  std::uint32_t* maxValueLength;
  FileTime* lastWriteTime;

  // Writes each figure whose output was asked for, in the order of the outputs above.
  void Fill(const std::uint32_t (&figures)[5], FileTime lastWrite) const {
    std::uint32_t* const outputs[] = {subKeys, maxSubKeyLength, values, maxValueNameLength,
                                      maxValueLength};
    for (int i = 0; i < 5; ++i) {
      if (outputs[i]) {
        *outputs[i] = figures[i];
      }
    }
    if (lastWriteTime) {
      *lastWriteTime = lastWrite;
    }
  }
};

// The calls the registry object makes: the platform's open, close, key figures, subkey listing
// and deletion, shaped like its functions so TRegistry passes exactly what it would pass to
// advapi32 (and, for deleting a key through its own handle, to ntdll).
class RegistryCalls {
 public:
  virtual ~RegistryCalls() = default;

  // Opens base\subKey; *result is written only on success. Links met on the way are followed, the
  // last one too unless options hold kRegOptionOpenLink.
  virtual RegStatus OpenKey(RegHandle base, const char* subKey, std::uint32_t options,
                            std::uint32_t access, RegHandle* result) = 0;
  virtual RegStatus CloseKey(RegHandle key) = 0;
  // Fills every non-null output on success.
  virtual RegStatus QueryInfoKey(RegHandle key, const KeyInfoOut& out) = 0;
  // *nameLength holds the buffer size in characters, terminator included. On success the buffer
  // holds the zero-terminated name and *nameLength its length; on failure the buffer is unchanged.
  virtual RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                            std::uint32_t* nameLength) = 0;
  // Deletes the very key the handle was opened on (a link as the link), which must have no
  // subkeys; the handle needs DELETE access and is still to be closed.
  virtual RegStatus DeleteOpenKey(RegHandle key) = 0;
};

// What the backup, check and the clean's hive checks read besides: names exactly as the platform
// keeps them in UTF-16, whatever the ANSI code page, values with their exact bytes, and the
// platform's own name of an open key.
class RegistryReads : public RegistryCalls {
 public:
  // Opens base\subKey as OpenKey does; *result is written only on success.
  virtual RegStatus OpenKeyW(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                             std::uint32_t access, RegHandle* result) = 0;
  // The name of the subkey at the index, in the platform's order; kErrorNoMoreItems past the
  // last one. The handle needs KEY_ENUMERATE_SUB_KEYS. On failure *name is unchanged.
  virtual RegStatus EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) = 0;
  // Reads the value at the index, in the platform's order, through the wide functions, so neither
  // the name nor the data is converted; kErrorNoMoreItems past the last one. The handle needs
  // KEY_QUERY_VALUE. On failure *value is unchanged.
  virtual RegStatus EnumValue(RegHandle key, std::uint32_t index, RegValue* value) = 0;
  // The key's full name as the platform knows it (UTF-8), the same however the key was reached:
  // through a link, or HKEY_CURRENT_USER for the user's own hive under HKEY_USERS. Of the roots,
  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS have names too.
  virtual RegStatus QueryKeyName(RegHandle key, std::string* name) = 0;
};

// What restore and the record of loaded hives write besides. The platform's registry and the
// in-memory store offer it all.
class RegistryApi : public RegistryReads {
 public:
  // Opens base\subKey (UTF-16, one or more names), made with any missing keys above it where
  // missing; links met are followed, a dangling one by making its target, but with
  // kRegOptionOpenLink a link named last is opened as itself, dangling or not. With
  // kRegOptionCreateLink the last name is made as a link, and kErrorAlreadyExists answers where a
  // key of that name exists. With kRegOptionVolatile the keys made are volatile (the in-memory
  // store keeps every key so). *result, and *created (whether the last name was made new, where
  // asked), are written only on success.
  virtual RegStatus CreateKey(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                              std::uint32_t access, RegHandle* result, bool* created) = 0;
  // Sets the value to exactly its type and bytes, replacing one of the same name; a link opened
  // as itself takes only its target, "SymbolicLinkValue" of type REG_LINK, the platform's name of
  // the key it points at, without a terminator. The handle needs KEY_SET_VALUE.
  virtual RegStatus SetValue(RegHandle key, const RegValue& value) = 0;
};
