#include "office/window/Limits.h"

#include "base/Errors.h"
#include "office/books/Format.h"
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
#include <QPushButton>
#include <QVBoxLayout>

namespace varnel::office {

namespace {

// A row of the form: its box, named for the tests, its title for the label and for what a
// refusal of its text says.
QLineEdit* row(QFormLayout* form, const char* name, const QString& title,
               const QString& placeholder, const QString& text) {
    auto* edit = new QLineEdit(text, form->parentWidget());
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(title);
    edit->setPlaceholderText(placeholder);
    form->addRow(title + QLatin1Char(':'), edit);
    return edit;
}

QString amountText(const std::optional<double>& amount) {
    return amount ? MoneyPlain(*amount) : QString();
}

// A box's text read as the program reads every number typed (Variant::parseNumber: a decimal
// comma or point), spaces between thousands left out, or as a whole number of minutes; blank:
// none. A text that is neither is refused, naming the box.
std::optional<double> amountIn(const QLineEdit* edit) {
    QString text = edit->text().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    try {
        return Variant::parseNumber(text.remove(QLatin1Char(' ')).remove(QChar(0xa0))).toReal();
    } catch (const EConvertError& error) {
        throw EConvertError(edit->accessibleName() + QStringLiteral(": ") + error.message());
    }
}

std::optional<int> minutesIn(const QLineEdit* edit) {
    if (edit->text().trimmed().isEmpty())
        return std::nullopt;
    try {
        return StrToInt(edit->text());
    } catch (const EConvertError& error) {
        throw EConvertError(edit->accessibleName() + QStringLiteral(": ") + error.message());
    }
}

QString heldBy(const QString& folder) {
    return QStringLiteral("Лимиты нельзя изменить, пока с папкой «%1» работает программа кассы "
                          "(или другая копия бэк-офиса).")
        .arg(QDir::toNativeSeparators(folder));
}

} // namespace

LimitsDialog::LimitsDialog(const Limits& current, const QString& held, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(QStringLiteral("Лимиты"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Пустое поле — без лимита. Лимиты действуют со "
                                            "следующей ставки на каждой кассе."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    if (!held.isEmpty()) {
        auto* why = new QLabel(held, this);
        why->setObjectName(QStringLiteral("LimitsHeld"));
        why->setWordWrap(true);
        why->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
        layout->addWidget(why);
    }
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const QString none = QStringLiteral("без лимита");
    m_minStake = row(form, "EditMinStake", QStringLiteral("Наименьшая ставка"), none,
                     amountText(current.minStake));
    m_maxStake = row(form, "EditMaxStake", QStringLiteral("Наибольшая ставка"), none,
                     amountText(current.maxStake));
    m_maxPayout = row(form, "EditMaxPayout", QStringLiteral("Наибольшая выплата по одной ставке"),
                      none, amountText(current.maxPayout));
    m_maxLiability =
        row(form, "EditMaxLiability", QStringLiteral("Наибольшая выплата по исходу события"), none,
            amountText(current.maxLiability));
    m_revokeMinutes =
        row(form, "EditRevokeMinutes", QStringLiteral("Кассир отменяет ставку в течение, мин"),
            QStringLiteral("кассир не отменяет"),
            current.revokeMinutes ? QString::number(*current.revokeMinutes) : QString());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("Ok"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    if (!held.isEmpty()) {
        // Read, never typed into: what was typed would only be refused at «Сохранить».
        for (QLineEdit* edit :
             {m_minStake, m_maxStake, m_maxPayout, m_maxLiability, m_revokeMinutes})
            edit->setReadOnly(true);
        buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Закрыть"));
        buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Limits LimitsDialog::Chosen() const {
    return {amountIn(m_minStake), amountIn(m_maxStake), amountIn(m_maxPayout),
            amountIn(m_maxLiability), minutesIn(m_revokeMinutes)};
}

QString LimitsHeldInFolder(const QString& folder) {
    FolderLock lock;
    if (lock.TryLock(folder))
        return {};
    return heldBy(folder) + QStringLiteral(" Закройте кассу и откройте лимиты снова.");
}

QString SetLimitsInFolder(const QString& folder, const Limits& limits) {
    FolderLock lock;
    if (!lock.TryLock(folder))
        return heldBy(folder) + QStringLiteral(" Закройте кассу и повторите.");
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
