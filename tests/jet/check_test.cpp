// The structural check: clean on every Access-made file, and each kind of
// damage it claims to find is found when we do it on purpose to a copy of
// a sample. Offsets below were read off the samples; each names the
// structure it hits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "jet/check.h"
#include "support/readback.h"

namespace {

namespace fs = std::filesystem;
using jet::CheckFinding;
using Image = std::vector<uint8_t>;

constexpr size_t kPage = 4096;

fs::path samplesDir() { return fs::path(TABULEX_SOURCE_DIR) / "tests/data/jet4"; }

Image load(const std::string& name) {
  std::ifstream in(samplesDir() / name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint8_t* at(Image& img, size_t page, size_t offset) { return img.data() + page * kPage + offset; }
uint16_t get16(Image& img, size_t page, size_t offset) {
  uint8_t* p = at(img, page, offset);
  return uint16_t(p[0] | (p[1] << 8));
}
void put16(Image& img, size_t page, size_t offset, uint16_t v) {
  at(img, page, offset)[0] = uint8_t(v);
  at(img, page, offset)[1] = uint8_t(v >> 8);
}
void put32(Image& img, size_t page, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) at(img, page, offset)[i] = uint8_t(v >> (8 * i));
}
// Start of a row on a data page, from the page's offset table.
size_t rowStart(Image& img, size_t page, size_t row) {
  return get16(img, page, 14 + 2 * row) & 0x1FFF;
}

// Passes when the report holds a problem of this kind whose text contains
// the fragment; the message lists what was found otherwise.
::testing::AssertionResult finds(const jet::CheckReport& report, CheckFinding kind,
                                 const std::string& fragment) {
  for (size_t i = 0; i < report.problems.size(); ++i)
    if (report.findings[i] == kind && report.problems[i].find(fragment) != std::string::npos)
      return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << "no " << jet::findingName(kind) << " problem mentioning '" << fragment
                 << "'; found " << report.problems.size() << ":";
  for (size_t i = 0; i < report.problems.size() && i < 15; ++i)
    failure << "\n  [" << jet::findingName(report.findings[i]) << "] " << report.problems[i];
  return failure;
}

// compIndexTestV2000: Table1 (TDEF page 15, 512 rows on data pages 17-20,
// one descending Long index: node root 29 with leaves 32 and 33), its maps
// on page 16, the catalogue's rows on page 14.
const char* kSample = "jackcess-compIndexTestV2000.mdb";
constexpr size_t kTable1Tdef = 15;
constexpr size_t kTable1Maps = 16;
constexpr size_t kFirstDataPage = 17;
constexpr size_t kIndexNode = 29;
constexpr size_t kLastLeaf = 33;

jet::CheckReport checkModified(const std::function<void(Image&)>& damage,
                               const char* sample = kSample) {
  Image img = load(sample);
  damage(img);
  return jet::checkImage(img);
}

TEST(JetCheck, EveryAccessSampleIsClean) {
  size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(samplesDir())) {
    if (entry.path().extension() != ".mdb") continue;
    jet::CheckReport report = jet::checkFile(entry.path().string());
    std::string listing;
    for (const auto& p : report.problems) listing += "\n  " + p;
    EXPECT_TRUE(report.ok()) << entry.path().filename() << listing;
    ++checked;
  }
  EXPECT_GE(checked, 10u);

  // A clean result means something only if the walk reached everything:
  // compIndexTestV2000 has six tables (five system ones and Table1) with
  // 582 rows, and nine indexes holding 599 entries.
  jet::CheckReport comp = jet::checkFile((samplesDir() / kSample).string());
  EXPECT_EQ(comp.totals.pages, 35u);
  EXPECT_EQ(comp.totals.tables, 6u);
  EXPECT_EQ(comp.totals.rows, 582u);
  EXPECT_EQ(comp.totals.indexes, 9u);
  EXPECT_EQ(comp.totals.indexEntries, 599u);
}

TEST(JetCheck, RefusesFilesThatAreNotJet4) {
  Image good = load(kSample);
  auto unreadable = [](const Image& img, const std::string& fragment) {
    jet::CheckReport r = jet::checkImage(img);
    EXPECT_FALSE(r.readable) << fragment;
    return finds(r, CheckFinding::Header, fragment);
  };
  EXPECT_TRUE(unreadable(Image(good.begin(), good.begin() + 100), "too short"));
  Image random(8 * kPage);
  std::mt19937 gen(7);
  for (auto& b : random) b = uint8_t(gen());
  EXPECT_TRUE(unreadable(random, "not a Jet database"));
  Image jet3 = good;
  jet3[0x14] = 0;
  EXPECT_TRUE(unreadable(jet3, "Jet 3"));
  Image ace = good;
  std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
  EXPECT_TRUE(unreadable(ace, "ACE"));
  Image encrypted = good;
  encrypted[0x3E] ^= 0x5A;  // the page-encryption key, masked
  EXPECT_TRUE(unreadable(encrypted, "encrypted"));

  jet::CheckReport missing = jet::checkFile((fs::temp_directory_path() / "no-such-file.mdb").string());
  EXPECT_FALSE(missing.readable);
}

TEST(JetCheck, FindsHeaderDamage) {
  // 0x3C code page, 0x6E sort order, 0x42 password, 0x20 inside the
  // constant region: all stored masked, so flipping bits changes the value.
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0x3C] ^= 0x01; }), CheckFinding::Header,
                    "code page"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0x6E] ^= 0x01; }), CheckFinding::Header,
                    "sort order"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0x44] ^= 0x41; }), CheckFinding::Header,
                    "password"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0x20] ^= 0x10; }), CheckFinding::Header,
                    "constant"));
  // The creation date's top byte 0x40 made 0x7F: a number of days far past
  // any date, which must be reported, not cast.
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0x79] ^= 0x3F; }), CheckFinding::Header,
                    "creation date"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { i[0xE01] = 0; }), CheckFinding::Header, "slot"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { i.resize(i.size() - 100); }),
                    CheckFinding::FileSize, "whole number"));
}

