#include "service-sim/server.h"

#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "service-sim/apiendpoint.h"
#include "service-sim/apioperations.h"
#include "service-sim/control.h"
#include "service-sim/credential.h"
#include "service-sim/journal.h"
#include "service-sim/socketdrop.h"
#include "service-sim/soapfault.h"
#include "service-sim/soaprequest.h"
#include "service-sim/store.h"
#include "service-sim/tlscert.h"
#include "service-sim/trafficlog.h"
#include "transport/servicenames.h"

namespace sim {
namespace {

constexpr size_t kMaxHeaders = 100;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxControlBody = 1024 * 1024;
constexpr size_t kChunk = 64 * 1024;
constexpr std::string_view kControlPrefix = "/_control/";

// The library adds the connection's addresses as pseudo-headers; they were not sent.
bool IsPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

// A request through a proxy names the absolute URL; the path is what counts.
std::string PathOf(const std::string& target) {
  for (const char* scheme : {"http://", "https://"}) {
    std::string_view s = scheme;
    if (target.size() > s.size() && AsciiLower(target.substr(0, s.size())) == s) {
      size_t slash = target.find('/', s.size());
      return slash == std::string::npos ? "/" : target.substr(slash);
    }
  }
  return target;
}

std::string Unquote(std::string v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

SoapReply TextReply(int status, std::string text) {
  SoapReply r;
  r.status = status;
  r.contentType = "text/plain; charset=utf-8";
  r.body = std::move(text) + "\n";
  return r;
}

// Streams a reply's body from memory or from its file, up to `limit` bytes.
class BodySource {
 public:
  explicit BodySource(const SoapReply& reply) : reply_(reply) {
    if (!reply_.file.empty()) in_.open(reply_.file, std::ios::binary);
  }
  ~BodySource() {
    if (reply_.removeFile) {
      in_.close();
      std::error_code ec;
      std::filesystem::remove(reply_.file, ec);
    }
  }
  bool Write(size_t offset, size_t length, httplib::DataSink& sink) {
    if (reply_.file.empty()) {
      if (offset >= reply_.body.size()) return false;
      return sink.write(reply_.body.data() + offset, std::min(length, reply_.body.size() - offset));
    }
    buffer_.resize(std::min(length, kChunk));
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    std::streamsize n = in_.gcount();
    if (n <= 0) return false;
    return sink.write(buffer_.data(), static_cast<size_t>(n));
  }

 private:
  SoapReply reply_;
  std::ifstream in_;
  std::vector<char> buffer_;
};

}  // namespace

SimServer::SimServer(const Options& options) : options_(options) {
  std::filesystem::create_directories(options_.dataDir);
  spoolDir_ = options_.dataDir / "spool";
  std::error_code ec;
  std::filesystem::remove_all(spoolDir_, ec);  // leftovers of a run that did not end cleanly
  std::filesystem::create_directories(spoolDir_);

  store_ = std::make_unique<Store>(options_.dataDir / "state.sqlite");
  for (const Account& a : options_.accounts) store_->PutAccount(a);
  journal_ = std::make_unique<Journal>(spoolDir_);
  log_ = std::make_unique<TrafficLog>(options_.dataDir / "attestra-sim.log");
  control_ = std::make_unique<ControlState>();
  panel_ = std::make_unique<ControlPanel>(*control_, *journal_, *store_, options_.dataDir);
  credential_ = std::make_unique<CredentialEndpoint>(*store_);
  auto api = std::make_unique<ApiEndpoint>(*store_, options_.dataDir);
  RegisterApiOperations(*api);
  api_ = std::move(api);

  if (options_.tls) {
    CertificateFiles files{options_.certFile, options_.keyFile};
    if (files.cert.empty()) files = EnsureCertificate(options_.dataDir);
    auto tls = std::make_unique<httplib::SSLServer>(files.cert.c_str(), files.key.c_str());
    if (!tls->is_valid()) throw std::runtime_error("cannot use the certificate " + files.cert.string());
    http_ = std::move(tls);
  } else {
    http_ = std::make_unique<httplib::Server>();
  }

  http_->new_task_queue = [] { return new httplib::ThreadPool(32); };
  http_->set_read_timeout(60);
  http_->set_write_timeout(60);
  http_->set_keep_alive_timeout(30);
  http_->set_keep_alive_max_count(1000);
  http_->set_payload_max_length(size_t{4} << 30);
  http_->Post(".*", [this](const httplib::Request& req, httplib::Response& res,
                           const httplib::ContentReader& reader) { Serve(req, res, &reader); });
  http_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res, nullptr); });
  http_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    SoapReply fault = FaultReply(faultcode::kServer, "Internal error.");
    res.status = fault.status;
    res.set_content(fault.body, fault.contentType);
  });

  const char* host = "127.0.0.1";
  if (options_.port == 0) {
    port_ = http_->bind_to_any_port(host);
  } else if (http_->bind_to_port(host, options_.port)) {
    port_ = options_.port;
  }
  if (port_ <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options_.port));
  log_->Note("listening on " + std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" +
             std::to_string(port_));
}

