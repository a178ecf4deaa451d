#pragma once
// The control interface for tests, under "/_control/" (403 unless --control was given).
// Parameters come as a query string or as an application/x-www-form-urlencoded body.
//
//   POST /_control/inject    queue an injection for the next `count` service requests
//        mode=status     status=N [body=TEXT] [content_type=T] [header="Name: value"]
//        mode=body       body=TEXT [status=200] [content_type=text/xml; charset=utf-8] [header=...]
//                        (non-XML text, XML without a Body, anything: the body is sent as given)
//        mode=fault      [faultcode=soap:Server] [faultstring=Injected fault] [status=500]
//        mode=delay      ms=N            answer normally after N milliseconds
//        mode=truncate   [bytes=N]       answer normally but announce the full Content-Length,
//                                        send only N bytes (default half) and close
//        mode=drop                       close the connection without answering
//        mode=proxy_auth [realm=attestra-sim] [user=U password=P]
//                        answer 407 with Proxy-Authenticate: Basic realm="..." until a request
//                        carries Proxy-Authorization (matching U:P when given); that request
//                        is served and the mode ends (it does not count against `count`)
//      every mode: [count=1] requests it applies to; [delay_ms=N] wait before answering;
//      status, body, fault and drop: [process=1] let the endpoint handle the request first
//      (its effects happen) and replace only the answer.
//      Injections queue up: each applies to the requests after those of the one before.
//      Answers {"pending":N}.
//   GET  /_control/injections        the queue, as JSON
//   GET  /_control/requests[?count=N][&max_body=B]
//        the last N (10) service requests as received, newest first, as JSON objects with
//        seq, time, method, target, remote, headers ([name, value] pairs), body_size, body (up
//        to B bytes, default 1 MiB; body_truncated=true when cut), status and note.
//   GET  /_control/request?index=I&part=head|body
//        one of them raw (index 0 = newest): the request line and headers, or the body bytes.
//   POST /_control/account   email=E password=P account_id=A [account_name=N] [user_id=U]
//        adds an account (or replaces the one with the same e-mail and account id).
//   POST /_control/reset     empties the injection queue, the recorded requests and the
//        nonce cache. Accounts, their settings and envelopes stay.
//
//   GET  /_control/account_settings?account_id=A
//   POST /_control/account_settings   account_id=A [defaults=1 | clear=1] [unset=NAME]...
//                                     [set=NAME=VALUE]...
//        what GetAccountSettingsList answers for the account, in order. An account starts with
//        the defaults (accountsettings.h). defaults=1 starts again from them, clear=1 from no
//        settings at all; then each unset removes a setting and each set changes one in place
//        or appends it. Both answer {"account_id":A,"settings":[{"name":N,"value":V},...]}.
//   GET  /_control/envelopes[?account_id=A]
//        {"envelopes":[{"envelope_id","account_id","status","subject","created"},...]},
//        newest first.
//   GET  /_control/envelope?id=E      one envelope as the service keeps it (404 when unknown):
//        {"envelope_id","account_id","sender_email","sender_user_id","action","status",
//         "subject","email_blurb","created","sent" (null until sent),"activate" (null unless
//         given),"options":{name:value} (SigningLocation, AutoNavigation, EnvelopeIdStamping,
//         AuthoritativeCopy as given),
//         "notification":{"use_account_defaults","reminders":{"enabled","delay","frequency"},
//                         "expirations":{"enabled","after","warn"}} (each null when not sent),
//         "documents":[{"index","id","name","file_extension","description",
//                       "template_sequence" (0 in a simple body),"transform_pdf_fields","size",
//                       "sha256"}],
//         "recipients":[{"id","user_name","email","type","routing_order","access_code",
//                        "require_id_lookup","default_recipient","note","status",
//                        "decline_reason"}],
//         "tabs":[{"template_sequence","recipient_id","type","document_id",
//                  "fields":{element:text, every element of the tab but AnchorTabItem},
//                  "anchor":{element:text} or null}],
//         "custom_fields":[{"name","show","value","required"}]}
//        Flags absent from the request are null.
//   GET  /_control/envelope_document?id=E&index=I
//        the decoded bytes of the envelope's document I (0 = the first in the request).
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "service-sim/journal.h"
#include "service-sim/soapreply.h"
#include "service-sim/store.h"

namespace sim {

using ParamMap = std::multimap<std::string, std::string>;

enum class InjectionMode { Status, Body, Fault, Delay, Truncate, Drop, ProxyAuth };

struct Injection {
  InjectionMode mode = InjectionMode::Status;
  int remaining = 1;
  int status = 200;
  std::string body;
  std::string contentType = "text/xml; charset=utf-8";
  std::string headerName, headerValue;
  int delayMs = 0;
  int64_t truncateBytes = -1;  // -1: half the body
  bool process = false;
  std::string realm = "attestra-sim";
  std::string user, password;

  // Whether the endpoint handles the request at all.
  bool RunsEndpoint() const;
  std::string Describe() const;
};

// Throws std::invalid_argument for missing or bad parameters.
Injection ParseInjection(const ParamMap& params);

class ControlState {
 public:
  struct Decision {
    bool challenge = false;  // answer 407
    std::string realm;
    std::optional<Injection> injection;
  };

  void Add(Injection injection);
  // What to do with the next service request; consumes one count of the queue's head.
  Decision Next(std::string_view proxyAuthorization);
  std::deque<Injection> Pending() const;
  size_t PendingCount() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<Injection> queue_;
};

class ControlPanel {
 public:
  ControlPanel(ControlState& state, Journal& journal, Store& store, std::filesystem::path dataDir)
      : state_(state), journal_(journal), store_(store), dataDir_(std::move(dataDir)) {}
  // `path` is the part after "/_control/".
  SoapReply Handle(const std::string& method, const std::string& path, const ParamMap& params);

 private:
  SoapReply Requests(const ParamMap& params);
  SoapReply OneRequest(const ParamMap& params);
  SoapReply AccountSettingsReply(const std::string& method, const ParamMap& params);
  SoapReply Envelopes(const ParamMap& params);
  SoapReply OneEnvelope(const ParamMap& params);
  SoapReply EnvelopeDocument(const ParamMap& params);

  ControlState& state_;
  Journal& journal_;
  Store& store_;
  std::filesystem::path dataDir_;
};

// Decodes an application/x-www-form-urlencoded text into `params`.
void ParseFormText(std::string_view text, ParamMap& params);

}  // namespace sim
