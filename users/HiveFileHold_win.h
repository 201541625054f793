#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "users/HiveMounts.h"
#include "users/Profiles.h"

// Checks a profile's hive file where it lies, and holds it, as HivePlatform::Hold says: only a
// full name on a local disk is taken; each folder from the profile's folder down is opened as
// itself and held; the file must be there, and a plain file with one name, reached as named and
// owned as HiveOwnerAllowed says for `account`, the account the program runs as; so must the logs
// beside it (.LOG1, .LOG2) that are there. Without copy, the hive loads where it lies and its logs,
// which the platform writes while it is loaded, are checked again with it once loaded. With a copy
// place, the file and its logs, each as CopyAllowed lets, are copied into the new folder of
// copyPlace only SYSTEM, Administrators and `account` may enter, removed with the copies when the
// hold goes; with an empty copyPlace, the hive is held where it lies.
std::unique_ptr<HeldHive> HoldHiveFile(const HiveFile& file, const std::string& copyPlace,
                                       const std::string& account, HiveLoading* loading,
                                       std::string* why);
// The hex digits of that many bytes from the platform's cryptographic random source
// (RtlGenRandom); empty when it gives none.
std::string RandomHex(std::size_t bytes);
// The folder the private copies are made in, as the platform resolves it: for SYSTEM, where the
// platform has GetTempPath2W, the system's own temp folder that only SYSTEM and administrators
// may write (C:\Windows\SystemTemp); otherwise the temp folder GetTempPathW names. Empty when it
// cannot be told.
std::wstring HiveCopiesFolder();
// A new private copy's place for the hive file, as HivePlatform::NewCopyPlace says: in the
// folder of the copies (HiveCopiesFolder), a folder named with the copies' prefix and 32 random
// hex digits, and the hive's own file name in it; empty when that folder or randomness cannot
// be had.
std::string NewHiveCopyPlace(const HiveFile& file);
// Removes the copy a run left, named by the file loaded from it, as HivePlatform::RemoveCopyLeft
// says: only where CopyPlaceOf finds one in the folder of the copies, or in the temp folder
// GetTempPathW names, where runs made them before the platform had GetTempPath2W, in a folder no
// link, reached as named and owned by SYSTEM, Administrators or `account`, held while the copied
// hive and its logs go, each a plain file opened as itself and removed through its handle.
void RemoveHiveCopyLeft(const std::string& file, const std::string& account);
