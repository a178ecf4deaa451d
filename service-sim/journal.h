#pragma once
// The most recent requests as received (headers and spooled bodies), for tests that compare
// requests as the service sees them. Older bodies are deleted as new ones arrive: at most
// kKeep requests, and fewer when their bodies together pass kKeepBytes (uploads may be
// hundreds of megabytes each); the newest is always kept.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  uint64_t seq = 0;
  std::string time;  // UTC, ISO 8601 with milliseconds
  std::string method, target, version;
  std::string remote;  // address:port
  HeaderList headers;
  std::filesystem::path bodyFile;
  uint64_t bodySize = 0;
  int status = 0;  // of the answer
  std::string note;  // what was injected, if anything

  // "METHOD target HTTP/1.1", then "Name: value" lines, CR LF each, and an empty line.
  std::string HeadText() const;
};

class Journal {
 public:
  static constexpr size_t kKeep = 32;
  static constexpr uint64_t kKeepBytes = uint64_t{512} << 20;

  explicit Journal(std::filesystem::path spoolDir, size_t keep = kKeep, uint64_t keepBytes = kKeepBytes);
  uint64_t NextSeq();
  std::filesystem::path BodyPath(uint64_t seq) const;
  std::filesystem::path TextFileStem(uint64_t seq) const;
  void Add(RecordedRequest request);
  // Newest first.
  std::vector<RecordedRequest> Latest(size_t count) const;
  void Clear();

 private:
  std::filesystem::path spoolDir_;
  size_t keep_;
  uint64_t keepBytes_;
  mutable std::mutex mutex_;
  uint64_t seq_ = 0;
  std::deque<RecordedRequest> entries_;  // oldest first
  uint64_t bytes_ = 0;                   // their bodies together
};

std::string UtcNowText();

}  // namespace sim
