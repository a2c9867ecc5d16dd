#include "windows/png_bitmap.h"

#include <wincodec.h>

#include "framework/com_apartment.h"

namespace app {
namespace {

// Far above any picture of ours; keeps a picture's bytes within a UINT.
constexpr UINT kLargestSide = 0x4000;

// The decode proper; every COM object of it is gone when it returns, before COM may end.
framework::GdiObject decodeWithWic(std::span<const std::byte> png) {
    framework::ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.putVoid()))) {
        return {};
    }
    framework::ComPtr<IWICStream> stream;
    framework::ComPtr<IWICBitmapDecoder> decoder;
    framework::ComPtr<IWICBitmapFrameDecode> frame;
    framework::ComPtr<IWICFormatConverter> converter;
    // The stream only reads the bytes, though its call takes them as writable.
    auto* bytes = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(png.data()));
    UINT width = 0;
    UINT height = 0;
    if (png.size() > MAXDWORD || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(bytes, static_cast<DWORD>(png.size()))) ||
        FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.put())) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > kLargestSide || height > kLargestSide) {
        return {};
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, as WIC hands the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    framework::GdiObject bitmap{
        CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0)};
    if (!bitmap || !pixels) {
        return {};
    }
    UINT stride = width * 4;
    if (FAILED(
            converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(pixels)))) {
        return {};
    }
    return bitmap;
}

}  // namespace

framework::GdiObject decodePng(std::span<const std::byte> png) {
    // WIC's factory comes through COM, which the calling thread (the settings window's, the main
    // thread) does not otherwise keep: it is started around the decode and ended after it, so the
    // thread is not left in an apartment it never chose.
    framework::ComApartment com;
    if (!com.usable()) {
        return {};
    }
    return decodeWithWic(png);
}

framework::GdiObject loadPngResource(HINSTANCE module, UINT id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return {};
    }
    return decodePng({static_cast<const std::byte*>(data), SizeofResource(module, found)});
}

}  // namespace app
