// A second process for the Outlook stand-in tests: it opens the same profile as the test and
// works on it through IDispatch by name, as another program would.
//
//   outlook_probe dump <entry id> <folder>    prints the item, saves its attachments there
//   outlook_probe add <folder number> <count> <prefix>   adds and saves <count> tasks/items
//   outlook_probe subjects <folder number>    prints every item's subject
// Exit status 0, or 1 with "error <code>" on the first failure.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/dispatcher.h"
#include "platform/com/classregistry.h"
#include "platform/outlook/standin.h"

namespace {

using com::ComPtr;
using com::Variant;

struct Failed {
  HRESULT code;
  std::string what;
};

void Check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) throw Failed{hr, what};
}

ComPtr<IDispatch> Obj(IDispatch* o, const char* name) {
  ComPtr<IDispatch> out;
  Check(CDispatcher::GetProp(o, name, out), name);
  return out;
}

std::string Text(IDispatch* o, const char* name) {
  Variant v;
  Check(CDispatcher::GetProp(o, name, v), name);
  std::string s;
  Check(v.ToText(s), name);
  return s;
}

ComPtr<IDispatch> Call(IDispatch* o, const char* name, std::vector<Variant> args) {
  ComPtr<IDispatch> out;
  Check(CDispatcher::CallMethod(o, name, args, out), name);
  return out;
}

// Printed values: "\n" and "\\" escaped so that every field stays on its line.
std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

void Dump(IDispatch* ns, const std::string& entryId, const std::string& folder) {
  ComPtr<IDispatch> item = Call(ns, "GetItemFromID", {Variant(entryId)});
  for (const char* name : {"Class", "MessageClass", "Subject", "Body", "Categories", "EntryID"})
    std::printf("%s=%s\n", name, Escaped(Text(item.Get(), name)).c_str());
  if (Text(item.Get(), "Class") == "48")
    for (const char* name : {"Status", "Complete", "PercentComplete"})
      std::printf("%s=%s\n", name, Text(item.Get(), name).c_str());
  if (Text(item.Get(), "Class") == "43")
    for (const char* name : {"To", "CC", "BCC"}) std::printf("%s=%s\n", name, Escaped(Text(item.Get(), name)).c_str());

  ComPtr<IDispatch> recipients;
  if (SUCCEEDED(CDispatcher::GetProp(item.Get(), "Recipients", recipients))) {
    int count = std::stoi(Text(recipients.Get(), "Count"));
    for (int i = 1; i <= count; ++i) {
      ComPtr<IDispatch> r = Call(recipients.Get(), "Item", {Variant(i)});
      std::printf("recipient %d type=%s name=%s resolved=%s", i, Text(r.Get(), "Type").c_str(),
                  Text(r.Get(), "Name").c_str(), Text(r.Get(), "Resolved").c_str());
      ComPtr<IDispatch> entry;
      if (SUCCEEDED(CDispatcher::GetProp(r.Get(), "AddressEntry", entry))) {
        std::printf(" entrytype=%s address=%s displaytype=%s", Text(entry.Get(), "Type").c_str(),
                    Text(entry.Get(), "Address").c_str(), Text(entry.Get(), "DisplayType").c_str());
        ComPtr<IDispatch> members;
        if (SUCCEEDED(CDispatcher::GetProp(entry.Get(), "Members", members))) {
          int n = std::stoi(Text(members.Get(), "Count"));
          for (int j = 1; j <= n; ++j)
            std::printf(" member=%s", Text(Call(members.Get(), "Item", {Variant(j)}).Get(), "Name").c_str());
        }
      }
      std::printf("\n");
    }
  }

  ComPtr<IDispatch> attachments = Obj(item.Get(), "Attachments");
  int count = std::stoi(Text(attachments.Get(), "Count"));
  for (int i = 1; i <= count; ++i) {
    ComPtr<IDispatch> a = Call(attachments.Get(), "Item", {Variant(i)});
    std::string path = folder + "/" + std::to_string(i) + "-" + Text(a.Get(), "FileName");
    Check(CDispatcher::CallMethod(a.Get(), "SaveAsFile", {Variant(path)}), "SaveAsFile");
    std::printf("attachment %d type=%s file=%s display=%s position=%s saved=%s\n", i, Text(a.Get(), "Type").c_str(),
                Text(a.Get(), "FileName").c_str(), Text(a.Get(), "DisplayName").c_str(),
                Text(a.Get(), "Position").c_str(), path.c_str());
  }

  ComPtr<IDispatch> props = Obj(item.Get(), "UserProperties");
  count = std::stoi(Text(props.Get(), "Count"));
  for (int i = 1; i <= count; ++i) {
    ComPtr<IDispatch> p = Call(props.Get(), "Item", {Variant(i)});
    std::printf("userproperty %s type=%s value=%s\n", Text(p.Get(), "Name").c_str(), Text(p.Get(), "Type").c_str(),
                Escaped(Text(p.Get(), "Value")).c_str());
  }
}

void Add(IDispatch* ns, int folderNumber, int count, const std::string& prefix) {
  ComPtr<IDispatch> folder = Call(ns, "GetDefaultFolder", {Variant(folderNumber)});
  ComPtr<IDispatch> items = Obj(folder.Get(), "Items");
  for (int i = 0; i < count; ++i) {
    ComPtr<IDispatch> item = Call(items.Get(), "Add", {});
    Check(CDispatcher::PutProp(item.Get(), "Subject", Variant(prefix + "-" + std::to_string(i))), "Subject");
    Check(CDispatcher::PutProp(item.Get(), "Body", Variant(std::string(2000, static_cast<char>('a' + i % 26)))), "Body");
    Check(CDispatcher::CallMethod(item.Get(), "Save"), "Save");
  }
}

void Subjects(IDispatch* ns, int folderNumber) {
  ComPtr<IDispatch> items = Obj(Call(ns, "GetDefaultFolder", {Variant(folderNumber)}).Get(), "Items");
  int count = std::stoi(Text(items.Get(), "Count"));
  for (int i = 1; i <= count; ++i) std::printf("%s\n", Text(Call(items.Get(), "Item", {Variant(i)}).Get(), "Subject").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty()) throw Failed{E_INVALIDARG, "usage"};
    Check(outlook::RegisterStandIn(0), "RegisterStandIn");
    ComPtr<IDispatch> app;
    Check(com::CreateInstance("Outlook.Application", app), "CreateInstance");
    ComPtr<IDispatch> ns = Call(app.Get(), "GetNamespace", {Variant("MAPI")});
    if (args[0] == "dump" && args.size() == 3) {
      Dump(ns.Get(), args[1], args[2]);
    } else if (args[0] == "add" && args.size() == 4) {
      Add(ns.Get(), std::stoi(args[1]), std::stoi(args[2]), args[3]);
    } else if (args[0] == "subjects" && args.size() == 2) {
      Subjects(ns.Get(), std::stoi(args[1]));
    } else {
      throw Failed{E_INVALIDARG, "usage"};
    }
    std::fflush(stdout);
    return 0;
  } catch (const Failed& f) {
    std::printf("error 0x%08X %s\n", static_cast<unsigned>(f.code), f.what.c_str());
    return 1;
  }
}
