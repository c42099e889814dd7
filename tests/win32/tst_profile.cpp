// The profile functions as the backup registration uses them.
#include "WinTestSupport.h"

#include "platform/win32/WinProfile.h"

TEST_SUITE("profile")
{
    TEST_CASE("a key replaced in place, a missing key and a missing section added")
    {
        const TTempDir dir;
        const std::wstring ini = dir / L"backup.ini";
        WriteBytes(ini, "; sauvegardes\r\n[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\nTIME=900\r\n\r\n[AUTRE]\r\nCLE=valeur\r\n");

        CHECK(WinWriteProfileString(ini, L"shop01", L"time", L"1800"));
        CHECK(WinWriteProfileString(ini, L"SHOP01", L"LASTRESULT", L"0"));
        CHECK(WinWriteProfileString(ini, L"NOUVEAU", L"IBFILE", L"D:\\Bases\\été.fdb"));
        const std::string written = ReadBytes(ini);
        MESSAGE("Wine wrote:\n" << written);
        CHECK(written.find("[SHOP01]\r\nIVROSERVICE=IVRO_SHOP01\r\n") != std::string::npos);
        CHECK(written.find("TIME=1800\r\n") != std::string::npos);
        CHECK(written.find("LASTRESULT=0\r\n") != std::string::npos);
        CHECK(written.find("[AUTRE]\r\nCLE=valeur\r\n") != std::string::npos);
        CHECK(written.find("[NOUVEAU]\r\nIBFILE=D:\\Bases\\\xE9t\xE9.fdb\r\n") != std::string::npos); // Windows-1252
        CHECK(written.find("900") == std::string::npos);
        CHECK(written.find("LASTRESULT") < written.find("[AUTRE]"));
    }

    TEST_CASE("a relative name is a file of the current folder, not of the Windows folder")
    {
        const TTempDir dir;
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        REQUIRE(SetCurrentDirectoryW(dir.Path().c_str()));
        const bool written = WinWriteProfileString(L"relatif.ini", L"S", L"K", L"V");
        SetCurrentDirectoryW(previous);
        CHECK(written);
        CHECK(ReadBytes(dir / L"relatif.ini") == "[S]\r\nK=V\r\n");
    }

    TEST_CASE("a write that the system refuses: false")
    {
        // Held open without sharing by another handle. (A read-only attribute
        // would not do under Wine as root: it maps to Unix modes that root
        // ignores.)
        const TTempDir dir;
        const std::wstring ini = dir / L"verrouille.ini";
        WriteBytes(ini, "[S]\r\nK=V\r\n");
        HANDLE lock = CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(lock != INVALID_HANDLE_VALUE);
        const bool written = WinWriteProfileString(ini, L"S", L"K", L"W");
        CloseHandle(lock);
        CHECK_FALSE(written);
        CHECK(ReadBytes(ini) == "[S]\r\nK=V\r\n");
    }
}
