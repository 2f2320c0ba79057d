#pragma once
// The pictures of the tray: the application's own icon and the six status icons, drawn from
// the SVG files built into the program at every size a panel may ask for.

#include <QIcon>
#include <QString>

namespace telvane::tray {

/// The application icon (index kApplicationIcon) or status icon `index` (1 to 6); a null icon
/// for any other index.
QIcon iconFor(int index);

QIcon applicationIcon();

/// The resource path of the drawing behind `index` (":/icons/status-1.svg" and so on).
QString iconResourcePath(int index);

}  // namespace telvane::tray