TEST(JetCheck, FindsGlobalMapDamage) {
  // Page 1 row 0 holds the global map: type, start page, then one bit a
  // page (1 = free) from byte 5. Page 15 is byte 1, bit 7 of the bitmap.
  auto freed = checkModified([](Image& i) {
    size_t row = rowStart(i, 1, 0);
    *at(i, 1, row + 5 + 1) |= 0x80;
  });
  EXPECT_TRUE(finds(freed, CheckFinding::GlobalMap, "page 15 (table Table1 definition) is in use but marked free"));

  // The inline map covers 512 pages; a file that grew past them without a
  // longer map leaves pages out.
  auto grown = checkModified([](Image& i) { i.resize(i.size() + 600 * kPage); });
  EXPECT_TRUE(finds(grown, CheckFinding::GlobalMap, "does not cover page 512"));
}

// Past about 32,000 pages a file needs a reference map: page 1 row 0 turns
// into a list of map pages (type 0x05), each a bitmap of 32,736 pages.
// Rebuild the sample's global map that way and check both directions.
Image withReferenceGlobalMap() {
  Image img = load(kSample);
  const size_t mapPage = img.size() / kPage;
  img.resize(img.size() + kPage, 0);
  size_t row = rowStart(img, 1, 0);
  const uint8_t* inlineBits = at(img, 1, row + 5);
  uint8_t* bits = at(img, mapPage, 4);
  std::memset(bits, 0xFF, kPage - 4);
  std::memcpy(bits, inlineBits, 64);
  bits[mapPage / 8] &= uint8_t(~(1 << (mapPage % 8)));
  const uint8_t header[4] = {0x05, 0x01, 0x00, 0x00};
  std::memcpy(at(img, mapPage, 0), header, 4);
  std::memset(at(img, 1, row), 0, 69);
  *at(img, 1, row) = 1;
  put32(img, 1, row + 1, uint32_t(mapPage));
  return img;
}

TEST(JetCheck, ReadsReferenceGlobalMaps) {
  Image img = withReferenceGlobalMap();
  jet::CheckReport clean = jet::checkImage(img);
  EXPECT_TRUE(clean.ok()) << (clean.problems.empty() ? "" : clean.problems.front());
  *at(img, img.size() / kPage - 1, 4 + kTable1Tdef / 8) |= uint8_t(1 << (kTable1Tdef % 8));
  EXPECT_TRUE(finds(jet::checkImage(img), CheckFinding::GlobalMap,
                    "page 15 (table Table1 definition) is in use but marked free"));
}

