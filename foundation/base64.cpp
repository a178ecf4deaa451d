#include "foundation/base64.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "foundation/tempfile.h"
#include "platform/win/folders.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters per 12 input bits: half the lookups of a per-character table.
constexpr auto kPairs = [] {
  std::array<std::array<char, 2>, 4096> t{};
  for (size_t i = 0; i < t.size(); ++i) t[i] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
  return t;
}();

constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kSpace = 0xFE;
constexpr std::uint8_t kInvalid = 0xFF;

// Alphabet characters (also with the top bit set, as older mailers sent them) map to their
// value, "=" to kPad; bytes 7 to 13 and 32 are white space.
constexpr auto kDecode = [] {
  std::array<std::uint8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (std::uint8_t i = 0; i < 64; ++i) {
    t[static_cast<unsigned char>(kAlphabet[i])] = i;
    t[static_cast<unsigned char>(kAlphabet[i]) | 0x80] = i;
  }
  t['='] = t['=' | 0x80] = kPad;
  for (int c = 7; c <= 13; ++c) t[c] = kSpace;
  t[' '] = kSpace;
  return t;
}();

constexpr size_t EncodedSize(size_t n) { return (n + 2) / 3 * 4; }

char* EncodeGroup(std::uint32_t v, char* out) {
  std::memcpy(out, kPairs[v >> 12].data(), 2);
  std::memcpy(out + 2, kPairs[v & 0xFFF].data(), 2);
  return out + 4;
}

// Encodes `n` bytes with padding; returns the end of the output.
char* EncodeBytes(const unsigned char* in, size_t n, char* out) {
  size_t i = 0;
  for (; i + 3 <= n; i += 3)
    out = EncodeGroup(std::uint32_t(in[i]) << 16 | std::uint32_t(in[i + 1]) << 8 | in[i + 2], out);
  if (i < n) {
    const size_t rest = n - i;
    std::uint32_t v = std::uint32_t(in[i]) << 16;
    if (rest == 2) v |= std::uint32_t(in[i + 1]) << 8;
    out = EncodeGroup(v, out);
    out[-1] = '=';
    if (rest == 1) out[-2] = '=';
  }
  return out;
}

// Decodes a stream of characters in any number of pieces. Groups of four may straddle
// pieces and line breaks; a group with padding carries only the bytes of its characters
// before the first "=".
class StreamDecoder {
 public:
  // Writes at most (n + 3) / 4 * 3 bytes; returns the end of the output.
  unsigned char* Feed(const unsigned char* in, size_t n, unsigned char* out) {
    size_t i = 0;
    while (i < n) {
      if (have_ == 0) {
        // The common case: four alphabet characters in a row.
        for (; i + 4 <= n; i += 4) {
          const std::uint8_t a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]],
                             d = kDecode[in[i + 3]];
          if ((a | b | c | d) & 0xC0) break;
          const std::uint32_t v = std::uint32_t(a) << 18 | std::uint32_t(b) << 12 | c << 6 | d;
          out[0] = static_cast<unsigned char>(v >> 16);
          out[1] = static_cast<unsigned char>(v >> 8);
          out[2] = static_cast<unsigned char>(v);
          out += 3;
        }
        if (i >= n) break;
      }
      const std::uint8_t t = kDecode[in[i++]];
      if (t > kPad) continue;  // white space, or not Base64 at all
      group_[have_++] = t;
      if (have_ == 4) out = Flush(out);
    }
    return out;
  }

  // An unpadded last group of two or three characters still carries one or two bytes.
  unsigned char* Finish(unsigned char* out) { return have_ ? Flush(out) : out; }

 private:
  unsigned char* Flush(unsigned char* out) {
    size_t chars = 0;
    while (chars < have_ && group_[chars] != kPad) ++chars;
    std::uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) v = v << 6 | (k < chars ? group_[k] : 0);
    const unsigned char bytes[3] = {static_cast<unsigned char>(v >> 16),
                                    static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v)};
    const size_t count = chars < 2 ? 0 : chars - 1;
    std::memcpy(out, bytes, count);
    have_ = 0;
    return out + count;
  }

  std::uint8_t group_[4] = {};
  size_t have_ = 0;
};

