#pragma once

#include <string>

#include "common/SecurityModel.h"

// Whether a folder with this descriptor may hold a backup made by `account` (the SID the
// program runs as); false, with why, when it may not. Its owner must be SYSTEM, Administrators,
// TrustedInstaller or `account`, and it may grant nobody else a right to add to it, delete from it,
// rename it, or change its attributes, access list or owner.
bool FolderTrusted(const SecurityModel& folder, const std::string& account, std::string* why);

// The protected access list, in SDDL, of each file and folder the program makes: SYSTEM and
// Administrators full control, and when not elevated the account too; nobody else any right.
std::string OwnAccessList(bool elevated, const std::string& account);
