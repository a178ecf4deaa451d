#include "service-sim/journal.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace sim {

std::string UtcNowText() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

std::string RecordedRequest::HeadText() const {
  std::string s = method + " " + target + " " + version + "\r\n";
  for (const auto& [name, value] : headers) s += name + ": " + value + "\r\n";
  return s + "\r\n";
}

Journal::Journal(std::filesystem::path spoolDir, size_t keep, uint64_t keepBytes)
    : spoolDir_(std::move(spoolDir)), keep_(keep), keepBytes_(keepBytes) {}

uint64_t Journal::NextSeq() {
  std::lock_guard lock(mutex_);
  return ++seq_;
}

std::filesystem::path Journal::BodyPath(uint64_t seq) const {
  return spoolDir_ / ("request-" + std::to_string(seq) + ".body");
}

std::filesystem::path Journal::TextFileStem(uint64_t seq) const {
  return spoolDir_ / ("request-" + std::to_string(seq) + ".text");
}

void Journal::Add(RecordedRequest request) {
  std::lock_guard lock(mutex_);
  bytes_ += request.bodySize;
  entries_.push_back(std::move(request));
  while (entries_.size() > keep_ || (entries_.size() > 1 && bytes_ > keepBytes_)) {
    std::error_code ec;
    std::filesystem::remove(entries_.front().bodyFile, ec);
    bytes_ -= entries_.front().bodySize;
    entries_.pop_front();
  }
}

std::vector<RecordedRequest> Journal::Latest(size_t count) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedRequest> out;
  for (auto it = entries_.rbegin(); it != entries_.rend() && out.size() < count; ++it) out.push_back(*it);
  return out;
}

void Journal::Clear() {
  std::lock_guard lock(mutex_);
  std::error_code ec;
  for (const auto& e : entries_) std::filesystem::remove(e.bodyFile, ec);
  entries_.clear();
  bytes_ = 0;
}

}  // namespace sim
