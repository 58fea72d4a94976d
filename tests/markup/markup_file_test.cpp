// Load and Save: UTF-8 decoding, the result texts, platform errors and whole-file replacement.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "markup.h"
#include "markup_test_util.h"
#include "markup_text.h"
#include "windows.h"

using markup_test::narrow;
using markup_test::readBytes;
using markup_test::widen;
using markup_test::writeBytes;

namespace {

class MarkupFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = markup_test::makeTempDir();
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  std::string host(const std::string& name) const { return dir_ + "/" + name; }
  std::u16string path(const std::string& name) const { return widen(host(name)); }
  std::string dir_;
};

std::u16string platformMessage(DWORD error) {
  std::u16string text = plat::systemMessage(error);
  return text.substr(0, text.find_first_of(u"\r\n"));
}

TEST_F(MarkupFile, DecodesUtf8AsDocumentsAreRead) {
  struct {
    const char* bytes;
    size_t count;
    std::u16string text;
  } cases[] = {
      {"A\xC3\xA9", 3, u"A\u00e9"},
      {"\xE2\x82\xAC", 3, u"\u20ac"},
      {"\xF0\x9F\x98\x80", 4, u"\U0001F600"},
      {"\xC3", 1, u"?"},
      {"\xC3" "A", 2, u"?A"},
      {"\xE2\x82" "A", 3, u"?A"},
      {"\xF0\x9F\x98", 3, u"?"},
      {"\xF8\x80", 2, u"??"},
      {"\xFF" "b", 2, u"?b"},
      {"a\0b", 3, u"a"},
      {"x\x80\x80y", 4, u"x"},
      // Lead bytes are told apart by bits 5, 4 and 3 alone.
      {"\xB1\x80\x80\x80", 4, u"\U00040000"},
      {"\x9F\xBF", 2, u"\u07ff"},
      {"\xF4\x90\x80\x80", 4, u"?"},
      {"\xEF\xBB\xBF<a/>", 7, u"\ufeff<a/>"},
      {"\xED\xA0\x80", 3, std::u16string(1, char16_t(0xD800))},
      {"0123456789abcdef\xC3\xA9", 18, u"0123456789abcdef\u00e9"},
  };
  for (const auto& c : cases) {
    writeBytes(host("d.xml"), std::string(c.bytes, c.count));
    CMarkup m;
    m.Load(path("d.xml"));
    EXPECT_EQ(m.GetDoc(), c.text) << c.bytes;
    std::string result = std::to_string(c.count) + " bytes to " + std::to_string(c.text.size()) + " wide chars";
    EXPECT_EQ(narrow(m.GetError()).substr(0, result.size()), result) << c.bytes;
  }
}

// A file is decoded piece by piece as it is read (64 KiB at a time): a sequence cut by the end of a
// piece reads as it does in one piece, and so does one cut short there.
TEST_F(MarkupFile, SequencesAcrossReadPiecesDecodeAsInOnePiece) {
  const std::string sequences[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x82" "A",
                                   "\xF0\x9F\x98", "\xC3", std::string("\xC3\xA9\0z", 4)};
  for (size_t piece : {size_t{65536}, size_t{2 * 65536}}) {
    for (size_t at = piece - 4; at <= piece + 1; ++at) {
      for (const std::string& seq : sequences) {
        for (const char* tail : {"", "<a/>"}) {
          const std::string bytes = std::string(at, 'x') + seq + tail;
          writeBytes(host("p.xml"), bytes);
          CMarkup m;
          m.Load(path("p.xml"));
          const std::u16string whole = markup::decodeUtf8(bytes.data(), bytes.size());
          ASSERT_EQ(m.GetDoc(), whole) << "at " << at << " sequence " << narrow(widen(seq)) << tail;
          const std::string result = std::to_string(bytes.size()) + " bytes to " + std::to_string(whole.size()) + " wide chars";
          ASSERT_EQ(narrow(m.GetError()).substr(0, result.size()), result);
        }
      }
    }
  }
}

