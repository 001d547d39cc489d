// The Database implementation: catalogue, table cache, and the insert path
// that keeps rows, long values, usage maps, indexes and counters in step.
#include "jet/database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <unordered_map>

#include "jet/btree.h"
#include "jet/bytes.h"
#include "jet/data_page.h"
#include "jet/header.h"
#include "jet/index_entries.h"
#include "jet/index_key.h"
#include "jet/long_value.h"
#include "jet/names.h"
#include "jet/pager.h"
#include "jet/properties.h"
#include "jet/row.h"
#include "jet/system_tables.h"
#include "jet/tdef.h"
#include "jet/text.h"
#include "jet/usage_map.h"

namespace jet {

namespace {

constexpr uint32_t kMaxRowSize = 4060;
// Access's limit per table; the foreign-key halves of relationships count.
constexpr size_t kMaxIndexes = 32;
constexpr int32_t kAcmTableAdmin = 983294;
constexpr int32_t kAcmTableUsers = 1048319;
constexpr int32_t kAcmRelationshipUsers = 1048575;

double nowOleDate() {
  using namespace std::chrono;
  double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return seconds / 86400.0 + 25569.0;
}

struct IndexPlan {
  std::vector<uint16_t> columns;
  std::vector<ColumnType> types;
  std::vector<bool> descending;
  bool unique = false;
  bool ignoreNulls = false;
  bool required = false;
  // When maxKnown, every key in the index is at most maxKey or extends it
  // (maxKey empty: the index has none). A key above maxKey that does not
  // extend it cannot be a duplicate, which spares the tree lookup for
  // ascending inserts. Learnt from the index's last entry on the first
  // insert that needs it (maxAsked); entries are ordered with their row
  // pointers, so a key that extends another may sort before it.
  bool maxKnown = false;
  bool maxAsked = false;
  KeyBytes maxKey;
  BtreeTail tail;  // the index's right end, for appending ascending keys

  // After a change other than an insert: both are learnt again when needed.
  void forgetRightEnd() {
    maxKnown = false;
    maxAsked = false;
    tail = {};
  }
};

// What an insert into a child table checks for one enforced relationship:
// the parent's key built from the child's columns, looked up in the
// parent's unique index.
struct Table;
struct ParentCheck {
  std::string relationship;
  // Tables live as long as the catalogue; one in a relationship cannot be
  // dropped, and a reload makes new tables that learn their checks anew.
  Table* parent = nullptr;
  size_t parentReal = 0;  // the parent's real index
  std::vector<uint16_t> childColumns;  // positions, in the parent index's column order
};

struct Table {
  std::string name;
  TableDef def;
  ObjectProperties props;  // from the catalogue row
  RowLayout layout;
  std::vector<IndexPlan> plans;  // one per real index (columns by position)
  std::vector<LongValueColumn> longValues;
  std::vector<int> longValueSlot;  // by column position, -1 for other columns
  std::vector<uint16_t> longColumns;  // positions of the memo and OLE columns
  uint32_t lastDataPage = 0;
  bool lastDataPageKnown = false;
  uint32_t catalogRow = 0;  // MSysObjects row pointer (user tables)
  std::vector<ParentCheck> parentChecks;  // learnt on the first insert
  bool parentChecksKnown = false;
  // Reused between inserts to keep the per-row work free of allocations.
  std::vector<Value> scratch;        // converted values, by column position
  std::vector<const Value*> values;  // the row's values in stored form
  std::vector<uint8_t> fixed;
  std::vector<std::vector<uint8_t>> varFields;
  std::vector<uint8_t> present;
  std::vector<uint8_t> row;
  std::vector<KeyBytes> keys;
  std::vector<char> keyNew;
  KeyBytes leaf;
  std::vector<uint8_t> longField;
};

// Whether key lies past every key of an index whose keys are at most max or
// extend it (see IndexPlan).
bool aboveMax(const KeyBytes& max, const KeyBytes& key) {
  if (max.empty()) return true;
  // Above it in a byte before either ends: a key equal to max, inside it
  // or extending it is left to the lookup.
  return std::memcmp(max.data(), key.data(), std::min(max.size(), key.size())) < 0;
}

void prepareTable(Table& t) {
  t.layout = makeLayout(t.def);
  t.plans.clear();
  for (const auto& r : t.def.realIndexes) {
    IndexPlan p;
    for (auto [col, asc] : r.columns) {
      size_t k = t.def.position(col);
      p.columns.push_back(uint16_t(k));
      p.types.push_back(t.def.columns[k].type);
      p.descending.push_back(!asc);
    }
    p.unique = r.flags & kIdxUnique;
    p.ignoreNulls = r.flags & kIdxIgnoreNulls;
    p.required = r.flags & kIdxRequired;
    t.plans.push_back(std::move(p));
  }
  t.longValues.clear();
  t.longValueSlot.assign(t.def.columns.size(), -1);
  for (const auto& m : t.def.longValueMaps) {
    t.longValueSlot[t.def.position(m.column)] = int(t.longValues.size());
    t.longValues.push_back({m.owned, m.free, 0});
  }
  t.longColumns.clear();
  for (size_t k = 0; k < t.def.columns.size(); ++k) {
    if (!t.def.columns[k].longValue()) continue;
    if (t.longValueSlot[k] < 0)
      throw Error(Error::Code::Corrupt, "a memo or OLE column of '" + t.name + "' has no page map");
    t.longColumns.push_back(uint16_t(k));
  }
  t.lastDataPageKnown = false;
  t.scratch.assign(t.def.columns.size(), Null{});
  t.values.assign(t.def.columns.size(), nullptr);
  t.varFields.assign(t.layout.varSlots, {});
  t.present.assign(t.def.columns.size(), false);
  t.keys.assign(t.plans.size(), {});
  t.keyNew.assign(t.plans.size(), 0);
  t.parentChecksKnown = false;
}

uint16_t storageLength(const ColumnSpec& c) {
  switch (c.type) {
    case ColumnType::Boolean: return 1;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Currency: return 8;
    case ColumnType::Single: return 4;
    case ColumnType::Double: return 8;
    case ColumnType::DateTime: return 8;
    case ColumnType::GUID: return 16;
    case ColumnType::Numeric: return 17;
    case ColumnType::Text: return uint16_t(2 * (c.length == 0 ? 255 : c.length));
    case ColumnType::Binary: return c.length == 0 ? 255 : c.length;
    default: return 0;
  }
}

bool isFixedType(ColumnType t) {
  return t != ColumnType::Text && t != ColumnType::Binary && t != ColumnType::Memo &&
         t != ColumnType::OLE;
}

bool validType(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: case ColumnType::Byte: case ColumnType::Integer:
    case ColumnType::Long: case ColumnType::Currency: case ColumnType::Single:
    case ColumnType::Double: case ColumnType::DateTime: case ColumnType::Binary:
    case ColumnType::Text: case ColumnType::OLE: case ColumnType::Memo:
    case ColumnType::GUID: case ColumnType::Numeric:
      return true;
  }
  return false;
}

class DatabaseImpl final : public Database {
 public:
  explicit DatabaseImpl(std::unique_ptr<Pager> pager) : pager_(std::move(pager)) {
    pager_->setAllocationHook([this](uint32_t n) { globalMarkUsed(*pager_, n); });
  }

  void load() {
    if (pager_->pageCount() < 2)
      throw Error(Error::Code::NotJet4, "the file is too short to be an Access database");
    const Page& p0 = pager_->page(0);
    header_ = readHeader(p0, uint64_t(pager_->pageCount()) * kPageSize);
    loadCatalog();
  }

  void buildBlank(double created);

  const std::string& path() const override { return pager_->path(); }
  bool rolledBackOnOpen() const override { return pager_->recovered(); }

  std::vector<std::string> tableNames() const override {
    std::vector<std::string> out;
    for (const auto& t : tables_) out.push_back(t->name);
    return out;
  }

  bool hasTable(const std::string& name) const override {
    // Asked before every statement; the table last used needs no folding.
    if (lastFound_ && name == lastName_) return true;
    try {
      return byName_.count(foldName(name)) > 0;
    } catch (const Error&) {
      return false;
    }
  }

  TableSpec tableSpec(const std::string& name) const override;
  uint32_t rowCount(const std::string& table) const override { return find(table).def.rowCount; }
  void createTable(const TableSpec& spec) override;
  void createIndex(const std::string& table, const IndexSpec& spec) override;
  void dropTable(const std::string& name) override;
  void setDescription(const std::string& table, const std::string& column, const std::string& text) override;
  void createRelationship(const RelationshipSpec& spec) override;
  std::vector<RelationshipSpec> relationships() const override { return readRelationships(); }

  void insertRow(const std::string& table, const std::vector<Value>& values) override {
    Table& t = find(table);
    mutate([&] { insertInto(t, values); });
  }

