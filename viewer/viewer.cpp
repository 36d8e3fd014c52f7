#include "viewer.h"

Viewer::Viewer(QWidget *parent) : QWidget(parent) { }
