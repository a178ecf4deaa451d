#include "transport/httprequest.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "foundation/diaglog.h"
#include "transport/webapi.h"

namespace {

// Answer bytes held for a stepped reader before the download pauses: one read's worth.
constexpr std::size_t kHoldLimit = 4096;
// The service may think for a while, but a connection that stays silent this long is dead.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kSilenceSeconds = 60;

// Another CA than the system's: the variables that OpenSSL's tools and curl's own program read.
const char* CustomCaFile() {
  for (const char* name : {"SSL_CERT_FILE", "CURL_CA_BUNDLE"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return nullptr;
}

curl_slist* AppendHeader(curl_slist* list, const std::string& line, bool& ok) {
  curl_slist* grown = curl_slist_append(list, line.c_str());
  if (!grown) {
    ok = false;
    return list;
  }
  return grown;
}

}  // namespace

CHttpRequest::CHttpRequest(CWebSvrConnection& connection, std::string verb, std::string path,
                           std::string headerBlock, long long bodySize)
    : connection_(&connection),
      easy_(connection.Easy()),
      multi_(connection.Session().Multi()),
      verb_(std::move(verb)),
      path_(std::move(path)),
      headerBlock_(std::move(headerBlock)),
      bodySize_(bodySize) {}

CHttpRequest::~CHttpRequest() {
  Detach();
  if (connection_ && connection_->ActiveRequest() == this) connection_->SetActiveRequest(nullptr);
  curl_slist_free_all(headers_);
}

bool CHttpRequest::Open() {
  if (!connection_ || !easy_) return false;
  if (connection_->ActiveRequest() && connection_->ActiveRequest() != this) {
    DiagLog().Error("CHttpRequest::Open: another request is still using the connection");
    return false;
  }
  if (!Configure()) return false;
  connection_->SetActiveRequest(this);
  return Attach();
}

bool CHttpRequest::Resend() {
  Detach();
  pending_.clear();
  sendPos_ = 0;
  received_.clear();
  takePos_ = 0;
  sinkFailed_ = false;
  bodyStarted_ = done_ = false;
  result_ = CURLE_OK;
  errorText_[0] = '\0';
  return Configure() && Attach();
}

void CHttpRequest::Abandon() {
  Detach();
  connection_ = nullptr;
  easy_ = nullptr;
}

bool CHttpRequest::Configure() {
  curl_easy_reset(easy_);
  curl_slist_free_all(headers_);
  headers_ = nullptr;

  // The client's own headers first, then the request's block (Content-Type, SOAPAction), then
  // the ones that keep libcurl from adding what the service has never seen.
  bool ok = true;
  headers_ = AppendHeader(headers_, "Accept: text/xml", ok);
  std::size_t start = 0;
  while (start < headerBlock_.size()) {
    std::size_t end = headerBlock_.find('\n', start);
    if (end == std::string::npos) end = headerBlock_.size();
    std::string line = headerBlock_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) headers_ = AppendHeader(headers_, line, ok);
    start = end + 1;
  }
  headers_ = AppendHeader(headers_, "Connection: Keep-Alive", ok);
  headers_ = AppendHeader(headers_, "Expect:", ok);
  if (!ok) return false;

  const std::string url = connection_->Origin() + path_;
  auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy_, option, value) == CURLE_OK; };
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_USERAGENT, connection_->Session().UserAgent().c_str());
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_HTTPHEADER, headers_);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, kSilenceSeconds);
  set(CURLOPT_ERRORBUFFER, errorText_);
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (const char* ca = CustomCaFile()) set(CURLOPT_CAINFO, ca);
  if (connection_->HasProxyCredentials()) {
    // Offered Basic alone, the credentials go with the very first request; otherwise libcurl
    // finds out what the proxy wants.
    set(CURLOPT_PROXYUSERNAME, connection_->ProxyUser().c_str());
    set(CURLOPT_PROXYPASSWORD, connection_->ProxyPassword().c_str());
    const unsigned long schemes = connection_->ProxySchemes();
    set(CURLOPT_PROXYAUTH, static_cast<long>(schemes == CURLAUTH_BASIC ? CURLAUTH_BASIC : CURLAUTH_ANY));
  }
  proxySchemes_ = 0;
  if (verb_ == "GET") {
    set(CURLOPT_HTTPGET, 1L);
  } else {
    set(CURLOPT_POST, 1L);
    if (verb_ != "POST") set(CURLOPT_CUSTOMREQUEST, verb_.c_str());
    set(CURLOPT_READFUNCTION, &CHttpRequest::OnRead);
    set(CURLOPT_READDATA, this);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodySize_));
  }
  set(CURLOPT_WRITEFUNCTION, &CHttpRequest::OnWrite);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_HEADERFUNCTION, &CHttpRequest::OnHeader);
  set(CURLOPT_HEADERDATA, this);
  return ok;
}

bool CHttpRequest::Attach() {
  if (attached_) return true;
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
  attached_ = true;
  return true;
}

void CHttpRequest::Detach() {
  if (!attached_) return;
  curl_multi_remove_handle(multi_, easy_);
  attached_ = false;
}