  void scanRows(const std::string& table,
                const std::function<bool(const std::vector<Value>&)>& visit) const override {
    Table& t = find(table);
    try {
      scanStored(t, [&](uint32_t, uint8_t, const uint8_t* row, size_t size) {
        return visit(decodeRow(*pager_, t.def, t.layout, row, size));
      });
    } catch (const Error&) {
      throw;
    } catch (const std::length_error& e) {
      throw Error(Error::Code::Corrupt, std::string("table '" + t.name + "' is damaged: ") + e.what());
    } catch (const std::out_of_range& e) {
      throw Error(Error::Code::Corrupt, std::string("table '" + t.name + "' is damaged: ") + e.what());
    }
  }

  bool changedOnDisk() const override {
    if (pager_->fileChanged()) return true;
    if (pager_->pending()) return false;
    auto counts = [&](const Table& t) {
      const Page& p = pager_->page(t.def.page);
      return get32(&p[16]) != t.def.rowCount || get32(&p[20]) != t.def.autoNumber;
    };
    try {
      if (counts(*objects_)) return true;
      for (const auto& t : tables_)
        if (counts(*t)) return true;
    } catch (const Error&) {
      return true;
    }
    return false;
  }

  void reload() override {
    struct stat st;
    bool replaced = stat(pager_->path().c_str(), &st) != 0;
    if (!replaced && pager_->fileChanged()) {
      if (pager_->writable()) {
        replaced = true;
      } else {
        pager_->refresh();
        replaced = pager_->fileChanged();
      }
    }
    if (replaced) {
      std::string path = pager_->path();
      bool writable = pager_->writable();
      pager_.reset();
      pager_ = Pager::open(path, writable);
      pager_->setAllocationHook([this](uint32_t n) { globalMarkUsed(*pager_, n); });
    }
    load();
  }

 private:
  Table& find(const std::string& name) const {
    // Inserts name the same table over and over; skip the folding then.
    if (lastFound_ && name == lastName_) return *lastFound_;
    Table& t = findFolded(name);
    lastName_ = name;
    lastFound_ = &t;
    return t;
  }

  Table& findFolded(const std::string& name) const {
    auto it = byName_.end();
    try {
      it = byName_.find(foldName(name));
    } catch (const Error&) {
    }
    if (it == byName_.end())
      throw Error(Error::Code::NoSuchTable, "no table named '" + name + "'");
    return *it->second;
  }

  // Runs one operation atomically; on failure the file and the caches are
  // back where they were.
  template <class F>
  void mutate(F&& f) {
    if (!pager_->writable())
      throw Error(Error::Code::Io, "the database '" + path() + "' is open read-only");
    try {
      f();
      pager_->commit();
    } catch (...) {
      if (pager_->pending()) {
        pager_->rollback();
        try {
          loadCatalog();
        } catch (...) {
        }
      }
      throw;
    }
  }

  std::unique_ptr<Table> loadTable(uint32_t page, const std::string& name) {
    auto t = std::make_unique<Table>();
    t->name = name;
    t->def = parseTdef(*pager_, page);
    prepareTable(*t);
    return t;
  }

  void loadCatalog();
  void scanStored(Table& t, const std::function<bool(uint32_t, uint8_t, const uint8_t*, size_t)>& visit) const;
  void encodeRow(Table& t);
  void releaseLastLongValue(Table& t, uint16_t column, uint32_t page, const RowSpan& span);
  std::pair<uint32_t, uint8_t> insertInto(Table& t, const std::vector<Value>& values);
  uint32_t newMapRow(std::vector<uint32_t>& mapPages);
  void insertIndexEntry(Table& t, size_t i, const KeyBytes& key, uint32_t page, uint8_t row);
  void learnMaxKey(Table& t, size_t i);
  void deleteRows(Table& t, const std::set<uint32_t>& rows);
  void deleteCatalogRow(uint32_t rowPointer);
  void learnParentChecks(Table& t);
  void checkParents(Table& t);
  size_t addRealIndex(Table& t, RealIndexDef r, const std::string& name);
  std::vector<RelationshipSpec> readRelationships() const;
  void buildIndex(Table& t, size_t i, const std::string& name);
  // The MSysObjects columns every object fills; callers add the rest.
  std::vector<Value> objectRow(int64_t id, int64_t parent, const std::string& name, int64_t type, double when,
                               const std::vector<uint8_t>& owner, int64_t flags) const;

