#include "uFixedOut.h"

#include "DisplayWidth.h"
#include "OciCompo.h"
#include "uEditor.h"
#include "uFonts.h"
#include "uMain.h"
#include "uMainHost.h"
#include "uMsg.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QStringEncoder>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int StatementSelect = 4;
constexpr int NoDataFound = 1403;

// Decimal text rounded half away from zero to `scale` decimals and given exactly that many.
std::string FixedDecimals(std::string text, int scale) {
  if (scale < 0)
    scale = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative)
    text.erase(0, 1);
  std::string intPart = text.substr(0, text.find('.'));
  std::string decPart = text.find('.') == std::string::npos ? "" : text.substr(text.find('.') + 1);
  if (intPart.empty())
    intPart.assign(1, '0');
  if (static_cast<int>(decPart.size()) > scale) {
    const bool up = decPart[static_cast<size_t>(scale)] >= '5';
    decPart.resize(static_cast<size_t>(scale));
    if (up) {
      std::string digits = intPart + decPart;
      int i = static_cast<int>(digits.size()) - 1;
      for (; i >= 0 && digits[static_cast<size_t>(i)] == '9'; --i)
        digits[static_cast<size_t>(i)] = '0';
      if (i < 0)
        digits.insert(digits.begin(), '1');
      else
        ++digits[static_cast<size_t>(i)];
      intPart = digits.substr(0, digits.size() - decPart.size());
      decPart = digits.substr(intPart.size());
    }
  }
  decPart.resize(static_cast<size_t>(scale), '0');
  const bool zero = intPart.find_first_not_of('0') == std::string::npos &&
                    decPart.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (negative && !zero)
    out.push_back('-');
  out.append(intPart);
  if (scale > 0)
    out.append(1, '.').append(decPart);
  return out;
}

// The text of a number field in the output: declared precision and scale give fixed decimals;
// without a declared precision the exact value is written as it is.
std::string NumberText(const TOraNumberField& f, int row) {
  std::string text = f.GetAsString(row);
  const bool plain = text.find_first_of("eE") == std::string::npos;
  if (f.Precision() <= 0 || f.IsFloat())
    return plain ? text : FormatGeneralFloat(f.GetAsFloat(row));
  if (!plain) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*f", std::max(0, static_cast<int>(f.Scale())),
                  f.GetAsFloat(row));
    text = buf;
  }
  return FixedDecimals(text, f.Scale());
}

std::string OutputLine(TOraCursor& cur, int row, const std::string& dateFormat) {
  std::string line;
  for (int i = 0; i < cur.FieldCount(); ++i) {
    const TCustomOraField* field = cur.Fields(i);
    const auto* f = static_cast<const TOraField*>(field);
    const bool null = field->GetIndicator(row) != 0;
    line += ' ';
    switch (field->FieldKind()) {
    case fkString:
    case fkChar:
      line += PadDisplay(field->GetAsString(row), f->DisplaySize());
      break;
    case fkNumber: {
      const auto* n = static_cast<const TOraNumberField*>(field);
      const int width = n->Precision() > 0 && !n->IsFloat() ? n->Precision() + 2 : f->DisplaySize();
      line += PadDisplay(null ? std::string() : NumberText(*n, row), width, true);
      break;
    }
    case fkDate:
      // A NULL date takes the place of a date, so the columns after it stay in line.
      line += null ? std::string(dateFormat.size(), ' ') : field->GetAsString(row);
      break;
    default:
      line.pop_back(); // raw, long and long raw values are left out
      break;
    }
  }
  return line + "\r\n";
}

} // namespace

