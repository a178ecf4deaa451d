#pragma once
// The traffic log in the data folder: every request and answer with headers and body, bodies
// cut after kBodyLimit bytes so that big uploads do not flood it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "service-sim/journal.h"
#include "service-sim/soapreply.h"

namespace sim {

class TrafficLog {
 public:
  static constexpr size_t kBodyLimit = 16 * 1024;

  explicit TrafficLog(const std::filesystem::path& file);
  void Request(const RecordedRequest& request);
  void Response(uint64_t seq, const SoapReply& reply, const std::string& note);
  void Note(const std::string& text);

 private:
  void WriteBody(const std::string& head, uint64_t size);

  std::mutex mutex_;
  std::ofstream out_;
};

}  // namespace sim
