// The Windows fonts the forms are designed with, mapped onto what this platform has.
#pragma once
#include <QFont>

// "ＭＳ Ｐゴシック": the proportional Japanese UI font.
QFont UiFont(int pixelSize);
// "ＭＳ ゴシック" / "FixedSys": a fixed-pitch font with Japanese glyphs.
QFont FixedFont(int pixelSize);
// "Verdana", the Latin display font of the splash and version windows.
QFont VerdanaFont(int pixelSize, bool bold = false, bool italic = false);
