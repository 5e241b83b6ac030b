// The XML generation functions as the engine's functions (XmlFunctions.cpp): names become text
// arguments, and each value goes in as XML shows it (a date as YYYY-MM-DD, a number as TO_CHAR
// writes it).
#include "TranslateImpl.h"

#include "SqlParser.h"

namespace ora::tx {

// The names and clause words inside XML calls become operators, which no other pass reads as
// columns; the names are kept aside.
void Translator::markXml() {
  for (size_t i = 0; i + 1 < t_.size(); ++i) {
    if (t_[i].kind != Token::Ident || !is(t_[i + 1], "(") || !sql::xmlFunction(t_[i].text) || (i > 0 && is(t_[i - 1], ".")))
      continue;
    const std::string& f = t_[i].text;
    const size_t close = matching(i + 1);
    const int d = t_[i].depth + 1;
    auto word = [&](size_t m) { return m < close && t_[m].kind == Token::Ident; };
    auto name = [&](size_t m) {
      if (m < close && (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent)) {
        t_[m].kind = Token::Op;
        xmlNames_.insert(m);
      }
    };
    if (f == "XMLELEMENT" || f == "XMLPI") {
      size_t m = i + 2;
      if (word(m) && t_[m].text == "NAME" && (word(m + 1) || at(m + 1).kind == Token::QIdent)) t_[m++].kind = Token::Op;
      if (word(m) && t_[m].text == "EVALNAME") t_[m].kind = Token::Op;
      else name(m);
    }
    size_t attrs = 0; // the ")" of XMLATTRIBUTES
    for (size_t m = i + 2; m < close; ++m) {
      if (f == "XMLELEMENT" && t_[m].depth == d && is(t_[m], "XMLATTRIBUTES") && is(at(m + 1), "(")) attrs = matching(m + 1);
      bool own = t_[m].depth == d || (m < attrs && t_[m].depth == d + 1);
      if (!own || !word(m)) continue;
      const std::string& w = t_[m].text;
      if (w == "AS" && (f == "XMLFOREST" || f == "XMLCOLATTVAL" || f == "XMLELEMENT") && !is(at(m + 1), "VARCHAR2")) {
        t_[m].kind = Token::Op;
        name(m + 1);
      } else if (f == "XMLSERIALIZE" && t_[m].depth == d &&
                 (w == "CONTENT" || w == "DOCUMENT" || w == "AS" || w == "VARCHAR2" || w == "CLOB" || w == "INDENT" ||
                  w == "SIZE" || w == "NO" || w == "VERSION" || w == "HIDE" || w == "SHOW" || w == "DEFAULTS")) {
        t_[m].kind = Token::Op;
      } else if (f == "XMLPARSE" && t_[m].depth == d && (w == "CONTENT" || w == "DOCUMENT" || w == "WELLFORMED")) {
        t_[m].kind = Token::Op;
      } else if (f == "XMLROOT" && t_[m].depth == d &&
                 (w == "VERSION" || w == "STANDALONE" || w == "YES" || w == "NO" || w == "VALUE")) {
        t_[m].kind = Token::Op;
      }
    }
  }
}

bool Translator::xmlName(size_t i) const { return xmlNames_.count(i) > 0; }

// The end of an XML call at i, with .getStringVal() or .getClobVal() after it; 0 if none is there.
size_t Translator::xmlCallEnd(size_t i) const {
  if (t_[i].kind != Token::Ident || !is(at(i + 1), "(") || !sql::xmlFunction(t_[i].text)) return 0;
  if (i > 0 && is(t_[i - 1], ".")) return 0;
  size_t end = matching(i + 1) + 1;
  if (is(at(end), ".") && (is(at(end + 1), "GETSTRINGVAL") || is(at(end + 1), "GETCLOBVAL")) && is(at(end + 2), "(") &&
      is(at(end + 3), ")"))
    end += 4;
  return end;
}

bool Translator::xmlType(size_t b, size_t e, ColType& out) const {
  if (xmlCallEnd(b) != e) return false;
  out = ColType{};
  out.code = kVarchar2;
  out.size = 4000;
  // the text of the XML value is no markup any more
  out.xml = !is(t_[b], "XMLSERIALIZE") && matching(b + 1) + 1 == e;
  if (is(t_[b], "XMLSERIALIZE"))
    for (size_t m = b + 2; m + 3 < e; ++m)
      if (t_[m].depth == t_[b].depth + 1 && is(t_[m], "AS") && is(t_[m + 1], "VARCHAR2") && is(t_[m + 2], "("))
        out.size = std::max(1, std::min(32767, std::atoi(t_[m + 3].text.c_str())));
  return true;
}

// A value as it goes into XML.
std::string Translator::xmlValue(size_t b, size_t e) {
  if (b >= e) throw OraError(936);
  if (xmlCallEnd(b) == e && matching(b + 1) + 1 == e) return emit(b, e);
  ColType t = exprType(b, e);
  std::string v = emit(b, e);
  if (t.xml) return "ora_xmlmark(" + v + ")"; // an XML value read from a subquery's column
  if (t.code == kDate) return "TO_CHAR(" + v + ", 'YYYY-MM-DD')";
  if (isTimestamp(t.code)) return "TO_CHAR(" + v + ", 'YYYY-MM-DD\"T\"HH24:MI:SS.FF6')";
  if (t.code == kNumber) return "TO_CHAR(" + v + ")";
  return v;
}

std::string Translator::xmlCall(size_t i, size_t& after, bool bare) {
  const std::string f = t_[i].text;
  size_t close = matching(i + 1);
  after = bare ? close + 1 : xmlCallEnd(i);
  int d = t_[i].depth + 1;
  // the arguments at the call's own depth, split at its commas
  std::vector<std::pair<size_t, size_t>> args;
  for (size_t a = i + 2, m = a; m <= close; ++m)
    if (m == close || (t_[m].depth == d && is(t_[m], ","))) {
      args.emplace_back(a, m);
      a = m + 1;
    }
  auto named = [&](size_t b, size_t e, std::string& name, const char* fn, size_t k) {
    // value [AS name]: without a name, a column's own
    if (e >= b + 3 && t_[e - 2].depth == t_[b].depth && is(t_[e - 2], "AS") && xmlName(e - 1)) {
      name = t_[e - 1].text;
      return e - 2;
    }
    // anything but a column has no name to give its element or attribute
    bool column = e > b && (t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent);
    for (size_t m = b; column && m + 1 < e; m += 2)
      column = (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) && is(t_[m + 1], ".");
    if (!column || (e == b + 1 && t_[b].kind == Token::Ident && keywordAt(t_, b))) {
      OraError err(19208);
      err.text = "ORA-19208: parameter " + std::to_string(k + 1) + " of function " + fn + " must be aliased";
      throw err.at(static_cast<int>(t_[b].pos));
    }
    name = heading(b, e);
    return e;
  };
  if (after > close + 1) {
    // getStringVal() and getClobVal() give the text, which is no markup any more
    size_t inner;
    std::string call = xmlCall(i, inner, true);
    return "(" + call + " || '')";
  }
  std::string out;
  if (f == "XMLELEMENT" || f == "XMLPI") {
    size_t n = args[0].first;
    if (is(t_[n], "NAME") && n + 1 < args[0].second) ++n;
    std::string name;
    if (is(t_[n], "EVALNAME") && t_[n].kind == Token::Op && n + 1 < args[0].second) {
      name = "ora_xmlname(" + emit(n + 1, args[0].second) + ")";
    } else {
      if (n + 1 != args[0].second || !xmlName(n)) throw OraError(931).at(static_cast<int>(t_[n].pos));
      name = quoteString(t_[n].text);
    }
    if (f == "XMLPI")
      return "ora_xmlmarkup(2, " + (args.size() > 1 ? xmlValue(args[1].first, args[1].second) : "NULL") + ", " + name + ")";
    std::string attrs, content;
    int count = 0;
    for (size_t k = 1; k < args.size(); ++k) {
      auto [b, e] = args[k];
      if (is(t_[b], "XMLATTRIBUTES") && is(at(b + 1), "(") && matching(b + 1) + 1 == e) {
        size_t ac = matching(b + 1);
        size_t n = 0;
        for (size_t a = b + 2, m = a; m <= ac; ++m)
          if (m == ac || (t_[m].depth == d + 1 && is(t_[m], ","))) {
            std::string an;
            size_t ve = named(a, m, an, "XMLATTRIBUTES", n++);
            attrs += ", " + quoteString(an) + ", " + xmlValue(a, ve);
            ++count;
            a = m + 1;
          }
        continue;
      }
      content += ", " + xmlValue(b, e);
    }
    return "ora_xmlelement(" + name + ", " + std::to_string(count) + attrs + content + ")";
  }
  if (f == "XMLFOREST" || f == "XMLCOLATTVAL") {
    for (size_t k = 0; k < args.size(); ++k) {
      auto [b, e] = args[k];
      std::string n;
      size_t ve = named(b, e, n, f.c_str(), k);
      if (ve == e && !exprType(b, e).object.empty()) {
        // an object has no name of its own to give its element
        OraError err(19208);
        err.text = "ORA-19208: parameter " + std::to_string(k + 1) + " of function " + f + " must be aliased";
        throw err.at(static_cast<int>(t_[b].pos));
      }
      out += (out.empty() ? "" : ", ") + quoteString(n) + ", " + xmlValue(b, ve);
    }
    return (f == "XMLFOREST" ? "ora_xmlforest(" : "ora_xmlcolattval(") + out + ")";
  }
  if (f == "XMLPARSE") {
    // CONTENT or DOCUMENT, the text, WELLFORMED: a promise that it need not be checked
    auto [b, e] = args[0];
    bool wellformed = e > b + 1 && is(t_[e - 1], "WELLFORMED") && t_[e - 1].kind == Token::Op;
    if (wellformed) --e;
    return "ora_xmlparse(" + emit(b + 1, e) + ", " + (is(t_[b], "DOCUMENT") ? "1" : "0") + ", " +
           (wellformed ? "1" : "0") + ")";
  }
  // XMLCONCAT and XMLAGG take XML values: text, a number or a date there is the wrong type, not markup
  auto xmlOnly = [&](size_t b, size_t e) {
    if (b >= e || (xmlCallEnd(b) == e && matching(b + 1) + 1 == e) || (e == b + 1 && is(t_[b], "NULL"))) return;
    bool literal = e == b + 1 && (t_[b].kind == Token::Str || t_[b].kind == Token::Num);
    bool column = e == b + 1 || (e == b + 3 && is(t_[b + 1], "."));
    if (!literal && !column) return;
    ColType t = exprType(b, e);
    if (t.xml || t.code == 0 || !t.object.empty()) return;
    const char* got = t.code == kNumber ? "NUMBER" : t.code == kDate ? "DATE" : "CHAR";
    if (isTimestamp(t.code)) got = "TIMESTAMP";
    throw OraError(932, std::string("expected - got ") + got).at(static_cast<int>(t_[b].pos));
  };
  if (f == "XMLCONCAT") {
    for (auto [b, e] : args) xmlOnly(b, e);
    for (auto [b, e] : args) out += (out.empty() ? "" : ", ") + xmlValue(b, e);
    return "ora_xmlconcat(" + out + ")";
  }
  if (f == "XMLCOMMENT" || f == "XMLCDATA")
    return std::string("ora_xmlmarkup(") + (f == "XMLCOMMENT" ? "0" : "1") + ", " + emit(args[0].first, args[0].second) + ")";
  if (f == "SYS_XMLGEN" || f == "SYS_XMLAGG") {
    auto [b, e] = args[0];
    // the element: an XMLFormat's name, else a column's own (SYS_XMLGEN) or ROW / ROWSET
    std::string tag = f == "SYS_XMLGEN" ? "ROW" : "ROWSET";
    bool column = f == "SYS_XMLGEN" && e > b && (t_[e - 1].kind == Token::Ident || t_[e - 1].kind == Token::QIdent) &&
                  !(e == b + 1 && t_[b].kind == Token::Ident && keywordAt(t_, b));
    for (size_t m = b; column && m + 1 < e; m += 2)
      column = (t_[m].kind == Token::Ident || t_[m].kind == Token::QIdent) && is(t_[m + 1], ".");
    if (column) tag = t_[e - 1].text;
    if (args.size() > 1)
      for (size_t m = args[1].first; m < args[1].second; ++m)
        if (t_[m].kind == Token::Str) {
          tag = t_[m].text;
          break;
        }
    std::string v;
    if (f == "SYS_XMLAGG") {
      v = xmlValue(b, e);
    } else {
      // a scalar as its text, a date in the session's format
      ColType t = exprType(b, e);
      v = (xmlCallEnd(b) == e || t.xml) ? xmlValue(b, e)
          : (t.code == kDate || isTimestamp(t.code) || t.code == kNumber) ? "TO_CHAR(" + emit(b, e) + ")"
                                                                          : emit(b, e);
    }
    return (f == "SYS_XMLGEN" ? "ora_sys_xmlgen(" : "ora_sys_xmlagg(") + v + ", " + quoteString(tag) + ")";
  }
  if (f == "XMLAGG") {
    size_t b = args[0].first, e = args[0].second, order = e;
    for (size_t m = b; m + 1 < e; ++m)
      if (t_[m].depth == d && is(t_[m], "ORDER") && is(t_[m + 1], "BY")) order = m;
    xmlOnly(b, order);
    out = "ora_xmlagg(" + xmlValue(b, order);
    if (order < e) {
      size_t count;
      out += sortKeys(order + 2, close, d, count);
    }
    return out + ")";
  }
  if (f == "XMLSERIALIZE") {
    size_t b = args[0].first + 1, e = close;
    bool document = is(t_[args[0].first], "DOCUMENT");
    int indent = -1, most = 0;
    for (size_t m = b; m < close; ++m) {
      if (t_[m].depth != d) continue;
      if (is(t_[m], "AS") || is(t_[m], "VERSION") || is(t_[m], "INDENT") || is(t_[m], "NO") || is(t_[m], "HIDE") ||
          is(t_[m], "SHOW"))
        e = std::min(e, m);
      if (is(t_[m], "AS") && is(at(m + 1), "VARCHAR2")) most = is(at(m + 2), "(") ? std::atoi(at(m + 3).text.c_str()) : 4000;
      if (is(t_[m], "INDENT") && !is(at(m - 1), "NO")) indent = is(at(m + 1), "SIZE") ? std::atoi(at(m + 3).text.c_str()) : 2;
    }
    return "ora_xmlserialize(" + xmlValue(b, e) + ", " + (document ? "1" : "0") + ", " + std::to_string(indent) + ", " +
           std::to_string(most) + ")";
  }
  // XMLROOT(value, VERSION v | NO VALUE [, STANDALONE YES | NO [VALUE]])
  std::string version = "NULL";
  int standalone = -1;
  if (args.size() > 1 && is(t_[args[1].first], "VERSION") && !is(at(args[1].first + 1), "NO"))
    version = emit(args[1].first + 1, args[1].second);
  if (args.size() > 2) {
    size_t s = args[2].first + 1;
    standalone = is(at(s), "YES") ? 1 : is(at(s + 1), "VALUE") ? -1 : 0;
  }
  return "ora_xmlroot(" + xmlValue(args[0].first, args[0].second) + ", " + version + ", " + std::to_string(standalone) + ")";
}

} // namespace ora::tx
