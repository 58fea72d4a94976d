// Whatever the skin folder holds, the preview ends with a status and a reason: 0 with the
// picture written, 2 with no picture and a line on standard error. Never a crash or a hang.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "preview_program.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPage =
    "<SL_MENUS><MENU><MVIEWPORT LocX=\"0\" LocY=\"0\" Width=\"200\" Hight=\"100\"/>"
    "<BUTTONS><BUTTON><BtnActionID value=\"7\"/><BtnArea LocX=\"10\" LocY=\"10\" Width=\"50\" Hight=\"40\"/>"
    "</BUTTON></BUTTONS></MENU></SL_MENUS>";

class PreviewBadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "preview_bad_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    root_ = buffer.data();
    skin_ = root_ + "/Windows/Skin";
    fs::create_directories(skin_ + "/Skin");
    write("Windows/language.xml", "<LANGUAGES><LANGUAGE LANGID=\"1033\">en.rc</LANGUAGE></LANGUAGES>");
    write("Windows/en.rc", "STRINGTABLE\nBEGIN\n    1, \"One\"\nEND\n");
    write("Windows/Skin/image.xml", "<IMAGES/>");
    write("Windows/Skin/Good.xml", kPage);
  }
  void TearDown() override {
    std::error_code code;
    fs::remove_all(root_, code);
  }
  void write(const std::string& relative, const std::string& bytes) {
    std::ofstream(root_ + "/" + relative, std::ios::binary) << bytes;
  }
  preview_test::Run run(std::vector<std::string> args) {
    if (std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.end(), {"-o", out()});
    return preview_test::runPreview(args, root_);
  }
  std::string out() const { return root_ + "/out.png"; }

  std::string root_;
  std::string skin_;
};

struct Refusal {
  const char* what;
  std::vector<std::string> args;  // "SKIN" stands for the skin folder
  const char* reason;             // part of the message on standard error
};