SimServer::~SimServer() = default;

bool SimServer::Run() {
  bool ok = http_->listen_after_bind();
  {
    std::lock_guard lock(stopMutex_);
    finished_ = true;
  }
  stopCv_.notify_all();
  log_->Note("stopped");
  return ok;
}

void SimServer::Stop() {
  std::unique_lock lock(stopMutex_);
  stopping_ = true;
  stopCv_.notify_all();
  // Idle keep-alive connections would hold the worker threads until they time out.
  while (!finished_) {
    lock.unlock();
    http_->stop();
    DropAllConnections(port_);
    lock.lock();
    stopCv_.wait_for(lock, std::chrono::milliseconds(50), [this] { return finished_; });
  }
}

void SimServer::Pause(int ms) {
  std::unique_lock lock(stopMutex_);
  stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void SimServer::Serve(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader* reader) {
  const std::string path = PathOf(req.path);
  if (path.rfind(kControlPrefix, 0) == 0) return ServeControl(req, res, reader, path.substr(kControlPrefix.size()));

  RecordedRequest record;
  record.seq = journal_->NextSeq();
  record.time = UtcNowText();
  record.method = req.method;
  record.target = req.target;
  record.version = req.version;
  record.remote = req.remote_addr + ":" + std::to_string(req.remote_port);
  record.bodyFile = journal_->BodyPath(record.seq);
  size_t headerBytes = 0;
  for (const auto& [name, value] : req.headers) {
    if (IsPseudoHeader(name)) continue;
    record.headers.emplace_back(name, value);
    headerBytes += name.size() + value.size() + 4;
  }

  SoapReply reply;
  std::optional<Injection> injection;
  bool spooled = true;
  {
    std::ofstream body(record.bodyFile, std::ios::binary | std::ios::trunc);
    auto receive = [&](const char* data, size_t n) {
      body.write(data, static_cast<std::streamsize>(n));
      record.bodySize += n;
      return static_cast<bool>(body);
    };
    try {
      if (reader && req.is_multipart_form_data())
        spooled = (*reader)([](const httplib::MultipartFormData&) { return true; }, receive);
      else if (reader)
        spooled = (*reader)(receive);
    } catch (const std::exception&) {
      spooled = false;
    }
    body.close();
    spooled = spooled && !body.fail();
  }
  log_->Request(record);

  const std::string lower = AsciiLower(path);
  Endpoint* endpoint = lower == AsciiLower(std::string("/") + attestra::kApiPath)          ? api_.get()
                       : lower == AsciiLower(std::string("/") + attestra::kCredentialPath) ? credential_.get()
                                                                                           : nullptr;
  if (!spooled) {
    reply = FaultReply(faultcode::kServer, "The request body could not be received.");
  } else if (record.headers.size() > kMaxHeaders || headerBytes > kMaxHeaderBytes) {
    reply = TextReply(431, "Request header fields too large");
  } else if (!endpoint) {
    reply = TextReply(404, "Not found");
  } else if (req.method != "POST") {
    reply = TextReply(405, "Method not allowed");
    reply.headers.emplace_back("Allow", "POST");
  } else {
    ControlState::Decision decision = control_->Next(req.get_header_value("Proxy-Authorization"));
    if (decision.challenge) {
      reply = TextReply(407, "Proxy authentication required");
      reply.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"" + decision.realm + "\"");
      record.note = "injected proxy_auth challenge";
    } else {
      injection = decision.injection;
      if (!injection || injection->RunsEndpoint()) reply = CallEndpoint(*endpoint, record.bodyFile, record.seq, req);
      if (injection) {
        record.note = injection->Describe();
        switch (injection->mode) {
          case InjectionMode::Status:
          case InjectionMode::Body:
          case InjectionMode::Fault: {
            SoapReply replaced;
            replaced.status = injection->status;
            replaced.contentType = injection->contentType;
            replaced.body = injection->body;
            if (!injection->headerName.empty())
              replaced.headers.emplace_back(injection->headerName, injection->headerValue);
            reply = std::move(replaced);
            break;
          }
          default:
            break;
        }
      }
    }
  }

  record.status = reply.status;
  journal_->Add(record);
  if (injection && injection->delayMs > 0) Pause(injection->delayMs);
  if (injection && injection->mode == InjectionMode::Drop) {
    log_->Response(record.seq, reply, record.note + ": connection closed without an answer");
    DropConnection(req.local_port, req.remote_addr, req.remote_port);
    res.status = 500;
    return;
  }
  int64_t truncateTo = -1;
  if (injection && injection->mode == InjectionMode::Truncate) {
    int64_t size = static_cast<int64_t>(reply.Size());
    truncateTo = injection->truncateBytes < 0 ? size / 2 : std::min(injection->truncateBytes, std::max<int64_t>(size - 1, 0));
  }
  log_->Response(record.seq, reply, record.note);
  Send(reply, res, truncateTo);
}

