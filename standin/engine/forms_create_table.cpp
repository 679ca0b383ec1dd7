// CREATE TABLE name (column type [IDENTITY[(seed, increment)]] [NULL | NOT NULL] [[CONSTRAINT n] DEFAULT
// expr]
//                    [, ...] [, CONSTRAINT n PRIMARY KEY | UNIQUE [CLUSTERED | NONCLUSTERED] (keys)])
#include "engine/create_support.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

class TableParser {
 public:
  TableParser(ExecContext& ctx, Database& db, const std::vector<Token>& body, TableDef& table)
      : ctx_(ctx), db_(db), cur_(body), table_(table) {}

  // False after reporting an error. `closed`: the list ends with ")" (CREATE TABLE), else with the text
  // (ALTER TABLE ADD).
  bool Run(bool closed = true) {
    while (true) {
      if (cur_.AcceptWord("constraint") ? !TableConstraint() : !Column()) return false;
      if (closed ? cur_.AcceptPunct(")") : cur_.AtEnd()) break;
      if (!cur_.AcceptPunct(",")) return Syntax();
    }
    if (cur_.AcceptWord("on") && !cur_.Ident(filegroup_)) cur_.AcceptWord("primary");
    return cur_.AtEnd() || Syntax();
  }

 private:
  bool Syntax() {
    if (!ctx_.failed) SyntaxErrorNear(ctx_, cur_.tokens(), cur_.pos());
    return false;
  }

  // CONSTRAINT n PRIMARY KEY | UNIQUE [CLUSTERED | NONCLUSTERED] (column [ASC | DESC], ...)
  bool TableConstraint() {
    ConstraintDef c;
    if (!cur_.Ident(c.name)) return Syntax();
    bool pk = cur_.AcceptWord("primary");
    if (pk ? !cur_.AcceptWord("key") : !cur_.AcceptWord("unique")) {
      return cur_.PeekWord("foreign") || cur_.PeekWord("check") ? (NotModelled(ctx_, cur_.tokens()), false)
                                                                : Syntax();
    }
    c.kind = pk ? ConstraintKind::kPrimaryKey : ConstraintKind::kUnique;
    c.clustered = pk;
    if (cur_.PeekWord("clustered") || cur_.PeekWord("nonclustered"))
      c.clustered = IsWord(cur_.Next(), "clustered");
    if (!cur_.AcceptPunct("(")) return Syntax();
    do {
      IndexKey k;
      if (!cur_.Ident(k.column)) return Syntax();
      if (cur_.PeekWord("asc") || cur_.PeekWord("desc")) k.descending = IsWord(cur_.Next(), "desc");
      c.columns.push_back(k);
    } while (cur_.AcceptPunct(","));
    if (!cur_.AcceptPunct(")")) return Syntax();
    if (!ResolveKeys(ctx_, table_, c.columns, 1911)) return false;
    IndexDef index;
    index.name = c.name;
    index.keys = c.columns;
    index.unique = true;
    index.clustered = c.clustered;
    index.primary_key = pk;
    index.unique_constraint = !pk;
    table_.indexes.push_back(index);
    table_.constraints.push_back(c);
    return true;
  }

  bool Column() {
    ColumnDef col;
    if (!cur_.Ident(col.name)) return Syntax();
    // A type name may be written in brackets, as scripts write it: [numeric] (18,0).
    if (cur_.AtEnd() ||
        (cur_.Peek()->kind != TokenKind::kWord && cur_.Peek()->kind != TokenKind::kQuotedIdent))
      return Syntax();
    std::string type_text = cur_.Next().text;
    if (cur_.PeekPunct("(") && !cur_.ParenGroup(type_text)) return Syntax();
    auto type = db_.ResolveType(type_text);
    if (!type) {
      ctx_.Error(2715, 16, 6,
                 "Column, parameter, or variable #" + std::to_string(table_.columns.size() + 1) +
                     ": Cannot find data type " + type_text.substr(0, type_text.find('(')) + ".");
      return false;
    }
    col.type = *type;
    while (!cur_.AtEnd() && !cur_.PeekPunct(",") && !cur_.PeekPunct(")")) {
      if (!ColumnOption(col)) return false;
    }
    if (table_.FindColumn(col.name)) {
      ctx_.Error(2705, 16, 3,
                 "Column names in each table must be unique. Column name '" + col.name + "' in table '" +
                     table_.name + "' is specified more than once.");
      return false;
    }
    table_.columns.push_back(col);
    return true;
  }

