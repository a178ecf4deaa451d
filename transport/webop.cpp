#include "transport/webop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "foundation/tempfile.h"
#include "foundation/xmldoc.h"
#include "platform/win/folders.h"
#include "transport/httprequest.h"
#include "transport/msgwindow.h"
#include "transport/userprompts.h"
#include "transport/webapi.h"

namespace {

constexpr std::size_t kSendPiece = 4095;  // one piece of the body file, with room for a terminator
constexpr std::size_t kSendBufferSize = 4096;
constexpr std::size_t kReadPiece = 4096;
constexpr std::size_t kReceiveBufferSize = 4097;
// How long one stepped stage may wait for the network before it gives the event loop back.
constexpr int kStepWaitMs = 20;
constexpr int kNoLimit = -1;
constexpr const char* kLogClose = "</XmlLog>\n";

bool AcceptedStatus(long status) { return status == 200 || status == 201 || status == 400 || status == 500; }

// An XML declaration cannot stand inside the log's root element: leave it out.
std::string_view WithoutDeclaration(std::string_view text) {
  std::size_t at = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
  if (text.substr(at, 5) != "<?xml") return text;
  const auto end = text.find("?>", at);
  if (end == std::string_view::npos) return text;
  at = end + 2;
  while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
  return text.substr(at);
}

FilePtr OpenPrivateForWriting(const std::string& path) {
  const int fd = win::CreatePrivateFile(path);
  if (fd < 0) return nullptr;
  FilePtr file(fdopen(fd, "wb"));
  if (!file) ::close(fd);
  return file;
}

}  // namespace

CWebSvrOp::CWebSvrOp(std::string url) : url_(std::move(url)) {
  ParseUrl();
  CConfig config;
  logXml_ = config.GetLogXML() == 1;
}

CWebSvrOp::~CWebSvrOp() {
  CloseRequest();
  doc_.reset();
  responseFile_.reset();
  if (!responsePath_.empty()) std::remove(responsePath_.c_str());
}

void CWebSvrOp::ParseUrl() {
  std::string_view rest = url_;
  if (const auto slashes = rest.find("//"); slashes != std::string_view::npos) rest = rest.substr(slashes + 2);
  const auto slash = rest.find('/');
  transport::SetCurrentServerName(std::string(rest.substr(0, slash)));
  requestPath_ = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
  transport::SetCurrentRequestPath(requestPath_);
}

const char* CWebSvrOp::ProgressText(int stage) const {
  return stage >= 0 && stage < 6 && progress_[stage] ? progress_[stage] : "";
}

bool CWebSvrOp::Run(CMsgWindow* window, unsigned message, int stage) {
  if (stage >= 5) return true;
  if (stage < 0) return false;
  bool ok = false;
  try {
    for (;;) {
      const Outcome outcome = RunStage(stage, window != nullptr);
      if (window) {
        if (outcome.next >= 0) window->PostMessage(message, outcome.next, 0);
        ok = outcome.ok;
        break;
      }
      ok = outcome.ok;
      if (!ok || outcome.next < 0 || outcome.next >= 5) break;
      stage = outcome.next;
    }
  } catch (const std::bad_alloc&) {
    result_ = E_OUTOFMEMORY;
    ok = false;
  }
  // Callers read the result code alone: a failed run never leaves it at success.
  if (!ok && result_ == S_OK) result_ = E_FAIL;
  if (!window) CloseRequest();
  return ok;
}

// An operation may be run again (the login dialog retries with the same one): nothing of the
// previous run may leak into the next, least of all its fault string or its header lines.
void CWebSvrOp::ResetRun() {
  CloseRequest();
  result_ = S_OK;
  faultCode_.clear();
  faultString_.clear();
  transportError_.clear();
  responseText_.clear();
  responseFile_.reset();
  responseFileOpen_ = false;
  recvBuffer_.reset();
  doc_.reset();
  bytesSent_ = bytesReceived_ = 0;
  bodyOffered_ = proxyRetried_ = false;
  status_ = 0;
  newConnections_ = -1;
}

