#include "platform/win32/WinWmi.h"

#include "platform/win32/WinHandles.h"
#include "platform/win32/WinMachine.h"

#include <oleauto.h>
#include <wbemcli.h>

#include <cstdint>
#include <cwchar>
#include <utility>

namespace {

// Declared here rather than taken from wbemuuid, which the build does not link.
const CLSID KClsidWbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID KIidWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const CLSID KClsidWbemStatusCodeText = {0xeb87e1bd, 0x3233, 0x11d2, {0xae, 0xc9, 0x00, 0xc0, 0x4f, 0xb6, 0x88, 0x20}};
const IID KIidWbemStatusCodeText = {0xeb87e1bc, 0x3233, 0x11d2, {0xae, 0xc9, 0x00, 0xc0, 0x4f, 0xb6, 0x88, 0x20}};

// A failed WMI or COM step; its code becomes the error text once, at the end.
struct TWmiFailure
{
    HRESULT Code;
};

void Check(HRESULT aResult)
{
    if (FAILED(aResult))
        throw TWmiFailure{aResult};
}

// Owns one reference to a COM interface.
template <class T>
class TComPtr
{
public:
    TComPtr() = default;
    TComPtr(TComPtr &&aOther) noexcept : FPtr(std::exchange(aOther.FPtr, nullptr)) {}
    TComPtr &operator=(TComPtr &&aOther) noexcept
    {
        if (this != &aOther) {
            Reset();
            FPtr = std::exchange(aOther.FPtr, nullptr);
        }
        return *this;
    }
    TComPtr(const TComPtr &) = delete;
    TComPtr &operator=(const TComPtr &) = delete;
    ~TComPtr() { Reset(); }

    T *operator->() const { return FPtr; }
    T *Get() const { return FPtr; }
    // Out-parameter of the call that hands over a new reference.
    T **Put()
    {
        Reset();
        return &FPtr;
    }
    void **PutVoid() { return reinterpret_cast<void **>(Put()); }
    void Reset()
    {
        if (FPtr) {
            FPtr->Release();
            FPtr = nullptr;
        }
    }

private:
    T *FPtr = nullptr;
};

std::wstring FromBStr(BSTR aText)
{
    return aText ? std::wstring(aText, SysStringLen(aText)) : std::wstring();
}

std::wstring Trimmed(const std::wstring &aText)
{
    const std::wstring::size_type first = aText.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return {};
    return aText.substr(first, aText.find_last_not_of(L" \t\r\n") - first + 1);
}

// Owns one BSTR, either built from a text or received from a call.
class TBStr
{
public:
    TBStr() = default;
    // An empty text gives a null BSTR: WMI reads a null user and password as
    // "the caller's own identity".
    explicit TBStr(const std::wstring &aText)
    {
        if (aText.empty())
            return;
        FText = SysAllocStringLen(aText.data(), static_cast<UINT>(aText.size()));
        if (!FText)
            throw TWmiFailure{E_OUTOFMEMORY};
    }
    TBStr(const TBStr &) = delete;
    TBStr &operator=(const TBStr &) = delete;
    ~TBStr() { SysFreeString(FText); }

    BSTR Get() const { return FText; }
    BSTR *Put()
    {
        SysFreeString(FText);
        FText = nullptr;
        return &FText;
    }

private:
    BSTR FText = nullptr;
};

class TVariant
{
public:
    TVariant() { VariantInit(&FValue); }
    TVariant(const TVariant &) = delete;
    TVariant &operator=(const TVariant &) = delete;
    ~TVariant() { VariantClear(&FValue); }