// Grows to the next multiple of 4096 above `size`, so there is always room for a terminator,
// and leaves the buffer all zeros. Only the first `used` bytes can be non-zero beforehand.
template <class T>
void Reserve(std::unique_ptr<T[]>& buffer, size_t& capacity, size_t used, size_t size) {
  if (size > SIZE_MAX - 8192) throw std::bad_alloc();
  const size_t want = (size / 4096 + 1) * 4096;
  if (want > capacity) {
    buffer = std::make_unique<T[]>(want);
    capacity = want;
  } else {
    std::memset(buffer.get(), 0, std::min(used + 1, capacity));
  }
}

// The caller's input may be our own buffer (re-encoding what was just decoded into it...):
// keep a copy of it before the buffer is cleared or replaced.
template <class T>
const unsigned char* Detach(const void* bytes, size_t length, const std::unique_ptr<T[]>& buffer,
                            size_t capacity, std::vector<unsigned char>& copy) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  const auto* begin = reinterpret_cast<const unsigned char*>(buffer.get());
  const std::less_equal<const unsigned char*> le;
  if (length == 0 || !begin || !le(begin, p) || !le(p, begin + capacity)) return p;
  copy.assign(p, p + length);
  return copy.data();
}

constexpr unsigned char kNothing[1] = {0};

