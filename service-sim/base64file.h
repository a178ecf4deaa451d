#pragma once
// Decodes Base64 character data into a file as it streams in, so that a document of hundreds
// of megabytes passes with flat memory. The decoder is strict, as the service is: white space
// may break the text anywhere; any other character outside the alphabet, padding that is not
// at the end, or an incomplete last group makes the text invalid. The file is removed with the
// object unless it was moved away (MoveTo).
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "service-sim/soaprequest.h"

namespace sim {

class Base64FileSink : public TextSink {
 public:
  // Throws std::runtime_error when the file cannot be created.
  explicit Base64FileSink(std::filesystem::path file);
  ~Base64FileSink() override;
  Base64FileSink(const Base64FileSink&) = delete;
  Base64FileSink& operator=(const Base64FileSink&) = delete;

  void Write(const char* data, size_t size) override;
  void End() override;

  // Empty when the text decoded and was written; otherwise why not. Meaningful after End.
  const std::string& Error() const { return error_; }
  bool WriteFailed() const { return writeFailed_; }
  bool Ended() const { return ended_; }
  uint64_t Size() const { return size_; }
  const std::string& Sha256() const { return sha256_; }  // lower-case hex, after End
  const std::filesystem::path& File() const { return file_; }
  // Renames the file to `target` (same file system); it then stays.
  void MoveTo(const std::filesystem::path& target);

 private:
  void Fail(std::string why);
  void Flush();

  struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  struct DigestFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };

  std::filesystem::path file_;
  std::unique_ptr<FILE, FileCloser> out_;
  std::unique_ptr<EVP_MD_CTX, DigestFree> digest_;
  std::string error_;
  std::string sha256_;
  bool writeFailed_ = false;
  bool ended_ = false;
  bool kept_ = false;
  uint32_t group_ = 0;      // bits of the group being read
  int groupChars_ = 0;      // characters in it so far
  int padding_ = 0;         // '=' seen; nothing but white space and '=' may follow
  bool done_ = false;       // the padded last group is complete
  uint64_t position_ = 0;   // characters read, for messages
  uint64_t size_ = 0;       // bytes decoded
  std::string buffer_;      // decoded bytes not yet written
};

}  // namespace sim
