// XML documents as the XML reading functions see them: a small tree read from the text, and the
// XPath 1.0 paths EXTRACT, EXTRACTVALUE, EXISTSNODE, XMLQUERY and XMLTABLE take over it.
#pragma once
#include "OraError.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ora::xml {

struct Node {
  enum Kind : unsigned char { Document, Element, Attribute, Text, Comment, Pi } kind = Text;
  bool cdata = false;
  bool atomic = false; // XQuery: a text node that stands for an atomic value of a sequence
  std::string name;  // Element, Attribute: as written (prefix:local); Pi: its target
  std::string ns;    // Element, Attribute: the namespace its prefix (or the default) stands for
  std::string value; // Attribute, Text, Comment, Pi: the characters
  std::vector<Node*> kids, attrs;
  Node* parent = nullptr;
  size_t order = 0; // document order
  std::string local() const {
    size_t c = name.find(':');
    return c == std::string::npos ? name : name.substr(c + 1);
  }
};

struct Doc {
  std::deque<Node> pool;
  Node* root = nullptr; // the document node: its kids are the top-level nodes
  Node* make(Node::Kind k);
};

// Reads XML content (any number of top-level nodes); throws ORA-31011 when it is not well-formed.
// A document must have exactly one element at the top.
void parse(std::string_view text, Doc& doc, bool document = false);
// The node as markup; a document node as its kids one after another.
std::string serialize(const Node* n);
// XPath's string-value: the text of all descendant text nodes.
std::string stringValue(const Node* n);

// An XPath value.
struct Value {
  enum Kind : unsigned char { Nodes, String, Number, Boolean } kind = Nodes;
  std::vector<const Node*> nodes;
  std::string s;
  double n = 0;
  bool b = false;
};

// The names a path may use: prefixes and the default namespace, and $variables.
struct Context {
  std::map<std::string, std::string> prefixes; // "" is the default element namespace
  std::map<std::string, const Node*> vars;
  // the nodes an XQuery makes (constructed elements, atomic values): they live as long as the context
  std::shared_ptr<Doc> made = std::make_shared<Doc>();
};

// Reads namespace declarations written as xmlns="..." xmlns:p="..." (EXTRACT's third argument).
void declareNamespaces(std::string_view decls, Context& cx);

struct Expr;
// A compiled path expression; ORA-31013 when the text is not an XPath we read.
struct Path {
  std::shared_ptr<const Expr> root;
};
// With `xquery` it reads XQuery as well: sequences, ranges, FLWOR, if, some/every and element
// constructors.
Path compile(std::string_view text, bool xquery = false);
// Evaluates at a context node (a document's root for an absolute path).
Value evaluate(const Path& p, const Node* context, const Context& cx);

// A sequence's items as markup: adjacent atomic values are separated by a space.
std::string serializeItems(const std::vector<const Node*>& items);

// XPath's string() of a value.
std::string valueText(const Value& v);

// One of the XML errors (ORA-31011, ORA-31013, ORA-19025, ...) with Oracle's text; `detail` is
// added on a line of its own.
OraError error(int code, const std::string& detail = {});
// The characters escaped for element content or an attribute's value.
std::string escape(std::string_view s, bool attribute);

} // namespace ora::xml
