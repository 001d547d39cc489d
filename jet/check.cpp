// Structural check of a Jet 4 file: header, global usage map, catalogue, and
// the driver that walks every table (check_table.cpp) and index
// (check_index.cpp).
#include "jet/check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "jet/check_internal.h"

namespace jet {

const char* findingName(CheckFinding finding) {
  switch (finding) {
    case CheckFinding::FileSize: return "file size";
    case CheckFinding::Header: return "header";
    case CheckFinding::GlobalMap: return "global usage map";
    case CheckFinding::PageType: return "page type";
    case CheckFinding::SharedPage: return "shared page";
    case CheckFinding::Catalogue: return "catalogue";
    case CheckFinding::TableDef: return "table definition";
    case CheckFinding::UsageMap: return "usage map";
    case CheckFinding::DataPage: return "data page";
    case CheckFinding::Row: return "row";
    case CheckFinding::LongValue: return "long value";
    case CheckFinding::Index: return "index";
    case CheckFinding::IndexKey: return "index key";
    case CheckFinding::RowCount: return "row count";
    case CheckFinding::Relationship: return "relationship";
    case CheckFinding::Properties: return "properties";
  }
  return "?";
}

bool CheckReport::has(CheckFinding finding) const {
  return std::find(findings.begin(), findings.end(), finding) != findings.end();
}

namespace check {

namespace {

// A damaged file can produce one complaint per row; the first few hundred
// say all there is to say.
constexpr size_t kProblemCap = 500;

// The header region 0x18..0x97 is stored XOR the RC4 keystream of this key.
constexpr std::array<uint8_t, 4> kHeaderMaskKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr size_t kMaskedStart = 0x18;

}  // namespace

std::array<uint8_t, kMaskedLength> headerKeystream() {
  std::array<uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + kHeaderMaskKey[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  std::array<uint8_t, kMaskedLength> out{};
  for (size_t n = 0, i = 0, j = 0; n < kMaskedLength; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    out[n] = s[(s[i] + s[j]) & 0xFF];
  }
  return out;
}

namespace {

// Unmasked bytes 0x18..0x3B of every Jet 4 header.
constexpr std::array<uint8_t, 36> kHeaderConstant = {
    0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Bits of one reference-map page: 4092 bytes after its 4-byte header.
constexpr uint32_t kPagesPerMapPage = (kPageBytes - 4) * 8;

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

}  // namespace

std::string pointerText(uint32_t ptr) {
  return "row " + std::to_string(pointerRow(ptr)) + " of page " + std::to_string(pointerPage(ptr));
}

std::string hexBytes(std::span<const uint8_t> bytes, size_t limit) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  if (bytes.size() > limit) out += "...";
  return out;
}

std::string utf16ToUtf8(std::span<const uint8_t> bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t cu = le16(&bytes[i]);
    if (cu >= 0xD800 && cu < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t lo = le16(&bytes[i + 2]);
      if (lo >= 0xDC00 && lo < 0xE000) {
        appendUtf8(out, 0x10000 + ((cu - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, cu);
  }
  return out;
}

std::string storedTextToUtf8(std::span<const uint8_t> bytes) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return utf16ToUtf8(bytes);
  std::vector<uint8_t> wide;
  bool compressed = true;
  for (size_t i = 2; i < bytes.size();) {
    if (bytes[i] == 0x00) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      wide.push_back(bytes[i++]);
      wide.push_back(0);
    } else {
      if (i + 1 >= bytes.size()) break;
      wide.push_back(bytes[i]);
      wide.push_back(bytes[i + 1]);
      i += 2;
    }
  }
  return utf16ToUtf8(wide);
}

const Column* TableDef::columnByNumber(uint16_t number) const {
  for (const Column& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

const Column* TableDef::columnByName(const std::string& wanted) const {
  for (const Column& c : columns)
    if (lowerAscii(c.name) == lowerAscii(wanted)) return &c;
  return nullptr;
}

Checker::Checker(std::span<const uint8_t> image, CheckReport& report)
    : image_(image), report_(report) {
  pageCount_ = uint32_t(image.size() / kPageBytes);
  owners_.resize(pageCount_);
}

void Checker::problem(CheckFinding finding, const std::string& text) {
  if (report_.problems.size() >= kProblemCap) {
    ++report_.suppressed;
    return;
  }
  report_.problems.push_back(text);
  report_.findings.push_back(finding);
}

bool Checker::claim(uint32_t number, const std::string& owner) {
  if (number >= pageCount_) {
    problem(CheckFinding::PageType, owner + " refers to page " + std::to_string(number) +
                                        ", past the end of the file (" +
                                        std::to_string(pageCount_) + " pages)");
    return false;
  }
  std::string& current = owners_[number];
  if (current.empty()) {
    current = owner;
  } else if (current != owner) {
    problem(CheckFinding::SharedPage, "page " + std::to_string(number) + " is used by " +
                                          current + " and by " + owner);
  }
  return true;
}

std::optional<std::span<const uint8_t>> Checker::rowBytes(uint32_t number, uint32_t row,
                                                          std::string& why,
                                                          bool* deleted) const {
  if (number == 0 || number >= pageCount_) {
    why = "page " + std::to_string(number) + " is outside the file";
    return std::nullopt;
  }
  const uint8_t* p = page(number);
  if (p[0] != kDataPage) {
    why = "page " + std::to_string(number) + " is not a data page (type " +
          std::to_string(p[0]) + ")";
    return std::nullopt;
  }
  uint16_t rows = le16(p + 12);
  if (row >= rows || 14 + 2 * size_t(rows) > kPageBytes) {
    why = "page " + std::to_string(number) + " has " + std::to_string(rows) + " rows, no row " +
          std::to_string(row);
    return std::nullopt;
  }
  uint16_t raw = le16(p + 14 + 2 * row);
  uint32_t start = raw & 0x1FFF;
  uint32_t end = row == 0 ? kPageBytes : (le16(p + 14 + 2 * (row - 1)) & 0x1FFF);
  if (start < 14 + 2 * uint32_t(rows) || end > kPageBytes || start > end) {
    why = "row " + std::to_string(row) + " of page " + std::to_string(number) +
          " has impossible offsets " + std::to_string(start) + ".." + std::to_string(end);
    return std::nullopt;
  }
  if (deleted) *deleted = (raw & 0x8000) != 0;
  return std::span<const uint8_t>(p + start, end - start);
}

const std::vector<uint32_t>& Checker::dataPagesNaming(uint32_t tdefPage) {
  // One pass over the file serves every table.
  if (!dataPagesByTdef_) {
    dataPagesByTdef_.emplace();
    for (uint32_t pg = 2; pg < pageCount_; ++pg) {
      const uint8_t* p = page(pg);
      if (p[0] == kDataPage && p[1] == 0x01 && std::memcmp(p + 4, "LVAL", 4) != 0 &&
          le16(p + 12) > 0)
        (*dataPagesByTdef_)[le32(p + 4)].push_back(pg);
    }
  }
  static const std::vector<uint32_t> none;
  auto it = dataPagesByTdef_->find(tdefPage);
  return it == dataPagesByTdef_->end() ? none : it->second;
}

std::optional<std::vector<uint32_t>> Checker::readUsageMap(uint32_t pointer,
                                                           const std::string& what) {
  std::string why;
  auto bytes = rowBytes(pointerPage(pointer), pointerRow(pointer), why);
  if (!bytes) {
    problem(CheckFinding::UsageMap, what + " at " + pointerText(pointer) + ": " + why);
    return std::nullopt;
  }
  claim(pointerPage(pointer), "usage maps");
  std::span<const uint8_t> row = *bytes;
  std::vector<uint32_t> pages;
  if (row.size() < 5) {
    problem(CheckFinding::UsageMap, what + " at " + pointerText(pointer) + " is only " +
                                        std::to_string(row.size()) + " bytes");
    return std::nullopt;
  }
  if (row[0] == 0) {
    uint32_t start = le32(&row[1]);
    for (size_t i = 5; i < row.size(); ++i)
      for (int bit = 0; bit < 8; ++bit)
        if (row[i] & (1 << bit)) pages.push_back(start + uint32_t(i - 5) * 8 + bit);
  } else if (row[0] == 1) {
    for (size_t k = 0; 1 + 4 * k + 4 <= row.size(); ++k) {
      uint32_t mapPage = le32(&row[1 + 4 * k]);
      if (mapPage == 0) continue;
      if (!claim(mapPage, what + " reference pages")) continue;
      const uint8_t* mp = page(mapPage);
      if (mp[0] != kMapPage || mp[1] != 0x01) {
        problem(CheckFinding::UsageMap, what + ": reference page " + std::to_string(mapPage) +
                                            " is not a usage-map page (type " +
                                            std::to_string(mp[0]) + ")");
        continue;
      }
      for (uint32_t i = 4; i < kPageBytes; ++i)
        for (int bit = 0; bit < 8; ++bit)
          if (mp[i] & (1 << bit)) pages.push_back(uint32_t(k) * kPagesPerMapPage + (i - 4) * 8 + bit);
    }
  } else {
    problem(CheckFinding::UsageMap, what + " at " + pointerText(pointer) +
                                        " has unknown map type " + std::to_string(row[0]));
    return std::nullopt;
  }
  return pages;
}

void Checker::checkHeader() {
  const uint8_t* h = page(0);
  static const auto keystream = headerKeystream();
  uint8_t plain[kMaskedLength];
  for (size_t i = 0; i < kMaskedLength; ++i) plain[i] = h[kMaskedStart + i] ^ keystream[i];
  auto at = [&](size_t offset) { return plain + (offset - kMaskedStart); };

  if (std::memcmp(at(0x18), kHeaderConstant.data(), kHeaderConstant.size()) != 0)
    problem(CheckFinding::Header,
            "header: bytes 0x18..0x3B do not unmask to the Jet 4 constant (mask or contents "
            "damaged): " + hexBytes({at(0x18), kHeaderConstant.size()}));
  uint16_t codePage = le16(at(0x3C));
  if (codePage != 1252)
    problem(CheckFinding::Header,
            "header: code page " + std::to_string(codePage) + ", expected 1252");
  uint16_t sortOrder = le16(at(0x6E));
  if (sortOrder != 1033 || at(0x70)[0] != 0 || at(0x71)[0] != 0)
    problem(CheckFinding::Header, "header: sort order " + hexBytes({at(0x6E), 4}) +
                                      ", expected General (09040000)");
  // An empty password is stored as the four bytes of the creation date's
  // whole-day number repeated; anything else means a password is set.
  double created;
  std::memcpy(&created, at(0x72), 8);
  // A damaged header may hold any bytes here, NaN included.
  if (!(created > -2147483648.0 && created < 2147483648.0)) {
    problem(CheckFinding::Header, "header: the creation date at 0x72 is no date");
    created = 0;
  }
  uint32_t day = uint32_t(int32_t(created));
  const uint8_t dayBytes[4] = {uint8_t(day), uint8_t(day >> 8), uint8_t(day >> 16),
                               uint8_t(day >> 24)};
  for (size_t i = 0; i < 40; ++i) {
    if (at(0x42)[i] != dayBytes[i % 4]) {
      problem(CheckFinding::Header, "header: the database has a password");
      break;
    }
  }
  for (size_t slot = 0; slot < 256; ++slot) {
    if (h[0xE00 + 2 * slot + 1] == 0) {
      problem(CheckFinding::Header,
              "header: slot " + std::to_string(slot) + " at 0xE00 has a zero odd byte");
      break;
    }
  }
}

void Checker::readGlobalMap() {
  globalFree_.assign(pageCount_, false);
  if (pageCount_ < 2) return;
  claim(0, "the header");
  claim(1, "the global usage map");
  const uint8_t* p = page(1);
  if (p[0] != kDataPage || p[1] != 0x01) {
    problem(CheckFinding::GlobalMap, "page 1 is not a data page holding the global usage map");
    return;
  }
  std::string why;
  auto row = rowBytes(1, 0, why);
  if (!row || row->size() < 5) {
    problem(CheckFinding::GlobalMap, "global usage map row: " + (row ? "too short" : why));
    return;
  }
  std::span<const uint8_t> r = *row;
  auto mark = [&](uint32_t pageNumber, bool isFree) {
    if (pageNumber < pageCount_) globalFree_[pageNumber] = isFree;
  };
  if (r[0] == 0) {
    uint32_t start = le32(&r[1]);
    uint32_t end = start + uint32_t(r.size() - 5) * 8;
    globalRanges_.emplace_back(start, end);
    for (uint32_t pg = start; pg < end; ++pg)
      mark(pg, r[5 + (pg - start) / 8] & (1 << ((pg - start) % 8)));
  } else if (r[0] == 1) {
    for (size_t k = 0; 1 + 4 * k + 4 <= r.size(); ++k) {
      uint32_t mapPage = le32(&r[1 + 4 * k]);
      if (mapPage == 0) continue;
      if (!claim(mapPage, "the global usage map")) continue;
      const uint8_t* mp = page(mapPage);
      if (mp[0] != kMapPage || mp[1] != 0x01) {
        problem(CheckFinding::GlobalMap, "global usage map: reference page " +
                                             std::to_string(mapPage) + " is not a map page");
        continue;
      }
      uint32_t start = uint32_t(k) * kPagesPerMapPage;
      globalRanges_.emplace_back(start, start + kPagesPerMapPage);
      for (uint32_t i = 0; i < kPagesPerMapPage; ++i)
        mark(start + i, mp[4 + i / 8] & (1 << (i % 8)));
    }
  } else {
    problem(CheckFinding::GlobalMap, "global usage map has unknown type " + std::to_string(r[0]));
    return;
  }
  globalKnown_ = true;
}

void Checker::checkGlobalCoverage() {
  if (!globalKnown_) return;
  auto covered = [&](uint32_t pg) {
    for (auto [a, b] : globalRanges_)
      if (pg >= a && pg < b) return true;
    return false;
  };
  uint32_t firstUncovered = pageCount_;
  for (uint32_t pg = 0; pg < pageCount_; ++pg) {
    if (!covered(pg)) {
      if (firstUncovered == pageCount_) firstUncovered = pg;
      if (!owners_[pg].empty())
        problem(CheckFinding::GlobalMap, "page " + std::to_string(pg) + " (" + owners_[pg] +
                                             ") lies outside the global usage map");
    } else if (globalFree_[pg] && !owners_[pg].empty()) {
      problem(CheckFinding::GlobalMap, "page " + std::to_string(pg) + " (" + owners_[pg] +
                                           ") is in use but marked free in the global usage map");
    }
  }
  if (firstUncovered < pageCount_)
    problem(CheckFinding::GlobalMap, "the global usage map does not cover page " +
                                         std::to_string(firstUncovered) + " (file has " +
                                         std::to_string(pageCount_) + " pages)");
}

void Checker::checkCatalogue() {
  auto catalogue = readTableDef(2, "MSysObjects");
  if (!catalogue) {
    problem(CheckFinding::Catalogue, "the catalogue (MSysObjects, page 2) cannot be read");
    return;
  }
  const Column* id = catalogue->columnByName("Id");
  const Column* parent = catalogue->columnByName("ParentId");
  const Column* name = catalogue->columnByName("Name");
  const Column* type = catalogue->columnByName("Type");
  const Column* props = catalogue->columnByName("LvProp");
  if (!id || !parent || !name || !type) {
    problem(CheckFinding::Catalogue, "MSysObjects lacks its Id, ParentId, Name or Type column");
    return;
  }
  std::vector<uint16_t> keptColumns{id->number, parent->number, name->number, type->number};
  if (props) keptColumns.push_back(props->number);
  TableRows rows = checkTableData(*catalogue, keptColumns);
  checkIndexes(*catalogue, rows);

  struct Entry {
    uint32_t id;
    std::string name;
    std::vector<uint8_t> props;
  };
  std::vector<Entry> tables;
  std::set<std::pair<int64_t, std::string>> names;
  std::set<std::string> relationshipObjects;  // lower-case names
  for (uint32_t ptr : rows.pointers) {
    auto it = rows.values.find(ptr);
    if (it == rows.values.end()) continue;
    const std::vector<Value>& v = it->second;
    const int64_t* idValue = std::get_if<int64_t>(&v[0]);
    const int64_t* parentValue = std::get_if<int64_t>(&v[1]);
    const std::string* nameValue = std::get_if<std::string>(&v[2]);
    const int64_t* typeValue = std::get_if<int64_t>(&v[3]);
    if (!idValue || !parentValue || !nameValue || !typeValue) {
      problem(CheckFinding::Catalogue, "MSysObjects " + pointerText(ptr) +
                                           " lacks its Id, ParentId, Name or Type");
      continue;
    }
    // Access compares object names without regard to letter case.
    if (!names.emplace(*parentValue, lowerAscii(*nameValue)).second)
      problem(CheckFinding::Catalogue, "two catalogue objects named " + *nameValue +
                                           " in container " + std::to_string(*parentValue));
    // Type 1 is a local table; its Id is the page of its definition.
    if (*typeValue == 8) relationshipObjects.insert(lowerAscii(*nameValue));
    if (*typeValue == 1) {
      const Bytes* blob = props && v.size() > 4 ? std::get_if<Bytes>(&v[4]) : nullptr;
      tables.push_back({uint32_t(*idValue), *nameValue, blob ? *blob : Bytes{}});
    }
  }

  std::set<int64_t> objectsWithAces;
  bool acesRead = false;
  std::vector<TableDef> userTables;
  std::vector<RelationshipRow> relationshipRows;
  for (const Entry& e : tables) {
    uint32_t tdef = e.id & 0x00FFFFFF;
    if (tdef == 2) continue;
    if (tdef >= pageCount_ || page(tdef)[0] != kTdefPage) {
      problem(CheckFinding::Catalogue, "table " + e.name + ": its Id points at page " +
                                           std::to_string(tdef) +
                                           ", which is not a table definition");
      continue;
    }
    auto table = readTableDef(tdef, e.name);
    if (!table) continue;
    std::vector<uint16_t> kept;
    const Column* objectId = e.name == "MSysACEs" ? table->columnByName("ObjectId") : nullptr;
    if (objectId) kept.push_back(objectId->number);
    static const char* const kRelationshipColumns[] = {"szRelationship", "grbit", "ccolumn", "icolumn",
                                                       "szObject", "szColumn", "szReferencedObject",
                                                       "szReferencedColumn"};
    bool relationships = e.name == "MSysRelationships";
    if (relationships)
      for (const char* c : kRelationshipColumns)
        if (const Column* col = table->columnByName(c)) kept.push_back(col->number);
    relationships &= kept.size() == 8;
    TableRows tableRows = checkTableData(*table, kept);
    checkIndexes(*table, tableRows);
    if (relationships) {
      for (uint32_t ptr : tableRows.pointers) {
        auto it = tableRows.values.find(ptr);
        if (it == tableRows.values.end()) continue;
        const auto& v = it->second;
        auto text = [&](size_t k) {
          auto s = std::get_if<std::string>(&v[k]);
          return s ? *s : std::string();
        };
        auto number = [&](size_t k) {
          auto n = std::get_if<int64_t>(&v[k]);
          return n ? *n : int64_t(-1);
        };
        relationshipRows.push_back({text(0), number(1), number(2), number(3), text(4), text(5), text(6), text(7)});
      }
    }
    checkProperties(*table, e.props);
    userTables.push_back(*table);
    if (objectId) {
      acesRead = true;
      for (const auto& [ptr, values] : tableRows.values)
        if (const int64_t* v = std::get_if<int64_t>(&values[0])) objectsWithAces.insert(*v);
    }
  }
  checkRelationships(userTables, relationshipRows, relationshipObjects);
  // Access refuses to open a table that has no access-control entries.
  if (acesRead)
    for (const Entry& e : tables)
      if (!objectsWithAces.count(int64_t(int32_t(e.id))))
        problem(CheckFinding::Catalogue, "table " + e.name + " has no rows in MSysACEs");
}

void Checker::run() {
  report_.totals.pages = pageCount_;
  if (image_.size() % kPageBytes != 0)
    problem(CheckFinding::FileSize, "file size " + std::to_string(image_.size()) +
                                        " is not a whole number of 4096-byte pages");
  checkHeader();
  readGlobalMap();
  checkCatalogue();
  checkGlobalCoverage();
}

}  // namespace check

namespace {

// Why the bytes cannot be read as Jet 4 at all, or empty when they can.
std::string unreadableReason(std::span<const uint8_t> image) {
  if (image.size() < 2 * check::kPageBytes) return "too short to be a Jet database";
  static const uint8_t magic[4] = {0x00, 0x01, 0x00, 0x00};
  if (std::memcmp(image.data(), magic, 4) != 0) return "not a Jet database (no signature)";
  if (std::memcmp(image.data() + 4, "Standard ACE DB", 16) == 0)
    return "an ACE (.accdb) database, not Jet 4";
  if (std::memcmp(image.data() + 4, "Standard Jet DB", 16) != 0)
    return "not a Jet database (no signature)";
  uint8_t version = image[0x14];
  if (version == 0) return "a Jet 3 database, not Jet 4";
  if (version != 1) return "Jet version byte " + std::to_string(version) + ", not Jet 4";
  return {};
}

}  // namespace

CheckReport checkImage(std::span<const uint8_t> image) {
  CheckReport report;
  std::string reason = unreadableReason(image);
  if (!reason.empty()) {
    report.readable = false;
    report.problems.push_back("header: " + reason);
    report.findings.push_back(CheckFinding::Header);
    return report;
  }
  // Unmasked 0x3E: a non-zero key means every page is RC4-encrypted, and
  // nothing past the header can be read without it.
  {
    const auto keystream = check::headerKeystream();
    uint8_t key[4];
    for (int k = 0; k < 4; ++k) key[k] = image[0x3E + k] ^ keystream[0x3E - 0x18 + k];
    if (key[0] | key[1] | key[2] | key[3]) {
      report.readable = false;
      report.problems.push_back("header: pages are encrypted (page-encryption key " +
                                check::hexBytes({key, 4}) + ", expected 0)");
      report.findings.push_back(CheckFinding::Header);
      return report;
    }
  }
  check::Checker checker(image, report);
  checker.run();
  return report;
}

CheckReport checkFile(const std::string& path) {
  auto unreadable = [&](const std::string& why) {
    CheckReport report;
    report.readable = false;
    report.problems.push_back("cannot read " + path + ": " + why);
    report.findings.push_back(CheckFinding::FileSize);
    return report;
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return unreadable(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return unreadable("not a regular file");
  }
  if (st.st_size == 0) {
    ::close(fd);
    return checkImage({});
  }
  // Mapped read-only: a large file is paged in as the check walks it
  // rather than copied whole.
  void* map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return unreadable(std::strerror(errno));
  CheckReport report = checkImage({static_cast<const uint8_t*>(map), size_t(st.st_size)});
  ::munmap(map, size_t(st.st_size));
  return report;
}

}  // namespace jet
