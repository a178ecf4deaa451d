#include "platform/com/categories.h"

#include <gtest/gtest.h>

#include "platform/com/server.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

constexpr CATID kGateways = com::GuidLiteral("556AF6A3-D471-46B5-829F-1410669E304C");
constexpr CATID kOther = com::GuidLiteral("40FC6ED4-2438-11CF-A3DB-080036F12502");

class CategoriesTest : public vlrtest::HomeTest {
 protected:
  CLSID AddClass(const std::string& name) {
    com::ServerRegistration reg;
    reg.clsid = win::NewGuid();
    reg.name = name;
    reg.path = "/nowhere/" + name + ".so";
    EXPECT_EQ(com::RegisterInprocServer(reg), S_OK);
    return reg.clsid;
  }
};

TEST_F(CategoriesTest, EnumeratesTheClassesOfACategory) {
  std::vector<CLSID> found;
  EXPECT_EQ(com::EnumClassesOfCategory(kGateways, found), S_OK) << "an empty registry has none";
  EXPECT_TRUE(found.empty());

  ASSERT_EQ(com::RegisterCategory(kGateways, "Attestra Gateways"), S_OK);
  const CLSID fax = AddClass("Fax Gateway");
  const CLSID plain = AddClass("Not a gateway");
  const CLSID archive = AddClass("Archive Gateway");
  ASSERT_EQ(com::RegisterClassImplCategory(fax, kGateways), S_OK);
  ASSERT_EQ(com::RegisterClassImplCategory(plain, kOther), S_OK);
  ASSERT_EQ(com::RegisterClassImplCategory(archive, kGateways), S_OK);
  ASSERT_EQ(com::RegisterClassImplCategory(archive, kOther), S_OK);
  // A key under CLSID that is no class id is passed over.
  win::RegKey odd;
  ASSERT_EQ(win::RegKey::Create(win::Hive::ClassesRoot,
                                "CLSID\\NotAGuid\\Implemented Categories\\" + win::GuidToString(kGateways), "", odd),
            ERROR_SUCCESS);

  ASSERT_EQ(com::EnumClassesOfCategory(kGateways, found), S_OK);
  EXPECT_EQ(found, (std::vector<CLSID>{fax, archive}));
  ASSERT_EQ(com::EnumClassesOfCategory(kOther, found), S_OK);
  EXPECT_EQ(found, (std::vector<CLSID>{plain, archive}));

  ASSERT_EQ(com::UnregisterClassImplCategory(fax, kGateways), S_OK);
  ASSERT_EQ(com::EnumClassesOfCategory(kGateways, found), S_OK);
  EXPECT_EQ(found, (std::vector<CLSID>{archive}));
  EXPECT_EQ(com::UnregisterClassImplCategory(fax, kGateways), S_OK) << "removing twice is no error";

  std::string description;
  win::RegKey category;
  ASSERT_EQ(win::RegKey::Open(win::Hive::ClassesRoot, "Component Categories\\" + win::GuidToString(kGateways),
                              category),
            ERROR_SUCCESS);
  ASSERT_EQ(category.QueryString("409", description), ERROR_SUCCESS);
  EXPECT_EQ(description, "Attestra Gateways");
  ASSERT_EQ(com::UnregisterCategory(kGateways), S_OK);
  EXPECT_EQ(win::RegKey::Open(win::Hive::ClassesRoot, "Component Categories\\" + win::GuidToString(kGateways),
                              category),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(CategoriesTest, ReadsUserTypeNames) {
  const CLSID fax = AddClass("Fax Gateway");
  std::string name;
  ASSERT_EQ(com::GetUserTypeName(fax, name), S_OK);
  EXPECT_EQ(name, "Fax Gateway");

  EXPECT_EQ(com::GetUserTypeName(win::NewGuid(), name), REGDB_E_CLASSNOTREG);
  const CLSID nameless = AddClass("");
  name = "kept";
  EXPECT_EQ(com::GetUserTypeName(nameless, name), REGDB_E_READREGDB);
  EXPECT_EQ(name, "kept");
}

TEST_F(CategoriesTest, UnregisteringAServerRemovesItsCategoriesToo) {
  com::ServerRegistration reg;
  reg.clsid = win::NewGuid();
  reg.name = "Gateway";
  reg.path = "/nowhere/gw.so";
  reg.progId = "Test.Gateway.1";
  reg.versionIndependentProgId = "Test.Gateway";
  ASSERT_EQ(com::RegisterInprocServer(reg), S_OK);
  ASSERT_EQ(com::RegisterClassImplCategory(reg.clsid, kGateways), S_OK);
  std::vector<CLSID> found;
  ASSERT_EQ(com::EnumClassesOfCategory(kGateways, found), S_OK);
  EXPECT_EQ(found.size(), 1u);

  ASSERT_EQ(com::UnregisterInprocServer(reg), S_OK);
  ASSERT_EQ(com::EnumClassesOfCategory(kGateways, found), S_OK);
  EXPECT_TRUE(found.empty());
  win::RegKey key;
  EXPECT_EQ(win::RegKey::Open(win::Hive::ClassesRoot, "Test.Gateway", key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(win::RegKey::Open(win::Hive::ClassesRoot, "Test.Gateway.1", key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(com::UnregisterInprocServer(reg), S_OK) << "a second removal finds nothing and is content";
}

}  // namespace