void CHttpRequest::Unpause() {
  if (attached_ && !done_) curl_easy_pause(easy_, CURLPAUSE_CONT);
}

void CHttpRequest::Offer(std::string_view piece) {
  pending_.assign(piece.data(), piece.size());
  sendPos_ = 0;
  Unpause();
}

std::size_t CHttpRequest::Take(char* buffer, std::size_t capacity) {
  const std::size_t n = std::min(capacity, Held());
  std::memcpy(buffer, received_.data() + takePos_, n);
  takePos_ += n;
  if (takePos_ == received_.size()) {
    received_.clear();
    takePos_ = 0;
  }
  if (n) Unpause();
  return n;
}

bool CHttpRequest::SetAnswerSink(AnswerSink sink) {
  if (Held() && !sink(received_.data() + takePos_, Held())) return false;
  received_.clear();
  takePos_ = 0;
  sink_ = std::move(sink);
  Unpause();
  return true;
}

bool CHttpRequest::Drive(const std::function<bool()>& ready, int waitMs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (;;) {
    if (attached_ && !done_) {
      int running = 0;
      curl_multi_perform(multi_, &running);
      Collect();
    }
    if (ready()) return true;
    if (done_ || !attached_) return false;
    int slice = 1000;
    if (waitMs >= 0) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (elapsed >= waitMs) return false;
      slice = std::min<int>(slice, static_cast<int>(waitMs - elapsed));
    }
    curl_multi_poll(multi_, nullptr, 0, slice, nullptr);
  }
}

bool CHttpRequest::DriveUntilSent(int waitMs) {
  return Drive([this] { return PieceSent() || StatusKnown(); }, waitMs) && PieceSent();
}

bool CHttpRequest::DriveUntilStatus(int waitMs) {
  return Drive([this] { return StatusKnown(); }, waitMs);
}

bool CHttpRequest::DriveUntilAnswer(int waitMs) {
  return Drive([this] { return Held() > 0 || done_; }, waitMs);
}

bool CHttpRequest::DriveUntilDone(int waitMs) {
  return Drive([this] { return done_; }, waitMs);
}

void CHttpRequest::Collect() {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
      done_ = true;
      result_ = msg->data.result;
    }
  }
}

long CHttpRequest::Status() const {
  if (!easy_) return 0;
  long code = 0;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
  if (code == 0) curl_easy_getinfo(easy_, CURLINFO_HTTP_CONNECTCODE, &code);
  return code;
}

std::string CHttpRequest::ErrorText() const {
  if (errorText_[0]) return errorText_;
  if (sinkFailed_) return "The answer could not be stored.";
  return curl_easy_strerror(result_);
}

long CHttpRequest::NewConnections() const {
  long count = -1;
  if (easy_) curl_easy_getinfo(easy_, CURLINFO_NUM_CONNECTS, &count);
  return count;
}

std::size_t CHttpRequest::OnRead(char* buffer, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<CHttpRequest*>(self);
  const std::size_t capacity = size * count;
  if (r->sendPos_ < r->pending_.size()) {
    const std::size_t n = std::min(capacity, r->pending_.size() - r->sendPos_);
    std::memcpy(buffer, r->pending_.data() + r->sendPos_, n);
    r->sendPos_ += n;
    return n;
  }
  if (r->source_) return r->source_(buffer, capacity);
  return CURL_READFUNC_PAUSE;
}

std::size_t CHttpRequest::OnWrite(char* bytes, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<CHttpRequest*>(self);
  const std::size_t length = size * count;
  r->bodyStarted_ = true;
  if (r->sink_) {
    if (r->sink_(bytes, length)) return length;
    r->sinkFailed_ = true;
    return 0;
  }
  if (r->Held() >= kHoldLimit) return CURL_WRITEFUNC_PAUSE;
  r->received_.append(bytes, length);
  return length;
}

std::size_t CHttpRequest::OnHeader(char* bytes, std::size_t size, std::size_t count, void* self) {
  auto* r = static_cast<CHttpRequest*>(self);
  const std::size_t length = size * count;
  std::string_view line(bytes, length);
  constexpr std::string_view kName = "proxy-authenticate:";
  if (line.size() > kName.size()) {
    std::string head(line.substr(0, kName.size()));
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head == kName) {
      std::string_view value = line.substr(kName.size());
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      auto starts = [&](std::string_view scheme) {
        if (value.size() < scheme.size()) return false;
        for (std::size_t i = 0; i < scheme.size(); ++i)
          if (std::tolower(static_cast<unsigned char>(value[i])) != scheme[i]) return false;
        return true;
      };
      if (starts("basic")) r->proxySchemes_ |= CURLAUTH_BASIC;
      else if (starts("digest")) r->proxySchemes_ |= CURLAUTH_DIGEST;
      else if (starts("ntlm")) r->proxySchemes_ |= CURLAUTH_NTLM;
      else if (starts("negotiate")) r->proxySchemes_ |= CURLAUTH_NEGOTIATE;
      else r->proxySchemes_ |= CURLAUTH_ANY;
    }
  }
  return length;
}
