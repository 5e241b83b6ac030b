#include "uCrtDummy.h"

TfCrtDummy::TfCrtDummy(QWidget* parent) : QDialog(parent) {}