    const VARIANT &Get() const { return FValue; }
    VARIANT *Put()
    {
        VariantClear(&FValue);
        return &FValue;
    }

private:
    VARIANT FValue;
};

// With a named user, the proxies must carry the same credentials as the
// connection; without one, the process's own identity is used.
class TAuthIdentity
{
public:
    TAuthIdentity(const std::wstring &aUser, const std::wstring &aPassword)
    {
        if (aUser.empty())
            return;
        const std::wstring::size_type slash = aUser.find(L'\\');
        FDomain = slash == std::wstring::npos ? std::wstring() : aUser.substr(0, slash);
        FUser = slash == std::wstring::npos ? aUser : aUser.substr(slash + 1);
        FPassword = aPassword;
        FIdentity.User = reinterpret_cast<USHORT *>(FUser.data());
        FIdentity.UserLength = static_cast<ULONG>(FUser.size());
        FIdentity.Domain = reinterpret_cast<USHORT *>(FDomain.data());
        FIdentity.DomainLength = static_cast<ULONG>(FDomain.size());
        FIdentity.Password = reinterpret_cast<USHORT *>(FPassword.data());
        FIdentity.PasswordLength = static_cast<ULONG>(FPassword.size());
        FIdentity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
        FUsed = true;
    }
    TAuthIdentity(const TAuthIdentity &) = delete;
    TAuthIdentity &operator=(const TAuthIdentity &) = delete;
    ~TAuthIdentity() { SecureZeroMemory(FPassword.data(), FPassword.size() * sizeof(wchar_t)); }

