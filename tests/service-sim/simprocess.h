#pragma once
// Starts the real attestra-sim for integration tests and talks to its control interface.
//
//   vlrtest::SimProcess sim({.accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-1"}}});
//   // point the client's "Host" setting at sim.HostPort() (and "SSL" at 0, unless tls)
//   sim.InjectStatus(404);                 // the next service request gets a 404
//   ... run the operation under test ...
//   vlrtest::SimRequest seen = sim.Request();   // the newest request, as the service received it
//
// The simulator runs on 127.0.0.1 with a free port, its data folder is a fresh folder under
// $TMPDIR (vlrtest::TestHome sets it), and the control interface is on unless turned off.
// The destructor stops it (SIGTERM) and removes the data folder. Control calls throw
// std::runtime_error when the simulator refuses them. Link the target vlr_sim_fixture.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vlrtest {

struct SimAccount {
  std::string email{}, password{}, accountId{}, accountName{}, userId{};
};

struct SimConfig {
  int port = 0;          // 0: a free port
  bool tls = false;      // HTTPS only, with a generated certificate (CertFile())
  bool control = true;   // --control
  std::vector<SimAccount> accounts{};
};

using SimHeaders = std::vector<std::pair<std::string, std::string>>;
// Account settings as GetAccountSettingsList answers them: names and values, in order.
using SimSettings = std::vector<std::pair<std::string, std::string>>;

// An envelope as the simulator keeps it (GET /_control/envelope, see service-sim/control.h).
// Flags and numbers that the request left out are empty.
struct SimEnvelopeDocument {
  int index = 0;
  std::string id{}, name{}, fileExtension{}, description{};
  int templateSequence = 0;  // 0 in a simple body
  std::optional<bool> transformPdfFields{};
  uint64_t size = 0;
  std::string sha256{};  // lower-case hex of the decoded bytes
};

struct SimEnvelopeRecipient {
  std::string id{}, userName{}, email{}, type{}, routingOrder{}, accessCode{}, note{}, status{}, declineReason{};
  std::optional<bool> requireIdLookup{}, defaultRecipient{};
};

struct SimEnvelopeTab {
  int templateSequence = 0;
  std::string recipientId{}, type{}, documentId{};
  std::map<std::string, std::string> fields{};                 // element name -> text, as sent
  std::optional<std::map<std::string, std::string>> anchor{};  // the AnchorTabItem's elements
};

struct SimCustomField {
  std::string name{}, show{}, value{}, required{};
  bool operator==(const SimCustomField&) const = default;
};

struct SimNotification {
  std::optional<bool> useAccountDefaults{};
  bool reminders = false;  // a Reminders block was sent
  std::optional<bool> reminderEnabled{};
  std::optional<long long> reminderDelay{}, reminderFrequency{};
  bool expirations = false;  // an Expirations block was sent
  std::optional<bool> expireEnabled{};
  std::optional<long long> expireAfter{}, expireWarn{};
};

struct SimEnvelope {
  std::string envelopeId{}, accountId{}, senderEmail{}, senderUserId{}, action{}, status{}, subject{},
      emailBlurb{}, created{}, sent{};
  std::optional<bool> activate{};
  std::map<std::string, std::string> options{};  // SigningLocation and the like, as sent
  SimNotification notification{};
  std::vector<SimEnvelopeDocument> documents{};
  std::vector<SimEnvelopeRecipient> recipients{};
  std::vector<SimEnvelopeTab> tabs{};
  std::vector<SimCustomField> customFields{};
};

// Where SetAccountSettings starts from.
enum class SimSettingsBase { Current, Defaults, Empty };

// A request as the simulator received it.
struct SimRequest {
  std::string method, target;
  SimHeaders headers;
  std::string body;
  // The first header of that name (any letter case); empty when absent.
  std::string Header(std::string_view name) const;
};

// An answer the simulator gave; status 0 when there was none (`error` says why).
struct SimResponse {
  int status = 0;
  SimHeaders headers;
  std::string body;
  std::string error;
  std::string Header(std::string_view name) const;
};

class SimProcess {
 public:
  explicit SimProcess(SimConfig config = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }  // -1 once stopped
  std::string HostPort() const;       // "127.0.0.1:<port>", a value for the "Host" setting
  std::string BaseUrl() const;        // "http://127.0.0.1:<port>" (https with tls)
  std::string CredentialUrl() const;  // BaseUrl() + "/API/3.0/Credential.asmx"
  std::string ApiUrl() const;         // BaseUrl() + "/api/3.0/api.asmx"
  const std::string& DataDir() const { return dataDir_; }
  std::string CertFile() const;       // the certificate to trust (SSL_CERT_FILE), with tls
  std::string LogText() const;        // the simulator's traffic log
  bool Running();
  // SIGTERM and wait; the exit status (-1 when it did not exit normally). Idempotent.
  int Stop();

