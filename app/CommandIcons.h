// The program's own drawings for the toolbar buttons and the application icon,
// painted in code so that the programs need no image files at run time.
#pragma once

#include <QIcon>
#include <QImage>

// The toolbar picture of a command; an empty icon for a command without a button.
QIcon commandIcon(unsigned id);

// The application icon (window icon, About box).
QIcon applicationIcon();
// The same drawing at `pixels` x `pixels`, for the icon files the desktop shows.
QImage applicationIconImage(int pixels);
