#pragma once
// The operation engine: every call to the service is one object derived from CWebSvrOp. It is
// built with the endpoint URL, fills in its request in PrepareData, is driven through six
// stages by Run and reads its answer in ParseResponse.
//
//   0 prepare    PrepareData, then the URL's server name and path (with the query)
//   1 open       the request on the process's connection; in file mode the body file opened
//   2 send       the body: one 4095-byte piece per call with a window, all of it without
//   3 status     the status code (one resend after a 407 with proxy credentials)
//   4 receive    the answer: one 4096-byte read per call with a window, all of it without;
//                then the fault check and ParseResponse
//   5 complete   nothing more to do
//
// With a window, one call of Run runs one stage and posts the next stage to the window; a
// stage that is waiting for the network gives the event loop back after a short while and posts
// itself again. Without a window, one call runs every stage to the end.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/xmlio.h"
#include "platform/win/hresult.h"

class CHttpRequest;
class CMsgWindow;
class CXMLDoc;

// The result code after a transport failure (the platform's "internet exception").
inline constexpr HRESULT kInternetException = MakeHr(0x80040205);
// The fault string shown after it.
inline constexpr const char* kInternetExceptionText =
    "An internal exception has occurred.  Your connection to the remote service has failed.  "
    "Please contact Technical Support.";

class CWebSvrOp {
 public:
  explicit CWebSvrOp(std::string url);
  virtual ~CWebSvrOp();
  CWebSvrOp(const CWebSvrOp&) = delete;
  CWebSvrOp& operator=(const CWebSvrOp&) = delete;

  virtual bool ParseResponse() = 0;
  virtual bool PrepareData() = 0;

  // True when the stage succeeded (or the operation is complete), false when it failed: the
  // result code and the fault string then say why.
  bool Run(CMsgWindow* window, unsigned message, int stage);

  // MakeTempFile(pattern), which then becomes the response file.
  bool UseResponseFile(std::string_view pattern = {});
  // MakeTempFile(pattern), opened for writing: the request body is then streamed from that
  // file. The path also goes to `pathOut` when given. The operation owns the open file; it is
  // closed by FinishRequestFile or, at the latest, when the request is opened.
  std::FILE* OpenRequestFile(std::string_view pattern = {}, std::string* pathOut = nullptr);
  // Closes the request file written since OpenRequestFile; false (and the file deleted) when
  // a write failed.
  bool FinishRequestFile();
  // Deletes the request file of an abandoned operation and frees the send buffer.
  void CloseRequestFile();
  // 0 or an error number; the result is LastTempFile().
  LONG MakeTempFile(std::string_view pattern);
  // Closes and deletes the request handle (the driving dialog does so after stage 5 or a failure).
  void CloseRequest();

  // Appends "name: value" (value in double quotes when `quoted`) to the header block, after a
  // bare LF when the block is not empty; with a missing name or value, appends CR LF.
  void AddHeader(const char* name, const char* value, bool quoted);
  // Appends the text (or, with `fromFile`, the content of the file it names) to the
  // request/response log when XML logging is on.
  void AppendXmlLog(std::string_view text, bool fromFile = false);
  // True when the answer is a fault or cannot be used.
  bool CheckFault();

  const char* ProgressText(int stage) const;
  const std::string& Kind() const { return kind_; }
  HRESULT ResultCode() const { return result_; }
  void SetResultCode(HRESULT code) { result_ = code; }
  const std::string& FaultCode() const { return faultCode_; }
  const std::string& FaultString() const { return faultString_; }
  // What the HTTP client said about a transport failure (for the log and the command line).
  const std::string& TransportError() const { return transportError_; }
  const std::string& Url() const { return url_; }
  const std::string& RequestPath() const { return requestPath_; }
  const std::string& HeaderBlock() const { return headers_; }
  const std::string& RequestBody() const { return body_; }
  bool BodyFromFile() const { return bodyFromFile_; }
  const std::string& ResponseText() const { return responseText_; }
  const std::string& ResponseFilePath() const { return responsePath_; }
  const std::string& LastTempFile() const { return lastTempPath_; }
  long long BytesSent() const { return bytesSent_; }
  long long BytesReceived() const { return bytesReceived_; }
  long HttpStatus() const { return status_; }
  // New connections the last transfer opened: 0 when the kept-alive one served.
  long NewConnections() const { return newConnections_; }
  bool HasOpenRequest() const { return request_ != nullptr; }
  CXMLDoc* Document() const { return doc_.get(); }

 protected:
  const char* progress_[6] = {"", "", "", "", "", ""};
  std::string kind_ = "Unknown";
  std::string responseText_;
  std::string body_;  // the request body, or in file mode the path of the file that holds it
  std::string headers_;
  std::string soapAction_;
  std::string verb_ = "POST";
  std::string contentType_ = "text/xml; charset=utf-8";
  std::string query_;
  bool bodyFromFile_ = false;
  bool parseOnFault_ = false;
  bool streamingResponse_ = false;
  bool logXml_ = false;
  std::string responsePath_;
  std::string faultCode_;
  std::string faultString_;
  HRESULT result_ = S_OK;
  std::unique_ptr<CXMLDoc> doc_;
  std::string bodyPath_ = "/SOAP-ENV:Envelope/SOAP-ENV:Body";
  std::string faultElement_ = "SOAP-ENV:Fault";

 private:
  struct Outcome {
    int next;  // the stage to post (or to go on with); -1: none
    bool ok;
  };
  void ResetRun();
  Outcome RunStage(int stage, bool stepped);
  Outcome Prepare(bool stepped);
  Outcome OpenRequest(bool stepped);
  Outcome SendBody(bool stepped);
  Outcome QueryStatus(bool stepped);
  Outcome Receive(bool stepped);
  Outcome FinishReceiving();
  Outcome InternetException();
  bool OpenBodyFile();
  void DeleteBodyFile();
  std::size_t ReadBodyPieces(char* buffer, std::size_t capacity);
  bool StoreAnswer(const char* bytes, std::size_t length);
  void ParseUrl();

  std::string url_;
  std::string requestPath_;
  std::string* requestPathOut_ = nullptr;
  FilePtr requestWrite_;
  long long bodySize_ = 0;
  long long bytesSent_ = 0;
  std::unique_ptr<CHttpRequest> request_;
  long long bytesReceived_ = 0;
  FilePtr bodyFile_;
  bool bodyFileOpen_ = false;
  FilePtr responseFile_;
  bool responseFileOpen_ = false;
  std::unique_ptr<char[]> sendBuffer_;
  std::unique_ptr<char[]> recvBuffer_;
  bool bodyOffered_ = false;
  bool proxyRetried_ = false;
  long status_ = 0;
  long newConnections_ = -1;
  std::string transportError_;
  std::string lastTempPath_;
};
