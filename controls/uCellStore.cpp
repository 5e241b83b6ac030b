#include "uCellStore.h"

#include <algorithm>
#include <cstring>
#include <string>

std::string_view TCellStore::Cell(int row, int col) const {
  if (row < 0 || row >= Rows() || col < 0)
    return {};
  const unsigned char* p = reinterpret_cast<const unsigned char*>(FRows[row]);
  if (!p)
    return {};
  const int n = p[0] | (p[1] << 8);
  if (col >= n)
    return {};
  p += 2;
  for (int i = 0;; ++i) {
    const size_t len = ReadVar(p);
    if (i == col)
      return {reinterpret_cast<const char*>(p), len};
    p += len;
  }
}

void TCellStore::Resize(int count) {
  if (count < Rows()) {
    for (int r = count; r < Rows(); ++r)
      FLive -= RecordSize(FRows[r]);
    FRows.resize(count);
    FRows.shrink_to_fit();
    if (FRows.empty() || FLive * 2 < FUsed)
      Compact();
  } else {
    FRows.resize(count, nullptr);
  }
}

void TCellStore::SetRow(int row, const std::string_view* cells, int count) {
  count = std::min(count, 0xFFFF);
  while (count > 0 && cells[count - 1].empty())
    --count;
  size_t size = 2;
  for (int i = 0; i < count; ++i)
    size += VarSize(cells[i].size()) + cells[i].size();
  FLive -= RecordSize(FRows[row]);
  if (count == 0) {
    FRows[row] = nullptr;
    return;
  }
  unsigned char* p = reinterpret_cast<unsigned char*>(Alloc(size));
  FRows[row] = reinterpret_cast<char*>(p);
  FLive += size;
  p[0] = count & 0xFF;
  p[1] = (count >> 8) & 0xFF;
  p += 2;
  for (int i = 0; i < count; ++i) {
    p = WriteVar(p, cells[i].size());
    if (!cells[i].empty())
      std::memcpy(p, cells[i].data(), cells[i].size());
    p += cells[i].size();
  }
  CompactIfSparse();
}

void TCellStore::SetCell(int row, int col, std::string_view text) {
  std::vector<std::string> cells;
  ForEach(row, [&](int, std::string_view t) { cells.emplace_back(t); });
  if (col >= static_cast<int>(cells.size())) {
    if (text.empty())
      return;
    cells.resize(col + 1);
  }
  cells[col] = std::string(text);
  std::vector<std::string_view> views(cells.begin(), cells.end());
  SetRow(row, views.data(), static_cast<int>(views.size()));
}

void TCellStore::TruncateCols(int count) {
  for (char*& rec : FRows) {
    if (!rec)
      continue;
    unsigned char* p = reinterpret_cast<unsigned char*>(rec);
    if ((p[0] | (p[1] << 8)) > count) {
      if (count == 0) {
        FLive -= RecordSize(rec);
        rec = nullptr;
      } else {
        p[0] = count & 0xFF;
        p[1] = (count >> 8) & 0xFF;
      }
    }
  }
}

void TCellStore::RearrangeRows(const std::vector<int>& order) {
  std::vector<char*> rows(order.size(), nullptr);
  FLive = 0;
  for (size_t i = 0; i < order.size(); ++i)
    if (order[i] >= 0 && order[i] < Rows()) {
      rows[i] = FRows[order[i]];
      FLive += RecordSize(rows[i]);
    }
  FRows.swap(rows);
  if (FRows.empty() || FLive * 2 < FUsed)
    Compact();
}

void TCellStore::RearrangeCols(const std::vector<int>& order) {
  std::vector<std::string_view> old, cells(order.size());
  for (int r = 0; r < Rows(); ++r) {
    if (!FRows[r])
      continue;
    old.clear();
    ForEach(r, [&](int, std::string_view t) { old.push_back(t); });
    for (size_t i = 0; i < order.size(); ++i)
      cells[i] = order[i] >= 0 && order[i] < static_cast<int>(old.size()) ? old[order[i]]
                                                                          : std::string_view();
    // The old record stays in its page until SetRow has copied the cells, so the views hold.
    SetRow(r, cells.data(), static_cast<int>(cells.size()));
  }
}

size_t TCellStore::VarSize(size_t v) {
  size_t n = 1;
  while (v >= 0x80) {
    v >>= 7;
    ++n;
  }
  return n;
}

unsigned char* TCellStore::WriteVar(unsigned char* p, size_t v) {
  while (v >= 0x80) {
    *p++ = static_cast<unsigned char>(v | 0x80);
    v >>= 7;
  }
  *p++ = static_cast<unsigned char>(v);
  return p;
}

size_t TCellStore::RecordSize(const char* rec) {
  if (!rec)
    return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(rec);
  const int n = p[0] | (p[1] << 8);
  const unsigned char* q = p + 2;
  for (int i = 0; i < n; ++i)
    q += ReadVar(q);
  return static_cast<size_t>(q - p);
}

char* TCellStore::Alloc(size_t size) {
  if (size > FLeft) {
    const size_t pageSize = std::max(PageSize, size);
    FPages.push_back(std::make_unique<char[]>(pageSize));
    FCur = FPages.back().get();
    FLeft = pageSize;
    FUsed += pageSize;
  }
  char* p = FCur;
  FCur += size;
  FLeft -= size;
  return p;
}

void TCellStore::CompactIfSparse() {
  if (FUsed > (8u << 20) && FLive * 2 < FUsed)
    Compact();
}

void TCellStore::Compact() {
  std::vector<std::unique_ptr<char[]>> old;
  old.swap(FPages);
  FCur = nullptr;
  FLeft = 0;
  FUsed = 0;
  FLive = 0;
  for (char*& rec : FRows) {
    if (!rec)
      continue;
    const size_t size = RecordSize(rec);
    char* p = Alloc(size);
    std::memcpy(p, rec, size);
    rec = p;
    FLive += size;
  }
}
