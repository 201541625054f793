#pragma once

#include <string>

// The text of the box that reports an unexpected failure: the failure's message with a full stop
// added when its last character sorts after "." (a letter or "?", not "." or "!").
std::string FailureText(const std::string& message);
