#pragma once

#include <QString>

#include <initializer_list>
#include <vector>

namespace varnel {

class TTable;

// All or nothing over several tables (the commit protocol; the journal's format and the
// recovery at start are in Journal.h). While a transaction is open, every write that the
// given datasets make (Post, Delete, appends) is held in memory and seen by their own reads;
// Commit writes it all through a journal beside the tables, so that a crash at any instant
// leaves the tables either as they were before the transaction or with all of it. A
// transaction that is not committed (an error was thrown) is rolled back when it goes out of
// scope: the tables, and the datasets' cursors and pending records, are as before it began.
//
//     TTransaction work({DataModule6->TableMoney, DataModule6->TableStavka,
//     DataModule6->TableCompit});
//     ... Insert / Post / Delete as usual ...
//     work.Commit();
class TTransaction {
public:
    TTransaction(std::initializer_list<TTable*> dataSets)
        : TTransaction(std::vector<TTable*>(dataSets)) {}
    explicit TTransaction(const std::vector<TTable*>& dataSets);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    // Makes the work durable. Throws an EDatabaseError when the disk refuses; the work is
    // then rolled back as a whole and the tables are as they were.
    void Commit();
    void Rollback();

private:
    std::vector<TTable*> m_dataSets;
    bool m_open = true;
};

} // namespace varnel
