#pragma once
// A fixture for the Outlook stand-in: its own home, a default profile with a directory
// (three users, one distribution list, the profile user), the stand-in registered as
// "Outlook.Application", and short forms of the late-bound calls that fail the test loudly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/dispatcher.h"
#include "platform/com/classregistry.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"
#include "tests/support/testenv.h"

namespace outlooktest {

using com::ComPtr;
using com::Variant;

inline std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// The ids of the seeded directory.
struct Seeded {
  std::int64_t alice = 0, bob = 0, carol = 0, signers = 0;
};

inline Seeded SeedDirectory(outlook::ProfileStore& store) {
  outlook::Directory dir(store);
  dir.EnableExchange("Vellora");
  Seeded s;
  s.alice = dir.AddUser({0, "Alice Archer", "aarcher", "", 0, "Alice", "Archer",
                         {"SMTP:alice@example.com", "smtp:a.archer@example.com"}})
                .id;
  s.bob = dir.AddUser({0, "Bob Baker", "bbaker", "", 0, "Bob", "Baker",
                       {"smtp:bob.alias@example.com", "SMTP:bob@example.com", "X400:c=US;a= ;p=Vellora;s=Baker"}})
              .id;
  s.carol = dir.AddUser({0, "Carol Cole", "ccole", "", 0, "Carol", "Cole", {"SMTP:carol@example.com"}}).id;
  s.signers = dir.AddList("Signers", "signers", {s.bob, s.carol}, {"SMTP:signers@example.com"}).id;
  dir.SetCurrentUser(s.alice);
  return s;
}

class OutlookTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    outlook::OpenFailure failure;
    ASSERT_EQ(outlook::CreateProfile("", &failure), S_OK) << failure.message;
    {
      std::unique_ptr<outlook::ProfileStore> store;
      ASSERT_EQ(outlook::OpenProfileStore("", store, &failure), S_OK) << failure.message;
      seeded_ = SeedDirectory(*store);
    }
    ASSERT_EQ(outlook::RegisterStandIn(Version()), S_OK);
    ASSERT_EQ(com::CreateInstance("Outlook.Application", app_), S_OK);
    ns_ = Call(app_, "GetNamespace", {Variant("MAPI")});
  }
  void TearDown() override {
    ns_.Reset();
    if (app_) CDispatcher::CallMethod(app_.Get(), "Quit");
    app_.Reset();
    outlook::RevokeStandIn();
  }
  virtual int Version() const { return 16; }

 public:
  static Variant Get(const ComPtr<IDispatch>& obj, std::string_view name) {
    Variant v;
    HRESULT hr = CDispatcher::GetProp(obj.Get(), name, v);
    EXPECT_EQ(hr, S_OK) << "reading " << name << ": " << Hex(hr);
    return v;
  }
  static ComPtr<IDispatch> Obj(const ComPtr<IDispatch>& obj, std::string_view name) {
    ComPtr<IDispatch> out;
    HRESULT hr = CDispatcher::GetProp(obj.Get(), name, out);
    EXPECT_EQ(hr, S_OK) << "reading " << name << ": " << Hex(hr);
    return out;
  }
  static std::string Text(const ComPtr<IDispatch>& obj, std::string_view name) { return Get(obj, name).AsText(); }
  static int Int(const ComPtr<IDispatch>& obj, std::string_view name) { return Get(obj, name).AsInt(); }
  static void Put(const ComPtr<IDispatch>& obj, std::string_view name, const Variant& value) {
    HRESULT hr = CDispatcher::PutProp(obj.Get(), name, value);
    EXPECT_EQ(hr, S_OK) << "setting " << name << ": " << Hex(hr);
  }
  static ComPtr<IDispatch> Call(const ComPtr<IDispatch>& obj, std::string_view name, std::vector<Variant> args = {}) {
    ComPtr<IDispatch> out;
    HRESULT hr = CDispatcher::CallMethod(obj.Get(), name, args, out);
    EXPECT_EQ(hr, S_OK) << "calling " << name << ": " << Hex(hr);
    return out;
  }
  static Variant CallValue(const ComPtr<IDispatch>& obj, std::string_view name, std::vector<Variant> args = {}) {
    Variant out;
    HRESULT hr = CDispatcher::CallMethod(obj.Get(), name, args, &out);
    EXPECT_EQ(hr, S_OK) << "calling " << name << ": " << Hex(hr);
    return out;
  }
  static void Do(const ComPtr<IDispatch>& obj, std::string_view name, std::vector<Variant> args = {}) {
    HRESULT hr = CDispatcher::CallMethod(obj.Get(), name, args);
    EXPECT_EQ(hr, S_OK) << "calling " << name << ": " << Hex(hr);
  }
 protected:
  ComPtr<IDispatch> Folder(int number) { return Call(ns_, "GetDefaultFolder", {Variant(number)}); }

  // A file of `size` bytes covering every byte value, in the test's temporary folder.
  std::string MakeFile(const std::string& name, std::size_t size, unsigned seed = 7) {
    std::string data(size, '\0');
    unsigned x = seed;
    for (std::size_t i = 0; i < size; ++i) {
      x = x * 1103515245u + 12345u;
      data[i] = static_cast<char>(i < 256 ? i : (x >> 16) & 0xFF);
    }
    std::string path = home_.Tmp() + "/" + name;
    vlrtest::WriteFile(path, data);
    return path;
  }

  Seeded seeded_;
  ComPtr<IDispatch> app_;
  ComPtr<IDispatch> ns_;
};

}  // namespace outlooktest
