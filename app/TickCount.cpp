#include "app/TickCount.h"

#include <chrono>

namespace {

std::function<quint32()> &tickSource()
{
    static std::function<quint32()> source;
    return source;
}

} // namespace

quint32 GetTickCount()
{
    if (const auto &source = tickSource())
        return source();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SetTickSource(std::function<quint32()> aSource)
{
    tickSource() = std::move(aSource);
}
