#pragma once

// Internal to the database layer: access to the Firebird client library's
// interfaces and the translation of its failures into EDbError.

#include "db/DbError.h"

#include <firebird/Interface.h>

#include <QString>

#include <memory>

namespace FbApi {

Firebird::IMaster *Master();
Firebird::IUtil *Util();
Firebird::IProvider *Provider();

// A fresh status for one call sequence; disposed when it goes out of scope.
class TStatus
{
public:
    TStatus();
    ~TStatus();
    TStatus(const TStatus &) = delete;
    TStatus &operator=(const TStatus &) = delete;

    Firebird::ThrowStatusWrapper *operator&() { return &FWrapper; }

private:
    Firebird::IStatus *FStatus;
    Firebird::ThrowStatusWrapper FWrapper;
};

QString FormatStatus(const Firebird::IStatus *aStatus);
[[noreturn]] void Raise(const Firebird::FbException &aError);

// Releases an interface that was not closed or freed (disposable ones too).
template<class T>
struct TReleaser
{
    void operator()(T *aObject) const
    {
        if (!aObject)
            return;
        if constexpr (requires { aObject->release(); })
            aObject->release();
        else
            aObject->dispose();
    }
};
template<class T>
using TRef = std::unique_ptr<T, TReleaser<T>>;

// Firebird's counting of days starts on 17 November 1858; ours on 30
// December 1899.
constexpr int DayZeroOffset = 15018;

} // namespace FbApi

// Runs a block of client calls and turns a client failure into EDbError.
template<class F>
auto FbGuard(F &&aBody) -> decltype(aBody())
{
    try {
        return aBody();
    } catch (const Firebird::FbException &e) {
        FbApi::Raise(e);
    }
}
