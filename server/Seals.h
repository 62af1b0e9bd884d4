#pragma once

#include "store/Chain.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace varnel {

class ServerConnection;

// The history's chain on a server (layout 8), computed by the server itself, so that no
// client can forge it. A chain built in each commit would put every writer behind one head;
// instead records are sealed in order after they commit, by varnel.seal(): the owner's
// function (security definer, its search path pinned) that takes the records of transactions
// that ended before its snapshot's oldest running one, in the order of their keys, and appends
// them to the chain: no transaction still open can put a record before them. Every operation
// calls it as it starts, unless a sealing ended within the last 20 ms (a call that finds another
// sealing returns at once), and so do the back office and varnel-verify; nothing of ours has to
// be kept running.
//   varnel.seals    link (the record's place in the chain, from 1), key (its history record),
//                   hash, sealed (when); written by the sealer alone, read by every operator
//   varnel.chain    one row: the records sealed, the head's hash, the transactions sealed below,
//                   the books' day of the last digest of a sealing, when it last sealed
//   varnel.digests  the heads written down: at the first sealing of each of the books' days,
//                   and at each day report (varnel.write_digest)
//   varnel.records  every history record by its key, each field as the canonical form takes it
//                   (KOD as its hash): what a checker reads, with the seals
//   varnel.chained  the sealed records in their order with their hashes and fields as above
// Made where missing, its functions defined anew, inside the caller's transaction.
void DefineChain(ServerConnection& server);

// Seals what may be sealed now (in a transaction of its own); the records sealed. Nothing
// when another session is sealing.
std::int64_t SealHistory(ServerConnection& server);
// Writes the head as it stands into varnel.digests, `why` saying what for; the head written.
ChainHead WriteDigest(ServerConnection& server, const QString& why);

// Seals what may be sealed, then checks the chain from `from` (the head of the part checked
// before, or nothing for the whole; the whole against it when it is no longer in the chain)
// against the heads given; `unsealed` the records not yet sealed (of transactions still open).
ChainVerdict CheckServerChain(ServerConnection& server, const QList<ChainHead>& digests,
                              const ChainHead& from = {}, std::int64_t* unsealed = nullptr);

} // namespace varnel
