// The syntax tree of one Oracle SQL statement. Nodes live in the statement's Tree; each keeps the
// byte range of its text, so later passes can report errors where Oracle does.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace ora::sql {

enum class N : uint8_t {
  // expressions
  Num, Str, Null, Bind, DateLit, Name, Star, Neg, Plus, Prior, Not, Arith, Concat, And, Or, Compare,
  IsNull, Like, Between, In, Exists, Call, Case, When, Cast, Trim, Subquery, Row, Over,
  // queries
  Query, Select, Item, Table, Derived, Join, SetOp, Order, With, Cte,
  // statements
  Insert, Update, Assign, Delete, CreateTable, ColumnDef, TypeSpec, Constraint, CreateIndex,
  CreateView, CreateSequence, CreateUser, AlterTable, AlterUser, Drop, Rename, Comment, Grant,
  Truncate, Commit, Rollback, Savepoint, List, Option
};

// Flag bits, meaning by kind.
enum : uint16_t {
  kNegated = 1,     // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL, NOT EXISTS
  kDistinct = 2,    // SELECT DISTINCT, COUNT(DISTINCT x), UNION (without ALL)
  kOuterMark = 4,   // column (+)
  kDesc = 8,        // ORDER BY ... DESC
  kNullsFirst = 16, // NULLS FIRST
  kNullsLast = 32,  // NULLS LAST
  kAny = 64,        // = ANY (...)
  kAll = 128,       // = ALL (...)
  kCallStar = 256,  // COUNT(*)
  kParens = 512,    // written in parentheses
  kOrReplace = 1024,
  kUnique = 2048,   // CREATE UNIQUE INDEX; an identity column (ColumnDef)
  kIdentity = 2048,
  kOver = 4096,     // an analytic call: its last kid is the window (Over)
  kWithin = 8192,   // LISTAGG (...) WITHIN GROUP (ORDER BY ...): the order is the last kid
  kLateral = 16384, // LATERAL (subquery), or the right side of CROSS / OUTER APPLY
};

struct Node {
  N kind = N::Null;
  uint16_t flags = 0;
  uint32_t pos = 0, end = 0; // byte range of the node's text
  std::string text;          // name, operator, literal value, keyword
  std::string alias;         // select item, table or derived table alias
  std::vector<Node*> kids;   // by kind; a slot that is absent holds nullptr

  Node* kid(size_t i) const { return i < kids.size() ? kids[i] : nullptr; }
  bool has(uint16_t f) const { return (flags & f) != 0; }
};

// Owns the nodes of one statement.
class Tree {
public:
  Node* make(N kind, uint32_t pos) {
    nodes_.emplace_back();
    nodes_.back().kind = kind;
    Node* n = &nodes_.back();
    n->pos = n->end = pos;
    return n;
  }
  Node* root = nullptr;

private:
  std::deque<Node> nodes_;
};

// Child slots of the kinds with fixed layouts.
namespace slot {
// Select
constexpr size_t Items = 0, From = 1, Where = 2, GroupBy = 3, Having = 4, StartWith = 5, ConnectBy = 6;
// Query
constexpr size_t Body = 0, OrderBy = 1, With = 2, ForUpdate = 3;
} // namespace slot

} // namespace ora::sql
