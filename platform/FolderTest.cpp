#include "platform/Folders.h"

#include <oleauto.h>

#include "core/FolderRules.h"
#include "platform/Handles.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {
namespace {

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }
    VARIANT* get() noexcept { return &value_; }

private:
    VARIANT value_;
};

class UniqueBstr {
public:
    explicit UniqueBstr(const std::wstring& text) noexcept
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(value_); }
    BSTR get() const noexcept { return value_; }

private:
    BSTR value_;
};

} // namespace

std::expected<bool, Failure> DirectoryExists(const std::wstring& path)
{
    if (HasDoubledSeparator(path))
        return false;

    // The scripting runtime's object, late-bound, for this one query.
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid);
    if (FAILED(hr))
        return std::unexpected(HResultFailure(hr));
    ComPtr<IDispatch> fileSystem;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, fileSystem.put_void());
    if (FAILED(hr))
        return std::unexpected(HResultFailure(hr));

    wchar_t method[] = L"FolderExists";
    LPOLESTR names[] = {method};
    DISPID dispid = 0;
    hr = fileSystem->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return std::unexpected(HResultFailure(hr));

    UniqueBstr argumentText(path);
    if (!argumentText.get() && !path.empty())
        return std::unexpected(HResultFailure(E_OUTOFMEMORY));
    VARIANTARG argument = {};
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = argumentText.get();
    DISPPARAMS parameters = {};
    parameters.rgvarg = &argument;
    parameters.cArgs = 1;

    UniqueVariant answer;
    EXCEPINFO exception = {};
    hr = fileSystem->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, answer.get(),
                            &exception, nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr))
        return std::unexpected(HResultFailure(hr));
    if (answer.get()->vt != VT_BOOL)
        return std::unexpected(HResultFailure(DISP_E_TYPEMISMATCH));
    return answer.get()->boolVal != VARIANT_FALSE;
}

} // namespace tazel::win32
