#include "uFonts.h"

#include <QStringList>

namespace {

void Substitute() {
  static const bool done = [] {
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                               {QStringLiteral("IPAGothic"),
                                QStringLiteral("Noto Sans Mono CJK JP"),
                                QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic")});
    QFont::insertSubstitutions(QStringLiteral("Verdana"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("IPAPGothic")});
    return true;
  }();
  (void)done;
}

} // namespace

QFont UiFont(int pixelSize) {
  Substitute();
  QFont f(QStringLiteral("ＭＳ Ｐゴシック"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelSize);
  return f;
}

QFont FixedFont(int pixelSize) {
  Substitute();
  QFont f(QStringLiteral("ＭＳ ゴシック"));
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  f.setPixelSize(pixelSize);
  return f;
}

QFont VerdanaFont(int pixelSize, bool bold, bool italic) {
  Substitute();
  QFont f(QStringLiteral("Verdana"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(italic);
  return f;
}
