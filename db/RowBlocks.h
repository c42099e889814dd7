#pragma once

// Memory for the rows of a result. A query keeps every row it fetched, in
// blocks of one size; the blocks a query lets go of are kept for the next
// queries of the same thread, since a fresh block costs the kernel a zeroed
// page for every 4 KiB the client writes, as much as fetching the rows.

#include <QByteArray>
#include <QList>

namespace RowBlocks {

// A block's size: rows of up to this many bytes share blocks.
constexpr qsizetype BlockBytes = qsizetype(1) << 20;

// A block of at least aSize bytes, not zeroed: the client writes every
// value it fetches that is not NULL, the layer sets every indicator, and no
// other byte of a row is read.
QByteArray Take(qsizetype aSize);
// Hands aBlocks back (aBlocks is left empty). Kept up to a bound per thread.
void Give(QList<QByteArray> &aBlocks);

} // namespace RowBlocks