// Sizes of the file coder's pieces: whole lines of 48 bytes in, 65 characters out.
constexpr size_t kLineBytes = 48;
constexpr size_t kLinesPerPiece = 2048;
constexpr size_t kDecodePiece = 256 * 1024;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void LogFileError(const char* what, const std::string& path) {
  DiagLog().Error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

File OpenSource(const std::string& path) {
  File f(std::fopen(path.c_str(), "rbe"));
  if (!f) LogFileError("Cannot open", path);
  return f;
}

// Refuses a target that is the source itself: opening it would truncate the input.
bool SameFile(std::FILE* source, const std::string& target) {
  struct stat a, b;
  return ::fstat(fileno(source), &a) == 0 && ::stat(target.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The target is created (or replaced) with mode 0600; `partial` removes it again unless
// the caller releases it after a good close.
File CreateTarget(const std::string& path, TempFile& partial) {
  const int fd = win::CreatePrivateFile(path);
  if (fd < 0) {
    LogFileError("Cannot create", path);
    return nullptr;
  }
  partial = TempFile(path);
  File f(fdopen(fd, "wb"));
  if (!f) ::close(fd);
  return f;
}

size_t ReadPiece(std::FILE* f, unsigned char* buffer, size_t size, bool& failed) {
  const size_t n = std::fread(buffer, 1, size, f);
  failed = n < size && std::ferror(f);
  return n;
}

bool WritePiece(std::FILE* f, const void* data, size_t size) {
  return size == 0 || std::fwrite(data, 1, size, f) == size;
}

bool CloseTarget(File& f, TempFile& partial, const std::string& path) {
  if (std::fclose(f.release()) != 0) {
    LogFileError("Cannot write", path);
    return false;
  }
  partial.Release();
  return true;
}

}  // namespace

Base64Coder::~Base64Coder() = default;

void Base64Coder::AllocEncode(size_t size) {
  Reserve(encoded_, encodedCapacity_, encodedLength_, size);
  encodedLength_ = 0;
}

void Base64Coder::AllocDecode(size_t size) {
  Reserve(decoded_, decodedCapacity_, decodedLength_, size);
  decodedLength_ = 0;
}

void Base64Coder::SetDecodeBuffer(const unsigned char* bytes, size_t length) {
  AllocDecode(length);
  if (length) std::memcpy(decoded_.get(), bytes, length);
  decodedLength_ = length;
}

void Base64Coder::SetEncodeBuffer(const unsigned char* bytes, size_t length) {
  AllocEncode(length);
  size_t kept = 0;
  for (size_t i = 0; i < length; ++i)
    if (kDecode[bytes[i]] <= kPad) encoded_[kept++] = static_cast<char>(bytes[i]);
  encodedLength_ = kept;
}

void Base64Coder::Encode(const std::string& text) { Encode(text.data(), text.size()); }

void Base64Coder::Encode(const void* bytes, size_t length) {
  if (length > (SIZE_MAX - 8192) / 4 * 3) throw std::bad_alloc();
  std::vector<unsigned char> copy;
  SetDecodeBuffer(Detach(bytes, length, decoded_, decodedCapacity_, copy), length);
  AllocEncode(EncodedSize(length));
  encodedLength_ = static_cast<size_t>(EncodeBytes(decoded_.get(), length, encoded_.get()) - encoded_.get());
}

void Base64Coder::Decode(const std::string& text) { Decode(text.data(), text.size()); }

void Base64Coder::Decode(const void* bytes, size_t length) {
  std::vector<unsigned char> copy;
  SetEncodeBuffer(Detach(bytes, length, encoded_, encodedCapacity_, copy), length);
  AllocDecode(encodedLength_ / 4 * 3 + 3);
  StreamDecoder decoder;
  const auto* text = reinterpret_cast<const unsigned char*>(encoded_.get());
  unsigned char* end = decoder.Feed(text, encodedLength_, decoded_.get());
  end = decoder.Finish(end);
  decodedLength_ = static_cast<size_t>(end - decoded_.get());
}

DecodedBytes Base64Coder::GetDecoded() const {
  return DecodedBytes(decoded_ ? decoded_.get() : kNothing);
}

const char* Base64Coder::GetEncoded() const {
  return encoded_ ? encoded_.get() : reinterpret_cast<const char*>(kNothing);
}

File64Coder::~File64Coder() = default;

bool File64Coder::EncodeFile(const std::string& source, const std::string& target) {
  LogBlock block("File64Coder::EncodeFile");
  File in = OpenSource(source);
  if (!in || SameFile(in.get(), target)) return false;
  TempFile partial;
  File out = CreateTarget(target, partial);
  if (!out) return false;
  constexpr size_t kInSize = kLineBytes * kLinesPerPiece;
  constexpr size_t kOutSize = (EncodedSize(kLineBytes) + 1) * kLinesPerPiece;
  std::vector<unsigned char> bytes(kInSize);
  std::vector<char> text(kOutSize);
  for (;;) {
    bool failed = false;
    const size_t n = ReadPiece(in.get(), bytes.data(), kInSize, failed);
    if (failed) {
      LogFileError("Cannot read", source);
      return false;
    }
    if (n == 0) break;
    // Pieces hold whole lines, so the lines come out as if read 48 bytes at a time.
    char* end = text.data();
    for (size_t at = 0; at < n; at += kLineBytes) {
      end = EncodeBytes(bytes.data() + at, std::min(kLineBytes, n - at), end);
      *end++ = '\n';
    }
    if (!WritePiece(out.get(), text.data(), static_cast<size_t>(end - text.data()))) {
      LogFileError("Cannot write", target);
      return false;
    }
    if (n < kInSize) break;
  }
  return CloseTarget(out, partial, target);
}

bool File64Coder::DecodeFile(const std::string& source, const std::string& target) {
  LogBlock block("File64Coder::DecodeFile");
  File in = OpenSource(source);
  if (!in || SameFile(in.get(), target)) return false;
  TempFile partial;
  File out = CreateTarget(target, partial);
  if (!out) return false;
  std::vector<unsigned char> text(kDecodePiece);
  std::vector<unsigned char> bytes(kDecodePiece / 4 * 3 + 3);
  StreamDecoder decoder;
  for (;;) {
    bool failed = false;
    const size_t n = ReadPiece(in.get(), text.data(), text.size(), failed);
    if (failed) {
      LogFileError("Cannot read", source);
      return false;
    }
    unsigned char* end = decoder.Feed(text.data(), n, bytes.data());
    if (n < text.size()) end = decoder.Finish(end);
    if (!WritePiece(out.get(), bytes.data(), static_cast<size_t>(end - bytes.data()))) {
      LogFileError("Cannot write", target);
      return false;
    }
    if (n < text.size()) break;
  }
  return CloseTarget(out, partial, target);
}
