// The program's pictures, drawn at run time so the program carries no image files: the emblem,
// the tool-button pictures and the schema tree's images.
#pragma once
#include <QIcon>
#include <QList>
#include <QPixmap>

enum class TToolPicture {
  Connect,
  Disconnect,
  ViewTable,
  NewQuery,
  ViewHistory,
  Property,
  ToTray,
  SqlPlus,
  Version,
};

QPixmap EmblemPicture(int size);
// The emblem at the sizes a window and tray icon need.
QIcon ProgramIcon();
QIcon ToolPicture(TToolPicture kind);
// Tree images by index: 0 closed folder, 1 open folder, 2 the user, 3 a column, 4 an object.
QList<QIcon> TreePictures();