TEST(JetCheck, FindsTableDefinitionDamage) {
  EXPECT_TRUE(finds(checkModified([](Image& i) { put32(i, kTable1Tdef, 8, 314); }),
                    CheckFinding::TableDef, "tdef_len is 314 but the definition ends at 312"));
  // test2V2000's MSP_PROJECTS definition continues from page 15 on page 19.
  EXPECT_TRUE(finds(checkModified([](Image& i) { put32(i, 15, 8, 5367); }, "jackcess-test2V2000.mdb"),
                    CheckFinding::TableDef, "tdef_len is 5367 but the definition ends at 5365"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { put32(i, 15, 4, 15); }, "jackcess-test2V2000.mdb"),
                    CheckFinding::TableDef, "chain loops at page 15"));
  EXPECT_TRUE(finds(checkModified([](Image& i) { put32(i, kTable1Tdef, 12, 1626); }),
                    CheckFinding::TableDef, "expected 1625"));
  // First column descriptor starts after one 12-byte real-index block.
  EXPECT_TRUE(finds(checkModified([](Image& i) { *at(i, kTable1Tdef, 63 + 12) = 0x2A; }),
                    CheckFinding::TableDef, "unknown type 42"));
  // Second column's number made equal to the first's.
  EXPECT_TRUE(finds(checkModified([](Image& i) { put16(i, kTable1Tdef, 63 + 12 + 25 + 5, 0); }),
                    CheckFinding::TableDef, "shares column number 0"));
  // testUnicodeCompV2003: "Table" (TDEF page 53) has AutoNumber IDs 1-8; a
  // counter behind them would issue 6, 7 and 8 again.
  auto counter = checkModified([](Image& i) { put32(i, 53, 20, 5); },
                               "jackcess-testUnicodeCompV2003.mdb");
  EXPECT_TRUE(finds(counter, CheckFinding::TableDef,
                    "the AutoNumber counter is 5 but column ID already holds 8"));
}

TEST(JetCheck, FindsRowCountDisagreement) {
  auto report = checkModified([](Image& i) { put32(i, kTable1Tdef, 16, 511); });
  EXPECT_TRUE(finds(report, CheckFinding::RowCount, "says 511 rows, the data pages hold 512"));
}

TEST(JetCheck, FindsUsageMapDamage) {
  // Owned map = row 0 of page 16: bit for page 20 is bitmap byte 2, bit 4.
  auto lostPage = checkModified([](Image& i) {
    *at(i, kTable1Maps, rowStart(i, kTable1Maps, 0) + 5 + 2) &= uint8_t(~0x10);
  });
  EXPECT_TRUE(finds(lostPage, CheckFinding::UsageMap, "data page 20 belongs to the table but is not in its owned map"));
  EXPECT_TRUE(finds(lostPage, CheckFinding::RowCount, "the data pages hold 453"));

  // Index map = row 2 of page 16: bit for page 33 is bitmap byte 4, bit 1.
  auto lostIndexPage = checkModified([](Image& i) {
    *at(i, kTable1Maps, rowStart(i, kTable1Maps, 2) + 5 + 4) &= uint8_t(~0x02);
  });
  EXPECT_TRUE(finds(lostIndexPage, CheckFinding::UsageMap, "page 33 of the tree is missing from its usage map"));
  auto strayIndexPage = checkModified([](Image& i) {
    *at(i, kTable1Maps, rowStart(i, kTable1Maps, 2) + 5 + 3) |= 0x40;  // page 30, an LVAL page
  });
  EXPECT_TRUE(finds(strayIndexPage, CheckFinding::UsageMap, "its usage map lists page 30, which is not in the tree"));

  // test2V2000: the memo PROJ_PROP_AUTHOR keeps its LVAL page 59 in map
  // row 2 of page 16 (bitmap byte 7, bit 3).
  auto lostLval = checkModified([](Image& i) { *at(i, 16, rowStart(i, 16, 2) + 5 + 7) &= uint8_t(~0x08); },
                                "jackcess-test2V2000.mdb");
  EXPECT_TRUE(finds(lostLval, CheckFinding::UsageMap,
                    "LVAL page 59 of column PROJ_PROP_AUTHOR is missing from the column's map"));

  auto badType = checkModified([](Image& i) { *at(i, kTable1Maps, rowStart(i, kTable1Maps, 0)) = 7; });
  EXPECT_TRUE(finds(badType, CheckFinding::UsageMap, "unknown map type 7"));
}

TEST(JetCheck, FindsPagesOfTheWrongKindOrUsedTwice) {
  auto retyped = checkModified([](Image& i) { *at(i, kFirstDataPage, 0) = 0x04; });
  EXPECT_TRUE(finds(retyped, CheckFinding::PageType, "owned page 17 is not a data page"));

  // MSysRelationships (TDEF page 5) has three indexes with roots 11, 12, 13;
  // point the second at the first's root. Real-index blocks start at 485
  // and are 52 bytes; the root is at +38.
  auto shared = checkModified([](Image& i) { put32(i, 5, 537 + 38, 11); });
  EXPECT_TRUE(finds(shared, CheckFinding::SharedPage, "page 11 is used by"));
}

