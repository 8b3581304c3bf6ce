#include "video/PlaneColour.h"

extern "C" {
#include <libavutil/csp.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

PlaneColour planeColour(int colorspace, bool fullRange) {
    const AVLumaCoefficients* luma =
        av_csp_luma_coeffs_from_avcsp(static_cast<AVColorSpace>(colorspace));
    // Only the colour spaces with a luma/chroma matrix of this form: RGB, YCgCo
    // and the constant-luminance ones are taken as BT.601 as well.
    if (colorspace != AVCOL_SPC_BT709 && colorspace != AVCOL_SPC_FCC &&
        colorspace != AVCOL_SPC_BT470BG && colorspace != AVCOL_SPC_SMPTE170M &&
        colorspace != AVCOL_SPC_SMPTE240M && colorspace != AVCOL_SPC_BT2020_NCL)
        luma = nullptr;
    if (!luma)
        luma = av_csp_luma_coeffs_from_avcsp(AVCOL_SPC_BT470BG);
    const double kr = av_q2d(luma->cr);
    const double kb = av_q2d(luma->cb);
    const double kg = 1.0 - kr - kb;

    // Y' = (Y - 16/255) * 255/219 and C' = (C - 128/255) * 255/224 in limited
    // range; Y' = Y and C' = C - 128/255 in full range.
    const double ys = fullRange ? 1.0 : 255.0 / 219.0;
    const double cs = fullRange ? 1.0 : 255.0 / 224.0;
    const double rv = 2.0 * (1.0 - kr);
    const double bu = 2.0 * (1.0 - kb);
    const double gu = -2.0 * kb * (1.0 - kb) / kg;
    const double gv = -2.0 * kr * (1.0 - kr) / kg;

    PlaneColour c;
    const double m[9] = {ys, 0.0, rv * cs, ys, gu * cs, gv * cs, ys, bu * cs, 0.0};
    for (int i = 0; i < 9; ++i)
        c.matrix[i] = static_cast<float>(m[i]);
    c.offset = {fullRange ? 0.0f : 16.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f};
    return c;
}

PlaneColour planeColourOf(const AVFrame& frame) {
    const bool full = frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_YUVJ420P;
    return planeColour(frame.colorspace, full);
}
