// A tree of the file system's folders. Of it the program needs two things: select a folder by
// its path, and the full path of the folder selected.
#pragma once
#include <QString>
#include <QTreeView>

class QFileSystemModel;
class QTimer;

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
  // Selects FPath's folder and brings it into view, as far as the model has read it.
  void ShowPath();

  QFileSystemModel* FModel;
  QString FPath;
  bool FSetting = false;
  // The folders are read and sorted in the background: FPath is shown again a moment after each
  // folder on its way has been read, until the user chooses another folder.
  bool FFollowPath = false;
  QTimer* FShowTimer;
};
