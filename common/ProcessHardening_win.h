#pragma once

// Has the process load every DLL it asks for by name from System32 only, so that no DLL a user
// plants beside the program, in the working folder or on PATH is ever run; where the platform
// cannot (Windows 7 without its loader update), at least the working folder is left out of the
// search. Called first in each program: a DLL loaded before it was found the old way.
void LimitDllSearchToSystem32();