  bool ColumnOption(ColumnDef& col) {
    if (cur_.AcceptWord("identity")) {
      col.identity = true;
      col.nullable = false;
      if (!cur_.AcceptPunct("(")) return true;
      Value seed, increment;
      if (!cur_.Literal(seed) || !cur_.AcceptPunct(",") || !cur_.Literal(increment) ||
          !cur_.AcceptPunct(")") || !std::holds_alternative<int64_t>(seed.v) ||
          !std::holds_alternative<int64_t>(increment.v)) {
        return Syntax();
      }
      col.seed = std::get<int64_t>(seed.v);
      col.increment = std::get<int64_t>(increment.v);
      return true;
    }
    if (cur_.PeekWord("not") && cur_.PeekWord("null", 1)) {
      cur_.Seek(cur_.pos() + 2);
      col.nullable = false;
      return true;
    }
    if (cur_.AcceptWord("null")) {
      col.nullable = true;
      return true;
    }
    if (cur_.AcceptWord("rowguidcol")) {
      col.rowguidcol = true;
      return true;
    }
    if (cur_.PeekWord("constraint") || cur_.PeekWord("default")) return DefaultConstraint(col);
    if (cur_.PeekWord("primary") || cur_.PeekWord("unique") || cur_.PeekWord("references") ||
        cur_.PeekWord("check") || cur_.PeekWord("collate")) {
      NotModelled(ctx_, cur_.tokens());
      return false;
    }
    return Syntax();
  }

  bool DefaultConstraint(const ColumnDef& col) {
    ConstraintDef c;
    c.kind = ConstraintKind::kDefault;
    c.columns = {{col.name, false}};
    if (cur_.AcceptWord("constraint")) {
      if (!cur_.Ident(c.name) || !cur_.PeekWord("default")) return Syntax();
    } else {
      // An unnamed default gets a generated name, as the server makes one up.
      c.name = "DF__" + table_.name.substr(0, 9) + "__" + col.name.substr(0, 9) + "__" +
               std::to_string(db_.next_object_id);
    }
    cur_.Next();
    if (cur_.AtEnd()) return Syntax();
    if (cur_.PeekPunct("(")) {
      std::string written;
      if (!cur_.ParenGroup(written)) return Syntax();
      c.expression = StoredDefinition(written);
    } else {
      const Token& t = cur_.Next();
      std::string written = t.kind == TokenKind::kString ? "'" + t.text + "'" : t.raw;
      // A function call: DEFAULT getdate()
      if (t.kind == TokenKind::kWord && cur_.PeekPunct("(") && !cur_.ParenGroup(written)) return Syntax();
      c.expression = StoredDefinition(written);
    }
    table_.constraints.push_back(c);
    return true;
  }

  ExecContext& ctx_;
  Database& db_;
  TokenCursor cur_;
  TableDef& table_;
  std::string filegroup_;
};

}  // namespace

bool ParseAddedColumns(ExecContext& ctx, Database& db, const std::vector<Token>& tokens, TableDef& table) {
  return TableParser(ctx, db, tokens, table).Run(false);
}

void CreateTable(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const std::string& name = caps["table"].text;
  if (ObjectNameTaken(*db, name)) {
    ctx.Error(2714, 16, 6, "There is already an object named '" + name + "' in the database.");
    return;
  }
  TableDef table;
  table.name = name;
  if (!TableParser(ctx, *db, caps["body"].tokens, table).Run()) return;
  ctx.BeforeChange(*db);
  table.object_id = db->NewObjectId();
  db->tables.push_back(std::move(table));
}

}  // namespace standin