  std::unique_ptr<Pager> pager_;
  HeaderInfo header_;
  std::unique_ptr<Table> objects_;
  std::unique_ptr<Table> aces_;
  std::unique_ptr<Table> relations_;  // MSysRelationships
  std::vector<std::unique_ptr<Table>> tables_;
  std::unordered_map<std::u16string, Table*> byName_;
  mutable std::string lastName_;
  mutable Table* lastFound_ = nullptr;
};

void DatabaseImpl::scanStored(
    Table& t, const std::function<bool(uint32_t, uint8_t, const uint8_t*, size_t)>& visit) const {
  std::vector<uint32_t> pages = mapPages(*pager_, t.def.ownedMap);
  // Runs of consecutive pages are read into a buffer of this process's own
  // rather than through the mapping: mapping each page of a large table in
  // turn, and letting go of the mapping so that memory stays flat, costs
  // more than the copy.
  constexpr size_t kRun = 32;
  std::vector<Page> run(std::min(pages.size(), kRun));
  size_t runAt = 0, runSize = 0;
  size_t viaMap = 0;
  for (size_t k = 0; k < pages.size(); ++k) {
    const uint32_t n = pages[k];
    if (n >= pager_->pageCount()) throw Error(Error::Code::Corrupt, "a usage map names a page past the end");
    if (k >= runAt + runSize) {
      runAt = k;
      runSize = 1;
      while (runSize < kRun && k + runSize < pages.size() && pages[k + runSize] == n + runSize &&
             pages[k + runSize] < pager_->pageCount())
        ++runSize;
      pager_->read(n, uint32_t(runSize), run.data());
    }
    const Page& p = run[k - runAt];    if (!isDataPage(p) || dataPageOwner(p) != t.def.page) continue;
    uint32_t count = rowCountOf(p);
    for (uint32_t r = 0; r < count; ++r) {
      RowSpan s = rowSpan(p, r);
      if (s.deleted) continue;
      const Page* rp = &p;
      if (s.overflow) {
        // The row moved; this slot only points at it.
        if (s.end - s.start < 4) throw Error(Error::Code::Corrupt, "a moved row's pointer is cut short");
        uint32_t ptr = get32(&p[s.start]);
        // Every 8 MB read through the mapping: a scan of a large table
        // would otherwise hold all of it in this process's memory.
        if (++viaMap % 2048 == 0) pager_->forgetMapped();
        rp = &pager_->page(ptr >> 8);
        s = rowSpan(*rp, ptr & 0xFF);
      }
      if (!visit(n, uint8_t(r), rp->data() + s.start, s.end - s.start)) return;
    }
  }
}

void DatabaseImpl::loadCatalog() {
  lastFound_ = nullptr;
  tables_.clear();
  byName_.clear();
  objects_ = loadTable(kObjectsPage, "MSysObjects");
  relations_ = loadTable(kRelationshipsPage, "MSysRelationships");
  const auto& oc = objects_->def.columns;
  if (oc.size() < kObjColumns || oc[kObjId].name != "Id" || oc[kObjName].name != "Name" ||
      oc[kObjType].type != ColumnType::Integer || oc[kObjFlags].type != ColumnType::Long ||
      oc[kObjLvProp].type != ColumnType::OLE)
    throw Error(Error::Code::Corrupt, "the system catalogue is not where a Jet 4 file keeps it");
  aces_ = loadTable(kAcesPage, "MSysACEs");
  struct Entry {
    std::string name;
    uint32_t page;
    uint32_t rowPointer;
    std::vector<uint8_t> props;
  };
  std::vector<Entry> entries;
  Table& o = *objects_;
  scanStored(o, [&](uint32_t page, uint8_t row, const uint8_t* data, size_t size) {
    auto v = decodeRow(*pager_, o.def, o.layout, data, size);
    auto type = std::get_if<int64_t>(&v[kObjType]);
    auto parent = std::get_if<int64_t>(&v[kObjParentId]);
    auto flags = std::get_if<int64_t>(&v[kObjFlags]);
    auto id = std::get_if<int64_t>(&v[kObjId]);
    auto name = std::get_if<std::string>(&v[kObjName]);
    if (!type || !parent || !id || !name || *type != 1 || *parent != kTablesContainer) return true;
    uint32_t f = flags ? uint32_t(*flags) : 0;
    if (f & 0x80000002u) return true;  // system and hidden tables
    Entry e{*name, uint32_t(*id) & 0x00FFFFFF, makeRowPointer(page, row), {}};
    if (auto b = std::get_if<Bytes>(&v[kObjLvProp])) e.props = *b;
    entries.push_back(std::move(e));
    return true;
  });
  for (auto& e : entries) {
    auto t = loadTable(e.page, e.name);
    t->catalogRow = e.rowPointer;
    t->props = readPropertyBlob(e.props).value_or(ObjectProperties{});
    for (auto& c : t->def.columns) {
      c.required = false;
      for (const auto& p : t->props.columns)
        if (p.name == c.name) c.required = p.required;
    }
    for (const auto& l : t->def.logicalIndexes)
      if (l.type == kIndexPrimary)
        for (auto [col, asc] : t->def.realIndexes[l.realIndex].columns) t->def.columns[t->def.position(col)].required = true;
    byName_[foldName(e.name)] = t.get();
    tables_.push_back(std::move(t));
  }
}

// The index's largest key from its last entry, one descent. A damaged right
// edge leaves it unknown: the inserts then look each key up.
void DatabaseImpl::learnMaxKey(Table& t, size_t i) {
  IndexPlan& p = t.plans[i];
  p.maxAsked = true;
  try {
    KeyBytes last;
    if (btreeLastEntry(*pager_, t.def.realIndexes[i].root, last)) {
      if (last.size() < 4) return;
      last.resize(last.size() - 4);
      // Empty means "no entries"; a key is never empty.
      if (last.empty()) return;
    }
    p.maxKey.swap(last);
    p.maxKnown = true;
  } catch (const Error&) {
  }
}

void DatabaseImpl::insertIndexEntry(Table& t, size_t i, const KeyBytes& key, uint32_t page,
                                    uint8_t row) {
  RealIndexDef& r = t.def.realIndexes[i];
  // The leaf entry is the key followed by the row's 3-byte page and row.
  KeyBytes& leaf = t.leaf;
  leaf.resize(key.size() + 4);
  std::copy(key.begin(), key.end(), leaf.begin());
  uint8_t* tail = leaf.data() + key.size();
  tail[0] = uint8_t(page >> 16);
  tail[1] = uint8_t(page >> 8);
  tail[2] = uint8_t(page);
  tail[3] = row;
  BtreeChange change = btreeInsert(*pager_, t.def.page, r.root, leaf, t.plans[i].tail);
  r.root = change.root;
  for (uint32_t n : change.newPages) mapSet(*pager_, r.mapPointer, n, true);
  if (t.keyNew[i]) ++r.distinctKeys;
  // Most inserts leave the root where it was; a counter whose stored bytes
  // already hold the value needs neither a write nor a journal entry.
  auto store = [&](uint32_t at, uint32_t value) {
    auto [n, off] = tdefLocate(t.def, at);
    if (get32(&pager_->page(n)[off]) == value) return;
    put32(pager_->modifyRange(n, off, 4) + off, value);
  };
  store(t.def.distinctAt.at(i), r.distinctKeys);
  store(t.def.rootAt.at(i), r.root);
}

std::pair<uint32_t, uint8_t> DatabaseImpl::insertInto(Table& t, const std::vector<Value>& values) {
  const auto& cols = t.def.columns;
  if (values.size() != cols.size())
    throw Error(Error::Code::InvalidValue, "table '" + t.name + "' has " + std::to_string(cols.size()) +
                                               " columns, the row has " + std::to_string(values.size()));
  uint32_t autoNumber = t.def.autoNumber;
  // The per-column loops below work through local pointers: every byte they
  // store could otherwise alias the table's vectors and force reloads.
  const size_t ncols = cols.size();
  const ColumnDef* col = cols.data();
  const Value* given = values.data();
  Value* scratch = t.scratch.data();
  const Value** stored = t.values.data();
  for (size_t i = 0; i < ncols; ++i) {
    const ColumnDef& c = col[i];
    if (!(c.flags & kColAutoLong)) {
      stored[i] = &normalizeValue(c, given[i], scratch[i]);
      continue;
    }
    if (std::holds_alternative<Null>(given[i])) {
      if (autoNumber >= uint32_t(INT32_MAX))
        throw Error(Error::Code::OutOfRange, "the AutoNumber of '" + t.name + "' is exhausted", c.name);
      scratch[i] = int64_t(++autoNumber);
      stored[i] = &scratch[i];
      continue;
    }
    stored[i] = &normalizeValue(c, given[i], scratch[i]);
    int64_t v = std::get<int64_t>(*stored[i]);
    if (v > int64_t(autoNumber)) autoNumber = uint32_t(v);
  }
  // Keys and the uniqueness checks come before anything is written.
  for (size_t i = 0; i < t.plans.size(); ++i) {
    IndexPlan& p = t.plans[i];
    bool anyNull = false, allNull = true;
    for (uint16_t c : p.columns) {
      bool isNull = std::holds_alternative<Null>(*t.values[c]);
      anyNull |= isNull;
      allNull &= isNull;
    }
    KeyBytes& key = t.keys[i];
    key.clear();
    if (p.required && anyNull) {
      for (uint16_t c : p.columns)
        if (std::holds_alternative<Null>(*t.values[c]))
          throw Error(Error::Code::RequiredNull, "the index of '" + t.name + "' over '" + cols[c].name +
                                                     "' takes no NULL", cols[c].name);
    }
    if (p.ignoreNulls && allNull) continue;
    // Built in the table's own buffer: no allocation once it has grown.
    for (size_t k = 0; k < p.columns.size(); ++k)
      appendIndexKey(key, p.types[k], *t.values[p.columns[k]], p.descending[k]);
    bool exists = false;
    if (!p.maxKnown && !p.maxAsked) learnMaxKey(t, i);
    const bool beyond = p.maxKnown && aboveMax(p.maxKey, key);
    if (!beyond && (!p.unique || !anyNull))
      exists = btreeContainsKey(*pager_, t.def.realIndexes[i].root, t.keys[i]);
    if (exists && p.unique && !anyNull) {
      std::string name = "index";
      for (const auto& l : t.def.logicalIndexes)
        if (l.realIndex == i) name = l.name;
      throw Error(Error::Code::Duplicate,
                  "the value would duplicate an existing entry in index '" + name + "' of '" + t.name + "'");
    }
    t.keyNew[i] = !exists;
  }
  if (!t.parentChecksKnown) learnParentChecks(t);
  if (!t.parentChecks.empty()) checkParents(t);
  encodeRow(t);
  if (!t.lastDataPageKnown) {
    uint32_t last = 0;
    for (uint32_t n : mapPages(*pager_, t.def.ownedMap)) {
      const Page& p = pager_->page(n);
      if (isDataPage(p) && dataPageOwner(p) == t.def.page) last = n;
    }
    t.lastDataPage = last;
    t.lastDataPageKnown = true;
  }
  if (t.lastDataPage == 0 || !rowFits(pager_->page(t.lastDataPage), t.row.size())) {
    uint32_t n = pager_->allocate();
    initNewDataPage(*pager_, n, t.def.page);
    mapSet(*pager_, t.def.ownedMap, n, true);
    mapSet(*pager_, t.def.freeMap, n, true);
    if (t.lastDataPage != 0) mapSet(*pager_, t.def.freeMap, t.lastDataPage, false);
    t.lastDataPage = n;
  }
  uint32_t page = t.lastDataPage;
  uint8_t row = appendRow(*pager_, page, t.row);
  for (size_t i = 0; i < t.plans.size(); ++i)
    if (!t.keys[i].empty()) insertIndexEntry(t, i, t.keys[i], page, row);
  for (size_t i = 0; i < t.plans.size(); ++i) {
    IndexPlan& p = t.plans[i];
    if (p.maxKnown && !t.keys[i].empty() && aboveMax(p.maxKey, t.keys[i]))
      p.maxKey.swap(t.keys[i]);  // the key buffer is refilled for the next row anyway
  }
  ++t.def.rowCount;
  t.def.autoNumber = autoNumber;
  writeRowCounters(*pager_, t.def);
  return {page, row};
}

// Encodes the row whose stored-form values t.values points at into t.row,
// writing its long values out; throws RowTooLarge before any page changes.
void DatabaseImpl::encodeRow(Table& t) {
  const auto& cols = t.def.columns;
  const size_t ncols = cols.size();
  const ColumnDef* col = cols.data();
  const Value** stored = t.values.data();
  // Fixed area, null mask, variable fields.
  t.fixed.assign(t.layout.fixedSize, 0);
  size_t size = 2 + t.layout.fixedSize + t.layout.maskBytes;
  if (t.layout.varSlots > 0) size += 2 * (t.layout.varSlots + 2);
  uint8_t* present = t.present.data();
  uint8_t* fixed = t.fixed.data();
  std::vector<uint8_t>* varFields = t.varFields.data();
  for (size_t i = 0; i < ncols; ++i) {
    const ColumnDef& c = col[i];
    const Value& v = *stored[i];
    if (c.type == ColumnType::Boolean) {
      present[i] = std::get<bool>(v);
      continue;
    }
    bool isNull = std::holds_alternative<Null>(v);
    present[i] = !isNull;
    if (c.fixed()) {
      if (!isNull) encodeFixed(c, v, fixed + c.fixedOffset);
      continue;
    }
    auto& field = varFields[c.varIndex];
    if (isNull) {
      field.clear();
      continue;
    }
    encodeVariable(c, v, field);
    size += c.longValue() ? longValueFieldSize(field.size()) : field.size();
  }
  if (size > kMaxRowSize)
    throw Error(Error::Code::RowTooLarge, "the row needs " + std::to_string(size) +
                                              " bytes; a row holds at most 4060");
  // From here on pages change.
  for (uint16_t i : t.longColumns) {
    const ColumnDef& c = cols[i];
    if (!t.present[i]) continue;
    auto& field = t.varFields[c.varIndex];
    std::vector<uint8_t>& stored = t.longField;
    stored.clear();
    writeLongValue(*pager_, t.longValues[size_t(t.longValueSlot[i])], field, stored);
    field.swap(stored);
  }
  assembleRow(t.def, t.layout, t.fixed, t.varFields, t.present, t.row);
}

// A new 69-byte map row, on the last map page when it has room.
uint32_t DatabaseImpl::newMapRow(std::vector<uint32_t>& mapPages) {
  auto empty = emptyMapRow();
  if (mapPages.empty() || !rowFits(pager_->page(mapPages.back()), empty.size())) {
    uint32_t n = pager_->allocate();
    initDataPage(pager_->modify(n), 0);
    mapPages.push_back(n);
  }
  uint8_t row = appendRow(*pager_, mapPages.back(), empty);
  return makeRowPointer(mapPages.back(), row);
}


void DatabaseImpl::createTable(const TableSpec& spec) {
  checkName(spec.name, "table");
  std::u16string folded = foldName(spec.name);
  bool systemName = folded == u"msysobjects" || folded == u"msysaces" || folded == u"msysqueries" ||
                    folded == u"msysrelationships" || folded == u"msysaccessobjects" || folded == u"msysdb";
  if (hasTable(spec.name) || systemName)
    throw Error(Error::Code::Exists, "a table named '" + spec.name + "' already exists");
  if (spec.columns.empty() || spec.columns.size() > 255)
    throw Error(Error::Code::InvalidDefinition, "a table has 1 to 255 columns");
  auto bad = [](const std::string& what) { throw Error(Error::Code::InvalidDefinition, what); };
  std::unordered_map<std::u16string, uint16_t> columnByName;
  TableDef def;
  uint16_t fixedOffset = 0, varIndex = 0;
  bool haveAutoNumber = false;
  for (uint16_t i = 0; i < spec.columns.size(); ++i) {
    const ColumnSpec& s = spec.columns[i];
    checkName(s.name, "column");
    if (!columnByName.emplace(foldName(s.name), i).second) bad("two columns are named '" + s.name + "'");
    if (!validType(s.type)) bad("column '" + s.name + "' has an unknown type");
    if ((s.type == ColumnType::Text || s.type == ColumnType::Binary) && s.length > 255)
      bad("column '" + s.name + "' is longer than 255");
    if (s.type == ColumnType::Numeric && (s.precision < 1 || s.precision > 28 || s.scale > s.precision))
      bad("column '" + s.name + "' needs a precision of 1 to 28 and a scale up to it");
    if (s.autoNumber && s.type != ColumnType::Long) bad("only Long columns can be AutoNumber");
    if (s.autoNumber) {
      // The table has one counter, so one AutoNumber column, as in Access.
      if (haveAutoNumber) bad("table '" + spec.name + "' has more than one AutoNumber column");
      haveAutoNumber = true;
      if (s.autoNumberSeed < 1 || s.autoNumberSeed > INT32_MAX)
        bad("the AutoNumber of column '" + s.name + "' cannot start at " + std::to_string(s.autoNumberSeed));
      def.autoNumber = uint32_t(s.autoNumberSeed - 1);
    }
    ColumnDef c;
    c.name = s.name;
    c.type = s.type;
    c.number = i;
    c.position = i;
    c.length = storageLength(s);
    c.required = s.required || s.autoNumber;
    if (isFixedType(s.type)) {
      c.flags = kColFixed | kColUpdatable;
      if (s.type != ColumnType::Boolean) {
        c.fixedOffset = fixedOffset;
        fixedOffset = uint16_t(fixedOffset + c.length);
      }
    } else {
      c.flags = kColUpdatable;
      c.varIndex = varIndex++;
    }
    if (s.autoNumber) c.flags |= kColAutoLong;
    if ((s.type == ColumnType::Text || s.type == ColumnType::Memo) && s.compressedUnicode)
      c.ext = kColCompressedUnicode;
    if (s.type == ColumnType::Numeric) c.misc = {s.precision, s.scale, 0, 0};
    def.columns.push_back(c);
    def.descriptorOrder.push_back(i);
  }
  if (spec.indexes.size() > kMaxIndexes)
    bad("table '" + spec.name + "' has " + std::to_string(spec.indexes.size()) + " indexes; a Jet table holds " +
        std::to_string(kMaxIndexes) + " at most");
  std::set<std::u16string> indexNames;
  bool havePrimary = false;
  for (const auto& ix : spec.indexes) {
    std::string name = ix.name.empty() && ix.primaryKey ? "PrimaryKey" : ix.name;
    checkName(name, "index");
    if (!indexNames.insert(foldName(name)).second) bad("two indexes are named '" + name + "'");
    if (ix.columns.empty() || ix.columns.size() > 10) bad("index '" + name + "' needs 1 to 10 columns");
    if (!ix.descending.empty() && ix.descending.size() != ix.columns.size())
      bad("index '" + name + "' has a sort order for some columns only");
    if (ix.primaryKey && havePrimary) bad("a table has one primary key at most");
    havePrimary |= ix.primaryKey;
    RealIndexDef r;
    std::set<uint16_t> used;
    for (size_t k = 0; k < ix.columns.size(); ++k) {
      auto it = columnByName.find(foldName(ix.columns[k]));
      if (it == columnByName.end())
        throw Error(Error::Code::NoSuchColumn, "index '" + name + "' names no column '" + ix.columns[k] + "'");
      if (!used.insert(it->second).second) bad("index '" + name + "' names a column twice");
      ColumnDef& c = def.columns[it->second];
      if (c.longValue()) bad("memo and OLE columns cannot be indexed");
      if (ix.primaryKey) c.required = true;
      r.columns.push_back({it->second, ix.descending.empty() || !ix.descending[k]});
    }
    r.flags = kIdxAlways;
    if (ix.primaryKey || ix.unique) r.flags |= kIdxUnique;
    if (ix.primaryKey || ix.required) r.flags |= kIdxRequired;
    if (ix.ignoreNulls && !ix.primaryKey) r.flags |= kIdxIgnoreNulls;
    def.logicalIndexes.push_back({name, uint32_t(def.realIndexes.size()), uint32_t(def.realIndexes.size()),
                                  uint8_t(ix.primaryKey ? kIndexPrimary : 0)});
    def.realIndexes.push_back(r);
  }
  {
    TableDef probe = def;
    if (serializeTdef(probe).size() > 60000) bad("the table definition is too large");
  }
  ObjectProperties props;
  props.description = spec.description;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    ColumnProperties p{def.columns[i].name, def.columns[i].required, spec.columns[i].defaultValue,
                       spec.columns[i].description};
    if (!p.empty()) props.columns.push_back(std::move(p));
  }
  std::vector<uint8_t> blob = makePropertyBlob(props);
  if (blob.size() > 60000) bad("the properties of table '" + spec.name + "' are too long");

