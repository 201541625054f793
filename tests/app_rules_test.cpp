// The application title and the text of the failure box.
#include <gtest/gtest.h>

#include "app/ApplicationTitle.h"
#include "common/FailureText.h"

namespace {

bool NoLeadBytes(unsigned char) {
  return false;
}
// Shift-JIS: lead bytes 0x81-0x9F and 0xE0-0xFC.
bool ShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

TEST(ApplicationTitleTest, FileNameUpToItsFirstDotWithTheRestInLowerCase) {
  EXPECT_EQ(ApplicationTitle("C:\\Tools\\MyTool.exe", NoLeadBytes), "Mytool");
  EXPECT_EQ(ApplicationTitle("C:\\Tools\\a.b.exe", NoLeadBytes), "a");
  EXPECT_EQ(ApplicationTitle("C:\\Program Files\\x.y\\TessalineCleaner.exe", NoLeadBytes),
            "Tessalinecleaner");
  EXPECT_EQ(ApplicationTitle("mytool", NoLeadBytes), "mytool");
  EXPECT_EQ(ApplicationTitle("C:\\dir\\.hidden.exe", NoLeadBytes), "");
  EXPECT_EQ(ApplicationTitle("C:\\dir\\", NoLeadBytes), "");
}

TEST(ApplicationTitleTest, DoubleByteCharactersAreNeverSplit) {
  // "表" is 0x95 0x5C: its second byte is a backslash, and must not end the folder's name.
  EXPECT_EQ(ApplicationTitle("C:\\\x95\x5C\\TOOL.exe", ShiftJisLeadByte), "Tool");
  EXPECT_EQ(ApplicationTitle("C:\\dir\\\x95\x5C.exe", ShiftJisLeadByte), "\x95\x5C");
  // "ア" in full width is 0x83 0x41: its second byte, an "A", keeps its case.
  EXPECT_EQ(ApplicationTitle("C:\\X\x83\x41Y.exe", ShiftJisLeadByte), "X\x83\x41y");
}

TEST(ApplicationTitleTest, UtfEightNamesKeepEveryCharacterBeyondAscii) {
  // Under the UTF-8 code page no byte leads a double-byte character, and no byte of a character
  // beyond ASCII is a backslash, a dot or an ASCII letter.
  EXPECT_EQ(ApplicationTitle("C:\\Программы\\Очиститель.exe", NoLeadBytes), "Очиститель");
  EXPECT_EQ(ApplicationTitle("C:\\ツール\\ÉDIT.exe", NoLeadBytes), "Édit");
  EXPECT_EQ(ApplicationTitle("C:\\😀\\😀TOOL.v2.exe", NoLeadBytes), "😀tool");
}

TEST(FailureTextTest, FullStopAfterAnythingThatSortsAfterADot) {
  EXPECT_EQ(FailureText("Access denied"), "Access denied.");
  EXPECT_EQ(FailureText("Really?"), "Really?.");
  EXPECT_EQ(FailureText("Code 42"), "Code 42.");
  EXPECT_EQ(FailureText("\x83\x41"), "\x83\x41.");
  EXPECT_EQ(FailureText("Stopped."), "Stopped.");
  EXPECT_EQ(FailureText("Stopped!"), "Stopped!");
  EXPECT_EQ(FailureText("(see log)"), "(see log)");
  EXPECT_EQ(FailureText(""), "");
}

}  // namespace