    COAUTHIDENTITY *Get() { return FUsed ? &FIdentity : nullptr; }

private:
    std::wstring FUser;
    std::wstring FDomain;
    std::wstring FPassword;
    COAUTHIDENTITY FIdentity = {};
    bool FUsed = false;
};

// Most WMI classes can only be read by impersonating the caller.
void SetSecurity(IUnknown *aProxy, COAUTHIDENTITY *aIdentity)
{
    Check(CoSetProxyBlanket(aProxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, COLE_DEFAULT_PRINCIPAL,
                            RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE, aIdentity, EOAC_NONE));
}

std::wstring ErrorText(HRESULT aCode)
{
    // WMI's own codes are only described by its status-text object; the
    // system describes the others.
    TComPtr<IWbemStatusCodeText> status;
    if (SUCCEEDED(CoCreateInstance(KClsidWbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER, KIidWbemStatusCodeText,
                                   status.PutVoid()))) {
        TBStr text;
        if (SUCCEEDED(status->GetErrorCodeText(aCode, 0, 0, text.Put()))) {
            const std::wstring message = Trimmed(FromBStr(text.Get()));
            if (!message.empty())
                return message;
        }
    }
    const std::wstring message = WinSystemMessage(static_cast<DWORD>(aCode));
    if (!message.empty())
        return message;
    wchar_t fallback[32] = {};
    std::swprintf(fallback, 32, L"Erreur WMI 0x%08lX", static_cast<unsigned long>(aCode));
    return fallback;
}

std::wstring PlainText(const VARIANT &aValue)
{
    if (aValue.vt == VT_BSTR)
        return FromBStr(aValue.bstrVal);
    TVariant text;
    Check(VariantChangeType(text.Put(), const_cast<VARIANT *>(&aValue), 0, VT_BSTR));
    return FromBStr(text.Get().bstrVal);
}

std::wstring IntegerText(CIMTYPE aType, const VARIANT &aValue)
{
    switch (aValue.vt) {
    case VT_I1: return std::to_wstring(static_cast<int>(aValue.cVal));
    case VT_UI1: return std::to_wstring(static_cast<unsigned>(aValue.bVal));
    case VT_I2: return std::to_wstring(static_cast<int>(aValue.iVal));
    case VT_UI2: return std::to_wstring(static_cast<unsigned>(aValue.uiVal));
    case VT_I4:
        // WMI carries unsigned 32-bit values in a signed VT_I4: read them
        // back as unsigned, or values from 2^31 on would print negative.
        if (aType == CIM_UINT32)
            return std::to_wstring(static_cast<std::uint32_t>(aValue.lVal));
        return std::to_wstring(static_cast<std::int32_t>(aValue.lVal));
    case VT_UI4: return std::to_wstring(static_cast<std::uint32_t>(aValue.ulVal));
    case VT_INT: return std::to_wstring(static_cast<int>(aValue.intVal));
    case VT_UINT: return std::to_wstring(static_cast<unsigned>(aValue.uintVal));
    case VT_I8: return std::to_wstring(static_cast<long long>(aValue.llVal));
    case VT_UI8: return std::to_wstring(static_cast<unsigned long long>(aValue.ullVal));
    default: return PlainText(aValue); // 64-bit values come as decimal text
    }
}

// Shortest decimal form with the given significant digits, with the user's
// decimal separator.
std::wstring RealText(const VARIANT &aValue)
{
    double value = 0;
    int digits = 15;
    switch (aValue.vt) {
    case VT_R4:
        value = static_cast<double>(aValue.fltVal);
        digits = 7;
        break;
    case VT_R8: value = aValue.dblVal; break;
    default: return PlainText(aValue);
    }
    wchar_t buffer[64] = {};
    std::swprintf(buffer, 64, L"%.*g", digits, value);
    std::wstring text(buffer);
    const std::wstring::size_type point = text.find(L'.');
    if (point != std::wstring::npos)
        text.replace(point, 1, WinDecimalSeparator());
    return text;
}

std::wstring ScalarText(CIMTYPE aType, const VARIANT &aValue)
{
    if (aValue.vt == VT_NULL || aValue.vt == VT_EMPTY)
        return L"NULL";
    switch (aType) {
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
    case CIM_SINT64:
        return IntegerText(aType, aValue);
    case CIM_REAL32:
    case CIM_REAL64:
        return RealText(aValue);
    case CIM_BOOLEAN:
        return aValue.vt == VT_BOOL && aValue.boolVal != VARIANT_FALSE ? L"True" : L"False";
    case CIM_OBJECT:
        return L"<CIM Object>";
    case CIM_CHAR16:
        return L"<16-bit character>";
    default: // text, unsigned 64-bit, date-time, reference: as WMI delivers them
        return PlainText(aValue);
    }
}

std::wstring ArrayText(CIMTYPE aElementType, const VARIANT &aValue)
{
    if (!(aValue.vt & VT_ARRAY) || !aValue.parray)
        return {};
    SAFEARRAY *array = aValue.parray;
    VARTYPE elementVt = VT_EMPTY;
    Check(SafeArrayGetVartype(array, &elementVt));
    LONG lower = 0;
    LONG upper = -1;
    Check(SafeArrayGetLBound(array, 1, &lower));
    Check(SafeArrayGetUBound(array, 1, &upper));
    std::wstring joined;
    for (LONG index = lower; index <= upper; ++index) {
        TVariant element;
        VARIANT *raw = element.Put();
        if (elementVt == VT_VARIANT) {
            Check(SafeArrayGetElement(array, &index, raw));
        } else {
            // The element (a BSTR or an interface included) is copied into
            // the variant's value storage; the variant then owns it.
            Check(SafeArrayGetElement(array, &index, &raw->llVal));
            raw->vt = elementVt;
        }
        if (index != lower)
            joined += L'|';
        joined += ScalarText(aElementType, element.Get());
    }
    return joined;
}

std::wstring ValueText(CIMTYPE aType, const VARIANT &aValue)
{
    if (aValue.vt == VT_NULL || aValue.vt == VT_EMPTY)
        return L"NULL";
    if (aType & CIM_FLAG_ARRAY)
        return ArrayText(aType & ~CIM_FLAG_ARRAY, aValue);
    return ScalarText(aType, aValue);
}

struct TProperty
{
    std::wstring Name;
    std::wstring Value;
};

// The object's own properties (system properties such as __CLASS left out),
// in WMI's enumeration order.
std::vector<TProperty> ReadProperties(IWbemClassObject *aObject)
{
    Check(aObject->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY));
    std::vector<TProperty> properties;
    for (;;) {
        TBStr name;
        TVariant value;
        CIMTYPE type = CIM_EMPTY;
        const HRESULT result = aObject->Next(0, name.Put(), value.Put(), &type, nullptr);
        if (result == WBEM_S_NO_MORE_DATA)
            break;
        if (FAILED(result)) {
            aObject->EndEnumeration();
            throw TWmiFailure{result};
        }
        properties.push_back({FromBStr(name.Get()), ValueText(type, value.Get())});
    }
    aObject->EndEnumeration();
    return properties;
}

} // namespace

