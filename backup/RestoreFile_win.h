#pragma once

#include <memory>
#include <string>

#include "backup/BackupSource.h"

// Opens the backup at the UTF-8 path for restore, as itself: a plain file on a drive or share,
// not a link, with no other name, its final name the name given, in a folder that passes the rule
// of a backup's folder and passing that rule itself, so that no other user could have written or
// changed it. It is held open so that nobody may write to it, rename or delete it, nor its folder,
// while it is read. Null, with *failure telling why, when it is not so.
std::unique_ptr<BackupSource> OpenBackupToRestore(const std::string& path, std::string* failure);
