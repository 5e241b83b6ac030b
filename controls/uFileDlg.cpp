#include "uFileDlg.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace FileDlg {
namespace {
TFileDlgCapture* ActiveCapture = nullptr;
} // namespace

TFileDlgCapture::TFileDlgCapture() : FPrevious(ActiveCapture) { ActiveCapture = this; }
TFileDlgCapture::~TFileDlgCapture() { ActiveCapture = FPrevious; }

} // namespace FileDlg

TFileDialog::TFileDialog(const QString& name, TKind kind, const QString& filter,
                         const QString& fileName)
    : Name(name), Kind(kind), Filter(filter), FileName(fileName) {}

bool TFileDialog::Execute(QWidget* parent) {
  if (FileDlg::TFileDlgCapture* capture = FileDlg::ActiveCapture) {
    capture->Names << Name;
    capture->Offered << FileName;
    QString answer;
    if (!capture->Answers.empty()) {
      answer = capture->Answers.front();
      capture->Answers.pop_front();
    }
    if (answer.isEmpty())
      return false;
    FileName = answer;
    return true;
  }

  QFileDialog dlg(parent);
  dlg.setObjectName(Name);
  // The toolkit's own dialog, the same on every desktop and reachable by its object name.
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setAcceptMode(Kind == dkSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(Kind == dkSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  const QStringList parts = Filter.split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(u';', u' '));
  if (!filters.isEmpty())
    dlg.setNameFilters(filters);
  static QString lastDir;
  const QFileInfo info(FileName);
  if (!FileName.isEmpty() && info.isAbsolute())
    dlg.setDirectory(info.absolutePath());
  else if (!lastDir.isEmpty())
    dlg.setDirectory(lastDir);
  if (!FileName.isEmpty())
    dlg.selectFile(info.fileName());
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return false;
  FileName = QDir::toNativeSeparators(dlg.selectedFiles().first());
  lastDir = QFileInfo(FileName).absolutePath();
  return true;
}
