// Prints a result grid: its columns at their widths (narrowed together when the page is too
// narrow for them), the title row at the top of every page, and every data row.
#pragma once

class QPrinter;
class TStringGridEx;

// False when the printer could not be started.
bool PrintGrid(const TStringGridEx& grid, QPrinter& printer);
