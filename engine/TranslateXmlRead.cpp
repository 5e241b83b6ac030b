// The XML reading functions and the XMLType's methods as calls of the engine's functions
// (XmlRead.cpp), and XMLTABLE as the table-valued function of its column list (XmlTable.cpp).
// Their clause words become operators once, before the other passes, so that none reads PASSING
// or a variable's name as a column.
#include "TranslateImpl.h"

#include "SqlParser.h"
#include "XmlDoc.h"
#include "XmlRead.h"

namespace ora::tx {

namespace {

bool method(const std::string& w) {
  return w == "GETSTRINGVAL" || w == "GETCLOBVAL" || w == "GETNUMBERVAL" || w == "EXTRACT" || w == "EXISTSNODE";
}

} // namespace

void Translator::markXmlRead() {
  std::map<size_t, size_t> methodStart; // a method's name: where its value starts
  for (size_t i = 0; i + 1 < t_.size(); ++i) {
    const Token& k = t_[i];
    if (k.kind != Token::Ident || !is(t_[i + 1], "(")) continue;
    const size_t close = matching(i + 1);
    const int d = k.depth + 1;
    auto split = [&](size_t from, size_t to) {
      std::vector<std::pair<size_t, size_t>> args;
      for (size_t a = from, m = a; m <= to; ++m)
        if (m == to || (t_[m].depth == d && is(t_[m], ","))) {
          if (m > a) args.emplace_back(a, m);
          a = m + 1;
        }
      return args;
    };
    const bool dotted = i > 0 && is(t_[i - 1], ".");
    if (dotted && method(k.text)) {
      // value.method(...): the value is a call's result or alias.column
      size_t r = i - 2, start = 0;
      if (i < 2) continue;
      if (is(t_[r], ")")) {
        size_t open = r;
        while (open > 0 && !(t_[open].depth == t_[r].depth && is(t_[open], "("))) --open;
        if (open == 0) continue;
        size_t name = open - 1;
        if (auto m = methodStart.find(name); m != methodStart.end()) start = m->second;
        else if (t_[name].kind == Token::Ident && !(name > 0 && is(t_[name - 1], "."))) start = name;
        else continue;
        // the generation functions' own getStringVal() and getClobVal() (TranslateXml.cpp)
        if (start == name && sql::xmlFunction(t_[name].text) && (k.text == "GETSTRINGVAL" || k.text == "GETCLOBVAL")) continue;
      } else if (t_[r].kind == Token::Ident || t_[r].kind == Token::QIdent) {
        start = r;
        while (start >= 2 && is(t_[start - 1], ".") && (t_[start - 2].kind == Token::Ident || t_[start - 2].kind == Token::QIdent))
          start -= 2;
        if (start == r) continue; // a column alone: Oracle wants the table's alias before it
      } else {
        continue;
      }
      XmlRead x;
      x.fn = "." + k.text;
      x.end = close + 1;
      x.args.emplace_back(start, i - 1);
      for (auto a : split(i + 2, close)) x.args.push_back(a);
      t_[i].kind = Token::Op;
      methodStart[i] = start;
      xmlReads_[start].push_back(std::move(x));
      continue;
    }
    if (dotted) continue;
    if (k.text == "EXTRACT") {
      auto args = split(i + 2, close);
      if (args.size() < 2) continue; // EXTRACT(YEAR FROM ...)
      XmlRead x;
      x.fn = k.text;
      x.end = close + 1;
      x.args = std::move(args);
      xmlReads_[i].push_back(std::move(x));
    } else if (k.text == "EXTRACTVALUE" || k.text == "EXISTSNODE" || k.text == "XMLTYPE") {
      XmlRead x;
      x.fn = k.text;
      x.end = close + 1;
      x.args = split(i + 2, close);
      size_t most = k.text == "XMLTYPE" ? 1 : 3, least = k.text == "XMLTYPE" ? 1 : 2;
      if (x.args.size() < least) throw OraError(938).at(static_cast<int>(k.pos));
      if (x.args.size() > most) throw OraError(939).at(static_cast<int>(k.pos));
      xmlReads_[i].push_back(std::move(x));
    } else if (k.text == "XMLQUERY" || k.text == "XMLEXISTS") {
      XmlRead x;
      x.fn = k.text;
      x.end = close + 1;
      x.path = i + 2;
      if (at(x.path).kind != Token::Str) throw OraError(19102).at(static_cast<int>(at(x.path).pos));
      size_t m = i + 3;
      auto word = [&](size_t p, const char* w) { return p < close && t_[p].depth == d && t_[p].kind == Token::Ident && t_[p].text == w; };
      auto take = [&](size_t p) { t_[p].kind = Token::Op; };
      if (word(m, "PASSING")) {
        take(m++);
        if (word(m, "BY") && word(m + 1, "VALUE")) take(m), take(m + 1), m += 2;
        while (m < close) {
          size_t b = m;
          while (m < close && !(t_[m].depth == d && (is(t_[m], ",") || word(m, "AS") || word(m, "RETURNING")))) ++m;
          if (m == b) throw OraError(936).at(static_cast<int>(at(m).pos));
          x.args.emplace_back(b, m);
          x.names.emplace_back();
          if (word(m, "AS")) {
            take(m++);
            if (at(m).kind != Token::Ident && at(m).kind != Token::QIdent) throw OraError(904).at(static_cast<int>(at(m).pos));
            x.names.back() = t_[m].text;
            take(m++);
          }
          if (m < close && is(t_[m], ",")) {
            ++m;
            continue;
          }
          break;
        }
      }
      for (; m < close; ++m)
        if (t_[m].depth == d && t_[m].kind == Token::Ident) take(m); // RETURNING CONTENT NULL ON EMPTY
      xmlReads_[i].push_back(std::move(x));
    } else if (k.text == "XMLCAST") {
      size_t as = i + 2;
      while (as < close && !(t_[as].depth == d && is(t_[as], "AS"))) ++as;
      if (as >= close || as == i + 2) throw OraError(936).at(static_cast<int>(at(as).pos));
      t_[i].text = "CAST"; // the value's text cast as CAST casts it
      xmlCasts_[i + 2] = as;
    }
  }
}

const XmlRead* Translator::xmlReadAt(size_t b, size_t e) const {
  auto it = xmlReads_.find(b);
  if (it == xmlReads_.end()) return nullptr;
  const XmlRead* best = nullptr;
  for (const XmlRead& x : it->second)
    if (x.end <= e && (!best || x.end > best->end)) best = &x;
  return best;
}

std::string Translator::xmlReadCall(const XmlRead& r) {
  auto args = [&](size_t from) {
    std::string out;
    for (size_t k = from; k < r.args.size(); ++k) out += ", " + emit(r.args[k].first, r.args[k].second);
    return out;
  };
  if (r.fn == "EXTRACT") return "ora_xml_extract(" + emit(r.args[0].first, r.args[0].second) + args(1) + ")";
  if (r.fn == "EXTRACTVALUE" || r.fn == "EXISTSNODE" || r.fn == "XMLTYPE")
    return r.fn + "(" + emit(r.args[0].first, r.args[0].second) + args(1) + ")";
  if (r.fn == "XMLQUERY" || r.fn == "XMLEXISTS") {
    std::string context = "NULL", vars;
    for (size_t k = 0; k < r.args.size(); ++k) {
      std::string v = emit(r.args[k].first, r.args[k].second);
      if (r.names[k].empty()) {
        if (context != "NULL") throw xml::error(19114).at(static_cast<int>(t_[r.args[k].first].pos)); // one context item
        context = v;
      } else {
        vars += ", " + quoteString(r.names[k]) + ", " + v;
      }
    }
    return std::string("ora_xml_query(") + (r.fn == "XMLEXISTS" ? "1" : "0") + ", " + emit(r.path, r.path + 1) + ", " +
           context + vars + ")";
  }
  // the methods
  std::string self = emit(r.args[0].first, r.args[0].second);
  if (r.fn == ".GETSTRINGVAL" || r.fn == ".GETCLOBVAL") {
    if (r.args.size() != 1) throw OraError(909);
    return "(" + self + " || '')"; // the text, which is no markup any more
  }
  if (r.fn == ".GETNUMBERVAL") {
    if (r.args.size() != 1) throw OraError(909);
    return "ora_xml_number(" + self + ")";
  }
  if (r.args.size() < 2) throw OraError(938);
  if (r.args.size() > 3) throw OraError(939);
  return (r.fn == ".EXTRACT" ? "ora_xml_extract(" : "EXISTSNODE(") + self + args(1) + ")";
}

bool Translator::xmlReadType(size_t b, size_t e, ColType& out) const {
  if (auto c = xmlCasts_.find(b); c != xmlCasts_.end() && c->second == e) {
    out = ColType{};
    out.code = kVarchar2;
    out.size = 4000;
    return true;
  }
  const XmlRead* x = xmlReadAt(b, e);
  if (!x || x->end != e) return false;
  out = ColType{};
  const std::string& f = x->fn;
  if (f == "EXISTSNODE" || f == ".EXISTSNODE" || f == "XMLEXISTS" || f == ".GETNUMBERVAL") {
    out.code = kNumber;
    return true;
  }
  out.code = kVarchar2;
  out.size = 4000;
  if (f == "EXTRACT" || f == ".EXTRACT" || f == "XMLTYPE" || f == "XMLQUERY" || f == ".GETCLOBVAL") {
    // an XMLType (or its CLOB) is shown as an XMLType column is: as a CLOB
    out.code = kLong;
    out.lob = kClob;
    out.xml = f != ".GETCLOBVAL";
  }
  return true;
}

// XMLTABLE(['namespaces',] 'row path' PASSING doc [AS "v"] COLUMNS ...) as the table-valued
// function of its column list, called with the document, the row path and the variable's name.
size_t Translator::xmlTable(size_t i, Context& c) {
  const size_t close = matching(i + 1);
  const int d = t_[i].depth + 1;
  auto word = [&](size_t m, const char* w) { return m < close && t_[m].depth == d && t_[m].kind == Token::Ident && t_[m].text == w; };
  XmlTableSpec spec;
  size_t m = i + 2;
  if (word(m, "XMLNAMESPACES") && is(at(m + 1), "(")) {
    size_t nc = matching(m + 1);
    for (size_t x = m + 2; x < nc; ++x) {
      if (t_[x].kind != Token::Str) continue;
      if (is(t_[x - 1], "DEFAULT")) spec.namespaces += " xmlns=\"" + t_[x].text + "\"";
      else if (is(at(x + 1), "AS")) spec.namespaces += " xmlns:" + at(x + 2).text + "=\"" + t_[x].text + "\"";
    }
    m = nc + 2;
  }
  const size_t pathTok = m;
  if (at(pathTok).kind != Token::Str) throw OraError(19102).at(static_cast<int>(at(pathTok).pos));
  pin_[pathTok] = 1;
  m = pathTok + 1;
  size_t docB = 0, docE = 0;
  std::string var = "NULL";
  if (word(m, "PASSING")) {
    ++m;
    if (word(m, "BY") && word(m + 1, "VALUE")) m += 2;
    while (m < close && !word(m, "COLUMNS") && !word(m, "RETURNING")) {
      size_t b = m;
      while (m < close && !(t_[m].depth == d && (is(t_[m], ",") || word(m, "AS") || word(m, "COLUMNS") || word(m, "RETURNING")))) ++m;
      if (m == b) throw OraError(936).at(static_cast<int>(at(m).pos));
      std::string name;
      if (word(m, "AS")) {
        name = at(m + 1).text;
        m += 2;
      }
      // one value: the context item, named or not
      if (docE != 0) throw xml::error(19110, "one value is passed to XMLTABLE").at(static_cast<int>(t_[b].pos));
      {
        docB = b;
        docE = b == m ? m : (name.empty() ? m : m - 2);
        var = name.empty() ? "NULL" : quoteString(name);
      }
      if (m < close && is(t_[m], ",")) ++m;
    }
  }
  while (m < close && !word(m, "COLUMNS")) ++m;
  if (word(m, "COLUMNS")) {
    for (size_t b = m + 1; b < close;) {
      size_t e = b;
      while (e < close && !(t_[e].depth == d && is(t_[e], ","))) ++e;
      XmlTableColumn col;
      if (t_[b].kind != Token::Ident && t_[b].kind != Token::QIdent) throw OraError(904).at(static_cast<int>(t_[b].pos));
      col.name = t_[b].text;
      col.path = col.name;
      ColType type;
      type.code = kVarchar2;
      type.size = 4000;
      for (size_t x = b + 1; x < e; ++x) {
        const Token& w = t_[x];
        if (w.kind == Token::Str && is(t_[x - 1], "PATH")) {
          col.path = w.text;
          pin_[x] = 1;
        } else if (is(w, "DEFAULT") && w.kind == Token::Ident) {
          // a literal, which the table function gives where the path finds nothing
          bool neg = is(at(x + 1), "-");
          const Token& v = at(x + 1 + (neg ? 1 : 0));
          if ((v.kind != Token::Str && v.kind != Token::Num) || x + 2 + (neg ? 1 : 0) != e)
            throw OraError(1780).at(static_cast<int>(at(x + 1).pos));
          col.hasDefault = true;
          col.dflt = (neg ? "-" : "") + v.text;
          break;
        } else if (is(w, "ORDINALITY")) {
          col.kind = XmlTableColumn::Ordinality;
          type = ColType{};
          type.code = kNumber;
        } else if (x == b + 1 && is(w, "XMLTYPE")) {
          col.kind = XmlTableColumn::Xml;
          type.xml = true;
        } else if (x == b + 1 && (is(w, "NUMBER") || is(w, "INTEGER") || is(w, "DATE"))) {
          type = ColType{};
          type.code = col.type = is(w, "DATE") ? kDate : kNumber;
        } else if (x == b + 1 && (is(w, "VARCHAR2") || is(w, "CHAR")) && is(at(x + 1), "(") && at(x + 2).kind == Token::Num) {
          type.size = std::max(1, std::min(4000, std::atoi(t_[x + 2].text.c_str())));
          col.size = type.size;
          pin_[x + 2] = 1;
        }
      }
      tr_.inferred.emplace(col.name, type);
      spec.columns.push_back(std::move(col));
      b = e + 1;
    }
  } else {
    XmlTableColumn col;
    col.name = "COLUMN_VALUE";
    col.kind = XmlTableColumn::Xml;
    col.path = ".";
    ColType type;
    type.code = kVarchar2;
    type.size = 4000;
    type.xml = true;
    tr_.inferred.emplace(col.name, type);
    spec.columns.push_back(std::move(col));
  }
  if (spec.columns.empty()) throw OraError(904);
  std::string doc = docE > docB ? emit(docB, docE) : std::string("NULL");
  std::string call = xmlTableModule(cat_.db(), spec) + "(" + doc + ", " + quoteString(t_[pathTok].text) + ", " + var + ")";
  replace_[i] = call;
  for (size_t x = i + 1; x <= close; ++x) skip_[x] = 1;
  if (aliasToken(close + 1)) xmlAliases_.insert(at(close + 1).text);
  c.opaque = true;
  return close;
}

} // namespace ora::tx
