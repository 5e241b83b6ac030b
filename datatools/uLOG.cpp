#include "uLOG.h"

TfLOG::TfLOG(QWidget* parent) : QDialog(parent) {}
