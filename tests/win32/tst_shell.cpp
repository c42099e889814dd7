// Elevated run and wait, and the shell copy.
#include "WinTestSupport.h"

#include "platform/win32/WinShell.h"

TEST_SUITE("shell")
{
    TEST_CASE("a program that ends with a failure code was run: true, after its end, with its code")
    {
        const TTempDir dir;
        int pumps = 0;
        std::wstring error = L"pas vide";
        const std::wstring parameters = L"--sortie 3 --attente 600 --fichier \"" + (dir / L"fin du programme.txt") + L"\"";
        unsigned long code = 0;
        CHECK(WinRunAsAndWait(ProgramDir() + L"ivro_test_service.exe", parameters, dir.Path(), true, &error,
                              [&pumps] { ++pumps; }, &code));
        // Its exit code comes back: the callers tell a failure from a success.
        CHECK(code == 3);
        CHECK(ReadBytes(dir / L"fin du programme.txt") == "fini");
        // Once before the first wait, then after each wait of 200 ms.
        CHECK(pumps >= 3);
        CHECK(error == L"pas vide");
    }

    TEST_CASE("a missing program: false at once, with the system's text")
    {
        const TTempDir dir;
        std::wstring error;
        int pumps = 0;
        const ULONGLONG start = GetTickCount64();
        CHECK_FALSE(WinRunAsAndWait(dir / L"absent.exe", L"", L"", false, &error, [&pumps] { ++pumps; }));
        CHECK(GetTickCount64() - start < 2000);
        CHECK(pumps == 0);
        MESSAGE("Wine's text for a missing program: " << Utf8(error));
        CHECK_FALSE(error.empty());
    }

    TEST_CASE("copy: replaces an existing file, creates missing folders, refuses a missing source or a pattern")
    {
        const TTempDir dir;
        const std::string content = "http.port=31415\r\nsync.url=http\\://central\r\n";
        WriteBytes(dir / L"source.properties", content);
        WriteBytes(dir / L"existant.properties", "ancien contenu, plus long que le nouveau ........\r\n");

        CHECK(WinShellCopyFile(dir / L"source.properties", dir / L"existant.properties"));
        CHECK(ReadBytes(dir / L"existant.properties") == content);

        CHECK(WinShellCopyFile(dir / L"source.properties", dir / L"a\\b\\c\\sym.properties"));
        CHECK(ReadBytes(dir / L"a\\b\\c\\sym.properties") == content);

        CHECK_FALSE(WinShellCopyFile(dir / L"absent.properties", dir / L"existant.properties"));
        CHECK_FALSE(WinShellCopyFile(dir / L"*.properties", dir / L"a"));
        CHECK(ReadBytes(dir / L"existant.properties") == content);
    }
}
