#pragma once

#include <QStringList>

// The tables a trigger script may declare: user tables listed in KTB, but
// not the directory tables themselves, with their replication key (KTB_DATA
// up to its first comma, or all of it when that part comes out empty).
inline QStringList KtbCandidatesSql()
{
    return {
        QStringLiteral("SELECT RDB$RELATION_NAME,"),
        QStringLiteral("    CASE"),
        QStringLiteral("        WHEN F_LEFT(KTB_DATA, F_SUBSTR(',',KTB_DATA))=''"),
        QStringLiteral("            THEN KTB_DATA"),
        QStringLiteral("            ELSE F_LEFT(KTB_DATA, F_SUBSTR(',',KTB_DATA))"),
        QStringLiteral("    END"),
        QStringLiteral(" FROM RDB$RELATIONS"),
        QStringLiteral("            JOIN KTB ON KTB_NAME=RDB$RELATION_NAME"),
        QStringLiteral("            WHERE ((RDB$SYSTEM_FLAG = 0) OR"),
        QStringLiteral("            (RDB$SYSTEM_FLAG IS NULL)) AND"),
        QStringLiteral("            (RDB$VIEW_SOURCE IS NULL)  AND"),
        QStringLiteral("            (RDB$RELATION_NAME!='INVIMGSTK') AND"),
        QStringLiteral("            (RDB$RELATION_NAME NOT IN ('K2','KFLD','KTB'))"),
        QStringLiteral("            ORDER BY RDB$RELATION_NAME"),
    };
}
