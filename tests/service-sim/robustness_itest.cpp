// The simulator answers anything with a fault, never dies, and keeps its memory flat on big
// bodies. A little fuzzing: garbage, every cut of a valid request, hostile XML, odd HTTP.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
namespace soap = vlrtest::simsoap;

const std::string kApiPath = std::string("/") + attestra::kApiPath;
const std::string kLoginPath = std::string("/") + attestra::kCredentialPath;

std::string Repeat(const std::string& piece, size_t times) {
  std::string s;
  s.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) s += piece;
  return s;
}

std::string ManyAttributes(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += "a" + std::to_string(i) + "='v' ";
  return s;
}

// Peak resident memory of a process in KiB.
long PeakKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

class SimRobustness : public vlrtest::HomeTest {
 protected:
  void ExpectFault(const SimResponse& r, const std::string& name) {
    EXPECT_EQ(r.status, 500) << name << ": " << r.error;
    EXPECT_FALSE(soap::ElementText(r.body, "faultcode").empty()) << name << "\n" << r.body.substr(0, 500);
  }

  void ExpectStillServing() {
    ASSERT_TRUE(sim_.Running());
    SimResponse r = sim_.Post(kLoginPath, soap::LoginEnvelope("ann@example.com", "secret"));
    EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
  }

  soap::Security Ann() const { return soap::Security{.email = "ann@example.com", .password = "secret", .accountId = "1001"}; }

  vlrtest::SimProcess sim_{{.accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-ann"}}}};
};

TEST_F(SimRobustness, EveryCutOfAValidRequestIsAFault) {
  const std::vector<std::pair<std::string, std::string>> requests = {
      {kApiPath, soap::ApiEnvelope("NoSuchOperation", "<Item>x</Item>\n", Ann())},
      {kLoginPath, soap::LoginEnvelope("ann@example.com", "secret")},
  };
  for (const auto& [path, whole] : requests) {
    // Up to the last ">" of the closing tag: anything shorter is incomplete XML.
    for (size_t cut = 0; cut + 2 <= whole.size(); cut += cut < 64 ? 1 : 11)
      ExpectFault(sim_.Post(path, whole.substr(0, cut)), path + " cut at " + std::to_string(cut));
  }
  ExpectStillServing();
}

TEST_F(SimRobustness, GarbageIsAFault) {
  std::mt19937 random(20240611);
  const std::string valid = soap::ApiEnvelope("NoSuchOperation", "", Ann());
  for (int round = 0; round < 150; ++round) {
    std::string body;
    if (round % 2 == 0) {
      body.resize(random() % 4096);
      for (char& c : body) c = static_cast<char>(random());
    } else {
      body = valid;  // a valid request with a few bytes flipped
      for (int flips = 0; flips < 8; ++flips) body[random() % body.size()] = static_cast<char>(random());
    }
    SimResponse r = sim_.Post(round % 3 == 0 ? kLoginPath : kApiPath, body);
    if (r.status == 200) {
      EXPECT_FALSE(soap::ElementText(r.body, "Success").empty()) << "round " << round;  // a login that survived
    } else {
      ExpectFault(r, "round " + std::to_string(round));
    }
  }
  ExpectStillServing();
}

TEST_F(SimRobustness, HostileXmlIsAFault) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"huge element name", "<" + std::string(1 << 20, 'n') + "/>"},
      {"huge attribute name", "<a " + std::string(1 << 20, 'n') + "='1'/>"},
      {"deep nesting", Repeat("<d>", 100000) + Repeat("</d>", 100000)},
      {"wide", "<r>" + Repeat("<e/>", 300000) + "</r>"},
      {"entity expansion",
       "<!DOCTYPE a [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'>"
       "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'>]><a>&d;&d;&d;</a>"},
      {"external entity", "<!DOCTYPE a [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><a>&x;</a>"},
      {"external DTD", "<!DOCTYPE a SYSTEM 'http://127.0.0.1:1/evil.dtd'><a/>"},
      {"many attributes", "<a " + ManyAttributes(20000) + "/>"},
      {"UTF-16 declared, UTF-8 sent", "<?xml version='1.0' encoding='UTF-16'?><a/>"},
      {"unknown encoding", "<?xml version='1.0' encoding='x-nothing'?><a/>"},
      {"NUL bytes", std::string("<a>\0\0\0</a>", 10)},
  };
  for (const auto& [name, body] : cases) {
    SimResponse r = sim_.Post(kApiPath, body);
    ExpectFault(r, name);
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << name;
  }
  ExpectStillServing();
}

TEST_F(SimRobustness, OddHttpDoesNotHurt) {
  // A header line longer than the server takes, far too many headers, a multipart body, a
  // body shorter than announced, no HTTP at all: refusals or waits, never a crash. The server
  // keeps connections open after some refusals, so these exchanges end by the client's clock.
  std::string longLine = vlrtest::RawHttpExchange(
      sim_.Port(), "POST " + kApiPath + " HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(100000, 'h') + "\r\n\r\n", 1);
  EXPECT_EQ(longLine.rfind("HTTP/1.1 4", 0), 0u) << longLine.substr(0, 200);
  std::string many = "POST " + kApiPath + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n";
  for (int i = 0; i < 300; ++i) many += "X-H" + std::to_string(i) + ": v\r\n";
  std::string answer = vlrtest::RawHttpExchange(sim_.Port(), many + "\r\n", 10);
  EXPECT_EQ(answer.rfind("HTTP/1.1 431", 0), 0u) << answer.substr(0, 200);
  vlrtest::RawHttpExchange(sim_.Port(), "POST " + kApiPath + " HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nshort", 1);
  std::string garbage = vlrtest::RawHttpExchange(sim_.Port(), "GARBAGE\r\n\r\n", 1);
  EXPECT_EQ(garbage.rfind("HTTP/1.1 400", 0), 0u) << garbage.substr(0, 200);
  vlrtest::RawHttpExchange(sim_.Port(), std::string(5000, '\0'), 1);
  SimResponse multipart = sim_.Post(kApiPath, "--b\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\n<a/>\r\n--b--\r\n",
                                    {{"Content-Type", "multipart/form-data; boundary=b"}});
  ExpectFault(multipart, "multipart");
  ExpectStillServing();
}

TEST_F(SimRobustness, BigBodiesKeepMemoryFlat) {
  // 64 MiB of Base64-like text inside a valid request: it must pass every check (ending at
  // the unknown operation), with text spooled to disk rather than held in memory.
  const size_t size = 64u << 20;
  std::string document(size, 'A');
  for (size_t i = 76; i < size; i += 77) document[i] = '\n';
  std::string body = soap::ApiEnvelope("NoSuchOperation", "<Document>" + document + "</Document>\n", Ann());
  document.clear();
  document.shrink_to_fit();
  SimResponse r = sim_.Post(kApiPath, body);
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(soap::ElementText(r.body, "faultstring").find("Unknown operation"), std::string::npos) << r.body;

  long peak = PeakKiB(sim_.Pid());
  ASSERT_GT(peak, 0);
  EXPECT_LT(peak, 40L * 1024) << "peak resident memory " << peak << " KiB for a " << (size >> 20) << " MiB body";
  for (const auto& e : std::filesystem::directory_iterator(sim_.DataDir() + "/spool"))
    EXPECT_NE(e.path().extension(), ".txt") << "text spooled for the request stayed behind: " << e.path();
  EXPECT_EQ(sim_.Request(0).Header("Content-Length"), std::to_string(body.size()));
  ExpectStillServing();
}

}  // namespace
