// The vlr program's blueprint verbs, run as a whole process in a fresh home.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;

const std::string kVlr = VLR_BIN_DIR "/vlr";

// A blueprint file as Save writes it, with `documents` named documents and `signers` signers.
std::string BlueprintText(const std::string& name, int documents, int signers) {
  std::string text = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><vlrBlueprint><Name>" +
                     name + "</Name>\n<Documents>";
  for (int i = 1; i <= documents; ++i)
    text += "<Document><Key>doc" + std::to_string(i) + ".pdf</Key>\n<Name>doc" +
            std::to_string(i) + ".pdf</Name>\n<Fields></Fields></Document>";
  text += "</Documents><Options><SendMode>0</SendMode>\n<Positioning>2</Positioning>\n"
          "<ExpiresIn>10</ExpiresIn>\n<Syntax>Custom</Syntax>\n</Options><Email><Subject>"
          "Q&amp;A for Jos&#233;</Subject>\n</Email><Signers>";
  for (int i = 1; i <= signers; ++i)
    text += "<Signer><Name>Signer " + std::to_string(i) + "</Name>\n<Email>s" +
            std::to_string(i) + "@example.com</Email>\n<ID>" + std::to_string(i) +
            "</ID>\n<Role>Role" + std::to_string(i) +
            "</Role>\n<Mode>Signer</Mode>\n<AnchorLabel>R</AnchorLabel>\n<Anchors><Anchor>"
            "<Index>0</Index>\n<Text>[Role" + std::to_string(i) +
            "SignHere]</Text>\n</Anchor></Anchors></Signer>";
  return text + "</Signers></vlrBlueprint>";
}

class VlrBlueprintTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    folder_ = home_.Root() + "/library";
    fs::create_directories(folder_);
    ASSERT_EQ(Vlr("config set BlueprintFolder '" + folder_ + "'"), 0);
  }
  int Vlr(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
    return vlrtest::RunCommand(kVlr + " " + args, out, err);
  }
  void Put(const std::string& file, const std::string& text) {
    vlrtest::WriteFile(folder_ + "/" + file, text);
  }

  std::string folder_;
};

TEST_F(VlrBlueprintTest, HelpAndWrongUsage) {
  std::string out, err;
  EXPECT_EQ(Vlr("blueprint --help", &out), 0);
  EXPECT_NE(out.find("usage: vlr blueprint list"), std::string::npos);
  EXPECT_NE(out.find("BlueprintFolder"), std::string::npos);
  for (const char* args : {"blueprint", "blueprint frobnicate", "blueprint show",
                           "blueprint check", "blueprint check a b", "blueprint list extra"}) {
    err.clear();
    EXPECT_EQ(Vlr(args, &out, &err), 2) << args;
    EXPECT_NE(err.find("usage:"), std::string::npos) << args;
  }
  EXPECT_EQ(Vlr("--help", &out), 0);
  EXPECT_NE(out.find("blueprint"), std::string::npos);
}

TEST_F(VlrBlueprintTest, ListShowsEveryBlueprintOfTheFolder) {
  std::string out;
  EXPECT_EQ(Vlr("blueprint list", &out), 0);
  EXPECT_EQ(out, "");

  Put("b.xml", BlueprintText("Bravo", 2, 0));
  Put("a.xml", BlueprintText("Alpha", 1, 3));
  Put("readme.txt", "not a blueprint");
  EXPECT_EQ(Vlr("blueprint list", &out), 0);
  EXPECT_EQ(out, "Alpha\t1\t3\nBravo\t2\t0\n");
}

TEST_F(VlrBlueprintTest, ListStopsAtAFileThatCannotBeRead) {
  Put("a.xml", BlueprintText("Alpha", 1, 1));
  Put("b.xml", BlueprintText("Bravo", 1, 1).substr(0, 120));
  Put("c.xml", BlueprintText("Charlie", 1, 1));
  std::string out, err;
  EXPECT_EQ(Vlr("blueprint list", &out, &err), 1);
  EXPECT_EQ(out, "Alpha\t1\t1\n");
  EXPECT_NE(err.find(folder_ + "/b.xml: cannot be read"), std::string::npos) << err;
}

TEST_F(VlrBlueprintTest, ShowFindsABlueprintByNameOrPath) {
  Put("Deal.xml", BlueprintText("Deal", 2, 2));
  Put("other-file.xml", BlueprintText("Named Inside", 1, 0));
  std::string out, err;
  ASSERT_EQ(Vlr("blueprint show Deal", &out), 0);
  for (const char* expected :
       {"Name:                Deal", "Subject:             Q&A for Jos\xC3\xA9",
        "Positioning:         use the anchor tags below", "Expires:             after 10 days",
        "Documents (2):", "  2. doc2.pdf", "Signers (2):", "  1. Signer 1 <s1@example.com>",
        "role Role2, Signer", "anchors (label R): SignHere \"[Role2SignHere]\""})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;

  ASSERT_EQ(Vlr("blueprint show 'Named Inside'", &out), 0);  // the name in the file
  EXPECT_NE(out.find("File:                " + folder_ + "/other-file.xml"), std::string::npos);
  ASSERT_EQ(Vlr("blueprint show '" + folder_ + "/Deal.xml'", &out), 0);
  EXPECT_NE(out.find("Name:                Deal"), std::string::npos);

  EXPECT_EQ(Vlr("blueprint show Missing", &out, &err), 1);
  EXPECT_NE(err.find("no blueprint named 'Missing'"), std::string::npos);
}

TEST_F(VlrBlueprintTest, CheckTellsWhatAFileHoldsOrWhyItCannotBeRead) {
  const std::string good = home_.Root() + "/good.xml";
  vlrtest::WriteFile(good, BlueprintText("Good", 3, 2));
  std::string out, err;
  ASSERT_EQ(Vlr("blueprint check '" + good + "'", &out), 0);
  EXPECT_EQ(out, good + ": blueprint \"Good\": 3 documents (0 embedded, 0 form fields), "
                        "2 signers, 2 anchors\n");

  const struct {
    const char* what;
    std::string text;
    const char* reason;
  } cases[] = {
      {"truncated", BlueprintText("Cut", 2, 2).substr(0, 200), "cannot be read"},
      {"not XML", "hello", "cannot be read"},
      {"empty", "", "cannot be read"},
      {"another kind of file", "<vlrReceipt><Name>x</Name></vlrReceipt>", "no vlrBlueprint element"},
      {"with entities", "<!DOCTYPE vlrBlueprint [<!ENTITY e \"x\">]><vlrBlueprint/>",
       "cannot be read"},
  };
  const std::string broken = home_.Root() + "/broken.xml";
  for (const auto& c : cases) {
    vlrtest::WriteFile(broken, c.text);
    err.clear();
    EXPECT_EQ(Vlr("blueprint check '" + broken + "'", &out, &err), 1) << c.what;
    EXPECT_NE(err.find(broken + ": cannot be read"), std::string::npos) << c.what << ": " << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << c.what << ": " << err;
  }
  EXPECT_EQ(Vlr("blueprint check '" + home_.Root() + "/missing.xml'", &out, &err), 1);
}

}  // namespace