int WinWmiQuery(const std::wstring &aComputer, const std::wstring &aNameSpace, const std::wstring &aUser,
                const std::wstring &aPassword, const std::wstring &aQuery, TWinTable &aTable, int &aInstances,
                std::wstring &aErrorText)
{
    aErrorText.clear();
    aInstances = 0;
    aTable.clear();
    int result = 0;

    // Outlives every interface below, and the error text is read under it.
    const TComScope com;
    try {
        if (!com.Usable())
            throw TWmiFailure{com.Result()};

        const std::wstring nameSpace = aNameSpace.empty() ? std::wstring(L"root\\CIMV2") : aNameSpace;
        const std::wstring resource = aComputer.empty() ? nameSpace : L"\\\\" + aComputer + L"\\" + nameSpace;

        TComPtr<IWbemLocator> locator;
        Check(CoCreateInstance(KClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, KIidWbemLocator,
                               locator.PutVoid()));
        const TBStr resourceText(resource);
        const TBStr userText(aUser);
        const TBStr passwordText(aPassword);
        TComPtr<IWbemServices> services;
        Check(locator->ConnectServer(resourceText.Get(), userText.Get(), passwordText.Get(), nullptr, 0, nullptr,
                                     nullptr, services.Put()));
        TAuthIdentity identity(aUser, aPassword);
        SetSecurity(services.Get(), identity.Get());

        TComPtr<IEnumWbemClassObject> enumerator;
        if (aQuery.compare(0, 6, L"SELECT") == 0) {
            const TBStr language(L"WQL");
            const TBStr query(aQuery);
            Check(services->ExecQuery(language.Get(), query.Get(), static_cast<long>(WBEM_FLAG_RETURN_IMMEDIATELY),
                                      nullptr, enumerator.Put()));
        } else {
            // A class name: its own instances only, not those of derived classes.
            const TBStr className(aQuery);
            Check(services->CreateInstanceEnum(className.Get(),
                                               static_cast<long>(WBEM_FLAG_RETURN_IMMEDIATELY)
                                                   | static_cast<long>(WBEM_FLAG_SHALLOW),
                                               nullptr, enumerator.Put()));
        }
        SetSecurity(enumerator.Get(), identity.Get());

        // All objects first: the table is sized by their number.
        std::vector<TComPtr<IWbemClassObject>> objects;
        for (;;) {
            TComPtr<IWbemClassObject> object;
            ULONG returned = 0;
            Check(enumerator->Next(static_cast<long>(WBEM_INFINITE), 1, object.Put(), &returned));
            if (returned == 0)
                break;
            objects.push_back(std::move(object));
        }
        aInstances = static_cast<int>(objects.size());
        if (aInstances == 0)
            return 0;

        for (std::size_t i = 0; i < objects.size(); ++i) {
            const std::vector<TProperty> properties = ReadProperties(objects[i].Get());
            result = static_cast<int>(properties.size());
            if (i == 0) {
                aTable.assign(objects.size() + 1, std::vector<std::wstring>(properties.size() + 1));
                aTable[0][0] = L"Instance";
            }
            // An object of a derived class may carry more properties than the
            // first one: widen its row and the header instead of writing past
            // their end.
            std::vector<std::wstring> &header = aTable[0];
            std::vector<std::wstring> &row = aTable[i + 1];
            if (header.size() < properties.size() + 1)
                header.resize(properties.size() + 1);
            if (row.size() < properties.size() + 1)
                row.resize(properties.size() + 1);
            row[0] = std::to_wstring(i + 1);
            for (std::size_t column = 1; column <= properties.size(); ++column) {
                row[column] = properties[column - 1].Value;
                if (header[column].empty())
                    header[column] = properties[column - 1].Name;
            }
        }
    } catch (const TWmiFailure &aFailure) {
        aErrorText = ErrorText(aFailure.Code);
        result = -1;
    } catch (...) {
        // An allocation that failed: reported like a WMI failure.
        aErrorText = ErrorText(E_OUTOFMEMORY);
        result = -1;
    }
    return result;
}
