#pragma once

#include <QIcon>

// The program's two window icons: the main window's (and the taskbar's), and
// the one every dialog, the viewer and the about box share.
QIcon mainIcon();
QIcon dialogIcon();
