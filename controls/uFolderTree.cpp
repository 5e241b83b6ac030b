#include "uFolderTree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>

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
}

void TFolderTreeViewEx::SetSelectedFolder(const QString& path) {
  const QModelIndex index = FModel->index(QDir::cleanPath(path));
  FSetting = true;
  if (index.isValid()) {
    setCurrentIndex(index);
    expand(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
  } else {
    clearSelection();
  }
  FSetting = false;
  FPath = path;
}

void TFolderTreeViewEx::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (!FSetting && current.isValid())
    FPath = FModel->filePath(current);
}
