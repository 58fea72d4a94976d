// With an allow-list only the programs it names with the SHA-256 of their file start; the
// watcher refuses every other, whatever asked for the start.
#include "listener_window.h"
#include "services/program_allow_list.h"
#include "services/utility.h"
#include "unit_fixture.h"

namespace {

class AllowListTest : public UnitRootTest {};

TEST_F(AllowListTest, OnlyListedProgramsWithTheirDigestStart) {
  for (const char* name : {"Card/Good/Navi.exe", "Card/Bad/Navi.exe", "Card/Other/Navi.exe"})
    writeFile(name, "#!/bin/sh\nexit 0\n", true);
  std::string why;
  writeFile("list", "# comment\n" + CProgramAllowList::DigestOf(u"\\Card\\Good\\Navi.exe", why) +
                        "  \\card\\GOOD\\navi.exe\n" + std::string(64, 'a') + " *\\Card\\Bad\\Navi.exe\nbad line\n");
  CProgramAllowList list;
  ASSERT_TRUE(list.Load(host("list")));
  EXPECT_TRUE(consoleHas("list line 4 is not a digest and a program"));
  const char* reasons[] = {"", "differs from the list's", "not on the list"};  // empty: allowed
  const char16_t* paths[] = {u"\\Card\\Good\\Navi.exe", u"\\Card\\Bad\\Navi.exe", u"\\Card\\Other\\Navi.exe"};
  for (int i = 0; i < 3; ++i) {
    why.clear();
    EXPECT_EQ(list.Allows(paths[i], why), !*reasons[i]);
    EXPECT_EQ(list.AllowsCached(paths[i]), !*reasons[i]);
    EXPECT_NE(why.find(reasons[i]), std::string::npos) << why;
  }
  writeFile("Card/Good/Navi.exe", "#!/bin/sh\nexit 1\n", true);  // changed since it was listed
  EXPECT_FALSE(list.Allows(paths[0], why));
  CProgramAllowList unreadable;  // lets nothing start; no list lets everything start
  EXPECT_FALSE(unreadable.Load(host("gone")) || unreadable.Allows(paths[2], why));
  EXPECT_TRUE(CProgramAllowList().Allows(paths[2], why));

  g_pProgramAllowList = &list;
  CUtility util;
  ListenerWindows owner({u"MainMenu"});
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(util.ExcuteProgram(owner.window(0), paths[2], &info));
  EXPECT_TRUE(owner.waitCount(WM_COMMAND, 1, RegisterWindowMessageW(u"APPLICATION_MESSAGEID_NAVIERRORMSG")));
  EXPECT_TRUE(consoleHas("\\Card\\Other\\Navi.exe is not allowed to start: not on the list") && !info.dwProcessId);
  g_pProgramAllowList = nullptr;

  for (size_t length : {0, 55, 56, 64, 1000}) {  // the digest is what sha256sum gives
    writeFile("a.bin", std::string(length, 'a'));
    std::string expected(64, ' ');
    FILE* reference = popen(("sha256sum " + host("a.bin")).c_str(), "r");
    EXPECT_EQ(std::fread(expected.data(), 1, 64, reference), 64u);
    pclose(reference);
    EXPECT_EQ(CProgramAllowList::DigestOf(u"\\a.bin", why), expected) << length << " bytes";
  }
}

}  // namespace