CWebSvrOp::Outcome CWebSvrOp::RunStage(int stage, bool stepped) {
  // A stray run message (a stage posted for a run that has since ended) finds no request.
  if (stage >= 2 && stage <= 4 && !request_) {
    DiagLog().Error("CWebSvrOp::Run: no open request for this stage");
    result_ = E_UNEXPECTED;
    return {-1, false};
  }
  switch (stage) {
    case 0: return Prepare(stepped);
    case 1: return OpenRequest(stepped);
    case 2: return SendBody(stepped);
    case 3: return QueryStatus(stepped);
    case 4: return Receive(stepped);
    default: return {-1, true};
  }
}

CWebSvrOp::Outcome CWebSvrOp::Prepare(bool) {
  ResetRun();
  DiagLog().CommentText("CWebSvrOp::Run: Preparing Data for %s", kind_.c_str());
  if (!PrepareData()) {
    DiagLog().Error("PrepareData failed!");
    DiagLog().CommentText("Op kind is %s", kind_.c_str());
    if (result_ == S_OK) result_ = E_FAIL;
    return {-1, false};
  }
  ParseUrl();
  if (!query_.empty()) {
    requestPath_ += "?" + query_;
    transport::SetCurrentRequestPath(requestPath_);
  }
  return {1, true};
}

CWebSvrOp::Outcome CWebSvrOp::OpenRequest(bool) {
  headers_.clear();
  AddHeader("Content-Type", contentType_.c_str(), false);
  if (!soapAction_.empty()) AddHeader("SOAPAction", soapAction_.c_str(), true);
  headers_ += "\r\n";
  DiagLog().Comment("CWebSvrOp::Run: OpenRequest");
  DiagLog().CommentText("Verb: %s", verb_.c_str());
  DiagLog().CommentText("URL: %s", requestPath_.c_str());
  DiagLog().CommentText("Full URL: %s", url_.c_str());

  long long size = static_cast<long long>(body_.size());
  if (bodyFromFile_) {
    if (!FinishRequestFile()) return {-1, false};
    struct stat st {};
    if (::stat(body_.c_str(), &st) != 0) return {-1, false};
    size = st.st_size;
  }
  CWebSvrConnection* connection = transport::ProcessConnection();
  if (connection) request_ = std::make_unique<CHttpRequest>(*connection, verb_, requestPath_, headers_, size);
  if (!request_ || !request_->Open()) {
    DiagLog().Error("CWebSvrOp::Run: OpenRequest FAILED");
    request_.reset();
    return {-1, false};
  }
  bodySize_ = size;
  bytesSent_ = 0;
  if (bodyFromFile_ && !OpenBodyFile()) return {-1, false};
  return {2, true};
}

bool CWebSvrOp::OpenBodyFile() {
  bodyFile_.reset(std::fopen(body_.c_str(), "rb"));
  bodyFileOpen_ = bodyFile_ != nullptr;
  if (!bodyFileOpen_) return false;
  sendBuffer_.reset(new (std::nothrow) char[kSendBufferSize]);
  return sendBuffer_ != nullptr;
}

std::size_t CWebSvrOp::ReadBodyPieces(char* buffer, std::size_t capacity) {
  // The client's buffer takes several pieces at once; each is read and logged on its own.
  std::size_t filled = 0;
  while (bodyFileOpen_ && filled < capacity) {
    const std::size_t want = std::min(kSendPiece, capacity - filled);
    const std::size_t n = std::fread(buffer + filled, 1, want, bodyFile_.get());
    if (n == 0) break;
    AppendXmlLog(std::string_view(buffer + filled, n));
    filled += n;
    bytesSent_ += static_cast<long long>(n);
    if (n < want) break;
  }
  return filled;
}

