// ALTER TABLE: changes other than renames rebuild the table from its stored definition.
#include "DdlImpl.h"
#include "DdlPartition.h"
#include "Dictionary.h"
#include "DictionaryImpl.h"
#include "InvisibleColumns.h"
#include "OraError.h"
#include "Session.h"
#include "TableRebuild.h"
#include "TranslateImpl.h"

#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace ora::tx {

using namespace rb;

namespace {
// The statements that clear the way, each run as DDL of its own, then the statement again.
std::function<void(Session&)> firstThenAgain(std::vector<std::string> first, std::string again) {
  return [first = std::move(first), again = std::move(again)](Session& s) {
    for (auto& sql : first) {
      Catalog cat(s.db, s.user, &s);
      s.runDdl(translate(sql, cat, false, false));
    }
    Catalog cat(s.db, s.user, &s);
    s.runDdl(translate(again, cat, false, false));
  };
}
} // namespace

// DROP | ENABLE | DISABLE UNIQUE (columns): the unique key on just those columns, by its name.
bool Translator::uniqueByColumns(const std::string& table, size_t i) {
  if (!is(at(i), "DROP") && !is(at(i), "ENABLE") && !is(at(i), "DISABLE")) return false;
  size_t u = i + 1;
  if (!is(at(i), "DROP") && (is(at(u), "VALIDATE") || is(at(u), "NOVALIDATE"))) ++u;
  if (!is(at(u), "UNIQUE") || !is(at(u + 1), "(")) return false;
  auto want = nameList(t_, u + 1, size());
  std::string name;
  for (auto& c : dict::tableConstraints(cat_.db(), table))
    if (c.type == "U" && c.columns == want) name = c.name;
  if (name.empty())
    // a disabled one is kept only as its definition
    dict::eachRow(cat_.db(),
                  "SELECT NAME, DEFINITION FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME = " + quoteString(table),
                  [&](sqlite3_stmt* row) {
                    auto dt = tokenize(dict::col(row, 1));
                    for (size_t k = 0; k + 1 < dt.size(); ++k)
                      if (is(dt[k], "UNIQUE") && is(dt[k + 1], "(") && nameList(dt, k + 1, dt.size()) == want)
                        name = dict::col(row, 0);
                  });
  if (name.empty()) throw OraError(2442).at(static_cast<int>(at(u).pos));
  Translation again = translate(source(0, u) + " CONSTRAINT " + quoteIdent(name) + " " + source(matching(u + 1) + 1, size()),
                                cat_, false, false);
  tr_ = again;
  return true;
}