  mutate([&] {
    def.page = pager_->allocate();
    // Reserve the first page so that the definition's page number is fixed
    // before anything else is allocated.
    pager_->modify(def.page)[0] = 0x02;
    std::vector<uint32_t> mapPageList;
    def.ownedMap = newMapRow(mapPageList);
    def.freeMap = newMapRow(mapPageList);
    for (auto& r : def.realIndexes) r.mapPointer = newMapRow(mapPageList);
    for (const auto& c : def.columns)
      if (c.longValue()) {
        uint32_t owned = newMapRow(mapPageList);
        uint32_t free = newMapRow(mapPageList);
        def.longValueMaps.push_back({c.number, owned, free});
      }
    for (auto& r : def.realIndexes) {
      r.root = btreeCreateRoot(*pager_, def.page);
      mapSet(*pager_, r.mapPointer, r.root, true);
    }
    writeTdef(*pager_, def);

    std::vector<Value> row =
        objectRow(int64_t(def.page), kTablesContainer, spec.name, 1, nowOleDate(), kSidAdmin, 0);
    row[kObjLvProp] = std::move(blob);
    auto [page, slot] = insertInto(*objects_, row);
    insertInto(*aces_, {int64_t(def.page), sidCipher(header_.sidKey, kSidAdmin), int64_t(kAcmTableAdmin), false});
    insertInto(*aces_, {int64_t(def.page), sidCipher(header_.sidKey, kSidUsers), int64_t(kAcmTableUsers), false});

    auto t = std::make_unique<Table>();
    t->name = spec.name;
    t->def = parseTdef(*pager_, def.page);
    for (size_t i = 0; i < def.columns.size(); ++i) t->def.columns[i].required = def.columns[i].required;
    t->catalogRow = makeRowPointer(page, slot);
    t->props = props;
    prepareTable(*t);
    byName_[foldName(spec.name)] = t.get();
    tables_.push_back(std::move(t));
  });
}

