// The blue visual theme applied to every window of the program.
#pragma once

#include <QPalette>
#include <QString>

QPalette BlueThemePalette();
QString BlueThemeStyleSheet();
