// Computer name, executable folder, GUID and locale separators.
#include "WinTestSupport.h"

#include "platform/win32/WinMachine.h"

#include <set>

TEST_SUITE("machine")
{
    TEST_CASE("computer name and the program's folder")
    {
        const std::wstring name = WinComputerName();
        MESSAGE("computer name: " << Utf8(name));
        CHECK_FALSE(name.empty());
        wchar_t expected[256] = {};
        DWORD size = 256;
        REQUIRE(GetComputerNameW(expected, &size));
        CHECK(name == expected);

        const std::wstring dir = WinExecutableDir();
        CHECK(dir == ProgramDir());
        CHECK(dir.back() == L'\\');
    }

    TEST_CASE("a GUID: 38 characters, braces, upper-case hexadecimal in 8-4-4-4-12, new each time")
    {
        std::set<std::wstring> seen;
        for (int i = 0; i < 20; ++i) {
            const std::wstring guid = WinNewGuid();
            CAPTURE(Utf8(guid));
            REQUIRE(guid.size() == 38);
            CHECK(guid.front() == L'{');
            CHECK(guid.back() == L'}');
            for (std::size_t at = 1; at < 37; ++at) {
                if (at == 9 || at == 14 || at == 19 || at == 24)
                    CHECK(guid[at] == L'-');
                else
                    CHECK(std::wstring(L"0123456789ABCDEF").find(guid[at]) != std::wstring::npos);
            }
            seen.insert(guid);
        }
        CHECK(seen.size() == 20);
    }

    TEST_CASE("the user's separators")
    {
        MESSAGE("date '" << Utf8(WinDateSeparator()) << "', time '" << Utf8(WinTimeSeparator()) << "', decimal '"
                         << Utf8(WinDecimalSeparator()) << "'");
        CHECK_FALSE(WinDateSeparator().empty());
        CHECK_FALSE(WinTimeSeparator().empty());
        CHECK_FALSE(WinDecimalSeparator().empty());
    }
}
