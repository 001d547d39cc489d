#include "drivers/access/sql_parser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <forward_list>
#include <string_view>

namespace tabulex::access {
namespace {

enum class Tok { Word, Name, String, Number, Hex, Date, Punct, End };

// Tokens view the statement's text; only a quoted run with doubled quotes
// needs text of its own, kept by the parser where the views stay valid.
struct Token {
  Tok kind = Tok::End;
  std::string_view text;  // Word: as written; Name/String/Date: contents; Punct: the character
  size_t position = 0;
  size_t end = 0;  // one past the token's last byte
};

// ASCII classes by hand: the lexer runs for every inserted row, and the
// <cctype> calls (locale look-ups behind a function call) were a good part
// of its time. SQL's syntax is ASCII; bytes of UTF-8 names count as letters.
constexpr bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool isHexDigit(unsigned char c) {
  return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
constexpr unsigned char upperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

constexpr bool isWordByte(unsigned char c) {
  return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == '$' ||
         c >= 0x80;
}

// Case-blind comparison with an upper-case keyword, without allocating.
bool equalsKeyword(std::string_view text, const char* keyword) {
  size_t i = 0;
  for (; keyword[i]; ++i) {
    if (i >= text.size() ||
        upperAscii(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(keyword[i]))
      return false;
  }
  return i == text.size();
}

// NULL and the truth words; false for any other word.
bool keywordLiteral(std::string_view w, Literal& lit) {
  if (equalsKeyword(w, "NULL")) {
    lit.kind = Literal::Kind::Null;
  } else if (equalsKeyword(w, "TRUE") || equalsKeyword(w, "YES") || equalsKeyword(w, "ON")) {
    lit.kind = Literal::Kind::Boolean;
    lit.boolean = true;
  } else if (equalsKeyword(w, "FALSE") || equalsKeyword(w, "NO") || equalsKeyword(w, "OFF")) {
    lit.kind = Literal::Kind::Boolean;
  } else {
    return false;
  }
  return true;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class Lexer {
 public:
  Lexer(std::string_view sql, std::forward_list<std::string>& decoded)
      : sql_(sql), decoded_(decoded) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    out.reserve(std::min<size_t>(sql_.size() / 4 + 4, 256));
    for (;;) {
      skipSpace();
      Token t;
      t.position = pos_;
      if (pos_ >= sql_.size()) {
        t.end = pos_;
        out.push_back(t);
        return out;
      }
      unsigned char c = sql_[pos_];
      if (c == '"' || c == '`') {
        t.kind = Tok::Name;
        t.text = quoted(static_cast<char>(c), static_cast<char>(c));
      } else if (c == '[') {
        t.kind = Tok::Name;
        t.text = quoted('[', ']');
      } else if (c == '\'') {
        t.kind = Tok::String;
        t.text = quoted('\'', '\'');
      } else if (c == '#') {
        size_t end = sql_.find('#', pos_ + 1);
        if (end == std::string::npos) fail("unterminated date literal", pos_);
        t.kind = Tok::Date;
        t.text = std::string_view(sql_).substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
      } else if (c == '0' && pos_ + 1 < sql_.size() &&
                 (sql_[pos_ + 1] == 'x' || sql_[pos_ + 1] == 'X')) {
        size_t p = pos_ + 2;
        while (p < sql_.size() && isHexDigit(static_cast<unsigned char>(sql_[p]))) ++p;
        if (p < sql_.size() && isWordByte(sql_[p]))
          fail("malformed hexadecimal literal", pos_);
        t.kind = Tok::Hex;
        t.text = std::string_view(sql_).substr(pos_ + 2, p - pos_ - 2);
        pos_ = p;
      } else if (isDigit(c) ||
                 (c == '.' && pos_ + 1 < sql_.size() &&
                  isDigit(static_cast<unsigned char>(sql_[pos_ + 1])))) {
        t.kind = Tok::Number;
        t.text = number();
      } else if (isWordByte(c)) {
        size_t p = pos_;
        while (p < sql_.size() && isWordByte(sql_[p])) ++p;
        t.kind = Tok::Word;
        t.text = std::string_view(sql_).substr(pos_, p - pos_);
        pos_ = p;
      } else {
        t.kind = Tok::Punct;
        t.text = std::string_view(sql_).substr(pos_, 1);
        ++pos_;
      }
      t.end = pos_;
      out.push_back(std::move(t));
    }
  }

 private:
  void skipSpace() {
    while (pos_ < sql_.size()) {
      unsigned char c = sql_[pos_];
      if (isSpace(c)) {
        ++pos_;
      } else if (c == '-' && pos_ + 1 < sql_.size() && sql_[pos_ + 1] == '-') {
        while (pos_ < sql_.size() && sql_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  // Reads a quoted run; the closing character doubled stands for itself.
  std::string_view quoted(char open, char close) {
    size_t start = pos_;
    std::string* out = nullptr;
    ++pos_;
    for (;;) {
      size_t end = sql_.find(close, pos_);
      if (end == std::string::npos)
        fail(open == '\'' ? "unterminated string literal" : "unterminated quoted name", start);
      bool doubled = close != ']' && end + 1 < sql_.size() && sql_[end + 1] == close;
      if (!doubled && !out) {
        std::string_view whole = std::string_view(sql_).substr(pos_, end - pos_);
        pos_ = end + 1;
        return whole;
      }
      if (!out) out = &decoded_.emplace_front();
      out->append(sql_, pos_, end - pos_ + (doubled ? 1 : 0));
      pos_ = end + (doubled ? 2 : 1);
      if (!doubled) return *out;
    }
  }

  std::string_view number() {
    size_t start = pos_;
    while (pos_ < sql_.size() && isDigit(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
    if (pos_ < sql_.size() && sql_[pos_] == '.') {
      ++pos_;
      while (pos_ < sql_.size() && isDigit(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
    }
    if (pos_ < sql_.size() && (sql_[pos_] == 'e' || sql_[pos_] == 'E')) {
      size_t p = pos_ + 1;
      if (p < sql_.size() && (sql_[p] == '+' || sql_[p] == '-')) ++p;
      if (p < sql_.size() && isDigit(static_cast<unsigned char>(sql_[p]))) {
        while (p < sql_.size() && isDigit(static_cast<unsigned char>(sql_[p]))) ++p;
        pos_ = p;
      }
    }
    if (pos_ < sql_.size() && isWordByte(sql_[pos_])) fail("malformed number", start);
    return std::string_view(sql_).substr(start, pos_ - start);
  }

  [[noreturn]] void fail(const std::string& what, size_t at) {
    throw DriverError("42000", "Syntax error: " + what + " at character " +
                                   std::to_string(at + 1));
  }

  // A view, not a reference to the string: its length then sits in this
  // object, and stores to pos_ no longer force a reload of it in every loop.
  std::string_view sql_;
  std::forward_list<std::string>& decoded_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view sql) : sql_(sql), toks_(Lexer(sql, decoded_).run()) {}

  Statement parse() {
    Statement result;
    if (acceptWord("CREATE")) {
      context_ = "CREATE TABLE";
      if (acceptWord("TABLE")) {
        result = createTable();
      } else {
        context_ = "CREATE INDEX";
        bool unique = acceptWord("UNIQUE");
        expectWord("INDEX");
        result = createIndex(unique);
      }
    } else if (acceptWord("DROP")) {
      context_ = "DROP TABLE";
      expectWord("TABLE");
      result = DropTable{name("table name")};
    } else if (acceptWord("INSERT")) {
      context_ = "INSERT INTO";
      expectWord("INTO");
      result = insert();
    } else if (acceptWord("SELECT")) {
      context_ = "SELECT";
      result = select();
    } else if (acceptWord("ALTER")) {
      context_ = "ALTER TABLE";
      expectWord("TABLE");
      AlterTable at;
      at.table = name("table name");
      expectWord("ADD");
      if (!isWord("CONSTRAINT") && !isWord("PRIMARY") && !isWord("UNIQUE") && !isWord("FOREIGN"))
        syntaxError("expected ADD CONSTRAINT (columns cannot be added)");
      at.constraint = tableConstraint();
      result = at;
    } else if (acceptWord("COMMENT")) {
      context_ = "COMMENT ON";
      expectWord("ON");
      Comment c;
      if (acceptWord("TABLE")) {
        c.table = name("table name");
      } else {
        expectWord("COLUMN");
        c.table = name("table name");
        expectPunct(".");
        c.column = name("column name");
      }
      expectWord("IS");
      if (peek().kind != Tok::String) syntaxError("expected the text in single quotes");
      c.text = std::string(peek().text);
      ++pos_;
      result = c;
    } else {
      syntaxError("expected CREATE, DROP, INSERT, SELECT, ALTER or COMMENT");
    }
    acceptPunct(";");
    if (peek().kind != Tok::End) syntaxError("unexpected text after the end of the statement");
    return result;
  }

 private:
  CreateTable createTable() {
    CreateTable ct;
    ct.table = name("table name");
    expectPunct("(");
    for (;;) {
      if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("FOREIGN") ||
          (isWord("UNIQUE") && peek(1).kind == Tok::Punct && peek(1).text == "(")) {
        ct.constraints.push_back(tableConstraint());
      } else {
        ct.columns.push_back(columnDef());
      }
      if (acceptPunct(",")) continue;
      expectPunct(")");
      break;
    }
    if (ct.columns.empty()) syntaxError("a table needs at least one column");
    return ct;
  }

  ConstraintDef tableConstraint() {
    ConstraintDef c;
    if (acceptWord("CONSTRAINT")) c.name = name("constraint name");
    if (acceptWord("PRIMARY")) {
      expectWord("KEY");
      c.primaryKey = true;
      c.kind = ConstraintDef::Kind::PrimaryKey;
    } else if (acceptWord("FOREIGN")) {
      expectWord("KEY");
      c.kind = ConstraintDef::Kind::ForeignKey;
    } else {
      if (!acceptWord("UNIQUE")) syntaxError("expected PRIMARY KEY, UNIQUE or FOREIGN KEY");
    }
    c.columns = nameList();
    if (c.kind != ConstraintDef::Kind::ForeignKey) return c;
    expectWord("REFERENCES");
    c.referencedTable = name("table name");
    c.referencedColumns = nameList();
    for (;;) {
      if (acceptWord("ON")) {
        bool update = acceptWord("UPDATE");
        if (!update) expectWord("DELETE");
        expectWord("CASCADE");
        (update ? c.cascadeUpdates : c.cascadeDeletes) = true;
      } else if (acceptWord("NOT")) {
        expectWord("ENFORCED");
        c.enforced = false;
      } else {
        break;
      }
    }
    return c;
  }

  std::vector<std::string> nameList() {
    std::vector<std::string> names;
    expectPunct("(");
    do {
      names.push_back(name("column name"));
    } while (acceptPunct(","));
    expectPunct(")");
    return names;
  }

  // DEFAULT followed by a literal: the Access expression kept as the
  // column's DefaultValue.
  std::string columnDefault() {
    const Token& t = peek();
    std::string expression;
    if (t.kind == Tok::Punct && (t.text == "-" || t.text == "+")) {
      expression = t.text == "-" ? "-" : "";
      ++pos_;
      if (peek().kind != Tok::Number) syntaxError("expected a number after the sign");
      expression += std::string(peek().text);
      ++pos_;
      return expression;
    }
    switch (t.kind) {
      case Tok::Number:
        expression = std::string(t.text);
        break;
      case Tok::String:
      case Tok::Name:
        // "text" is a name to the lexer; in Access a default in double
        // quotes is text.
        if (t.kind == Tok::Name && sql_[t.position] != '"') syntaxError("expected a default value");
        expression = "\"";
        for (char ch : t.text) expression += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        expression += '"';
        break;
      case Tok::Date:
        expression = "#" + std::string(t.text) + "#";
        break;
      case Tok::Word:
        if ((equalsKeyword(t.text, "NOW") || equalsKeyword(t.text, "DATE")) && peek(1).kind == Tok::Punct &&
            peek(1).text == "(") {
          expression = equalsKeyword(t.text, "NOW") ? "Now()" : "Date()";
          pos_ += 2;
          expectPunct(")");
          return expression;
        }
        if (equalsKeyword(t.text, "TRUE") || equalsKeyword(t.text, "YES")) {
          expression = "True";
          break;
        }
        if (equalsKeyword(t.text, "FALSE") || equalsKeyword(t.text, "NO")) {
          expression = "False";
          break;
        }
        syntaxError("expected a number, text, a #date#, Now(), Date(), True or False");
      default:
        syntaxError("expected a default value");
    }
    ++pos_;
    return expression;
  }

  ColumnDef columnDef() {
    ColumnDef col;
    col.name = name("column name");
    col.type = typeName();
    for (;;) {
      if (acceptWord("PRIMARY")) {
        expectWord("KEY");
        col.primaryKey = true;
      } else if (acceptWord("NOT")) {
        expectWord("NULL");
        col.notNull = true;
      } else if (acceptWord("NULL")) {
        // explicit nullability: the default
      } else if (acceptWord("UNIQUE")) {
        col.unique = true;
      } else if (acceptWord("DEFAULT")) {
        if (acceptWord("NULL")) {
          col.defaultValue.clear();
        } else {
          col.defaultValue = columnDefault();
        }
      } else if (acceptWord("CONSTRAINT")) {
        name("constraint name");
        if (acceptWord("PRIMARY")) {
          expectWord("KEY");
          col.primaryKey = true;
        } else if (acceptWord("UNIQUE")) {
          col.unique = true;
        } else if (acceptWord("NOT")) {
          expectWord("NULL");
          col.notNull = true;
        } else {
          syntaxError("expected PRIMARY KEY, UNIQUE or NOT NULL");
        }
      } else {
        break;
      }
    }
    return col;
  }

  TypeName typeName() {
    const Token& first = peek();
    if (first.kind != Tok::Word) syntaxError("expected a type name");
    size_t start = first.position;
    TypeName t;
    t.words = upper(std::string(first.text));
    ++pos_;
    // Type words made of two words, and the MySQL qualifiers that ride along.
    static const char* const kTrailing[] = {"PRECISION", "VARYING", "UNSIGNED",
                                            "SIGNED", "ZEROFILL", "VARCHAR",
                                            "VARBINARY", "BINARY", "CHAR"};
    auto takeTrailing = [&] {
      for (;;) {
        if (peek().kind != Tok::Word) return;
        std::string w = upper(std::string(peek().text));
        bool known = false;
        for (const char* k : kTrailing) known = known || w == k;
        // CHAR after a type word only in "NATIONAL CHAR", "LONG VARCHAR" and the like.
        if (!known) return;
        if ((w == "CHAR" || w == "VARCHAR" || w == "BINARY" || w == "VARBINARY") &&
            t.words != "LONG" && t.words != "NATIONAL" && t.words != "CHARACTER" &&
            t.words != "NATIONAL CHARACTER")
          return;
        t.words += " " + w;
        ++pos_;
      }
    };
    if (t.words == "NATIONAL" && isWord("CHARACTER")) {
      t.words += " CHARACTER";
      ++pos_;
    }
    takeTrailing();
    if (acceptPunct("(")) {
      do {
        const Token& n = peek();
        if (n.kind != Tok::Number || n.text.find_first_not_of("0123456789") != std::string::npos ||
            n.text.size() > 9)
          syntaxError("expected a whole number in the type's size");
        t.args.push_back(std::strtoll(std::string(n.text).c_str(), nullptr, 10));
        ++pos_;
      } while (acceptPunct(","));
      expectPunct(")");
      takeTrailing();
    }
    t.original = std::string(sql_.substr(start, peek().position - start));
    while (!t.original.empty() && std::isspace(static_cast<unsigned char>(t.original.back())))
      t.original.pop_back();
    return t;
  }

  CreateIndex createIndex(bool unique) {
    CreateIndex ci;
    ci.unique = unique;
    ci.name = name("index name");
    expectWord("ON");
    ci.table = name("table name");
    expectPunct("(");
    do {
      ci.columns.push_back(name("column name"));
      if (acceptWord("DESC")) {
        ci.descending.push_back(true);
      } else {
        acceptWord("ASC");
        ci.descending.push_back(false);
      }
    } while (acceptPunct(","));
    expectPunct(")");
    if (acceptWord("WITH")) {
      do {
        if (acceptWord("PRIMARY")) {
          ci.primary = true;
        } else if (acceptWord("DISALLOW")) {
          expectWord("NULL");
          ci.disallowNull = true;
        } else if (acceptWord("IGNORE")) {
          expectWord("NULL");
          ci.ignoreNull = true;
        } else {
          syntaxError("expected PRIMARY, DISALLOW NULL or IGNORE NULL");
        }
      } while (!isEnd() && !isPunct(";"));
    }
    return ci;
  }

  Insert insert() {
    Insert ins;
    ins.table = name("table name");
    if (acceptPunct("(")) {
      do {
        ins.columns.push_back(name("column name"));
      } while (acceptPunct(","));
      expectPunct(")");
    }
    if (!acceptWord("VALUES") && !acceptWord("VALUE")) syntaxError("expected VALUES");
    expectPunct("(");
    ins.values.reserve(16);
    std::vector<bool> negative;
    do {
      bool sign = false;
      ins.values.push_back(literal(sign));
      negative.push_back(sign);
    } while (acceptPunct(","));
    expectPunct(")");
    if (!ins.columns.empty() && ins.columns.size() != ins.values.size())
      syntaxError("the number of values differs from the number of columns");
    // The texts move into one block of the Insert's own: they view the
    // statement and the lexer's decoded runs, which die with the parse, and
    // a sign written apart from its number has no text to view.
    auto storage = std::make_shared<std::string>();
    for (size_t i = 0; i < ins.values.size(); ++i) {
      if (negative[i]) *storage += '-';
      storage->append(ins.values[i].text);
    }
    size_t at = 0;
    for (size_t i = 0; i < ins.values.size(); ++i) {
      size_t length = ins.values[i].text.size() + (negative[i] ? 1 : 0);
      ins.values[i].text = std::string_view(*storage).substr(at, length);
      at += length;
    }
    ins.storage = std::move(storage);
    return ins;
  }

  Literal literal(bool& negativeNumber) {
    Literal lit;
    const Token& t = peek();
    lit.position = t.position;
    bool negative = false;
    if (t.kind == Tok::Punct && (t.text == "-" || t.text == "+")) {
      negative = t.text == "-";
      ++pos_;
      if (peek().kind != Tok::Number) syntaxError("expected a number after the sign");
    }
    Token& v = toks_[std::min(pos_, toks_.size() - 1)];
    if (!negative && v.kind == Tok::Punct && v.text == "?") {
      lit.kind = Literal::Kind::Parameter;
      ++pos_;
      return lit;
    }
    switch (v.kind) {
      case Tok::String:
        lit.kind = Literal::Kind::String;
        lit.text = v.text;
        break;
      case Tok::Number:
        lit.kind = Literal::Kind::Number;
        negativeNumber = negative;
        lit.text = v.text;
        break;
      case Tok::Hex:
        lit.kind = Literal::Kind::Hex;
        lit.text = v.text;
        break;
      case Tok::Date:
        lit.kind = Literal::Kind::Date;
        lit.text = v.text;
        break;
      case Tok::Word: {
        if (!keywordLiteral(v.text, lit)) syntaxError("expected a value");
        break;
      }
      default:
        syntaxError("expected a value");
    }
    ++pos_;
    return lit;
  }

  Select select() {
    Select s;
    if (acceptPunct("*")) {
    } else if (isWord("COUNT") && peek(1).kind == Tok::Punct && peek(1).text == "(") {
      pos_ += 2;
      expectPunct("*");
      expectPunct(")");
      s.countAll = true;
      if (acceptWord("AS")) name("column alias");
    } else {
      do {
        s.columns.push_back(name("column name"));
      } while (acceptPunct(","));
    }
    expectWord("FROM");
    s.table = name("table name");
    if (acceptWord("ORDER")) {
      expectWord("BY");
      do {
        OrderTerm term;
        term.column = name("column name");
        if (acceptWord("DESC")) {
          term.descending = true;
        } else {
          acceptWord("ASC");
        }
        s.orderBy.push_back(term);
      } while (acceptPunct(","));
    }
    return s;
  }

  // A name: bare, "double-quoted", [bracketed] or `backticked`.
  std::string name(const char* what) {
    const Token& t = peek();
    if (t.kind == Tok::Name) {
      if (t.text.empty()) syntaxError(std::string("empty ") + what);
      ++pos_;
      return std::string(t.text);
    }
    if (t.kind == Tok::Word) {
      ++pos_;
      return std::string(t.text);
    }
    syntaxError(std::string("expected a ") + what);
  }

  const Token& peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < toks_.size() ? toks_[i] : toks_.back();
  }
  bool isEnd() const { return peek().kind == Tok::End; }
  bool isWord(const char* w) const {
    return peek().kind == Tok::Word && equalsKeyword(peek().text, w);
  }
  bool isPunct(const char* p) const {
    return peek().kind == Tok::Punct && peek().text == p;
  }
  bool acceptWord(const char* w) {
    if (!isWord(w)) return false;
    ++pos_;
    return true;
  }
  bool acceptPunct(const char* p) {
    if (!isPunct(p)) return false;
    ++pos_;
    return true;
  }
  void expectWord(const char* w) {
    if (!acceptWord(w)) syntaxError(std::string("expected ") + w);
  }
  void expectPunct(const char* p) {
    if (!acceptPunct(p)) syntaxError(std::string("expected '") + p + "'");
  }

  [[noreturn]] void syntaxError(const std::string& what) const {
    const Token& t = peek();
    std::string near;
    if (t.kind == Tok::End) {
      near = "at the end of the statement";
    } else {
      std::string shown(sql_.substr(t.position, std::min<size_t>(t.end - t.position, 40)));
      near = "near '" + shown + "' at character " + std::to_string(t.position + 1);
    }
    std::string ctx = context_.empty() ? "" : " in " + context_ + " statement";
    throw DriverError("42000", "Syntax error" + ctx + " " + near + ": " + what + ".");
  }

  std::string_view sql_;
  // Before toks_, which views it. A list, not a deque: a deque allocates
  // even when empty, and most statements decode nothing.
  std::forward_list<std::string> decoded_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  std::string context_;
};

}  // namespace

Statement parseStatement(std::string_view sql) { return Parser(sql).parse(); }

namespace {

// Byte classes in one table: the plain reading looks at every byte of
// every row's statement once, and a look-up beats a chain of comparisons.
enum : uint8_t { kSpaceByte = 1, kDigitByte = 2, kWordByte = 4, kHexByte = 8 };
constexpr std::array<uint8_t, 256> kByteClasses = [] {
  std::array<uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    auto b = static_cast<unsigned char>(c);
    classes[c] = static_cast<uint8_t>((isSpace(b) ? kSpaceByte : 0) |
                                      (isDigit(b) ? kDigitByte : 0) |
                                      (isWordByte(b) ? kWordByte : 0) |
                                      (isHexDigit(b) ? kHexByte : 0));
  }
  return classes;
}();

// Plain-insert reading, a pointer walking the text; a false return
// anywhere hands the whole statement to the general parser.
class PlainInsert {
 public:
  PlainInsert(std::string_view sql, std::string& decoded)
      : begin_(sql.data()), p_(sql.data()), end_(sql.data() + sql.size()), decoded_(decoded) {}

  bool read(Insert& out) {
    out.columns.clear();
    out.values.clear();
    out.storage.reset();
    decoded_.clear();
    if (!keyword("INSERT") || !keyword("INTO") || !tableName(out.table)) return false;
    if (!space() || at('(')) return false;  // a column list: the general parser's case
    if (!keyword("VALUES") && !keyword("VALUE")) return false;
    if (!space() || !at('(')) return false;
    ++p_;
    for (;;) {
      Literal& lit = out.values.emplace_back();
      if (!literal(lit) || !space()) return false;
      if (at(',')) {
        ++p_;
        continue;
      }
      if (!at(')')) return false;
      ++p_;
      break;
    }
    if (!space()) return false;
    if (at(';')) ++p_;
    return space() && p_ == end_;
  }

 private:
  bool is(const char* q, uint8_t classes) const {
    return q < end_ && (kByteClasses[static_cast<unsigned char>(*q)] & classes);
  }
  bool at(char c) const { return p_ < end_ && *p_ == c; }
  bool startsNumber(const char* q) const {
    return is(q, kDigitByte) || (q < end_ && *q == '.' && is(q + 1, kDigitByte));
  }
  bool startsHex(const char* q) const {
    return end_ - q >= 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X');
  }
  std::string_view view(const char* from, const char* to) const {
    return std::string_view(from, static_cast<size_t>(to - from));
  }

  // Skips blanks; false at a comment, which this reading leaves alone.
  bool space() {
    while (is(p_, kSpaceByte)) ++p_;
    return !(end_ - p_ >= 2 && p_[0] == '-' && p_[1] == '-');
  }

  const char* wordEnd(const char* q) const {
    while (is(q, kWordByte)) ++q;
    return q;
  }

  // The whole word at the position, case-blind.
  bool keyword(const char* word) {
    if (!space()) return false;
    const char* q = p_;
    for (; *word; ++word, ++q)
      if (q == end_ || upperAscii(static_cast<unsigned char>(*q)) != *word) return false;
    if (is(q, kWordByte)) return false;
    p_ = q;
    return true;
  }

  bool tableName(std::string& out) {
    if (!space() || p_ == end_) return false;
    char c = *p_;
    if (c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      auto* end = static_cast<const char*>(std::memchr(p_ + 1, close, end_ - p_ - 1));
      if (!end || end == p_ + 1) return false;
      if (close != ']' && end + 1 < end_ && end[1] == close) return false;
      out.assign(view(p_ + 1, end));
      p_ = end + 1;
      return true;
    }
    if (!is(p_, kWordByte) || startsNumber(p_)) return false;
    const char* end = wordEnd(p_);
    out.assign(view(p_, end));
    p_ = end;
    return true;
  }

  // As the lexer reads a number: digits, a fraction, an exponent only when
  // digits follow it, and no word byte right after.
  bool number(const char*& q) const {
    while (is(q, kDigitByte)) ++q;
    if (q < end_ && *q == '.') {
      ++q;
      while (is(q, kDigitByte)) ++q;
    }
    if (q < end_ && (*q == 'e' || *q == 'E')) {
      const char* r = q + 1;
      if (r < end_ && (*r == '+' || *r == '-')) ++r;
      if (is(r, kDigitByte)) {
        while (is(r, kDigitByte)) ++r;
        q = r;
      }
    }
    return !is(q, kWordByte);
  }

  bool literal(Literal& lit) {
    if (!space() || p_ == end_) return false;
    lit.position = static_cast<size_t>(p_ - begin_);
    char c = *p_;
    if (c == '\'') {
      const char* from = p_ + 1;
      auto* end = static_cast<const char*>(std::memchr(from, '\'', end_ - from));
      if (!end) return false;
      lit.kind = Literal::Kind::String;
      if (end + 1 < end_ && end[1] == '\'') {
        // Decoded text is never longer than the statement: with this much
        // room it never moves, and views into it stay valid. Each decoded
        // run holds a quote, so empty means no view into it yet.
        if (decoded_.empty()) decoded_.reserve(static_cast<size_t>(end_ - begin_));
        size_t first = decoded_.size();
        for (;;) {
          end = static_cast<const char*>(std::memchr(from, '\'', end_ - from));
          if (!end) return false;
          bool doubled = end + 1 < end_ && end[1] == '\'';
          decoded_.append(from, static_cast<size_t>(end - from) + (doubled ? 1 : 0));
          from = end + (doubled ? 2 : 1);
          if (!doubled) break;
        }
        lit.text = std::string_view(decoded_).substr(first);
        p_ = from;
      } else {
        lit.text = view(from, end);
        p_ = end + 1;
      }
      return true;
    }
    if (c == '-' || c == '+') {
      const char* start = p_ + 1;
      if (!startsNumber(start) || startsHex(start)) return false;
      const char* end = start;
      if (!number(end)) return false;
      lit.kind = Literal::Kind::Number;
      lit.text = view(c == '-' ? p_ : start, end);
      p_ = end;
      return true;
    }
    if (startsHex(p_)) {
      const char* end = p_ + 2;
      while (is(end, kHexByte)) ++end;
      if (is(end, kWordByte)) return false;
      lit.kind = Literal::Kind::Hex;
      lit.text = view(p_ + 2, end);
      p_ = end;
      return true;
    }
    if (startsNumber(p_)) {
      const char* end = p_;
      if (!number(end)) return false;
      lit.kind = Literal::Kind::Number;
      lit.text = view(p_, end);
      p_ = end;
      return true;
    }
    if (c == '#') {
      auto* end = static_cast<const char*>(std::memchr(p_ + 1, '#', end_ - p_ - 1));
      if (!end) return false;
      lit.kind = Literal::Kind::Date;
      lit.text = view(p_ + 1, end);
      p_ = end + 1;
      return true;
    }
    if (!is(p_, kWordByte)) return false;
    const char* end = wordEnd(p_);
    if (!keywordLiteral(view(p_, end), lit)) return false;
    p_ = end;
    return true;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  std::string& decoded_;
};

}  // namespace

bool parsePlainInsert(std::string_view sql, Insert& out, std::string& decoded) {
  return PlainInsert(sql, decoded).read(out);
}

}  // namespace tabulex::access
