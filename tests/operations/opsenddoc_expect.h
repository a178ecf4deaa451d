#pragma once
// Requests compared as the service reads them: the text is normalised (fresh GUIDs, nonces,
// timestamps) and compared with an expected file in tests/operations/data/ (see
// tests/support/expectedfile.h for what a mismatch leaves behind).
#include <gtest/gtest.h>

#include <string>

#include "tests/support/expectedfile.h"

namespace sendtest {

inline std::string DataPath(const std::string& name) { return std::string(VLR_TEST_DATA_DIR) + "/" + name; }

inline ::testing::AssertionResult MatchesExpected(const std::string& actual, const std::string& name) {
  return vlrtest::MatchesExpectedFile(vlrtest::NormaliseRequest(actual), VLR_TEST_DATA_DIR, name);
}

}  // namespace sendtest
