#pragma once
// The window's picture, decoded from the program's resources by the Windows Imaging Component.

#include <windows.h>

#include "core/Expected.h"

#include "core/Failure.h"
#include "platform/Owners.h"

namespace tazel::win32 {

class Picture {
public:
    // Decodes the image held as RT_RCDATA resourceId into 32-bit pixels. COM must already be
    // initialised on the calling thread.
    [[nodiscard]] static Expected<Picture, Failure> FromResource(HINSTANCE instance, int resourceId);

    Picture(Picture&&) noexcept = default;

    // A top-down 32 bits-per-pixel DIB section of the decoded pixels, at the image's own size.
    HBITMAP Bitmap() const noexcept { return bitmap_.get(); }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

private:
    Picture(UniqueBitmap bitmap, int width, int height) noexcept
        : bitmap_(std::move(bitmap)), width_(width), height_(height)
    {
    }

    UniqueBitmap bitmap_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace tazel::win32