void DatabaseImpl::createIndex(const std::string& table, const IndexSpec& ix) {
  Table& t = find(table);
  auto bad = [](const std::string& what) { throw Error(Error::Code::InvalidDefinition, what); };
  std::string name = ix.name.empty() && ix.primaryKey ? "PrimaryKey" : ix.name;
  checkName(name, "index");
  for (const auto& l : t.def.logicalIndexes) {
    if (foldName(l.name) == foldName(name)) throw Error(Error::Code::Exists, "table '" + t.name + "' already has an index named '" + name + "'");
    if (ix.primaryKey && l.type == kIndexPrimary) bad("table '" + t.name + "' already has a primary key");
  }
  if (ix.columns.empty() || ix.columns.size() > 10) bad("index '" + name + "' needs 1 to 10 columns");
  if (!ix.descending.empty() && ix.descending.size() != ix.columns.size())
    bad("index '" + name + "' has a sort order for some columns only");
  if (t.def.logicalIndexes.size() >= kMaxIndexes)
    bad("table '" + t.name + "' already has " + std::to_string(kMaxIndexes) +
        " indexes, the most a Jet table can hold (relationships count too)");
  RealIndexDef r;
  std::set<size_t> used;
  for (size_t k = 0; k < ix.columns.size(); ++k) {
    size_t pos = t.def.columns.size();
    for (size_t i = 0; i < t.def.columns.size(); ++i)
      if (foldName(t.def.columns[i].name) == foldName(ix.columns[k])) pos = i;
    if (pos == t.def.columns.size())
      throw Error(Error::Code::NoSuchColumn, "index '" + name + "' names no column '" + ix.columns[k] + "'");
    if (!used.insert(pos).second) bad("index '" + name + "' names a column twice");
    if (t.def.columns[pos].longValue()) bad("memo and OLE columns cannot be indexed");
    r.columns.push_back({t.def.columns[pos].number, ix.descending.empty() || !ix.descending[k]});
  }
  r.flags = kIdxAlways;
  if (ix.primaryKey || ix.unique) r.flags |= kIdxUnique;
  if (ix.primaryKey || ix.required) r.flags |= kIdxRequired;
  if (ix.ignoreNulls && !ix.primaryKey) r.flags |= kIdxIgnoreNulls;

  mutate([&] {
    if (ix.primaryKey)
      for (auto [col, asc] : r.columns) t.def.columns[t.def.position(col)].required = true;
    size_t i = addRealIndex(t, r, name);
    t.def.logicalIndexes.push_back({name, uint32_t(t.def.logicalIndexes.size()), uint32_t(i),
                                    uint8_t(ix.primaryKey ? kIndexPrimary : 0)});
    writeTdef(*pager_, t.def);
    prepareTable(t);
  });
}

// Adds real index r to the table's definition and fills it from the rows
// already there; name is the index's name for messages.
size_t DatabaseImpl::addRealIndex(Table& t, RealIndexDef r, const std::string& name) {
  std::vector<uint32_t> mapPageList{t.def.ownedMap >> 8};
  r.mapPointer = newMapRow(mapPageList);
  size_t i = t.def.realIndexes.size();
  t.def.realIndexes.push_back(r);
  writeTdef(*pager_, t.def);
  prepareTable(t);
  buildIndex(t, i, name);
  return i;
}

std::vector<Value> DatabaseImpl::objectRow(int64_t id, int64_t parent, const std::string& name, int64_t type,
                                          double when, const std::vector<uint8_t>& owner, int64_t flags) const {
  std::vector<Value> row(objects_->def.columns.size(), Null{});
  row[kObjId] = id;
  row[kObjParentId] = parent;
  row[kObjName] = name;
  row[kObjType] = type;
  row[kObjDateCreate] = DateTime{when};
  row[kObjDateUpdate] = DateTime{when};
  row[kObjOwner] = sidCipher(header_.sidKey, owner);
  row[kObjFlags] = flags;
  return row;
}

// Fills the new real index i of a table that may already hold rows: every
// row's entry is collected and sorted, checked for duplicates, and the tree
// is written in one pass (the index's definition is already in place, its
// root not yet).
void DatabaseImpl::buildIndex(Table& t, size_t i, const std::string& name) {
  const IndexPlan& p = t.plans[i];
  RealIndexDef& r = t.def.realIndexes[i];
  const bool required = r.flags & kIdxRequired;
  IndexEntries entries(t.def.rowCount);
  KeyBytes key;
  std::u16string scratch;
  std::vector<const ColumnDef*> columns;
  for (uint16_t c : p.columns) columns.push_back(&t.def.columns[c]);
  scanStored(t, [&](uint32_t page, uint8_t row, const uint8_t* data, size_t size) {
    const StoredRow stored(data, size, t.layout);
    bool anyNull = false, allNull = true;
    key.clear();
    for (size_t k = 0; k < columns.size(); ++k) {
      const bool isNull = !appendStoredKey(key, *pager_, stored, *columns[k], p.types[k], p.descending[k], scratch);
      if (isNull && required)
        throw Error(Error::Code::RequiredNull, "index '" + name + "' takes no NULL, and a row holds one",
                    columns[k]->name);
      anyNull |= isNull;
      allNull &= isNull;
    }
    if (!(p.ignoreNulls && allNull)) entries.add(key, page, row, anyNull);
    return true;
  });
  entries.sortByKey();
  r.distinctKeys = 0;
  for (size_t k = 0; k < entries.size(); ++k) {
    if (entries.newKey(k))
      ++r.distinctKeys;
    else if (p.unique && !entries.withNull(k))
      // Several rows may share a key that holds a NULL, as in MySQL.
      throw Error(Error::Code::Duplicate, "table '" + t.name + "' holds duplicate values for index '" + name + "'");
  }
  entries.sortWhole();
  BtreeBuilt built = btreeBuild(*pager_, t.def.page, entries.size(), [&](size_t k) { return entries.entry(k); });
  r.root = built.root;
  for (uint32_t page : built.pages) mapSet(*pager_, r.mapPointer, page, true);
  writeIndexCounters(*pager_, t.def, i);
  t.plans[i].forgetRightEnd();
}

// Marks rows deleted and rebuilds the table's indexes without them (the
// tree has no delete), freeing the old index pages.
void DatabaseImpl::deleteRows(Table& t, const std::set<uint32_t>& rows) {
  for (uint32_t ptr : rows) {
    uint32_t page = ptr >> 8, row = ptr & 0xFF;
    rowSpan(pager_->page(page), row);  // validates
    uint8_t* w = pager_->modifyRange(page, kDataHeader + 2 * row, 2);
    put16(w + kDataHeader + 2 * row, uint16_t(get16(w + kDataHeader + 2 * row) | kRowDeleted));
  }
  for (size_t i = 0; i < t.def.realIndexes.size(); ++i) {
    RealIndexDef& r = t.def.realIndexes[i];
    std::vector<KeyBytes> entries = btreeLeafEntries(*pager_, r.root);
    for (uint32_t old : mapPages(*pager_, r.mapPointer)) {
      mapSet(*pager_, r.mapPointer, old, false);
      globalMarkFree(*pager_, old);
    }
    r.root = btreeCreateRoot(*pager_, t.def.page);
    mapSet(*pager_, r.mapPointer, r.root, true);
    r.distinctKeys = 0;
    KeyBytes previous;
    bool first = true;
    for (const auto& e : entries) {
      if (e.size() < 4) throw Error(Error::Code::Corrupt, "an index entry is too short");
      size_t n = e.size();
      uint32_t page = (uint32_t(e[n - 4]) << 16) | (uint32_t(e[n - 3]) << 8) | e[n - 2];
      if (rows.count(makeRowPointer(page, e[n - 1]))) continue;
      KeyBytes key(e.begin(), e.end() - 4);
      if (first || key != previous) ++r.distinctKeys;
      first = false;
      previous = std::move(key);
      BtreeChange change = btreeInsert(*pager_, t.def.page, r.root, e);
      r.root = change.root;
      for (uint32_t np : change.newPages) mapSet(*pager_, r.mapPointer, np, true);
    }
    writeIndexCounters(*pager_, t.def, i);
    t.plans[i].forgetRightEnd();
  }
  t.def.rowCount -= uint32_t(rows.size());
  writeRowCounters(*pager_, t.def);
}

