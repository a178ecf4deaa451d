// The API endpoint's dispatch in-process, with handlers registered by the test: the binary
// answers no operation yet, so the way from the checks to a handler is shown here.
#include "service-sim/apiendpoint.h"

#include <gtest/gtest.h>

#include "service-sim/soapfault.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

namespace fs = std::filesystem;
using vlrtest::simsoap::ApiEnvelope;
using vlrtest::simsoap::Security;

class SimApiEndpoint : public vlrtest::HomeTest {
 protected:
  SimApiEndpoint() : store_(fs::path(home_.Tmp()) / "state.sqlite"), endpoint_(store_, home_.Tmp()) {
    store_.PutAccount({"ann@example.com", "secret", "1001", "Acme", "u-1"});
    store_.PutAccount({"ann@example.com", "secret", "1002", "Beta", "u-2"});
  }

  sim::SoapReply Call(const std::string& body) {
    sim::ServiceRequest request;
    request.bodyFile = fs::path(home_.Tmp()) / "request.xml";
    request.textFileStem = fs::path(home_.Tmp()) / "request.text";
    request.received = std::chrono::system_clock::now();
    vlrtest::WriteFile(request.bodyFile, body);
    return endpoint_.Handle(request);
  }

  static Security Ann(const std::string& accountId) { return Security{"ann@example.com", "secret", accountId}; }

  sim::Store store_;
  sim::ApiEndpoint endpoint_;
};

TEST_F(SimApiEndpoint, ARegisteredHandlerGetsTheOperationAndTheTokensAccount) {
  std::string seenAccount, seenItem;
  endpoint_.Register("Echo", [&](sim::ApiCall& call) {
    seenAccount = call.account.accountId + "/" + call.account.accountName + "/" + call.account.userId;
    seenItem = call.operation.ChildText(attestra::kApiNamespace, "Item");
    return sim::ApiResultReply("Echo", "<Said>" + seenItem + "</Said>\n");
  });
  sim::SoapReply reply = Call(ApiEnvelope("Echo", "<Item>hello</Item>\n", Ann("1002")));
  EXPECT_EQ(seenAccount, "1002/Beta/u-2");
  EXPECT_EQ(seenItem, "hello");
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find("<soap:Envelope "), std::string::npos);
  EXPECT_NE(reply.body.find("<EchoResponse xmlns=\"" + std::string(attestra::kApiNamespace) + "\">\n<EchoResult>\n"
                            "<Said>hello</Said>\n</EchoResult>\n</EchoResponse>"),
            std::string::npos);
  EXPECT_EQ(vlrtest::simsoap::ElementText(reply.body, "Said"), "hello");
}

TEST_F(SimApiEndpoint, AHandlersFaultReachesTheCaller) {
  endpoint_.Register("Echo", [](sim::ApiCall&) -> sim::SoapReply {
    throw sim::SoapFault(sim::faultcode::kClient, "No such envelope.");
  });
  try {
    Call(ApiEnvelope("Echo", "", Ann("1001")));
    FAIL() << "no fault";
  } catch (const sim::SoapFault& fault) {
    EXPECT_EQ(fault.Code(), "soap:Client");
    EXPECT_STREQ(fault.what(), "No such envelope.");
  }
}

TEST_F(SimApiEndpoint, OnlyRegisteredOperationsInTheServiceNamespaceRun) {
  int calls = 0;
  endpoint_.Register("Echo", [&](sim::ApiCall&) {
    ++calls;
    return sim::ApiResultReply("Echo", "");
  });
  std::string otherNamespace = ApiEnvelope("Echo", "", Ann("1001"));
  otherNamespace.replace(otherNamespace.find("<Echo xmlns=\"") + 13, std::string(attestra::kApiNamespace).size(),
                         "urn:elsewhere");
  for (const std::string& body : {ApiEnvelope("Unregistered", "", Ann("1001")), otherNamespace}) {
    try {
      Call(body);
      ADD_FAILURE() << "accepted";
    } catch (const sim::SoapFault& fault) {
      EXPECT_EQ(fault.Code(), "soap:Client");
      EXPECT_NE(std::string(fault.what()).find("Unknown operation"), std::string::npos) << fault.what();
    }
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(SimApiEndpoint, NoHandlerRunsWhenTheChecksFail) {
  int calls = 0;
  endpoint_.Register("Echo", [&](sim::ApiCall&) {
    ++calls;
    return sim::ApiResultReply("Echo", "");
  });
  Security wrong = Ann("1001");
  wrong.password = "guess";
  EXPECT_THROW(Call(ApiEnvelope("Echo", "", wrong)), sim::SoapFault);
  Security otherAction = Ann("1001");
  otherAction.action = std::string(attestra::kActionBase) + "/Other";
  EXPECT_THROW(Call(ApiEnvelope("Echo", "", otherAction)), sim::SoapFault);
  EXPECT_EQ(calls, 0);
}

}  // namespace
