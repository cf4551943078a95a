#include "ui/Picture.h"

#include <wincodec.h>

#include "platform/Resources.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {

Expected<Picture, Failure> Picture::FromResource(HINSTANCE instance, int resourceId)
{
    // The picture is stored language-neutral, where a plain FindResource looks first.
    const auto stored =
        ResourceBytes(instance, RT_RCDATA, MAKEINTRESOURCEW(resourceId), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!stored)
        return Unexpected(stored.error());
    // WIC only reads through the stream; the pointer is non-const in its signature alone.
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<std::byte*>(stored->data()));
    const auto size = static_cast<DWORD>(stored->size());

    // Created through COM rather than imported: the program then starts on systems whose
    // windowscodecs.dll is missing or broken, and only loses its picture there.
    ComPtr<IWICImagingFactory> factory;
    TAZEL_RETURN_IF_FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IWICImagingFactory, factory.put_void()));

    ComPtr<IWICStream> stream;
    TAZEL_RETURN_IF_FAILED(factory->CreateStream(stream.put()));
    TAZEL_RETURN_IF_FAILED(stream->InitializeFromMemory(bytes, size));

    ComPtr<IWICBitmapDecoder> decoder;
    TAZEL_RETURN_IF_FAILED(
        factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put()));
    ComPtr<IWICBitmapFrameDecode> frame;
    TAZEL_RETURN_IF_FAILED(decoder->GetFrame(0, frame.put()));

    // GDI draws 32-bit DIBs as B, G, R and an ignored fourth byte, which is exactly 32bppBGR.
    ComPtr<IWICFormatConverter> converter;
    TAZEL_RETURN_IF_FAILED(factory->CreateFormatConverter(converter.put()));
    TAZEL_RETURN_IF_FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                                 nullptr, 0.0, WICBitmapPaletteTypeCustom));

    UINT width = 0;
    UINT height = 0;
    TAZEL_RETURN_IF_FAILED(converter->GetSize(&width, &height));
    constexpr UINT kMaxSide = 1U << 14;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
        return Unexpected(HResultFailure(WINCODEC_ERR_IMAGESIZEOUTOFRANGE));

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    // Negative height: rows run top-down, the order WIC copies them in.
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return Unexpected(LastErrorFailure());

    const UINT stride = width * 4;
    TAZEL_RETURN_IF_FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)));

    return Picture(std::move(bitmap), static_cast<int>(width), static_cast<int>(height));
}

} // namespace tazel::win32
