#pragma once

#include <QString>

#include <initializer_list>
#include <memory>

class QObject;

namespace varnel {

class TDataModule6;
class TDataSet;
struct TableDescription;

// The work of one operation of the books: all or nothing over the tables it names. Rolled
// back, the cursors and pending records as they were, unless committed.
class TBooksWork {
public:
    virtual ~TBooksWork() = default;
    // Makes the work durable; throws the error an operator can act on, the work then undone.
    virtual void Commit() = 0;
};

// Where the books live: the working folder's table files (the default), or a server. The data
// module asks its home for its tables, for their opening at start, and for the work of each
// operation; the operations themselves are the module's, the same for every home.
class TBooksHome {
public:
    virtual ~TBooksHome() = default;
    // A table of the books under the cursor, its fields made, not opened.
    virtual TDataSet* MakeTable(QObject* owner, const TableDescription& table) = 0;
    // The module's creation: interrupted work finished, the tables opened, each on its own.
    // Throws one EDatabaseError naming every table that did not open.
    virtual void Open(TDataModule6& books) = 0;
    // Work a crash or a failed write cut off finished, or dropped when it never began.
    virtual void FinishInterruptedWork() = 0;
    virtual std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables) = 0;
};

// The books in the table files of the current directory (the working folder).
std::unique_ptr<TBooksHome> FolderHome();

} // namespace varnel
