// The new file beside its target and the rename over it.
#include "WinTestSupport.h"

#include "platform/win32/WinFile.h"
#include "platform/win32/WinFolder.h"
#include "platform/win32/WinHandles.h"

TEST_SUITE("file")
{
    TEST_CASE("a new file replaces the target whole; an existing name is never opened")
    {
        const TTempDir dir;
        WriteBytes(dir / L"cible.properties", "ancien contenu, plus long que le nouveau\r\n");
        WriteBytes(dir / L"pris.tmp", "à quelqu'un d'autre");
        std::wstring error;
        CHECK(WinCreateNewFile(dir / L"pris.tmp", error) == nullptr);
        CHECK_FALSE(error.empty());
        CHECK(ReadBytes(dir / L"pris.tmp") == "à quelqu'un d'autre");

        void *file = WinCreateNewFile(dir / L"nouveau.tmp", error);
        REQUIRE(file != nullptr);
        const std::string content = "db.password=tidestone\r\n";
        CHECK(WinWriteAll(file, content.data(), content.size(), error));
        CHECK(WinFlushAndClose(file, error));
        CHECK(WinTargetRefusal(dir / L"cible.properties").empty());
        CHECK(WinReplaceWith(dir / L"nouveau.tmp", dir / L"cible.properties", error));
        CHECK(ReadBytes(dir / L"cible.properties") == content);
        CHECK(ReadBytes(dir / L"nouveau.tmp") == "<absent>");
    }

    TEST_CASE("a folder or a link in the target's place is refused")
    {
        const TTempDir dir;
        CHECK(WinTargetRefusal(dir / L"absent.properties").empty());
        CreateDirectoryW((dir / L"dossier").c_str(), nullptr);
        CHECK_FALSE(WinTargetRefusal(dir / L"dossier").empty());
        WriteBytes(dir / L"victime.txt", "intact");
        if (!CreateSymbolicLinkW((dir / L"lien.properties").c_str(), (dir / L"victime.txt").c_str(), 0)) {
            MESSAGE("no symbolic link here: " << Utf8(WinSystemMessage(GetLastError())));
            return;
        }
        // Wine makes a host link that it follows and shows as a plain file.
        const DWORD attributes = GetFileAttributesW((dir / L"lien.properties").c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            MESSAGE("this system does not show the link as a reparse point");
            return;
        }
        CHECK_FALSE(WinTargetRefusal(dir / L"lien.properties").empty());
        CHECK(ReadBytes(dir / L"victime.txt") == "intact");
    }

    TEST_CASE("a folder is opened component by component and held until closed")
    {
        const TTempDir dir;
        CreateDirectoryW((dir / L"p").c_str(), nullptr);
        CreateDirectoryW((dir / L"p\\d").c_str(), nullptr);
        std::vector<void *> handles;
        bool missing = true;
        CHECK(WinOpenFolder(dir / L"p\\d", false, handles, missing) == L"");
        CHECK_FALSE(missing);
        CHECK(handles.size() >= 3);
        // Held without delete sharing: nobody renames a component meanwhile.
        const bool renamed = MoveFileW((dir / L"p").c_str(), (dir / L"q").c_str());
        if (renamed)
            MESSAGE("this system renames a folder held open");
        else
            CHECK(GetLastError() == ERROR_SHARING_VIOLATION);
        WinCloseFolder(handles);
        CHECK(handles.empty());
        if (!renamed)
            CHECK(MoveFileW((dir / L"p").c_str(), (dir / L"q").c_str()));
    }

    TEST_CASE("a missing component, a file in a folder's place and entries are told apart")
    {
        const TTempDir dir;
        WriteBytes(dir / L"fichier", "x");
        std::vector<void *> handles;
        bool missing = false;
        const std::wstring absent = WinOpenFolder(dir / L"absent\\d", false, handles, missing);
        CHECK(missing);
        CHECK(absent.find(L"n'existe pas") != std::wstring::npos);
        WinCloseFolder(handles);
        const std::wstring file = WinOpenFolder(dir / L"fichier\\d", false, handles, missing);
        CHECK_FALSE(file.empty());
        WinCloseFolder(handles);
        CHECK(WinEntry(dir / L"fichier").Kind == TWinFolderEntry::File);
        CHECK(WinEntry(dir / L"absent").Kind == TWinFolderEntry::Absent);
        CHECK(WinEntry(dir.Path().substr(0, dir.Path().size() - 1)).Kind == TWinFolderEntry::Folder);
        CHECK_FALSE(WinEntry(dir / L"fichier").Foreign);
    }
}
