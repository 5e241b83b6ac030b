#include "uPlusDir.h"

TfPlusDir::TfPlusDir(QWidget* parent) : QDialog(parent) {}