SoapReply SimServer::CallEndpoint(Endpoint& endpoint, const std::filesystem::path& body, uint64_t seq,
                                  const httplib::Request& req) {
  ServiceRequest request;
  request.bodyFile = body;
  request.textFileStem = journal_->TextFileStem(seq);
  request.soapAction = Unquote(req.get_header_value("SOAPAction"));
  request.received = std::chrono::system_clock::now();
  try {
    return endpoint.Handle(request);
  } catch (const SoapFault& fault) {
    return FaultReply(fault.Code(), fault.what());
  } catch (const XmlError& e) {
    return FaultReply(faultcode::kClient, std::string("The request could not be read: ") + e.what() + ".");
  } catch (const std::exception& e) {
    return FaultReply(faultcode::kServer, std::string("Internal error: ") + e.what());
  }
}

void SimServer::ServeControl(const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader* reader, const std::string& path) {
  std::string body;
  bool tooBig = false;
  if (reader) {
    (*reader)([&](const char* data, size_t n) {
      if (body.size() + n > kMaxControlBody) tooBig = true;
      else body.append(data, n);
      return true;
    });
  }
  SoapReply reply;
  if (!options_.control) {
    reply = TextReply(403, "The control interface is off (start with --control)");
  } else if (tooBig) {
    reply = TextReply(413, "Control request too large");
  } else {
    ParamMap params(req.params.begin(), req.params.end());
    std::string type = AsciiLower(req.get_header_value("Content-Type"));
    if (type.empty() || type.rfind("application/x-www-form-urlencoded", 0) == 0) ParseFormText(body, params);
    reply = panel_->Handle(req.method, path, params);
  }
  log_->Note("control " + req.method + " " + req.target + " -> " + std::to_string(reply.status));
  Send(reply, res, -1);
}

void SimServer::Send(const SoapReply& reply, httplib::Response& res, int64_t truncateTo) {
  res.status = reply.status;
  for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  uint64_t size = reply.Size();
  if (truncateTo < 0 && size == 0) {
    res.set_content("", reply.contentType);
    return;
  }
  // A truncated answer announces the full length (at least one byte more than it sends),
  // sends `truncateTo` bytes, then the failing provider makes the library close.
  uint64_t announced = std::max<uint64_t>(size, truncateTo >= 0 ? static_cast<uint64_t>(truncateTo) + 1 : 0);
  uint64_t limit = truncateTo < 0 ? size : static_cast<uint64_t>(truncateTo);
  auto source = std::make_shared<BodySource>(reply);
  res.set_content_provider(
      static_cast<size_t>(announced), reply.contentType,
      [source, limit](size_t offset, size_t length, httplib::DataSink& sink) {
        if (offset >= limit) return false;
        return source->Write(offset, std::min<uint64_t>(length, limit - offset), sink);
      },
      [source](bool) {});
}

}  // namespace sim
