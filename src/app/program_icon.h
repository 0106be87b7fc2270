#pragma once

#include <QIcon>
#include <QImage>

namespace tablora {

// The program's icon as it travels inside the program, read by the program's own PNG reader;
// null when it cannot be read.
QImage ProgramIconPicture();
QIcon ProgramIcon();

}  // namespace tablora