  // Injections for the next `count` service requests (see service-sim/control.h).
  void InjectStatus(int status, int count = 1, const std::string& body = {});
  void InjectBody(const std::string& body, const std::string& contentType = "text/xml; charset=utf-8",
                  int count = 1, int status = 200);
  void InjectFault(const std::string& faultcode, const std::string& faultstring, int count = 1);
  void InjectDelay(int ms, int count = 1);
  // Announces the full Content-Length, sends `bytes` (default: half) and closes.
  void InjectTruncate(int count = 1, long long bytes = -1);
  void InjectDrop(int count = 1);
  // 407 until a request carries Proxy-Authorization (matching user:password when given).
  void RequireProxyAuth(const std::string& realm = "attestra-sim", const std::string& user = {},
                        const std::string& password = {});
  // Any injection by its raw parameters.
  void Inject(const std::map<std::string, std::string>& params);

  void AddAccount(const SimAccount& account);
  // Empties injections, recorded requests and the nonce cache.
  void Reset();
  // The recorded requests (all but control calls), newest first (index 0); at most 32 are
  // kept. Throws when fewer were recorded.
  SimRequest Request(int index = 0);
  std::vector<SimRequest> Requests(int count);

  // What GetAccountSettingsList answers for the account. SetAccountSettings starts from `base`,
  // removes the names in `unset`, then changes or appends those in `set`; it returns the result.
  SimSettings AccountSettings(const std::string& accountId);
  SimSettings SetAccountSettings(const std::string& accountId, const SimSettings& set,
                                 const std::vector<std::string>& unset = {},
                                 SimSettingsBase base = SimSettingsBase::Current);

  // The envelopes the simulator keeps (of one account, or all), newest first.
  std::vector<std::string> EnvelopeIds(const std::string& accountId = {});
  // One envelope; throws when it is unknown.
  SimEnvelope Envelope(const std::string& envelopeId);
  std::string EnvelopeJson(const std::string& envelopeId);
  // The decoded bytes of the envelope's document at `index` (0: the first in the request).
  std::string EnvelopeDocument(const std::string& envelopeId, int index);

  // Plain HTTP(S) calls to the simulator, for tests that speak to it directly.
  SimResponse Post(const std::string& path, const std::string& body, const SimHeaders& headers = {});
  // Posts the file's bytes as the body, streamed (for bodies too big to hold).
  SimResponse PostFile(const std::string& path, const std::string& file, const SimHeaders& headers = {});
  SimResponse Get(const std::string& path);

 private:
  SimResponse Send(const std::string& method, const std::string& path, const std::string& body,
                   const SimHeaders& headers);
  std::string Control(const std::string& method, const std::string& function,
                      const std::map<std::string, std::string>& params);
  // Parameters that may repeat (set=..., unset=...).
  std::string ControlList(const std::string& method, const std::string& function,
                          const std::vector<std::pair<std::string, std::string>>& params);

  SimConfig config_;
  std::string dataDir_;
  pid_t pid_ = -1;
  int port_ = 0;
  int exitStatus_ = -1;
};

// Sends `request` as it stands over a plain TCP connection to 127.0.0.1:`port` and returns
// every byte received until the peer closes (or `seconds` pass; send "Connection: close"
// so that a normal answer ends the exchange): for answers that HTTP
// clients would not show as they came (truncated bodies, dropped connections).
std::string RawHttpExchange(int port, const std::string& request, int seconds = 30);

// Request bodies as the client writes them, for tests that call the simulator directly.
namespace simsoap {

std::string LoginEnvelope(std::string_view email, std::string_view password);

struct Security {
  std::string email{}, password{}, accountId{};
  std::string action{};                  // empty: the action base URI + "/" + the operation
  std::string nonce{};                   // empty: RandomNonce()
  std::optional<std::time_t> created{};  // empty: now
  std::optional<std::time_t> expires{};  // empty: created + 300 s
};

// The API 3.0 request: SOAP 1.1 envelope, WS-Addressing and WS-Security header, and
// `<operation xmlns=api namespace>` + bodyXml + `</operation>` in the body.
std::string ApiEnvelope(std::string_view operation, std::string_view bodyXml, const Security& security);

std::string RandomNonce();  // 16 random bytes, Base64
std::string UtcTime(std::time_t t);  // "%Y-%m-%dT%H:%M:%SZ"
std::string XmlEscape(std::string_view text);

// The text of the first element with that local name in an answer (any prefix); empty if none.
std::string ElementText(const std::string& xml, std::string_view localName);
// For every element with that local name, in document order: its child elements' local names
// and texts (as for the Account entries of a login answer).
std::vector<std::map<std::string, std::string>> ChildTexts(const std::string& xml, std::string_view localName);

}  // namespace simsoap
}  // namespace vlrtest