CWebSvrOp::Outcome CWebSvrOp::SendBody(bool stepped) {
  if (!stepped) {
    if (bodyFromFile_) {
      request_->SetBodySource([this](char* buffer, std::size_t capacity) { return ReadBodyPieces(buffer, capacity); });
      request_->Drive([this] { return bytesSent_ >= bodySize_ || request_->StatusKnown(); }, kNoLimit);
    } else {
      AppendXmlLog(body_);
      request_->Offer(body_);
      bytesSent_ = bodySize_;
      request_->DriveUntilSent(kNoLimit);
    }
    if (request_->Failed()) return InternetException();
    return {3, true};
  }

  if (request_->Done()) return request_->Failed() ? InternetException() : Outcome{3, true};
  if (!request_->PieceSent()) {
    request_->DriveUntilSent(kStepWaitMs);
    if (request_->Failed()) return InternetException();
    return {request_->Done() ? 3 : 2, true};
  }
  if (bodyFromFile_) {
    const std::size_t n = std::fread(sendBuffer_.get(), 1, kSendPiece, bodyFile_.get());
    if (n == 0) {
      if (bytesSent_ < bodySize_) {
        DiagLog().Error("CWebSvrOp::Run: the request file ended early");
        return {-1, false};
      }
      return {3, true};
    }
    sendBuffer_[n] = '\0';
    AppendXmlLog(std::string_view(sendBuffer_.get(), n));
    request_->Offer(std::string_view(sendBuffer_.get(), n));
    bytesSent_ += static_cast<long long>(n);
  } else {
    if (bodyOffered_) return {3, true};
    AppendXmlLog(body_);
    request_->Offer(body_);
    bodyOffered_ = true;
    bytesSent_ = bodySize_;
  }
  request_->DriveUntilSent(kStepWaitMs);
  if (request_->Failed()) return InternetException();
  if (!bodyFromFile_ && request_->PieceSent()) return {3, true};
  return {2, true};
}

CWebSvrOp::Outcome CWebSvrOp::QueryStatus(bool stepped) {
  if (bodyFileOpen_) {
    bodyFile_.reset();
    bodyFileOpen_ = false;
    sendBuffer_.reset();
  }
  if (!request_->DriveUntilStatus(stepped ? kStepWaitMs : kNoLimit) && !request_->Done()) return {3, true};
  const long status = request_->Status();
  if (request_->Failed() && status != 407) return InternetException();
  status_ = status;
  DiagLog().Comment("CWebSvrOp::Run: QueryInfoStatusCode");
  DiagLog().CommentNumber("HTTP Status Code = %lu", status);
  DiagLog().CommentText("OpKind: %s", kind_.c_str());

  if (status == 407 && !proxyRetried_) {
    // Once: ask for the proxy's credentials and send the same request again. The body file is
    // still on disk for that (it goes once the status is final).
    proxyRetried_ = true;
    CWebSvrConnection* connection = transport::ProcessConnection();
    std::string user, password;
    if (connection && TransportPrompts().AskProxyCredentials(connection->Server(), user, password)) {
      connection->SetProxyCredentials(std::move(user), std::move(password), request_->OfferedProxySchemes());
      if (!request_->Resend()) {
        DiagLog().Error("CWebSvrOp::Run: OpenRequest FAILED");
        return {-1, false};
      }
      bytesSent_ = 0;
      bodyOffered_ = false;
      if (bodyFromFile_ && !OpenBodyFile()) return {-1, false};
      return {2, true};
    }
  }
  DeleteBodyFile();
  if (!AcceptedStatus(status)) {
    result_ = RPC_E_SERVERFAULT;
    return {-1, false};
  }
  bytesReceived_ = 0;
  return {4, true};
}

