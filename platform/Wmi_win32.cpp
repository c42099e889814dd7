#include "platform/Wmi.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <QLocale>

#include <string>
#include <utility>
#include <vector>

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

QString FromBStr(BSTR aText)
{
    return aText ? QString::fromWCharArray(aText, static_cast<qsizetype>(SysStringLen(aText)))
                 : QString();
}

// Owns one BSTR, either built from a text or received from a call.
class TBStr
{
public:
    TBStr() = default;
    // An empty text gives a null BSTR: WMI reads a null user and password as
    // "the caller's own identity".
    explicit TBStr(const QString &aText)
    {
        if (aText.isEmpty())
            return;
        FText = SysAllocStringLen(reinterpret_cast<const OLECHAR *>(aText.utf16()),
                                  static_cast<UINT>(aText.size()));
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

// COM for the length of one query. A thread already in the other apartment
// model (RPC_E_CHANGED_MODE) serves as well; only our own success is undone.
class TComScope
{
public:
    TComScope() : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    TComScope(const TComScope &) = delete;
    TComScope &operator=(const TComScope &) = delete;
    ~TComScope()
    {
        if (SUCCEEDED(FResult))
            CoUninitialize();
    }

    void Check() const
    {
        if (FAILED(FResult) && FResult != RPC_E_CHANGED_MODE)
            throw TWmiFailure{FResult};
    }

private:
    HRESULT FResult;
};

// With a named user, the proxies must carry the same credentials as the
// connection; without one, the process's own identity is used.
class TAuthIdentity
{
public:
    TAuthIdentity(const QString &aUser, const QString &aPassword)
    {
        if (aUser.isEmpty())
            return;
        const qsizetype slash = aUser.indexOf(u'\\');
        FDomain = slash < 0 ? std::wstring() : aUser.left(slash).toStdWString();
        FUser = (slash < 0 ? aUser : aUser.mid(slash + 1)).toStdWString();
        FPassword = aPassword.toStdWString();
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
    Check(CoSetProxyBlanket(aProxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT,
                            COLE_DEFAULT_PRINCIPAL, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                            RPC_C_IMP_LEVEL_IMPERSONATE, aIdentity, EOAC_NONE));
}

QString ErrorText(HRESULT aCode)
{
    // WMI's own codes are only described by its status-text object; the
    // system describes the others.
    TComPtr<IWbemStatusCodeText> status;
    if (SUCCEEDED(CoCreateInstance(KClsidWbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER,
                                   KIidWbemStatusCodeText, status.PutVoid()))) {
        TBStr text;
        if (SUCCEEDED(status->GetErrorCodeText(aCode, 0, 0, text.Put()))) {
            const QString message = FromBStr(text.Get()).trimmed();
            if (!message.isEmpty())
                return message;
        }
    }
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(aCode), 0,
                                        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    QString message;
    if (length != 0 && buffer)
        message = QString::fromWCharArray(buffer, static_cast<qsizetype>(length)).trimmed();
    LocalFree(buffer);
    if (message.isEmpty())
        message = QStringLiteral("Erreur WMI 0x%1")
                      .arg(QString::number(static_cast<quint32>(aCode), 16).toUpper().rightJustified(8, u'0'));
    return message;
}

QString PlainText(const VARIANT &aValue)
{
    if (aValue.vt == VT_BSTR)
        return FromBStr(aValue.bstrVal);
    TVariant text;
    Check(VariantChangeType(text.Put(), const_cast<VARIANT *>(&aValue), 0, VT_BSTR));
    return FromBStr(text.Get().bstrVal);
}

QString IntegerText(CIMTYPE aType, const VARIANT &aValue)
{
    switch (aValue.vt) {
    case VT_I1: return QString::number(static_cast<int>(aValue.cVal));
    case VT_UI1: return QString::number(static_cast<uint>(aValue.bVal));
    case VT_I2: return QString::number(static_cast<int>(aValue.iVal));
    case VT_UI2: return QString::number(static_cast<uint>(aValue.uiVal));
    case VT_I4:
        // WMI carries unsigned 32-bit values in a signed VT_I4: read them
        // back as unsigned, or values from 2^31 on would print negative.
        if (aType == CIM_UINT32)
            return QString::number(static_cast<quint32>(aValue.lVal));
        return QString::number(static_cast<qint32>(aValue.lVal));
    case VT_UI4: return QString::number(static_cast<quint32>(aValue.ulVal));
    case VT_INT: return QString::number(static_cast<int>(aValue.intVal));
    case VT_UINT: return QString::number(static_cast<uint>(aValue.uintVal));
    case VT_I8: return QString::number(static_cast<qint64>(aValue.llVal));
    case VT_UI8: return QString::number(static_cast<quint64>(aValue.ullVal));
    default: return PlainText(aValue); // 64-bit values come as decimal text
    }
}

QString RealText(const VARIANT &aValue)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    switch (aValue.vt) {
    case VT_R4: return locale.toString(static_cast<double>(aValue.fltVal), 'g', 7);
    case VT_R8: return locale.toString(aValue.dblVal, 'g', 15);
    default: return PlainText(aValue);
    }
}

QString ScalarText(CIMTYPE aType, const VARIANT &aValue)
{
    if (aValue.vt == VT_NULL || aValue.vt == VT_EMPTY)
        return QStringLiteral("NULL");
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
        return aValue.vt == VT_BOOL && aValue.boolVal != VARIANT_FALSE ? QStringLiteral("True")
                                                                      : QStringLiteral("False");
    case CIM_OBJECT:
        return QStringLiteral("<CIM Object>");
    case CIM_CHAR16:
        return QStringLiteral("<16-bit character>");
    default: // text, unsigned 64-bit, date-time, reference: as WMI delivers them
        return PlainText(aValue);
    }
}

QString ArrayText(CIMTYPE aElementType, const VARIANT &aValue)
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
    QStringList parts;
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
        parts << ScalarText(aElementType, element.Get());
    }
    return parts.join(u'|');
}

