#include "tray/StatusIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

namespace telvane::tray {

namespace {

// Panels ask for 16, 22 or 24 pixels; dialogs and high-density panels for more. Rendering
// each size from the drawing keeps the lines sharp where scaling one bitmap would blur them.
constexpr std::array kSizes{16, 22, 24, 32, 48, 64};

QIcon render(const QString& path) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    QIcon icon;
    for (const int size : kSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon iconFor(std::optional<contracts::StatusIcon> icon) {
    // The pictures carry the numbers of the icons they show.
    return render(icon ? QStringLiteral(":/icons/status-%1.svg").arg(static_cast<int>(*icon))
                       : QStringLiteral(":/icons/telvane.svg"));
}

QIcon applicationIcon() { return iconFor(std::nullopt); }

}  // namespace telvane::tray
