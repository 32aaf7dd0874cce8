#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <csignal>
#include <filesystem>

#include "config/ini_file.h"
#include "temp_dir.h"

namespace pagora {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

TEST(IniFile, ReadIntTakesTheLeadingSignedDigits) {
  const std::pair<const char*, int> kCases[] = {{"62.5", 62},
                                                {"-11", -11},
                                                {"+7", 7},
                                                {"  42  ", 42},
                                                {"12abc", 12},
                                                {"abc", 0},
                                                {"", 0},
                                                {"-", 0},
                                                {"\"15\"", 15},
                                                {"99999999999999999999", INT_MAX},
                                                {"-99999999999999999999", INT_MIN}};
  for (const auto& [value, expected] : kCases) {
    IniFile ini = IniFile::Parse(std::string("[S]\nk=") + value + "\n");
    EXPECT_EQ(ini.ReadInt("S", "k", 77), expected) << value;
  }
}

TEST(IniFile, ReadsWithPrivateProfileRules) {
  IniFile ini = IniFile::Parse(
      "\xEF\xBB\xBF; a comment\r\n"
      "[Main]\r\n"
      "  Name = \"  padded  \"  \r\n"
      "Plain=a \"quoted\" word\r\n"
      "Long=0123456789\r\n"
      "name=second occurrence\r\n"
      "[other]\n"
      "x=1\n"
      "[MAIN]\n"
      "Late=1\n");
  EXPECT_EQ(ini.ReadString("main", "NAME", "", 255), "  padded  ");
  EXPECT_EQ(ini.ReadString("Main", "Plain", "", 255), "a \"quoted\" word");
  EXPECT_EQ(ini.ReadString("Main", "Long", "", 4), "0123");
  EXPECT_EQ(ini.ReadString("Main", "Missing", "fallback", 255), "fallback");
  EXPECT_EQ(ini.ReadInt("Main", "Missing", -3), -3);
  EXPECT_EQ(ini.ReadInt("OTHER", "X", 0), 1);
  // The first section of a name is the one read, as with the platform's own reader.
  EXPECT_FALSE(ini.HasKey("Main", "Late"));
  EXPECT_FALSE(ini.HasKey("Nowhere", "x"));
}

TEST(IniFile, RewritingASectionKeepsEverythingElse) {
  const std::string original =
      "; settings\n"
      "[Pagora]\n"
      "Stale=1\n"
      "\n"
      "[Mine]\n"
      "; keep me\n"
      "  odd line without equals\n"
      "Key = Value\n"
      "\n"
      "[pagora]\n"
      "AlsoStale=2\n";
  IniFile ini = IniFile::Parse(original);
  ini.DeleteSection("PAGORA");
  ini.WriteString("Pagora", "A", "1");
  ini.WriteString("Pagora", "B", "two\nlines");
  ini.WriteInt("Pagora", "A", 3);
  ini.WriteString("Mine", "New", "x");
  EXPECT_EQ(ini.Text(),
            "; settings\n"
            "[Mine]\n"
            "; keep me\n"
            "  odd line without equals\n"
            "Key = Value\n"
            "New=x\n"
            "\n"
            "[Pagora]\n"
            "A=3\n"
            "B=two lines\n");
}

TEST(WriteFileAtomically, FullDiskLeavesTheOldFile) {
  TempDir dir;
  std::string path = dir.File("Pagora.INI");
  WriteText(path, "old contents\n");

  // A file size limit makes writes fail as a full disk does.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool written = WriteFileAtomically(path, std::string(4096, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadText(path), "old contents\n");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "the temporary file was left behind";
}

TEST(WriteFileAtomically, ReplacesTheTargetOfALinkAndKeepsItsMode) {
  TempDir dir;
  std::string real = dir.File("real.ini");
  WriteText(real, "old\n");
  std::filesystem::permissions(real, std::filesystem::perms(0600));
  std::filesystem::create_symlink(real, dir.File("link.ini"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("link.ini"), "new\n"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(ReadText(real), "new\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0600));
}

}  // namespace
}  // namespace pagora
