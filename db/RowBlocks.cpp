#include "db/RowBlocks.h"

namespace RowBlocks {

namespace {

// Enough for a result of a few hundred thousand rows to be fetched again
// without the kernel's help; more stays with the allocator.
constexpr qsizetype KeptBytes = qsizetype(64) << 20;

// Set once the thread's free list is gone: a query destroyed later, in the
// program's last moments, frees its blocks instead of keeping them.
thread_local bool freeBlocksGone = false;

struct TFreeBlocks
{
    QList<QByteArray> Blocks;
    ~TFreeBlocks() { freeBlocksGone = true; }
};

TFreeBlocks &freeBlocks()
{
    thread_local TFreeBlocks blocks;
    return blocks;
}

} // namespace

QByteArray Take(qsizetype aSize)
{
    if (aSize <= BlockBytes && !freeBlocksGone) {
        QList<QByteArray> &kept = freeBlocks().Blocks;
        if (!kept.isEmpty())
            return kept.takeLast();
        return QByteArray(BlockBytes, Qt::Uninitialized);
    }
    return QByteArray(aSize, Qt::Uninitialized);
}

void Give(QList<QByteArray> &aBlocks)
{
    if (freeBlocksGone) {
        aBlocks.clear();
        return;
    }
    QList<QByteArray> &kept = freeBlocks().Blocks;
    for (QByteArray &block : aBlocks)
        // Only blocks of the common size that no one else shares.
        if (block.size() == BlockBytes && block.isDetached() && kept.size() * BlockBytes < KeptBytes)
            kept.append(std::move(block));
    aBlocks.clear();
}

} // namespace RowBlocks
