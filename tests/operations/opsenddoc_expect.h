#pragma once
// Requests compared as the service reads them: the text is normalised (fresh GUIDs, nonces,
// timestamps) and compared with an expected file in tests/operations/data/. On a mismatch the
// actual text is written beside the expected file as "<name>.fail" and the failure carries a
// diff.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "tests/support/testenv.h"

namespace sendtest {

inline std::string DataPath(const std::string& name) { return std::string(VLR_TEST_DATA_DIR) + "/" + name; }

inline std::string Normalise(std::string text) {
  static const std::regex guid("[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}");
  static const std::regex nonce("<wsse:Nonce>[^<]*</wsse:Nonce>");
  static const std::regex time("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z");
  // The integrator key is fixed: keep it out of the GUID rule.
  static const std::regex key("\\[QKTZ-\\{GUID\\}\\]");
  text = std::regex_replace(text, guid, "{GUID}");
  text = std::regex_replace(text, key, "[QKTZ-5e7d9c41-8a2b-4f63-b1d0-2c4e6a8f9b17]");
  text = std::regex_replace(text, nonce, "<wsse:Nonce>{NONCE}</wsse:Nonce>");
  text = std::regex_replace(text, time, "{TIME}");
  return text;
}

inline ::testing::AssertionResult MatchesExpected(const std::string& actual, const std::string& name) {
  const std::string expectedPath = DataPath(name);
  const std::string failPath = expectedPath + ".fail";
  const std::string normal = Normalise(actual);
  const std::string expected = vlrtest::ReadFile(expectedPath);
  if (normal == expected) {
    std::remove(failPath.c_str());
    return ::testing::AssertionSuccess();
  }
  vlrtest::WriteFile(failPath, normal);
  std::string diff;
  vlrtest::RunCommand("diff -u '" + expectedPath + "' '" + failPath + "'", &diff);
  return ::testing::AssertionFailure() << name << " differs (actual text in " << failPath << "):\n" << diff;
}

}  // namespace sendtest
