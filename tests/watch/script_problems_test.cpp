// The line a skin author reads when a script does not load: the file, the line, and the parser's
// message with its offsets told as lines and columns.
#include <gtest/gtest.h>

#include "app/script_problems.h"
#include "platform_fixture.h"

namespace {

class ScriptProblemsTest : public hu::test::PlatformFixture {};

TEST_F(ScriptProblemsTest, EachKindOfFailureNamesTheFileAndTheLine) {
  struct Row {
    const char* name;
    const char* text;  // null: no such file
    const char* expected;  // after "<path>"; empty: loads
  };
  const Row rows[] = {
      {"good.xml", "<SL_MENUS>\n<MENU/>\n</SL_MENUS>\n", ""},
      {"page.xml", "<MENU/>", ""},
      {"missing.xml", nullptr, ": cannot be read: "},
      {"empty.xml", "", ":1: the file is empty"},
      {"mismatch.xml", "<SL_MENUS>\n<MENU>\n  <B>1</B>\n</SL_MENUS>\n",
       ":4: End tag 'SL_MENUS' at line 4 column 1 does not match start tag 'MENU' at line 2 column 1"},
      {"open.xml", "<SL_MENUS>\n\n<MENU>\n", ":3: "},
      {"root.xml", "<IMAGES/>", ":1: the root element is IMAGES, not SL_MENUS: the script gives no page"},
      {"nopage.xml", "<SL_MENUS><PAGE/></SL_MENUS>", ":1: SL_MENUS holds no MENU: the script gives no page"},
  };
  for (const Row& r : rows) {
    if (r.text) writeFile(r.name, r.text);
    const std::string path = hostPath(r.name);
    const std::string problem = app::scriptLoadProblem(path);
    if (!*r.expected) {
      EXPECT_EQ(problem, "") << r.name;
      continue;
    }
    EXPECT_EQ(problem.rfind(path + r.expected, 0), 0u) << r.name << ": " << problem;
  }
}

TEST_F(ScriptProblemsTest, PrintingTakesARelativeScriptInTheSkinFolder) {
  writeFile("skin/A_Script.xml", "<SL_MENUS>\n</MENU>\n");
  app::printScriptProblems(hostPath("skin"), "A_Script.xml");
  EXPECT_TRUE(consoleHas("[Vexa APP] " + hostPath("skin") + "/A_Script.xml:2: ")) << consoleText();
  // The parser's error is said once, with its line and column, not again by the checker.
  EXPECT_FALSE(consoleHas("not well-formed XML")) << consoleText();
}

TEST_F(ScriptProblemsTest, TheCheckersFindingsFollowTheLoadProblem) {
  writeFile("skin/B_Script.xml", "<SL_MENU>\n<MENU/>\n</SL_MENU>\n");
  app::printScriptProblems(hostPath("skin"), "B_Script.xml");
  EXPECT_TRUE(consoleHas("B_Script.xml:1: the root element is SL_MENU")) << consoleText();
  EXPECT_TRUE(consoleHas("B_Script.xml:1: error: ")) << consoleText();
  EXPECT_TRUE(consoleHas("SL_MENUS")) << consoleText();
}

}  // namespace
