#include "jet/header.h"

#include <array>
#include <cmath>
#include <cstring>

#include "jet/bytes.h"
#include "jet/database.h"

namespace jet {

namespace {

constexpr uint8_t kMagic[20] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                'r',  'd',  ' ',  'J',  'e', 't', ' ', 'D', 'B', 0};
constexpr uint8_t kAceMagic[20] = {0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n', 'd', 'a',
                                   'r',  'd',  ' ',  'A',  'C', 'E', ' ', 'D', 'B', 0};
constexpr size_t kMaskStart = 0x18;
constexpr size_t kMaskLength = 128;
constexpr size_t kPasswordAt = 0x42;
constexpr size_t kDateAt = 0x72;

const std::vector<uint8_t>& headerMask() {
  static const std::vector<uint8_t> mask = rc4({0xC7, 0xDA, 0x39, 0x6B}, kMaskLength);
  return mask;
}

// The password field is stored XOR these four bytes, repeated.
std::array<uint8_t, 4> passwordMask(double date) {
  int32_t whole = int32_t(date);
  std::array<uint8_t, 4> m;
  put32(m.data(), uint32_t(whole));
  return m;
}

uint32_t computeSidKey(const uint8_t* plain) {
  uint32_t key = get32(plain + kDateAt);
  double date;
  std::memcpy(&date, plain + kDateAt, 8);
  auto mask = passwordMask(date);
  for (int i = 0; i < 40; ++i) {
    uint8_t b = plain[kPasswordAt + 2 * i];
    if (2 * i < 40) b ^= mask[(2 * i) % 4];
    key ^= uint32_t(b) << (i % 24);
  }
  return key;
}

}  // namespace

std::vector<uint8_t> rc4(const std::vector<uint8_t>& key, size_t length) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[size_t(i) % key.size()]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  std::vector<uint8_t> out(length);
  for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    out[n] = s[(s[i] + s[j]) & 0xFF];
  }
  return out;
}

Page makeHeaderPage(double creationDate) {
  Page p{};
  std::memcpy(p.data(), kMagic, sizeof kMagic);
  p[0x14] = 0x01;  // Jet 4
  static constexpr uint8_t fixedStart[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0,
                                             3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
  std::memcpy(&p[kMaskStart], fixedStart, sizeof fixedStart);
  put16(&p[0x3C], 1252);
  put32(&p[0x3E], 0);  // no page encryption
  // An empty password is stored as the bare mask.
  auto mask = passwordMask(creationDate);
  for (int i = 0; i < 40; ++i) p[kPasswordAt + size_t(i)] = mask[size_t(i) % 4];
  static constexpr uint8_t sortOrder[4] = {0x09, 0x04, 0x00, 0x00};  // General (legacy)
  std::memcpy(&p[0x6E], sortOrder, 4);
  std::memcpy(&p[kDateAt], &creationDate, 8);
  const auto& m = headerMask();
  for (size_t i = 0; i < kMaskLength; ++i) p[kMaskStart + i] ^= m[i];
  static constexpr uint8_t tail[8] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2E, 0x30, 0x00};
  std::memcpy(&p[0x98], tail, sizeof tail);
  // Per-connection slots; an all-zero table makes the Jet engine see the
  // file as fully occupied.
  p[0xE00] = 0x01;
  p[0xE01] = 0x01;
  for (size_t i = 0xE02; i < kPageSize; i += 2) {
    p[i] = 0x00;
    p[i + 1] = 0x01;
  }
  return p;
}

HeaderInfo readHeader(const Page& page0, uint64_t fileSize) {
  if (fileSize < 2 * kPageSize)
    throw Error(Error::Code::NotJet4, "the file is too short to be an Access database");
  if (std::memcmp(page0.data(), kAceMagic, sizeof kAceMagic) == 0)
    throw Error(Error::Code::NotJet4,
                "the file is an Access 2007 or later database (.accdb), not Jet 4");
  if (std::memcmp(page0.data(), kMagic, sizeof kMagic) != 0)
    throw Error(Error::Code::NotJet4, "the file is not an Access database");
  uint8_t version = page0[0x14];
  if (version == 0x00)
    throw Error(Error::Code::NotJet4, "the file is a Jet 3 (Access 97) database, not Jet 4");
  if (version != 0x01)
    throw Error(Error::Code::NotJet4, "the file is a newer Access database, not Jet 4");
  if (fileSize % kPageSize != 0)
    throw Error(Error::Code::Corrupt, "the file size is not a whole number of pages (truncated?)");
  uint8_t plain[kPageSize];
  std::memcpy(plain, page0.data(), kPageSize);
  const auto& m = headerMask();
  for (size_t i = 0; i < kMaskLength; ++i) plain[kMaskStart + i] ^= m[i];
  if (get32(plain + 0x3E) != 0)
    throw Error(Error::Code::Encrypted, "the database is encrypted");
  HeaderInfo info;
  std::memcpy(&info.creationDate, plain + kDateAt, 8);
  if (!std::isfinite(info.creationDate) || std::fabs(info.creationDate) > 3e6)
    throw Error(Error::Code::Corrupt, "the database header is damaged");
  auto mask = passwordMask(info.creationDate);
  for (int i = 0; i < 40; ++i)
    if ((plain[kPasswordAt + size_t(i)] ^ mask[size_t(i) % 4]) != 0)
      throw Error(Error::Code::Encrypted, "the database is protected by a password");
  info.codePage = get16(plain + 0x3C);
  info.sidKey = computeSidKey(plain);
  return info;
}

std::vector<uint8_t> sidCipher(uint32_t sidKey, const std::vector<uint8_t>& sid) {
  std::vector<uint8_t> key(4);
  put32(key.data(), sidKey);
  auto stream = rc4(key, sid.size());
  std::vector<uint8_t> out(sid.size());
  for (size_t i = 0; i < sid.size(); ++i) out[i] = sid[i] ^ stream[i];
  return out;
}

}  // namespace jet