void DatabaseImpl::deleteCatalogRow(uint32_t rowPointer) {
  deleteRows(*objects_, {rowPointer});
  // Some readers list deleted catalogue rows; a type of 0 keeps them from
  // showing the row as an object.
  uint32_t page = rowPointer >> 8;
  RowSpan span = rowSpan(pager_->page(page), rowPointer & 0xFF);
  if (span.overflow) return;
  uint32_t at = span.start + 2 + objects_->def.columns[kObjType].fixedOffset;
  uint8_t* w = pager_->modifyRange(page, at, 2);
  put16(w + at, 0);
  // mdbtools also looks objects up by name among those rows: the name's
  // bytes become zeros, so that a table whose row was stored again is found
  // in its new row only.
  const RowLayout& layout = objects_->layout;
  const uint32_t size = span.end - span.start;
  const uint32_t tableEnd = size - layout.maskBytes;
  const uint8_t* row = pager_->page(page).data() + span.start;
  const uint16_t nvar = get16(row + tableEnd - 2);
  const uint16_t vi = objects_->def.columns[kObjName].varIndex;
  if (layout.varSlots == 0 || vi >= nvar) return;
  const uint32_t from = get16(row + tableEnd - 4 - 2 * vi);
  const uint32_t to = vi + 1 < nvar ? get16(row + tableEnd - 4 - 2 * (vi + 1)) : get16(row + tableEnd - 4 - 2 * nvar);
  if (from >= to || to > tableEnd) return;
  w = pager_->modifyRange(page, span.start + from, to - from);
  std::memset(w + span.start + from, 0, to - from);
}

void DatabaseImpl::dropTable(const std::string& name) {
  Table& t = find(name);
  for (const auto& r : readRelationships())
    if (foldName(r.table) == foldName(t.name) || foldName(r.referencedTable) == foldName(t.name))
      throw Error(Error::Code::InvalidDefinition,
                  "table '" + t.name + "' is part of relationship '" + r.name + "'");
  mutate([&] {
    uint32_t id = t.def.page;
    deleteCatalogRow(t.catalogRow);
    std::set<uint32_t> aceRows;
    Table& a = *aces_;
    scanStored(a, [&](uint32_t page, uint8_t row, const uint8_t* data, size_t size) {
      auto v = decodeRow(*pager_, a.def, a.layout, data, size);
      if (auto o = std::get_if<int64_t>(&v[0]); o && uint32_t(*o) == id) aceRows.insert(makeRowPointer(page, row));
      return true;
    });
    deleteRows(a, aceRows);
    // The table's own pages go back to the file; map pages stay, since
    // Access shares them between tables.
    std::set<uint32_t> pages{t.def.page};
    pages.insert(t.def.extraPages.begin(), t.def.extraPages.end());
    for (uint32_t p : mapPages(*pager_, t.def.ownedMap)) pages.insert(p);
    for (const auto& m : t.def.longValueMaps)
      for (uint32_t p : mapPages(*pager_, m.owned)) pages.insert(p);
    for (const auto& r : t.def.realIndexes)
      for (uint32_t p : mapPages(*pager_, r.mapPointer)) pages.insert(p);
    for (uint32_t p : pages)
      if (p < pager_->pageCount()) globalMarkFree(*pager_, p);
    lastFound_ = nullptr;
    byName_.erase(foldName(t.name));
    tables_.erase(std::find_if(tables_.begin(), tables_.end(), [&](const auto& p) { return p.get() == &t; }));
  });
}

// A catalogue row cannot change in place: it is stored again with its new
// properties and the old one deleted.
void DatabaseImpl::setDescription(const std::string& table, const std::string& column,
                                  const std::string& text) {
  Table& t = find(table);
  ObjectProperties props = t.props;
  if (column.empty()) {
    props.description = text;
  } else {
    const ColumnDef* c = nullptr;
    for (const auto& d : t.def.columns)
      if (foldName(d.name) == foldName(column)) c = &d;
    if (!c) throw Error(Error::Code::NoSuchColumn, "table '" + t.name + "' has no column '" + column + "'");
    auto it = std::find_if(props.columns.begin(), props.columns.end(),
                           [&](const ColumnProperties& p) { return p.name == c->name; });
    if (it == props.columns.end()) {
      ColumnProperties fresh;
      fresh.name = c->name;
      it = props.columns.insert(props.columns.end(), fresh);
    }
    it->description = text;
    if (it->empty()) props.columns.erase(it);
  }
  std::vector<uint8_t> blob = makePropertyBlob(props);
  if (blob.size() > 60000) throw Error(Error::Code::StringTooLong, "the description is too long");
  mutate([&] {
    Table& o = *objects_;
    const uint32_t page = t.catalogRow >> 8;
    const uint8_t slot = uint8_t(t.catalogRow & 0xFF);
    const RowSpan span = rowSpan(pager_->page(page), slot);
    if (span.deleted || span.overflow)
      throw Error(Error::Code::Corrupt, "the catalogue row of '" + t.name + "' is missing");
    std::vector<Value> row =
        decodeRow(*pager_, o.def, o.layout, pager_->page(page).data() + span.start, span.end - span.start);
    row[kObjLvProp] = std::move(blob);
    row[kObjDateUpdate] = DateTime{nowOleDate()};
    releaseLastLongValue(o, kObjLvProp, page, span);
    // In place where the page has room: the row keeps its pointer, so the
    // catalogue's indexes stay as they are. Moving it would rebuild them,
    // and a conversion sets many descriptions one after another.
    for (size_t i = 0; i < row.size(); ++i) o.values[i] = &normalizeValue(o.def.columns[i], row[i], o.scratch[i]);
    encodeRow(o);
    if (!replaceRow(*pager_, page, slot, o.row)) {
      deleteCatalogRow(t.catalogRow);
      auto [newPage, newSlot] = insertInto(o, row);
      t.catalogRow = makeRowPointer(newPage, newSlot);
    }
    t.props = props;
  });
}

// Each description rewrites the whole property blob: when the old one sits
// in its own LVAL row, last on its page, that row is taken off the page so
// the new blob takes its room instead of leaving it behind unused.
void DatabaseImpl::releaseLastLongValue(Table& t, uint16_t column, uint32_t page, const RowSpan& span) {
  const ColumnDef& c = t.def.columns[column];
  const uint8_t* row = pager_->page(page).data() + span.start;
  const uint32_t size = span.end - span.start;
  const RowLayout& layout = t.layout;
  if (layout.varSlots == 0 || size < layout.maskBytes + 4) return;
  const uint32_t tableEnd = size - layout.maskBytes;
  const uint16_t nvar = get16(row + tableEnd - 2);
  if (c.varIndex >= nvar || tableEnd < 4 + 2 * uint32_t(nvar)) return;
  const uint32_t from = get16(row + tableEnd - 4 - 2 * c.varIndex);
  const uint32_t to = get16(row + tableEnd - 4 - 2 * (c.varIndex + 1));
  if (to < from || to - from != kLongValueHeader || to > tableEnd) return;
  if ((get32(row + from) >> 30) != 1) return;  // not a single LVAL row
  const uint32_t pointer = get32(row + from + 4);
  const uint32_t lvPage = pointer >> 8, lvRow = pointer & 0xFF;
  if (lvPage == 0 || lvPage >= pager_->pageCount()) return;
  const Page& lp = pager_->page(lvPage);
  const uint32_t count = rowCountOf(lp);
  if (!isDataPage(lp) || count == 0 || lvRow != count - 1) return;
  const RowSpan lv = rowSpan(lp, lvRow);
  const uint32_t free = freeSpaceOf(lp);
  uint8_t* w = pager_->modifyRange(lvPage, 0, kPageSize);
  std::memset(w + lv.start, 0, lv.end - lv.start);
  put16(w + kDataHeader + 2 * lvRow, 0);
  put16(w + 2, uint16_t(free + (lv.end - lv.start) + 2));
  put16(w + 12, uint16_t(count - 1));
}

