// The pieces of a broadcast request and their files.
#include "operations/castlet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/testenv.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class CastletTest : public vlrtest::HomeTest {};

TEST_F(CastletTest, APieceWithoutAPathGetsANewPrivateXmlFile) {
  std::string path;
  {
    CCastlet head("Head");
    ASSERT_TRUE(head.IsOpen());
    EXPECT_FALSE(head.IsMarker());
    EXPECT_EQ(head.Name(), "Head");
    path = head.Path();
    EXPECT_EQ(path.rfind(home_.Tmp() + "/ATg", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".xml");
    ASSERT_GE(std::fputs("<AccountId>1</AccountId>\n", head.File()), 0);
    EXPECT_EQ(head.Close(), S_OK);
    EXPECT_FALSE(head.IsOpen());
    EXPECT_EQ(head.File(), nullptr);
    EXPECT_EQ(head.Close(), S_OK);  // closing twice is harmless
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  // The delete flag is clear: the file outlives the piece, for whoever joins the pieces.
  EXPECT_EQ(vlrtest::ReadFile(path), "<AccountId>1</AccountId>\n");
}

TEST_F(CastletTest, AGivenFileKeepsWhatItHolds) {
  const std::string path = home_.Tmp() + "/options.xml";
  vlrtest::WriteFile(path, "<SendOptions>\n</SendOptions>\n");
  {
    CCastlet options("Options", path);
    ASSERT_TRUE(options.IsOpen());
    EXPECT_EQ(options.Path(), path);
    EXPECT_EQ(options.Close(), S_OK);
  }
  EXPECT_EQ(vlrtest::ReadFile(path), "<SendOptions>\n</SendOptions>\n");

  const std::string fresh = home_.Tmp() + "/recips.xml";
  {
    CCastlet recips("Recips", fresh);
    ASSERT_TRUE(recips.IsOpen());
    std::fputs("<Recipients></Recipients>", recips.File());
  }
  EXPECT_EQ(vlrtest::ReadFile(fresh), "<Recipients></Recipients>");
}

TEST_F(CastletTest, TheDeleteFlagRemovesTheFile) {
  std::string path;
  {
    CCastlet tail("Tail");
    path = tail.Path();
    tail.DeleteFlag = true;
    EXPECT_TRUE(Exists(path));
  }
  EXPECT_FALSE(Exists(path));
}

TEST_F(CastletTest, AMarkerHasNoFile) {
  for (const char* text : {CCastlet::kTemplateOpen, CCastlet::kTemplateClose}) {
    auto marker = CCastlet::Marker(text);
    EXPECT_TRUE(marker->IsMarker());
    EXPECT_EQ(marker->Name(), text);
    EXPECT_TRUE(marker->Path().empty());
    EXPECT_FALSE(marker->IsOpen());
    EXPECT_EQ(marker->Close(), S_OK);
  }
}

TEST_F(CastletTest, AnUnwritablePlaceGivesAClosedPiece) {
  CCastlet piece("Head", home_.Root() + "/no/such/folder/head.xml");
  EXPECT_FALSE(piece.IsOpen());
  ::setenv("TMPDIR", (home_.Root() + "/missing").c_str(), 1);
  CCastlet temp("Tail");
  EXPECT_FALSE(temp.IsOpen());
}

}  // namespace
