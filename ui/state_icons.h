#pragma once

#include <QIcon>
#include <QString>

namespace morvel {

// An icon drawn from one of the program's SVG files (":/morvel/icons/NAME.svg") at the usual
// sizes and at twice them, so that it stays sharp on high-density screens.
QIcon svgIcon(const QString& name);

}  // namespace morvel
