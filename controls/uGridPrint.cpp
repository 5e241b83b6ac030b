#include "uGridPrint.h"

#include "StringGridEx.h"

#include <QPainter>
#include <QPrinter>
#include <vector>

namespace {

Qt::Alignment HAlign(const TGridColumn* column) {
  switch (column ? column->Alignment() : taLeftJustify) {
  case taRightJustify:
    return Qt::AlignRight;
  case taCenter:
    return Qt::AlignHCenter;
  default:
    return Qt::AlignLeft;
  }
}

} // namespace

bool PrintGrid(const TStringGridEx& grid, QPrinter& printer) {
  QPainter p;
  if (!p.begin(&printer))
    return false;
  // Drawn in the grid's own pixels, scaled to the printer's resolution.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double dpiScale = printer.resolution() / 96.0;
  std::vector<int> widths;
  int total = 0;
  for (int c = 0; c < grid.ColCount(); ++c) {
    widths.push_back(grid.ColWidths(c));
    total += widths.back();
  }
  const double pageWidth = page.width() / dpiScale;
  const double fit = total > pageWidth && total > 0 ? pageWidth / total : 1.0;
  p.scale(dpiScale * fit, dpiScale * fit);
  const int rowHeight = grid.DefaultRowHeight();
  const double pageHeight = page.height() / (dpiScale * fit);
  const int rowsPerPage = std::max(2, static_cast<int>(pageHeight / rowHeight));
  p.setFont(grid.font());

  const auto drawRow = [&](int row, int y, bool title) {
    int x = 0;
    for (int c = 0; c < grid.ColCount(); ++c) {
      const QRect cell(x, y, widths[static_cast<size_t>(c)], rowHeight);
      if (title || c < grid.FixedCols())
        p.fillRect(cell, QColor(230, 230, 230));
      p.setPen(Qt::gray);
      p.drawRect(cell);
      p.setPen(Qt::black);
      const TGridColumn* column = grid.GridColumns()->Items(c);
      QString text = title || c < grid.FixedCols() ? grid.Cells(c, row) : grid.DisplayText(c, row);
      if (title && text.isEmpty() && column)
        text = column->Caption();
      p.drawText(cell.adjusted(2, 2, -2, -2), int(HAlign(column) | Qt::AlignVCenter), text);
      x += widths[static_cast<size_t>(c)];
    }
  };

  const int first = grid.FixedRows();
  int y = 0;
  bool pageHasRows = false;
  for (int r = first; r < grid.RowCount(); ++r) {
    if (!pageHasRows && first > 0) {
      drawRow(0, 0, true);
      y = rowHeight;
    }
    drawRow(r, y, false);
    pageHasRows = true;
    y += rowHeight;
    if (y / rowHeight >= rowsPerPage && r + 1 < grid.RowCount()) {
      printer.newPage();
      pageHasRows = false;
      y = 0;
    }
  }
  if (!pageHasRows && first > 0)
    drawRow(0, 0, true);
  return p.end();
}
