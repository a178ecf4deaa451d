#include "tests/service-sim/simprocess.h"

#include <httplib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/service-sim/simjson.h"
#include "transport/servicenames.h"

extern char** environ;

namespace vlrtest {
namespace {

constexpr const char* kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kWsse = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr const char* kWsu = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr const char* kWsa = "http://schemas.xmlsoap.org/ws/2004/03/addressing";
constexpr const char* kPasswordText =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordText";

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FindHeader(const SimHeaders& headers, std::string_view name) {
  for (const auto& [n, v] : headers)
    if (SameName(n, name)) return v;
  return {};
}

std::string TempRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// Reads the first line from `fd`, waiting at most `seconds`.
std::string ReadFirstLine(int fd, int seconds) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n <= 0) break;
    if (c == '\n') return line;
    line += c;
  }
  return {};
}

std::unique_ptr<httplib::Client> MakeClient(const SimConfig& config, int port, const std::string& certFile) {
  auto client = std::make_unique<httplib::Client>(std::string(config.tls ? "https" : "http") +
                                                  "://127.0.0.1:" + std::to_string(port));
  if (config.tls) {
    client->set_ca_cert_path(certFile.c_str());
    client->enable_server_certificate_verification(true);
  }
  client->set_connection_timeout(10);
  client->set_read_timeout(60);
  client->set_decompress(false);
  return client;
}

SimResponse FromResult(const httplib::Result& result) {
  SimResponse r;
  if (!result) {
    r.error = httplib::to_string(result.error());
    return r;
  }
  r.status = result->status;
  r.body = result->body;
  for (const auto& [name, value] : result->headers) r.headers.emplace_back(name, value);
  return r;
}

SimRequest ParseHead(const std::string& head) {
  SimRequest r;
  std::istringstream in(head);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    if (first) {
      std::istringstream words(line);
      words >> r.method >> r.target;
      first = false;
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t value = line.find_first_not_of(' ', colon + 1);
    r.headers.emplace_back(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value));
  }
  return r;
}

std::string Base64(const unsigned char* data, size_t size) {
  std::string out(4 * ((size + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::string SimRequest::Header(std::string_view name) const { return FindHeader(headers, name); }
std::string SimResponse::Header(std::string_view name) const { return FindHeader(headers, name); }

std::string RawHttpExchange(int port, const std::string& request, int seconds) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string received;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    size_t sent = 0;
    while (sent < request.size()) {
      ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[65536];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return received;
}

SimProcess::SimProcess(SimConfig config) : config_(std::move(config)) {
  std::string pattern = TempRoot() + "/attestra-sim-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dataDir_ = pattern;

  std::vector<std::string> args = {VLR_BIN_DIR "/attestra-sim", "--port", std::to_string(config_.port), "--data",
                                   dataDir_};
  if (config_.tls) args.push_back("--tls");
  if (config_.control) args.push_back("--control");
  for (const SimAccount& a : config_.accounts) {
    auto esc = [](const std::string& s) {
      std::string out;
      for (char c : s) {
        if (c == ':' || c == '\\') out += '\\';
        out += c;
      }
      return out;
    };
    args.push_back("--account");
    args.push_back(esc(a.email) + ":" + esc(a.password) + ":" + esc(a.accountId) + ":" + esc(a.accountName) +
                   ":" + esc(a.userId));
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + args[0]);
  }
  std::string line = ReadFirstLine(out[0], 30);
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    Stop();
    throw std::runtime_error("attestra-sim did not report its port (got \"" + line + "\")");
  }
}

SimProcess::~SimProcess() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(dataDir_, ec);
}

int SimProcess::Stop() {
  if (pid_ <= 0) return exitStatus_;
  kill(pid_, SIGTERM);
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  exitStatus_ = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exitStatus_;
}

bool SimProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return false;
}

std::string SimProcess::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
std::string SimProcess::BaseUrl() const { return std::string(config_.tls ? "https://" : "http://") + HostPort(); }
std::string SimProcess::CredentialUrl() const { return BaseUrl() + "/" + attestra::kCredentialPath; }
std::string SimProcess::ApiUrl() const { return BaseUrl() + "/" + attestra::kApiPath; }
std::string SimProcess::CertFile() const { return dataDir_ + "/cert.pem"; }

