#include "controls/Login.h"

#include "base/Report.h"
#include "server/Connection.h"
#include "server/Login.h"

#include "ui_Login.h"

#include <QApplication>

namespace varnel {

namespace {

// The busy cursor while the server is asked, however the asking ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

TLogin::TLogin(const QString& conninfo, const QString& user, QWidget* parent)
    : QDialog(parent), m_conninfo(conninfo), ui(new Ui::TLogin) {
    ui->setupUi(this);
    ui->LabelServer->setText(
        QStringLiteral("Сервер книг «%1» просит пароль.").arg(DescribeServer(conninfo)));
    ui->EditOperator->setText(user);
    ui->LabelReason->hide();
    (user.isEmpty() ? ui->EditOperator : ui->EditPassword)->setFocus();
    connect(ui->ButtonLogin, &QPushButton::clicked, this, Handler(this, &TLogin::prLogin));
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TLogin::~TLogin() = default;

void TLogin::ShowReason(const QString& reason) {
    ui->LabelReason->setText(reason);
    ui->LabelReason->show();
}

void TLogin::prLogin() {
    const QString user = ui->EditOperator->text().trimmed();
    if (user.isEmpty()) {
        ShowReason(QStringLiteral("Введите имя оператора."));
        ui->EditOperator->setFocus();
        return;
    }
    QString reason;
    {
        const BusyCursor busy;
        reason = LogIn(m_conninfo, user, ui->EditPassword->text());
    }
    if (reason.isEmpty()) {
        ui->EditPassword->clear();
        accept();
        return;
    }
    ShowReason(QStringLiteral("Вход не выполнен: %1").arg(reason));
    ui->EditPassword->clear();
    ui->EditPassword->setFocus();
}

bool LogInToServer(const QString& conninfo) {
    const LoginNeed need = LoginNeeded(conninfo);
    if (!need.password)
        return true;
    TLogin window(conninfo, need.user);
    return window.exec() == QDialog::Accepted;
}

} // namespace varnel
