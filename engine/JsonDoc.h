// JSON documents as the SQL/JSON functions read and write them: a small tree, Oracle's strict
// and lax syntax, and its path language ($.a.b, $.a[0], $.a[*], $."key", $..key, lax/strict).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ora::json {

struct Value {
  enum Kind : uint8_t { Null, False, True, Number, String, Array, Object } kind = Null;
  std::string text;                                   // Number: its numeral; String: its characters
  std::vector<Value> items;       // Array
  std::vector<std::string> keys;  // Object: its members' names and values, in document order
  std::vector<Value> values;
  bool scalar() const { return kind != Array && kind != Object; }
};

// Reads a whole document; false when it is not well-formed. Strict is RFC 8259; lax also takes
// unquoted field names, single-quoted strings, any case of true/false/null and numerals such as
// +1, .5 and 007. With uniqueKeys an object naming a field twice is not well-formed.
bool parse(std::string_view text, Value& out, bool strict, bool uniqueKeys = false);
// The document's text without insignificant white space, or indented by two spaces.
std::string serialize(const Value& v, bool pretty = false);
// A JSON string literal of the text.
std::string quote(std::string_view s);

struct Filter;

struct Step {
  enum Kind : uint8_t { Key, AnyKey, Descendant, Elements, Method, Where } kind = Key;
  std::string name; // Key, Descendant: the field; Method: the item method
  struct Range {
    int64_t from = 0, to = 0;
    bool fromLast = false, toLast = false; // an offset from the last element
  };
  std::vector<Range> ranges; // Elements: empty for [*]
  std::shared_ptr<const Filter> filter; // Where: ?( condition ), of @ the item
};

struct Path {
  bool strict = false;
  std::vector<Step> steps;
  std::vector<std::pair<std::string, Value>> vars; // the PASSING clause's $name values
};

// A filter condition: && and || of comparisons of @ paths with literals or $variables,
// exists(@path) and !( ).
struct Filter {
  enum Kind : uint8_t { Or, And, Not, Exists, Compare } kind = Compare;
  std::vector<Filter> kids;
  std::vector<Step> left, right; // Compare: the @ paths compared (right empty: the literal)
  bool leftLiteral = false, rightLiteral = false;
  Value leftValue, rightValue;
  std::string leftVar, rightVar; // a $variable instead of the literal
  std::string op; // ==, !=, <, <=, >, >=, starts with, has substring, like, like_regex, eq_regex (/i: flag "i")
};

// Compiles a path expression; ORA-40597 when it is not one.
Path compilePath(std::string_view text);
// The values the path selects, in document order. A strict path that steps where the data has
// no such item sets `error` instead of skipping it.
std::vector<Value> evaluate(const Path& p, const Value& root, bool& error);

// The item methods (JsonMethods.cpp): one applied to a value, false when it does not apply;
// whether a method aggregates all the values it is applied to, and that aggregate (false when
// there is none); a string predicate of a filter.
bool itemMethod(const std::string& m, const Value& v, Value& out);
bool aggregateMethod(const std::string& m);
bool aggregate(const std::string& m, const std::vector<Value>& items, Value& out);
bool textPredicate(const std::string& op, const Value& a, const Value& b);
// JSON_EQUAL: the same value, an object's members in any order, numbers by their value.
bool equal(const Value& a, const Value& b);

} // namespace ora::json
