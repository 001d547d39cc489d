// A blank database must carry the same structures as the one the Jet engine
// itself writes: everything but the creation date, the password mask derived
// from it, and the security ids encrypted with a key derived from it.
#include <cstring>

#include "jet/data_page.h"
#include "jet/header.h"
#include "jet/row.h"
#include "jet/system_tables.h"
#include "jet/tdef.h"
#include "jet_files.h"

namespace {

using namespace jettest;

class FileStore : public jet::PageStore {
 public:
  explicit FileStore(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint32_t pageCount() const override { return uint32_t(bytes_.size() / jet::kPageSize); }
  const jet::Page& page(uint32_t n) override {
    if (n >= pageCount()) throw jet::Error(jet::Error::Code::Corrupt, "past the end");
    return *reinterpret_cast<const jet::Page*>(bytes_.data() + size_t(n) * jet::kPageSize);
  }
  jet::Page& modify(uint32_t) override { throw std::logic_error("read only"); }
  uint32_t allocate() override { throw std::logic_error("read only"); }

 private:
  std::vector<uint8_t> bytes_;
};

// Rows of a system table's data page, with security ids decrypted and the
// date columns dropped.
std::vector<std::vector<jet::Value>> plainRows(FileStore& store, uint32_t tdefPage, uint32_t dataPage) {
  jet::HeaderInfo h = jet::readHeader(store.page(0), uint64_t(store.pageCount()) * jet::kPageSize);
  jet::TableDef def = jet::parseTdef(store, tdefPage);
  jet::RowLayout layout = jet::makeLayout(def);
  const jet::Page& p = store.page(dataPage);
  std::vector<std::vector<jet::Value>> out;
  for (uint32_t r = 0; r < jet::rowCountOf(p); ++r) {
    jet::RowSpan s = jet::rowSpan(p, r);
    auto v = jet::decodeRow(store, def, layout, p.data() + s.start, s.end - s.start);
    for (const auto& c : def.columns) {
      if (c.type == jet::ColumnType::DateTime) v[c.number] = jet::Null{};
      if (c.name == "Owner" || c.name == "SID")
        if (auto b = std::get_if<jet::Bytes>(&v[c.number])) v[c.number] = jet::sidCipher(h.sidKey, *b);
    }
    out.push_back(v);
  }
  return out;
}

void expectSameDefinition(const jet::TableDef& a, const jet::TableDef& b) {
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.rowCount, b.rowCount);
  EXPECT_EQ(a.autoNumber, b.autoNumber);
  EXPECT_EQ(a.ownedMap, b.ownedMap);
  EXPECT_EQ(a.freeMap, b.freeMap);
  EXPECT_EQ(a.descriptorOrder, b.descriptorOrder);
  ASSERT_EQ(a.columns.size(), b.columns.size());
  for (size_t i = 0; i < a.columns.size(); ++i) {
    const auto &x = a.columns[i], &y = b.columns[i];
    SCOPED_TRACE(x.name);
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.varIndex, y.varIndex);
    EXPECT_EQ(x.position, y.position);
    EXPECT_EQ(x.misc, y.misc);
    EXPECT_EQ(x.flags, y.flags);
    EXPECT_EQ(x.ext, y.ext);
    EXPECT_EQ(x.fixedOffset, y.fixedOffset);
    EXPECT_EQ(x.length, y.length);
  }
  ASSERT_EQ(a.realIndexes.size(), b.realIndexes.size());
  for (size_t i = 0; i < a.realIndexes.size(); ++i) {
    EXPECT_EQ(a.realIndexes[i].columns, b.realIndexes[i].columns);
    EXPECT_EQ(a.realIndexes[i].mapPointer, b.realIndexes[i].mapPointer);
    EXPECT_EQ(a.realIndexes[i].root, b.realIndexes[i].root);
    EXPECT_EQ(a.realIndexes[i].flags, b.realIndexes[i].flags);
    EXPECT_EQ(a.realIndexes[i].distinctKeys, b.realIndexes[i].distinctKeys);
  }
  ASSERT_EQ(a.logicalIndexes.size(), b.logicalIndexes.size());
  for (size_t i = 0; i < a.logicalIndexes.size(); ++i) {
    EXPECT_EQ(a.logicalIndexes[i].name, b.logicalIndexes[i].name);
    EXPECT_EQ(a.logicalIndexes[i].number, b.logicalIndexes[i].number);
    EXPECT_EQ(a.logicalIndexes[i].realIndex, b.logicalIndexes[i].realIndex);
    EXPECT_EQ(a.logicalIndexes[i].type, b.logicalIndexes[i].type);
  }
  ASSERT_EQ(a.longValueMaps.size(), b.longValueMaps.size());
  for (size_t i = 0; i < a.longValueMaps.size(); ++i) {
    EXPECT_EQ(a.longValueMaps[i].column, b.longValueMaps[i].column);
    EXPECT_EQ(a.longValueMaps[i].owned, b.longValueMaps[i].owned);
    EXPECT_EQ(a.longValueMaps[i].free, b.longValueMaps[i].free);
  }
}