std::string SimProcess::LogText() const {
  std::ifstream in(dataDir_ + "/attestra-sim.log", std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

SimResponse SimProcess::Send(const std::string& method, const std::string& path, const std::string& body,
                             const SimHeaders& headers) {
  auto client = MakeClient(config_, port_, CertFile());
  httplib::Headers h;
  std::string contentType = "text/xml; charset=utf-8";
  for (const auto& [name, value] : headers) {
    if (SameName(name, "Content-Type")) contentType = value;
    else h.emplace(name, value);
  }
  if (method == "GET") return FromResult(client->Get(path.c_str(), h));
  return FromResult(client->Post(path.c_str(), h, body, contentType.c_str()));
}

SimResponse SimProcess::Post(const std::string& path, const std::string& body, const SimHeaders& headers) {
  return Send("POST", path, body, headers);
}

SimResponse SimProcess::Get(const std::string& path) { return Send("GET", path, {}, {}); }

SimResponse SimProcess::PostFile(const std::string& path, const std::string& file, const SimHeaders& headers) {
  auto client = MakeClient(config_, port_, CertFile());
  httplib::Headers h;
  std::string contentType = "text/xml; charset=utf-8";
  for (const auto& [name, value] : headers) {
    if (SameName(name, "Content-Type")) contentType = value;
    else h.emplace(name, value);
  }
  auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
  if (!*in) throw std::runtime_error("cannot read " + file);
  const auto size = static_cast<size_t>(std::filesystem::file_size(file));
  auto buffer = std::make_shared<std::vector<char>>(1 << 16);
  return FromResult(client->Post(
      path.c_str(), h, size,
      [in, buffer](size_t offset, size_t length, httplib::DataSink& sink) {
        in->seekg(static_cast<std::streamoff>(offset));
        in->read(buffer->data(), static_cast<std::streamsize>(std::min(length, buffer->size())));
        std::streamsize n = in->gcount();
        return n > 0 && sink.write(buffer->data(), static_cast<size_t>(n));
      },
      contentType.c_str()));
}

std::string SimProcess::Control(const std::string& method, const std::string& function,
                                const std::map<std::string, std::string>& params) {
  return ControlList(method, function, std::vector<std::pair<std::string, std::string>>(params.begin(), params.end()));
}

std::string SimProcess::ControlList(const std::string& method, const std::string& function,
                                    const std::vector<std::pair<std::string, std::string>>& params) {
  auto client = MakeClient(config_, port_, CertFile());
  httplib::Params p;
  for (const auto& [name, value] : params) p.emplace(name, value);
  std::string path = "/_control/" + function;
  httplib::Result result = method == "GET" ? client->Get(path.c_str(), p, httplib::Headers())
                                           : client->Post(path.c_str(), p);
  if (!result) throw std::runtime_error("control " + function + ": " + httplib::to_string(result.error()));
  if (result->status != 200)
    throw std::runtime_error("control " + function + ": " + std::to_string(result->status) + " " + result->body);
  return result->body;
}

void SimProcess::Inject(const std::map<std::string, std::string>& params) { Control("POST", "inject", params); }

void SimProcess::InjectStatus(int status, int count, const std::string& body) {
  Inject({{"mode", "status"}, {"status", std::to_string(status)}, {"count", std::to_string(count)}, {"body", body}});
}

void SimProcess::InjectBody(const std::string& body, const std::string& contentType, int count, int status) {
  Inject({{"mode", "body"}, {"body", body}, {"content_type", contentType}, {"count", std::to_string(count)},
          {"status", std::to_string(status)}});
}

void SimProcess::InjectFault(const std::string& faultcode, const std::string& faultstring, int count) {
  Inject({{"mode", "fault"}, {"faultcode", faultcode}, {"faultstring", faultstring}, {"count", std::to_string(count)}});
}

void SimProcess::InjectDelay(int ms, int count) {
  Inject({{"mode", "delay"}, {"ms", std::to_string(ms)}, {"count", std::to_string(count)}});
}

void SimProcess::InjectTruncate(int count, long long bytes) {
  std::map<std::string, std::string> p = {{"mode", "truncate"}, {"count", std::to_string(count)}};
  if (bytes >= 0) p["bytes"] = std::to_string(bytes);
  Inject(p);
}

void SimProcess::InjectDrop(int count) { Inject({{"mode", "drop"}, {"count", std::to_string(count)}}); }

void SimProcess::RequireProxyAuth(const std::string& realm, const std::string& user, const std::string& password) {
  std::map<std::string, std::string> p = {{"mode", "proxy_auth"}, {"realm", realm}};
  if (!user.empty() || !password.empty()) {
    p["user"] = user;
    p["password"] = password;
  }
  Inject(p);
}

void SimProcess::AddAccount(const SimAccount& a) {
  Control("POST", "account",
          {{"email", a.email}, {"password", a.password}, {"account_id", a.accountId},
           {"account_name", a.accountName}, {"user_id", a.userId}});
}

void SimProcess::Reset() { Control("POST", "reset", std::map<std::string, std::string>()); }

namespace {

SimSettings ReadSettings(const std::string& json) {
  SimSettings out;
  const JsonValue answer = JsonValue::Parse(json);
  for (const JsonValue& s : answer["settings"].Items()) out.emplace_back(s["name"].Str(), s["value"].Str());
  return out;
}

std::optional<bool> OptionalBool(const JsonValue& v) {
  if (v.IsNull()) return std::nullopt;
  return v.Bool();
}

std::optional<long long> OptionalInt(const JsonValue& v) {
  if (v.IsNull()) return std::nullopt;
  return v.Int();
}

std::map<std::string, std::string> TextMap(const JsonValue& v) {
  std::map<std::string, std::string> out;
  for (const auto& [name, value] : v.Members()) out[name] = value.Str();
  return out;
}

SimEnvelope ReadEnvelope(const std::string& json) {
  JsonValue v = JsonValue::Parse(json);
  SimEnvelope e;
  e.envelopeId = v["envelope_id"].Str();
  e.accountId = v["account_id"].Str();
  e.senderEmail = v["sender_email"].Str();
  e.senderUserId = v["sender_user_id"].Str();
  e.action = v["action"].Str();
  e.status = v["status"].Str();
  e.subject = v["subject"].Str();
  e.emailBlurb = v["email_blurb"].Str();
  e.created = v["created"].Str();
  if (!v["sent"].IsNull()) e.sent = v["sent"].Str();
  e.activate = OptionalBool(v["activate"]);
  e.options = TextMap(v["options"]);
  const JsonValue& n = v["notification"];
  e.notification.useAccountDefaults = OptionalBool(n["use_account_defaults"]);
  if (const JsonValue& r = n["reminders"]; !r.IsNull()) {
    e.notification.reminders = true;
    e.notification.reminderEnabled = OptionalBool(r["enabled"]);
    e.notification.reminderDelay = OptionalInt(r["delay"]);
    e.notification.reminderFrequency = OptionalInt(r["frequency"]);
  }
  if (const JsonValue& x = n["expirations"]; !x.IsNull()) {
    e.notification.expirations = true;
    e.notification.expireEnabled = OptionalBool(x["enabled"]);
    e.notification.expireAfter = OptionalInt(x["after"]);
    e.notification.expireWarn = OptionalInt(x["warn"]);
  }
  for (const JsonValue& d : v["documents"].Items())
    e.documents.push_back({static_cast<int>(d["index"].Int()), d["id"].Str(), d["name"].Str(), d["file_extension"].Str(),
                           d["description"].Str(), static_cast<int>(d["template_sequence"].Int()),
                           OptionalBool(d["transform_pdf_fields"]), static_cast<uint64_t>(d["size"].Int()),
                           d["sha256"].Str()});
  for (const JsonValue& r : v["recipients"].Items())
    e.recipients.push_back({r["id"].Str(), r["user_name"].Str(), r["email"].Str(), r["type"].Str(),
                            r["routing_order"].Str(), r["access_code"].Str(), r["note"].Str(), r["status"].Str(),
                            r["decline_reason"].Str(), OptionalBool(r["require_id_lookup"]),
                            OptionalBool(r["default_recipient"])});
  for (const JsonValue& t : v["tabs"].Items()) {
    SimEnvelopeTab tab{static_cast<int>(t["template_sequence"].Int()), t["recipient_id"].Str(), t["type"].Str(),
                       t["document_id"].Str(), TextMap(t["fields"]), std::nullopt};
    if (!t["anchor"].IsNull()) tab.anchor = TextMap(t["anchor"]);
    e.tabs.push_back(std::move(tab));
  }
  for (const JsonValue& c : v["custom_fields"].Items())
    e.customFields.push_back({c["name"].Str(), c["show"].Str(), c["value"].Str(), c["required"].Str()});
  return e;
}

}  // namespace

SimSettings SimProcess::AccountSettings(const std::string& accountId) {
  return ReadSettings(Control("GET", "account_settings", std::map<std::string, std::string>{{"account_id", accountId}}));
}

SimSettings SimProcess::SetAccountSettings(const std::string& accountId, const SimSettings& set,
                                           const std::vector<std::string>& unset, SimSettingsBase base) {
  std::vector<std::pair<std::string, std::string>> params = {{"account_id", accountId}};
  if (base == SimSettingsBase::Defaults) params.emplace_back("defaults", "1");
  if (base == SimSettingsBase::Empty) params.emplace_back("clear", "1");
  for (const std::string& name : unset) params.emplace_back("unset", name);
  for (const auto& [name, value] : set) params.emplace_back("set", name + "=" + value);
  return ReadSettings(ControlList("POST", "account_settings", params));
}

std::vector<std::string> SimProcess::EnvelopeIds(const std::string& accountId) {
  std::map<std::string, std::string> params;
  if (!accountId.empty()) params["account_id"] = accountId;
  std::vector<std::string> ids;
  const JsonValue answer = JsonValue::Parse(Control("GET", "envelopes", params));
  for (const JsonValue& e : answer["envelopes"].Items())
    ids.push_back(e["envelope_id"].Str());
  return ids;
}

std::string SimProcess::EnvelopeJson(const std::string& envelopeId) {
  return Control("GET", "envelope", std::map<std::string, std::string>{{"id", envelopeId}});
}

SimEnvelope SimProcess::Envelope(const std::string& envelopeId) { return ReadEnvelope(EnvelopeJson(envelopeId)); }

std::string SimProcess::EnvelopeDocument(const std::string& envelopeId, int index) {
  return Control("GET", "envelope_document",
                 std::map<std::string, std::string>{{"id", envelopeId}, {"index", std::to_string(index)}});
}

SimRequest SimProcess::Request(int index) {
  std::string i = std::to_string(index);
  SimRequest r = ParseHead(Control("GET", "request", {{"index", i}, {"part", "head"}}));
  r.body = Control("GET", "request", {{"index", i}, {"part", "body"}});
  return r;
}

std::vector<SimRequest> SimProcess::Requests(int count) {
  std::vector<SimRequest> out;
  for (int i = 0; i < count; ++i) out.push_back(Request(i));
  return out;
}

namespace simsoap {

std::string XmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string RandomNonce() {
  unsigned char bytes[16];
  RAND_bytes(bytes, sizeof bytes);
  return Base64(bytes, sizeof bytes);
}

std::string UtcTime(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string LoginEnvelope(std::string_view email, std::string_view password) {
  std::string ns = attestra::kCredentialNamespace;
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  s += std::string("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"") + kSoap11 +
       "\" xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
       " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
       " xmlns:m1=\"" + ns + "\">\n";
  s += "<SOAP-ENV:Body>\n";
  s += "<m:Login xmlns:m=\"" + ns + "\">\n";
  s += "<m:Email>" + std::string(attestra::kIntegratorKey) + XmlEscape(email) + "</m:Email>\n";
  s += "<m:Password>" + XmlEscape(password) + "</m:Password>\n";
  s += "</m:Login>\n</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
  return s;
}

std::string ApiEnvelope(std::string_view operation, std::string_view bodyXml, const Security& sec) {
  std::time_t created = sec.created.value_or(std::time(nullptr));
  std::time_t expires = sec.expires.value_or(created + 300);
  std::string action = sec.action.empty() ? std::string(attestra::kActionBase) + "/" + std::string(operation) : sec.action;
  std::string nonce = sec.nonce.empty() ? RandomNonce() : sec.nonce;
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  s += std::string("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"") + kSoap11 +
       "\" xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\""
       " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
       " xmlns:wsse=\"" + kWsse + "\" xmlns:wsu=\"" + kWsu + "\" xmlns:wsa=\"" + kWsa + "\">\n";
  s += "<SOAP-ENV:Header>\n";
  s += "<wsa:Action>" + XmlEscape(action) + "</wsa:Action>\n";
  s += "<wsa:MessageID>uuid:6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b</wsa:MessageID>\n";
  s += "<wsa:ReplyTo>\n<wsa:Address>http://schemas.xmlsoap.org/ws/2004/03/addressing/role/anonymous</wsa:Address>\n</wsa:ReplyTo>\n";
  s += "<wsa:To>https://127.0.0.1/api/3.0/api.asmx</wsa:To>\n";
  s += "<wsse:Security SOAP-ENV:mustUnderstand=\"1\">\n";
  s += "<wsu:Timestamp wsu:Id=\"Timestamp-0b5e0a8c-1d2e-4f3a-9b8c-7d6e5f4a3b2c\">\n";
  s += "<wsu:Created>" + UtcTime(created) + "</wsu:Created>\n";
  s += "<wsu:Expires>" + UtcTime(expires) + "</wsu:Expires>\n";
  s += "</wsu:Timestamp>\n";
  s += std::string("<wsse:UsernameToken xmlns:wsu=\"") + kWsu +
       "\" wsu:Id=\"SecurityToken-1c2d3e4f-5a6b-4c7d-8e9f-0a1b2c3d4e5f\">\n";
  s += "<wsse:Username>" + std::string(attestra::kIntegratorKey) + XmlEscape(sec.email) + "</wsse:Username>\n";
  s += std::string("<wsse:Password Type=\"") + kPasswordText + "\">" + XmlEscape(sec.password) + "</wsse:Password>\n";
  s += "<wsse:Nonce>" + XmlEscape(nonce) + "</wsse:Nonce>\n";
  s += "<wsu:Created>" + UtcTime(created) + "</wsu:Created>\n";
  s += "<AccountId>" + XmlEscape(sec.accountId) + "</AccountId>\n";
  s += "</wsse:UsernameToken>\n</wsse:Security>\n</SOAP-ENV:Header>\n";
  s += "<SOAP-ENV:Body>\n";
  s += "<" + std::string(operation) + " xmlns=\"" + attestra::kApiNamespace + "\">\n";
  s += std::string(bodyXml);
  s += "</" + std::string(operation) + ">\n</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
  return s;
}

namespace {

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

const xmlNode* FindElement(const xmlNode* node, std::string_view name) {
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name)) return node;
    if (const xmlNode* inner = FindElement(node->children, name)) return inner;
  }
  return nullptr;
}

std::unique_ptr<xmlDoc, DocFree> ReadXml(const std::string& xml) {
  return std::unique_ptr<xmlDoc, DocFree>(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

std::string Content(const xmlNode* node) {
  xmlChar* text = xmlNodeGetContent(node);
  std::string out = text ? reinterpret_cast<const char*>(text) : "";
  xmlFree(text);
  return out;
}

void CollectElements(const xmlNode* node, std::string_view name, std::vector<const xmlNode*>& out) {
  for (; node; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (name == reinterpret_cast<const char*>(node->name)) out.push_back(node);
    CollectElements(node->children, name, out);
  }
}

}  // namespace

std::string ElementText(const std::string& xml, std::string_view localName) {
  auto doc = ReadXml(xml);
  if (!doc) return {};
  const xmlNode* found = FindElement(xmlDocGetRootElement(doc.get()), localName);
  return found ? Content(found) : std::string();
}

std::vector<std::map<std::string, std::string>> ChildTexts(const std::string& xml, std::string_view localName) {
  std::vector<std::map<std::string, std::string>> out;
  auto doc = ReadXml(xml);
  if (!doc) return out;
  std::vector<const xmlNode*> found;
  CollectElements(xmlDocGetRootElement(doc.get()), localName, found);
  for (const xmlNode* element : found) {
    std::map<std::string, std::string> fields;
    for (const xmlNode* c = element->children; c; c = c->next)
      if (c->type == XML_ELEMENT_NODE) fields[reinterpret_cast<const char*>(c->name)] = Content(c);
    out.push_back(std::move(fields));
  }
  return out;
}

}  // namespace simsoap
}  // namespace vlrtest
