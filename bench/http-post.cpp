// vlr-http-post: posts one file as the request body through the operation engine in file mode,
// as a whole process, for timing against curl. The engine deletes its request file once the
// status is known (as it does with every request file), so pass a link or a copy.
//
//   vlr-http-post URL FILE [--stepped]
//
// The connection goes to the configured Host (VLR_HOME's settings); URL gives the path.
// --stepped runs the stages one at a time, as a dialog would, without a user interface.
// Prints the status, the bytes sent and received; exit status 0 when an answer came back.
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "operations/protocol.h"
#include "transport/msgwindow.h"
#include "transport/webapi.h"
#include "transport/webop.h"

namespace {

class FilePost : public CWebSvrOp {
 public:
  FilePost(std::string url, std::string file) : CWebSvrOp(std::move(url)), file_(std::move(file)) {
    kind_ = "FilePost";
    bodyPath_ = "/soap:Envelope/soap:Body";
    faultElement_ = "soap:Fault";
  }
  bool PrepareData() override {
    bodyFromFile_ = true;
    body_ = file_;
    return true;
  }
  bool ParseResponse() override { return true; }

 private:
  std::string file_;
};

// Runs every posted stage in turn, as the pump does, but without waiting between them.
class Stepper : public CMsgWindow {
 public:
  void PostMessage(unsigned, std::intptr_t wParam, std::intptr_t) override { queue.push_back(int(wParam)); }
  std::deque<int> queue;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vlr-http-post URL FILE [--stepped]\n");
    return 2;
  }
  const bool stepped = argc > 3 && !std::strcmp(argv[3], "--stepped");
  SetTheProtocol(std::make_unique<CProtocol>());
  if (TheProtocol()->Connect(argv[1]) != S_OK) {
    std::fprintf(stderr, "vlr-http-post: no connection\n");
    return 1;
  }
  FilePost op(argv[1], argv[2]);
  if (stepped) {
    Stepper window;
    window.queue.push_back(0);
    while (!window.queue.empty()) {
      const int stage = window.queue.front();
      window.queue.pop_front();
      if (stage == 5 || !op.Run(&window, WMU_RUN_OP, stage)) break;
    }
    op.CloseRequest();
  } else {
    op.Run(nullptr, 0, 0);
  }
  std::printf("status %ld, %lld bytes sent, %lld received\n", op.HttpStatus(), op.BytesSent(), op.BytesReceived());
  if (!op.TransportError().empty()) std::fprintf(stderr, "vlr-http-post: %s\n", op.TransportError().c_str());
  SetTheProtocol(nullptr);
  return op.HttpStatus() > 0 ? 0 : 1;
}
