// The cells of a string grid, packed: each row is one record [u16 cell count][per cell: varint
// length, UTF-8 bytes] in a paged arena, never an object per cell. Trailing empty cells are not
// stored. Shared by the program's string grids.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

class TCellStore {
public:
  int Rows() const { return static_cast<int>(FRows.size()); }

  // Empty for a cell that was never set or lies outside the store. Valid until the next change.
  std::string_view Cell(int row, int col) const;

  // Calls f(col, text) for every stored cell of the row.
  template <class F> void ForEach(int row, F f) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(FRows[row]);
    if (!p)
      return;
    const int n = p[0] | (p[1] << 8);
    p += 2;
    for (int i = 0; i < n; ++i) {
      const size_t len = ReadVar(p);
      f(i, std::string_view(reinterpret_cast<const char*>(p), len));
      p += len;
    }
  }

  void Append() { FRows.push_back(nullptr); }
  void Resize(int count);
  void SetRow(int row, const std::string_view* cells, int count);
  void SetCell(int row, int col, std::string_view text);
  // Forgets every cell from column count on.
  void TruncateCols(int count);

  // New row i is old row order[i], or an empty row where order[i] is -1; rows left out go.
  void RearrangeRows(const std::vector<int>& order);
  // The same for the cells of every row: new column i is old column order[i] (-1: empty).
  void RearrangeCols(const std::vector<int>& order);

  size_t Bytes() const { return FUsed + FRows.capacity() * sizeof(char*); }

private:
  static constexpr size_t PageSize = 256 * 1024;

  static size_t ReadVar(const unsigned char*& p) {
    size_t v = 0;
    int shift = 0;
    while (*p & 0x80) {
      v |= size_t(*p++ & 0x7F) << shift;
      shift += 7;
    }
    return v | (size_t(*p++) << shift);
  }
  static size_t VarSize(size_t v);
  static unsigned char* WriteVar(unsigned char* p, size_t v);
  static size_t RecordSize(const char* rec);

  char* Alloc(size_t size);
  // Copies the live rows into fresh pages, so space of replaced and removed rows is returned.
  void Compact();
  void CompactIfSparse();

  std::vector<char*> FRows;
  std::vector<std::unique_ptr<char[]>> FPages;
  char* FCur = nullptr;
  size_t FLeft = 0;
  size_t FUsed = 0; // bytes of all pages
  size_t FLive = 0; // bytes of the records rows point at
};