TEST(JetCheck, FindsDataPageDamage) {
  auto freeSpace = checkModified([](Image& i) { put16(i, kFirstDataPage, 2, 6); });
  EXPECT_TRUE(finds(freeSpace, CheckFinding::DataPage, "says 6 bytes free, its rows leave 5"));
  auto tooMany = checkModified([](Image& i) { put16(i, kFirstDataPage, 12, 300); });
  EXPECT_TRUE(finds(tooMany, CheckFinding::DataPage, "claims 300 rows"));
  // Row 1 made to start above row 0.
  auto overlap = checkModified([](Image& i) { put16(i, kFirstDataPage, 16, 4080); });
  EXPECT_TRUE(finds(overlap, CheckFinding::DataPage, "row 1 starts at 4080"));
}

TEST(JetCheck, FindsRowLayoutDamage) {
  // Row 0 of page 17 (the page's last 25 bytes): ncols 3, Long at +2, two
  // compressed texts, then eod, var 1's offset, var 0's offset (at end-5),
  // nvar, and a one-byte null mask.
  auto columns = checkModified([](Image& i) { put16(i, kFirstDataPage, rowStart(i, kFirstDataPage, 0), 9); });
  EXPECT_TRUE(finds(columns, CheckFinding::Row, "column count 9, table has 3"));
  auto offsets = checkModified([](Image& i) { put16(i, kFirstDataPage, kPage - 5, 12); });
  EXPECT_TRUE(finds(offsets, CheckFinding::Row, "variable offsets decrease"));
  auto nullWithData = checkModified([](Image& i) { *at(i, kFirstDataPage, kPage - 1) = 0x03; });
  EXPECT_TRUE(finds(nullWithData, CheckFinding::Row, "is NULL but holds 5 bytes"));
  // overflowTestV2000: Table1's row 2 on page 27 moved; its 4 bytes point
  // at row 0 of page 28, which is flagged deleted so scans skip it.
  auto moved = checkModified([](Image& i) { put32(i, 27, rowStart(i, 27, 2), (28u << 8) | 200); },
                             "jackcess-overflowTestV2000.mdb");
  EXPECT_TRUE(finds(moved, CheckFinding::Row, "overflow pointer: page 28 has 1 rows, no row 200"));
  auto strayBit = checkModified([](Image& i) { *at(i, kFirstDataPage, kPage - 1) = 0x0F; });
  EXPECT_TRUE(finds(strayBit, CheckFinding::Row, "null mask 0f has bits past its 3 columns"));
}

TEST(JetCheck, FindsIndexDamage) {
  // Last leaf (page 33): two entries of 5 bytes (NULL key, page 0x14, rows
  // 0x39 and 0x3A) ending at 485 and 490: mask bits 5 and 10.
  auto endBit = checkModified([](Image& i) { *at(i, kLastLeaf, 27 + 1) &= uint8_t(~0x04); });
  EXPECT_TRUE(finds(endBit, CheckFinding::Index, "missing end bit"));
  auto link = checkModified([](Image& i) { put32(i, kLastLeaf, 12, 0); });
  EXPECT_TRUE(finds(link, CheckFinding::Index, "leaf page 33 links prev 0"));
  auto pointer = checkModified([](Image& i) { *at(i, kLastLeaf, 489) = 0xF0; });
  EXPECT_TRUE(finds(pointer, CheckFinding::Index, "row 240 of page 20, which is not a live row"));
  EXPECT_TRUE(finds(pointer, CheckFinding::Index, "row 58 of page 20 is missing from the index"));
  auto order = checkModified([](Image& i) {
    *at(i, kLastLeaf, 484) = 0x3A;
    *at(i, kLastLeaf, 489) = 0x39;
  });
  EXPECT_TRUE(finds(order, CheckFinding::Index, "is not above the one before"));
  // The node's entry must repeat its child's last entry.
  auto node = checkModified([](Image& i) { *at(i, kIndexNode, 482) ^= 0x01; });
  EXPECT_TRUE(finds(node, CheckFinding::Index, "the child's last entry is"));
}

TEST(JetCheck, FindsKeysThatDisagreeWithTheirRows) {
  // Row 0 of page 17 holds CD_AGENTE = 19; make it 20 without touching the
  // index, whose entry still carries the key of 19.
  auto report = checkModified([](Image& i) {
    *at(i, kFirstDataPage, rowStart(i, kFirstDataPage, 0) + 2) = 20;
  });
  EXPECT_TRUE(finds(report, CheckFinding::IndexKey, "row 0 of page 17 has key 807fffffec"));
}

