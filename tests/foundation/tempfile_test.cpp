#include "foundation/tempfile.h"

#include <gtest/gtest.h>

#include "platform/win/folders.h"
#include "tests/support/testenv.h"

namespace {

using TempFileTest = vlrtest::HomeTest;

std::string Name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

TEST_F(TempFileTest, PatternsShapeTheName) {
  std::string plain, ext, formatted;
  ASSERT_EQ(MakeTempFile("", plain), ERROR_SUCCESS);
  EXPECT_TRUE(win::FileExists(plain));  // no pattern: the created file itself
  EXPECT_EQ(plain.rfind(home_.Tmp() + "/ATg", 0), 0u);
  EXPECT_EQ(plain.substr(plain.size() - 4), ".tmp");

  ASSERT_EQ(MakeTempFile(".xml", ext), ERROR_SUCCESS);
  EXPECT_FALSE(win::FileExists(ext));  // a name that does not exist yet
  EXPECT_EQ(ext.substr(ext.size() - 4), ".xml");
  EXPECT_EQ(Name(ext).rfind("ATg", 0), 0u);

  ASSERT_EQ(MakeTempFile("Signed %s copy.pdf", formatted), ERROR_SUCCESS);
  const std::string name = Name(formatted);
  EXPECT_EQ(name.rfind("Signed ATg", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 9), " copy.pdf");
  EXPECT_EQ(formatted.find(".tmp"), std::string::npos);
}

TEST_F(TempFileTest, TempFileDeletesItselfUnlessReleased) {
  std::string kept;
  {
    TempFile a, b;
    ASSERT_EQ(a.Make(), ERROR_SUCCESS);
    ASSERT_EQ(b.Make(), ERROR_SUCCESS);
    EXPECT_TRUE(win::FileExists(a.Path()));
    kept = b.Release();
    TempFile moved = std::move(a);
    EXPECT_TRUE(a.Path().empty());
    EXPECT_TRUE(win::FileExists(moved.Path()));
  }
  EXPECT_TRUE(win::FileExists(kept));
  std::remove(kept.c_str());
}

}  // namespace
