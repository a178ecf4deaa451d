#include "service-sim/base64file.h"

#include <array>
#include <stdexcept>
#include <system_error>

namespace sim {
namespace {

constexpr size_t kFlushAt = 64 * 1024;
constexpr int8_t kSpace = -2;
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> MakeTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  for (char c : {' ', '\t', '\r', '\n'}) t[static_cast<unsigned char>(c)] = kSpace;
  return t;
}

constexpr std::array<int8_t, 256> kTable = MakeTable();

std::string Shown(unsigned char c) {
  if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", c);
  return text;
}

}  // namespace

Base64FileSink::Base64FileSink(std::filesystem::path file) : file_(std::move(file)) {
  out_.reset(std::fopen(file_.c_str(), "wb"));
  if (!out_) throw std::runtime_error("cannot create " + file_.string());
  digest_.reset(EVP_MD_CTX_new());
  if (!digest_ || EVP_DigestInit_ex(digest_.get(), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("no SHA-256 digest");
  buffer_.reserve(kFlushAt + 3);
}

Base64FileSink::~Base64FileSink() {
  out_.reset();
  if (!kept_) {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
  }
}

void Base64FileSink::Fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
}

void Base64FileSink::Flush() {
  if (buffer_.empty() || writeFailed_) return;
  EVP_DigestUpdate(digest_.get(), buffer_.data(), buffer_.size());
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), out_.get()) != buffer_.size()) {
    writeFailed_ = true;
    Fail("the document could not be stored");
  }
  buffer_.clear();
}

void Base64FileSink::Write(const char* data, size_t size) {
  if (!error_.empty()) return;  // nothing more to learn from an invalid text
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    ++position_;
    int8_t v = kTable[c];
    if (v == kSpace) continue;
    if (c == '=') {
      // Padding completes a group of two or three characters, one or two '=' in all.
      if (done_ || groupChars_ + padding_ < 2)
        return Fail("misplaced padding at character " + std::to_string(position_));
      if (++padding_ + groupChars_ == 4) {
        uint32_t bits = group_ << (6 * padding_);
        buffer_.push_back(static_cast<char>(bits >> 16));
        if (groupChars_ == 3) buffer_.push_back(static_cast<char>(bits >> 8));
        size_ += static_cast<uint64_t>(groupChars_ - 1);
        done_ = true;  // only white space may follow
      }
      continue;
    }
    if (v == kInvalid)
      return Fail("the character " + Shown(c) + " at character " + std::to_string(position_) +
                  " is not Base64");
    if (padding_ > 0)
      return Fail("text follows the padding at character " + std::to_string(position_));
    group_ = (group_ << 6) | static_cast<uint32_t>(v);
    if (++groupChars_ == 4) {
      buffer_.push_back(static_cast<char>(group_ >> 16));
      buffer_.push_back(static_cast<char>(group_ >> 8));
      buffer_.push_back(static_cast<char>(group_));
      size_ += 3;
      group_ = 0;
      groupChars_ = 0;
      if (buffer_.size() >= kFlushAt) Flush();
    }
  }
}

void Base64FileSink::End() {
  if (ended_) return;
  ended_ = true;
  if (error_.empty() && padding_ > 0 && !done_)
    Fail("the padding at the end is incomplete");
  else if (error_.empty() && padding_ == 0 && groupChars_ != 0)
    Fail("the text ends inside a group of four characters");
  if (error_.empty()) Flush();
  if (out_ && std::fclose(out_.release()) != 0 && error_.empty()) {
    writeFailed_ = true;
    Fail("the document could not be stored");
  }
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(digest_.get(), md, &length);
  static const char* hex = "0123456789abcdef";
  sha256_.clear();
  for (unsigned int i = 0; i < length; ++i) {
    sha256_ += hex[md[i] >> 4];
    sha256_ += hex[md[i] & 15];
  }
}

void Base64FileSink::MoveTo(const std::filesystem::path& target) {
  out_.reset();
  std::filesystem::rename(file_, target);
  file_ = target;
  kept_ = true;
}

}  // namespace sim