CWebSvrOp::Outcome CWebSvrOp::Receive(bool stepped) {
  if (!recvBuffer_) {
    recvBuffer_.reset(new (std::nothrow) char[kReceiveBufferSize]);
    if (!recvBuffer_) return {-1, false};
    responseText_.clear();
    if (!responsePath_.empty()) {
      responseFile_ = OpenPrivateForWriting(responsePath_);
      responseFileOpen_ = responseFile_ != nullptr;
      if (!responseFileOpen_) {
        DiagLog().Error("CWebSvrOp::Run: the response file cannot be created");
        result_ = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        return {-1, false};
      }
    }
  }
  if (!stepped) {
    const bool stored = request_->SetAnswerSink([this](const char* bytes, std::size_t n) { return StoreAnswer(bytes, n); });
    if (stored) request_->DriveUntilDone(kNoLimit);
    if (!stored || request_->AnswerRefused()) {
      DiagLog().Error("CWebSvrOp::Run: the response cannot be stored");
      result_ = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
      return {-1, false};
    }
    if (request_->Failed()) return InternetException();
    return FinishReceiving();
  }

  std::size_t n = request_->Take(recvBuffer_.get(), kReadPiece);
  if (n == 0 && !request_->Done()) {
    request_->DriveUntilAnswer(kStepWaitMs);
    n = request_->Take(recvBuffer_.get(), kReadPiece);
  }
  if (n == 0) {
    if (!request_->Done()) return {4, true};
    if (request_->Failed()) return InternetException();
    return FinishReceiving();
  }
  recvBuffer_[n] = '\0';
  if (!StoreAnswer(recvBuffer_.get(), n)) {
    DiagLog().Error("CWebSvrOp::Run: the response cannot be stored");
    result_ = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    return {-1, false};
  }
  return {4, true};
}

bool CWebSvrOp::StoreAnswer(const char* bytes, std::size_t length) {
  if (responseFileOpen_) {
    if (std::fwrite(bytes, 1, length, responseFile_.get()) != length) return false;
  } else {
    responseText_.append(bytes, length);
  }
  bytesReceived_ += static_cast<long long>(length);
  return true;
}

CWebSvrOp::Outcome CWebSvrOp::FinishReceiving() {
  newConnections_ = request_->NewConnections();
  if (responseFileOpen_) {
    const bool flushed = std::fflush(responseFile_.get()) == 0;
    responseFile_.reset();
    responseFileOpen_ = false;
    if (!flushed) {
      result_ = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
      return {-1, false};
    }
  }
  if (!responsePath_.empty())
    AppendXmlLog(responsePath_, true);
  else
    AppendXmlLog(responseText_);
  bool ok = false;
  if (!responseText_.empty() || !responsePath_.empty()) {
    if (streamingResponse_ || !CheckFault() || parseOnFault_) ok = ParseResponse();
  }
  return {5, ok};
}

CWebSvrOp::Outcome CWebSvrOp::InternetException() {
  transportError_ = request_ ? request_->ErrorText() : std::string();
  DiagLog().CommentText("CWebSvrOp::Run: transport failure: %s", transportError_.c_str());
  result_ = kInternetException;
  faultString_ = kInternetExceptionText;
  // The run ends here: its request file (the password, every document) must not stay behind.
  DeleteBodyFile();
  return {-1, false};
}

void CWebSvrOp::DeleteBodyFile() {
  if (!bodyFromFile_ || body_.empty()) return;
  bodyFile_.reset();
  bodyFileOpen_ = false;
  std::remove(body_.c_str());
  sendBuffer_.reset();
}

bool CWebSvrOp::CheckFault() {
  if (streamingResponse_) return false;
  doc_ = std::make_unique<CXMLDoc>();
  const HRESULT loaded = responsePath_.empty() ? doc_->LoadString(responseText_) : doc_->LoadFile(responsePath_);
  if (loaded != S_OK) return true;
  if (doc_->GotoNode(bodyPath_) != S_OK) {
    faultCode_ = faultString_ = "Malformed SOAP";
    return true;
  }
  if (!faultElement_.empty() && doc_->GotoNode(faultElement_) == S_OK) {
    doc_->GetSingleNodeValue("faultstring", faultString_);
    doc_->GetSingleNodeValue("faultcode", faultCode_);
    result_ = E_FAIL;
    return true;
  }
  return false;
}

