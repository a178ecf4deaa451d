#pragma once
// Blowfish (the published 64-bit block cipher) in ECB mode with zero padding. The two 32-bit
// halves of a block are little-endian in memory: bytes 0 to 3 form the left half, 4 to 7 the
// right half. Files encrypted here are read by other installations, so that order is fixed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

class CBlowfish {
 public:
  CBlowfish();  // the initial constants; no key yet
  ~CBlowfish();  // wipes the key schedule
  CBlowfish(const CBlowfish&) = delete;
  CBlowfish& operator=(const CBlowfish&) = delete;

  // The standard key schedule; the key bytes are used cyclically. False for an empty key
  // (the previous key, if any, stays in force).
  bool SetKey(const void* key, size_t length);
  bool HasKey() const { return keyed_; }

  // Encrypts `length` bytes, zero-padding the last block; returns the padded length, which
  // `out` must hold. `in` and `out` may be the same buffer.
  size_t Encrypt(const void* in, void* out, size_t length) const;
  // Decrypts `length` rounded up to a multiple of 8 bytes into `out` (which must hold that
  // many). Only `length` bytes of `in` are read; a shorter last block counts as zero-padded.
  void Decrypt(const void* in, void* out, size_t length) const;

  // Encrypts the file into a new temporary file ("ATgn....vlr", mode 0600) and returns its path.
  HRESULT EncryptFile(const std::string& source, std::string& pathOut) const;
  // Decrypts the file into a new temporary file made with `pattern` (see MakeTempFile) and
  // drops the zero padding at its end. A source whose length is not a multiple of 8 is refused.
  HRESULT DecryptFile(const std::string& source, std::string_view pattern, std::string& pathOut) const;

 private:
  std::uint32_t F(std::uint32_t x) const;
  void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
  void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;

  std::array<std::uint32_t, 18> p_;
  std::array<std::array<std::uint32_t, 256>, 4> s_;
  bool keyed_ = false;
};
