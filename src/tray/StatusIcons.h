#pragma once
// The pictures of the tray: the application's own icon and the six status icons, drawn from
// the SVG files built into the program at every size a panel may ask for.

#include <QIcon>
#include <optional>

#include "contracts/Status.h"

namespace telvane::tray {

/// The picture of a status icon; of the application itself for none.
QIcon iconFor(std::optional<contracts::StatusIcon> icon);

QIcon applicationIcon();

}  // namespace telvane::tray
