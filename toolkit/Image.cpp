#include "toolkit/Image.h"

#include "base/Errors.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPixmap>

namespace varnel {

TImage::TImage(QWidget* parent) : QLabel(parent) {
    setScaledContents(false);
}

void TImage::SetStretch(bool stretch) {
    m_stretch = stretch;
    setScaledContents(stretch);
}

void TImage::LoadFromFile(const QString& path) {
    if (!QFileInfo::exists(path))
        throw EVarnelError(
            QStringLiteral("Не удалось загрузить рисунок «%1»: файла нет.").arg(path));
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw EVarnelError(QStringLiteral("Не удалось загрузить рисунок «%1»: %2.")
                               .arg(path, reader.errorString()));
    const QPixmap pixmap = QPixmap::fromImage(image);
    setPixmap(pixmap);
    m_file = path;
    if (m_autoSize && !m_stretch) {
        const int width = m_alignTop && parentWidget() ? parentWidget()->width() : pixmap.width();
        resize(width, pixmap.height());
    }
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace varnel
