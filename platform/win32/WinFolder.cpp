#include "platform/win32/WinFolder.h"

#include "platform/win32/WinHandles.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

// The security descriptor of an open handle, freed with it.
class TSecurity
{
public:
    explicit TSecurity(HANDLE aHandle)
    {
        FOk = GetSecurityInfo(aHandle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &FOwner, nullptr, &FDacl, nullptr, &FDescriptor)
              == ERROR_SUCCESS;
    }
    ~TSecurity() { LocalFree(FDescriptor); }
    TSecurity(const TSecurity &) = delete;
    TSecurity &operator=(const TSecurity &) = delete;

    bool Ok() const { return FOk && FOwner; }
    PSID Owner() const { return FOwner; }
    PACL Dacl() const { return FDacl; }

private:
    bool FOk = false;
    PSID FOwner = nullptr;
    PACL FDacl = nullptr;
    PSECURITY_DESCRIPTOR FDescriptor = nullptr;
};

bool SameSid(PSID aSid, WELL_KNOWN_SID_TYPE aType)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(aType, nullptr, buffer, &size) && EqualSid(aSid, buffer);
}

bool IsCurrentUser(PSID aSid)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const THandle owned(token);
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        return false;
    return EqualSid(aSid, reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid);
}

bool IsInstaller(PSID aSid)
{
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer))
        return false;
    const bool same = EqualSid(aSid, installer);
    LocalFree(installer);
    return same;
}

bool Trusted(PSID aSid)
{
    return IsCurrentUser(aSid) || SameSid(aSid, WinBuiltinAdministratorsSid) || SameSid(aSid, WinLocalSystemSid)
           || IsInstaller(aSid);
}

std::wstring SidName(PSID aSid)
{
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (LookupAccountSidW(nullptr, aSid, name, &nameSize, domain, &domainSize, &use))
        return domainSize > 0 && domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    wchar_t *text = nullptr;
    std::wstring result = L"?";
    if (ConvertSidToStringSidW(aSid, &text)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

// Rights that let another account replace what the object holds or is:
// on a parent, renaming or deleting its entries and changing its rights;
// on the object itself, also writing into it.
constexpr ACCESS_MASK KParentRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr ACCESS_MASK KOwnRights = KParentRights | FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE;

// An allowed right that reaches another account; a missing list gives all
// rights to everyone.
bool OthersMay(const TSecurity &aSecurity, ACCESS_MASK aRights)
{
    const PACL dacl = aSecurity.Dacl();
    if (!dacl)
        return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            continue;
        const auto *header = static_cast<ACE_HEADER *>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        PSID sid = const_cast<DWORD *>(&allowed->SidStart);
        if ((allowed->Mask & aRights) && !Trusted(sid) && !SameSid(sid, WinCreatorOwnerSid))
            return true;
    }
    return false;
}

HANDLE OpenNoFollow(const std::wstring &aPath)
{
    const DWORD access = FILE_READ_ATTRIBUTES | READ_CONTROL;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = CreateFileW(aPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                flags, nullptr);
    // Someone else holds it with delete access: opened all the same, the
    // checks still apply.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        handle = CreateFileW(aPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, flags, nullptr);
    return handle;
}

TWinFolderEntry Describe(HANDLE aHandle, bool aLast)
{
    TWinFolderEntry entry;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(aHandle, &info)) {
        entry.Kind = TWinFolderEntry::Unknown;
        entry.Error = WinSystemMessage(GetLastError());
        return entry;
    }
    entry.Kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? TWinFolderEntry::Link
                 : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? TWinFolderEntry::Folder
                                                                        : TWinFolderEntry::File;
    // A file system without owners (FAT) says nothing: nothing to refuse.
    const TSecurity security(aHandle);
    if (security.Ok()) {
        entry.Owner = SidName(security.Owner());
        entry.Foreign = !Trusted(security.Owner());
        entry.OthersWrite = OthersMay(security, aLast ? KOwnRights : KParentRights);
    }
    return entry;
}

} // namespace

std::wstring WinOpenFolder(const std::wstring &aFolder, bool aPrivate, std::vector<void *> &aHandles, bool &aMissing)
{
    aMissing = false;
    std::wstring path = WinFullPath(aFolder);
    if (path.empty())
        return L"chemin refusé par le système : \"" + aFolder + L"\"";
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    // The drive "C:\" or the share "\\server\share\" comes first, then one
    // component after each separator.
    std::wstring::size_type at = 0;
    if (path.size() >= 3 && path[1] == L':') {
        at = 3;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        at = path.find(L'\\', 2);
        at = at == std::wstring::npos ? path.size() : path.find(L'\\', at + 1);
        at = at == std::wstring::npos ? path.size() : at + 1;
    }
    std::vector<std::wstring> prefixes{path.substr(0, at)};
    while (at < path.size()) {
        std::wstring::size_type next = path.find_first_of(L"\\/", at);
        if (next == std::wstring::npos)
            next = path.size();
        if (next > at)
            prefixes.push_back(path.substr(0, next));
        at = next + 1;
    }
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        const std::wstring &reached = prefixes[i];
        const bool last = i + 1 == prefixes.size();
        const HANDLE handle = OpenNoFollow(reached);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            aMissing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            return L"le dossier \"" + reached + L"\" " + (aMissing ? L"n'existe pas" : WinSystemMessage(error));
        }
        aHandles.push_back(handle);
        const TWinFolderEntry entry = Describe(handle, last);
        if (entry.Kind == TWinFolderEntry::Unknown)
            return L"le dossier \"" + reached + L"\" : " + entry.Error;
        if (entry.Kind == TWinFolderEntry::Link)
            return L"\"" + reached + L"\" est un lien (point d'analyse) : donnez le chemin réel du dossier, aucun "
                                     L"lien n'est suivi";
        if (entry.Kind != TWinFolderEntry::Folder)
            return L"\"" + reached + L"\" n'est pas un dossier";
        if (entry.Foreign)
            return L"le dossier \"" + reached + L"\" appartient au compte « " + entry.Owner
                   + L" » : un autre compte que celui-ci et les administrateurs pourrait y remplacer des fichiers";
        if (aPrivate && entry.OthersWrite)
            return L"le dossier \"" + reached + L"\" (propriétaire « " + entry.Owner
                   + L" ») peut être modifié par un autre compte : ses fichiers pourraient être remplacés";
    }
    return {};
}

void WinCloseFolder(std::vector<void *> &aHandles)
{
    for (void *handle : aHandles)
        CloseHandle(static_cast<HANDLE>(handle));
    aHandles.clear();
}

TWinFolderEntry WinEntry(const std::wstring &aPath)
{
    const HANDLE handle = OpenNoFollow(aPath);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        TWinFolderEntry entry;
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            entry.Kind = TWinFolderEntry::Unknown;
            entry.Error = WinSystemMessage(error);
        }
        return entry;
    }
    const THandle owned(handle);
    return Describe(handle, true);
}
