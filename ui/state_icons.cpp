#include "ui/state_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <mutex>

// The icons are compiled into this static library; its resources are registered by hand, as
// nothing else refers to them and the linker would leave them out.
static void registerIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace morvel {

QIcon svgIcon(const QString& name) {
    static std::once_flag registered;
    std::call_once(registered, registerIconResources);
    QSvgRenderer renderer(QStringLiteral(":/morvel/icons/%1.svg").arg(name));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace morvel
