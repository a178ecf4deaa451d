#include "service-sim/control.h"

#include <openssl/evp.h>

#include <charconv>
#include <fstream>
#include <stdexcept>

#include "service-sim/accountsettings.h"
#include "service-sim/envelopestore.h"
#include "service-sim/jsontext.h"

namespace sim {
namespace {

const std::string* Find(const ParamMap& params, const std::string& name) {
  auto it = params.find(name);
  return it == params.end() ? nullptr : &it->second;
}

std::string Get(const ParamMap& params, const std::string& name, std::string fallback = {}) {
  const std::string* v = Find(params, name);
  return v ? *v : fallback;
}

int64_t GetInt(const ParamMap& params, const std::string& name, int64_t fallback, int64_t min, int64_t max) {
  const std::string* v = Find(params, name);
  if (!v) return fallback;
  int64_t n = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
  if (ec != std::errc() || end != v->data() + v->size() || n < min || n > max)
    throw std::invalid_argument(name + " must be a number from " + std::to_string(min) + " to " +
                                std::to_string(max));
  return n;
}

const char* ModeName(InjectionMode m) {
  switch (m) {
    case InjectionMode::Status: return "status";
    case InjectionMode::Body: return "body";
    case InjectionMode::Fault: return "fault";
    case InjectionMode::Delay: return "delay";
    case InjectionMode::Truncate: return "truncate";
    case InjectionMode::Drop: return "drop";
    case InjectionMode::ProxyAuth: return "proxy_auth";
  }
  return "?";
}

std::string Base64(std::string_view in) {
  std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string FaultBody(const std::string& code, const std::string& text) {
  return FaultReply(code, text).body;
}

std::string Json(std::string_view s) { return JsonString(s); }

SoapReply JsonReply(int status, std::string body) {
  SoapReply r;
  r.status = status;
  r.contentType = "application/json";
  r.body = std::move(body) + "\n";
  return r;
}

SoapReply JsonError(int status, const std::string& message) {
  return JsonReply(status, "{\"error\":" + Json(message) + "}");
}

std::string ReadPart(const std::filesystem::path& file, uint64_t limit) {
  std::ifstream in(file, std::ios::binary);
  std::string data(static_cast<size_t>(limit), '\0');
  in.read(data.data(), static_cast<std::streamsize>(limit));
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

int FromHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && FromHex(s[i + 1]) >= 0 && FromHex(s[i + 2]) >= 0) {
      out += static_cast<char>(FromHex(s[i + 1]) * 16 + FromHex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

void ParseFormText(std::string_view text, ParamMap& params) {
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string name = UrlDecode(pair.substr(0, eq));
    std::string value = eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1));
    params.emplace(std::move(name), std::move(value));
  }
}

bool Injection::RunsEndpoint() const {
  switch (mode) {
    case InjectionMode::Delay:
    case InjectionMode::Truncate:
    case InjectionMode::ProxyAuth:
      return true;
    default:
      return process;
  }
}

std::string Injection::Describe() const {
  std::string s = std::string("injected ") + ModeName(mode);
  switch (mode) {
    case InjectionMode::Status:
    case InjectionMode::Body:
    case InjectionMode::Fault:
      s += " " + std::to_string(status);
      break;
    case InjectionMode::Truncate:
      if (truncateBytes >= 0) s += " to " + std::to_string(truncateBytes) + " bytes";
      break;
    default:
      break;
  }
  if (delayMs > 0) s += ", delayed " + std::to_string(delayMs) + " ms";
  return s;
}

Injection ParseInjection(const ParamMap& params) {
  Injection inj;
  std::string mode = Get(params, "mode");
  if (mode == "status") inj.mode = InjectionMode::Status;
  else if (mode == "body") inj.mode = InjectionMode::Body;
  else if (mode == "fault") inj.mode = InjectionMode::Fault;
  else if (mode == "delay") inj.mode = InjectionMode::Delay;
  else if (mode == "truncate") inj.mode = InjectionMode::Truncate;
  else if (mode == "drop") inj.mode = InjectionMode::Drop;
  else if (mode == "proxy_auth") inj.mode = InjectionMode::ProxyAuth;
  else throw std::invalid_argument("mode must be status, body, fault, delay, truncate, drop or proxy_auth");

  inj.remaining = static_cast<int>(GetInt(params, "count", 1, 1, 1000000));
  inj.delayMs = static_cast<int>(GetInt(params, "delay_ms", 0, 0, 600000));
  inj.process = GetInt(params, "process", 0, 0, 1) == 1;
  inj.contentType = Get(params, "content_type", inj.contentType);
  inj.body = Get(params, "body");
  if (const std::string* header = Find(params, "header")) {
    size_t colon = header->find(':');
    if (colon == std::string::npos || colon == 0) throw std::invalid_argument("header must be \"Name: value\"");
    inj.headerName = header->substr(0, colon);
    size_t value = header->find_first_not_of(' ', colon + 1);
    inj.headerValue = value == std::string::npos ? std::string() : header->substr(value);
    for (char c : *header)
      if (c == '\r' || c == '\n') throw std::invalid_argument("header must be one line");
  }
  switch (inj.mode) {
    case InjectionMode::Status:
      if (!Find(params, "status")) throw std::invalid_argument("mode=status needs status");
      inj.status = static_cast<int>(GetInt(params, "status", 200, 100, 599));
      break;
    case InjectionMode::Body:
      if (!Find(params, "body")) throw std::invalid_argument("mode=body needs body");
      inj.status = static_cast<int>(GetInt(params, "status", 200, 100, 599));
      break;
    case InjectionMode::Fault:
      inj.status = static_cast<int>(GetInt(params, "status", 500, 100, 599));
      inj.body = FaultBody(Get(params, "faultcode", "soap:Server"), Get(params, "faultstring", "Injected fault"));
      inj.contentType = "text/xml; charset=utf-8";
      break;
    case InjectionMode::Delay:
      if (!Find(params, "ms")) throw std::invalid_argument("mode=delay needs ms");
      inj.delayMs = static_cast<int>(GetInt(params, "ms", 0, 0, 600000));
      break;
    case InjectionMode::Truncate:
      inj.truncateBytes = GetInt(params, "bytes", -1, 0, INT64_MAX);
      break;
    case InjectionMode::Drop:
      break;
    case InjectionMode::ProxyAuth:
      inj.realm = Get(params, "realm", inj.realm);
      inj.user = Get(params, "user");
      inj.password = Get(params, "password");
      for (char c : inj.realm)
        if (c == '"' || c == '\r' || c == '\n') throw std::invalid_argument("realm must not hold quotes or line breaks");
      break;
  }
  return inj;
}

void ControlState::Add(Injection injection) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(injection));
}

