#include "app/ApplicationTitle.h"

#include <cstddef>
#include <vector>

namespace {

// The start of every character of the text, and its end.
std::vector<std::size_t> CharacterStarts(const std::string& text,
                                         const LeadBytePredicate& isLeadByte) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();
       i += isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1) {
    starts.push_back(i);
  }
  starts.push_back(text.size());
  return starts;
}

}  // namespace

std::string ApplicationTitle(const std::string& modulePath, const LeadBytePredicate& isLeadByte) {
  std::string name = modulePath;
  for (std::size_t start : CharacterStarts(modulePath, isLeadByte)) {
    if (start < modulePath.size() && modulePath[start] == '\\') {
      name = modulePath.substr(start + 1);
    }
  }
  std::string title;
  const std::vector<std::size_t> starts = CharacterStarts(name, isLeadByte);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    std::string character = name.substr(starts[i], starts[i + 1] - starts[i]);
    if (character == ".") {
      break;
    }
    if (i > 0 && character.size() == 1 && character[0] >= 'A' && character[0] <= 'Z') {
      character[0] = static_cast<char>(character[0] - 'A' + 'a');
    }
    title += character;
  }
  return title;
}
