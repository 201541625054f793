#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// The one description of a backup's text that its writer and its reader share. The text is a
// file that "reg import" and regedit read, UTF-16LE behind a byte order mark, lines ending in
// CR LF: the format line, a blank line, the signature and the heading's other comment lines, a
// blank line, then one section a deleted key, each closed by its end mark and a blank line. In a
// section, each value is a line of its own, its data spelled by the table of ValueTypes.h.

// One key's section, exactly as it was written before the key was deleted.
struct BackupSection {
  std::string keyName;  // "ROOT\path" in UTF-8, the root spelled in full (HKEY_CLASSES_ROOT, ...)
  bool link = false;    // a registry link, deleted as the link
  // For a link: its target as the platform names it, UTF-8; none for a link never given one.
  std::optional<std::string> linkTarget;
  std::vector<RegValue> values;  // every value with its exact bytes, in the order written
};

namespace backup_format {

constexpr char16_t kLineEnd[] = u"\r\n";
// The first line, as regedit writes it.
constexpr char16_t kFormatLine[] = u"Windows Registry Editor Version 5.00";
// The line after the blank one that tells this program's backups from other .reg files.
constexpr char16_t kSignature[] =
    u"; tessaline-clean backup: one section a deleted key, each closed by its end mark";
// A link's section is one comment line, `; link "NAME" to "TARGET"`, both quoted and escaped;
// that of a link without a target ends after its name.
constexpr char16_t kLinkStart[] = u"; link ";
constexpr char16_t kLinkTo[] = u" to ";
// The end mark, `; end of key, N values`: the line that says a section is whole.
constexpr char16_t kEndMarkStart[] = u"; end of key, ";
constexpr char16_t kEndMarkEnd[] = u" values";

}  // namespace backup_format
