#pragma once

#include <QLabel>

namespace varnel {

// A picture control: shows a bitmap loaded from a file, sized to it unless it stretches
// the bitmap over its own size, and reports clicks.
class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    // Loads a bitmap by a path relative to the working directory. A file that is missing or
    // no picture is an error naming it; the control then keeps what it showed.
    void LoadFromFile(const QString& path);

    void SetStretch(bool stretch);
    bool Stretch() const { return m_stretch; }
    // Whether the control follows the bitmap's size (its width too, unless it is aligned
    // across its parent's width).
    void SetAutoSize(bool autoSize) { m_autoSize = autoSize; }
    void SetAlignTop(bool alignTop) { m_alignTop = alignTop; }
    // The file of the bitmap shown now; empty when none was loaded.
    const QString& LoadedFile() const { return m_file; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_stretch = false;
    bool m_autoSize = true;
    bool m_alignTop = false;
    QString m_file;
};

} // namespace varnel