TEST_F(PreviewBadInput, EachRefusalSaysWhyAndWritesNoPicture) {
  write("Windows/Skin/Broken.xml", "<SL_MENUS><MENU><TEXTS></MENU>");
  write("Windows/Skin/Empty.xml", "<SL_MENUS></SL_MENUS>");
  write("Windows/Skin/Away.xml",
        "<SL_MENUS><MENU><MVIEWPORT LocX=\"900\" LocY=\"0\" Width=\"100\" Hight=\"100\"/></MENU></SL_MENUS>");
  std::string junk(70000, '\0');
  std::mt19937 random(15);
  for (char& c : junk) c = static_cast<char>(random());
  write("Windows/Skin/Junk.xml", junk);
  // Well-formed and huge: the size alone refuses it, before any parsing.
  std::string huge = "<SL_MENUS>";
  while (huge.size() <= (4u << 20)) huge += "<MENU><MVIEWPORT LocX=\"0\" LocY=\"0\" Width=\"8\" Hight=\"8\"/></MENU>";
  write("Windows/Skin/Huge.xml", huge + "</SL_MENUS>");
  fs::create_directories(skin_ + "/Folder.xml");

  const Refusal refusals[] = {
      {"missing skin folder", {"/nonexistent/Skin", "Good.xml"}, "does not exist"},
      {"skin folder is a file", {"SKIN/Good.xml", "Good.xml"}, "is not a folder"},
      {"missing script", {"SKIN", "Missing.xml"}, "does not exist"},
      {"script is a folder", {"SKIN", "Folder.xml"}, "is not a file"},
      {"broken XML", {"SKIN", "Broken.xml"}, "does not load"},
      {"binary junk", {"SKIN", "Junk.xml"}, "does not load"},
      {"no page", {"SKIN", "Empty.xml"}, "does not load"},
      {"enormous script", {"SKIN", "Huge.xml"}, "byte limit"},
      {"page past the last", {"SKIN", "Good.xml", "--page", "1"}, "past the last page"},
      {"unknown language", {"SKIN", "Good.xml", "--lang", "2052"}, "not listed in language.xml"},
      {"unknown action id", {"SKIN", "Good.xml", "--focus", "8"}, "has action id 8"},
      {"page not a number", {"SKIN", "Good.xml", "--page", "1x"}, "whole number"},
      {"window off the screen", {"SKIN", "Away.xml"}, "no part on the screen"},
      {"picture cannot be written", {"SKIN", "Good.xml", "-o", "/nonexistent/out.png"}, "cannot write"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    std::vector<std::string> args;
    for (const std::string& arg : refusal.args) args.push_back(arg.rfind("SKIN", 0) == 0 ? skin_ + arg.substr(4) : arg);
    fs::remove(out());
    preview_test::Run result = run(args);
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_NE(result.errors.find(refusal.reason), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(out()));
  }
}

TEST_F(PreviewBadInput, AGoodPageIsWrittenAtItsWindowSizeAndNothingElse) {
  // The unit the skin lies in is only read: no registry, settings or temporary files appear.
  auto listing = [this] {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root_ + "/Windows"))
      names.push_back(entry.path().string() + " " + std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = listing();
  preview_test::Run result = run({skin_, "Good.xml", "--focus", "7"});
  ASSERT_EQ(result.status, 0) << result.errors;
  EXPECT_EQ(listing(), before);
  EXPECT_FALSE(fs::exists(root_ + "/registry.reg"));
  preview_test::Png png;
  ASSERT_TRUE(preview_test::readPng(out(), png));
  EXPECT_EQ(png.width, 200);
  EXPECT_EQ(png.height, 100);
}

TEST_F(PreviewBadInput, WhatThePictureLacksIsSaidButThePictureIsMade) {
  // A window that reaches past the screen's right edge: the part on the screen.
  write("Windows/Skin/Edge.xml",
        "<SL_MENUS><MENU><MVIEWPORT LocX=\"700\" LocY=\"0\" Width=\"200\" Hight=\"50\"/></MENU></SL_MENUS>");
  preview_test::Run result = run({skin_, "Edge.xml"});
  ASSERT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.errors.find("warning: the window of Edge.xml reaches past the 800x480 screen"), std::string::npos)
      << result.errors;
  preview_test::Png png;
  ASSERT_TRUE(preview_test::readPng(out(), png));
  EXPECT_EQ(png.width, 100);
  EXPECT_EQ(png.height, 50);
  // A language whose module is missing: no texts, and the reason.
  fs::remove(root_ + "/Windows/en.rc");
  result = run({skin_, "Good.xml"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.errors.find("the module of language 1033 (en.rc) does not load"), std::string::npos)
      << result.errors;
}

TEST_F(PreviewBadInput, TablesThatCannotBeReadAreRefused) {
  // A pipe would keep the reader waiting for a writer that never comes.
  fs::remove(root_ + "/Windows/language.xml");
  ASSERT_EQ(mkfifo((root_ + "/Windows/language.xml").c_str(), 0600), 0);
  preview_test::Run result = run({skin_, "Good.xml"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("language.xml is not a file"), std::string::npos) << result.errors;
  fs::remove(root_ + "/Windows/language.xml");
  write("Windows/Skin/image.xml", "<IMAGES>" + std::string(5u << 20, ' ') + "</IMAGES>");
  result = run({skin_, "Good.xml"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.errors.find("image.xml is 5242897 bytes"), std::string::npos) << result.errors;
}

TEST_F(PreviewBadInput, SheetGoesOnPastAScriptThatDoesNotLoad) {
  write("Windows/Skin/Broken.xml", "<SL_MENUS><MENU>");
  preview_test::Run result = run({skin_, "--sheet"});
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_NE(result.errors.find("Broken.xml does not load"), std::string::npos) << result.errors;
  EXPECT_TRUE(fs::exists(out()));
  // With nothing that paints, there is no sheet.
  fs::remove(skin_ + "/Good.xml");
  fs::remove(out());
  result = run({skin_, "--sheet"});
  EXPECT_EQ(result.status, 2);
  EXPECT_FALSE(fs::exists(out()));
}

}  // namespace
