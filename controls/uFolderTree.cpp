#include "uFolderTree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

TFolderTreeViewEx::TFolderTreeViewEx(QWidget* parent) : QTreeView(parent) {
  FModel = new QFileSystemModel(this);
  FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  FModel->setRootPath(QString());
  setModel(FModel);
  // The name only: size, type and date say nothing about a folder here.
  for (int c = 1; c < FModel->columnCount(); ++c)
    hideColumn(c);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FShowTimer = new QTimer(this);
  FShowTimer->setSingleShot(true);
  FShowTimer->setInterval(50);
  connect(FShowTimer, &QTimer::timeout, this, [this] {
    if (FFollowPath)
      ShowPath();
  });
  connect(FModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& dir) {
    if (FFollowPath && QDir::cleanPath(FPath).startsWith(dir))
      FShowTimer->start();
  });
}

void TFolderTreeViewEx::SetSelectedFolder(const QString& path) {
  FPath = path;
  FFollowPath = true;
  ShowPath();
}

void TFolderTreeViewEx::ShowPath() {
  const QModelIndex index = FModel->index(QDir::cleanPath(FPath));
  FSetting = true;
  if (index.isValid()) {
    setCurrentIndex(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    horizontalScrollBar()->setValue(0);
  } else {
    clearSelection();
  }
  FSetting = false;
}

void TFolderTreeViewEx::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (!FSetting && current.isValid()) {
    FPath = FModel->filePath(current);
    FFollowPath = false;
  }
}
