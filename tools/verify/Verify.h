#pragma once

#include <QStringList>

#include <cstdio>

namespace varnel {

// varnel-verify FOLDER | --server CONNINFO [--digest HEAD|FILE ...]: recomputes the history's
// chain and says whether it is whole (its records and head, the head last, in the form
// --digest reads back) or where it is broken and how. Exit status: 0 whole, 1 broken, 2 could
// not read (or a wrong call).
int RunVerify(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace varnel
