#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPalette>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>

namespace varnel {

namespace {
// The forms shown and not yet closed, the active one last.
QList<QPointer<TForm>>& shownForms() {
    static QList<QPointer<TForm>> forms;
    return forms;
}
} // namespace

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window) {}

TForm::~TForm() {
    shownForms().removeAll(this);
}

TForm* TForm::ActiveForm() {
    auto& forms = shownForms();
    while (!forms.isEmpty() && !forms.last())
        forms.removeLast();
    return forms.isEmpty() ? nullptr : forms.last().data();
}

void TForm::SetFixedClient() {
    const QSize client = size();
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(client);
}

void TForm::SetIcon(const QString& name) {
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
    setWindowIcon(icon);
}

void TForm::SetColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
    setAutoFillBackground(true);
}

void TForm::SetOuterSize() {
    m_outerSize = size();
}

// The frame is known only once the window manager has framed the window: the client is
// fitted then, once, and the window centred again.
void TForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    const QSize margins = frameGeometry().size() - size();
    if (m_outerSize.isEmpty() || margins.isNull())
        return;
    resize(m_outerSize - margins);
    m_outerSize = QSize();
    Centre();
}

void TForm::Centre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void TForm::Appear() {
    shownForms().removeAll(this);
    shownForms().append(this);
    emit OnShow();
    Centre();
    show();
    raise();
    activateWindow();
    emit OnActivate();
}

void TForm::Show() {
    Appear();
}

int TForm::ShowModal() {
    if (m_loop)
        return 0; // already showing modally
    QPointer<TForm> caller = ActiveForm();
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    m_loop = &loop;
    {
        // Whatever a handler of the showing throws, the window is not left "showing" for good.
        const auto done = qScopeGuard([this] { m_loop = nullptr; });
        Appear();
        if (isVisible())
            loop.exec(QEventLoop::DialogExec);
    }
    // The window that showed this one is the active one again.
    if (caller && caller->isVisible() && ActiveForm() == caller) {
        caller->activateWindow();
        emit caller->OnActivate();
    }
    return 0;
}

void TForm::Close() {
    if (m_closing)
        return;
    m_closing = true;
    emit OnClose();
    m_closing = false;
    hide();
    shownForms().removeAll(this);
    if (m_loop)
        m_loop->quit();
}

void TForm::closeEvent(QCloseEvent* event) {
    // The title bar's close box: the same close as Close(), so OnClose runs once.
    if (isVisible() && !m_closing) {
        Close();
    }
    event->accept();
}

void TForm::keyPressEvent(QKeyEvent* event) {
    // Escape does not close a window here; only its own buttons and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace varnel
