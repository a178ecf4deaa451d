#include "service-sim/trafficlog.h"

#include <fstream>

namespace sim {

TrafficLog::TrafficLog(const std::filesystem::path& file) : out_(file, std::ios::app | std::ios::binary) {
  if (!out_) throw std::runtime_error("cannot open the log file " + file.string());
}

void TrafficLog::WriteBody(const std::string& head, uint64_t size) {
  out_ << "\n" << head;
  if (size > head.size()) out_ << "\n[... " << (size - head.size()) << " more bytes]";
  out_ << "\n";
}

void TrafficLog::Request(const RecordedRequest& r) {
  std::ifstream body(r.bodyFile, std::ios::binary);
  std::string head(kBodyLimit, '\0');
  body.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(body.gcount()));

  std::lock_guard lock(mutex_);
  out_ << "==== " << r.time << " #" << r.seq << " request from " << r.remote << "\n"
       << r.method << " " << r.target << " " << r.version << "\n";
  for (const auto& [name, value] : r.headers) out_ << name << ": " << value << "\n";
  WriteBody(head, r.bodySize);
  out_.flush();
}

void TrafficLog::Response(uint64_t seq, const SoapReply& reply, const std::string& note) {
  std::string head = reply.Head(kBodyLimit);
  std::lock_guard lock(mutex_);
  out_ << "---- " << UtcNowText() << " #" << seq << " answer " << reply.status;
  if (!note.empty()) out_ << " (" << note << ")";
  out_ << "\nContent-Type: " << reply.contentType << "\n";
  for (const auto& [name, value] : reply.headers) out_ << name << ": " << value << "\n";
  WriteBody(head, reply.Size());
  out_.flush();
}

void TrafficLog::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  out_ << "#### " << UtcNowText() << " " << text << "\n";
  out_.flush();
}

}  // namespace sim