void Translator::alterTable() {
  tr_.kind = StmtKind::Ddl;
  tr_.function = 26;
  expect(1, "TABLE", 905);
  std::string table;
  size_t i = objectName(2, table);
  if (!cat_.tableExists(table) || cat_.viewExists(table)) throw OraError(942, table).at(static_cast<int>(at(2).pos));
  sqlite3* db = cat_.db();
  if (uniqueByColumns(table, i) || enableExceptions(table, i) || addDisabledUnnamed(i)) return;
  std::string qt = quoteIdent(table);
  defaultsOf_ = table;
  auto pieces = tablePieces(storedSql(db, "table", table));
  auto cols = cat_.columns(table);
  auto pieceOf = [&](const std::string& c) -> DefPiece& {
    for (auto& p : pieces)
      if (p.column == c) return p;
    throw OraError(904, "\"" + c + "\"");
  };
  // a temporary table that holds this session's rows cannot change under them
  if (scalar(db, "SELECT COUNT(*) FROM temp.sqlite_schema WHERE type = 'table' AND name = " + quoteString(table)) == 1 &&
      scalar(db, "SELECT EXISTS (SELECT 1 FROM temp." + qt + ")") == 1)
    throw OraError(14450);
  bool empty = scalar(db, "SELECT NOT EXISTS (SELECT 1 FROM " + qt + ")") == 1;
  std::vector<std::string> after;
  std::vector<std::pair<std::string, std::vector<std::string>>> cons;
  std::vector<std::string> consTypes;
  static const std::set<std::string> tableConstraint = {"CONSTRAINT", "PRIMARY", "UNIQUE", "FOREIGN", "CHECK"};

  auto addNotNull = [&](const std::string& c) {
    DefPiece& p = pieceOf(c);
    p.text += " NOT NULL"; // the key's own, apart from one written on the column
  };

  // constraint names are unique in the schema, disabled constraints' too
  auto newNamesFree = [&](size_t b, size_t e) {
    for (size_t m = b; m + 1 < e; ++m)
      if (is(t_[m], "CONSTRAINT") && constraintNameTaken(db, t_[m + 1].text))
        throw OraError(2264).at(static_cast<int>(t_[m + 1].pos));
  };

  // The items of "( a, b )" or of the single item that runs to the end, as token ranges.
  auto items = [&](size_t from) {
    std::vector<std::pair<size_t, size_t>> out;
    if (is(at(from), "(")) {
      int d = at(from).depth;
      size_t b = from + 1;
      for (size_t k = b; k < size(); ++k) {
        bool end = t_[k].depth == d && is(t_[k], ")");
        if (end || (t_[k].depth == d + 1 && is(t_[k], ","))) {
          if (k == b) throw OraError(904);
          out.emplace_back(b, k);
          b = k + 1;
          if (end) {
            if (k + 1 < size()) unexpected(k + 1);
            break;
          }
        }
      }
    } else {
      if (from >= size()) throw OraError(904);
      out.emplace_back(from, size());
    }
    return out;
  };

  // a column set unused is gone for every statement, as a dropped one is
  bool setUnused = is(at(i), "SET") && is(at(i + 1), "UNUSED");
  if (setUnused) ++i;
  const Token& verb = at(i);
  if (!setUnused && (is(verb, "MOVE") || is(verb, "SHRINK") || skipPhysical(t_, i) > i)) {
    // storage attributes, a move or a shrink change nothing in the engine's own storage
    size_t j = is(verb, "SHRINK") ? size() : skipPhysical(t_, is(verb, "MOVE") ? i + 1 : i);
    // a shrink moves rows, which the table must allow
    if (is(verb, "SHRINK") && rb::scalar(db, "SELECT ROW_MOVEMENT FROM \"TESSEL$TABLE_OPTS\" WHERE TABLE_NAME = " +
                                                 quoteString(table)) != 1)
      throw OraError(10636);
    bool kept = !is(verb, "MOVE"); // a move leaves the indexes unusable unless told otherwise
    if (is(verb, "MOVE") && is(at(j), "ONLINE")) kept = true, ++j;
    if (is(verb, "MOVE") && is(at(j), "UPDATE")) {
      j += is(at(j + 1), "GLOBAL") ? 2 : 1;
      expect(j++, "INDEXES", 905);
      kept = true;
    }
    if (j < size()) unexpected(j);
    if (!kept)
      for (auto& ix : allIndexes(db))
        if (ix.table == table) tr_.ddl.push_back(unusableRecord(ix.name, true));
    for (auto& sql : tableOptionRecords(t_, i, j, table)) tr_.ddl.push_back(sql);
    return;
  }
  if (!setUnused && (is(verb, "ALLOCATE") || is(verb, "DEALLOCATE"))) return; // the parser read it all
  if (!setUnused && is(verb, "READ") && (is(at(i + 1), "ONLY") || is(at(i + 1), "WRITE"))) {
    if (i + 2 < size()) unexpected(i + 2);
    tr_.ddl.push_back(readOnlyRecord(table, is(at(i + 1), "ONLY")));
    return;
  }
  if (alterTableRename(table, i, pieces, cols)) return;

  std::vector<std::string> keep;
  for (auto& c : cols) keep.push_back(c.name);

  Added added;
  if (is(verb, "ADD")) {
    keepCheckTexts();
    ownReferences();
    // a constraint's state after it (ENABLE, DISABLE, [NO]VALIDATE, RELY, USING INDEX) is no part
    // of its definition; a check or foreign key added DISABLE is kept aside, as DISABLE keeps it
    bool addDisabled = false;
    deferrableStates(i + 1, size());
    for (size_t m = i + 1; m < size(); ++m) {
      if (t_[m].kind != Token::Ident) continue;
      if (is(t_[m], "NOVALIDATE")) added.novalidate = true;
      size_t n = 0;
      if (is(t_[m], "ENABLE") || is(t_[m], "VALIDATE") || is(t_[m], "NOVALIDATE") || is(t_[m], "RELY") ||
          is(t_[m], "NORELY"))
        n = 1;
      else if (is(t_[m], "DISABLE"))
        n = 1, addDisabled = true;
      else if (is(t_[m], "USING") && m + 1 < size() && is(t_[m + 1], "INDEX"))
        n = skipPhysical(t_, m + 2) - m;
      for (size_t x = m; x < m + n; ++x) skip_[x] = 1;
      if (n) m += n - 1;
    }
    auto listed = is(at(i + 1), "(") ? items(i + 1) : std::vector<std::pair<size_t, size_t>>{};
    bool constraints = std::any_of(listed.begin(), listed.end(), [&](const std::pair<size_t, size_t>& it) {
      return at(it.first).kind == Token::Ident && tableConstraint.count(at(it.first).text) > 0;
    });
    if (constraints) {
      // ADD (column or constraint, ...): each added as ADD would add it alone, one after the other
      std::vector<std::string> parts;
      for (auto [b, e] : listed) {
        bool constraint = at(b).kind == Token::Ident && tableConstraint.count(at(b).text) > 0;
        parts.push_back("ALTER TABLE " + qt + " ADD " + (constraint ? source(b, e) : "(" + source(b, e) + ")"));
      }
      tr_.actions.push_back([parts](Session& s) {
        for (auto& sql : parts) {
          Catalog cat(s.db, s.user, &s);
          s.runDdl(translate(sql, cat, false, false));
        }
      });
      return;
    }
    if (at(i + 1).kind == Token::Ident && tableConstraint.count(at(i + 1).text)) {
      size_t b = i + 1;
      std::string cname = is(at(b), "CONSTRAINT") ? at(b + 1).text : "";
      if (!cname.empty()) {
        added.name = cat_.user() + "." + cname;
        if (constraintNameTaken(db, cname)) throw OraError(2264).at(static_cast<int>(at(b + 1).pos));
      }
      for (size_t j = b; j < size(); ++j) {
        if (is(t_[j], "CHECK")) added.type = "C";
        if (is(t_[j], "FOREIGN") || is(t_[j], "REFERENCES")) added.type = "R";
        if (!added.type.empty()) break;
      }
      if (!cname.empty())
        after.push_back(noValidateRecord(table, cname, added.novalidate && !addDisabled && !added.type.empty()));
      {
        std::vector<std::pair<std::string, ColType>> local;
        for (auto& c : cols) local.emplace_back(c.name, c.type);
        checkReferences(b, size(), table, local);
      }
      // the same foreign key twice: same columns to the same key
      for (size_t j = b; j + 2 < size(); ++j) {
        if (!is(t_[j], "FOREIGN") || !is(t_[j + 1], "KEY")) continue;
        auto from = nameList(t_, j + 2, size());
        size_t r = j + 2;
        while (r < size() && !is(t_[r], "REFERENCES")) ++r;
        if (r + 1 >= size()) break;
        std::string parent = at(r + 1).text;
        size_t list = r + 2;
        if (is(at(list), ".")) parent = at(r + 3).text, list = r + 4;
        auto to = nameList(t_, list, size());
        auto keyOf = [&](const std::vector<std::string>& cols) {
          if (!cols.empty()) return cols;
          for (auto& k : recordedConstraints(db, parent))
            if (k.type == "P") return k.columns;
          return cols;
        };
        for (auto& c : dict::tableConstraints(db, table))
          if (c.type == "R" && c.columns == from && c.rTable == parent && keyOf(c.rColumns) == keyOf(to))
            throw OraError(2275);
        break;
      }
      for (size_t j = b; j + 1 < size(); ++j) {
        bool pk = is(t_[j], "PRIMARY") && is(t_[j + 1], "KEY");
        if (!pk && !is(t_[j], "UNIQUE")) continue;
        auto list = nameList(t_, pk ? j + 2 : j + 1, size());
        added.type = pk ? "P" : "U";
        for (auto& c : recordedConstraints(db, table)) {
          if (pk && c.type == "P") throw OraError(2260).at(static_cast<int>(t_[j].pos));
          if ((c.type == "P" || c.type == "U") &&
              std::is_permutation(list.begin(), list.end(), c.columns.begin(), c.columns.end()))
            throw OraError(2261).at(static_cast<int>(t_[j].pos));
        }
        for (auto& c : list) {
          findColumn(cols, c);
          if (pk && !(addDisabled && !cname.empty())) { // a key added DISABLE checks no rows
            if (scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + quoteIdent(c) + " IS NULL)") == 1)
              throw OraError(1449);
            addNotNull(c);
          }
        }
        cons.emplace_back(cname, list);
        consTypes.push_back(pk ? "P" : "U");
        break;
      }
      std::string def = emit(b, size());
      if (added.type == "C") added.check = checkCondition(def);
      if (addDisabled && !cname.empty() && !added.type.empty()) {
        after.push_back("INSERT INTO \"TESSEL$DISABLED\" (NAME, TABLE_NAME, COLUMN_NAME, DEFINITION) VALUES (" +
                        quoteString(cname) + ", " + quoteString(table) + ", '', " + quoteString(def) + ")");
        added = Added{};
      } else {
        pieces.push_back(DefPiece{"", def});
      }
    } else {
      // new columns go after the existing ones, before the table constraints
      size_t lastColumn = 0;
      for (size_t k = 0; k < pieces.size(); ++k)
        if (!pieces[k].column.empty()) lastColumn = k;
      std::vector<DefPiece> addedPieces;
      for (auto [b, e] : items(i + 1)) {
        newNamesFree(b, e);
        std::string name;
        ColType ct;
        std::set<std::string> pk;
        std::vector<std::pair<std::string, std::string>> named;
        Identity id = identityClause(b, e);
        std::string def = columnDef(b, e, name, ct, pk, named);
        for (auto& c : cols)
          if (c.name == name) throw OraError(1430, name).at(static_cast<int>(at(b).pos));
        if (id.found) {
          // an identity column added numbers the rows there already, in the order they were stored
          if (ct.code != kNumber || (ct.hasScale && ct.scale != 0)) throw OraError(30675);
          for (auto& c : cols)
            if (!c.identity.empty()) throw OraError(30669);
          id.column = name;
          def += " NOT NULL";
          int64_t rows = scalar(db, "SELECT COUNT(*) FROM " + qt);
          added.fill[name] = std::to_string(id.start) + " + " + std::to_string(id.increment) +
                             " * (ROW_NUMBER() OVER (ORDER BY rowid) - 1)";
          registerIdentity(table, id, rows, 0);
        }
        for (auto& n : checkNames(t_, b, e))
          for (auto& c : cols)
            if (n != name && c.name == n) throw OraError(2438);
        bool notNull = !pk.empty();
        bool hasDefault = false;
        for (size_t m = b; m < e; ++m) {
          if (is(t_[m], "NOT") && is(at(m + 1), "NULL")) notNull = true;
          if (is(t_[m], "DEFAULT")) hasDefault = true;
        }
        if (notNull && !hasDefault && !empty) throw OraError(1758);
        if (!pk.empty()) def += " NOT NULL";
        for (auto& [cname, type] : named) {
          cons.emplace_back(cname, std::vector<std::string>{name});
          consTypes.push_back(type);
        }
        addedPieces.push_back(DefPiece{name, def});
        cols.push_back(ColumnInfo{name, ct, notNull, {}, {}, false, false, false, {}});
      }
      pieces.insert(pieces.begin() + static_cast<long>(lastColumn) + 1, addedPieces.begin(), addedPieces.end());
    }
  } else if (is(verb, "MODIFY") && (is(at(i + 1), "CONSTRAINT") || (is(at(i + 1), "PRIMARY") && is(at(i + 2), "KEY")))) {
    // MODIFY CONSTRAINT name | PRIMARY KEY, then its new state: the same as ENABLE or DISABLE
    bool pk = is(at(i + 1), "PRIMARY");
    size_t k = i + 3;
    std::string state, check;
    bool cascade = false;
    for (; k < size(); ++k) {
      if (is(at(k), "ENABLE") || is(at(k), "DISABLE")) state = at(k).text;
      else if (is(at(k), "VALIDATE") || is(at(k), "NOVALIDATE")) check = " " + at(k).text;
      else if (is(at(k), "CASCADE")) cascade = true;
      else if ((is(at(k), "KEEP") || is(at(k), "DROP")) && is(at(k + 1), "INDEX")) ++k;
      else if (!is(at(k), "RELY") && !is(at(k), "NORELY")) unexpected(k);
    }
    if (state.empty()) throw OraError(905);
    std::string target = pk ? std::string(" PRIMARY KEY") : " CONSTRAINT " + quoteIdent(at(i + 2).text);
    tr_ = translate("ALTER TABLE " + qt + " " + state + check + target + (cascade ? " CASCADE" : ""), cat_, false, false);
    return;
  } else if (is(verb, "MODIFY")) {
    std::vector<std::pair<std::string, bool>> shown; // the items' [IN]VISIBLE
    for (auto [b, e] : items(i + 1)) {
      std::string name = at(b).text;
      const ColumnInfo& old = findColumn(cols, name);
      bool visibility = false;
      // after the name or the type, before the default and the constraints
      for (size_t m = b + 1; m < e && !visibility && !is(t_[m], "DEFAULT") && !constraintStart(t_[m]); ++m) {
        if (is(t_[m], "(")) m = matching(m);
        else if (visibilityAt(m)) {
          visibility = true;
          shown.emplace_back(name, is(t_[m], "INVISIBLE"));
        }
      }
      if (visibility && e == b + 2) continue;
      newNamesFree(b, e);
      DefPiece& p = pieceOf(name);
      bool wasInvisible = invisibleDef(p.text);
      std::string qc = quoteIdent(name);
      auto pt = tokenize(p.text);
      // the stored piece: "NAME" TYPE[(n[,m])] constraints...
      size_t restFrom = 2;
      if (restFrom < pt.size() && (is(pt[restFrom], "VARCHAR") || is(pt[restFrom], "RAW") || is(pt[restFrom], "TEXT")))
        ++restFrom;
      if (restFrom < pt.size() && is(pt[restFrom], "(")) {
        while (restFrom < pt.size() && !is(pt[restFrom], ")")) ++restFrom;
        ++restFrom;
      }
      // a wide NUMBER's collation belongs to its type
      if (restFrom + 1 < pt.size() && is(pt[restFrom], "COLLATE")) restFrom += 2;
      std::string typeText = declTypeText(old.type, charset());
      ColType nowType = old.type; // the column's type once modified
      size_t specFrom = b + 1;
      if (skip_[specFrom]) ++specFrom; // [IN]VISIBLE right after the name
      bool hasType = at(specFrom).kind == Token::Ident && !constraintStart(at(specFrom));
      if (hasType) {
        std::string cname;
        ColType ct;
        std::set<std::string> pk;
        std::vector<std::pair<std::string, std::string>> named;
        const size_t itemEnd = e; // a structured binding cannot be captured by every compiler
        auto word = [&](size_t m) { return m < itemEnd && at(m).kind == Token::Ident ? at(m).text : std::string(); };
        int used = 1; // LONG RAW, CHARACTER VARYING, ... are one type
        typeSynonym(at(specFrom).text, word(specFrom + 1), word(specFrom + 2), used);
        size_t typeEnd = specFrom + static_cast<size_t>(used);
        if (is(at(specFrom), "INTERVAL")) {
          ColType it;
          typeEnd = intervalColumnType(specFrom + 1, it);
        } else if (is(at(typeEnd), "(")) {
          while (typeEnd < e && !is(at(typeEnd), ")")) ++typeEnd;
          ++typeEnd;
        }
        columnDef(b, typeEnd, cname, ct, pk, named);
        bool hasData = scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + qc + " IS NOT NULL)") == 1;
        // CHAR and VARCHAR2 of one length trade places whatever the rows hold: a CHAR's values
        // are blank-padded to it
        bool textSwap = ((ct.code == kChar && old.type.code == kVarchar2) || (ct.code == kVarchar2 && old.type.code == kChar)) &&
                        ct.size == old.type.size && ct.chars == old.type.chars && ct.national == old.type.national;
        if (ct.code != old.type.code && hasData && !textSwap) throw OraError(1439);
        if (textSwap && ct.code == kChar && hasData) {
          ColumnInfo padded = old;
          padded.type = ct;
          added.convert[name] = convWrap(qc, padded, table);
        }
        // text lengths count in the database's character set
        std::string bytes = old.type.code == kRaw ? "length(CAST(" + qc + " AS BLOB))" : "LENGTHB(" + qc + ")";
        if ((ct.code == kVarchar2 || ct.code == kChar || ct.code == kRaw) &&
            (ct.size < old.type.size || ct.chars != old.type.chars) &&
            scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " +
                           (ct.chars > 0 ? "LENGTH(" + qc + ") > " + std::to_string(ct.chars)
                                         : bytes + " > " + std::to_string(ct.size)) +
                           ")") == 1)
          throw OraError(1441);
        // plain NUMBER keeps any value a NUMBER(p,s) held
        bool unbounded = ct.precision == 0 && !ct.hasScale && !ct.binary;
        if (ct.code == kNumber && old.type.code == kNumber && hasData && !unbounded &&
            (ct.hasScale != old.type.hasScale || ct.scale < old.type.scale ||
             (ct.precision > 0 && (old.type.precision == 0 || ct.precision - ct.scale < old.type.precision - old.type.scale))))
          throw OraError(1440);
        if (isInterval(ct.code) && ct.code == old.type.code && hasData &&
            (ct.precision < old.type.precision || ct.scale < old.type.scale))
          throw OraError(1440);
        typeText = declTypeText(ct, charset());
        nowType = ct;
        specFrom = typeEnd;
      }
      std::vector<char> drop(pt.size(), 0);
      for (size_t m = 0; m < restFrom && m < pt.size(); ++m) drop[m] = 1;
      bool toNotNull = false, toNull = false, newDefault = false, onNull = false;
      for (size_t m = specFrom; m < e; ++m) {
        if (is(t_[m], "NOT") && is(at(m + 1), "NULL")) { toNotNull = true; ++m; }
        else if (is(t_[m], "NULL")) toNull = true;
        else if (is(t_[m], "DEFAULT")) {
          newDefault = true;
          // DEFAULT ON NULL makes the column NOT NULL as well
          if (is(at(m + 1), "ON") && is(at(m + 2), "NULL")) { onNull = true; m += 2; }
        }
      }
      if (onNull && !toNotNull && !old.notNull && scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + qc + " IS NULL)") == 1)
        throw OraError(2296, cat_.user() + ".");
      if (toNotNull) {
        if (old.notNull) throw OraError(1442);
        if (scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + qc + " IS NULL)") == 1) {
          // the constraint being added by its name; Oracle leaves an unnamed one's name out
          std::string cname;
          for (size_t m = specFrom; m + 1 < e; ++m)
            if (is(t_[m], "CONSTRAINT")) cname = t_[m + 1].text;
          throw OraError(2296, cat_.user() + "." + cname);
        }
      }
      if (toNull && !old.notNull) throw OraError(1451);
      // a primary key's column stays NOT NULL while the key stands
      if (toNull)
        for (auto& c : dict::tableConstraints(db, table))
          if (c.type == "P" && std::find(c.columns.begin(), c.columns.end(), name) != c.columns.end())
            throw OraError(1451);
      for (size_t m = restFrom; m < pt.size(); ++m) {
        if (pt[m].depth != 0) continue;
        if (toNull && is(pt[m], "NOT") && m + 1 < pt.size() && is(pt[m + 1], "NULL")) drop[m] = drop[m + 1] = 1;
        if (newDefault && is(pt[m], "DEFAULT")) {
          drop[m] = 1;
          for (size_t x = m + 1; x < pt.size() && !(pt[x].depth == 0 && constraintStart(pt[x])); ++x) drop[x] = 1;
        }
      }
      std::string rest = joinExcept(p.text, pt, drop);
      std::string spec;
      for (size_t m = specFrom; m < e; ++m) {
        if (is(t_[m], "DEFAULT") && m + 1 < e) {
          bool onNull = is(at(m + 1), "ON") && is(at(m + 2), "NULL");
          size_t from = onNull ? m + 3 : m + 1;
          size_t x = from + 1;
          while (x < e && !(t_[x].depth == t_[m].depth && constraintStart(t_[x]))) ++x;
          std::string stored = storedDefaultOf(from, x, nowType, name);
          spec += " DEFAULT (" + (onNull ? markOnNull(stored) : stored) + ")" + (onNull ? " NOT NULL" : "");
          m = x - 1;
        } else if (!(is(t_[m], "NULL") && !(m > specFrom && is(t_[m - 1], "NOT")))) {
          spec += " " + emit(m, m + 1);
        }
      }
      p.text = markInvisible(qc + " " + typeText + (rest.empty() ? "" : " " + rest) + spec, wasInvisible);
    }
    changeVisibility(pieces, shown);
  } else if (is(verb, "ENABLE") || is(verb, "DISABLE")) {
    size_t w = i + 1;
    bool novalidate = is(at(w), "NOVALIDATE");
    if (is(at(w), "VALIDATE") || novalidate) ++w;
    bool pk = is(at(w), "PRIMARY");
    std::string cname = pk ? std::string() : at(w + 1).text;
    if (pk)
      for (auto& c : recordedConstraints(db, table))
        if (c.type == "P") cname = c.name;
    std::string def, column;
    bool disabled = false;
    {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db, "SELECT DEFINITION, COLUMN_NAME FROM \"TESSEL$DISABLED\" WHERE NAME = ?1 AND TABLE_NAME = ?2",
                         -1, &st, nullptr);
      sqlite3_bind_text(st, 1, cname.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, table.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) == SQLITE_ROW) {
        disabled = true;
        def = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        column = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      }
      sqlite3_finalize(st);
    }
    bool known = disabled;
    for (auto& c : dict::tableConstraints(db, table))
      if (c.name == cname) known = true;
    if (!known) throw OraError(is(verb, "ENABLE") ? 2430 : 2431, cname);
    if (is(verb, "ENABLE") == !disabled) {
      // already so; NOVALIDATE only stops vouching for the rows
      if (novalidate && is(verb, "ENABLE") && checkOrForeignKey(db, table, cname))
        tr_.ddl.push_back(noValidateRecord(table, cname, true));
      return;
    }
    if (is(verb, "ENABLE")) {
      // back into the definition; the rebuild checks the rows against it
      bool columnGone = !column.empty() && std::none_of(pieces.begin(), pieces.end(), [&](const DefPiece& p) { return p.column == column; });
      if (column.empty()) pieces.push_back(DefPiece{"", def});
      else if (!columnGone) pieceOf(column).text += " " + def;
      auto dt = tokenize(def);
      for (auto& k : dt) {
        if (is(k, "CHECK") || is(k, "NULL")) added.type = "C";
        if (is(k, "REFERENCES")) added.type = "R";
        if (is(k, "PRIMARY")) added.type = "P";
        if (is(k, "UNIQUE")) added.type = "U";
        if (!added.type.empty()) break;
      }
      // a foreign key needs the key it refers to enabled
      for (size_t k = 0; added.type == "R" && k + 1 < dt.size(); ++k) {
        if (!is(dt[k], "REFERENCES")) continue;
        size_t p = k + 1;
        if (p + 2 < dt.size() && is(dt[p + 1], ".")) p += 2;
        std::vector<std::string> keyColumns;
        if (p + 1 < dt.size() && is(dt[p + 1], "(")) keyColumns = nameList(dt, p + 1, dt.size());
        if (!enabledKeyFor(db, dt[p].text, keyColumns)) throw OraError(keyColumns.empty() ? 2268 : 2270);
        break;
      }
      // the key's columns take their NOT NULL back
      if (added.type == "P")
        for (auto& r : recordedConstraints(db, table))
          if (r.type == "P")
            for (auto& c : r.columns) {
              if (columnGone && c == column) continue;
              if (scalar(db, "SELECT EXISTS (SELECT 1 FROM " + qt + " WHERE " + quoteIdent(c) + " IS NULL)") == 1)
                throw OraError(1449);
              addNotNull(c);
            }
      added.name = cat_.user() + "." + cname;
      added.check = checkCondition(def);
      // a key still checks every row: its index cannot hold duplicates
      added.novalidate = novalidate && (added.type == "C" || added.type == "R");
      after.push_back(noValidateRecord(table, cname, added.novalidate));
      after.push_back("DELETE FROM \"TESSEL$DISABLED\" WHERE NAME = " + quoteString(cname));
    } else {
      // a key that enabled foreign keys refer to (the table's own too) stays, unless CASCADE
      // disables them first
      std::vector<std::string> children;
      for (auto& other : dict::tablesOf(db, "table"))
        for (auto& c : dict::tableConstraints(db, other))
          if (c.type == "R" && c.rTable == table)
            for (auto& r : recordedConstraints(db, table))
              if (r.name == cname && (c.rColumns.empty() ? r.type == "P" : c.rColumns == r.columns))
                children.push_back("ALTER TABLE " + quoteIdent(other) + " DISABLE CONSTRAINT " + quoteIdent(c.name));
      if (!children.empty()) {
        bool cascade = false;
        for (size_t k = w; k < size(); ++k) cascade = cascade || is(at(k), "CASCADE");
        if (!cascade) throw OraError(2297, cat_.user() + "." + cname);
        tr_.actions.push_back(firstThenAgain(children, src_));
        return;
      }
      bool found = false;
      for (size_t k = 0; k < pieces.size() && !found; ++k) {
        auto pt = tokenize(pieces[k].text);
        for (size_t m = 0; m + 1 < pt.size(); ++m) {
          if (!is(pt[m], "CONSTRAINT") || pt[m + 1].text != cname || pt[m].depth != 0) continue;
          if (pieces[k].column.empty()) {
            def = pieces[k].text;
            pieces.erase(pieces.begin() + static_cast<long>(k));
          } else {
            column = pieces[k].column;
            std::vector<char> drop(pt.size(), 0), keepMask(pt.size(), 1);
            size_t x = m;
            drop[x++] = 1;
            drop[x++] = 1;
            if (x < pt.size() && pt[x].depth == 0 && constraintStart(pt[x])) {
              // NOT NULL is one constraint of two words
              if (is(pt[x], "NOT") && x + 1 < pt.size() && is(pt[x + 1], "NULL")) drop[x++] = 1;
              drop[x++] = 1;
            }
            for (; x < pt.size() && !(pt[x].depth == 0 && constraintStart(pt[x]) && !is(pt[x], "KEY")); ++x) drop[x] = 1;
            for (size_t y = 0; y < pt.size(); ++y) keepMask[y] = !drop[y];
            def = joinExcept(pieces[k].text, pt, keepMask);
            pieces[k].text = joinExcept(pieces[k].text, pt, drop);
          }
          found = true;
          break;
        }
      }
      if (!found) found = cutNamedByEngine(db, table, cname, false, pieces, def, column);
      if (!found) throw OraError(2431, cname);
      // a disabled primary key no longer keeps NULL out of its columns
      for (auto& r : recordedConstraints(db, table))
        if (r.type == "P" && r.name == cname)
          for (auto& c : r.columns)
            for (auto& p : pieces)
              if (p.column == c && p.text.size() > 9 && p.text.compare(p.text.size() - 9, 9, " NOT NULL") == 0)
                p.text.erase(p.text.size() - 9);
      after.push_back("INSERT INTO \"TESSEL$DISABLED\" (NAME, TABLE_NAME, COLUMN_NAME, DEFINITION) VALUES (" +
                      quoteString(cname) + ", " + quoteString(table) + ", " + quoteString(column) + ", " +
                      quoteString(def) + ")");
    }
  } else if (is(verb, "DROP") || setUnused) {
    std::vector<std::string> gone;
    size_t tail = size();
    if (is(at(i + 1), "UNUSED") && is(at(i + 2), "COLUMNS")) {
      if (i + 3 < size()) unexpected(i + 3);
      return; // none are kept
    } else if (is(at(i + 1), "COLUMN")) {
      gone.push_back(at(i + 2).text);
      tail = i + 3;
    } else if (is(at(i + 1), "(")) {
      gone = nameList(t_, i + 1, size());
      tail = i + 2;
      while (tail < size() && !(is(t_[tail], ")") && t_[tail].depth == at(i + 1).depth)) ++tail;
      ++tail;
    } else if (is(at(i + 1), "CONSTRAINT") || (is(at(i + 1), "PRIMARY") && is(at(i + 2), "KEY"))) {
      bool pk = is(at(i + 1), "PRIMARY");
      std::string cname = pk ? "" : at(i + 2).text;
      size_t tail = i + 3;
      bool cascade = is(at(tail), "CASCADE");
      if (cascade) ++tail;
      if (tail < size() && !is(at(tail), "KEEP") && !is(at(tail), "DROP")) unexpected(tail);
      // a key that foreign keys of other tables refer to goes only with them, and only on CASCADE
      std::vector<std::string> keyColumns;
      bool isKey = false;
      for (auto& c : recordedConstraints(db, table))
        if (pk ? c.type == "P" : c.name == cname) {
          keyColumns = c.columns;
          isKey = true;
          pk = pk || c.type == "P";
        }
      if (is(at(i + 1), "PRIMARY") && !isKey) throw OraError(2441);
      std::vector<std::string> children;
      if (isKey)
        for (auto& other : dict::tablesOf(db, "table"))
          for (auto& c : dict::tableConstraints(db, other))
            if (c.type == "R" && c.rTable == table && (c.rColumns.empty() ? pk : c.rColumns == keyColumns))
              children.push_back("ALTER TABLE " + quoteIdent(other) + " DROP CONSTRAINT " + quoteIdent(c.name));
      // disabled foreign keys refer to it as well
      if (isKey)
        dict::eachRow(db, "SELECT TABLE_NAME, NAME, DEFINITION FROM \"TESSEL$DISABLED\"", [&](sqlite3_stmt* row) {
          auto dt = tokenize(dict::col(row, 2));
          for (size_t k = 0; k + 1 < dt.size(); ++k) {
            if (!is(dt[k], "REFERENCES")) continue;
            size_t p = k + 1;
            if (p + 2 < dt.size() && is(dt[p + 1], ".")) p += 2;
            std::vector<std::string> refCols;
            if (p + 1 < dt.size() && is(dt[p + 1], "(")) refCols = nameList(dt, p + 1, dt.size());
            if (dt[p].text == table && (refCols.empty() ? pk : refCols == keyColumns))
              children.push_back("ALTER TABLE " + quoteIdent(dict::col(row, 0)) + " DROP CONSTRAINT " +
                                 quoteIdent(dict::col(row, 1)));
            break;
          }
        });
      if (!children.empty() && !cascade) throw OraError(2273);
      if (!children.empty()) {
        // the foreign keys go first (the table's own too), then the key with nothing left on it
        tr_.actions.push_back(firstThenAgain(children, src_));
        return;
      }
      bool dropsPk = pk;
      pk = is(at(i + 1), "PRIMARY");
      bool found = false;
      for (size_t k = 0; k < pieces.size() && !found; ++k) {
        auto pt = tokenize(pieces[k].text);
        for (size_t m = 0; m < pt.size(); ++m) {
          bool hit = pk ? (is(pt[m], "PRIMARY") && m + 1 < pt.size() && is(pt[m + 1], "KEY"))
                        : (is(pt[m], "CONSTRAINT") && m + 1 < pt.size() && pt[m + 1].text == cname);
          if (!hit || pt[m].depth != 0) continue;
          size_t from = m;
          if (pk && m >= 2 && is(pt[m - 2], "CONSTRAINT")) from = m - 2;
          if (pieces[k].column.empty()) {
            pieces.erase(pieces.begin() + static_cast<long>(k));
          } else {
            std::vector<char> drop(pt.size(), 0);
            size_t x = from;
            drop[x++] = 1;
            if (!pk || from != m) drop[x++] = 1; // the constraint's name
            // its own first word (REFERENCES, UNIQUE, CHECK, ...) starts what it says, not the next one
            if (x < pt.size() && pt[x].depth == 0 && constraintStart(pt[x])) {
              if (is(pt[x], "NOT") && x + 1 < pt.size() && is(pt[x + 1], "NULL")) drop[x++] = 1;
              drop[x++] = 1;
            }
            for (; x < pt.size() && !(pt[x].depth == 0 && constraintStart(pt[x]) && !is(pt[x], "KEY")); ++x) drop[x] = 1;
            pieces[k].text = joinExcept(pieces[k].text, pt, drop);
          }
          found = true;
          break;
        }
      }
      if (!found) {
        // one written without a name: the engine named it
        std::string removed, column;
        found = cutNamedByEngine(db, table, cname, pk, pieces, removed, column);
      }
      if (!found) {
        // a constraint kept only in the engine's records (a column-level one written without a name)
        for (auto& c : recordedConstraints(db, table))
          if (pk ? c.type == "P" : c.name == cname) found = true;
      }
      if (!found && !pk && disabledConstraint(db, table, cname)) {
        // a disabled constraint lives only in the engine's records
        found = true;
        after.push_back("DELETE FROM \"TESSEL$DISABLED\" WHERE NAME = " + quoteString(cname) + " AND TABLE_NAME = " +
                        quoteString(table));
      }
      if (!found) throw OraError(2443, cname);
      after.push_back(noValidateRecord(table, cname, false));
      // the NOT NULL a primary key put on its columns goes with it
      if (dropsPk)
        for (auto& c : keyColumns)
          for (auto& p : pieces)
            if (p.column == c && p.text.size() > 9 && p.text.compare(p.text.size() - 9, 9, " NOT NULL") == 0)
              p.text.erase(p.text.size() - 9);
      after.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE TABLE_NAME = " + quoteString(table) + " AND " +
                      (pk ? std::string("TYPE = 'P'") : "NAME = " + quoteString(cname)));
    } else {
      throw OraError(905);
    }
    if (!gone.empty()) {
      bool cascade = false;
      if (is(at(tail), "CASCADE")) {
        expect(tail + 1, "CONSTRAINTS", 905);
        cascade = true;
        tail += 2;
      }
      if (tail < size()) unexpected(tail);
      for (auto& g : gone) pieceOf(g);
      if (gone.size() >= cols.size()) throw OraError(12983);
      std::set<std::string> goneSet(gone.begin(), gone.end()), columnSet;
      for (auto& c : cols) columnSet.insert(c.name);
      auto allGone = [&](const std::vector<std::string>& v) {
        return std::all_of(v.begin(), v.end(), [&](const std::string& n) { return goneSet.count(n) > 0; });
      };
      // Constraints that would outlive the column half-made: a key other foreign keys refer to
      // (ORA-12992) or one that names kept columns too (ORA-12991); CASCADE CONSTRAINTS drops
      // them first, then the statement runs again without them.
      std::vector<std::string> first;
      for (auto& c : dict::tableConstraints(db, table)) {
        std::vector<std::string> own;
        for (auto& n : c.columns)
          if (c.type != "C" || columnSet.count(n)) own.push_back(n);
        if (std::none_of(own.begin(), own.end(), [&](const std::string& n) { return goneSet.count(n) > 0; })) continue;
        std::string drop = "ALTER TABLE " + qt + " DROP CONSTRAINT " + quoteIdent(c.name);
        if (c.type == "P" || c.type == "U") {
          bool referenced = false;
          for (auto& other : dict::tablesOf(db, "table"))
            for (auto& r : dict::tableConstraints(db, other))
              if (r.type == "R" && r.rTable == table && (r.rColumns.empty() ? c.type == "P" : r.rColumns == c.columns) &&
                  !(other == table && allGone(r.columns)))
                referenced = true;
          if (referenced) {
            if (!cascade) throw OraError(12992);
            first.push_back(drop + " CASCADE");
            continue;
          }
        }
        if (!allGone(own)) {
          if (!cascade) throw OraError(12991);
          first.push_back(drop);
        }
      }
      if (!first.empty()) {
        tr_.actions.push_back(firstThenAgain(first, src_));
        return;
      }
      for (auto& g : gone) {
        std::erase_if(pieces, [&](const DefPiece& p) { return p.column == g; });
        std::erase(keep, g);
        after.push_back("DELETE FROM \"TESSEL$COMMENTS\" WHERE TABLE_NAME = " + quoteString(table) +
                        " AND COLUMN_NAME = " + quoteString(g));
      }
      // table constraints on the dropped columns alone go with them
      for (size_t k = 0; k < pieces.size();) {
        if (!pieces[k].column.empty()) { ++k; continue; }
        bool uses = false;
        for (auto& tk : tokenize(pieces[k].text)) {
          if (is(tk, "REFERENCES")) break;
          if (tk.kind == Token::QIdent && tk.depth >= 1 && goneSet.count(tk.text)) uses = true;
        }
        if (uses) pieces.erase(pieces.begin() + static_cast<long>(k));
        else ++k;
      }
      for (auto& r : recordedConstraints(db, table))
        if (allGone(r.columns))
          after.push_back("DELETE FROM \"TESSEL$CONSTRAINTS\" WHERE NAME = " + quoteString(r.name));
      // so do the disabled ones that name them: none may come back on a column of that name
      dict::eachRow(db, "SELECT NAME, COLUMN_NAME, DEFINITION FROM \"TESSEL$DISABLED\" WHERE TABLE_NAME = ?1",
                    [&](sqlite3_stmt* st) {
                      bool uses = goneSet.count(dict::col(st, 1)) > 0;
                      for (auto& tk : tokenize(dict::col(st, 2))) {
                        if (is(tk, "REFERENCES")) break;
                        if ((tk.kind == Token::QIdent || tk.kind == Token::Ident) && tk.depth >= 1 && goneSet.count(tk.text))
                          uses = true;
                      }
                      if (uses)
                        after.push_back("DELETE FROM \"TESSEL$DISABLED\" WHERE NAME = " + quoteString(dict::col(st, 0)) +
                                        " AND TABLE_NAME = " + quoteString(table));
                    }, table);
    }
  } else {
    throw OraError(905);
  }
  checkInvisibleAllowed(db, table, pieces);
  recordConstraints(tr_, cat_, table, cons, consTypes);
  for (auto& d : tr_.ddl) after.push_back(d);
  tr_.ddl.clear();
  // what needs the records the rebuild writes (an added identity's sequence) comes after it
  auto later = std::move(tr_.beforeCommit);
  tr_.beforeCommit.clear();
  tr_.actions.push_back([table, pieces, keep, after, added, later](Session& s) {
    rebuildTable(s, table, pieces, keep, after, added);
    for (auto& a : later) a(s);
  });
}

} // namespace ora::tx
