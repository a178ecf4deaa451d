#include "tests/support/expectedfile.h"

#include <cstdio>
#include <regex>

#include "tests/support/testenv.h"

namespace vlrtest {

std::string NormaliseRequest(std::string text) {
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

::testing::AssertionResult MatchesExpectedFile(const std::string& actual, const std::string& dataDir,
                                               const std::string& name) {
  const std::string expectedPath = dataDir + "/" + name;
  const std::string failPath = expectedPath + ".fail";
  if (actual == ReadFile(expectedPath)) {
    std::remove(failPath.c_str());
    return ::testing::AssertionSuccess();
  }
  WriteFile(failPath, actual);
  std::string diff;
  RunCommand("diff -u '" + expectedPath + "' '" + failPath + "'", &diff);
  return ::testing::AssertionFailure() << name << " differs (actual text in " << failPath << "):\n" << diff;
}

}  // namespace vlrtest