ControlState::Decision ControlState::Next(std::string_view proxyAuthorization) {
  std::lock_guard lock(mutex_);
  Decision d;
  while (!queue_.empty()) {
    Injection& head = queue_.front();
    if (head.mode == InjectionMode::ProxyAuth) {
      bool accepted = head.user.empty() && head.password.empty()
                          ? !proxyAuthorization.empty()
                          : proxyAuthorization == "Basic " + Base64(head.user + ":" + head.password);
      if (!accepted) {
        d.challenge = true;
        d.realm = head.realm;
        return d;
      }
      queue_.pop_front();
      continue;
    }
    d.injection = head;
    if (--head.remaining <= 0) queue_.pop_front();
    return d;
  }
  return d;
}

std::deque<Injection> ControlState::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_;
}

size_t ControlState::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void ControlState::Clear() {
  std::lock_guard lock(mutex_);
  queue_.clear();
}

SoapReply ControlPanel::Handle(const std::string& method, const std::string& path, const ParamMap& params) {
  try {
    if (method == "POST" && path == "inject") {
      state_.Add(ParseInjection(params));
      return JsonReply(200, "{\"pending\":" + std::to_string(state_.PendingCount()) + "}");
    }
    if (method == "GET" && path == "injections") {
      std::string out = "{\"injections\":[";
      bool first = true;
      for (const Injection& i : state_.Pending()) {
        out += first ? "" : ",";
        first = false;
        out += "{\"mode\":" + Json(ModeName(i.mode)) + ",\"remaining\":" + std::to_string(i.remaining) +
               ",\"description\":" + Json(i.Describe()) + "}";
      }
      return JsonReply(200, out + "]}");
    }
    if (method == "GET" && path == "requests") return Requests(params);
    if (method == "GET" && path == "request") return OneRequest(params);
    if (method == "POST" && path == "account") {
      Account a{Get(params, "email"), Get(params, "password"), Get(params, "account_id"),
                Get(params, "account_name"), Get(params, "user_id")};
      if (a.email.empty() || a.accountId.empty())
        throw std::invalid_argument("account needs email and account_id");
      store_.PutAccount(a);
      return JsonReply(200, "{\"added\":true}");
    }
    if (path == "account_settings") return AccountSettingsReply(method, params);
    if (method == "GET" && path == "envelopes") return Envelopes(params);
    if (method == "GET" && path == "envelope") return OneEnvelope(params);
    if (method == "GET" && path == "envelope_document") return EnvelopeDocument(params);
    if (method == "POST" && path == "reset") {
      state_.Clear();
      journal_.Clear();
      store_.ForgetNonces();
      return JsonReply(200, "{\"reset\":true}");
    }
    return JsonError(404, "no control function " + method + " /_control/" + path);
  } catch (const std::invalid_argument& e) {
    return JsonError(400, e.what());
  } catch (const std::exception& e) {
    return JsonError(500, e.what());
  }
}