TFixedOutResult WriteFixedOutput(TOraSession& session, const std::string& sql,
                                 const QString& fileName) {
  TOraCursor cur;
  cur.SetSession(&session);
  cur.SetNumberOfRows(TOraCursor::MaxRows);
  cur.SQL() = {sql};
  if (!cur.Open() || !cur.ParseQuiet() || cur.StatementType() != StatementSelect) {
    cur.Close();
    return TFixedOutResult::NotQuery;
  }
  bool hasLong = false;
  cur.DescribeFields();
  for (int i = 0; i < cur.FieldCount(); ++i)
    hasLong |= cur.Fields(i)->FieldKind() == fkLong || cur.Fields(i)->FieldKind() == fkLongRaw;
  cur.Exec();

  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    cur.Close();
    return TFixedOutResult::FileError;
  }
  const std::string dateFormat =
      session.DateFormatString.empty() ? ShortDateFormat : session.DateFormatString;
  QStringEncoder encode(QStringConverter::System);
  QByteArray bytes;
  uint32_t previous = 0;
  bool ok = true;
  const auto flush = [&] {
    ok = ok && file.write(bytes) == bytes.size();
    bytes.clear();
  };
  for (;;) {
    // Rows with a LONG column come one at a time; the column itself is left out.
    const bool more = hasLong ? cur.Fetch() : cur.FetchRowsQuiet();
    const uint32_t now = cur.RowsProcessed();
    for (uint32_t k = 0; k < now - previous; ++k)
      bytes += encode(QString::fromStdString(OutputLine(cur, static_cast<int>(k), dateFormat)));
    previous = now;
    if (bytes.size() > (1 << 16))
      flush();
    if (!more || cur.ReturnCode() == NoDataFound)
      break;
  }
  bytes += encode(QStringLiteral("処理件数 ") + QString::number(cur.RowsProcessed()) +
                  QStringLiteral("\r\n"));
  flush();
  cur.Close();
  return ok && file.flush() ? TFixedOutResult::Written : TFixedOutResult::FileError;
}

TfFixedOut::TfFixedOut(TMainHost& host, int editorMode, QWidget* parent)
    : QDialog(parent), FEditorMode(editorMode), FHost(host) {
  setObjectName(QStringLiteral("fFixedOut"));
  setWindowTitle(QStringLiteral("fFixedOut"));
  setWindowFlags(Qt::Window);
  setFont(UiFont(12));
  resize(DesignWidth, DesignHeight);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  mmFixed = new TEditor(this);
  mmFixed->setObjectName(QStringLiteral("mmFixed"));
  mmFixed->setFont(FixedFont(14));
  mmFixed->TabWidth = 8;
  lay->addWidget(mmFixed);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  const auto add = [this](const char* name, const QKeySequence& key, void (TfFixedOut::*slot)()) {
    QAction* a = PopupMenu1->addAction(QString::fromLatin1(name));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  CTRLC1 = add("CTRLC1", QKeySequence(Qt::CTRL | Qt::Key_C), &TfFixedOut::CTRLC1Click);
  CtrlV1 = add("CtrlV1", QKeySequence(Qt::CTRL | Qt::Key_V), &TfFixedOut::CtrlV1Click);
  CtrlX1 = add("CtrlX1", QKeySequence(Qt::CTRL | Qt::Key_X), &TfFixedOut::CtrlX1Click);
  CtrlZ1 = add("CtrlZ1", QKeySequence(Qt::CTRL | Qt::Key_Z), &TfFixedOut::CtrlZ1Click);
}

TfFixedOut::~TfFixedOut() {
  if (!FFileName.isEmpty())
    QFile::remove(FFileName);
}

void TfFixedOut::CTRLC1Click() { mmFixed->CopyToClipboard(); }
void TfFixedOut::CtrlV1Click() { mmFixed->PasteFromClipboard(); }
void TfFixedOut::CtrlX1Click() {
  mmFixed->CopyToClipboard();
  mmFixed->ClearSelection();
}
void TfFixedOut::CtrlZ1Click() { mmFixed->Undo(); }

void TfFixedOut::done(int result) {
  // Every way out (close box, Esc, the output's modal end) passes here once.
  Msg::Guarded([this] { FormClose(); });
  QDialog::done(result);
}

void TfFixedOut::FormClose() {
  if (FEditorMode == 1) {
    // The text goes to the query window active now, which may not be the one that opened us.
    if (TfMain* q = FHost.ActiveQueryWindow()) {
      q->mmSqlStatement->Clear();
      q->mmSqlStatement->SetText(mmFixed->Text());
    }
    deleteLater();
  } else if (!FFileName.isEmpty()) {
    QFile::remove(FFileName);
    FFileName.clear();
  }
}
