#include "office/window/Undo.h"

#include "base/Errors.h"
#include "office/books/Format.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/InFolder.h"
#include "store/Tables.h"
#include "store/engine/FolderLock.h"

#include <QDir>
#include <QStringList>

namespace varnel::office {

namespace {

constexpr int kListed = 12;

QString listed(const QStringList& lines) {
    QString text;
    for (qsizetype i = 0; i < lines.size() && i < kListed; ++i)
        text += QStringLiteral("\n   • ") + lines[i];
    if (lines.size() > kListed)
        text += QStringLiteral("\n   … и ещё %1").arg(lines.size() - kListed);
    return text;
}

QString describe(const THistory::UndoPlan& plan, const TDataModule6& module) {
    using namespace fields;
    const TDataSet& h = *module.TableHistory;
    const auto value = [&h](RecordKey at, QLatin1String field) {
        return h.ValueAt(at, h.FieldByName(field));
    };
    QString text = QStringLiteral("Отменить результат события № %1 «%2 — %3» (%4), исход «%5»?\n\n")
                       .arg(plan.number.toString(), plan.kom1.toString(), plan.kom2.toString(),
                            DateText(plan.date.toDate()), plan.winner);
    QStringList bets;
    for (const RecordKey at : plan.bets)
        bets << QStringLiteral("%1: %2 на «%3», к-т %4")
                    .arg(value(at, FIO).toString(), MoneyText(value(at, SUMMA).toReal()),
                         value(at, RESULT).toString(), NumberText(value(at, KOEFICIENT).toReal()));
    text += QStringLiteral("Событие снова станет открытым, и к нему вернутся ставки (%1):")
                .arg(plan.bets.size()) +
            listed(bets);
    if (plan.payouts.isEmpty()) {
        text += QStringLiteral("\n\nВыигрышей к выплате этот результат не создал.");
    } else {
        const TDataSet& money = *module.TableMoney;
        QStringList payouts;
        for (const RecordKey place : plan.payouts)
            payouts << QStringLiteral("%1: %2").arg(
                money.ValueAt(place, money.FieldByName(FIO)).toString(),
                MoneyText(money.ValueAt(place, money.FieldByName(SUMMA)).toReal()));
        text += QStringLiteral("\n\nБудут сняты с выплаты выигрыши (%1) на сумму %2:")
                    .arg(plan.won)
                    .arg(MoneyText(plan.owed)) +
                listed(payouts);
    }
    text += QStringLiteral("\n\nВ историю будет записана отмена. Всё это выполняется целиком или "
                           "не выполняется совсем.");
    return text;
}

} // namespace

namespace {

// The plan told, asked, and carried out by the module over its books.
UndoAttempt undoIn(TDataModule6& module, RecordKey record,
                   const std::function<bool(const QString& question)>& confirm) {
    using Outcome = UndoAttempt::Outcome;
    module.DataModuleCreate();
    const THistory::UndoPlan plan = module.PlanUndo(record);
    if (!confirm(describe(plan, module)))
        return {Outcome::Cancelled, {}};
    module.UndoResult(record);
    return {Outcome::Done, QStringLiteral("Результат события № %1 отменён: событие открыто, ставок "
                                          "возвращено %2, снято с выплаты %3.")
                               .arg(plan.number.toString())
                               .arg(plan.bets.size())
                               .arg(MoneyText(plan.owed))};
}

} // namespace

UndoAttempt UndoResultInFolder(const QString& folder, std::uint32_t record,
                               const std::function<bool(const QString& question)>& confirm) {
    using Outcome = UndoAttempt::Outcome;
    FolderLock lock;
    if (!lock.TryLock(folder))
        return {Outcome::Refused,
                QStringLiteral("Результат нельзя отменить, пока с папкой «%1» работает программа "
                               "кассы (или другая копия бэк-офиса). Закройте кассу и повторите.")
                    .arg(QDir::toNativeSeparators(folder))};
    try {
        const InFolder here(folder);
        TDataModule6 module;
        return undoIn(module, record, confirm);
    } catch (const EVarnelError& error) {
        return {Outcome::Refused, error.message()};
    }
}

UndoAttempt UndoResultOnServer(const QString& conninfo, RecordKey record,
                               const std::function<bool(const QString& question)>& confirm) {
    try {
        TDataModule6 module(nullptr, ServerHome(conninfo));
        return undoIn(module, record, confirm);
    } catch (const EVarnelError& error) {
        return {UndoAttempt::Outcome::Refused, error.message()};
    }
}

} // namespace varnel::office