std::vector<RelationshipSpec> DatabaseImpl::readRelationships() const {
  struct Pair {
    int64_t index;
    std::string column, referenced;
  };
  std::vector<RelationshipSpec> out;
  std::vector<std::vector<Pair>> pairs;
  Table& r = *relations_;
  scanStored(r, [&](uint32_t, uint8_t, const uint8_t* data, size_t size) {
    auto v = decodeRow(*pager_, r.def, r.layout, data, size);
    auto text = [&](size_t k) {
      auto s = std::get_if<std::string>(&v[k]);
      return s ? *s : std::string();
    };
    auto number = [&](size_t k) {
      auto n = std::get_if<int64_t>(&v[k]);
      return n ? *n : 0;
    };
    std::string name = text(kRelName);
    size_t at = 0;
    while (at < out.size() && out[at].name != name) ++at;
    if (at == out.size()) {
      RelationshipSpec spec;
      spec.name = name;
      spec.table = text(kRelObject);
      spec.referencedTable = text(kRelReferencedObject);
      uint32_t grbit = uint32_t(number(kRelGrbit));
      spec.enforced = !(grbit & kRelNoIntegrity);
      spec.cascadeUpdates = grbit & kRelCascadeUpdates;
      spec.cascadeDeletes = grbit & kRelCascadeDeletes;
      out.push_back(spec);
      pairs.emplace_back();
    }
    pairs[at].push_back({number(kRelIndex), text(kRelColumn), text(kRelReferencedColumn)});
    return true;
  });
  for (size_t i = 0; i < out.size(); ++i) {
    std::sort(pairs[i].begin(), pairs[i].end(), [](const Pair& a, const Pair& b) { return a.index < b.index; });
    for (const auto& p : pairs[i]) {
      out[i].columns.push_back(p.column);
      out[i].referencedColumns.push_back(p.referenced);
    }
  }
  return out;
}

// The relationships this table is the child of, from the foreign-key
// halves of its definition (Access writes the same), so that files made
// elsewhere are enforced too.
void DatabaseImpl::learnParentChecks(Table& t) {
  t.parentChecks.clear();
  t.parentChecksKnown = true;
  for (const auto& l : t.def.logicalIndexes) {
    if (l.type != kIndexForeign || l.relatedType != kRelatedIsChild) continue;
    Table* parent = nullptr;
    for (const auto& other : tables_)
      if (other->def.page == l.relatedPage) parent = other.get();
    if (!parent) continue;
    const LogicalIndexDef* half = nullptr;
    for (const auto& pl : parent->def.logicalIndexes)
      if (int64_t(pl.number) == int64_t(l.relatedIndex)) half = &pl;
    if (!half) continue;
    ParentCheck check;
    check.relationship = l.name;
    check.parent = parent;
    check.parentReal = half->realIndex;
    const auto& childIndex = t.def.realIndexes[l.realIndex].columns;
    const auto& parentIndex = parent->def.realIndexes[half->realIndex].columns;
    if (childIndex.size() != parentIndex.size()) continue;
    bool sameTypes = true;
    for (size_t k = 0; k < childIndex.size(); ++k) {
      size_t pos = t.def.position(childIndex[k].first);
      sameTypes &= t.def.columns[pos].type == parent->def.columns[parent->def.position(parentIndex[k].first)].type;
      check.childColumns.push_back(uint16_t(pos));
    }
    if (sameTypes) t.parentChecks.push_back(std::move(check));
  }
}

// Refuses a row whose foreign key (no column NULL) has no parent row. A
// row of a self-referencing table may refer to itself.
void DatabaseImpl::checkParents(Table& t) {
  KeyBytes key;
  for (const ParentCheck& c : t.parentChecks) {
    bool anyNull = false;
    for (uint16_t pos : c.childColumns) anyNull |= std::holds_alternative<Null>(*t.values[pos]);
    if (anyNull) continue;
    Table* parent = c.parent;
    const IndexPlan& p = parent->plans[c.parentReal];
    key.clear();
    for (size_t k = 0; k < c.childColumns.size(); ++k)
      appendIndexKey(key, p.types[k], *t.values[c.childColumns[k]], p.descending[k]);
    if (parent == &t && key == t.keys[c.parentReal]) continue;
    if (!btreeContainsKey(*pager_, parent->def.realIndexes[c.parentReal].root, key))
      throw Error(Error::Code::ForeignKey, "You cannot add or change a record because a related record is required in table '" +
                                               parent->name + "'.");
  }
}

void DatabaseImpl::createRelationship(const RelationshipSpec& spec) {
  auto bad = [](const std::string& what) { throw Error(Error::Code::InvalidDefinition, what); };
  checkName(spec.name, "relationship");
  for (const auto& r : readRelationships())
    if (foldName(r.name) == foldName(spec.name))
      throw Error(Error::Code::Exists, "a relationship named '" + spec.name + "' already exists");
  Table& child = findFolded(spec.table);
  Table& parent = findFolded(spec.referencedTable);
  const bool self = &child == &parent;
  const size_t n = spec.columns.size();
  if (n == 0 || n > 10 || spec.referencedColumns.size() != n)
    bad("relationship '" + spec.name + "' needs 1 to 10 pairs of columns");
  auto position = [](const Table& t, const std::string& name) {
    for (size_t i = 0; i < t.def.columns.size(); ++i)
      if (foldName(t.def.columns[i].name) == foldName(name)) return uint16_t(i);
    throw Error(Error::Code::NoSuchColumn, "table '" + t.name + "' has no column '" + name + "'");
  };
  std::vector<uint16_t> childPos, parentPos;
  for (size_t k = 0; k < n; ++k) {
    childPos.push_back(position(child, spec.columns[k]));
    parentPos.push_back(position(parent, spec.referencedColumns[k]));
    const ColumnDef& c = child.def.columns[childPos.back()];
    const ColumnDef& p = parent.def.columns[parentPos.back()];
    if (c.type != p.type || c.longValue())
      bad("relationship '" + spec.name + "' pairs columns '" + c.name + "' and '" + p.name + "' of different types");
  }
  uint32_t grbit = 0;
  if (!spec.enforced) grbit |= kRelNoIntegrity;
  if (spec.enforced && spec.cascadeUpdates) grbit |= kRelCascadeUpdates;
  if (spec.enforced && spec.cascadeDeletes) grbit |= kRelCascadeDeletes;

  // Enforced: the parent's unique index over exactly the referenced
  // columns, the pairs in its column order, and no orphan among the rows.
  size_t parentReal = 0;
  std::vector<uint16_t> childColumns;  // positions, in the parent index's order
  if (spec.enforced) {
    bool found = false;
    for (size_t i = 0; i < parent.def.realIndexes.size() && !found; ++i) {
      const RealIndexDef& r = parent.def.realIndexes[i];
      if (!(r.flags & kIdxUnique) || r.columns.size() != n) continue;
      std::vector<uint16_t> order;
      for (auto [number, asc] : r.columns) {
        size_t pos = parent.def.position(number);
        auto it = std::find(parentPos.begin(), parentPos.end(), pos);
        if (it == parentPos.end()) break;
        order.push_back(childPos[size_t(it - parentPos.begin())]);
      }
      if (order.size() != n) continue;
      found = true;
      parentReal = i;
      childColumns = order;
    }
    if (!found)
      throw Error(Error::Code::InvalidDefinition, "Relationship '" + spec.name + "' cannot be enforced: the referenced columns of '" +
                                                      parent.name + "' have no unique index");
    size_t more = self ? 2 : 1;
    if (child.def.logicalIndexes.size() + more > kMaxIndexes || parent.def.logicalIndexes.size() + more > kMaxIndexes)
      bad("relationship '" + spec.name + "' would give a table more than " + std::to_string(kMaxIndexes) +
          " indexes, the most a Jet table can hold");
    const IndexPlan& p = parent.plans[parentReal];
    std::vector<char> only(child.def.columns.size(), 0);
    for (uint16_t pos : childColumns) only[pos] = 1;
    uint64_t orphans = 0;
    KeyBytes key;
    scanStored(child, [&](uint32_t, uint8_t, const uint8_t* data, size_t size) {
      auto v = decodeRow(*pager_, child.def, child.layout, data, size, &only);
      for (uint16_t pos : childColumns)
        if (std::holds_alternative<Null>(v[pos])) return true;
      key.clear();
      for (size_t k = 0; k < n; ++k) appendIndexKey(key, p.types[k], v[childColumns[k]], p.descending[k]);
      if (!btreeContainsKey(*pager_, parent.def.realIndexes[parentReal].root, key)) ++orphans;
      return true;
    });
    if (orphans)
      throw Error(Error::Code::ForeignKey, "Relationship '" + spec.name + "' cannot be enforced: " + std::to_string(orphans) +
                                               " rows of '" + child.name + "' have no matching row in '" + parent.name + "'");
  }

  // Each relationship is a catalogue object; Access numbers objects that
  // are not tables upwards from 0x80000000.
  int64_t id = int64_t(int32_t(0x80000001u));
  {
    Table& o = *objects_;
    std::vector<char> only(o.def.columns.size(), 0);
    only[kObjId] = 1;
    scanStored(o, [&](uint32_t, uint8_t, const uint8_t* data, size_t size) {
      auto v = decodeRow(*pager_, o.def, o.layout, data, size, &only);
      if (auto x = std::get_if<int64_t>(&v[kObjId]); x && *x < 0 && *x >= id) id = *x + 1;
      return true;
    });
  }

  mutate([&] {
    for (size_t k = 0; k < n; ++k)
      insertInto(*relations_, {spec.name, int64_t(grbit), int64_t(n), int64_t(k),
                               child.name, child.def.columns[childPos[k]].name, parent.name,
                               parent.def.columns[parentPos[k]].name});
    insertInto(*objects_, objectRow(id, kRelationshipsContainer, spec.name, 8, nowOleDate(), kSidAdmin, 0));
    insertInto(*aces_, {id, sidCipher(header_.sidKey, kSidAdmin), int64_t(kAcmTableAdmin), false});
    insertInto(*aces_, {id, sidCipher(header_.sidKey, kSidUsers), int64_t(kAcmRelationshipUsers), false});
    if (!spec.enforced) return;

    // The child's half shares an index over the same columns in the same
    // order, or gets one of its own.
    size_t childReal = child.def.realIndexes.size();
    for (size_t i = 0; i < child.def.realIndexes.size(); ++i) {
      const auto& cols = child.def.realIndexes[i].columns;
      if (cols.size() != n) continue;
      bool same = true;
      for (size_t k = 0; k < n; ++k) same &= child.def.position(cols[k].first) == childColumns[k];
      if (same) {
        childReal = i;
        break;
      }
    }
    if (childReal == child.def.realIndexes.size()) {
      RealIndexDef r;
      for (uint16_t pos : childColumns) r.columns.push_back({child.def.columns[pos].number, true});
      r.flags = kIdxAlways;
      childReal = addRealIndex(child, r, spec.name);
    }
    auto freeName = [](const Table& t, const std::string& base, bool dotted) {
      for (int k = 0;; ++k) {
        std::string name = dotted ? ".r" + std::string(1, char('B' + k % 25)) + (k >= 25 ? std::to_string(k / 25) : "")
                                  : (k == 0 ? base : base + std::to_string(k));
        bool taken = false;
        for (const auto& l : t.def.logicalIndexes) taken |= foldName(l.name) == foldName(name);
        if (!taken) return name;
      }
    };
    LogicalIndexDef childHalf;
    childHalf.name = freeName(child, spec.name, false);
    childHalf.number = uint32_t(child.def.logicalIndexes.size());
    childHalf.realIndex = uint32_t(childReal);
    childHalf.type = kIndexForeign;
    childHalf.relatedType = kRelatedIsChild;
    childHalf.relatedPage = parent.def.page;
    childHalf.cascadeUpdates = spec.cascadeUpdates ? 1 : 0;
    childHalf.cascadeDeletes = spec.cascadeDeletes ? 1 : 0;
    const size_t childAt = child.def.logicalIndexes.size();
    child.def.logicalIndexes.push_back(childHalf);
    LogicalIndexDef parentHalf = childHalf;
    parentHalf.name = freeName(parent, "", true);
    parentHalf.number = uint32_t(parent.def.logicalIndexes.size());
    parentHalf.realIndex = uint32_t(parentReal);
    parentHalf.relatedType = kRelatedIsParent;
    parentHalf.relatedIndex = int32_t(childHalf.number);
    parentHalf.relatedPage = child.def.page;
    parent.def.logicalIndexes.push_back(parentHalf);
    child.def.logicalIndexes[childAt].relatedIndex = int32_t(parentHalf.number);
    writeTdef(*pager_, child.def);
    prepareTable(child);
    if (!self) {
      writeTdef(*pager_, parent.def);
      prepareTable(parent);
    }
  });
}

