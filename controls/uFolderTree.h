// A tree of the file system's folders. Of it the program needs two things: select a folder by
// its path, and the full path of the folder selected.
#pragma once
#include <QString>
#include <QTreeView>

class QFileSystemModel;

class TFolderTreeViewEx : public QTreeView {
  Q_OBJECT
public:
  explicit TFolderTreeViewEx(QWidget* parent = nullptr);

  // Selects the folder and scrolls it into view; the path is kept as given.
  void SetSelectedFolder(const QString& path);
  // The full path of the folder selected: the last path given while the user has chosen no
  // other folder.
  QString SelectedFolder() const { return FPath; }

protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
  QFileSystemModel* FModel;
  QString FPath;
  bool FSetting = false;
};
