#include "Faults.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace Faults {

namespace {

constexpr Status ArgEnd = 0, ArgGds = 1, ArgString = 2;
constexpr Status NetworkError = 335544721, NetReadError = 335544726;

struct TConfig
{
    std::string Target;
    std::string Mode;
    std::string Witness;
    long DelayMs = 0;
};

const TConfig &config()
{
    static const TConfig c = [] {
        TConfig t;
        if (const char *v = std::getenv("IVROMVT_STANDIN_CIBLE"))
            t.Target = v;
        if (const char *v = std::getenv("IVROMVT_STANDIN_TEMOIN"))
            t.Witness = v;
        if (const char *v = std::getenv("IVROMVT_STANDIN_COMMIT")) {
            t.Mode = v;
            if (t.Mode.rfind("retard:", 0) == 0) {
                t.DelayMs = std::atol(t.Mode.c_str() + 7);
                t.Mode = "retard";
            }
        }
        return t;
    }();
    return c;
}

bool active()
{
    return !config().Target.empty() && !config().Mode.empty();
}

std::mutex gLock;
std::set<Handle> gTargetStatements;
std::set<Handle> gTargetTransactions;
std::map<Handle, Handle> gDatabaseOf; // transaction -> database
std::set<Handle> gCutDatabases;
std::set<Handle> gCutTransactions;
bool gTotal = false;
std::atomic<bool> gFrozen{false};

void networkError(Status *aStatus)
{
    static const char host[] = "localhost";
    aStatus[0] = ArgGds;
    aStatus[1] = NetworkError;
    aStatus[2] = ArgString;
    aStatus[3] = reinterpret_cast<Status>(host);
    aStatus[4] = ArgGds;
    aStatus[5] = NetReadError;
    aStatus[6] = ArgEnd;
}

} // namespace

void Prepared(const Handle *aStatement, const char *aText, unsigned long aLength)
{
    if (!active() || !aStatement)
        return;
    const std::string text(aText, aLength ? aLength : std::strlen(aText));
    const std::lock_guard lock(gLock);
    if (text.compare(0, config().Target.size(), config().Target) == 0)
        gTargetStatements.insert(*aStatement);
    else
        gTargetStatements.erase(*aStatement);
}

void Executed(const Handle *aTransaction, const Handle *aStatement)
{
    if (!active() || !aTransaction || !aStatement)
        return;
    const std::lock_guard lock(gLock);
    if (gTargetStatements.count(*aStatement))
        gTargetTransactions.insert(*aTransaction);
}

void Started(const Handle *aTransaction, const Handle *aDatabase)
{
    if (!active() || !aTransaction || !aDatabase)
        return;
    const std::lock_guard lock(gLock);
    gDatabaseOf[*aTransaction] = *aDatabase;
}

void RolledBack(const Handle *aTransaction)
{
    if (!active() || !aTransaction)
        return;
    const std::lock_guard lock(gLock);
    gTargetTransactions.erase(*aTransaction);
}

bool Commit(Status *aStatus, Handle *aTransaction, Status (*aForward)(Status *, Handle *), Status &aResult)
{
    if (!active() || !aTransaction)
        return false;
    {
        const std::lock_guard lock(gLock);
        if (!gTargetTransactions.erase(*aTransaction))
            return false;
    }
    const TConfig &c = config();
    if (!c.Witness.empty())
        if (FILE *f = std::fopen(c.Witness.c_str(), "w"))
            std::fclose(f);
    if (c.Mode == "gel") {
        gFrozen = true;
        WaitIfFrozen();
    }
    if (c.Mode == "retard") {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.DelayMs));
        return false;
    }
    const Handle transaction = *aTransaction;
    if (c.Mode == "reponse-perdue") {
        Status ignored[20] = {};
        aForward(ignored, aTransaction);
        *aTransaction = transaction; // the client never heard it was done
    }
    const std::lock_guard lock(gLock);
    gCutTransactions.insert(transaction);
    const auto db = gDatabaseOf.find(transaction);
    if (db != gDatabaseOf.end())
        gCutDatabases.insert(db->second);
    gTotal = c.Mode == "coupure-totale";
    networkError(aStatus);
    aResult = aStatus[1];
    return true;
}

bool CutDatabase(Status *aStatus, const Handle *aDatabase)
{
    if (!active() || !aDatabase)
        return false;
    const std::lock_guard lock(gLock);
    if (!gCutDatabases.count(*aDatabase))
        return false;
    networkError(aStatus);
    return true;
}

bool CutTransaction(Status *aStatus, const Handle *aTransaction)
{
    if (!active() || !aTransaction)
        return false;
    const std::lock_guard lock(gLock);
    if (!gCutTransactions.count(*aTransaction))
        return false;
    networkError(aStatus);
    return true;
}

void WaitIfFrozen()
{
    while (gFrozen)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

bool RefuseAttach(Status *aStatus)
{
    if (!active())
        return false;
    const std::lock_guard lock(gLock);
    if (!gTotal)
        return false;
    networkError(aStatus);
    return true;
}

} // namespace Faults