TableSpec DatabaseImpl::tableSpec(const std::string& name) const {
  const Table& t = find(name);
  TableSpec s;
  s.name = t.name;
  s.description = t.props.description;
  for (const auto& c : t.def.columns) {
    ColumnSpec cs;
    cs.name = c.name;
    cs.type = c.type;
    if (c.type == ColumnType::Text) cs.length = uint16_t(c.length / 2);
    if (c.type == ColumnType::Binary) cs.length = c.length;
    if (c.type == ColumnType::Numeric) {
      cs.precision = c.misc[0];
      cs.scale = c.misc[1];
    }
    cs.required = c.required;
    cs.autoNumber = c.flags & kColAutoLong;
    if (cs.autoNumber) cs.autoNumberSeed = int64_t(t.def.autoNumber) + 1;
    for (const auto& p : t.props.columns)
      if (p.name == c.name) {
        cs.defaultValue = p.defaultValue;
        cs.description = p.description;
      }
    cs.compressedUnicode = c.ext & kColCompressedUnicode;
    s.columns.push_back(cs);
  }
  std::vector<const LogicalIndexDef*> logical;
  for (const auto& l : t.def.logicalIndexes) logical.push_back(&l);
  std::sort(logical.begin(), logical.end(), [](auto a, auto b) { return a->number < b->number; });
  for (const auto* l : logical) {
    const RealIndexDef& r = t.def.realIndexes[l->realIndex];
    IndexSpec is;
    is.name = l->name;
    for (auto [col, asc] : r.columns) {
      is.columns.push_back(t.def.columns[t.def.position(col)].name);
      is.descending.push_back(!asc);
    }
    is.primaryKey = l->type == kIndexPrimary;
    is.unique = r.flags & kIdxUnique;
    is.ignoreNulls = r.flags & kIdxIgnoreNulls;
    is.required = (r.flags & kIdxRequired) && l->type != 1;
    if (l->type == kIndexForeign) continue;  // halves of relationships
    s.indexes.push_back(is);
  }
  return s;
}

void DatabaseImpl::buildBlank(double created) {
  header_ = readHeader(pager_->page(0), uint64_t(pager_->pageCount()) * kPageSize);
  auto defs = systemTableDefs();
  // Pages 2..5 hold the definitions, 6 the maps, 7..13 the index roots, in
  // the order the Jet engine allocates them.
  for (int i = 0; i < 5; ++i) pager_->allocate();
  initDataPage(pager_->modify(kSystemMapPage), 0);
  for (uint32_t i = 0; i < kSystemMapRows; ++i) appendRow(*pager_, kSystemMapPage, emptyMapRow());
  for (auto& d : defs)
    for (auto& r : d.realIndexes) {
      uint32_t root = btreeCreateRoot(*pager_, d.page);
      if (root != r.root) throw Error(Error::Code::Corrupt, "unexpected page layout while building a database");
      mapSet(*pager_, r.mapPointer, root, true);
    }
  for (auto& d : defs) writeTdef(*pager_, d);
  objects_ = loadTable(kObjectsPage, "MSysObjects");
  relations_ = loadTable(kRelationshipsPage, "MSysRelationships");
  aces_ = loadTable(kAcesPage, "MSysACEs");
  struct Obj {
    int32_t id, parent;
    const char* name;
    int type;
    const std::vector<uint8_t>* owner;
  };
  const Obj objs[] = {
      {kTablesContainer, kRootContainer, "Tables", 3, &kSidEngine},
      {kDatabasesContainer, kRootContainer, "Databases", 3, &kSidEngine},
      {kRelationshipsContainer, kRootContainer, "Relationships", 3, &kSidEngine},
      {kMSysDbId, kDatabasesContainer, "MSysDb", 2, &kSidAdmin},
      {2, kTablesContainer, "MSysObjects", 1, &kSidEngine},
      {3, kTablesContainer, "MSysACEs", 1, &kSidEngine},
      {4, kTablesContainer, "MSysQueries", 1, &kSidEngine},
      {5, kTablesContainer, "MSysRelationships", 1, &kSidEngine},
  };
  for (const auto& o : objs) {
    insertInto(*objects_, objectRow(int64_t(o.id), int64_t(o.parent), o.name, int64_t(o.type), created, *o.owner,
                                    int64_t(int32_t(kSystemObjectFlag))));
  }
  for (const auto& a : blankAceRows())
    insertInto(*aces_, {int64_t(a.objectId), sidCipher(header_.sidKey, *a.sid), int64_t(a.acm), a.inheritable});
  pager_->commit();
}

}  // namespace

bool rollBackInterruptedWrite(const std::string& path) {
  try {
    return Pager::open(path, false)->recovered();
  } catch (const std::exception&) {
    return false;
  }
}

std::unique_ptr<Database> Database::create(const std::string& path) {
  double created = nowOleDate();
  std::string temp = Pager::writeTemporary(path, {makeHeaderPage(created), makeGlobalMapPage(2)});
  try {
    {
      DatabaseImpl db(Pager::open(temp, true));
      db.buildBlank(created);
    }
    // A journal still lying at the new file's path belongs to a file that is
    // gone; the new one must never inherit it.
    std::string journal = path + "-journal";
    struct stat st;
    if (lstat(journal.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(journal.c_str());
    Pager::publish(temp, path);
  } catch (...) {
    ::unlink(temp.c_str());
    ::unlink((temp + "-journal").c_str());
    throw;
  }
  return open(path, true);
}

std::unique_ptr<Database> Database::open(const std::string& path, bool writable) {
  auto db = std::make_unique<DatabaseImpl>(Pager::open(path, writable));
  try {
    db->load();
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(Error::Code::Corrupt, std::string("the database is damaged: ") + e.what());
  }
  return db;
}

}  // namespace jet