QString ValueText(CIMTYPE aType, const VARIANT &aValue)
{
    if (aValue.vt == VT_NULL || aValue.vt == VT_EMPTY)
        return QStringLiteral("NULL");
    if (aType & CIM_FLAG_ARRAY)
        return ArrayText(aType & ~CIM_FLAG_ARRAY, aValue);
    return ScalarText(aType, aValue);
}

struct TProperty
{
    QString Name;
    QString Value;
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

int PlatformWmiQuery(const QString &aComputer, const QString &aNameSpace,
                     const QString &aUser, const QString &aPassword,
                     const QString &aQuery, QList<QStringList> &aTable,
                     int &aInstances, QString &aErrorText)
{
    aErrorText.clear();
    aInstances = 0;
    aTable.clear();
    int result = 0;

    // Outlives every interface below, and the error text is read under it.
    const TComScope com;
    try {
        com.Check();

        const QString nameSpace = aNameSpace.isEmpty() ? QStringLiteral("root\\CIMV2") : aNameSpace;
        const QString resource = aComputer.isEmpty()
                                     ? nameSpace
                                     : QStringLiteral("\\\\%1\\%2").arg(aComputer, nameSpace);

        TComPtr<IWbemLocator> locator;
        Check(CoCreateInstance(KClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, KIidWbemLocator,
                               locator.PutVoid()));
        const TBStr resourceText(resource);
        const TBStr userText(aUser);
        const TBStr passwordText(aPassword);
        TComPtr<IWbemServices> services;
        Check(locator->ConnectServer(resourceText.Get(), userText.Get(), passwordText.Get(),
                                     nullptr, 0, nullptr, nullptr, services.Put()));
        TAuthIdentity identity(aUser, aPassword);
        SetSecurity(services.Get(), identity.Get());

        TComPtr<IEnumWbemClassObject> enumerator;
        if (aQuery.startsWith(QLatin1String("SELECT"))) {
            const TBStr language(QStringLiteral("WQL"));
            const TBStr query(aQuery);
            Check(services->ExecQuery(language.Get(), query.Get(),
                                      static_cast<long>(WBEM_FLAG_RETURN_IMMEDIATELY), nullptr,
                                      enumerator.Put()));
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

        for (qsizetype i = 0; i < aInstances; ++i) {
            const std::vector<TProperty> properties = ReadProperties(objects[size_t(i)].Get());
            result = static_cast<int>(properties.size());
            if (i == 0) {
                aTable = QList<QStringList>(aInstances + 1, QStringList(result + 1));
                aTable[0][0] = QStringLiteral("Instance");
            }
            // An object of a derived class may carry more properties than the
            // first one: widen its row and the header instead of writing past
            // their end.
            QStringList &header = aTable[0];
            QStringList &row = aTable[i + 1];
            if (header.size() < result + 1)
                header.resize(result + 1);
            if (row.size() < result + 1)
                row.resize(result + 1);
            row[0] = QString::number(i + 1);
            for (qsizetype column = 1; column <= result; ++column) {
                const TProperty &property = properties[size_t(column - 1)];
                row[column] = property.Value;
                if (header[column].isEmpty())
                    header[column] = property.Name;
            }
        }
    } catch (const TWmiFailure &aFailure) {
        aErrorText = ErrorText(aFailure.Code);
        result = -1;
    }
    return result;
}
