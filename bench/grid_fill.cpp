// Fills the result grid with 1,000,000 rows x 5 columns (plus the number column) the way a fetch
// loop does, events pumped every 100 rows, and prints time and memory against the CSV size.
// Usage: grid_fill [rows] [batch|block]   batch = an update block per 1000 rows (default),
// block = one update block around the whole fill, rowcount = SetRowCount per 1000 rows and
// AssignRow without update blocks. Memory is only measured on a fresh grid, so
// run one mode per process.
#include "StringGridEx.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

long RssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      in >> kb;
      return kb;
    }
    in.ignore(1 << 12, '\n');
  }
  return 0;
}

void Row(int r, std::vector<std::string>& cells) {
  cells[0] = std::to_string(r);
  cells[1] = std::to_string(7000 + r % 1000);
  cells[2] = "NAME" + std::to_string(r % 5000);
  cells[3] = std::to_string((r % 100000) * 3) + ".5";
  cells[4] = "2024/05/" + std::to_string(10 + r % 18);
  cells[5] = r % 4 == 0 ? "" : "CLERK";
}

// Fill with BeginUpdate/EndUpdate around every batch; returns the CSV bytes of the data.
size_t Fill(TStringGridEx& grid, int rows, bool oneBlock, bool noBlock) {
  std::vector<std::string> cells(6);
  size_t csv = 0;
  grid.SetRowCount(2);
  if (oneBlock)
    grid.BeginUpdate();
  for (int r = 1; r <= rows; ++r) {
    if (noBlock && r % 1000 == 1)
      grid.SetRowCount(std::min(rows, r + 999) + 1);
    else if (!oneBlock && r % 1000 == 1)
      grid.BeginUpdate();
    Row(r, cells);
    grid.AssignRow(r, cells);
    for (size_t i = 1; i < cells.size(); ++i)
      csv += cells[i].size() + 1;
    if (r % 100 == 0)
      QCoreApplication::processEvents();
    if (!oneBlock && !noBlock && (r % 1000 == 0 || r == rows))
      grid.EndUpdate();
  }
  if (oneBlock)
    grid.EndUpdate();
  return csv;
}

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  TStringGridEx grid;
  grid.resize(800, 600);
  grid.SetColCount(6);
  grid.AssignRow(0, QStringList{"", "ID", "DEPT", "NAME", "SAL", "HIREDATE", "JOB"}.mid(0, 6));
  grid.show();
  app.processEvents();

  {
    const std::string mode = argc > 2 ? argv[2] : "batch";
    const bool oneBlock = mode == "block", noBlock = mode == "rowcount";
    grid.hide();
    grid.SetRowCount(2);
    app.processEvents();
    const long before = RssKb();
    QElapsedTimer t;
    t.start();
    const size_t csv = Fill(grid, rows, oneBlock, noBlock);
    const qint64 fillMs = t.elapsed();
    grid.show();
    grid.FocusCell(1, rows);
    app.processEvents();
    const qint64 shownMs = t.elapsed();
    const long after = RssKb();
    std::printf("%s: %d rows x 5 columns filled in %lld ms (shown at the last row after %lld ms)\n",
                oneBlock  ? "one update block"
                : noBlock ? "SetRowCount per 1000 rows, no update block"
                          : "update block per 1000 rows",
                rows, static_cast<long long>(fillMs), static_cast<long long>(shownMs));
    std::printf("  memory growth %.1f MB for %.1f MB of CSV: ratio %.2f\n",
                (after - before) / 1024.0, csv / 1048576.0,
                (after - before) * 1024.0 / static_cast<double>(csv));
  }
  grid.SetRowCount(2);
  return 0;
}
