// Several processes adding items to one folder of one profile at the same time lose nothing.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

using ConcurrencyTest = OutlookTest;

TEST_F(ConcurrencyTest, ThreeWritersOnOneFolderLoseNothing) {
  constexpr int kEach = 60;
  // Two other processes add to Tasks while this one does too.
  std::string probe = OUTLOOK_PROBE;
  std::string command = probe + " add 13 " + std::to_string(kEach) + " A & " + probe + " add 13 " +
                        std::to_string(kEach) + " B & wait";
  int status = -1;
  std::string out;
  std::thread others([&] { status = vlrtest::RunCommand("sh -c '" + command + "'", &out); });
  ComPtr<IDispatch> items = Obj(Folder(13), "Items");
  for (int i = 0; i < kEach; ++i) {
    ComPtr<IDispatch> task = Call(items, "Add", {});
    Put(task, "Subject", Variant("C-" + std::to_string(i)));
    Do(task, "Save");
  }
  others.join();
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("error"), std::string::npos) << out;

  EXPECT_EQ(Int(items, "Count"), 3 * kEach);
  std::set<std::string> subjects;
  for (int i = 1; i <= 3 * kEach; ++i) subjects.insert(Text(Call(items, "Item", {Variant(i)}), "Subject"));
  for (const char* prefix : {"A-", "B-", "C-"})
    for (int i = 0; i < kEach; ++i) EXPECT_EQ(subjects.count(prefix + std::to_string(i)), 1u) << prefix << i;

  // And a fourth process sees the same folder.
  std::string listed;
  ASSERT_EQ(vlrtest::RunCommand(probe + " subjects 13", &listed), 0) << listed;
  std::istringstream in(listed);
  std::set<std::string> seen;
  for (std::string line; std::getline(in, line);) seen.insert(line);
  EXPECT_EQ(seen, subjects);
}

}  // namespace
