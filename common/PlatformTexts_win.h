#pragma once

// Has the program's texts give Windows' own message of each status, in the user's language, and
// the names of the accounts of this computer and the well-known ones beside their SIDs.
void UseWindowsTexts();
