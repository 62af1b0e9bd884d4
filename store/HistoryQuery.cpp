#include "store/HistoryQuery.h"

#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Tables.h"

#include <QMap>

#include <algorithm>
#include <array>
#include <exception>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>

namespace varnel {

namespace {

constexpr std::uint32_t kCheckEvery = 1u << 14;

// Whether a record passes a filter; one whose field cannot be read to tell does not.
template <typename Test> bool passes(Test test) {
    try {
        return test();
    } catch (const EVarnelError&) {
        return false;
    }
}

using Words = std::array<std::uint64_t, 3>;
struct WordsHash {
    std::size_t operator()(const Words& w) const {
        return std::hash<std::uint64_t>()(w[0] * 0x9E3779B97F4A7C15ull ^
                                          w[1] * 0xC2B2AE3D27D4EB4Full ^ w[2]);
    }
};

// The places 0..n−1 of the keys in the order of the keys, equal keys in their places' order.
// Names and amounts come again and again (a year's million records hold some thousands of each):
// the distinct keys are sorted, and the places put in their order by counting. Keys mostly
// distinct are sorted as they are.
template <typename Key, typename Hash>
std::vector<std::uint32_t> orderOf(const std::vector<Key>& keys, Hash hash) {
    const std::size_t n = keys.size();
    std::vector<std::uint32_t> placed(n);
    std::unordered_map<Key, std::uint32_t, Hash> ids(1024, hash);
    std::vector<std::uint32_t> idOf(n);
    std::vector<const Key*> distinct;
    for (std::size_t r = 0; r < n && distinct.size() <= n / 4 + 1024; ++r) {
        const auto [it, added] = ids.try_emplace(keys[r], std::uint32_t(distinct.size()));
        if (added)
            distinct.push_back(&keys[r]);
        idOf[r] = it->second;
    }
    if (distinct.size() > n / 4 + 1024) {
        std::iota(placed.begin(), placed.end(), 0u);
        std::stable_sort(placed.begin(), placed.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
        return placed;
    }
    std::vector<std::uint32_t> order(distinct.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return *distinct[a] < *distinct[b]; });
    std::vector<std::uint32_t> rank(distinct.size()), next(distinct.size() + 1, 0);
    for (std::uint32_t k = 0; k < order.size(); ++k)
        rank[order[k]] = k;
    for (std::size_t r = 0; r < n; ++r)
        ++next[rank[idOf[r]] + 1];
    for (std::size_t k = 1; k < next.size(); ++k)
        next[k] += next[k - 1];
    for (std::size_t r = 0; r < n; ++r)
        placed[next[rank[idOf[r]]]++] = std::uint32_t(r);
    return placed;
}

} // namespace

HistorySortKey HistorySortKeyOf(const Variant& value, HistoryKind kind) {
    if (value.isNull())
        return std::monostate{};
    switch (kind) {
    case HistoryKind::Date:
        return double(value.toDate().toJulianDay());
    case HistoryKind::Money:
    case HistoryKind::Number:
    case HistoryKind::Integer:
        return value.toReal();
    case HistoryKind::Text:
        break;
    }
    return FoldName(value.toString());
}

QList<int> HistoryColumnIndexes(const THistoryFile& file) {
    QList<int> columns;
    for (const HistoryColumn& column : HistoryColumns())
        columns << file.ColumnOf(column.field);
    return columns;
}

QVector<Variant> DecodeHistoryRecord(const THistoryFile& file, const char* record,
                                     const QList<int>& columns) {
    QVector<Variant> values(columns.size());
    for (qsizetype c = 0; c < columns.size(); ++c) {
        if (columns[c] < 0)
            continue;
        Variant value = file.Decode(record, columns[c]);
        if (HistoryColumns()[c].kind == HistoryKind::Integer && !value.isNull())
            value = Variant(value.toInteger());
        values[c] = value;
    }
    return values;
}

QueryResult RunHistoryQuery(const QString& path, std::uint32_t count, const HistoryQuery& query,
                            const std::atomic<bool>& cancel) {
    QueryResult result;
    const HistoryFilter& filter = query.filter;
    if (filter.IsEmpty() && query.sortColumn < 0) {
        result.all = true;
        return result;
    }
    try {
        const THistoryFile file(path);
        count = std::min(count, file.Count());
        HistoryScan scan(file);
        scan.SetDays(filter.from, filter.to);
        scan.SetClient(filter.client);
        scan.SetEvent(filter.event);
        scan.SetSerial(filter.serial);
        std::optional<HistoryScan::Kind> kind;
        if (!filter.kind.isEmpty())
            kind.emplace(scan, filter.kind);
        const HistoryScan::Kind paid(scan, kinds::Paid()), revoked(scan, kinds::Revoked());
        QMap<QString, PaidToClient> paidTo;
        scan.SetOperator(filter.kassir);

        // The sort's key of each row is taken as its record passes, the file read once: the
        // folded text as bytes in its order straight from the record, no text made, its first
        // 24 bytes (which tell most names apart) held in the key itself; a number or a day read
        // off the record's bytes where they are of the plain form; else the decoded value.
        const bool sorting = query.sortColumn >= 0 && query.sortColumn < HistoryColumns().size();
        const HistoryColumn* column = sorting ? &HistoryColumns().at(query.sortColumn) : nullptr;
        const int field = sorting ? file.ColumnOf(column->field) : -1;
        enum class By { Order, Bytes, Number, Decoded };
        std::string key;
        const By by = !sorting                            ? By::Order
                      : column->kind != HistoryKind::Text ? By::Number
                      : field >= 0 && count > 0 && scan.TextKey(scan.Record(0), field, key)
                          ? By::Bytes
                          : By::Decoded;
        std::vector<Words> texts;
        std::vector<bool> longer; // a text key past its first 24 bytes
        std::vector<double> numbers;
        std::vector<HistorySortKey> decodedKeys;
        constexpr double kBlank = -std::numeric_limits<double>::infinity();
        // The decoded value's key: a blank for a field the file lacks or a value that cannot be
        // read (the row says «(не читается)»).
        const auto decodedKey = [&](const char* record) -> HistorySortKey {
            if (field < 0)
                return std::monostate{};
            try {
                return HistorySortKeyOf(file.Decode(record, field), column->kind);
            } catch (const EVarnelError&) {
                return std::monostate{};
            }
        };

        std::vector<std::uint32_t>& rows = result.rows;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (i % kCheckEvery == 0 && cancel.load())
                return result;
            const char* record = scan.Record(i);
            if (record[0] == '*' || !passes([&] { return scan.ClientMatches(record); }))
                continue;
            if (scan.HasClient()) { // every client found, paid or not
                if (!scan.Readable(record)) {
                    ++result.unreadable;
                } else {
                    const QString fio = scan.Value(record, fields::FIO).toString();
                    PaidToClient& to = paidTo[fio];
                    to.fio = fio;
                    if (paid.Is(record)) {
                        to.paid += scan.Amount(record, fields::VYPLATA);
                        ++to.payments;
                    } else if (revoked.Is(record)) {
                        to.refunded += scan.Amount(record, fields::SUMMA);
                        ++to.refunds;
                    }
                }
            }
            if (!passes([&] {
                    return (!kind || kind->Is(record)) && scan.InDays(record) &&
                           scan.EventMatches(record) && scan.SerialMatches(record) &&
                           scan.OperatorMatches(record);
                }))
                continue;
            rows.push_back(i);
            switch (by) {
            case By::Order:
                break;
            case By::Bytes: {
                scan.TextKey(record, field, key);
                Words& words = texts.emplace_back();
                longer.push_back(key.size() > 24);
                for (std::size_t b = 0; b < std::min<std::size_t>(key.size(), 24); ++b)
                    words[b / 8] |= std::uint64_t(static_cast<unsigned char>(key[b]))
                                    << (56 - 8 * (b % 8));
                break;
            }
            case By::Number: {
                double value = kBlank;
                if (field >= 0 && !scan.NumberKey(record, field, value)) {
                    const HistorySortKey decoded = decodedKey(record);
                    const double* number = std::get_if<double>(&decoded);
                    value = number ? *number : kBlank;
                }
                numbers.push_back(value);
                break;
            }
            case By::Decoded:
                decodedKeys.push_back(decodedKey(record));
                break;
            }
        }
        result.paid = paidTo.values();

        const bool descending = query.order == Qt::DescendingOrder;
        // The rows in the order of their places; going down, that order reversed whole: the
        // newest first among equals.
        const auto reorder = [&](std::vector<std::uint32_t> placed) {
            if (descending)
                std::reverse(placed.begin(), placed.end());
            for (std::uint32_t& at : placed)
                at = rows[at];
            rows = std::move(placed);
        };
        switch (by) {
        case By::Order:
            if (descending)
                std::reverse(rows.begin(), rows.end());
            break;
        case By::Bytes: {
            std::vector<std::uint32_t> placed = orderOf(texts, WordsHash());
            // Names alike in their first 24 bytes are sorted again by their whole keys.
            for (std::size_t first = 0; first < placed.size();) {
                std::size_t last = first + 1;
                bool past = longer[placed[first]];
                for (; last < placed.size() && texts[placed[last]] == texts[placed[first]]; ++last)
                    past = past || longer[placed[last]];
                if (past && last - first > 1) {
                    std::vector<std::pair<std::string, std::uint32_t>> whole;
                    for (std::size_t i = first; i < last; ++i) {
                        scan.TextKey(file.Record(rows[placed[i]]), field, key);
                        whole.emplace_back(key, placed[i]);
                    }
                    std::stable_sort(whole.begin(), whole.end(), [](const auto& x, const auto& y) {
                        return x.first < y.first;
                    });
                    for (std::size_t i = first; i < last; ++i)
                        placed[i] = whole[i - first].second;
                }
                first = last;
            }
            reorder(std::move(placed));
            break;
        }
        case By::Number: // the blank before every value
            reorder(orderOf(numbers, std::hash<double>()));
            break;
        case By::Decoded: {
            std::vector<std::uint32_t> placed(rows.size());
            std::iota(placed.begin(), placed.end(), 0u);
            std::stable_sort(placed.begin(), placed.end(), [&](std::uint32_t a, std::uint32_t b) {
                return decodedKeys[a] < decodedKeys[b];
            });
            reorder(std::move(placed));
            break;
        }
        }
    } catch (const EVarnelError& error) {
        result = QueryResult{};
        result.error = error.message();
    } catch (const std::exception& error) {
        result = QueryResult{};
        result.error = QString::fromLocal8Bit(error.what());
    }
    return result;
}

} // namespace varnel
