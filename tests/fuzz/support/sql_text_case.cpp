// SQL text as a person at isql might type it: both parsers must agree on
// what the short insert path takes, and a statement the driver runs must
// leave a file that passes the structural check.
#include <fstream>
#include <iterator>
#include <string_view>

#include "drivers/access/driver_error.h"
#include "drivers/access/executor.h"
#include "drivers/access/sql_parser.h"
#include "jet/check.h"
#include "support/fuzz_case.h"

namespace fuzzcase {
namespace {

using namespace tabulex::access;
using jet::ColumnType;

// A table with a column of every type, two indexes and a few rows, built
// once; every input starts again from a copy of it.
const std::string& templateImage() {
  static const std::string image = [] {
    std::string path = scratchPath("template.mdb");
    {
      auto db = jet::Database::create(path);
      jet::TableSpec t;
      t.name = "t";
      auto column = [&](const char* name, ColumnType type, uint16_t length = 0) {
        jet::ColumnSpec c;
        c.name = name;
        c.type = type;
        c.length = length;
        t.columns.push_back(c);
      };
      column("id", ColumnType::Long);
      column("flag", ColumnType::Boolean);
      column("small", ColumnType::Byte);
      column("n", ColumnType::Integer);
      column("price", ColumnType::Currency);
      column("ratio", ColumnType::Single);
      column("amount", ColumnType::Double);
      column("born", ColumnType::DateTime);
      column("code", ColumnType::Binary, 16);
      column("name", ColumnType::Text, 50);
      column("blob", ColumnType::OLE);
      column("notes", ColumnType::Memo);
      column("uid", ColumnType::GUID);
      column("big", ColumnType::Numeric);
      t.columns.back().precision = 28;
      t.columns.back().scale = 4;
      t.indexes.push_back({"PrimaryKey", {"id"}, {}, true, true, false});
      t.indexes.push_back({"byName", {"name", "born"}, {false, true}, false, true, true});
      db->createTable(t);
      db->insertRow("t", {int64_t(1), true, int64_t(255), int64_t(-3), jet::Currency{125000},
                          0.5, 2.25, jet::toOleDate(2009, 3, 7, 14, 5, 9), jet::Bytes{0, 0xFF},
                          std::string("it's"), jet::Bytes(5000, 7), std::string(3000, 'm'),
                          jet::Guid{}, jet::Numeric{true, 123456789, 4}});
      db->insertRow("t", {int64_t(2), false, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{},
                          jet::Null{}, jet::Null{}, jet::Null{}, std::string("\xd0\x96"),
                          jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}});
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return image;
}

void sameInsert(const Insert& fast, const Insert& general) {
  bool same = fast.table == general.table && general.columns.empty() &&
              fast.values.size() == general.values.size();
  for (size_t i = 0; same && i < fast.values.size(); ++i) {
    const Literal &a = fast.values[i], &b = general.values[i];
    same = a.kind == b.kind && a.text == b.text && a.boolean == b.boolean &&
           a.position == b.position;
  }
  if (!same) throw Violation("the short insert path reads the statement differently");
}

void run(const Statement& statement) {
  std::string path = scratchPath("sql.mdb");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << templateImage();
  }
  bool changed = false;
  {
    auto db = jet::Database::open(path, true);
    SpecCache specs;
    try {
      ExecResult result = execute(*db, specs, statement);
      changed = !result.rows;
      // Reading what is there after a change covers the definitions and
      // rows it left.
      for (const auto& name : db->tableNames())
        db->scanRows(name, [](const std::vector<jet::Value>&) { return true; });
    } catch (const DriverError&) {
    }
  }
  if (changed) {
    jet::CheckReport report = jet::checkFile(path);
    if (!report.ok())
      throw Violation("a statement the driver ran left a damaged file: " +
                      (report.problems.empty() ? std::string("unreadable") : report.problems[0]));
  }
}

}  // namespace

void sqlText(const uint8_t* data, size_t size) {
  std::string_view sql(reinterpret_cast<const char*>(data), size);
  Insert fast;
  std::string decoded;
  bool plain = parsePlainInsert(sql, fast, decoded);
  Statement statement;
  try {
    statement = parseStatement(sql);
  } catch (const DriverError&) {
    if (plain) throw Violation("the short insert path takes a statement the parser refuses");
    return;
  }
  if (plain) {
    const Insert* general = std::get_if<Insert>(&statement);
    if (!general) throw Violation("the short insert path takes a statement that is no insert");
    sameInsert(fast, *general);
  }
  run(statement);
}

}  // namespace fuzzcase
