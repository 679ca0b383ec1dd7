// The program's window icon.
#pragma once

#include <QIcon>

// A 16 x 16 picture of a database drum with a check mark, drawn in code.
QIcon AppIcon();
