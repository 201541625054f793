#pragma once

#include <string>

// What the platform says of its statuses and accounts, for the texts the program shows. The
// program sets where the platform's words come from once, at its start; without them, as in the
// tests that run without the platform, only the numbers and the SIDs are shown.
using StatusMessages = std::string (*)(long status);
using AccountNames = std::string (*)(const std::string& sid);
void UsePlatformTexts(StatusMessages messages, AccountNames names);

// A failure's text with the platform's status: "what: Access is denied (error 5)", or
// "what (error 5)" where the platform has no message for it.
std::string WithStatus(const std::string& what, long status);
// The account's name of a SID ("NT AUTHORITY\SYSTEM"), or nothing where it does not resolve.
std::string AccountName(const std::string& sid);
// A SID with its account's name beside it where it resolves: "S-1-1-0 (Everyone)".
std::string WithAccountName(const std::string& sid);
