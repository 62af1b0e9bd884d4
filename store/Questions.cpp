#include "store/Questions.h"

#include "store/Tables.h"

#include <climits>

namespace varnel {

const QList<HistoryColumn>& HistoryColumns() {
    using namespace fields;
    using K = HistoryKind;
    static const QList<HistoryColumn> columns = {
        {DEN, "Дата", K::Date},           {VREMYA, "Время", K::Text},
        {VID, "Запись", K::Text},         {NUMBER, "№ события", K::Integer},
        {FIO, "Клиент", K::Text},         {RESULT, "Исход", K::Text},
        {SUMMA, "Ставка", K::Money},      {KOEFICIENT, "К-т ставки", K::Number},
        {VYPLATA, "Выплата", K::Money},   {KOM1, "Команда 1", K::Text},
        {KOM2, "Команда 2", K::Text},     {DATE, "Дата события", K::Date},
        {SERIAL, "№ ставки", K::Integer}, {KOEF_1, "К-т на 1", K::Number},
        {KOEF_2, "К-т на 2", K::Number},  {KOEF_N, "К-т на ничью", K::Number},
        {SUMM_1, "Сумма (1)", K::Money},  {SUMM_2, "Сумма (2)", K::Money},
        {SUMM_N, "Сумма (Н)", K::Money},  {ZAPIS, "Запись в таблице", K::Integer},
        {KASSIR, "Кассир", K::Text}, // blank in a history written before the field was
    };
    return columns;
}

int HistoryColumnOf(QLatin1String field) {
    const QList<HistoryColumn>& columns = HistoryColumns();
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].field == field)
            return i;
    return -1;
}

bool HistoryFilter::IsEmpty() const {
    return !from.isValid() && !to.isValid() && client.trimmed().isEmpty() && !event && !serial &&
           kind.isEmpty() && kassir.isEmpty();
}

void Cash::Add(const Cash& other) {
    stakes += other.stakes;
    won += other.won;
    restored += other.restored;
    paid += other.paid;
    refunded += other.refunded;
    bets += other.bets;
    wins += other.wins;
    restores += other.restores;
    payments += other.payments;
    refunds += other.refunds;
}

QString CashEventLabel(std::int64_t number, const QString& sides) {
    if (number == LLONG_MAX)
        return QStringLiteral("Выплаты по ставкам, принятым до начала истории");
    return sides.isEmpty() ? QStringLiteral("№ %1").arg(number)
                           : QStringLiteral("№ %1  %2").arg(number).arg(sides);
}

} // namespace varnel