TEST(JetCheck, FindsCatalogueDamage) {
  // MSysObjects row 15 on page 14 is Table1: its Id (at +2) is the TDEF
  // page, its ParentId (at +6) the Tables container.
  auto report = checkModified([](Image& i) { put32(i, 14, rowStart(i, 14, 15) + 2, 17); });
  EXPECT_TRUE(finds(report, CheckFinding::Catalogue, "table Table1: its Id points at page 17"));

  // Renamed to "MSysDb" and moved to the Databases container, beside the
  // real MSysDb.
  auto twice = checkModified([](Image& i) {
    uint8_t* row = at(i, 14, rowStart(i, 14, 15));
    const uint8_t table1[] = {'T', 0, 'a', 0, 'b', 0, 'l', 0, 'e', 0, '1', 0};
    uint8_t* name = std::search(row, row + 100, std::begin(table1), std::end(table1));
    const char* renamed = "MSysDb";
    for (int k = 0; k < 6; ++k) name[2 * k] = uint8_t(renamed[k]);
    put32(i, 14, rowStart(i, 14, 15) + 6, 0x0F000002);
  });
  EXPECT_TRUE(finds(twice, CheckFinding::Catalogue, "two catalogue objects named MSysDb"));

  // MSysACEs rows 33 and 34 (data page 28) grant access to Table1 (Id 15).
  auto noAces = checkModified([](Image& i) {
    put32(i, 28, rowStart(i, 28, 33) + 2, 16);
    put32(i, 28, rowStart(i, 28, 34) + 2, 16);
  });
  EXPECT_TRUE(finds(noAces, CheckFinding::Catalogue, "table Table1 has no rows in MSysACEs"));
}

TEST(JetCheck, FindsLongValueDamage) {
  // test2V2000: MSP_PROJECTS' row on page 60 holds a 696-byte value in one
  // LVAL row (header at 3906); an OLE value chains LVAL pages 30-33.
  const char* sample = "jackcess-test2V2000.mdb";
  auto length = checkModified([](Image& i) { put32(i, 60, 3906, 0x40000000u | 5000); }, sample);
  EXPECT_TRUE(finds(length, CheckFinding::LongValue, "says 5000 bytes, its LVAL row holds"));
  auto loop = checkModified([](Image& i) { put32(i, 32, 20, (31u << 8) | 0); }, sample);
  EXPECT_TRUE(finds(loop, CheckFinding::LongValue, "chain loops"));
  auto notLval = checkModified([](Image& i) { std::memcpy(at(i, 59, 4), "XXXX", 4); }, sample);
  EXPECT_TRUE(finds(notLval, CheckFinding::LongValue, "page 59 is not an LVAL page"));
}

// The check reads files nobody vouches for: random damage anywhere must
// give a report, never a crash or a read past the image (run this under a
// sanitizer to see the second).
TEST(JetCheck, SurvivesRandomDamage) {
  for (const char* sample : {kSample, "jackcess-test2V2000.mdb", "jackcess-overflowTestV2000.mdb"}) {
    const Image clean = load(sample);
    std::mt19937 gen(20261209);
    size_t reported = 0;
    for (int round = 0; round < 150; ++round) {
      Image img = clean;
      for (int flips = 1 + int(gen() % 16); flips > 0; --flips)
        img[kPage + gen() % (img.size() - kPage)] = uint8_t(gen());
      jet::CheckReport report = jet::checkImage(img);
      ASSERT_EQ(report.problems.size(), report.findings.size());
      reported += !report.ok();
    }
    EXPECT_GT(reported, 20u) << sample;
  }
}

TEST(JetCheck, ToolExitStatusSaysCleanDamagedOrUnreadable) {
  if (auto why = tabulex::readback::jetcheckMissing(); !why.empty()) GTEST_SKIP() << why;
  using tabulex::readback::jetcheckProblems;
  using tabulex::readback::runCommand;
  const std::string tool = std::string(TABULEX_BINARY_DIR) + "/tools/jetcheck";
  fs::path dir = fs::temp_directory_path() / ("jetcheck-tool-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Image img = load(kSample);
  put32(img, kTable1Tdef, 16, 511);
  std::ofstream((dir / "damaged.mdb").string(), std::ios::binary)
      .write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
  std::ofstream((dir / "text.mdb").string()) << "not a database\n";

  EXPECT_EQ(runCommand({tool, (samplesDir() / kSample).string()}).status, 0);
  auto damaged = runCommand({tool, (dir / "damaged.mdb").string()});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("511 rows"), std::string::npos) << damaged.out;
  EXPECT_EQ(runCommand({tool, (dir / "text.mdb").string()}).status, 2);
  EXPECT_EQ(jetcheckProblems((dir / "damaged.mdb").string()).size(), 1u);
  fs::remove_all(dir);
}

}  // namespace
