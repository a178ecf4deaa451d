#include "tests/transport/wirecompare.h"

#include <regex>

#include "tests/support/testenv.h"

namespace vlrtest {

std::string NormaliseWire(std::string text) {
  static const std::regex guid("[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}");
  static const std::regex nonce("<wsse:Nonce>[^<]*</wsse:Nonce>");
  static const std::regex time("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z");
  static const std::regex port("127\\.0\\.0\\.1:[0-9]+");
  static const std::regex length("(Content-Length|content-length): [0-9]+");
  // The integrator key is fixed: keep it out of the GUID rule.
  static const std::regex key("\\[QKTZ-\\{GUID\\}\\]");
  text = std::regex_replace(text, guid, "{GUID}");
  text = std::regex_replace(text, key, "[QKTZ-5e7d9c41-8a2b-4f63-b1d0-2c4e6a8f9b17]");
  text = std::regex_replace(text, nonce, "<wsse:Nonce>{NONCE}</wsse:Nonce>");
  text = std::regex_replace(text, time, "{TIME}");
  text = std::regex_replace(text, port, "127.0.0.1:{PORT}");
  text = std::regex_replace(text, length, "$1: {LENGTH}");
  return text;
}

::testing::AssertionResult MatchesExpected(const std::string& actual, const std::string& dataDir,
                                           const std::string& name) {
  const std::string expectedPath = dataDir + "/" + name;
  const std::string failPath = expectedPath + ".fail";
  const std::string normal = NormaliseWire(actual);
  const std::string expected = ReadFile(expectedPath);
  if (normal == expected) {
    std::remove(failPath.c_str());
    return ::testing::AssertionSuccess();
  }
  WriteFile(failPath, normal);
  std::string diff;
  RunCommand("diff -u '" + expectedPath + "' '" + failPath + "'", &diff);
  return ::testing::AssertionFailure() << name << " differs (actual text in " << failPath << "):\n" << diff;
}

}  // namespace vlrtest
