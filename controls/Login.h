#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class TLogin;
}

namespace varnel {

// The login to the books' server: the operator's name and password, tried on the server at
// «Войти»; a refusal stays in the window with the server's reason, and the login that worked
// is held for every connection of the process (server/Login.h). «Отмена» rejects it.
class TLogin : public QDialog {
    Q_OBJECT
public:
    TLogin(const QString& conninfo, const QString& user, QWidget* parent = nullptr);
    ~TLogin() override;

private:
    void prLogin();
    void ShowReason(const QString& reason);

    QString m_conninfo;
    std::unique_ptr<Ui::TLogin> ui;
};

// Before the program's main window and its books: when the server asks for a password that
// neither ~/.pgpass nor the environment gives, the login window, until the operator is in or
// cancels. False when cancelled: the program then ends, having written nothing.
bool LogInToServer(const QString& conninfo);

} // namespace varnel
