#pragma once

#include <QWidget>

class QEventLoop;

namespace varnel {

// The base of every window. The window events are signals that a form connects to its
// handlers (through Handler(), so an error in a handler lands in the error box):
// - OnCreate once, when TApplication::CreateForm has built the window;
// - OnShow each time it is shown, before it appears;
// - OnActivate each time it becomes the active window of the program: at every showing
//   (after OnShow), and again when a window it showed modally closes. It is fired by the
//   form itself, never by the window manager's focus changes, so it behaves the same on
//   every platform and headless; the error box does not fire it;
// - OnClose when it closes, by Close() or by the title bar's close box.
class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    // Shows the window, centred when it is a centred form, and blocks the caller and the
    // other windows until it closes.
    int ShowModal();
    // Shows the window without blocking (the main window).
    void Show();
    // Fires OnClose, then hides the window and ends ShowModal.
    void Close();

    bool IsModal() const { return m_loop != nullptr; }

    // The form that is active now: the last one shown that has not closed.
    static TForm* ActiveForm();

signals:
    void OnCreate();
    void OnShow();
    void OnActivate();
    void OnClose();

protected:
    // A fixed-size dialog-bordered window, centred on the screen, of the client size its stored
    // description gives (call after setting it up).
    void SetFixedClient();
    // A resizable window whose frame, title bar included, is of the size its stored
    // description gives, once the window manager has framed it; until then its client area is.
    void SetOuterSize();
    // The window's own icon, drawn with the program (images/icons/NAME-SIZE.png, built in).
    void SetIcon(const QString& name);
    // The window's background colour.
    void SetColor(const QColor& color);
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void Centre();
    void Appear();

    QEventLoop* m_loop = nullptr;
    QSize m_outerSize; // to fit once the frame is known; empty when fitted or not wanted
    bool m_closing = false;
};

} // namespace varnel
