#include "office/window/Limits.h"

#include "base/Errors.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/InFolder.h"
#include "store/engine/Convert.h"
#include "store/engine/FolderLock.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace varnel::office {

namespace {

QLineEdit* box(QWidget* parent, const char* name, const std::optional<double>& value) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(QStringLiteral("без лимита"));
    if (value)
        edit->setText(QLocale().toString(*value, 'f', 2));
    return edit;
}

// An amount as the operator types it in the program's locale (a decimal comma, spaces between
// thousands) or with a point; blank: none.
std::optional<double> amountIn(const QLineEdit* edit, const QString& title) {
    QString text = edit->text().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    text.remove(QLatin1Char(' ')).remove(QChar(0xa0)).replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw EConvertError(
            QStringLiteral("%1: %2 — не сумма.").arg(title, Quoted(edit->text().trimmed())));
    return value;
}

} // namespace

LimitsDialog::LimitsDialog(const Limits& current, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(QStringLiteral("Лимиты"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Пустое поле — без лимита. Лимиты действуют со "
                                            "следующей ставки на каждой кассе."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    m_minStake = box(this, "EditMinStake", current.minStake);
    m_maxStake = box(this, "EditMaxStake", current.maxStake);
    m_maxPayout = box(this, "EditMaxPayout", current.maxPayout);
    m_maxLiability = box(this, "EditMaxLiability", current.maxLiability);
    m_revokeMinutes = new QLineEdit(this);
    m_revokeMinutes->setObjectName(QStringLiteral("EditRevokeMinutes"));
    m_revokeMinutes->setPlaceholderText(QStringLiteral("кассир не отменяет"));
    if (current.revokeMinutes)
        m_revokeMinutes->setText(QString::number(*current.revokeMinutes));
    form->addRow(QStringLiteral("Наименьшая ставка:"), m_minStake);
    form->addRow(QStringLiteral("Наибольшая ставка:"), m_maxStake);
    form->addRow(QStringLiteral("Наибольшая выплата по одной ставке:"), m_maxPayout);
    form->addRow(QStringLiteral("Наибольшая выплата по исходу события:"), m_maxLiability);
    form->addRow(QStringLiteral("Кассир отменяет ставку в течение, мин:"), m_revokeMinutes);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("Ok"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Limits LimitsDialog::Chosen() const {
    Limits limits;
    limits.minStake = amountIn(m_minStake, QStringLiteral("Наименьшая ставка"));
    limits.maxStake = amountIn(m_maxStake, QStringLiteral("Наибольшая ставка"));
    limits.maxPayout = amountIn(m_maxPayout, QStringLiteral("Наибольшая выплата по одной ставке"));
    limits.maxLiability =
        amountIn(m_maxLiability, QStringLiteral("Наибольшая выплата по исходу события"));
    const QString minutes = m_revokeMinutes->text().trimmed();
    if (!minutes.isEmpty()) {
        bool ok = false;
        const int value = minutes.toInt(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("Время отмены ставки кассиром: %1 — не целое число "
                                               "минут.")
                                    .arg(Quoted(minutes)));
        limits.revokeMinutes = value;
    }
    return limits;
}

QString SetLimitsInFolder(const QString& folder, const Limits& limits) {
    FolderLock lock;
    if (!lock.TryLock(folder))
        return QStringLiteral("Лимиты нельзя изменить, пока с папкой «%1» работает программа "
                              "кассы (или другая копия бэк-офиса). Закройте кассу и повторите.")
            .arg(QDir::toNativeSeparators(folder));
    try {
        const InFolder here(folder);
        TDataModule6 module;
        module.DataModuleCreate();
        module.SetLimits(limits);
    } catch (const EVarnelError& error) {
        return error.message();
    }
    return {};
}

QString SetLimitsOnServer(const QString& conninfo, const Limits& limits) {
    try {
        TDataModule6 module(nullptr, ServerHome(conninfo));
        module.DataModuleCreate();
        module.SetLimits(limits);
    } catch (const EVarnelError& error) {
        return error.message();
    }
    return {};
}

} // namespace varnel::office