// Decoding reads blocks of sixteen bytes: it never reads a byte past the end of the bytes it is given,
// whatever the length (sanitized builds catch a read past an exactly-sized buffer).
TEST(MarkupDecode, ReadsNothingPastTheEndOfItsBytes) {
  for (size_t count : {size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{32}, size_t{33}}) {
    auto bytes = std::make_unique<char[]>(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    const std::u16string text = markup::decodeUtf8(bytes.get(), count);
    ASSERT_EQ(text.size(), count);
    EXPECT_EQ(text.back(), char16_t('a' + (count - 1) % 26)) << count;
  }
}

TEST_F(MarkupFile, LoadResultAloneWhenWellFormed) {
  writeBytes(host("ok.xml"), "<?xml version=\"1.0\"?>\n<r a=\"\xC3\xA9\"/>\n");
  CMarkup m;
  EXPECT_TRUE(m.Load(path("ok.xml")));
  EXPECT_EQ(m.GetError(), u"34 bytes to 33 wide chars");
  ASSERT_TRUE(m.FindElem(u"r"));
  EXPECT_EQ(m.GetAttrib(u"a"), u"\u00e9");
}

TEST_F(MarkupFile, LoadResultAndFirstParseError) {
  writeBytes(host("empty.xml"), "");
  CMarkup m;
  EXPECT_FALSE(m.Load(path("empty.xml")));
  EXPECT_EQ(m.GetError(), u"0 bytes to 0 wide chars, Empty document");

  writeBytes(host("two.xml"), "<a/>\r\n<b/>\r\n");
  EXPECT_FALSE(m.Load(path("two.xml")));
  EXPECT_EQ(m.GetError(), u"12 bytes to 12 wide chars, Root element has sibling");
  // The document is still there and can be walked.
  EXPECT_TRUE(m.FindElem(u"b"));
}

TEST_F(MarkupFile, MissingFileKeepsTheDocumentAndReportsThePlatformMessage) {
  CMarkup m(u"<keep/>");
  EXPECT_FALSE(m.Load(path("missing.xml")));
  EXPECT_EQ(m.GetError(), platformMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(m.GetError().empty());
  EXPECT_EQ(m.GetError().find_first_of(u"\r\n"), std::u16string::npos);
  EXPECT_EQ(m.GetDoc(), u"<keep/>");
}

TEST_F(MarkupFile, DevicePathsWithBackslashes) {
  writeBytes(host("dev.xml"), "<r/>");
  std::u16string device = path("dev.xml");
  for (char16_t& c : device)
    if (c == u'/') c = u'\\';
  CMarkup m;
  EXPECT_TRUE(m.Load(device));
  EXPECT_TRUE(m.Save(device));
  EXPECT_EQ(readBytes(host("dev.xml")), "<r/>");
}

TEST_F(MarkupFile, DevicePathsMapIntoTheUnitRoot) {
  ASSERT_EQ(mkdir(host("Windows").c_str(), 0700), 0);
  writeBytes(host("Windows/image.xml"), "<IMAGES/>");
  std::string previous = plat::unitRoot();
  plat::setUnitRoot(dir_);
  CMarkup m;
  bool loaded = m.Load(u"\\WINDOWS\\Image.xml");
  m.FindElem();
  m.AddChildElem(u"IMAGE", 1);
  bool saved = m.Save(u"\\Windows\\copy.xml");
  plat::setUnitRoot(previous);
  EXPECT_TRUE(loaded) << narrow(m.GetError());
  EXPECT_TRUE(saved) << narrow(m.GetError());
  EXPECT_EQ(readBytes(host("Windows/copy.xml")), "<IMAGES>\r\n<IMAGE>1</IMAGE>\r\n</IMAGES>");
}

TEST_F(MarkupFile, SaveWritesUtf8AndReportsTheCounts) {
  CMarkup m(u"<a>\u00e9\u20ac\U0001F600</a>");
  ASSERT_TRUE(m.Save(path("out.xml")));
  // 3 + 1 + 1 + 2 + 4 wide chars; 3 + 2 + 3 + 4 + 4 bytes.
  EXPECT_EQ(m.GetError(), u"11 wide chars to 16 bytes");
  EXPECT_EQ(readBytes(host("out.xml")), "<a>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</a>");
}

TEST_F(MarkupFile, CharactersBeyondTheBasicPlaneSurviveARoundTrip) {
  const std::string bytes =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r t=\"\xF0\x9D\x84\x9E\">\xF0\x9F\x98\x80 \xF0\xA0\x80\x8B</r>\r\n";
  writeBytes(host("in.xml"), bytes);
  CMarkup m;
  ASSERT_TRUE(m.Load(path("in.xml")));
  ASSERT_TRUE(m.FindElem(u"r"));
  EXPECT_EQ(m.GetAttrib(u"t"), u"\U0001D11E");
  EXPECT_EQ(m.GetData(), u"\U0001F600 \U0002000B");
  ASSERT_TRUE(m.Save(path("back.xml")));
  EXPECT_EQ(readBytes(host("back.xml")), bytes);
}

TEST_F(MarkupFile, SaveReplacesTheWholeFileAndLeavesNothingBesideIt) {
  writeBytes(host("cfg.xml"), std::string(5000, 'x'));
  CMarkup m(u"<short/>");
  ASSERT_TRUE(m.Save(path("cfg.xml")));
  EXPECT_EQ(readBytes(host("cfg.xml")), "<short/>");
  DIR* d = opendir(dir_.c_str());
  ASSERT_NE(d, nullptr);
  int files = 0;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++files;
  closedir(d);
  EXPECT_EQ(files, 1);
}

TEST_F(MarkupFile, FailedSaveReportsThePlatformMessage) {
  CMarkup m(u"<a/>");
  EXPECT_FALSE(m.Save(nullptr));
  EXPECT_EQ(m.GetError(), platformMessage(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(m.Save(path("no/such/folder/x.xml")));
  EXPECT_EQ(m.GetError(), platformMessage(ERROR_PATH_NOT_FOUND));
  // A folder in the way of the file: the folder is untouched.
  ASSERT_EQ(mkdir(host("taken").c_str(), 0700), 0);
  EXPECT_FALSE(m.Save(path("taken")));
  EXPECT_EQ(m.GetError(), platformMessage(ERROR_ACCESS_DENIED));
  struct stat st {};
  ASSERT_EQ(stat(host("taken").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(m.GetDoc(), u"<a/>");
}

}  // namespace
