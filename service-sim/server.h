#pragma once
// attestra-sim's HTTP(S) server: routes the service endpoints and the control interface,
// spools request bodies to the data folder, applies injected faults, records and logs traffic.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "service-sim/options.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace sim {

class Store;
class Journal;
class TrafficLog;
class ControlState;
class ControlPanel;
class Endpoint;
struct SoapReply;

class SimServer {
 public:
  // Prepares the data folder, opens the state, makes the certificate when needed and binds
  // 127.0.0.1:port. Throws std::runtime_error.
  explicit SimServer(const Options& options);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  int Port() const { return port_; }
  // Serves until Stop(); returns false when serving could not start.
  bool Run();
  // From any thread: stops accepting, cuts waits and idle connections, returns once Run ended.
  void Stop();

 private:
  void Serve(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader* reader);
  void ServeControl(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader* reader, const std::string& path);
  SoapReply CallEndpoint(Endpoint& endpoint, const std::filesystem::path& body, uint64_t seq,
                         const httplib::Request& req);
  void Send(const SoapReply& reply, httplib::Response& res, int64_t truncateTo);
  // Waits `ms` unless the server stops first.
  void Pause(int ms);

  Options options_;
  std::filesystem::path spoolDir_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<Journal> journal_;
  std::unique_ptr<TrafficLog> log_;
  std::unique_ptr<ControlState> control_;
  std::unique_ptr<ControlPanel> panel_;
  std::unique_ptr<Endpoint> credential_;
  std::unique_ptr<Endpoint> api_;
  std::unique_ptr<httplib::Server> http_;
  int port_ = -1;

  std::mutex stopMutex_;
  std::condition_variable stopCv_;
  bool stopping_ = false;
  bool finished_ = false;
};

}  // namespace sim