TEST(BlankDatabase, MatchesTheFileTheJetEngineWrites) {
  ScratchDir dir;
  std::string path = dir.file("blank.mdb");
  jet::Database::create(path);
  auto oursBytes = readFile(path);
  auto theirsBytes = readFile(sample("jackcess-adox_jet4.mdb"));
  ASSERT_EQ(oursBytes.size(), theirsBytes.size());
  FileStore ours(oursBytes), theirs(theirsBytes);

  // Header: identical but for the password mask, the date, and the four
  // bytes after the password, which differ in every engine-made file.
  for (size_t i = 0; i < jet::kPageSize; ++i) {
    if ((i >= 0x42 && i < 0x6E) || (i >= 0x72 && i < 0x7A)) continue;
    ASSERT_EQ(oursBytes[i], theirsBytes[i]) << "header byte 0x" << std::hex << i;
  }
  jet::HeaderInfo h = jet::readHeader(ours.page(0), oursBytes.size());
  EXPECT_EQ(h.codePage, 1252);

  // Every page has the same type and role.
  for (uint32_t n = 0; n < theirs.pageCount(); ++n) {
    EXPECT_EQ(ours.page(n)[0], theirs.page(n)[0]) << "page " << n;
    EXPECT_EQ(std::memcmp(&ours.page(n)[2], &theirs.page(n)[2], 6), 0) << "page header " << n;
  }
  // Global map, table maps and index pages: byte for byte.
  for (uint32_t n : {1u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u})
    EXPECT_EQ(std::memcmp(ours.page(n).data(), theirs.page(n).data(), jet::kPageSize), 0) << "page " << n;
  // Table definitions: every field (the engine leaves some unused bytes
  // uninitialised, so raw bytes differ there).
  for (uint32_t n = 2; n <= 5; ++n) {
    SCOPED_TRACE("definition on page " + std::to_string(n));
    expectSameDefinition(jet::parseTdef(ours, n), jet::parseTdef(theirs, n));
    EXPECT_EQ(std::memcmp(&ours.page(n)[0], &theirs.page(n)[0], 40), 0);
  }
  // Catalogue and access-control rows, security ids decrypted per file.
  EXPECT_EQ(plainRows(ours, 2, 14), plainRows(theirs, 2, 14));
  EXPECT_EQ(plainRows(ours, 3, 15), plainRows(theirs, 3, 15));
}

TEST(BlankDatabase, EngineFileSecurityIdsDecodeToTheKnownIdentities) {
  std::vector<uint8_t> bytes = readFile(sample("jackcess-adox_jet4.mdb"));
  FileStore store(bytes);
  auto rows = plainRows(store, 3, 15);
  ASSERT_EQ(rows.size(), jet::blankAceRows().size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::get<jet::Bytes>(rows[i][1]), *jet::blankAceRows()[i].sid) << "row " << i;
    EXPECT_EQ(std::get<int64_t>(rows[i][2]), jet::blankAceRows()[i].acm) << "row " << i;
  }
}

TEST(BlankDatabase, OpensEmptyEverywhere) {
  ScratchDir dir;
  std::string path = dir.file("blank.mdb");
  {
    auto db = jet::Database::create(path);
    EXPECT_TRUE(db->tableNames().empty());
  }
  EXPECT_THROW(jet::Database::create(path), jet::Error);
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {}));
}

}  // namespace
