#include "Raster.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace tazel::art {

RgbImage::RgbImage(int width, int height)
    : Width(width), Height(height), Pixels(static_cast<std::size_t>(width) * height)
{
}

void RgbImage::Blit(const RgbImage& source, int x, int y)
{
    if (x < 0 || y < 0 || x + source.Width > Width || y + source.Height > Height)
        throw std::out_of_range("blit outside the target image");
    for (int row = 0; row < source.Height; ++row)
        std::memcpy(&At(x, y + row), &source.At(0, row), sizeof(Rgb8) * source.Width);
}

RgbImage Render(int width, int height, const std::function<void(cairo_t*)>& draw)
{
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), &cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), &cairo_destroy);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create a cairo surface");

    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    cairo_paint(cr.get());
    draw(cr.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(cairo_status_to_string(cairo_status(cr.get())));
    cairo_surface_flush(surface.get());

    RgbImage image(width, height);
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t px;
            std::memcpy(&px, data + static_cast<std::size_t>(y) * stride + 4u * x, sizeof px);
            Rgb8 c{static_cast<std::uint8_t>(px >> 16), static_cast<std::uint8_t>(px >> 8),
                   static_cast<std::uint8_t>(px)};
            // A gradient through bright green could land exactly on the key; one step of
            // green is invisible but keeps the key colour unambiguous.
            if (c == kKeyGreen)
                c.G = 254;
            image.At(x, y) = c;
        }
    }
    return image;
}

} // namespace tazel::art
