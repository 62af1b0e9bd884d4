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
        std::optional<HistoryScan::Kind> kind;
        if (!filter.kind.isEmpty())
            kind.emplace(scan, filter.kind);
        const HistoryScan::Kind paid(scan, kinds::Paid()), revoked(scan, kinds::Revoked());
        QMap<QString, PaidToClient> paidTo;
        scan.SetOperator(filter.kassir);

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
                           scan.EventMatches(record) && scan.OperatorMatches(record);
                }))
                continue;
            rows.push_back(i);
        }
        result.paid = paidTo.values();

        const bool descending = query.order == Qt::DescendingOrder;
        if (query.sortColumn < 0 || query.sortColumn >= HistoryColumns().size()) {
            if (descending)
                std::reverse(rows.begin(), rows.end());
            return result;
        }
        const HistoryColumn& column = HistoryColumns().at(query.sortColumn);
        const int field = file.ColumnOf(column.field);
        // Equal keys keep the order of the file, newest first when sorting down: `at` is the
        // row's place in that order.
        const auto before = [&](const auto& a, const auto& b, std::uint32_t atA,
                                std::uint32_t atB) {
            return descending ? (b < a || (!(a < b) && atA > atB))
                              : (a < b || (!(b < a) && atA < atB));
        };
        const auto sortBy = [&](auto& keys) {
            std::vector<std::uint32_t> order(rows.size());
            std::iota(order.begin(), order.end(), 0u);
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return before(keys[a], keys[b], a, b);
            });
            std::vector<std::uint32_t> sorted(rows.size());
            for (std::size_t r = 0; r < order.size(); ++r)
                sorted[r] = rows[order[r]];
            rows = std::move(sorted);
        };
        // Each row's key as `convert` makes it of the record's: `none` for a field the file
        // lacks or a key that cannot be read (the row says «(не читается)»), which sorts as a
        // blank. False when the query was cancelled meanwhile.
        const auto decoded = [&](auto& keys, auto none, auto convert) {
            keys.assign(rows.size(), none);
            for (std::size_t r = 0; r < rows.size(); ++r) {
                if (r % kCheckEvery == 0 && cancel.load())
                    return false;
                if (field < 0)
                    continue;
                try {
                    keys[r] = convert(
                        HistorySortKeyOf(file.Decode(file.Record(rows[r]), field), column.kind));
                } catch (const EVarnelError&) {
                }
            }
            return true;
        };
        std::string probe;
        if (field >= 0 && column.kind == HistoryKind::Text && !rows.empty() &&
            scan.TextKey(file.Record(rows[0]), field, probe)) {
            // The folded text as bytes in its order, straight from the record: no text made.
            // Sorted by its first 24 bytes, which tell most names apart, held in the key itself;
            // names alike that far are sorted again by their whole keys.
            struct Prefixed {
                std::array<std::uint64_t, 3> words{};
                std::uint32_t at = 0;
                bool longer = false;
            };
            std::vector<Prefixed> keys(rows.size());
            std::string key;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                if (r % kCheckEvery == 0 && cancel.load())
                    return result;
                scan.TextKey(file.Record(rows[r]), field, key);
                Prefixed& k = keys[r];
                k.at = std::uint32_t(r);
                k.longer = key.size() > 24;
                for (std::size_t b = 0; b < std::min<std::size_t>(key.size(), 24); ++b)
                    k.words[b / 8] |= std::uint64_t(static_cast<unsigned char>(key[b]))
                                      << (56 - 8 * (b % 8));
            }
            std::sort(keys.begin(), keys.end(), [&](const Prefixed& a, const Prefixed& b) {
                return before(a.words, b.words, a.at, b.at);
            });
            for (std::size_t first = 0; first < keys.size();) {
                std::size_t last = first + 1;
                bool longer = keys[first].longer;
                while (last < keys.size() && keys[last].words == keys[first].words)
                    longer = longer || keys[last++].longer;
                if (longer && last - first > 1) {
                    std::vector<std::pair<std::string, std::uint32_t>> whole;
                    for (std::size_t i = first; i < last; ++i) {
                        scan.TextKey(file.Record(rows[keys[i].at]), field, key);
                        whole.emplace_back(key, keys[i].at);
                    }
                    std::sort(whole.begin(), whole.end(), [&](const auto& a, const auto& b) {
                        return before(a.first, b.first, a.second, b.second);
                    });
                    for (std::size_t i = first; i < last; ++i)
                        keys[i].at = whole[i - first].second;
                }
                first = last;
            }
            std::vector<std::uint32_t> sorted(rows.size());
            for (std::size_t r = 0; r < keys.size(); ++r)
                sorted[r] = rows[keys[r].at];
            rows = std::move(sorted);
        } else if (column.kind != HistoryKind::Text) {
            // A number or a day: the blank before every value.
            std::vector<double> keys;
            if (!decoded(keys, -std::numeric_limits<double>::infinity(),
                         [](const HistorySortKey& key) {
                             const double* value = std::get_if<double>(&key);
                             return value ? *value : -std::numeric_limits<double>::infinity();
                         }))
                return result;
            sortBy(keys);
        } else {
            std::vector<HistorySortKey> keys;
            if (!decoded(keys, HistorySortKey{}, [](HistorySortKey key) { return key; }))
                return result;
            sortBy(keys);
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
