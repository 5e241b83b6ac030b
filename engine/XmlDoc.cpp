// Reading XML text into a tree and writing it back. The reader keeps its own stack, so deep
// nesting is refused with an error rather than running out of stack, and it expands only the
// predefined and numeric entities: a document type's own entities are never expanded.
#include "XmlDoc.h"

#include <algorithm>
#include <cstdio>

namespace ora::xml {

namespace {

constexpr int kMaxDepth = 1000;

bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool nameStart(unsigned char c) { return c >= 0x80 || c == '_' || c == ':' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool nameChar(unsigned char c) { return nameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9'); }

void appendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

struct Reader {
  std::string_view s;
  size_t k = 0;
  Doc& doc;

  [[noreturn]] void fail(const char* what) const {
    char at[64];
    std::snprintf(at, sizeof at, " (at character %zu)", k + 1);
    throw error(31011, std::string(what) + at);
  }
  bool starts(std::string_view w) const { return s.substr(k, w.size()) == w; }

  std::string name() {
    if (k >= s.size() || !nameStart(static_cast<unsigned char>(s[k]))) fail("LPX-00231: invalid character in name");
    size_t b = k;
    while (k < s.size() && nameChar(static_cast<unsigned char>(s[k]))) ++k;
    return std::string(s.substr(b, k - b));
  }

  // Text up to `stop`, its references replaced.
  std::string text(char stop) {
    std::string out;
    while (k < s.size() && s[k] != stop) {
      if (stop == '<' && s[k] == '>' && k >= 2 && s.substr(k - 2, 2) == "]]") fail("LPX-00243: ']]>' in content");
      if (stop != '<' && s[k] == '<') fail("LPX-00241: '<' in an attribute value");
      if (s[k] != '&') {
        out += s[k++];
        continue;
      }
      size_t semi = s.find(';', k);
      if (semi == std::string_view::npos || semi - k > 12) fail("LPX-00242: invalid use of ampersand ('&') character");
      std::string_view ref = s.substr(k + 1, semi - k - 1);
      if (ref == "lt") out += '<';
      else if (ref == "gt") out += '>';
      else if (ref == "amp") out += '&';
      else if (ref == "quot") out += '"';
      else if (ref == "apos") out += '\'';
      else if (ref.size() > 1 && ref[0] == '#') {
        bool hex = ref[1] == 'x';
        std::string_view digits = ref.substr(hex ? 2 : 1);
        unsigned long cp = 0;
        if (digits.empty()) fail("LPX-00215: invalid character reference");
        for (char c : digits) {
          int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
          if (d < 0) fail("LPX-00215: invalid character reference");
          cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
          if (cp > 0x10FFFF) fail("LPX-00215: invalid character reference");
        }
        if (cp == 0 || (cp < 0x20 && cp != 9 && cp != 10 && cp != 13) || (cp >= 0xD800 && cp <= 0xDFFF))
          fail("LPX-00215: invalid character reference");
        appendUtf8(out, cp);
      } else {
        fail("LPX-00217: undefined entity");
      }
      k = semi + 1;
    }
    return out;
  }

  // <!-- -->, <?target data?>, <![CDATA[ ]]>, <!DOCTYPE ...>: true when one was read.
  bool other(Node* parent, bool top) {
    if (starts("<!--")) {
      size_t e = s.find("-->", k + 4);
      if (e == std::string_view::npos) fail("LPX-00225: end-element tag missing for a comment");
      Node* c = doc.make(Node::Comment);
      c->value = std::string(s.substr(k + 4, e - k - 4));
      if (c->value.find("--") != std::string::npos) fail("LPX-00228: '--' in a comment");
      c->parent = parent;
      parent->kids.push_back(c);
      k = e + 3;
      return true;
    }
    if (starts("<![CDATA[")) {
      if (top) fail("LPX-00245: CDATA outside the document element");
      size_t e = s.find("]]>", k + 9);
      if (e == std::string_view::npos) fail("LPX-00230: CDATA section not terminated");
      Node* c = doc.make(Node::Text);
      c->cdata = true;
      c->value = std::string(s.substr(k + 9, e - k - 9));
      c->parent = parent;
      parent->kids.push_back(c);
      k = e + 3;
      return true;
    }
    if (starts("<?")) {
      k += 2;
      std::string target = name();
      size_t e = s.find("?>", k);
      if (e == std::string_view::npos) fail("LPX-00226: processing instruction not terminated");
      size_t b = k;
      while (b < e && space(s[b])) ++b;
      std::string lower = target;
      for (auto& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      k = e + 2;
      if (lower == "xml") {
        if (!top || !parent->kids.empty()) fail("LPX-00209: PI names starting with XML are reserved");
        return true; // the declaration is no node
      }
      Node* p = doc.make(Node::Pi);
      p->name = target;
      p->value = std::string(s.substr(b, e - b));
      p->parent = parent;
      parent->kids.push_back(p);
      return true;
    }
    if (starts("<!DOCTYPE")) {
      if (!top) fail("LPX-00209: DOCTYPE inside the document");
      // skipped with its internal subset; its entities are not read
      int brackets = 0;
      for (k += 9; k < s.size(); ++k) {
        if (s[k] == '[') ++brackets;
        else if (s[k] == ']') --brackets;
        else if (s[k] == '>' && brackets <= 0) break;
      }
      if (k >= s.size()) fail("LPX-00007: unexpected end-of-file encountered");
      ++k;
      return true;
    }
    return false;
  }

  void run(bool document) {
    std::vector<Node*> open{doc.root};
    // the namespace declarations in scope, innermost last
    std::vector<std::pair<std::string, std::string>> scope;
    std::vector<size_t> scopeMarks;
    auto resolve = [&](const std::string& qname, bool attribute) -> std::string {
      size_t c = qname.find(':');
      std::string prefix = c == std::string::npos ? std::string() : qname.substr(0, c);
      if (attribute && prefix.empty()) return {};
      if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
      for (size_t x = scope.size(); x-- > 0;)
        if (scope[x].first == prefix) return scope[x].second;
      if (!prefix.empty()) fail("LPX-00234: namespace prefix not declared");
      return {};
    };
    while (k < s.size()) {
      Node* parent = open.back();
      bool top = open.size() == 1;
      if (s[k] != '<') {
        size_t b = k;
        std::string t = text('<');
        if (top) {
          bool blank = true;
          for (size_t x = b; x < k; ++x) blank = blank && space(s[x]);
          if (!blank && document) fail("LPX-00210: expected '<' instead of text");
          if (blank) continue;
        }
        if (!parent->kids.empty() && parent->kids.back()->kind == Node::Text && !parent->kids.back()->cdata) {
          parent->kids.back()->value += t;
          continue;
        }
        Node* n = doc.make(Node::Text);
        n->value = std::move(t);
        n->parent = parent;
        parent->kids.push_back(n);
        continue;
      }
      if (other(parent, top)) continue;
      if (starts("</")) {
        k += 2;
        std::string n = name();
        while (k < s.size() && space(s[k])) ++k;
        if (k >= s.size() || s[k] != '>') fail("LPX-00007: unexpected end-of-file encountered");
        ++k;
        if (top || n != parent->name) fail("LPX-00225: end-element tag does not match start-element tag");
        open.pop_back();
        scope.resize(scopeMarks.back());
        scopeMarks.pop_back();
        continue;
      }
      ++k;
      Node* el = doc.make(Node::Element);
      el->name = name();
      el->parent = parent;
      scopeMarks.push_back(scope.size());
      std::vector<std::pair<std::string, std::string>> raw;
      bool empty = false;
      for (;;) {
        size_t before = k;
        while (k < s.size() && space(s[k])) ++k;
        if (k >= s.size()) fail("LPX-00007: unexpected end-of-file encountered");
        if (s[k] == '>') {
          ++k;
          break;
        }
        if (starts("/>")) {
          k += 2;
          empty = true;
          break;
        }
        if (before == k) fail("LPX-00247: whitespace required between attributes");
        std::string an = name();
        while (k < s.size() && space(s[k])) ++k;
        if (k >= s.size() || s[k] != '=') fail("LPX-00201: expected '=' after an attribute name");
        ++k;
        while (k < s.size() && space(s[k])) ++k;
        if (k >= s.size() || (s[k] != '"' && s[k] != '\'')) fail("LPX-00202: could not find the attribute's value");
        char q = s[k++];
        std::string v = text(q);
        if (k >= s.size()) fail("LPX-00007: unexpected end-of-file encountered");
        ++k;
        for (const auto& r : raw)
          if (r.first == an) fail("LPX-00204: attribute specified more than once");
        if (an == "xmlns") scope.emplace_back("", v);
        else if (an.rfind("xmlns:", 0) == 0) scope.emplace_back(an.substr(6), v);
        raw.emplace_back(std::move(an), std::move(v));
      }
      el->ns = resolve(el->name, false);
      for (auto& r : raw) {
        if (r.first == "xmlns" || r.first.rfind("xmlns:", 0) == 0) continue; // declarations are no attributes in XPath
        Node* a = doc.make(Node::Attribute);
        a->name = std::move(r.first);
        a->ns = resolve(a->name, true);
        a->value = std::move(r.second);
        a->parent = el;
        el->attrs.push_back(a);
      }
      if (document && top && std::any_of(parent->kids.begin(), parent->kids.end(), [](const Node* n) { return n->kind == Node::Element; }))
        fail("LPX-00245: extra data after end of document");
      parent->kids.push_back(el);
      if (empty) {
        scope.resize(scopeMarks.back());
        scopeMarks.pop_back();
        continue;
      }
      if (static_cast<int>(open.size()) > kMaxDepth) fail("LPX-00001: the document is nested too deeply");
      open.push_back(el);
    }
    if (open.size() > 1) fail("LPX-00007: unexpected end-of-file encountered");
    if (document && std::none_of(doc.root->kids.begin(), doc.root->kids.end(), [](const Node* n) { return n->kind == Node::Element; }))
      fail("LPX-00225: no document element");
  }
};

void write(const Node* n, std::string& out) {
  switch (n->kind) {
  case Node::Document:
    for (const Node* c : n->kids) write(c, out);
    return;
  case Node::Text:
    if (n->cdata) out += "<![CDATA[" + n->value + "]]>";
    else out += escape(n->value, false);
    return;
  case Node::Attribute: out += escape(n->value, false); return;
  case Node::Comment: out += "<!--" + n->value + "-->"; return;
  case Node::Pi: out += "<?" + n->name + (n->value.empty() ? "" : " " + n->value) + "?>"; return;
  case Node::Element: break;
  }
  out += "<" + n->name;
  // the declarations the element itself makes (or needs, when it is written on its own)
  const Node* p = n->parent;
  std::string outerNs = p && p->kind == Node::Element ? p->ns : std::string();
  if (n->ns != outerNs && n->name.find(':') == std::string::npos) out += " xmlns=\"" + escape(n->ns, true) + "\"";
  for (const Node* a : n->attrs) out += " " + a->name + "=\"" + escape(a->value, true) + "\"";
  if (n->kids.empty()) {
    out += "/>";
    return;
  }
  out += ">";
  for (const Node* c : n->kids) write(c, out);
  out += "</" + n->name + ">";
}

void collectText(const Node* n, std::string& out) {
  if (n->kind == Node::Text) out += n->value;
  for (const Node* c : n->kids)
    if (c->kind == Node::Text || c->kind == Node::Element) collectText(c, out);
}

void number(Node* n, size_t& next) {
  n->order = next++;
  for (Node* a : n->attrs) a->order = next++;
  for (Node* c : n->kids) number(c, next);
}

} // namespace

Node* Doc::make(Node::Kind k) {
  pool.emplace_back();
  pool.back().kind = k;
  return &pool.back();
}

OraError error(int code, const std::string& detail) {
  static const std::pair<int, const char*> texts[] = {
      {31011, "XML parsing failed"},
      {31013, "Invalid XPATH expression"},
      {19025, "EXTRACTVALUE returns value of only one node"},
      {19114, "XPST0003 - error during parsing the XQuery expression"},
      {19279, "XPTY0004 - XQuery dynamic type mismatch: expected singleton sequence - got multi-item sequence"},
      {19110, "unsupported XQuery expression"},
      {31061, "XDB error: the XML value is too large"},
  };
  OraError e(code, detail);
  for (const auto& [c, t] : texts)
    if (c == code) {
      char head[16];
      std::snprintf(head, sizeof head, "ORA-%05d: ", code);
      e.text = head + std::string(t) + (detail.empty() ? "" : "\n" + detail);
    }
  return e;
}

std::string escape(std::string_view s, bool attribute) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"' && attribute) out += "&quot;";
    else out += c;
  }
  return out;
}

void parse(std::string_view text, Doc& doc, bool document) {
  doc.root = doc.make(Node::Document);
  // a byte order mark before the text is no content
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Reader r{text, 0, doc};
  r.run(document);
  size_t next = 0;
  // numbered without recursion deeper than the reader allowed
  number(doc.root, next);
}

std::string serialize(const Node* n) {
  std::string out;
  write(n, out);
  return out;
}

std::string stringValue(const Node* n) {
  if (n->kind != Node::Element && n->kind != Node::Document) return n->value;
  std::string out;
  collectText(n, out);
  return out;
}

void declareNamespaces(std::string_view decls, Context& cx) {
  // read as the attributes of an element
  Doc d;
  std::string probe = "<x " + std::string(decls) + "/>";
  try {
    parse(probe, d, true);
  } catch (const OraError&) {
    throw error(31013, "the namespace declarations are not well-formed");
  }
  size_t k = 0;
  while (k < decls.size()) {
    while (k < decls.size() && space(decls[k])) ++k;
    size_t eq = decls.find('=', k);
    if (eq == std::string_view::npos) break;
    std::string an(decls.substr(k, eq - k));
    while (!an.empty() && space(an.back())) an.pop_back();
    size_t q = eq + 1;
    while (q < decls.size() && space(decls[q])) ++q;
    if (q >= decls.size()) break;
    char quote = decls[q];
    size_t e = decls.find(quote, q + 1);
    if (e == std::string_view::npos) break;
    std::string v(decls.substr(q + 1, e - q - 1));
    if (an == "xmlns") cx.prefixes[""] = v;
    else if (an.rfind("xmlns:", 0) == 0) cx.prefixes[an.substr(6)] = v;
    k = e + 1;
  }
}

} // namespace ora::xml
