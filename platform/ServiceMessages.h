#pragma once

// The three texts that GetInfoSurService reports, shared by the Windows and
// POSIX implementations. Standard library only: the Windows side is built
// without Qt.

#include <string>

inline std::wstring ServiceManagerErrorText()
{
    return L"Erreur lors de la connexion au gestionnaire de services.";
}

// The apostrophe is the typographic one (U+2019), as the program always wrote it.
inline std::wstring MissingServiceText(const std::wstring &aServiceName)
{
    return L"Le service \"" + aServiceName + L"\" n\u2019existe pas.";
}

inline std::wstring ServiceConfigErrorText(const std::wstring &aServiceName, const std::wstring &aSystemText)
{
    return L"Erreur lors de la récupération de la configuration du service \"" + aServiceName + L"\". "
           + aSystemText;
}
