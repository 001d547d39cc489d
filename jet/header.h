// Page 0: the database header, its RC4-masked region, and the per-file key
// that scrambles security ids in MSysACEs and MSysObjects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/page_store.h"

namespace jet {

std::vector<uint8_t> rc4(const std::vector<uint8_t>& key, size_t length);

// A fresh header page for a database created at the given OLE date.
Page makeHeaderPage(double creationDate);

struct HeaderInfo {
  double creationDate = 0;
  uint16_t codePage = 0;
  uint32_t sidKey = 0;  // see sidCipher()
};

// Validates page 0 of a file and decodes what the library needs. Throws
// NotJet4 for other formats and versions, Encrypted for encrypted or
// password-protected files.
HeaderInfo readHeader(const Page& page0, uint64_t fileSize);

// Security ids are stored XOR an RC4 stream keyed per file; the same
// function encrypts and decrypts.
std::vector<uint8_t> sidCipher(uint32_t sidKey, const std::vector<uint8_t>& sid);

}  // namespace jet