LONG CWebSvrOp::MakeTempFile(std::string_view pattern) {
  std::string path;
  if (const LONG err = ::MakeTempFile(pattern, path); err != ERROR_SUCCESS) return err;
  lastTempPath_ = path;
  return ERROR_SUCCESS;
}

bool CWebSvrOp::UseResponseFile(std::string_view pattern) {
  if (MakeTempFile(pattern) != ERROR_SUCCESS) return false;
  if (!responsePath_.empty() && responsePath_ != lastTempPath_) std::remove(responsePath_.c_str());
  responsePath_ = lastTempPath_;
  return true;
}

std::FILE* CWebSvrOp::OpenRequestFile(std::string_view pattern, std::string* pathOut) {
  if (MakeTempFile(pattern) != ERROR_SUCCESS) return nullptr;
  requestWrite_ = OpenPrivateForWriting(lastTempPath_);
  if (!requestWrite_) return nullptr;
  bodyFromFile_ = true;
  body_ = lastTempPath_;
  requestPathOut_ = pathOut;
  if (pathOut) *pathOut = lastTempPath_;
  return requestWrite_.get();
}

bool CWebSvrOp::FinishRequestFile() {
  if (!requestWrite_) return true;
  const bool ok = std::fflush(requestWrite_.get()) == 0 && !std::ferror(requestWrite_.get());
  requestWrite_.reset();
  if (!ok) {
    DiagLog().Error("CWebSvrOp: the request file could not be written");
    std::remove(body_.c_str());
  }
  return ok;
}

void CWebSvrOp::CloseRequestFile() {
  requestWrite_.reset();
  if (!bodyFromFile_ || !sendBuffer_) return;
  bodyFile_.reset();
  bodyFileOpen_ = false;
  std::remove(body_.c_str());
  sendBuffer_.reset();
}

void CWebSvrOp::CloseRequest() {
  if (request_ && request_->Done() && newConnections_ < 0) newConnections_ = request_->NewConnections();
  request_.reset();
}

void CWebSvrOp::AddHeader(const char* name, const char* value, bool quoted) {
  if (!name || !value) {
    headers_ += "\r\n";
    return;
  }
  if (!headers_.empty()) headers_ += "\n";
  headers_ += name;
  headers_ += quoted ? ": \"" : ": ";
  headers_ += value;
  if (quoted) headers_ += "\"";
}

void CWebSvrOp::AppendXmlLog(std::string_view text, bool fromFile) {
  if (!logXml_) return;
  const std::string path = win::TempFolder() + "AttestraDebug.xml";
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  FilePtr log;
  if (existed) {
    log.reset(std::fopen(path.c_str(), "r+b"));
    if (!log) return;
    const long back = static_cast<long>(std::strlen(kLogClose));
    std::fseek(log.get(), st.st_size >= back ? -back : 0, SEEK_END);
  } else {
    log = OpenPrivateForWriting(path);
    if (!log) return;
    std::fputs("<XmlLog>\n", log.get());
  }
  if (fromFile) {
    FilePtr in(std::fopen(std::string(text).c_str(), "rb"));
    char piece[2047];
    bool first = true;
    while (in) {
      const std::size_t n = std::fread(piece, 1, sizeof piece, in.get());
      if (n == 0) break;
      std::string_view chunk(piece, n);
      if (first) chunk = WithoutDeclaration(chunk);
      first = false;
      std::fwrite(chunk.data(), 1, chunk.size(), log.get());
    }
  } else {
    const std::string_view clean = WithoutDeclaration(text);
    std::fwrite(clean.data(), 1, clean.size(), log.get());
  }
  std::fputs(kLogClose, log.get());
}
