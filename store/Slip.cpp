#include "store/Slip.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace varnel {

namespace {
constexpr int kCodeDigits = 20; // 2^64 has 20 digits
constexpr int kSerialDigits = 12;

QByteArray hashOf(const QByteArray& salt, const QString& code) {
    return QCryptographicHash::hash(salt + code.toLatin1(), QCryptographicHash::Sha256);
}
} // namespace

QString NewPayoutCode() {
    const quint64 bits = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1").arg(bits, kCodeDigits, 10, QLatin1Char('0'));
}

QString SealPayoutCode(const QString& code) {
    QByteArray salt(8, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 2);
    return QString::fromLatin1(salt.toHex() + '$' + hashOf(salt, code).toHex());
}

bool PayoutCodeMatches(const QString& code, const QString& sealed) {
    const qsizetype mark = sealed.indexOf(QLatin1Char('$'));
    if (mark < 0)
        return false;
    const QByteArray salt = QByteArray::fromHex(sealed.left(mark).toLatin1());
    const QByteArray kept = QByteArray::fromHex(sealed.mid(mark + 1).toLatin1());
    const QByteArray given = hashOf(salt, code);
    if (kept.size() != given.size())
        return false;
    // Every byte compared, whichever differs: the time says nothing of how much was right.
    unsigned char differ = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        differ |= static_cast<unsigned char>(kept[i] ^ given[i]);
    return differ == 0;
}

QString SlipBarcodeText(std::int64_t serial, const QString& code) {
    return QStringLiteral("%1").arg(serial, kSerialDigits, 10, QLatin1Char('0')) + code;
}

std::optional<SlipKey> ReadSlipText(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
        else if (!c.isSpace() && c != QLatin1Char('-'))
            return std::nullopt;
    }
    if (digits.size() <= kCodeDigits || digits.size() > kCodeDigits + 18)
        return std::nullopt;
    bool number = false;
    const qlonglong serial = digits.left(digits.size() - kCodeDigits).toLongLong(&number);
    if (!number || serial <= 0)
        return std::nullopt;
    return SlipKey{serial, digits.right(kCodeDigits)};
}

QString PayoutCodeText(const QString& code) {
    QString grouped;
    for (qsizetype i = 0; i < code.size(); ++i) {
        if (i > 0 && i % 4 == 0)
            grouped += QLatin1Char(' ');
        grouped += code.at(i);
    }
    return grouped;
}

QString SlipPaidMessage(const QString& serial, const QString& when, const QString& by) {
    return QStringLiteral("Выигрыш по квитанции № %1 уже выплачен %2, кассир %3.")
        .arg(serial, when, by);
}

QString SlipLostMessage(const QString& serial) {
    return QStringLiteral("Ставка по квитанции № %1 не выиграла: выплаты по ней нет.").arg(serial);
}

QString SlipOpenMessage(const QString& serial) {
    return QStringLiteral("Результат события ставки по квитанции № %1 ещё не введён: выплаты "
                          "пока нет.")
        .arg(serial);
}

QString SlipRevokedMessage(const QString& serial) {
    return QStringLiteral("Ставка по квитанции № %1 отозвана, ставка возвращена: выплаты по ней "
                          "нет.")
        .arg(serial);
}

QString SlipUnknownMessage() {
    return QStringLiteral("Такой квитанции нет: проверьте номер ставки и код выплаты.");
}

QString UnnamedCashier() {
    return QStringLiteral("не назван");
}

QString SlipRefusal(const SlipCheck& check) {
    const QString serial = QString::number(check.bet.serial);
    switch (check.state) {
    case SlipCheck::State::Owed:
        return {};
    case SlipCheck::State::Paid:
        return SlipPaidMessage(serial, check.paidWhen,
                               check.paidBy.isEmpty() ? UnnamedCashier() : check.paidBy);
    case SlipCheck::State::Lost:
        return SlipLostMessage(serial);
    case SlipCheck::State::Open:
        return SlipOpenMessage(serial);
    case SlipCheck::State::Revoked:
        return SlipRevokedMessage(serial);
    case SlipCheck::State::Unknown:
        break;
    }
    return SlipUnknownMessage();
}

QString NotSlipTextMessage() {
    return QStringLiteral("Это не квитанция: отсканируйте её штрихкод или наберите номер ставки "
                          "и код выплаты (20 цифр).");
}

QString SlipOnlyMessage() {
    return QStringLiteral("Этот выигрыш выплачивается по квитанции. Без квитанции (если клиент "
                          "её потерял) его выплачивает менеджер.");
}

QString WithoutSlipNote() {
    return QStringLiteral("без квитанции");
}

} // namespace varnel
