#pragma once

#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// The record of the hives runs of this program have loaded under HKEY_USERS and not yet unloaded,
// so that a later run can unload what a killed one left, and nothing else. It lives in
// HKEY_LOCAL_MACHINE\SOFTWARE\TessalineClean\Mounts (the 64-bit view), one subkey a hive, made
// volatile: it goes at a restart, as the hives do. Only administrators can write there.
class MountJournal {
 public:
  struct Entry {
    std::string name;  // the hive's name under HKEY_USERS
    std::string file;  // the file it was loaded from
    std::string run;   // the run that loaded it, as the run named itself
  };

  explicit MountJournal(RegistryApi& api) : api_(api) {}

  // Records that `run` is about to load `file` as HKEY_USERS\<name>; the status of the write,
  // kErrorAlreadyExists, with the record left as it was, where the name is recorded already.
  RegStatus Record(const Entry& entry);
  // Removes the record of the hive; once no record is left, the journal's keys go too.
  void Drop(const std::string& name);
  // Removes the journal's keys if they hold no record: a run killed as it dropped its last one
  // leaves them.
  void DropEmptyKeys();
  // Every record; none when the journal cannot be read.
  std::vector<Entry> Entries();

 private:
  RegistryApi& api_;
};
