#include "platform/Folders.h"

#include "core/FolderRules.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {

Expected<bool, Failure> DirectoryExists(const std::wstring& path)
{
    if (HasDoubledSeparator(path))
        return false;

    // The scripting runtime's object, late-bound, for this one query.
    CLSID clsid = {};
    TAZEL_RETURN_IF_FAILED(CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid));
    ComPtr<IDispatch> fileSystem;
    TAZEL_RETURN_IF_FAILED(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, fileSystem.put_void()));

    wchar_t method[] = L"FolderExists";
    LPOLESTR names[] = {method};
    DISPID dispid = 0;
    TAZEL_RETURN_IF_FAILED(fileSystem->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));

    const UniqueBstr argumentText(SysAllocStringLen(path.data(), static_cast<UINT>(path.size())));
    if (!argumentText && !path.empty())
        return Unexpected(HResultFailure(E_OUTOFMEMORY));
    VARIANTARG argument = {};
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = argumentText.get();
    DISPPARAMS parameters = {};
    parameters.rgvarg = &argument;
    parameters.cArgs = 1;

    UniqueVariant answer;
    EXCEPINFO exception = {};
    const HRESULT invoked = fileSystem->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                               answer.get(), &exception, nullptr);
    if (invoked == DISP_E_EXCEPTION)
        return Unexpected(DispatchExceptionFailure(exception));
    // The texts of an exception are the caller's to free, whatever became of the call.
    const UniqueBstr source(exception.bstrSource);
    const UniqueBstr description(exception.bstrDescription);
    const UniqueBstr helpFile(exception.bstrHelpFile);
    TAZEL_RETURN_IF_FAILED(invoked);
    if (answer.get()->vt != VT_BOOL)
        return Unexpected(HResultFailure(DISP_E_TYPEMISMATCH));
    return answer.get()->boolVal != VARIANT_FALSE;
}

} // namespace tazel::win32
