#include "uSrchStr.h"

TfSearchString::TfSearchString(QWidget* parent) : QDialog(parent) {}
