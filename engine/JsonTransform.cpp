// JSON_TRANSFORM's operations on a document tree: each path's targets are found first (a field
// or element, present or not), then the operation acts on them with its ON MISSING / ON EXISTING
// handlers.
#include "JsonFunctions.h"

#include <algorithm>
#include <set>

namespace ora {

namespace {

using json::Step;
using json::Value;

// A place a path targets: a member of an object or an element of an array, there or not.
struct Target {
  Value* parent = nullptr; // nullptr: a step before the last found nothing
  bool field = false;
  size_t index = 0; // the member's or element's position; for a missing field, the end
  std::string key;
  bool exists = false;
  Value& value() const { return field ? parent->values[index] : parent->items[index]; }
};

[[noreturn]] void unsupported(const std::string& path) { throw jsonError(40766, path); }

void collect(Value& node, const std::vector<Step>& steps, size_t i, std::vector<Target>& out) {
  const Step& st = steps[i];
  const bool last = i + 1 == steps.size();
  auto visit = [&](Value& child, Target t) {
    if (last) out.push_back(std::move(t));
    else if (t.exists) collect(child, steps, i + 1, out);
    else out.push_back(Target{});
  };
  switch (st.kind) {
  case Step::Key:
  case Step::AnyKey:
    if (node.kind == Value::Array) { // lax: a field step applies to the array's objects
      for (auto& item : node.items)
        if (item.kind == Value::Object) collect(item, steps, i, out);
      return;
    }
    if (node.kind != Value::Object) return;
    if (st.kind == Step::AnyKey) {
      for (size_t x = 0; x < node.keys.size(); ++x) visit(node.values[x], Target{&node, true, x, node.keys[x], true});
      return;
    } else {
      auto at = std::find(node.keys.begin(), node.keys.end(), st.name);
      size_t x = static_cast<size_t>(at - node.keys.begin());
      bool found = at != node.keys.end();
      Value none;
      visit(found ? node.values[x] : none, Target{&node, true, x, st.name, found});
    }
    return;
  case Step::Elements: {
    if (node.kind != Value::Array) return;
    const int64_t n = static_cast<int64_t>(node.items.size());
    std::vector<int64_t> picks;
    if (st.ranges.empty())
      for (int64_t x = 0; x < n; ++x) picks.push_back(x);
    for (const auto& r : st.ranges) {
      int64_t from = r.fromLast ? n - 1 - r.from : r.from, to = r.toLast ? n - 1 - r.to : r.to;
      for (int64_t x = std::max<int64_t>(from, 0); x <= to; ++x) picks.push_back(x);
    }
    Value none;
    for (int64_t x : picks) {
      bool found = x < n;
      visit(found ? node.items[static_cast<size_t>(x)] : none, Target{&node, false, static_cast<size_t>(x), {}, found});
    }
    return;
  }
  default:
    unsupported("path step");
  }
}

void place(const Target& t, const Value& v, bool insertBefore) {
  if (t.field) {
    if (t.exists) t.value() = v;
    else t.parent->keys.push_back(t.key), t.parent->values.push_back(v);
  } else if (t.exists && !insertBefore) {
    t.value() = v;
  } else if (t.index < t.parent->items.size()) {
    t.parent->items.insert(t.parent->items.begin() + static_cast<long>(t.index), v);
  } else {
    t.parent->items.push_back(v);
  }
}

void erase(const Target& t) {
  if (t.field) {
    t.parent->keys.erase(t.parent->keys.begin() + static_cast<long>(t.index));
    t.parent->values.erase(t.parent->values.begin() + static_cast<long>(t.index));
  } else {
    t.parent->items.erase(t.parent->items.begin() + static_cast<long>(t.index));
  }
}

// Leaves in v only what is kept or leads to it; whether anything of v is kept.
bool prune(Value& v, const std::set<const Value*>& kept) {
  if (kept.count(&v)) return true;
  bool any = false;
  if (v.kind == Value::Object) {
    std::vector<std::string> keys;
    std::vector<Value> values;
    for (size_t x = 0; x < v.keys.size(); ++x)
      if (prune(v.values[x], kept)) keys.push_back(std::move(v.keys[x])), values.push_back(std::move(v.values[x]));
    any = !keys.empty();
    v.keys = std::move(keys);
    v.values = std::move(values);
  } else if (v.kind == Value::Array) {
    std::vector<Value> items;
    for (auto& item : v.items)
      if (prune(item, kept)) items.push_back(std::move(item));
    any = !items.empty();
    v.items = std::move(items);
  }
  return any;
}

void apply(Value& doc, const JsonEdit& e, const std::vector<const JsonEdit*>& keepers) {
  if (e.path.steps.empty()) { // '$', the document itself
    if (e.op == JsonEdit::Set || e.op == JsonEdit::Replace) {
      if (e.value.scalar()) unsupported(e.pathText);
      doc = e.value;
      return;
    }
    if (e.op != JsonEdit::Keep) unsupported(e.pathText);
  }
  if (e.op == JsonEdit::Keep) {
    std::set<const Value*> kept;
    for (const JsonEdit* k : keepers) {
      if (k->path.steps.empty()) return; // keeps everything
      std::vector<Target> ts;
      collect(doc, k->path.steps, 0, ts);
      for (const Target& t : ts)
        if (t.parent && t.exists) kept.insert(&t.value());
    }
    prune(doc, kept);
    return;
  }
  std::vector<Target> ts;
  collect(doc, e.path.steps, 0, ts);
  auto missing = [&](int dflt) {
    int how = e.onMissing ? e.onMissing : dflt;
    if (how == JsonEdit::Error) throw jsonError(40762, e.pathText);
    return how == JsonEdit::Create;
  };
  auto existing = [&](int dflt) {
    int how = e.onExisting ? e.onExisting : dflt;
    if (how == JsonEdit::Error) throw jsonError(40763, e.pathText);
    return how == JsonEdit::Overwrite;
  };
  if (ts.empty()) missing(JsonEdit::Ignore);
  // later places first, so that removing one leaves the positions of the others
  for (auto t = ts.rbegin(); t != ts.rend(); ++t) {
    if (!t->parent) {
      missing(JsonEdit::Ignore);
      continue;
    }
    switch (e.op) {
    case JsonEdit::Remove:
      if (t->exists) erase(*t);
      else missing(JsonEdit::Ignore);
      break;
    case JsonEdit::Rename:
      if (!t->exists || !t->field) missing(JsonEdit::Ignore);
      else t->parent->keys[t->index] = e.name;
      break;
    case JsonEdit::Set:
    case JsonEdit::Replace:
    case JsonEdit::Insert: {
      const bool element = !t->field; // INSERT into an array puts the value before that position
      if (t->exists && !(e.op == JsonEdit::Insert && element)) {
        if (existing(e.op == JsonEdit::Insert ? JsonEdit::Error : JsonEdit::Overwrite)) place(*t, e.value, false);
      } else if (t->exists || missing(e.op == JsonEdit::Replace ? JsonEdit::Ignore : JsonEdit::Create)) {
        place(*t, e.value, e.op == JsonEdit::Insert);
      }
      break;
    }
    case JsonEdit::Append:
      if (!t->exists) {
        if (missing(JsonEdit::Error)) {
          Value a;
          a.kind = Value::Array;
          a.items.push_back(e.value);
          place(*t, a, false);
        }
      } else if (t->value().kind == Value::Array) {
        t->value().items.push_back(e.value);
      } else {
        unsupported(e.pathText); // not an array
      }
      break;
    default:
      unsupported(e.pathText);
    }
  }
}

} // namespace

Value jsonTransform(Value doc, const std::vector<JsonEdit>& edits) {
  for (size_t i = 0; i < edits.size(); ++i) {
    std::vector<const JsonEdit*> keepers;
    if (edits[i].op == JsonEdit::Keep) // one KEEP names all the paths that follow it
      for (size_t k = i; k < edits.size() && (k == i || edits[k].op == JsonEdit::KeepMore); ++k) keepers.push_back(&edits[k]);
    apply(doc, edits[i], keepers);
    if (!keepers.empty()) i += keepers.size() - 1;
  }
  return doc;
}

} // namespace ora
