#pragma once
// Base64 with the standard alphabet and padding (as in MIME). Documents travel to and from the
// service as Base64 text, so the file coder streams: its memory stays flat whatever the size.
#include <cstddef>
#include <memory>
#include <string>

// The decoded bytes, readable as bytes or as zero-terminated text.
class DecodedBytes {
 public:
  explicit DecodedBytes(const unsigned char* bytes) : bytes_(bytes) {}
  operator const unsigned char*() const { return bytes_; }
  operator const char*() const { return reinterpret_cast<const char*>(bytes_); }
  operator const void*() const { return bytes_; }
  unsigned char operator[](size_t i) const { return bytes_[i]; }

 private:
  const unsigned char* bytes_;
};

class Base64Coder {
 public:
  Base64Coder() = default;
  virtual ~Base64Coder();
  Base64Coder(const Base64Coder&) = delete;
  Base64Coder& operator=(const Base64Coder&) = delete;

  // The text's bytes, without a terminator. The result is GetEncoded, GetEncodedLength long.
  virtual void Encode(const std::string& text);
  virtual void Encode(const void* bytes, size_t length);
  // White space (bytes 7 to 13 and 32) is left out; so is anything outside the alphabet.
  // The result is GetDecoded, GetDecodedLength long.
  virtual void Decode(const std::string& text);
  virtual void Decode(const void* bytes, size_t length);
  // Both outputs are zero-terminated, so text can be read without the length.
  virtual DecodedBytes GetDecoded() const;
  virtual const char* GetEncoded() const;

  size_t GetDecodedLength() const { return decodedLength_; }
  size_t GetEncodedLength() const { return encodedLength_; }

 protected:
  // Grow to `size` rounded up to the next multiple of 4096 above it; the contents are zero
  // afterwards. Throw std::bad_alloc when memory runs out.
  virtual void AllocEncode(size_t size);
  virtual void AllocDecode(size_t size);
  // Copies the input of a decode into the encoded buffer, leaving out white space and
  // characters outside the alphabet.
  virtual void SetEncodeBuffer(const unsigned char* bytes, size_t length);
  // Copies the input of an encode into the decoded buffer.
  virtual void SetDecodeBuffer(const unsigned char* bytes, size_t length);

  std::unique_ptr<unsigned char[]> decoded_;
  std::unique_ptr<char[]> encoded_;
  size_t decodedCapacity_ = 0;
  size_t encodedCapacity_ = 0;
  size_t decodedLength_ = 0;
  size_t encodedLength_ = 0;
};

class File64Coder : public Base64Coder {
 public:
  File64Coder() = default;
  ~File64Coder() override;

  // Writes the source as lines of 64 characters (the last one shorter), each ending in a line
  // feed; an empty source gives an empty target. True on success.
  bool EncodeFile(const std::string& source, const std::string& target);
  // Accepts line-broken text of any line length (LF or CRLF) as well as one long line.
  // The target is created (or replaced) with mode 0600 and removed again when decoding fails.
  bool DecodeFile(const std::string& source, const std::string& target);
};