SoapReply ControlPanel::Requests(const ParamMap& params) {
  size_t count = static_cast<size_t>(GetInt(params, "count", 10, 1, Journal::kKeep));
  uint64_t maxBody = static_cast<uint64_t>(GetInt(params, "max_body", 1 << 20, 0, 64 << 20));
  std::string out = "{\"requests\":[";
  bool first = true;
  for (const RecordedRequest& r : journal_.Latest(count)) {
    out += first ? "\n{" : ",\n{";
    first = false;
    out += "\"seq\":" + std::to_string(r.seq) + ",\"time\":" + Json(r.time) + ",\"method\":" + Json(r.method) +
           ",\"target\":" + Json(r.target) + ",\"remote\":" + Json(r.remote) + ",\"headers\":[";
    for (size_t i = 0; i < r.headers.size(); ++i)
      out += (i ? ",[" : "[") + Json(r.headers[i].first) + "," + Json(r.headers[i].second) + "]";
    out += "],\"body_size\":" + std::to_string(r.bodySize) + ",\"body\":" + Json(ReadPart(r.bodyFile, maxBody));
    if (r.bodySize > maxBody) out += ",\"body_truncated\":true";
    out += ",\"status\":" + std::to_string(r.status) + ",\"note\":" + Json(r.note) + "}";
  }
  return JsonReply(200, out + "]}");
}

SoapReply ControlPanel::OneRequest(const ParamMap& params) {
  size_t index = static_cast<size_t>(GetInt(params, "index", 0, 0, Journal::kKeep - 1));
  std::string part = Get(params, "part", "body");
  if (part != "head" && part != "body") throw std::invalid_argument("part must be head or body");
  std::vector<RecordedRequest> latest = journal_.Latest(index + 1);
  if (latest.size() <= index) return JsonError(404, "no request recorded at index " + std::to_string(index));
  const RecordedRequest& r = latest[index];
  SoapReply reply;
  reply.contentType = "application/octet-stream";
  if (part == "head") {
    reply.body = r.HeadText();
  } else {
    reply.file = r.bodyFile;  // streamed; the journal keeps the file
  }
  return reply;
}

SoapReply ControlPanel::AccountSettingsReply(const std::string& method, const ParamMap& params) {
  std::string accountId = Get(params, "account_id");
  if (accountId.empty()) throw std::invalid_argument("account_settings needs account_id");
  AccountSettings settings(store_);
  AccountSettingList list;
  if (method == "GET") {
    list = settings.Get(accountId);
  } else if (method == "POST") {
    AccountSettingsChange change;
    change.fromDefaults = GetInt(params, "defaults", 0, 0, 1) == 1;
    change.clear = GetInt(params, "clear", 0, 0, 1) == 1;
    if (change.fromDefaults && change.clear) throw std::invalid_argument("defaults and clear exclude each other");
    auto [unsetFrom, unsetTo] = params.equal_range("unset");
    for (auto it = unsetFrom; it != unsetTo; ++it) change.unset.push_back(it->second);
    auto [setFrom, setTo] = params.equal_range("set");
    for (auto it = setFrom; it != setTo; ++it) {
      size_t eq = it->second.find('=');
      if (eq == std::string::npos || eq == 0) throw std::invalid_argument("set must be NAME=VALUE");
      change.set.push_back({it->second.substr(0, eq), it->second.substr(eq + 1)});
    }
    list = settings.Change(accountId, change);
  } else {
    return JsonError(405, "account_settings takes GET or POST");
  }
  std::vector<std::string> items;
  for (const AccountSetting& s : list) items.push_back(JsonObject().Add("name", s.name).Add("value", s.value).Text());
  return JsonReply(200, JsonObject().Add("account_id", accountId).AddRaw("settings", JsonArray(items)).Text());
}

SoapReply ControlPanel::Envelopes(const ParamMap& params) {
  std::vector<std::string> items;
  for (const EnvelopeSummary& e : EnvelopeStore(store_, dataDir_).List(Get(params, "account_id")))
    items.push_back(JsonObject()
                        .Add("envelope_id", e.envelopeId).Add("account_id", e.accountId).Add("status", e.status)
                        .Add("subject", e.subject).Add("created", e.created)
                        .Text());
  return JsonReply(200, JsonObject().AddRaw("envelopes", JsonArray(items)).Text());
}

SoapReply ControlPanel::OneEnvelope(const ParamMap& params) {
  std::string id = Get(params, "id");
  if (id.empty()) throw std::invalid_argument("envelope needs id");
  std::optional<std::string> json = EnvelopeStore(store_, dataDir_).Json(id);
  if (!json) return JsonError(404, "no envelope " + id);
  return JsonReply(200, *json);
}

SoapReply ControlPanel::EnvelopeDocument(const ParamMap& params) {
  std::string id = Get(params, "id");
  if (id.empty()) throw std::invalid_argument("envelope_document needs id");
  int64_t index = GetInt(params, "index", 0, 0, INT32_MAX);
  std::optional<std::filesystem::path> file = EnvelopeStore(store_, dataDir_).DocumentFile(id, index);
  if (!file) return JsonError(404, "no document " + std::to_string(index) + " in envelope " + id);
  SoapReply reply;
  reply.contentType = "application/octet-stream";
  reply.file = *file;
  return reply;
}

}  // namespace sim
