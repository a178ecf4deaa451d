#include "tests/transport/wirecompare.h"

#include <regex>

#include "tests/support/expectedfile.h"

namespace vlrtest {

std::string NormaliseWire(std::string text) {
  static const std::regex port("127\\.0\\.0\\.1:[0-9]+");
  static const std::regex length("(Content-Length|content-length): [0-9]+");
  text = NormaliseRequest(std::move(text));
  text = std::regex_replace(text, port, "127.0.0.1:{PORT}");
  text = std::regex_replace(text, length, "$1: {LENGTH}");
  return text;
}

::testing::AssertionResult MatchesExpected(const std::string& actual, const std::string& dataDir,
                                           const std::string& name) {
  return MatchesExpectedFile(NormaliseWire(actual), dataDir, name);
}

}  // namespace vlrtest
