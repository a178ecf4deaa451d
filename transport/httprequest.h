#pragma once
// One HTTP request on the process's connection, driven through libcurl's multi interface.
//
// Nothing here blocks for longer than its caller allows. The body goes out in the pieces the
// caller offers, and the read callback pauses the upload while no piece is waiting; the
// answer is held back in a small buffer, and the write callback pauses the download while that
// buffer is full. A dialog can therefore move one piece per turn of its event loop. A caller
// without a window gives a body source and an answer sink instead and waits without a limit:
// the same transfer then runs straight through.
#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class CWebSvrConnection;

class CHttpRequest {
 public:
  // Fills `buffer` with up to `capacity` further body bytes; 0 when none are left.
  using BodySource = std::function<std::size_t(char* buffer, std::size_t capacity)>;
  // Takes answer bytes; false stops the transfer.
  using AnswerSink = std::function<bool(const char* bytes, std::size_t length)>;

  // `headerBlock` holds the request's own header lines, separated by LF or CR LF.
  CHttpRequest(CWebSvrConnection& connection, std::string verb, std::string path, std::string headerBlock,
               long long bodySize);
  ~CHttpRequest();
  CHttpRequest(const CHttpRequest&) = delete;
  CHttpRequest& operator=(const CHttpRequest&) = delete;

  // Starts the transfer on the connection. False when the connection is busy with another
  // request or libcurl refuses the options.
  bool Open();
  // Sends the same request again (after a 407), with the connection's proxy credentials.
  bool Resend();
  // The connection is going away: stop using it.
  void Abandon();

  // Sending. Offer hands over the next piece (copied); PieceSent tells when libcurl has taken
  // all of it. A source, when set, is read whenever libcurl wants more.
  void Offer(std::string_view piece);
  bool PieceSent() const { return sendPos_ >= pending_.size(); }
  void SetBodySource(BodySource source) { source_ = std::move(source); }

  // Receiving. Take moves up to `capacity` held answer bytes into `buffer`. A sink, when set,
  // gets every answer byte as it arrives (after the held ones).
  std::size_t Take(char* buffer, std::size_t capacity);
  std::size_t Held() const { return received_.size() - takePos_; }
  // False when the sink refused the held bytes.
  bool SetAnswerSink(AnswerSink sink);
  // The sink refused bytes: the transfer was stopped for that.
  bool AnswerRefused() const { return sinkFailed_; }

  // Runs the transfer until `ready` holds, the transfer ends, or `waitMs` milliseconds have
  // passed (a negative wait has no limit). Returns `ready()`.
  bool Drive(const std::function<bool()>& ready, int waitMs);
  bool DriveUntilSent(int waitMs);
  // The status is known once the answer's body begins or the transfer ends.
  bool DriveUntilStatus(int waitMs);
  bool DriveUntilAnswer(int waitMs);
  bool DriveUntilDone(int waitMs);

  bool Done() const { return done_; }
  bool Failed() const { return done_ && result_ != CURLE_OK; }
  bool StatusKnown() const { return bodyStarted_ || done_; }
  // The final status; a proxy's refusal of a tunnel counts as its status (407).
  long Status() const;
  // libcurl's description of a failed transfer.
  std::string ErrorText() const;
  // The authentication schemes (CURLAUTH_* bits) that a 407 answer offered.
  unsigned long OfferedProxySchemes() const { return proxySchemes_; }
  // New connections that the finished transfer had to open (0 when the kept one served).
  long NewConnections() const;

 private:
  static std::size_t OnRead(char* buffer, std::size_t size, std::size_t count, void* self);
  static std::size_t OnWrite(char* bytes, std::size_t size, std::size_t count, void* self);
  static std::size_t OnHeader(char* bytes, std::size_t size, std::size_t count, void* self);
  bool Configure();
  bool Attach();
  void Detach();
  void Unpause();
  void Collect();

  CWebSvrConnection* connection_;
  CURL* easy_;
  CURLM* multi_;
  std::string verb_, path_, headerBlock_;
  long long bodySize_;
  curl_slist* headers_ = nullptr;
  bool attached_ = false;

  std::string pending_;
  std::size_t sendPos_ = 0;
  BodySource source_;
  std::string received_;
  std::size_t takePos_ = 0;
  AnswerSink sink_;
  bool sinkFailed_ = false;

  unsigned long proxySchemes_ = 0;  // CURLAUTH_* bits offered by the last 407
  bool bodyStarted_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  char errorText_[CURL_ERROR_SIZE] = {};
};
