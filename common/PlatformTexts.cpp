#include "common/PlatformTexts.h"

namespace {

StatusMessages statusMessages = nullptr;
AccountNames accountNames = nullptr;

}  // namespace

void UsePlatformTexts(StatusMessages messages, AccountNames names) {
  statusMessages = messages;
  accountNames = names;
}

std::string WithStatus(const std::string& what, long status) {
  const std::string message = statusMessages ? statusMessages(status) : std::string();
  return what + (message.empty() ? "" : ": " + message) + " (error " + std::to_string(status) + ")";
}

std::string AccountName(const std::string& sid) {
  return accountNames ? accountNames(sid) : std::string();
}

std::string WithAccountName(const std::string& sid) {
  const std::string name = AccountName(sid);
  return name.empty() ? sid : sid + " (" + name + ")";
}
