// Compiling and evaluating XPath and XQuery text (XmlPathImpl.h).
#include "XmlPathImpl.h"

namespace ora::xml {

using detail::Compiler;
using detail::Eval;

Path compile(std::string_view text, bool xquery) {
  Compiler c{text};
  c.xq = xquery;
  c.skip();
  if (c.k >= text.size()) throw error(31013);
  Path p;
  p.root = xquery ? c.seq() : c.expr();
  c.skip();
  if (c.k != text.size()) throw error(31013);
  return p;
}

Value evaluate(const Path& p, const Node* context, const Context& cx) {
  Eval ev{cx, {}};
  return ev.eval(*p.root, context, 1, 1);
}

std::string valueText(const Value& v) { return Eval::str(v); }

} // namespace ora::xml
