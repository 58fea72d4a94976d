// The W3C XML conformance suite, unpacked at test time. CMarkup does not validate and reads
// only UTF-8, so the checks are: every not-well-formed UTF-8 case loads without harm, and the
// plain valid standalone UTF-8 documents are accepted (floor measured on this parser).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "markup.h"
#include "markup_test_util.h"
#include "test_data.h"

using markup_test::narrow;
using markup_test::readBytes;
using markup_test::widen;

namespace {

struct Case {
  std::string type;
  std::string entities;
  std::string file;
  std::string id;
};

// Walks a catalogue: TEST elements, possibly inside nested TESTCASES with their own xml:base.
void collect(CMarkup& cat, const std::string& base, std::vector<Case>& out) {
  while (cat.FindElem()) {
    std::string tag = narrow(cat.GetTagName());
    if (tag == "TESTCASES") {
      std::string sub = base + narrow(cat.GetAttrib(u"xml:base"));
      cat.IntoElem();
      collect(cat, sub, out);
      cat.OutOfElem();
    } else if (tag == "TEST") {
      out.push_back({narrow(cat.GetAttrib(u"TYPE")), narrow(cat.GetAttrib(u"ENTITIES")),
                     base + narrow(cat.GetAttrib(u"URI")), narrow(cat.GetAttrib(u"ID"))});
    }
  }
}

// UTF-8 (or ASCII) by its first bytes and its declaration.
bool isUtf8(const std::string& bytes) {
  if (bytes.size() >= 2) {
    unsigned char a = bytes[0], b = bytes[1];
    if ((a == 0xFE && b == 0xFF) || (a == 0xFF && b == 0xFE) || a == 0 || b == 0) return false;
  }
  size_t end = bytes.find("?>");
  if (bytes.rfind("<?xml", 0) != 0 || end == std::string::npos) return true;
  std::string decl = bytes.substr(0, end);
  size_t enc = decl.find("encoding");
  if (enc == std::string::npos) return true;
  std::string rest = decl.substr(enc + 8);
  for (char& c : rest) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return rest.find("utf-8") != std::string::npos || rest.find("utf8") != std::string::npos;
}

TEST(MarkupConformance, W3CSuite) {
  const std::string zip = HU_TESTDATA_DIR "/xml/xmlts20130923.zip";
  HU_SKIP_WITHOUT_TEST_DATA(zip);
  if (std::system("command -v unzip >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip is not installed";
  std::string dir = markup_test::makeTempDir();
  ASSERT_FALSE(dir.empty());
  ASSERT_EQ(std::system(("unzip -q -o '" + zip + "' -d '" + dir + "'").c_str()), 0);
  const std::string root = dir + "/xmlconf/";

  // The master catalogue names its parts as external entities.
  std::string master = readBytes(root + "xmlconf.xml");
  std::vector<std::string> catalogues;
  for (size_t at = master.find("<!ENTITY"); at != std::string::npos; at = master.find("<!ENTITY", at + 1)) {
    size_t q1 = master.find('"', at);
    size_t q2 = q1 == std::string::npos ? q1 : master.find('"', q1 + 1);
    if (q2 != std::string::npos) catalogues.push_back(master.substr(q1 + 1, q2 - q1 - 1));
  }
  ASSERT_GE(catalogues.size(), 15u);

  std::vector<Case> cases;
  for (const std::string& c : catalogues) {
    // Some parts are entity fragments: a list of TEST elements without one root.
    CMarkup cat;
    cat.Load(widen(root + c));
    std::u16string error = cat.GetError();
    ASSERT_TRUE(error.find(u",") == std::u16string::npos || error.ends_with(u"Root element has sibling"))
        << c << ": " << narrow(error);
    collect(cat, root + c.substr(0, c.rfind('/') + 1), cases);
  }
  ASSERT_GE(cases.size(), 2000u);

  int notWf = 0, notWfRejected = 0, valid = 0, validAccepted = 0;
  std::vector<std::string> refusedValid;
  for (const Case& c : cases) {
    std::string bytes = readBytes(c.file);
    if (bytes.empty() || !isUtf8(bytes)) continue;
    CMarkup m;
    bool ok = m.Load(widen(c.file));
    // Whatever the verdict, the tree must be walkable.
    while (m.FindElem()) {
      m.GetAttrib(u"a");
      m.GetData();
    }
    if (c.type == "not-wf") {
      ++notWf;
      if (!ok) ++notWfRejected;
    } else if (c.type == "valid" && c.entities == "none" && bytes.find("<!ENTITY") == std::string::npos) {
      ++valid;
      if (ok)
        ++validAccepted;
      else
        refusedValid.push_back(c.id + ": " + narrow(m.GetError()));
    }
  }
  std::printf("not-wf UTF-8 cases: %d, rejected %d; plain valid UTF-8 cases: %d, accepted %d\n", notWf, notWfRejected,
              valid, validAccepted);
  for (const std::string& r : refusedValid) std::printf("  refused valid %s\n", r.c_str());
  EXPECT_GE(notWf, 1400);
  EXPECT_GE(valid, 500);
  // Measured on this parser: every plain valid document is accepted, and 128 of the not-wf
  // cases are caught (the rest need a validating or entity-resolving parser). A drop means a
  // regression.
  EXPECT_EQ(validAccepted, valid);
  EXPECT_GE(notWfRejected, 128);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace
