// WMI through its COM interfaces, against Wine's WMI provider.
#include "WinTestSupport.h"

#include "platform/win32/WinWmi.h"

namespace {

// The query the environment record sends, exactly as it stands there.
const wchar_t KOSInfosQuery[] =
    L"SELECT BuildNumber, Caption, CSDVersion, CSName, FreePhysicalMemory, "
    L"FreeSpaceInPagingFiles, FreeVirtualMemory,  LastBootUptime, LocalDateTime, "
    L"LastBootUptime, LocalDateTime , Version  FROM Win32_OperatingSystem";

bool IsDecimal(const std::wstring &aText)
{
    return !aText.empty() && aText.find_first_not_of(L"0123456789") == std::wstring::npos;
}

} // namespace

TEST_SUITE("wmi")
{
    TEST_CASE("the operating system, as the environment record asks for it")
    {
        TWinTable table;
        int instances = -1;
        std::wstring error = L"ancien";
        const int properties = WinWmiQuery(L".", L"root\\CIMV2", L"", L"", KOSInfosQuery, table, instances, error);
        CHECK(error == L"");
        REQUIRE(properties > 0);
        CHECK(instances == 1);
        REQUIRE(table.size() == 2);
        CHECK(table[0][0] == L"Instance");
        CHECK(table[1][0] == L"1");
        CHECK(table[0].size() == static_cast<std::size_t>(properties) + 1);
        std::string answer;
        for (std::size_t column = 1; column < table[0].size(); ++column)
            answer += "\n  " + Utf8(table[0][column]) + " = " + Utf8(table[1][column]);
        MESSAGE("Wine's Win32_OperatingSystem:" << answer);
        for (std::size_t column = 1; column < table[0].size(); ++column) {
            CAPTURE(Utf8(table[0][column]));
            if (table[0][column] == L"FreePhysicalMemory" || table[0][column] == L"BuildNumber")
                CHECK(IsDecimal(table[1][column]));
            // yyyymmddHHMMSS.ffffff then the offset: Windows writes it in
            // three digits ("+060"), Wine in two ("+00").
            if (table[0][column] == L"LocalDateTime") {
                const std::wstring &value = table[1][column];
                REQUIRE(value.size() > 22);
                CHECK(IsDecimal(value.substr(0, 14)));
                CHECK(value[14] == L'.');
                CHECK(IsDecimal(value.substr(15, 6)));
                CHECK((value[21] == L'+' || value[21] == L'-'));
            }
        }
    }

    TEST_CASE("a class name lists its instances; a failure gives WMI's text, trimmed")
    {
        TWinTable table;
        int instances = 0;
        std::wstring error;
        CHECK(WinWmiQuery(L"", L"", L"", L"", L"Win32_OperatingSystem", table, instances, error) > 0);
        CHECK(instances == 1);

        CHECK(WinWmiQuery(L".", L"root\\IvroAbsent", L"", L"", L"Win32_OperatingSystem", table, instances, error)
              == -1);
        CHECK(instances == 0);
        CHECK(table.empty());
        MESSAGE("text for a missing namespace: " << Utf8(error));
        REQUIRE_FALSE(error.empty());
        CHECK(error.find_first_of(L" \r\n") != 0);
        CHECK(error.find_last_not_of(L" \r\n") == error.size() - 1);

        // Windows refuses the class; Wine answers with no instance.
        const int missingClass = WinWmiQuery(L".", L"root\\CIMV2", L"", L"", L"SELECT * FROM Ivro_ClasseAbsente",
                                             table, instances, error);
        MESSAGE("a missing class gives " << missingClass << " " << Utf8(error));
        CHECK(missingClass <= 0);
        CHECK(instances == 0);
    }
}
